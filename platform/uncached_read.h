// Reading a file from the disk rather than from the system cache, so that a check sees what the
// disk holds: with O_DIRECT where the file system takes it, else with the cached pages dropped
// before the read.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rd {

// The alignment O_DIRECT asks of buffers, offsets and lengths.
inline constexpr size_t kDirectAlign = 4096;

// A buffer aligned for O_DIRECT; its size is a multiple of kDirectAlign.
class AlignedBuffer {
public:
    explicit AlignedBuffer(size_t size);
    ~AlignedBuffer();
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;

    // Null when the memory could not be had.
    unsigned char* Data() const { return data_; }
    size_t Size() const { return size_; }

private:
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

class UncachedFile {
public:
    UncachedFile() = default;
    ~UncachedFile();
    UncachedFile(const UncachedFile&) = delete;
    UncachedFile& operator=(const UncachedFile&) = delete;

    // Opens `relative` below the folder `folderFd` (OpenBeneath) for reading, without waiting
    // on a fifo; false with `error` set.
    bool Open(int folderFd, std::string_view relative, int& error);
    int Fd() const { return fd_; }
    // The reads bypass the cache (O_DIRECT).
    bool Direct() const { return direct_; }
    // Reads up to `size` bytes at `offset` (both multiples of kDirectAlign) into an aligned
    // buffer; the count read (0 at the end), or -1 with errno. A file system that refuses a
    // direct read gets a cached one of dropped pages instead.
    ssize_t Read(unsigned char* buffer, size_t size, uint64_t offset);

private:
    // Leaves O_DIRECT and drops the file's cached pages, so that the reads still come from the
    // disk.
    void FallBackToCache();

    int fd_ = -1;
    bool direct_ = false;
};

}  // namespace rd
