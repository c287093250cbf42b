// The hash pipe: what it hashes on its own thread equals the hash of the bytes it was given, in
// order, and each digest is told once, whoever asks first.
#include "engine/hash_pipe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>

#include "test_support.h"

namespace rd {
namespace {

std::string HashOf(HashKind kind, const std::string& data) {
    FileHasher hasher(kind);
    hasher.Update(data.data(), data.size());
    return hasher.HexDigest();
}

std::string Pattern(size_t length, int seed) {
    std::string data(length, '\0');
    for (size_t i = 0; i < length; ++i)
        data[i] = static_cast<char>((i * 131 + seed) % 251);
    return data;
}

class HashPipeKinds : public ::testing::TestWithParam<HashKind> {};

// Bytes, ranges of a file the reader has already closed, and holes, mixed in one file and
// larger together than the pipe may lag, give the hash of the whole.
TEST_P(HashPipeKinds, PiecesInOrderGiveTheHashOfTheWhole) {
    const HashKind kind = GetParam();
    test::TempDir dir;
    const std::string data = Pattern(HashPipe::kBehind + (5 << 20) + 17, 3);
    test::WriteFile(dir / "f", data);
    const std::string head = Pattern(1000, 9);
    const uint64_t hole = 70000;
    const uint64_t split = 3 << 20;

    HashPipe pipe;
    pipe.Begin(kind);
    pipe.Bytes(reinterpret_cast<const uint8_t*>(head.data()), head.size());
    pipe.Zeros(hole);
    const int fd = open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    pipe.Range(fd, 0, split);
    pipe.Range(fd, split, data.size() - split);
    close(fd);
    const std::shared_ptr<PendingDigest> digest = pipe.End();
    EXPECT_EQ(digest->Wait(), HashOf(kind, head + std::string(hole, '\0') + data));
}

INSTANTIATE_TEST_SUITE_P(Kinds, HashPipeKinds,
                         ::testing::Values(HashKind::Xxh128, HashKind::Sha256));

// Rows: how a file's bytes fail to reach the pipe; its digest is empty, and the next file is
// hashed whole all the same.
TEST(HashPipe, AFileThatCannotBeReadHasNoHashAndTheNextIsWhole) {
    test::TempDir dir;
    test::WriteFile(dir / "short", "0123456789");
    const int fd = open((dir / "short").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct Row {
        const char* name;
        int fd;
        uint64_t position, length;
    };
    const Row rows[] = {
        {"no handle", -1, 0, 10},
        {"past the end", fd, 5, 20},
    };
    HashPipe pipe;
    for (const Row& row : rows) {
        pipe.Begin(HashKind::Xxh128);
        pipe.Range(row.fd, row.position, row.length);
        EXPECT_EQ(pipe.End()->Wait(), "") << row.name;

        pipe.Begin(HashKind::Xxh128);
        pipe.Range(fd, 0, 10);
        EXPECT_EQ(pipe.End()->Wait(), HashOf(HashKind::Xxh128, "0123456789")) << row.name;
    }
    close(fd);
}

// A file begun and never ended (the copy gave it up) leaves nothing in the next one's hash.
// A piece too large for the room left behind a queue too small to wake the pipe: the reader's
// wait wakes it, rather than both waiting for each other.
TEST(HashPipe, APieceLargerThanTheRoomLeftWakesThePipe) {
    HashPipe pipe;
    // A first file leaves the pipe's thread waiting for work, as it is between files of a copy.
    pipe.Begin(HashKind::Xxh128);
    ASSERT_EQ(pipe.End()->Wait(), HashOf(HashKind::Xxh128, ""));
    const std::string small(1 << 20, 's');
    const std::string large(HashPipe::kBehind, 'l');
    auto queued = std::async(std::launch::async, [&] {
        pipe.Begin(HashKind::Xxh128);
        pipe.Bytes(reinterpret_cast<const uint8_t*>(small.data()), small.size());
        pipe.Bytes(reinterpret_cast<const uint8_t*>(large.data()), large.size());
        return pipe.End();
    });
    ASSERT_EQ(queued.wait_for(std::chrono::seconds(60)), std::future_status::ready)
        << "the reader and the pipe wait for each other";
    EXPECT_EQ(queued.get()->Wait(), HashOf(HashKind::Xxh128, small + large));
}

TEST(HashPipe, AFileLeftUnendedIsDropped) {
    HashPipe pipe;
    pipe.Begin(HashKind::Sha256);
    pipe.Bytes(reinterpret_cast<const uint8_t*>("left"), 4);
    pipe.Begin(HashKind::Sha256);
    pipe.Bytes(reinterpret_cast<const uint8_t*>("kept"), 4);
    EXPECT_EQ(pipe.End()->Wait(), HashOf(HashKind::Sha256, "kept"));
}

// A use asked for before the digest is known runs once the pipe gets there, by Drain at the
// latest; one asked for after it runs at once. Each runs once.
TEST(HashPipe, EveryUseOfADigestRunsOnceWithIt) {
    HashPipe pipe;
    std::atomic<int> runs{0};
    std::string seenEarly, seenLate;
    pipe.Begin(HashKind::Xxh128);
    const std::string data = Pattern(8 << 20, 1);
    pipe.Bytes(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    const std::shared_ptr<PendingDigest> digest = pipe.End();
    digest->Then([&](const std::string& hex) {
        seenEarly = hex;
        ++runs;
    });
    pipe.Drain();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(seenEarly, HashOf(HashKind::Xxh128, data));
    digest->Then([&](const std::string& hex) {
        seenLate = hex;
        ++runs;
    });
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(seenLate, seenEarly);
}

// The pipe's end tells every digest still queued, so that no use waits for ever.
TEST(HashPipe, EndingThePipeTellsWhatWasQueued) {
    std::string seen;
    {
        HashPipe pipe;
        pipe.Begin(HashKind::Xxh128);
        pipe.Bytes(reinterpret_cast<const uint8_t*>("abc"), 3);
        pipe.End()->Then([&](const std::string& hex) { seen = hex; });
    }
    EXPECT_EQ(seen, HashOf(HashKind::Xxh128, "abc"));
}

}  // namespace
}  // namespace rd
