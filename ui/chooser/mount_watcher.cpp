#include "ui/chooser/mount_watcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

namespace rd {

MountWatcher::MountWatcher(QObject* parent) : QObject(parent) {
    fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return;
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(250);
    connect(settle_, &QTimer::timeout, this, &MountWatcher::changed);
    // The table reports each change once per open file, so nothing needs to be read.
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Exception, this);
    connect(notifier_, &QSocketNotifier::activated, settle_, qOverload<>(&QTimer::start));
}

MountWatcher::~MountWatcher() {
    delete notifier_;
    if (fd_ >= 0)
        ::close(fd_);
}

}  // namespace rd
