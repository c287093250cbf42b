// The destination files this job has created or written, and the source each holds, so that no
// later source of the same job overwrites, resumes or renames one of them away: two sources of
// one name (from two folders), or names that a destination folder takes for one (README and
// readme on a stick that folds case).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace rd {

struct FENTRY_;

// How a destination folder treats names, found by trying a name of its own there once.
struct FolderNaming {
    // "A" and "a" name one file.
    bool foldsCase = false;
    // Trailing dots and spaces are dropped: "a." and "a" name one file.
    bool dropsTrailing = false;
    // A file shows the same inode number whenever it is looked up. Through some FUSE drivers one
    // file shows a new number for each name that leads to it.
    bool stableInodes = true;
    // A local file system of exact names that sets each file's change time itself (ext4, XFS,
    // btrfs, tmpfs, f2fs): a file the job wrote shows a change time from the job's run.
    bool native = false;
    // The folder itself, as its path leads to it (links followed): two paths to one folder name
    // the same files. Unknown for a folder that cannot be looked up.
    bool known = false;
    dev_t dev = 0;
    ino_t ino = 0;
};

// Creates a file of its own in `folder`, looks it up under other spellings and removes it. A
// folder where nothing can be created gives the defaults: exact names, stable inodes. Leaves
// `known`, `dev` and `ino` unset.
FolderNaming ProbeFolderNaming(const std::string& folder);

// `name` as a folder with `naming` compares names: upper case where the folder folds case
// (Unicode where the name is UTF-8, else ASCII), trailing dots and spaces dropped where it drops
// them.
std::string FoldedName(std::string_view name, const FolderNaming& naming);

// What the job knows of the destination files it wrote. On a native file system it keeps
// nothing for each file (a job of a million files would hold a million entries): a file there
// that shows a change time from the job's run was written during the job, and whether another
// source of the job leads there is for the caller to tell. Elsewhere (a stick, a share, a FUSE
// driver, a folder that folds case) each name the job writes is kept.
class WrittenDestinations {
public:
    WrittenDestinations();
    // A job that began at `started`, less the margin.
    explicit WrittenDestinations(timespec started);

    // What lies at a destination that exists.
    struct Verdict {
        enum Kind {
            // Nothing this job did.
            NotWritten,
            // Written by this job from `first`.
            Written,
            // Written during the job's run, on a file system that keeps no names: by this job if
            // another of its sources leads there, else by someone else.
            WrittenDuringJob,
        } kind = NotWritten;
        const FENTRY_* first = nullptr;
    };

    // Any thread: the job put the data of `source` at `path` (a copy it opened for writing, a
    // link it made, a source it renamed there).
    void Record(const std::string& path, const FENTRY_* source);
    // What stands at `path`, where lstat found `there`.
    Verdict At(const std::string& path, const struct stat& there);
    // Whether `a` and `b` name one file: the same path, the same name in one folder reached by
    // two paths, or names that a folder takes for one.
    bool SameName(const std::string& a, const std::string& b);

private:
    // Under `lock_`: the naming of `folder`, found on first use.
    const FolderNaming& NamingOf(std::string_view folder);
    // Under `lock_`: looks `folder` up and finds how it names files: from its file system where
    // that tells, else by trying a name, once for each such file system.
    FolderNaming Examine(const std::string& folder);
    // Under `lock_`: a number for the file `path` names: its folder's device and inode and its
    // name as the folder compares names; where a folder folds names or its inode numbers do
    // not hold still, its whole path so compared. Two numbers of 64 bits meet by chance about
    // once in 10^19 pairs; the worst that could do is skip a file, with the reason named.
    uint64_t KeyOf(std::string_view path);

    std::mutex lock_;
    // A little before the job began: a change time from then on is the job's run. The margin
    // covers the coarse clock that file systems stamp with; a file changed in it by another
    // program is still told apart by its source.
    timespec started_{};
    std::unordered_map<std::string, FolderNaming> folders_;
    // What trying a name found, by device.
    std::unordered_map<dev_t, FolderNaming> devices_;
    std::string lastFolder_;
    const FolderNaming* lastNaming_ = nullptr;
    std::unordered_map<uint64_t, const FENTRY_*> files_;
};

}  // namespace rd
