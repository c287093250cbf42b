// Page-allocated block buffers that are swapped between reader and writers, never copied.
#pragma once

#include <cstdint>

namespace rd {

// Asked when pages cannot be allocated for a buffer.
class AllocationFailure {
public:
    enum class Answer { Abort, Retry, Ignore };
    virtual ~AllocationFailure() = default;
    // "Failed to allocate neccesary amount of memory for buffer", caption "RedoDori".
    virtual Answer Ask() = 0;
};

// Says so on stderr and answers Abort: for a process that has no one to ask.
AllocationFailure& StderrAllocationFailure();

class VNBuffer {
public:
    VNBuffer() = default;
    ~VNBuffer();
    VNBuffer(const VNBuffer&) = delete;
    VNBuffer& operator=(const VNBuffer&) = delete;

    uint8_t* Data() const { return data_; }
    uint32_t Capacity() const { return capacity_; }

    friend void SwapBuffers(VNBuffer& a, VNBuffer& b);
    friend void EnsureCapacity(VNBuffer& buffer, uint32_t n, AllocationFailure& failure);

private:
    void Release();

    uint8_t* data_ = nullptr;
    uint32_t capacity_ = 0;
};

// Grows `buffer` to n + 65535 bytes of fresh pages when it holds fewer than n; the contents are
// not kept. When pages cannot be had, `failure` is asked: Retry and Ignore try again, Abort ends
// the process with exit code -1.
void EnsureCapacity(VNBuffer& buffer, uint32_t n, AllocationFailure& failure);

// Exchanges the storage of two buffers.
void SwapBuffers(VNBuffer& a, VNBuffer& b);

// The block size of a `bufsz` index: 512 bytes to 32 MiB; 256 KiB for an index outside 0-10.
uint32_t CopyBlockSize(int32_t bufsz);
// The same for overwriting a file before it is deleted; 1 MiB outside 0-10.
uint32_t WipeBlockSize(int32_t bufsz);

}  // namespace rd
