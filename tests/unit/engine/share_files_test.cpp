#include "engine/share_files.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine/dest_table.h"
#include "engine/user_notice.h"
#include "engine/written_destinations.h"
#include "platform/smb_url.h"

namespace rd {
namespace {

ShareFiles Share(const std::string& root) {
    std::string problem;
    const std::optional<smb::Url> url = smb::ParseUrl(root, problem);
    EXPECT_TRUE(url) << problem;
    return ShareFiles(root, url.value_or(smb::Url{}), {}, 1000);
}

// Only the root is an address: the names below it are taken as they are, escapes included.
TEST(ShareFiles, PathsBelowTheRootAreTheShares) {
    struct Row {
        std::string root, path;
        std::optional<std::string> within;
    } rows[] = {
        {"smb://nas/s", "smb://nas/s/a/b", "a/b"},
        {"smb://nas/s", "smb://nas/s", ""},
        {"smb://nas:4455/s/f", "smb://nas:4455/s/f", "f"},
        {"smb://nas/s/f%20x", "smb://nas/s/f%20x/n%41", "f x/n%41"},
        {"smb://nas/s/f", "smb://nas/s/fx/a", std::nullopt},
        {"smb://nas/s/f", "smb://other/s/f/a", std::nullopt},
        {"smb://nas/s/f", "/tmp/f/a", std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Share(row.root).Within(row.path), row.within) << row.root << " " << row.path;
}

TEST(ShareFiles, AShareIsNoLocalFileSystem) {
    ShareFiles share = Share("smb://nas/s");
    EXPECT_FALSE(share.Local());
    int handle = 7;
    // A path of this machine is never reached through a share.
    struct stat seen {};
    EXPECT_EQ(share.Create("/tmp/x", 0644, handle, seen), EXDEV);
    EXPECT_EQ(handle, -1);
    EXPECT_EQ(share.Write(0, nullptr, 0, 0), EBADF);
}

TEST(ParseDestinations, AnSmbAddressIsAShareAndOnlyThat) {
    DestTable table;
    table.ParseDestinations({"smb://nas/s/a/", "/tmp/smb:", "SMB://nas/t"}, StderrNotice());
    ASSERT_EQ(table.Count(), 3u);
    EXPECT_FALSE(table[0].Local());
    EXPECT_EQ(table[0].root, "smb://nas/s/a");
    EXPECT_TRUE(table[1].Local());
    EXPECT_FALSE(table[2].Local());
}

// Two sources whose names differ in case or by a trailing dot land on one file of a share.
TEST(WrittenDestinations, AShareFoldsNamesAsWindowsDoes) {
    WrittenDestinations written;
    EXPECT_TRUE(written.SameName("smb://nas/s/d/Photo.JPG", "smb://nas/s/d/photo.jpg"));
    EXPECT_TRUE(written.SameName("smb://nas/s/d/a.", "smb://nas/s/d/a"));
    EXPECT_FALSE(written.SameName("smb://nas/s/d/a", "smb://nas/s/d/b"));
}

}  // namespace
}  // namespace rd
