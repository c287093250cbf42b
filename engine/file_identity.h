// Which file a path or descriptor stands for and the state it was in: the job remembers it for
// each source when it opens it, and compares it again before it counts the copy as whole and
// before it removes a moved source, so that a file that changed meanwhile is never taken for the
// one that was read.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <string>

namespace rd {

struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    uint64_t size = 0;
    timespec modified{};
    // The inode's change time: moves on any write, truncation, chmod or new link.
    timespec changed{};
    // False for an identity that was never taken.
    bool known = false;
};

FileIdentity IdentityOf(const struct stat& st);

// How `now` differs from what was remembered, the most telling difference first.
enum class IdentityChange {
    None,
    // Another file stands at the path (an editor's atomic save, a file deleted and made anew).
    Replaced,
    Resized,
    // The contents were written (the modification time moved).
    Modified,
    // Something else about the inode changed (its permissions, a write that kept the time).
    Changed,
};

IdentityChange CompareIdentity(const FileIdentity& remembered, const struct stat& now);

// Whether `path` (not followed when it is a symbolic link) still leads to `remembered`, in the
// same state. While it leads to the same inode, what it shows is what the source's open
// descriptor would show; a path that leads nowhere any more counts as replaced.
IdentityChange PathNow(const FileIdentity& remembered, const std::string& path);

}  // namespace rd
