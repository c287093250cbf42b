// What belongs to a file beside its data and its permissions: its owner and group, and its
// extended attributes (the ACLs among them). Read from a source, given to its copy.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace rd {

struct FileMetadata {
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
    // Name and value of each extended attribute.
    std::vector<std::pair<std::string, std::string>> xattrs;
};

// The extended attributes of an open file. Attributes this process could not give to a copy
// (the trusted and security name spaces, without root) are not read. Empty when the file system
// has none.
std::vector<std::pair<std::string, std::string>> ReadXattrs(int fd);

// The metadata of a source with owner `uid` and group `gid`: those, and the extended
// attributes of the open file `fd` (none when `fd` is -1).
std::shared_ptr<const FileMetadata> ReadMetadata(uid_t uid, gid_t gid, int fd);

// Gives the open file the owner and group of `meta` where this process may (root: both; others:
// the group, when it is one of theirs) and its extended attributes. Comes before the
// permissions are set, since a change of owner clears the set-user-ID bit. Returns 0, or the
// errno of the first thing that could not be given although the file system has it. With
// `mode`, the file's mode as it stands after the call when it is known, else 0. With `seen`, what
// the file is known to be (its owner, group and mode): it is not looked at again.
int ApplyOwnerAndXattrs(int fd, const FileMetadata& meta, mode_t* mode = nullptr,
                        const struct stat* seen = nullptr);

// The same for a symbolic link: owner and group only (root), since links carry no attributes of
// their own that users may set.
int ApplyLinkOwner(const std::string& path, const FileMetadata& meta);

}  // namespace rd
