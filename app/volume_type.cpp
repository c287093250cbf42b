#include "app/volume_type.h"

#include <array>

namespace rd {

bool IsNetworkFileSystem(std::string_view fsType) {
    static constexpr std::array<std::string_view, 14> kTypes = {
        "nfs", "nfs4", "cifs",      "smb3", "smbfs",       "fuse.sshfs", "sshfs",
        "afs", "ceph", "glusterfs", "9p",   "fuse.rclone", "davfs",      "fuse.glusterfs",
    };
    for (std::string_view type : kTypes) {
        if (fsType == type)
            return true;
    }
    return false;
}

bool IsChooserVolume(std::string_view device, std::string_view fsType) {
    if (fsType == "tmpfs" || IsNetworkFileSystem(fsType))
        return true;
    return device.starts_with("/dev/") && fsType != "squashfs";
}

VolumeType TypeOfVolume(const MountFacts& mount) {
    if (IsNetworkFileSystem(mount.fsType))
        return VolumeType::Network;
    if (mount.fsType == "tmpfs" || mount.fsType == "ramfs")
        return VolumeType::RamDisk;
    if (mount.disk.starts_with("sr") || mount.fsType == "iso9660")
        return VolumeType::Optical;
    if (mount.disk.empty())
        return VolumeType::Unknown;
    return mount.removable ? VolumeType::Removable : VolumeType::Fixed;
}

}  // namespace rd
