// What the destination chooser asks of the machine: its roots ("/", the home folder and the
// mounted file systems that can take files) with their kind of drive, a volume's free space
// and label, and whether a folder can be written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/chooser_model.h"

namespace rd {

struct LocalRoot {
    std::string path;  // the mount point, or the home folder
    VolumeType type = VolumeType::Unknown;
};

// The roots in the order they are shown, each once: "/", the home folder, then the mounted
// volumes that IsChooserVolume accepts.
std::vector<LocalRoot> LocalRoots();

struct VolumeFacts {
    bool known = false;  // the volume answered
    uint64_t freeBytes = kUnknownFree;
    std::string label;
};
VolumeFacts MeasureVolume(const std::string& path);

// 1 when the user may list and write into the folder, else 0.
int FolderWritable(const std::string& path);

}  // namespace rd
