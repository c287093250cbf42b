// Which mounted file systems the destination chooser offers, and what kind of drive each one
// is, from what the mount table and the block device say about it.
#pragma once

#include <string_view>

namespace rd {

enum class VolumeType { Unknown, Fixed, Removable, Optical, Network, RamDisk };

// A file system reached over the network (NFS, SMB/CIFS, sshfs, …), by its mount type.
bool IsNetworkFileSystem(std::string_view fsType);

// Whether a mounted file system is offered as a root: one on a device, a network share or a
// RAM disk (tmpfs); kernel and pseudo file systems (proc, sysfs, cgroup, overlay …) and
// read-only package images (squashfs) are no destinations.
bool IsChooserVolume(std::string_view device, std::string_view fsType);

struct MountFacts {
    std::string_view device;  // "/dev/sdb1", "server:/export", "//host/share", "tmpfs"
    std::string_view fsType;
    // The block device behind `device` (its partition's disk): "sdb", "sr0", "nvme0n1"; empty
    // when there is none.
    std::string_view disk;
    bool removable = false;  // the disk's removable flag
};
VolumeType TypeOfVolume(const MountFacts& mount);

}  // namespace rd
