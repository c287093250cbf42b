// The destination files this job has created or written, and the source each holds, so that no
// later source of the same job overwrites, resumes or renames one of them away: two sources of
// one name (from two folders), or names that a destination folder takes for one (README and
// readme on a stick that folds case).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

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
};

// Creates a file of its own in `folder`, looks it up under other spellings and removes it. A
// folder where nothing can be created gives the defaults: exact names, stable inodes.
FolderNaming ProbeFolderNaming(const std::string& folder);

// `name` as a folder with `naming` compares names: upper case where the folder folds case
// (Unicode where the name is UTF-8, else ASCII), trailing dots and spaces dropped where it drops
// them.
std::string FoldedName(std::string_view name, const FolderNaming& naming);

class WrittenDestinations {
public:
    // Any thread: the job opened `path` (open as `fd`) to write the data of `source` into it.
    void Record(const std::string& path, int fd, const FENTRY_* source);
    // The same for a destination the job made without data of its own (a link, a renamed
    // source), which `st` describes.
    void Record(const std::string& path, const struct stat& st, const FENTRY_* source);
    // The node whose data this job put at `path`, where lstat found `there`; null when no file
    // of this job stands there.
    const FENTRY_* WrittenFrom(const std::string& path, const struct stat& there);
    // Whether `a` and `b` name one file: the same path, or names in one folder that the folder
    // takes for one.
    bool SameName(const std::string& a, const std::string& b);

private:
    // Under `lock_`: the naming of the folder that holds `path`, probed on first use.
    const FolderNaming& NamingOf(const std::string& path);
    // Under `lock_`: the key of `path` among the names, or empty when its folder's inode
    // numbers tell files apart.
    std::string NameKey(const std::string& path);

    std::mutex lock_;
    std::unordered_map<std::string, FolderNaming> folders_;
    std::map<std::pair<dev_t, ino_t>, const FENTRY_*> inodes_;
    // Folder + "/" + folded name, for folders whose names fold or whose inode numbers do not
    // hold still.
    std::unordered_map<std::string, const FENTRY_*> names_;
};

}  // namespace rd
