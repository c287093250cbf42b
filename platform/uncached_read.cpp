#include "platform/uncached_read.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/open_beneath.h"

namespace rd {

AlignedBuffer::AlignedBuffer(size_t size) {
    size = (size + kDirectAlign - 1) / kDirectAlign * kDirectAlign;
    void* memory = nullptr;
    if (posix_memalign(&memory, kDirectAlign, size) == 0) {
        data_ = static_cast<unsigned char*>(memory);
        size_ = size;
    }
}

AlignedBuffer::~AlignedBuffer() {
    std::free(data_);
}

UncachedFile::~UncachedFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool UncachedFile::Open(int folderFd, std::string_view relative, int& error) {
    // Non-blocking: a fifo put where a file was listed must not hold the check.
    constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY;
    fd_ = OpenBeneath(folderFd, relative, kFlags | O_DIRECT, error);
    direct_ = fd_ >= 0;
    // tmpfs and some FUSE file systems refuse O_DIRECT at the open.
    if (fd_ < 0 && error == EINVAL) {
        fd_ = OpenBeneath(folderFd, relative, kFlags, error);
        if (fd_ >= 0)
            FallBackToCache();
    }
    return fd_ >= 0;
}

void UncachedFile::FallBackToCache() {
    if (direct_) {
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags >= 0)
            ::fcntl(fd_, F_SETFL, flags & ~O_DIRECT);
    }
    direct_ = false;
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED);
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

ssize_t UncachedFile::Read(unsigned char* buffer, size_t size, uint64_t offset) {
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        // Some file systems take O_DIRECT at the open and refuse it at the read.
        if (errno == EINVAL && direct_) {
            FallBackToCache();
            continue;
        }
        return -1;
    }
}

}  // namespace rd
