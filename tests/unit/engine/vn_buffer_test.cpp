#include "engine/vn_buffer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>

namespace rd {
namespace {

class ScriptedFailure : public AllocationFailure {
public:
    Answer Ask() override {
        ++asked;
        if (liftCapAt == asked) {
            rlimit limit{};
            getrlimit(RLIMIT_AS, &limit);
            limit.rlim_cur = limit.rlim_max;
            setrlimit(RLIMIT_AS, &limit);
        }
        return asked % 2 ? first : second;
    }
    Answer first = Answer::Abort;
    Answer second = Answer::Abort;
    int liftCapAt = 0;
    int asked = 0;
};

struct NoPages {};
class ThrowingFailure : public AllocationFailure {
public:
    Answer Ask() override { throw NoPages{}; }
};

bool IsPageAligned(const void* p) {
    return reinterpret_cast<uintptr_t>(p) % static_cast<uintptr_t>(sysconf(_SC_PAGESIZE)) == 0;
}

// Caps the address space of this (forked) process a little above its present use, so that a
// large mapping fails while small allocations still work.
void CapAddressSpace() {
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    statm >> pages;
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) + (64u << 20);
    setrlimit(RLIMIT_AS, &limit);
}

constexpr uint32_t kTooLarge = 512u << 20;

TEST(VNBuffer, GrowsWithSlackOnlyWhenTooSmall) {
    VNBuffer buffer;
    ScriptedFailure failure;
    EnsureCapacity(buffer, 1000, failure);
    ASSERT_NE(buffer.Data(), nullptr);
    EXPECT_EQ(buffer.Capacity(), 1000u + 65535u);
    EXPECT_TRUE(IsPageAligned(buffer.Data()));
    buffer.Data()[buffer.Capacity() - 1] = 42;

    uint8_t* first = buffer.Data();
    EnsureCapacity(buffer, 1000 + 65535, failure);
    EnsureCapacity(buffer, 512, failure);
    EXPECT_EQ(buffer.Data(), first);
    EXPECT_EQ(buffer.Capacity(), 1000u + 65535u);
    EXPECT_EQ(buffer.Data()[buffer.Capacity() - 1], 42);

    EnsureCapacity(buffer, 1048576, failure);
    EXPECT_EQ(buffer.Capacity(), 1048576u + 65535u);
    EXPECT_TRUE(IsPageAligned(buffer.Data()));
    buffer.Data()[buffer.Capacity() - 1] = 1;
    EXPECT_EQ(failure.asked, 0);
}

TEST(VNBuffer, SlackNearTheTopOfTheRangeDoesNotWrap) {
    // Unclamped, n + 65535 wraps past 4 GiB to a buffer far smaller than n.
    VNBuffer buffer;
    ThrowingFailure failure;
    try {
        EnsureCapacity(buffer, UINT32_MAX - 10, failure);
    } catch (const NoPages&) {
        GTEST_SKIP() << "this machine cannot map 4 GiB";
    }
    EXPECT_EQ(buffer.Capacity(), UINT32_MAX);
}

TEST(VNBuffer, SwapExchangesStorage) {
    VNBuffer a, b;
    ScriptedFailure failure;
    EnsureCapacity(a, 4096, failure);
    uint8_t* aData = a.Data();
    SwapBuffers(a, b);
    EXPECT_EQ(a.Data(), nullptr);
    EXPECT_EQ(a.Capacity(), 0u);
    EXPECT_EQ(b.Data(), aData);
    EXPECT_EQ(b.Capacity(), 4096u + 65535u);
}

TEST(VNBufferDeathTest, AbortEndsTheProcessWithMinusOne) {
    EXPECT_EXIT(
        {
            CapAddressSpace();
            VNBuffer buffer;
            ScriptedFailure failure;
            EnsureCapacity(buffer, kTooLarge, failure);
            _exit(0);
        },
        ::testing::ExitedWithCode(255), "");
}

TEST(VNBufferDeathTest, RetryAndIgnoreTryAgainUntilItWorks) {
    EXPECT_EXIT(
        {
            CapAddressSpace();
            VNBuffer buffer;
            ScriptedFailure failure;
            failure.first = AllocationFailure::Answer::Retry;
            failure.second = AllocationFailure::Answer::Ignore;
            failure.liftCapAt = 3;
            EnsureCapacity(buffer, kTooLarge, failure);
            const bool grown = buffer.Data() && buffer.Capacity() == kTooLarge + 65535u;
            if (grown)
                buffer.Data()[kTooLarge - 1] = 1;
            _exit(failure.asked == 3 && grown ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(BlockSizes, Tables) {
    const uint32_t expected[11] = {512,     4096,    32768,   131072,   262144,  524288,
                                   1048576, 2097152, 4194304, 16777216, 33554432};
    for (int32_t i = 0; i < 11; ++i) {
        EXPECT_EQ(CopyBlockSize(i), expected[i]) << i;
        EXPECT_EQ(WipeBlockSize(i), expected[i]) << i;
    }
    for (int32_t i : {-1, 11, 1000}) {
        EXPECT_EQ(CopyBlockSize(i), 262144u) << i;
        EXPECT_EQ(WipeBlockSize(i), 1048576u) << i;
    }
}

}  // namespace
}  // namespace rd
