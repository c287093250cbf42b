// Opens a file named by a path relative to a folder without ever leaving that folder: neither
// ".." nor a symbolic link that leads out (to an absolute path, or up past the folder) is
// followed, nor a magic link of /proc.
#pragma once

#include <string_view>

namespace rd {

// Opens `relative` below the folder open as `folderFd` (an O_DIRECTORY descriptor) with
// `flags` (O_CLOEXEC is added); -1 with `error` set when it cannot. Uses openat2 with
// RESOLVE_BENEATH, which still follows links that stay inside the folder; a kernel without
// openat2 gets OpenBeneathByWalk. An absolute path or one that leaves the folder fails with
// EXDEV.
int OpenBeneath(int folderFd, std::string_view relative, int flags, int& error);

// The same one part at a time with openat(O_NOFOLLOW): stricter, no symbolic link is followed
// at all (ELOOP), so none can lead out.
int OpenBeneathByWalk(int folderFd, std::string_view relative, int flags, int& error);

}  // namespace rd
