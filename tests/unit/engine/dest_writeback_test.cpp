#include "engine/dest_writeback.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace rd {

namespace {

constexpr uint64_t kMiB = 1 << 20;

size_t OpenHandles() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// Writes `size` bytes to a new file `path` in blocks of `block`, telling `writeback` of each,
// and checks the bound after each block.
void WriteThrough(DestWriteback& writeback, const std::string& path, uint64_t size,
                  uint64_t block) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << path;
    const std::string data(block, 'x');
    for (uint64_t at = 0; at < size; at += block) {
        const uint64_t n = std::min(block, size - at);
        ASSERT_EQ(::pwrite(fd, data.data(), n, static_cast<off_t>(at)), static_cast<ssize_t>(n));
        writeback.Wrote(fd, at, n);
        ASSERT_LE(writeback.Unwritten(), UnwrittenBound(writeback.BytesPerSecond())) << path;
    }
    writeback.Closing(fd);
    ::close(fd);
}

}  // namespace

TEST(DestWriteback, ALargeFileStaysWithinTheBoundAndMeasuresTheDisk) {
    test::TempDir dir;
    DestWriteback writeback;
    WriteThrough(writeback, dir.Path() + "/large", 96 * kMiB, kMiB);
    EXPECT_GT(writeback.BytesPerSecond(), 0u);
    EXPECT_GT(writeback.Unwritten(), 0u);
    writeback.Clear();
    EXPECT_EQ(writeback.Unwritten(), 0u);
}

TEST(DestWriteback, ManySmallFilesAreWaitedForTogether) {
    test::TempDir dir;
    DestWriteback writeback;
    const size_t before = OpenHandles();
    // 40 MiB in files of 64 KiB: more than the bound at any rate, with no handle kept.
    for (int i = 0; i < 640; ++i)
        WriteThrough(writeback, dir.Path() + "/small" + std::to_string(i), 64 * 1024, 64 * 1024);
    EXPECT_EQ(OpenHandles(), before);
    EXPECT_GT(writeback.BytesPerSecond(), 0u);
}

TEST(DestWriteback, ClosedFilesKeepAFewHandlesUntilTheirDataArrived) {
    test::TempDir dir;
    const size_t before = OpenHandles();
    {
        DestWriteback writeback;
        for (int i = 0; i < 40; ++i) {
            WriteThrough(writeback, dir.Path() + "/mid" + std::to_string(i), 3 * kMiB, kMiB);
            EXPECT_LE(OpenHandles(), before + kMostKeptFiles);
        }
        EXPECT_GT(OpenHandles(), before);
    }
    // Gone with the destination.
    EXPECT_EQ(OpenHandles(), before);
}

TEST(DestWriteback, ASyncedFileIsNoLongerCounted) {
    test::TempDir dir;
    DestWriteback writeback;
    const std::string path = dir.Path() + "/moved";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const std::string data(kMiB, 'y');
    ASSERT_EQ(::pwrite(fd, data.data(), data.size(), 0), static_cast<ssize_t>(data.size()));
    writeback.Wrote(fd, 0, data.size());
    EXPECT_EQ(writeback.Unwritten(), kMiB);
    ASSERT_EQ(::fdatasync(fd), 0);
    writeback.FileSynced();
    EXPECT_EQ(writeback.Unwritten(), 0u);
    const size_t before = OpenHandles();
    writeback.Closing(fd);
    ::close(fd);
    EXPECT_EQ(OpenHandles(), before - 1);
}

// Closed files counted by several threads: one sync at a time is asked for, from half the bound
// on; past the bound the others wait while it runs; once it ends, what it covered is no longer
// counted.
TEST(DestWriteback, ClosedFilesAskForOneSyncAtATime) {
    DestWriteback writeback;
    DestWriteback::ClosedSync sync, other;
    const uint64_t half = UnwrittenBound(0) / 2;
    EXPECT_FALSE(writeback.CountClosed(half - 1, sync));
    EXPECT_TRUE(writeback.CountClosed(1, sync));
    EXPECT_EQ(sync.covered, half);
    EXPECT_FALSE(writeback.ClosedOverBound());
    // Under way: no second sync, and a wait once the bound is passed.
    EXPECT_FALSE(writeback.CountClosed(half, other));
    EXPECT_FALSE(writeback.ClosedOverBound());
    EXPECT_FALSE(writeback.CountClosed(1, other));
    EXPECT_TRUE(writeback.ClosedOverBound());
    writeback.ClosedSynced(sync);
    EXPECT_FALSE(writeback.ClosedOverBound());
    EXPECT_EQ(writeback.Unwritten(), half + 1);
    // The next sync covers what came meanwhile.
    EXPECT_TRUE(writeback.CountClosed(half, sync));
    EXPECT_EQ(sync.covered, 2 * half + 1);
    writeback.ClosedSynced(sync);
    writeback.Clear();
    EXPECT_EQ(writeback.Unwritten(), 0u);
}

}  // namespace rd
