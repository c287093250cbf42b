#include "platform/fs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <ctime>
#include <filesystem>

#include "platform/fault_injection.h"
#include "test_support.h"

namespace fs = rd::fs;
using rd::test::ReadFile;
using rd::test::TempDir;
using rd::test::WriteFile;
using namespace std::string_literals;

namespace {

std::vector<std::string> Names(const std::vector<fs::DirEntry>& entries) {
    std::vector<std::string> names;
    for (const fs::DirEntry& e : entries)
        names.push_back(e.name + (e.isFolder ? "/" : ""));
    return names;
}

}  // namespace

TEST(GetAttributes, KindsSizesAndIdentity) {
    TempDir dir;
    WriteFile(dir / "file", "12345");
    ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("sub", (dir / "link").c_str()), 0);
    ASSERT_EQ(::link((dir / "file").c_str(), (dir / "hard").c_str()), 0);

    auto file = fs::GetAttributes(dir / "file");
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->IsRegular());
    EXPECT_EQ(file->size, 5u);
    EXPECT_GT(file->modified.tv_sec, 0);
    // Creation time is zero or a real moment, never garbage from a later time.
    EXPECT_LE(file->created.tv_sec, std::time(nullptr) + 1);
    EXPECT_GE(file->created.tv_sec, 0);

    auto hard = fs::GetAttributes(dir / "hard");
    ASSERT_TRUE(hard);
    EXPECT_EQ(hard->device, file->device);
    EXPECT_EQ(hard->inode, file->inode);

    struct stat st;
    ASSERT_EQ(::stat((dir / "file").c_str(), &st), 0);
    EXPECT_EQ(file->device, st.st_dev);
    EXPECT_EQ(file->inode, st.st_ino);
    EXPECT_EQ(file->mode, st.st_mode);

    auto sub = fs::GetAttributes(dir / "sub");
    ASSERT_TRUE(sub);
    EXPECT_TRUE(sub->IsFolder());

    // The link itself, not the folder it points to.
    auto link = fs::GetAttributes(dir / "link");
    ASSERT_TRUE(link);
    EXPECT_TRUE(link->IsLink());
    EXPECT_FALSE(link->IsFolder());
    EXPECT_NE(link->inode, sub->inode);
}

TEST(GetAttributes, MissingPathReportsErrno) {
    TempDir dir;
    int error = 0;
    EXPECT_FALSE(fs::GetAttributes(dir / "missing", &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(fs::GetAttributes(dir / "missing/below"));
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(fs::GetAttributes(dir / "file/below", &error));
    EXPECT_EQ(error, ENOTDIR);
}

TEST(ReadWholeFile, ContentsExactly) {
    TempDir dir;
    std::string data = "stale";
    EXPECT_EQ(fs::ReadWholeFile(dir / "missing", data), ENOENT);
    EXPECT_TRUE(data.empty());

    WriteFile(dir / "empty", "");
    data = "stale";
    EXPECT_EQ(fs::ReadWholeFile(dir / "empty", data), 0);
    EXPECT_TRUE(data.empty());

    // Larger than any single buffer, with zero bytes and an odd length.
    std::string big;
    for (int i = 0; i < 300001; ++i)
        big.push_back(static_cast<char>(i * 7));
    WriteFile(dir / "big", big);
    EXPECT_EQ(fs::ReadWholeFile(dir / "big", data), 0);
    EXPECT_EQ(data, big);

    EXPECT_EQ(fs::ReadWholeFile(dir.Path(), data), EISDIR);
    EXPECT_TRUE(data.empty());
}

TEST(ReadWholeFile, FileThatReportsNoSize) {
    // Kernel files claim a size of 0 yet have contents; reading must go on to the end.
    std::string data;
    ASSERT_EQ(fs::ReadWholeFile("/proc/self/status", data), 0);
    EXPECT_NE(data.find("Pid:"), std::string::npos);
    EXPECT_EQ(data.back(), '\n');
}

TEST(ReadRegularFile, AFileThatOutgrowsTheLimitWhileReadIsRefused) {
    // A kernel file claims a size of 0, so only reading shows how big it is.
    fs::RegularFile read = fs::ReadRegularFile("/proc/self/status", 16, {});
    EXPECT_EQ(read.refusal, fs::Refusal::kTooLarge);
    EXPECT_TRUE(read.data.empty());
    read = fs::ReadRegularFile("/proc/self/status", 1 << 20, {});
    EXPECT_EQ(read.refusal, fs::Refusal::kNone);
    EXPECT_NE(read.data.find("Pid:"), std::string::npos);
}

TEST(ReplaceFileAtomically, ReplacesPrivatelyOrLeavesTheOldFile) {
    TempDir dir;
    const std::string path = dir / "list";
    ASSERT_EQ(fs::ReplaceFileAtomically(dir.Path(), "list", "a much longer first version"), 0);
    ASSERT_EQ(fs::ReplaceFileAtomically(dir.Path(), "list", "\xFF\xFE\0\r"s), 0);
    EXPECT_EQ(ReadFile(path), "\xFF\xFE\0\r"s);
    struct stat st;
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode, S_IFREG | 0600);

    rd::fault::SetHook([](rd::fault::Op, int, uint64_t, uint8_t*, uint32_t) { return EIO; });
    EXPECT_EQ(fs::ReplaceFileAtomically(dir.Path(), "list", "new"), EIO);
    rd::fault::SetHook(nullptr);
    EXPECT_EQ(ReadFile(path), "\xFF\xFE\0\r"s);

    EXPECT_EQ(fs::ReplaceFileAtomically(dir / "missing", "list", "x"), ENOENT);
    std::filesystem::create_directory(dir / "folder");
    EXPECT_EQ(fs::ReplaceFileAtomically(dir.Path(), "folder", "x"), EISDIR);
    // No temporary file is left behind by the failures.
    std::vector<fs::DirEntry> entries;
    ASSERT_EQ(fs::ListFolder(dir.Path(), "*", entries), 0);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"folder/", "list"}));
}

TEST(RemoveFile, RemovesOnceThenReports) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    EXPECT_EQ(fs::RemoveFile(dir / "f"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "f"));
    EXPECT_EQ(fs::RemoveFile(dir / "f"), ENOENT);
}

TEST(MatchPattern, StarIsTheOnlyWildcard) {
    EXPECT_TRUE(fs::MatchPattern("*", ""));
    EXPECT_TRUE(fs::MatchPattern("*", "anything"));
    EXPECT_TRUE(fs::MatchPattern("", ""));
    EXPECT_FALSE(fs::MatchPattern("", "a"));
    EXPECT_FALSE(fs::MatchPattern("a", ""));

    EXPECT_TRUE(fs::MatchPattern("a*b*c", "abc"));
    EXPECT_TRUE(fs::MatchPattern("a*b*c", "aXbYbZc"));
    EXPECT_TRUE(fs::MatchPattern("a*b*c", "abcbc"));
    EXPECT_FALSE(fs::MatchPattern("a*b*c", "abcb"));
    EXPECT_FALSE(fs::MatchPattern("a*b*c", "acb"));

    EXPECT_TRUE(fs::MatchPattern("report*", "report"));
    EXPECT_TRUE(fs::MatchPattern("report**", "report.txt"));
    EXPECT_TRUE(fs::MatchPattern("*.txt", ".txt"));
    EXPECT_FALSE(fs::MatchPattern("*.txt", "a.txt.bak"));

    // "?" is an ordinary character, and case matters.
    EXPECT_TRUE(fs::MatchPattern("a?c", "a?c"));
    EXPECT_FALSE(fs::MatchPattern("a?c", "abc"));
    EXPECT_FALSE(fs::MatchPattern("*.TXT", "a.txt"));
    EXPECT_TRUE(fs::MatchPattern("[ab]*", "[ab]x"));
    EXPECT_FALSE(fs::MatchPattern("[ab]*", "ax"));
}

TEST(MatchPattern, ManyStarsAgainstLongNameFinish) {
    // Backtracking over every star would take ages here.
    const std::string name(5000, 'a');
    const std::string pattern = "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b";
    EXPECT_FALSE(fs::MatchPattern(pattern, name));
    EXPECT_TRUE(fs::MatchPattern(pattern, name + "b"));
}

TEST(ListFolder, PatternKindsAndOrder) {
    TempDir dir;
    for (const char* name : {"b.txt", "B.txt", "a.txt", "\xC3\xA9.txt", "notes", ".hidden.txt"})
        WriteFile(dir / name, "x");
    ASSERT_EQ(::mkdir((dir / "dir.txt").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((dir / "plain").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("plain", (dir / "link.txt").c_str()), 0);

    std::vector<fs::DirEntry> entries;
    ASSERT_EQ(fs::ListFolder(dir.Path(), "*.txt", entries), 0);
    // Byte order: "." < upper case < lower case < bytes above 0x7F.
    EXPECT_EQ(Names(entries), (std::vector<std::string>{".hidden.txt", "B.txt", "a.txt", "b.txt",
                                                        "dir.txt/", "link.txt", "\xC3\xA9.txt"}));

    ASSERT_EQ(fs::ListFolder(dir.Path(), "*", entries), 0);
    EXPECT_EQ(entries.size(), 9u);
    for (const fs::DirEntry& e : entries)
        EXPECT_TRUE(e.name != "." && e.name != "..");

    ASSERT_EQ(fs::ListFolder(dir.Path(), "none*", entries), 0);
    EXPECT_TRUE(entries.empty());
}

// A walk opens each folder once and names what is in it relative to it: never through a link,
// and the descriptor stays usable for the next listing and the next call.
TEST(OpenFolderAt, RelativeCallsNeverFollowALink) {
    TempDir dir;
    ASSERT_EQ(::mkdir((dir / "top").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((dir / "top/sub").c_str(), 0700), 0);
    WriteFile(dir / "top/b", "bb");
    WriteFile(dir / "top/sub/deep", "d");
    ASSERT_EQ(::symlink("sub", (dir / "top/a-link").c_str()), 0);

    const int top = fs::OpenFolderAt(AT_FDCWD, dir / "top");
    ASSERT_GE(top, 0);
    std::vector<fs::DirEntry> entries;
    for (int twice = 0; twice < 2; ++twice) {
        ASSERT_EQ(fs::ListFolderAt(top, "*", entries), 0);
        EXPECT_EQ(Names(entries), (std::vector<std::string>{"a-link", "b", "sub/"}));
    }
    const auto link = fs::GetAttributesAt(top, "a-link");
    ASSERT_TRUE(link);
    EXPECT_TRUE(link->IsLink());
    const auto file = fs::GetAttributesAt(top, "b");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size, 2u);
    int error = 0;
    EXPECT_FALSE(fs::GetAttributesAt(top, "missing", &error));
    EXPECT_EQ(error, ENOENT);

    const int linked = fs::OpenFolderAt(top, "a-link");
    EXPECT_TRUE(linked == -ENOTDIR || linked == -ELOOP) << linked;
    EXPECT_EQ(fs::OpenFolderAt(top, "b"), -ENOTDIR);
    EXPECT_EQ(fs::OpenFolderAt(top, "missing"), -ENOENT);
    const int sub = fs::OpenFolderAt(top, "sub");
    ASSERT_GE(sub, 0);
    ASSERT_EQ(fs::ListFolderAt(sub, "*", entries), 0);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"deep"}));
    EXPECT_EQ(fcntl(sub, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    ::close(sub);
    ::close(top);
}

TEST(ListFolder, Failures) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    std::vector<fs::DirEntry> entries{{"stale", false}};
    EXPECT_EQ(fs::ListFolder(dir / "missing", "*", entries), ENOENT);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(fs::ListFolder(dir / "file", "*", entries), ENOTDIR);
}

TEST(MakeFolder, CreatesOnceUnderTheUmask) {
    TempDir dir;
    const mode_t saved = ::umask(022);
    EXPECT_EQ(fs::MakeFolder(dir / "new"), 0);
    ::umask(saved);
    struct stat st;
    ASSERT_EQ(::stat((dir / "new").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0755u);

    EXPECT_EQ(fs::MakeFolder(dir / "new"), EEXIST);
    WriteFile(dir / "file", "x");
    EXPECT_EQ(fs::MakeFolder(dir / "file"), EEXIST);
    EXPECT_EQ(fs::MakeFolder(dir / "missing/new"), ENOENT);
}

TEST(CurrentFolder, LongerThanTheFirstBuffer) {
    TempDir dir;
    std::string deep = dir.Path();
    for (int i = 0; i < 20; ++i) {
        deep += "/" + std::string(60, static_cast<char>('a' + i));
        ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    }
    const std::filesystem::path saved = std::filesystem::current_path();
    ASSERT_EQ(::chdir(deep.c_str()), 0);
    const std::string current = fs::CurrentFolder();
    const std::string expected = std::filesystem::current_path().string();
    std::filesystem::current_path(saved);
    EXPECT_GT(current.size(), 1200u);
    EXPECT_EQ(current, expected);
}
