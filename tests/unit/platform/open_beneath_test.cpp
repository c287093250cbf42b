#include "platform/open_beneath.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/uncached_read.h"
#include "test_support.h"

namespace rd {
namespace {

using Opener = int (*)(int, std::string_view, int, int&);

// A manifest's folder with a file, a subfolder, links that stay inside and that lead out, and a
// file outside it that no path may reach.
class OpenBeneathTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(mkdir((dir / "inside").c_str(), 0700), 0);
        ASSERT_EQ(mkdir((dir / "inside/sub").c_str(), 0700), 0);
        test::WriteFile(dir / "inside/file", "in");
        test::WriteFile(dir / "inside/sub/deep", "deep");
        test::WriteFile(dir / "secret", "out");
        ASSERT_EQ(symlink("file", (dir / "inside/near").c_str()), 0);
        ASSERT_EQ(symlink("../secret", (dir / "inside/up").c_str()), 0);
        ASSERT_EQ(symlink((dir / "secret").c_str(), (dir / "inside/absolute").c_str()), 0);
        ASSERT_EQ(symlink("..", (dir / "inside/parent").c_str()), 0);
        ASSERT_EQ(mkfifo((dir / "inside/fifo").c_str(), 0600), 0);
        folder = open((dir / "inside").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(folder, 0);
    }
    void TearDown() override { close(folder); }

    // What `open` reads at `path`, or "errno N" when it refuses.
    std::string Read(Opener open, const std::string& path) {
        int error = 0;
        const int fd = open(folder, path, O_RDONLY | O_NONBLOCK, error);
        if (fd < 0)
            return "errno " + std::to_string(error);
        char buffer[16] = {};
        const ssize_t n = read(fd, buffer, sizeof buffer);
        close(fd);
        return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    }

    test::TempDir dir;
    int folder = -1;
};

TEST_F(OpenBeneathTest, NothingOutsideTheFolderIsReached) {
    const std::string exdev = "errno " + std::to_string(EXDEV);
    const std::string loop = "errno " + std::to_string(ELOOP);
    struct Case {
        std::string path;
        std::string beneath;  // OpenBeneath (openat2)
        std::string walk;     // OpenBeneathByWalk
    };
    const Case cases[] = {
        {"file", "in", "in"},
        {"./sub//deep", "deep", "deep"},
        // ".." that stays inside is the kernel's to take; a manifest's reader refuses it before.
        {"sub/../file", "in", exdev},
        {"../secret", exdev, exdev},
        {"", exdev, exdev},
        {dir / "secret", exdev, exdev},
        // A link that stays inside is followed where the kernel can keep it inside.
        {"near", "in", loop},
        {"up", exdev, loop},
        {"absolute", exdev, loop},
        // A link met on the way is no folder to the walk.
        {"parent/secret", exdev, "errno " + std::to_string(ENOTDIR)},
        {"missing", "errno " + std::to_string(ENOENT), "errno " + std::to_string(ENOENT)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Read(OpenBeneath, c.path), c.beneath) << c.path;
        EXPECT_EQ(Read(OpenBeneathByWalk, c.path), c.walk) << c.path;
    }
}

TEST_F(OpenBeneathTest, AFifoOpensWithoutWaitingAndIsNoRegularFile) {
    UncachedFile file;
    int error = 0;
    ASSERT_TRUE(file.Open(folder, "fifo", error)) << error;
    struct stat st {};
    ASSERT_EQ(fstat(file.Fd(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(OpenBeneathTest, AnUncachedFileReadsWholeBlocksAndItsEnd) {
    std::string data(3 * kDirectAlign + 100, 'x');
    data[2 * kDirectAlign] = 'y';
    test::WriteFile(dir / "inside/blocks", data);
    UncachedFile file;
    int error = 0;
    ASSERT_TRUE(file.Open(folder, "blocks", error)) << error;
    AlignedBuffer buffer(2 * kDirectAlign);
    ASSERT_NE(buffer.Data(), nullptr);
    std::string read;
    for (ssize_t n; (n = file.Read(buffer.Data(), buffer.Size(), read.size())) > 0;)
        read.append(reinterpret_cast<const char*>(buffer.Data()), static_cast<size_t>(n));
    EXPECT_EQ(read, data);
}

// Rows: where a file ends against reads of 1 MiB that go to the disk in pieces at once. Every
// byte comes back in its place, and the end is found within a piece, at its edge or at a
// read's edge.
TEST_F(OpenBeneathTest, ReadsInPiecesGiveTheFileInOrder) {
    constexpr size_t kMiB = 1 << 20;
    const size_t sizes[] = {0,        300 * 1024,      kMiB,
                            kMiB + 1, kMiB + kMiB / 4, 2 * kMiB + kMiB / 2 + 100};
    AlignedBuffer buffer(kMiB);
    ASSERT_NE(buffer.Data(), nullptr);
    for (const size_t size : sizes) {
        std::string data(size, '\0');
        for (size_t i = 0; i < size; ++i)
            data[i] = static_cast<char>((i / 4096 * 7 + i) % 253);
        test::WriteFile(dir / "inside/pieces", data);
        UncachedFile file;
        int error = 0;
        ASSERT_TRUE(file.Open(folder, "pieces", error)) << error;
        std::string read;
        for (ssize_t n; (n = file.Read(buffer.Data(), buffer.Size(), read.size())) > 0;)
            read.append(reinterpret_cast<const char*>(buffer.Data()), static_cast<size_t>(n));
        EXPECT_TRUE(read == data) << size << " bytes, read " << read.size();
    }
}

}  // namespace
}  // namespace rd
