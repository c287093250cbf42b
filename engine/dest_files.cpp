#include "engine/dest_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "engine/dest_table.h"
#include "engine/transfer.h"

namespace rd {

namespace {

int Opened(int fd, int& handle) {
    handle = fd;
    return fd < 0 ? errno : 0;
}

int OpenLocal(const std::string& path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

int LocalFiles::Create(const std::string& path, mode_t mode, int& handle, struct stat& seen) {
    if (const int error = Opened(OpenLocal(path, O_WRONLY | O_CREAT | O_EXCL, mode), handle))
        return error;
    // Just made, the file's attributes are still in the kernel's cache: no file system is asked.
    if (::fstat(handle, &seen) != 0)
        seen = {};
    return 0;
}

int LocalFiles::OpenWrite(const std::string& path, bool create, mode_t mode, int& handle) {
    return Opened(OpenLocal(path, O_WRONLY | (create ? O_CREAT : 0), mode), handle);
}

int LocalFiles::OpenRead(const std::string& path, int& handle) {
    return Opened(OpenLocal(path, O_RDONLY | O_NONBLOCK, 0), handle);
}

int LocalFiles::Read(int handle, uint8_t* data, uint32_t& n, uint64_t offset) {
    int error = 0;
    PositionedRead(handle, data, n, offset, error);
    return error;
}

int LocalFiles::Write(int handle, const uint8_t* data, uint32_t n, uint64_t offset) {
    int error = 0;
    PositionedWrite(handle, data, n, offset, error);
    return error;
}

int LocalFiles::SetLength(int handle, uint64_t size) {
    return ::ftruncate(handle, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

int LocalFiles::StatOpen(int handle, struct stat& out) {
    return ::fstat(handle, &out) == 0 ? 0 : errno;
}

int LocalFiles::SetInfo(int handle, uint32_t mode, const timespec& modified, mode_t current,
                        int& modeError) {
    if (SetBasicInfo(handle, mode, modified, current, &modeError))
        return 0;
    return modeError ? modeError : errno;
}

int LocalFiles::Close(int handle) {
    return ::close(handle) != 0 && errno != EINTR ? errno : 0;
}

void LocalFiles::Discard(int handle) {
    ::close(handle);
}

int LocalFiles::StatPath(const std::string& path, struct stat& out) {
    return ::lstat(path.c_str(), &out) == 0 ? 0 : errno;
}

int LocalFiles::MakeFolderTree(const std::string& path) {
    return CreateFolderTree(path);
}

int LocalFiles::SetTimes(const std::string& path, const timespec& modified) {
    const timespec times[2] = {{0, UTIME_OMIT}, modified};
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int LocalFiles::Rename(const std::string& from, const std::string& to) {
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ? 0
                                                                                            : errno;
}

int LocalFiles::Remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

DestFiles& LocalDestFiles() {
    static LocalFiles files;
    return files;
}

}  // namespace rd
