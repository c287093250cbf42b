// File-system calls the layers above need, with errno results instead of exceptions.
#pragma once

#include <sys/stat.h>
#include <unistd.h>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rd::fs {

// Closes a descriptor on every path out of a function.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int Get() const { return fd_; }
    // Closes now so that a late write error reported by close is not lost.
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// Writes all of `data`; 0 or errno. The fault seam may fail any write, as it may the copy's.
int WriteAll(int fd, std::string_view data);

// What lstat tells about a path. `mode` carries the type and permission bits.
struct Attributes {
    mode_t mode = 0;
    uint64_t size = 0;
    timespec modified{};
    timespec created{};  // zero where the file system does not record a creation time
    dev_t device = 0;
    ino_t inode = 0;
    uid_t uid = 0;
    gid_t gid = 0;

    bool IsFolder() const { return S_ISDIR(mode); }
    bool IsLink() const { return S_ISLNK(mode); }
    bool IsRegular() const { return S_ISREG(mode); }
};

// What `st` tells; no creation time.
Attributes FromStat(const struct stat& st);

// Reads the attributes of `path` itself (links are not followed). Sets `error` to errno on
// failure when it is given.
std::optional<Attributes> GetAttributes(const std::string& path, int* error = nullptr);
// The same for `name` inside the folder open as `at` (AT_FDCWD: as GetAttributes).
std::optional<Attributes> GetAttributesAt(int at, const std::string& name, int* error = nullptr);

// Reads a whole file into `data`. Returns 0 or the errno of the failing call.
int ReadWholeFile(const std::string& path, std::string& data);

// A file or folder as the kernel knows it, whatever path reaches it.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// What `path` leads to, links followed; nullopt when it cannot be reached.
std::optional<FileId> IdOf(const std::string& path);

// Why ReadRegularFile refused a file that is there.
enum class Refusal { kNone, kSymbolicLink, kNotRegular, kOtherOwner, kTooLarge };

struct RegularFile {
    int error = 0;  // errno when the file could not be opened or read
    Refusal refusal = Refusal::kNone;
    std::string data;
    FileId folder;  // the folder that holds the file
    FileId file;
};

// Reads the regular file `path` whole. It is opened without blocking, so that a fifo is refused
// rather than waited on; a folder fails with EISDIR. A file larger than `maxBytes`, also one
// that grows past it while it is read, is refused. In a folder among `strictFolders`, and in one
// that others may write to (such as /tmp), only a file of the effective user that is not a
// symbolic link is read.
RegularFile ReadRegularFile(const std::string& path, uint64_t maxBytes,
                            const std::vector<FileId>& strictFolders);

// Removes `path` only while it is still `file` in `folder` (ReadRegularFile's result), so that
// a file put in its place meanwhile is left alone. Returns 0, ESTALE when the name now holds
// something else, or another errno.
int RemoveIfSame(const std::string& path, const FileId& folder, const FileId& file);

// Replaces `folder`/`name` with `data` in one step: a new file (mode 0600) is created
// exclusively beside it, so never through a symbolic link, written, synced and renamed over
// the name (a link there is replaced, its target untouched); the folder is synced last. On
// failure the name keeps what it held. Returns 0 or the errno of the failing call.
int ReplaceFileAtomically(const std::string& folder, const std::string& name,
                          std::string_view data);

// Creates `folder`/`name` as a new file (mode 0600) holding `data`. The name must be free: a
// file or a symbolic link standing there gives EEXIST and is left alone, and a folder reached
// through a symbolic link is refused. A file that cannot be written in full is removed again.
// Returns 0 or the errno of the failing call.
int CreateNewFile(const std::string& folder, const std::string& name, std::string_view data);

// Removes a file. Returns 0 or errno.
int RemoveFile(const std::string& path);

// True when `name` matches `pattern`, where "*" stands for any run of characters (also none)
// and every other character stands for itself.
bool MatchPattern(std::string_view pattern, std::string_view name);

struct DirEntry {
    std::string name;
    bool isFolder = false;  // a real folder, not a link to one
};

// Lists the entries of `folder` whose names match `pattern` ("*" lists all), without "." and
// "..", sorted by name. Returns 0 or errno.
int ListFolder(const std::string& folder, std::string_view pattern, std::vector<DirEntry>& out);
// The same for the folder open as `fd`, which stays the caller's.
int ListFolderAt(int fd, std::string_view pattern, std::vector<DirEntry>& out);

// Opens the folder `name` inside the folder open as `at` (AT_FDCWD: `name` is a path) for a
// walk, so that what lies below it is named relative to it and no call walks the whole path
// again. A link, or an entry that is no longer a folder, is refused (ELOOP, ENOTDIR), never
// followed. Returns the descriptor (close-on-exec), or -errno.
int OpenFolderAt(int at, const std::string& name);

// Creates one folder. Returns 0, EEXIST when something is already there, or another errno.
int MakeFolder(const std::string& path);

// Renames `from` to `to` without replacing anything already at `to` (a plain rename would
// silently remove an empty folder there). Returns 0, EEXIST or another errno.
int RenameNoReplace(const std::string& from, const std::string& to);

// The current working folder, empty when it cannot be read.
std::string CurrentFolder();

}  // namespace rd::fs
