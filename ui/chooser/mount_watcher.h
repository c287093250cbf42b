// Tells when file systems are mounted or unmounted: the kernel marks the mount table as
// changed for every reader that polls it for priority data.
#pragma once

#include <QObject>

class QSocketNotifier;
class QTimer;

namespace rd {

class MountWatcher : public QObject {
    Q_OBJECT

public:
    explicit MountWatcher(QObject* parent = nullptr);
    ~MountWatcher() override;

    // False when the mount table cannot be watched; the roots then stay as first listed.
    bool Watching() const { return fd_ >= 0; }

signals:
    // Once for a burst of changes (a stick mounting several partitions).
    void changed();

private:
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* settle_ = nullptr;
};

}  // namespace rd
