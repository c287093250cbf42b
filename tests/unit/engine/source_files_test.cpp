#include "engine/source_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "engine/transfer.h"
#include "platform/fs.h"
#include "platform/smb_client.h"
#include "samba_server.h"
#include "test_support.h"

namespace rd {
namespace {

namespace stdfs = std::filesystem;

// Which calls reach this machine's files: a local path does, an smb:// address never does, even
// where the current folder holds a folder "smb:" that the address would name as a relative path.
class SourceFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = fs::CurrentFolder();
        ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
        stdfs::create_directories("smb:/nas/s/d");
        test::WriteFile("smb:/nas/s/d/f", "theirs");
        test::WriteFile("local", "mine");
        stdfs::create_directory("folder");
    }
    void TearDown() override { ASSERT_EQ(::chdir(saved_.c_str()), 0); }

    test::TempDir dir;
    SourceFiles sources;
    std::string saved_;
};

TEST_F(SourceFilesTest, AnAddressWithoutItsShareReachesNothingHere) {
    for (const std::string address : {"smb://nas/s/d/f", "SMB://nas/s/d/f"}) {
        EXPECT_TRUE(SourceFiles::OnShare(address));
        EXPECT_EQ(sources.ShareOf(address), nullptr);
        struct stat st {};
        EXPECT_EQ(sources.Stat(address, st), EOPNOTSUPP) << address;
        EXPECT_EQ(sources.Remove(address), EOPNOTSUPP) << address;
        EXPECT_EQ(sources.RemoveFolder("smb://nas/s/d"), EOPNOTSUPP) << address;
        EXPECT_EQ(sources.Now(FileIdentity{}, address), IdentityChange::Replaced) << address;
        SourceHandle handle;
        int error = 0;
        OpenSource(address, handle, 0, false, 0, &error);
        EXPECT_EQ(handle.fd, -1) << address;
        EXPECT_EQ(error, EOPNOTSUPP) << address;
    }
    EXPECT_EQ(test::ReadFile("smb:/nas/s/d/f"), "theirs");
}

TEST_F(SourceFilesTest, ALocalPathIsThisMachinesFile) {
    const std::string local = dir.Path() + "/local";
    EXPECT_FALSE(SourceFiles::OnShare(local));
    struct stat st {};
    ASSERT_EQ(sources.Stat(local, st), 0);
    const FileIdentity read = IdentityOf(st);
    EXPECT_EQ(sources.Now(read, local), IdentityChange::None);
    test::WriteFile(local, "mine, longer");
    EXPECT_EQ(sources.Now(read, local), IdentityChange::Resized);
    EXPECT_EQ(sources.RemoveFolder(dir.Path() + "/folder"), 0);
    EXPECT_EQ(sources.Remove(local), 0);
    EXPECT_EQ(sources.Stat(local, st), ENOENT);
    EXPECT_EQ(sources.Now(read, local), IdentityChange::Replaced);
}

// A share's address is taken as the server names it: its trailing slashes go, nothing else.
TEST(SourceFilesAddress, OnlyTrailingSlashesGo) {
    const std::pair<std::string, std::string> rows[] = {
        {"smb://nas/s/d/", "smb://nas/s/d"},
        {"smb://nas/s///", "smb://nas/s"},
        {"smb://nas/s/../x", "smb://nas/s/../x"},
        {"smb://", "smb://"},
        {"smb:///", "smb://"},
    };
    for (const auto& [given, plain] : rows)
        EXPECT_EQ(SourceFiles::PlainAddress(given), plain) << given;
}

// An address that names no share is refused before any connection is tried.
TEST(SourceFilesAddress, AnAddressWithoutAShareIsRefused) {
    SourceFiles sources;
    for (const std::string given : {"smb://nas", "smb://nas/s/../x", "smb://"}) {
        std::string path;
        EXPECT_EQ(sources.Add(given, path), EINVAL) << given;
        EXPECT_EQ(sources.ShareOf(given), nullptr) << given;
    }
}

// Sources on the tests' own Samba server: one client for every source of a share, names given
// escaped are the files' own, and a file written on the server is no longer the one read.
TEST(SourceFilesOnAShare, OneClientAShareAndTheFilesAsTheServerHasThem) {
    if (!smb::Available())
        GTEST_SKIP() << "built without libsmbclient";
    test::SambaServer server;
    if (server.Port().empty())
        GTEST_SKIP() << "no Samba server here (needs root and smbd)";
    stdfs::create_directories(server / "rw/two words/inner");
    test::WriteFile(server / "rw/two words/file", "four");
    stdfs::permissions(server / "rw", stdfs::perms::all, stdfs::perm_options::add);
    stdfs::permissions(server / "rw/two words", stdfs::perms::all, stdfs::perm_options::add);
    SourceFiles sources;
    sources.UseLogins({{server.Host(), {"nobody", "right-pw"}}});
    const std::string share = "smb://" + server.Host() + "/rw";

    std::string folder;
    std::string file;
    ASSERT_EQ(sources.Add(share + "/two%20words", folder), 0);
    EXPECT_EQ(folder, share + "/two words");
    ASSERT_EQ(sources.Add(share + "/two%20words/file", file), 0);
    EXPECT_EQ(file, share + "/two words/file");
    ASSERT_NE(sources.ShareOf(file), nullptr);
    EXPECT_EQ(sources.ShareOf(file), sources.ShareOf(folder));

    std::vector<ShareEntry> entries;
    ASSERT_EQ(sources.ShareOf(folder)->List(folder, entries), 0);
    ASSERT_EQ(entries.size(), 2u);
    for (const ShareEntry& entry : entries) {
        const bool isFile = entry.name == "file";
        EXPECT_EQ(S_ISREG(entry.seen.st_mode), isFile) << entry.name;
        if (isFile)
            EXPECT_EQ(entry.seen.st_size, 4);
    }

    struct stat st {};
    ASSERT_EQ(sources.Stat(file, st), 0);
    const FileIdentity read = IdentityOf(st);
    EXPECT_EQ(sources.Now(read, file), IdentityChange::None);
    test::WriteFile(server / "rw/two words/file", "five!");
    EXPECT_EQ(sources.Now(read, file), IdentityChange::Resized);

    EXPECT_EQ(sources.RemoveFolder(folder), ENOTEMPTY);
    EXPECT_EQ(sources.Remove(file), 0);
    EXPECT_FALSE(stdfs::exists(server / "rw/two words/file"));
    EXPECT_EQ(sources.RemoveFolder(folder + "/inner"), 0);
    EXPECT_EQ(sources.RemoveFolder(folder), 0);
    EXPECT_FALSE(stdfs::exists(server / "rw/two words"));
}

}  // namespace
}  // namespace rd
