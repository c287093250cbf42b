// The queue window's rows as a model over the job's source queue: a row's texts are read from
// the queue only when the view shows it, so a queue of a million sources costs the window
// nothing per source.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>

namespace rd {

class SourceQueue;
struct QueueEntry;

class TQueueModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // The queue entry a row shows, under this role.
    static constexpr int kEntryRole = Qt::UserRole;

    explicit TQueueModel(QObject* parent = nullptr);

    void Attach(SourceQueue* queue);
    // Brings the rows up to date: appended entries become new rows, states are shown anew, and
    // after a removal the rows are read again. Cheap when the queue has not changed.
    void Sync();
    // How the states "Wait", "Copy" and "Done" read; StateText(0..2) gives them back.
    void SetStateTexts(const QString& wait, const QString& copy, const QString& done);
    QString StateText(int state) const { return states_[state]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    SourceQueue* queue_ = nullptr;
    int rows_ = 0;
    uint64_t changes_ = 0;
    uint64_t removals_ = 0;
    QString states_[3] = {"Wait", "Copy", "Done"};
};

}  // namespace rd
