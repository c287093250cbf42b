#include "engine/vn_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace rd {

namespace {

// Growth slack, so that a slightly larger block next time does not remap the pages.
constexpr uint64_t kSlack = 65535;

constexpr uint32_t kBlockSizes[11] = {
    512, 4096, 32768, 131072, 262144, 524288, 1048576, 2097152, 4194304, 16777216, 33554432,
};

bool IsTableIndex(int32_t bufsz) {
    return bufsz >= 0 && bufsz < 11;
}

}  // namespace

VNBuffer::~VNBuffer() {
    Release();
}

void VNBuffer::Release() {
    if (data_)
        munmap(data_, capacity_);
    data_ = nullptr;
    capacity_ = 0;
}

void EnsureCapacity(VNBuffer& buffer, uint32_t n, AllocationFailure& failure) {
    if (buffer.capacity_ >= n)
        return;
    // Near the top of the 32-bit range the slack is cut off rather than wrapping around to a
    // buffer smaller than n.
    const uint64_t wanted = std::min<uint64_t>(uint64_t{n} + kSlack, UINT32_MAX);
    // The old pages go first so that the old and the new buffer never need memory together.
    buffer.Release();
    for (;;) {
        // Anonymous mappings are page-aligned, as unbuffered transfers require.
        void* pages =
            mmap(nullptr, wanted, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages != MAP_FAILED) {
            buffer.data_ = static_cast<uint8_t*>(pages);
            buffer.capacity_ = static_cast<uint32_t>(wanted);
            return;
        }
        if (failure.Ask() == AllocationFailure::Answer::Abort)
            _exit(255);
    }
}

void SwapBuffers(VNBuffer& a, VNBuffer& b) {
    std::swap(a.data_, b.data_);
    std::swap(a.capacity_, b.capacity_);
}

uint32_t CopyBlockSize(int32_t bufsz) {
    return IsTableIndex(bufsz) ? kBlockSizes[bufsz] : 262144;
}

uint32_t WipeBlockSize(int32_t bufsz) {
    return IsTableIndex(bufsz) ? kBlockSizes[bufsz] : 1048576;
}

AllocationFailure& StderrAllocationFailure() {
    class Stderr : public AllocationFailure {
    public:
        Answer Ask() override {
            std::fputs("redodori: Failed to allocate neccesary amount of memory for buffer\n",
                       stderr);
            return Answer::Abort;
        }
    };
    static Stderr failure;
    return failure;
}

}  // namespace rd
