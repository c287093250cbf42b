#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

namespace rd::fs {

namespace {

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
#ifdef STATX_BTIME
    struct statx stx;
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
                &stx) == 0)
        return FromStatx(stx);
    // Old kernels and some sandboxes refuse statx itself; lstat still answers there.
    if (errno != ENOSYS && errno != EPERM) {
        if (error)
            *error = errno;
        return std::nullopt;
    }
#endif
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
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

int WriteWholeFile(const std::string& path, std::string_view data) {
    FileHandle file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.Get() < 0)
        return errno;
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(file.Get(), data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<size_t>(n);
    }
    return file.Close() == 0 ? 0 : errno;
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

int ListFolder(const std::string& folder, std::string_view pattern, std::vector<DirEntry>& out) {
    out.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return errno;
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

int MakeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
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
