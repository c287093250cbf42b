#include "ui/chooser/chooser_volumes.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>

namespace rd {

namespace {

// The kind of drive of a mounted volume; the disk and its removable flag come from /sys, where
// a partition's folder lies inside its disk's.
VolumeType TypeOf(const QStorageInfo& volume) {
    const QByteArray device = volume.device();
    const QByteArray type = volume.fileSystemType();
    QString disk;
    bool removable = false;
    if (device.startsWith("/dev/")) {
        const QString node = QFileInfo(QString::fromLocal8Bit(device)).canonicalFilePath();
        QString sys =
            QFileInfo("/sys/class/block/" + QFileInfo(node).fileName()).canonicalFilePath();
        if (!sys.isEmpty()) {
            if (QFileInfo::exists(sys + "/partition"))
                sys = QFileInfo(sys).path();
            disk = QFileInfo(sys).fileName();
            QFile flag(sys + "/removable");
            removable = flag.open(QIODevice::ReadOnly) && flag.read(1) == "1";
        }
    }
    const QByteArray diskName = disk.toLocal8Bit();
    return TypeOfVolume({std::string_view(device.constData(), device.size()),
                         std::string_view(type.constData(), type.size()),
                         std::string_view(diskName.constData(), diskName.size()), removable});
}

}  // namespace

std::vector<LocalRoot> LocalRoots() {
    std::vector<LocalRoot> roots;
    const auto add = [&roots](const std::string& path, const QStorageInfo& volume) {
        if (std::none_of(roots.begin(), roots.end(),
                         [&path](const LocalRoot& root) { return root.path == path; }))
            roots.push_back({path, TypeOf(volume)});
    };
    add("/", QStorageInfo(QStringLiteral("/")));
    add(QDir::homePath().toStdString(), QStorageInfo(QDir::homePath()));
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        if (!IsChooserVolume(volume.device().toStdString(), volume.fileSystemType().toStdString()))
            continue;
        add(volume.rootPath().toStdString(), volume);
    }
    return roots;
}

VolumeFacts MeasureVolume(const std::string& path) {
    const QStorageInfo volume(QString::fromStdString(path));
    VolumeFacts facts;
    if (!volume.isValid() || !volume.isReady())
        return facts;
    const qint64 available = volume.bytesAvailable();
    if (available < 0)
        return facts;
    facts.known = true;
    facts.freeBytes = static_cast<uint64_t>(available);
    facts.label = volume.name().toStdString();
    return facts;
}

int FolderWritable(const std::string& path) {
    return ::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0 ? 1 : 0;
}

}  // namespace rd
