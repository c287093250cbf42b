#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/fault_injection.h"

namespace rd::fs {

namespace {

// A path split for the calls relative to its folder: "a/b" is "b" in "a/", "b" is "b" in ".",
// and "a/" is "." in "a/", the folder itself.
struct PathInFolder {
    std::string folder;
    std::string name;
};

PathInFolder SplitPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    if (slash + 1 == path.size())
        return {path, "."};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

}  // namespace

int WriteAll(int fd, std::string_view data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        // A write that makes no progress without an error would otherwise loop forever.
        if (n <= 0)
            return n < 0 ? errno : EIO;
        if (int injected =
                fault::Check(fault::Op::Write, fd, done,
                             reinterpret_cast<uint8_t*>(const_cast<char*>(data.data() + done)),
                             static_cast<uint32_t>(n)))
            return injected;
        done += static_cast<size_t>(n);
    }
    return 0;
}

Attributes FromStat(const struct stat& st) {
    Attributes a;
    a.mode = st.st_mode;
    a.size = static_cast<uint64_t>(st.st_size);
    a.modified = st.st_mtim;
    a.device = st.st_dev;
    a.inode = st.st_ino;
    a.uid = st.st_uid;
    a.gid = st.st_gid;
    return a;
}

namespace {

#ifdef STATX_BTIME
Attributes FromStatx(const struct statx& stx) {
    Attributes a;
    a.mode = stx.stx_mode;
    a.size = stx.stx_size;
    a.modified.tv_sec = stx.stx_mtime.tv_sec;
    a.modified.tv_nsec = stx.stx_mtime.tv_nsec;
    if (stx.stx_mask & STATX_BTIME) {
        a.created.tv_sec = stx.stx_btime.tv_sec;
        a.created.tv_nsec = stx.stx_btime.tv_nsec;
    }
    a.device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    a.inode = stx.stx_ino;
    a.uid = stx.stx_uid;
    a.gid = stx.stx_gid;
    return a;
}
#endif

}  // namespace

std::optional<Attributes> GetAttributes(const std::string& path, int* error) {
    return GetAttributesAt(AT_FDCWD, path, error);
}

std::optional<Attributes> GetAttributesAt(int at, const std::string& name, int* error) {
#ifdef STATX_BTIME
    struct statx stx;
    if (::statx(at, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &stx) == 0)
        return FromStatx(stx);
    // Old kernels and some sandboxes refuse statx itself; lstat still answers there.
    if (errno != ENOSYS && errno != EPERM) {
        if (error)
            *error = errno;
        return std::nullopt;
    }
#endif
    struct stat st;
    if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (error)
            *error = errno;
        return std::nullopt;
    }
    return FromStat(st);
}

int ReadWholeFile(const std::string& path, std::string& data) {
    data.clear();
    FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0)
        return errno;
    // The size is only a hint: files under /proc report 0 and files may grow while read.
    // One spare byte lets the read that reports the end fit without growing the buffer.
    struct stat st;
    size_t capacity = 64 * 1024;
    if (::fstat(file.Get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        capacity = static_cast<size_t>(st.st_size) + 1;
    data.resize(capacity);
    size_t used = 0;
    for (;;) {
        if (used == data.size())
            data.resize(data.size() + std::max<size_t>(64 * 1024, data.size() / 2));
        const ssize_t n = ::read(file.Get(), data.data() + used, data.size() - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            data.clear();
            return error;
        }
        if (n == 0)
            break;
        used += static_cast<size_t>(n);
    }
    data.resize(used);
    return 0;
}

std::optional<FileId> IdOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

RegularFile ReadRegularFile(const std::string& path, uint64_t maxBytes,
                            const std::vector<FileId>& strictFolders) {
    RegularFile out;
    const PathInFolder at = SplitPath(path);
    FileHandle folder(::open(at.folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (folder.Get() < 0 || ::fstat(folder.Get(), &st) != 0) {
        out.error = errno;
        return out;
    }
    out.folder = {st.st_dev, st.st_ino};
    // Where others may create files, a file is trusted only when it is the user's own.
    const bool strict =
        (st.st_mode & S_IWOTH) ||
        std::find(strictFolders.begin(), strictFolders.end(), out.folder) != strictFolders.end();
    // O_NONBLOCK: a fifo opens at once instead of waiting for a writer, and is refused below.
    FileHandle file(
        ::openat(folder.Get(), at.name.c_str(),
                 O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (strict ? O_NOFOLLOW : 0)));
    if (file.Get() < 0) {
        out.error = errno;
        if (strict && out.error == ELOOP) {
            out.refusal = Refusal::kSymbolicLink;
        } else if (::fstatat(folder.Get(), at.name.c_str(), &st, 0) == 0 && !S_ISREG(st.st_mode) &&
                   !S_ISDIR(st.st_mode)) {
            // A socket cannot be opened at all; it is not a file either way.
            out.refusal = Refusal::kNotRegular;
        }
        if (out.refusal != Refusal::kNone)
            out.error = 0;
        return out;
    }
    if (::fstat(file.Get(), &st) != 0) {
        out.error = errno;
        return out;
    }
    if (S_ISDIR(st.st_mode)) {
        out.error = EISDIR;
        return out;
    }
    if (!S_ISREG(st.st_mode))
        out.refusal = Refusal::kNotRegular;
    else if (strict && st.st_uid != ::geteuid())
        out.refusal = Refusal::kOtherOwner;
    else if (static_cast<uint64_t>(st.st_size) > maxBytes)
        out.refusal = Refusal::kTooLarge;
    if (out.refusal != Refusal::kNone)
        return out;
    out.file = {st.st_dev, st.st_ino};
    // One byte past the limit shows a file that grew beyond it while it was read.
    const uint64_t limit = maxBytes + 1;
    out.data.resize(
        static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(st.st_size) + 1, limit)));
    size_t used = 0;
    for (;;) {
        if (used == out.data.size()) {
            if (used >= limit) {
                out.data.clear();
                out.refusal = Refusal::kTooLarge;
                return out;
            }
            out.data.resize(static_cast<size_t>(
                std::min<uint64_t>(limit, used + std::max<size_t>(64 * 1024, used / 2))));
        }
        const ssize_t n = ::read(file.Get(), out.data.data() + used, out.data.size() - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            out.error = errno;
            out.data.clear();
            return out;
        }
        if (n == 0)
            break;
        used += static_cast<size_t>(n);
    }
    out.data.resize(used);
    return out;
}

int RemoveIfSame(const std::string& path, const FileId& folder, const FileId& file) {
    const PathInFolder at = SplitPath(path);
    FileHandle dir(::open(at.folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (dir.Get() < 0 || ::fstat(dir.Get(), &st) != 0)
        return errno;
    if (FileId{st.st_dev, st.st_ino} != folder)
        return ESTALE;
    if (::fstatat(dir.Get(), at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (FileId{st.st_dev, st.st_ino} != file)
        return ESTALE;
    return ::unlinkat(dir.Get(), at.name.c_str(), 0) == 0 ? 0 : errno;
}

int ReplaceFileAtomically(const std::string& folder, const std::string& name,
                          std::string_view data) {
    std::string temporary = folder + "/." + name + ".XXXXXX";
    // mkostemp creates with O_EXCL (a link at that name fails instead of being followed) and
    // mode 0600.
    FileHandle file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.Get() < 0)
        return errno;
    int error = WriteAll(file.Get(), data);
    if (!error && ::fsync(file.Get()) != 0)
        error = errno;
    if (file.Close() != 0 && !error)
        error = errno;
    if (!error && ::rename(temporary.c_str(), (folder + "/" + name).c_str()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    // The new name is lasting only once the folder's entry is on disk.
    FileHandle dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0 || ::fsync(dir.Get()) != 0)
        return errno;
    return 0;
}

int CreateNewFile(const std::string& folder, const std::string& name, std::string_view data) {
    FileHandle dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.Get() < 0)
        return errno;
    FileHandle file(::openat(dir.Get(), name.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file.Get() < 0)
        return errno;
    int error = WriteAll(file.Get(), data);
    // A failing close can be the first report of a failed write (a full disk over NFS).
    if (file.Close() != 0 && !error)
        error = errno;
    if (error)
        ::unlinkat(dir.Get(), name.c_str(), 0);
    return error;
}

int RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

bool MatchPattern(std::string_view pattern, std::string_view name) {
    // Greedy matching that remembers only the last "*": on a mismatch that star absorbs one
    // more character. Earlier stars never need revisiting, so the cost stays at most
    // pattern length times name length.
    size_t p = 0, n = 0;
    size_t star = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starName = n;
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

namespace {

// Reads the open folder `dir` into `out` and closes it; 0 or errno.
int ReadFolder(DIR* dir, std::string_view pattern, std::vector<DirEntry>& out) {
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || !MatchPattern(pattern, name))
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st;
            isFolder = ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISDIR(st.st_mode);
        }
        out.push_back(DirEntry{std::string(name), isFolder});
    }
    ::closedir(dir);
    if (error) {
        out.clear();
        return error;
    }
    std::sort(out.begin(), out.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return 0;
}

}  // namespace

int ListFolder(const std::string& folder, std::string_view pattern, std::vector<DirEntry>& out) {
    out.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return errno;
    return ReadFolder(dir, pattern, out);
}

int ListFolderAt(int fd, std::string_view pattern, std::vector<DirEntry>& out) {
    out.clear();
    // The stream takes a descriptor of its own: closing it leaves the caller's open.
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return errno;
    DIR* dir = ::fdopendir(own);
    if (!dir) {
        const int error = errno;
        ::close(own);
        return error;
    }
    // A duplicate shares its position: the listing starts at the beginning whatever was read.
    ::rewinddir(dir);
    return ReadFolder(dir, pattern, out);
}

int OpenFolderAt(int at, const std::string& name) {
    const int fd = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

int MakeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: look first. Another process could still slip a folder
    // in between; only an empty one could be lost then.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::string CurrentFolder() {
    std::string buffer(256, '\0');
    // No real folder path comes near the cap; it only bounds the loop.
    while (buffer.size() <= (1u << 20)) {
        if (::getcwd(buffer.data(), buffer.size())) {
            buffer.resize(std::char_traits<char>::length(buffer.c_str()));
            return buffer;
        }
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

}  // namespace rd::fs
