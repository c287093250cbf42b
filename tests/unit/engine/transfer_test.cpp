#include "engine/transfer.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "engine/dest_table.h"
#include "engine/vn_buffer.h"
#include "test_support.h"

namespace rd {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class AbortOnFailure : public AllocationFailure {
public:
    Answer Ask() override { return Answer::Abort; }
};

std::string Pattern(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return data;
}

bool HasDirectFlag(int fd) {
    return (fcntl(fd, F_GETFL) & O_DIRECT) != 0;
}

// Whether the file system holding `folder` grants O_DIRECT at all.
bool FolderAllowsDirect(const std::string& folder) {
    const std::string probe = folder + "/direct-probe";
    int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_DIRECT, 0600);
    if (fd >= 0)
        ::close(fd);
    ::unlink(probe.c_str());
    return fd >= 0;
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

#if defined(__x86_64__)
constexpr uint32_t kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t kAuditArch = AUDIT_ARCH_AARCH64;
#else
constexpr uint32_t kAuditArch = 0;
#endif

// Makes the system call `nr` fail with EINVAL whenever its argument `arg` has a bit of `mask`
// set (low 32 bits). Only for forked children: the filter cannot be removed again.
bool RefuseCalls(int nr, int arg, uint32_t mask) {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kAuditArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS,
                 static_cast<uint32_t>(offsetof(seccomp_data, args) + 8 * arg)),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, mask, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EINVAL),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return kAuditArch != 0 && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// As on a file system without unbuffered access.
bool RefuseDirectOpens() {
    return RefuseCalls(__NR_openat, 2, O_DIRECT);
}

TEST(WantsBurst, OnlyForAlignedLengthsAndOffsets) {
    const uint64_t fourGiB = uint64_t{1} << 32;
    EXPECT_TRUE(WantsBurst(true, 32768, 0));
    EXPECT_TRUE(WantsBurst(true, 1048576, 3 * 32768));
    EXPECT_TRUE(WantsBurst(true, 32768, 5 * fourGiB + 32768));
    EXPECT_FALSE(WantsBurst(false, 1048576, 0));
    // 512-byte and 4 KiB blocks never burst.
    EXPECT_FALSE(WantsBurst(true, 512, 0));
    EXPECT_FALSE(WantsBurst(true, 4096, 32768));
    // A file smaller than the block is read with its own length.
    EXPECT_FALSE(WantsBurst(true, 1000, 0));
    // A resumed file at an odd offset, also above 4 GiB.
    EXPECT_FALSE(WantsBurst(true, 32768, 512));
    EXPECT_FALSE(WantsBurst(true, 32768, fourGiB + 4096));
}

class SourceOnFolder : public ::testing::TestWithParam<std::string> {};

TEST_P(SourceOnFolder, BurstIsUnbufferedWhereTheFileSystemAllowsIt) {
    TempDir own;
    const std::string folder = GetParam().empty() ? own.Path() : GetParam();
    if (!Exists(folder))
        GTEST_SKIP() << folder << " is missing";
    const std::string path = folder + "/redodori-transfer-" + std::to_string(getpid());
    const std::string data = Pattern(65536);
    WriteFile(path, data);

    SourceHandle handle;
    int error = -1;
    OpenSource(path, handle, 65536, true, 0, &error);
    ASSERT_GE(handle.fd, 0);
    EXPECT_EQ(error, 0);
    const bool allowed = FolderAllowsDirect(folder);
    EXPECT_EQ(handle.unbuffered, allowed);
    EXPECT_EQ(HasDirectFlag(handle.fd), allowed);

    VNBuffer buffer;
    AbortOnFailure failure;
    EnsureCapacity(buffer, 65536, failure);
    uint32_t n = 65536;
    ASSERT_TRUE(PositionedRead(handle.fd, buffer.Data(), n, 0, error));
    EXPECT_EQ(n, 65536u);
    EXPECT_EQ(std::memcmp(buffer.Data(), data.data(), n), 0);
    ::unlink(path.c_str());
}

// tmpfs refuses O_DIRECT on older kernels.
INSTANTIATE_TEST_SUITE_P(Folders, SourceOnFolder,
                         ::testing::Values(std::string(), std::string("/var/tmp"),
                                           std::string("/dev/shm")));

TEST(OpenSource, KeepsAHandleInTheWantedModeAndReopensOnChange) {
    TempDir dir;
    WriteFile(dir / "src", Pattern(131072));
    SourceHandle handle;
    OpenSource(dir / "src", handle, 32768, true, 0);
    ASSERT_GE(handle.fd, 0);
    // Once the name is gone, only a kept handle still reaches the file.
    ASSERT_EQ(::unlink((dir / "src").c_str()), 0);

    int error = -1;
    OpenSource(dir / "src", handle, 65536, true, 32768, &error);
    EXPECT_GE(handle.fd, 0);
    EXPECT_EQ(error, 0);

    OpenSource(dir / "src", handle, 1000, true, 98304, &error);
    EXPECT_EQ(handle.fd, -1);
    EXPECT_EQ(error, ENOENT);
}

TEST(OpenSourceDeathTest, RefusedDirectAccessFallsBackToBuffered) {
    TempDir dir;
    WriteFile(dir / "src", Pattern(65536));
    EXPECT_EXIT(
        {
            if (!RefuseDirectOpens())
                _exit(10);
            SourceHandle handle;
            int error = -1;
            OpenSource(dir / "src", handle, 65536, true, 0, &error);
            if (handle.fd < 0 || error != 0 || handle.unbuffered || HasDirectFlag(handle.fd))
                _exit(11);
            // Later burst blocks keep the buffered handle instead of reopening it every time.
            ::unlink((dir / "src").c_str());
            OpenSource(dir / "src", handle, 32768, true, 32768, &error);
            _exit(handle.fd < 0 ? 12 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(PositionedRead, StopsAtTheEndOfTheFile) {
    TempDir dir;
    const std::string data = Pattern(2 * 32768 + 100);
    WriteFile(dir / "f", data);
    // The last burst block is a whole block long, but the file ends inside it.
    SourceHandle handle;
    OpenSource(dir / "f", handle, 65536, true, 0);
    ASSERT_GE(handle.fd, 0);
    VNBuffer buffer;
    AbortOnFailure failure;
    EnsureCapacity(buffer, 65536, failure);
    int error = -1;

    uint32_t n = 65536;
    ASSERT_TRUE(PositionedRead(handle.fd, buffer.Data(), n, 32768, error)) << error;
    EXPECT_EQ(error, 0);
    EXPECT_EQ(n, 32768u + 100u);
    EXPECT_EQ(std::memcmp(buffer.Data(), data.data() + 32768, n), 0);

    handle.Close();
    OpenSource(dir / "f", handle, 100, true, 65536);
    for (uint64_t at : {uint64_t{65536 + 100}, uint64_t{1} << 20}) {
        n = 4096;
        EXPECT_TRUE(PositionedRead(handle.fd, buffer.Data(), n, at, error));
        EXPECT_EQ(n, 0u);
    }
}

TEST(PositionedReadDeathTest, RefusedUnalignedReadAfterTheLastByteIsTheEnd) {
    // Some file systems check the alignment of an unbuffered read before the end of the file:
    // after a short last block the follow-up read at the odd offset gets EINVAL, not 0.
    TempDir dir;
    const std::string data = Pattern(32768 + 100);
    WriteFile(dir / "f", data);
    const std::string path = dir / "f";
    EXPECT_EXIT(
        {
            int fd = ::open(path.c_str(), O_RDONLY);
            if (!RefuseCalls(__NR_pread64, 3, 511))
                _exit(10);
            VNBuffer buffer;
            AbortOnFailure failure;
            EnsureCapacity(buffer, 65536, failure);
            uint32_t n = 65536;
            int error = 0;
            if (!PositionedRead(fd, buffer.Data(), n, 0, error) || n != data.size())
                _exit(11);
            _exit(std::memcmp(buffer.Data(), data.data(), n) == 0 ? 0 : 12);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(PositionedRead, FailureGivesNoBytes) {
    TempDir dir;
    WriteFile(dir / "f", Pattern(100));
    int fd = ::open((dir / "f").c_str(), O_WRONLY);
    uint8_t buffer[100];
    uint32_t n = 100;
    int error = 0;
    EXPECT_FALSE(PositionedRead(fd, buffer, n, 0, error));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(error, EBADF);
    ::close(fd);
}

TEST(PositionedWriteDeathTest, AShortWriteIsAFailure) {
    TempDir dir;
    const std::string path = dir / "f";
    EXPECT_EXIT(
        {
            // The file size limit lets the first 1000 bytes through, then refuses the rest.
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = 1000;
            setrlimit(RLIMIT_FSIZE, &limit);
            int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
            const std::string data = Pattern(4096);
            int error = 0;
            const bool ok =
                PositionedWrite(fd, reinterpret_cast<const uint8_t*>(data.data()), 4096, 0, error);
            _exit(!ok && error == EFBIG ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(StatOf(path).st_size, 1000);
}

TEST(OpenDestFile, OpensWithoutTruncating) {
    TempDir dir;
    WriteFile(dir / "d", "hello world");
    CopyDest slot;
    int error = -1;
    ASSERT_TRUE(OpenDestFile(slot, dir / "d", 6, 5, 11, 0644, false, false, &error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(slot.openFlags, openflag::kInitial);
    const uint8_t word[] = {'W', 'O', 'R', 'L', 'D'};
    ASSERT_TRUE(PositionedWrite(slot.fileHandle, word, 5, 6, error));
    CloseDestFile(slot, false, 0, timespec{});
    EXPECT_EQ(ReadFile(dir / "d"), "hello WORLD");

    EXPECT_FALSE(OpenDestFile(slot, dir / "no/d", 0, 5, 5, 0644, false, false, &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(slot.fileHandle, -1);
}

TEST(OpenDestFile, BurstFlagsFollowEachBlock) {
    TempDir dir;
    const bool allowed = FolderAllowsDirect(dir.Path());
    CopyDest slot;
    ASSERT_TRUE(OpenDestFile(slot, dir / "d", 0, 65536, 1 << 20, 0644, true, false));
    EXPECT_EQ(slot.openFlags, openflag::kNoBuffering | openflag::kNormal);
    EXPECT_EQ(HasDirectFlag(slot.fileHandle), allowed);
    // While the flags match, the handle is kept: after a rename only it reaches the file.
    ASSERT_EQ(::rename((dir / "d").c_str(), (dir / "moved").c_str()), 0);
    ASSERT_TRUE(OpenDestFile(slot, dir / "d", 65536, 65536, 1 << 20, 0644, true, false));
    EXPECT_FALSE(Exists(dir / "d"));

    // The short last block goes buffered, through a new handle, but only to the file written so
    // far: the copy that was moved away is not made anew, and another file at its name is not
    // written.
    int error = 0;
    EXPECT_FALSE(OpenDestFile(slot, dir / "d", 131072, 100, 1 << 20, 0644, true, false, &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(Exists(dir / "d"));
    ASSERT_TRUE(OpenDestFile(slot, dir / "moved", 0, 65536, 1 << 20, 0644, true, false));
    WriteFile(dir / "other", "other's");
    ASSERT_EQ(::rename((dir / "other").c_str(), (dir / "moved").c_str()), 0);
    EXPECT_FALSE(
        OpenDestFile(slot, dir / "moved", 131072, 100, 1 << 20, 0644, true, false, &error));
    EXPECT_EQ(error, ESTALE);
    EXPECT_EQ(ReadFile(dir / "moved"), "other's");

    ASSERT_TRUE(OpenDestFile(slot, dir / "d2", 0, 65536, 1 << 20, 0644, true, false));
    ASSERT_TRUE(OpenDestFile(slot, dir / "d2", 65536, 100, 1 << 20, 0644, true, false));
    EXPECT_EQ(slot.openFlags, openflag::kInitial);
    EXPECT_FALSE(HasDirectFlag(slot.fileHandle));
    CloseDestFile(slot, false, 0, timespec{});
}

TEST(OpenDestFileDeathTest, RefusedDirectAccessFallsBackToBuffered) {
    TempDir dir;
    const std::string path = dir / "d";
    EXPECT_EXIT(
        {
            if (!RefuseDirectOpens())
                _exit(10);
            CopyDest slot;
            int error = -1;
            if (!OpenDestFile(slot, path, 0, 32768, 1 << 20, 0644, true, false, &error) ||
                error != 0 || HasDirectFlag(slot.fileHandle))
                _exit(11);
            // The next burst block keeps the buffered handle.
            ::rename(path.c_str(), (path + ".moved").c_str());
            OpenDestFile(slot, path, 32768, 32768, 1 << 20, 0644, true, false);
            _exit(Exists(path) ? 12 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

bool FolderAllocates(const std::string& folder) {
    const std::string probe = folder + "/allocate-probe";
    int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT, 0600);
    const bool ok = fd >= 0 && ::fallocate(fd, 0, 0, 65536) == 0;
    if (fd >= 0)
        ::close(fd);
    ::unlink(probe.c_str());
    return ok;
}

TEST(OpenDestFile, ReservesOnlyLargeFilesBeforeTheirFirstBlock) {
    TempDir dir;
    const uint64_t size = 5 * 1048576;
    CopyDest slot;
    ASSERT_TRUE(OpenDestFile(slot, dir / "d", 0, 1048576, size, 0644, false, true));
    const struct stat st = StatOf(dir / "d");
    EXPECT_EQ(static_cast<uint64_t>(st.st_size), size);
    if (FolderAllocates(dir.Path())) {
        EXPECT_GE(static_cast<uint64_t>(st.st_blocks) * 512, size);
    }
    CloseDestFile(slot, false, 0, timespec{});

    struct Case {
        const char* name;
        uint64_t position;
        uint64_t size;
        bool reserve;
    };
    for (const Case& c : {Case{"four", 0, 4194304, true}, Case{"off", 0, size, false},
                          Case{"later", 1048576, size, true}}) {
        ASSERT_TRUE(
            OpenDestFile(slot, dir / c.name, c.position, 1048576, c.size, 0644, false, c.reserve));
        EXPECT_EQ(StatOf(dir / c.name).st_size, 0) << c.name;
        CloseDestFile(slot, false, 0, timespec{});
    }
}

TEST(SetFileLength, CutsTheLength) {
    TempDir dir;
    WriteFile(dir / "f", Pattern(10000));
    int fd = ::open((dir / "f").c_str(), O_WRONLY);
    EXPECT_TRUE(SetFileLength(fd, 100));
    ::close(fd);
    EXPECT_EQ(ReadFile(dir / "f"), Pattern(100));
}

TEST(CloseDestFile, AppliesModeAndModificationTimeButNotAccessTime) {
    TempDir dir;
    CopyDest slot;
    ASSERT_TRUE(OpenDestFile(slot, dir / "d", 0, 3, 3, 0644, false, false));
    UpdateResumeMarker(slot, dir / "d", "/src", "u", 1, 3);
    const timespec accessed{1000000000, 0};
    const timespec keep[2] = {accessed, {0, UTIME_OMIT}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "d").c_str(), keep, 0), 0);

    const timespec modified{1234567890, 123456789};
    EXPECT_EQ(CloseDestFile(slot, true, S_IFREG | 0640, modified), 0);
    EXPECT_EQ(slot.fileHandle, -1);
    EXPECT_EQ(slot.markerHandle, -1);
    const struct stat st = StatOf(dir / "d");
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, modified.tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, modified.tv_nsec);
    EXPECT_EQ(st.st_atim.tv_sec, accessed.tv_sec);
}

TEST(CloseDestFile, LeavesTimesAndModeAloneWithoutKeepTimes) {
    TempDir dir;
    const mode_t saved = ::umask(022);
    CopyDest slot;
    const bool opened = OpenDestFile(slot, dir / "d", 0, 3, 3, 0644, false, false);
    ::umask(saved);
    ASSERT_TRUE(opened);
    EXPECT_EQ(CloseDestFile(slot, false, 0600, timespec{1234567890, 0}), 0);
    const struct stat st = StatOf(dir / "d");
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_NE(st.st_mtim.tv_sec, 1234567890);
}

// A copy being written is never open to more people than its source, and its owner can open it
// again for the next block; a file that was already there keeps its own permissions.
TEST(OpenDestFile, NewFileTakesTheSourcePermissionsWritableByItsOwner) {
    TempDir dir;
    WriteFile(dir / "old", "x");
    ASSERT_EQ(::chmod((dir / "old").c_str(), 0640), 0);
    struct Case {
        const char* name;
        uint32_t sourceMode;
        mode_t created;
    };
    const mode_t saved = ::umask(022);
    for (Case c : {Case{"private", S_IFREG | 0600, 0600}, Case{"readonly", S_IFREG | 0444, 0644},
                   Case{"setuid", S_IFREG | 04775, 0755}, Case{"old", S_IFREG | 0600, 0640}}) {
        CopyDest slot;
        EXPECT_TRUE(OpenDestFile(slot, dir / c.name, 0, 1, 1, c.sourceMode, false, false))
            << c.name;
        EXPECT_EQ(StatOf(dir / c.name).st_mode & 07777, c.created) << c.name;
        CloseDestFile(slot, false, 0, timespec{});
    }
    ::umask(saved);
}

TEST(ResumeMarker, BytesAreEndThenBothStringsInUtf16) {
    // "é" is U+00E9; U+1F600 needs a surrogate pair.
    const std::string source = "/s/\xC3\xA9\xF0\x9F\x98\x80";
    const std::string expected = std::string("\x05\x00\x10\x00\x01\x00\x00\x00", 8) +
                                 std::string("/\0s\0/\0\xE9\0\x3D\xD8\x00\xDE\0\0", 14) +
                                 std::string(
                                     "u\0w\0"
                                     "1\0\0\0",
                                     8);
    EXPECT_EQ(ResumeMarkerBytes(0x100100005ull, source, "uw1"), expected);
    EXPECT_EQ(ResumeMarkerBytes(0, "", ""), std::string(12, '\0'));
}

TEST(ResumeMarker, LivesFromTheFirstBlockToTheLast) {
    TempDir dir;
    const std::string dest = dir / "d.bin";
    const std::string marker = dest + ".RedoDori";
    const std::string source = "/src/\xC3\xA9t\xC3\xA9.bin";
    // A stale, longer marker from an earlier run is replaced as a whole.
    WriteFile(marker, std::string(500, 'z'));
    CopyDest slot;

    UpdateResumeMarker(slot, dest, source, "uwq1", 1048576, 5242880);
    ASSERT_GE(slot.markerHandle, 0);
    EXPECT_EQ(ReadFile(marker), ResumeMarkerBytes(1048576, source, "uwq1"));
    const ino_t inode = StatOf(marker).st_ino;

    // Later blocks only move the end, in the same file.
    UpdateResumeMarker(slot, dest, "ignored", "ignored", 2097152, 5242880);
    EXPECT_EQ(ReadFile(marker), ResumeMarkerBytes(2097152, source, "uwq1"));
    EXPECT_EQ(StatOf(marker).st_ino, inode);

    UpdateResumeMarker(slot, dest, source, "uwq1", 5242880, 5242880);
    EXPECT_EQ(slot.markerHandle, -1);
    EXPECT_FALSE(Exists(marker));

    // Also a marker this slot never opened goes at the end.
    WriteFile(marker, "x");
    UpdateResumeMarker(slot, dest, source, "uwq1", 5242880, 5242880);
    EXPECT_FALSE(Exists(marker));
}

}  // namespace
}  // namespace rd
