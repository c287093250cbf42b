#include "app/favourites.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
#include "test_support.h"

namespace rd {
namespace {

class Favourites : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(paths::MakePath(folder), 0); }
    test::PrivateEnvironment env;
    // The user's data folder is the private environment's.
    const std::string folder = FavouritesFolder();
};

TEST_F(Favourites, FolderListAndMissingFolder) {
    EXPECT_EQ(folder, env.DataDir() + "/favorites");
    for (const char* name : {"b.lst", "a-b.lst", "a.lst", "notes.txt", "lst", "c.lst.bak"})
        test::WriteFile(folder + "/" + name, "/x/\n");
    ASSERT_EQ(paths::MakePath(folder + "/dir.lst"), 0);
    EXPECT_EQ(ListFavourites(folder), (std::vector<std::string>{"a", "a-b", "b"}));
    EXPECT_TRUE(ListFavourites(env.Dir() / "none").empty());
}

TEST_F(Favourites, LinesBecomeDestinations) {
    const struct {
        const char* data;
        const char* text;
    } cases[] = {
        {"/one/\r\n/two/\r\n", "/one/?/two/?"},
        {"/one/\n/two/\n", "/one/?/two/?"},
        {"/one/\r/two/", "/one/?/two/?"},
        {"\r\n\n/one/\r\n\r\n  \n", "/one/?  ?"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string text = "/pre/?";
        test::WriteFile(folder + "/f.lst", c.data);
        AppendFavourite(folder, "f", text);
        EXPECT_EQ(text, std::string("/pre/?") + c.text) << c.data;
    }
}

TEST_F(Favourites, BadFilesAddNothing) {
    test::WriteFile(folder + "/binary.lst", std::string("/a/\n\0\x01\n", 7));
    test::WriteFile(folder + "/huge.lst", std::string(kMaxFavouriteBytes + 1, 'a'));
    test::WriteFile(folder + "/locked.lst", "/a/\n");
    ASSERT_EQ(::chmod((folder + "/locked.lst").c_str(), 0), 0);
    ASSERT_EQ(::mkfifo((folder + "/fifo.lst").c_str(), 0600), 0);
    ASSERT_EQ(paths::MakePath(folder + "/dir.lst"), 0);
    for (const char* name : {"binary", "huge", "fifo", "dir", "missing", "../favorites/huge", ""}) {
        std::string text;
        AppendFavourite(folder, name, text);
        EXPECT_EQ(text, "") << name;
    }
    // Root reads any file: only a plain user finds this one unreadable.
    std::string text;
    AppendFavourite(folder, "locked", text);
    EXPECT_EQ(text, ::geteuid() == 0 ? "/a/?" : "");

    // A file just within the limit is read.
    test::WriteFile(folder + "/big.lst", std::string(kMaxFavouriteBytes - 1, 'b') + "\n");
    text.clear();
    AppendFavourite(folder, "big", text);
    EXPECT_EQ(text.size(), kMaxFavouriteBytes);
}

}  // namespace
}  // namespace rd
