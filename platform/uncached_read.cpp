#include "platform/uncached_read.h"

#include <fcntl.h>
#include <linux/aio_abi.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/open_beneath.h"

namespace rd {

namespace {

// A direct read goes to the disk as this many requests at once: a disk, and a virtual one all
// the more, reads several requests in flight faster than the same bytes one after another,
// which the cache's read-ahead does for cached reads.
constexpr size_t kPieces = 4;
// Reads shorter than this go as one request.
constexpr size_t kSmallestSplit = kPieces * 64 * 1024;

// The kernel's asynchronous I/O, one context a thread: making and ending one is too slow to do
// for every file.
class AsyncReads {
public:
    ~AsyncReads() {
        if (id_ != 0)
            ::syscall(SYS_io_destroy, id_);
    }
    // Null when the kernel refuses asynchronous I/O (limits, a kernel without it).
    aio_context_t Id() {
        if (id_ == 0 && !refused_)
            refused_ = ::syscall(SYS_io_setup, kPieces, &id_) != 0;
        return refused_ ? 0 : id_;
    }

    // Waits for what is in flight and asks for no more asynchronous I/O on this thread.
    void End() {
        if (id_ != 0)
            ::syscall(SYS_io_destroy, id_);
        id_ = 0;
        refused_ = true;
    }

private:
    aio_context_t id_ = 0;
    bool refused_ = false;
};

thread_local AsyncReads asyncReads;

// Reads [offset, offset + size) of `fd` as kPieces requests in flight at once. The count read,
// or -1 with errno; -1 with ENOSYS when the reads could not be sent (nothing was read).
ssize_t ReadInPieces(int fd, unsigned char* buffer, size_t size, uint64_t offset) {
    const aio_context_t id = asyncReads.Id();
    if (id == 0) {
        errno = ENOSYS;
        return -1;
    }
    const size_t piece = (size / kPieces + kDirectAlign - 1) / kDirectAlign * kDirectAlign;
    iocb blocks[kPieces] = {};
    iocb* sent[kPieces] = {};
    size_t count = 0;
    for (size_t at = 0; at < size && count < kPieces; at += piece, ++count) {
        iocb& b = blocks[count];
        b.aio_data = count;
        b.aio_lio_opcode = IOCB_CMD_PREAD;
        b.aio_fildes = static_cast<uint32_t>(fd);
        b.aio_buf = reinterpret_cast<uint64_t>(buffer + at);
        b.aio_nbytes = std::min(piece, size - at);
        b.aio_offset = static_cast<int64_t>(offset + at);
        sent[count] = &b;
    }
    long submitted = ::syscall(SYS_io_submit, id, static_cast<long>(count), sent);
    if (submitted <= 0) {
        errno = ENOSYS;
        return -1;
    }
    // Every piece sent is waited for, whatever happens: the kernel writes into the buffer.
    int64_t results[kPieces] = {};
    for (long done = 0; done < submitted;) {
        io_event events[kPieces] = {};
        const long got =
            ::syscall(SYS_io_getevents, id, 1L, static_cast<long>(kPieces), events, nullptr);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            // The buffer is not handed back while the kernel may still write into it: ending
            // the context waits for what is in flight.
            asyncReads.End();
            errno = EIO;
            return -1;
        }
        for (long i = 0; i < got; ++i)
            results[events[i].data] = events[i].res;
        done += got;
    }
    // Pieces not sent are read here, one after another.
    for (size_t i = static_cast<size_t>(submitted); i < count; ++i) {
        const ssize_t n = ::pread(fd, reinterpret_cast<void*>(blocks[i].aio_buf),
                                  blocks[i].aio_nbytes, blocks[i].aio_offset);
        results[i] = n < 0 ? -errno : n;
    }
    // The bytes up to the first piece that came short: the file's end.
    ssize_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        if (results[i] < 0) {
            errno = static_cast<int>(-results[i]);
            return -1;
        }
        total += results[i];
        if (static_cast<uint64_t>(results[i]) < blocks[i].aio_nbytes)
            break;
    }
    return total;
}

}  // namespace

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
        ssize_t n = -1;
        errno = ENOSYS;
        if (direct_ && size >= kSmallestSplit)
            n = ReadInPieces(fd_, buffer, size, offset);
        if (n < 0 && errno == ENOSYS)
            n = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
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
