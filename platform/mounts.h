// Which file system holds a path, as the kernel's mount table names its type ("ext4", "nfs4",
// "cifs", "fuse.sshfs"). The type of a FUSE mount is only told apart there, not by statfs.
#pragma once

#include <string>
#include <string_view>

namespace rd::mounts {

// The type of the mount whose mount point is the longest leading folder of `realPath` (an
// absolute path without links, "." or ".."), from the text of a mountinfo table; empty when no
// line fits.
std::string TypeIn(std::string_view mountinfo, std::string_view realPath);

// The mount point of the first mount of `source` ("//nas/photos"; compared ignoring case) in
// a mountinfo table; empty when it is not mounted.
std::string PointOf(std::string_view mountinfo, std::string_view source);

// The mount that holds `realPath` (as TypeIn finds it) as a user knows it: its source when that
// names a device or a share ("/dev/sdb1", "//nas/photos", "host:/export", "me@host:/home"), else
// its mount point, since a source such as "tmpfs" or "gvfsd-fuse" names no place. Empty when
// no line fits.
std::string DeviceIn(std::string_view mountinfo, std::string_view realPath);

// This process's mount table; empty when it cannot be read.
std::string Table();

// The type for `path` from this process's mount table; empty when the path cannot be resolved
// or the table cannot be read.
std::string TypeOf(const std::string& path);

// DeviceIn for `path` from this process's mount table; `path` itself when it cannot be resolved
// or the table cannot be read.
std::string DeviceOf(const std::string& path);

}  // namespace rd::mounts
