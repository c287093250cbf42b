#include "ui/chooser/chooser_volumes.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QStorageInfo>
#include <algorithm>

namespace rd {

std::vector<std::string> LocalRoots() {
    std::vector<std::string> roots = {"/", QDir::homePath().toStdString()};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        if (!IsChooserVolume(volume.device().toStdString(), volume.fileSystemType().toStdString()))
            continue;
        const std::string root = volume.rootPath().toStdString();
        if (std::find(roots.begin(), roots.end(), root) == roots.end())
            roots.push_back(root);
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
