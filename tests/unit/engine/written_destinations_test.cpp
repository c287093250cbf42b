#include "engine/written_destinations.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "engine/file_list.h"
#include "test_support.h"

namespace rd {
namespace {

TEST(FoldedName, AsTheFolderComparesNames) {
    const FolderNaming exact;
    FolderNaming folds;
    folds.foldsCase = true;
    FolderNaming drops = folds;
    drops.dropsTrailing = true;
    struct Case {
        const char* a;
        const char* b;
        const FolderNaming& naming;
        bool same;
    } cases[] = {
        {"readme", "README", exact, false},
        {"readme", "README", folds, true},
        {"ReadMe.txt", "rEADmE.TXT", folds, true},
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", folds, true},  // été, ÉTÉ
        {"a.", "a", folds, false},
        {"a. ", "A", drops, true},
        {"a", "b", drops, false},
        // Not UTF-8: ASCII letters still fold, the other bytes stay as they are.
        {"x\xFF", "X\xFF", folds, true},
        {"x\xFF", "x\xFE", folds, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FoldedName(c.a, c.naming) == FoldedName(c.b, c.naming), c.same)
            << c.a << " / " << c.b;
}

TEST(FolderNaming, AnOrdinaryFolderTellsCaseAndKeepsItsInodes) {
    test::TempDir dir;
    const FolderNaming naming = ProbeFolderNaming(dir.Path());
    EXPECT_FALSE(naming.foldsCase);
    EXPECT_FALSE(naming.dropsTrailing);
    EXPECT_TRUE(naming.stableInodes);
    // The probe leaves nothing behind.
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    // A folder where nothing can be made is taken as exact.
    const FolderNaming none = ProbeFolderNaming(dir / "missing");
    EXPECT_FALSE(none.foldsCase);
}

// Which destinations count as written by this job: the files it wrote (by inode, also under
// another name of theirs), and nothing else, whatever the names.
TEST(WrittenDestinations, OnlyWhatTheJobWroteIsItsOwn) {
    test::TempDir dir;
    const std::string base = dir / "src";
    FENTRY_ first, second;
    first.base = &base;
    first.relative = "/a/f";
    second.base = &base;
    second.relative = "/b/f";
    WrittenDestinations written;
    EXPECT_EQ(written.WrittenFrom(dir / "f", {}), nullptr);

    test::WriteFile(dir / "f", "copy");
    const int fd = open((dir / "f").c_str(), O_RDONLY);
    written.Record(dir / "f", fd, &first);
    close(fd);
    test::WriteFile(dir / "g", "the user's");
    ASSERT_EQ(link((dir / "f").c_str(), (dir / "hard").c_str()), 0);
    ASSERT_EQ(symlink((dir / "f").c_str(), (dir / "soft").c_str()), 0);
    struct stat linkItself {};
    lstat((dir / "soft").c_str(), &linkItself);
    struct Case {
        const char* name;
        std::string path;
        const FENTRY_* expected;
    } cases[] = {
        {"TheCopy", dir / "f", &first},
        {"AnotherNameOfIt", dir / "hard", &first},
        {"AFileOfTheUser", dir / "g", nullptr},
        {"ALinkToIt", dir / "soft", nullptr},
        {"OtherCaseHere", dir / "F", nullptr},
    };
    for (const Case& c : cases) {
        struct stat there {};
        lstat(c.path.c_str(), &there);
        EXPECT_EQ(written.WrittenFrom(c.path, there), c.expected) << c.name;
    }
    // The first source stays the one named.
    const int again = open((dir / "f").c_str(), O_RDONLY);
    written.Record(dir / "f", again, &second);
    close(again);
    struct stat there {};
    lstat((dir / "f").c_str(), &there);
    EXPECT_EQ(written.WrittenFrom(dir / "f", there), &first);
    EXPECT_TRUE(written.SameName(dir / "f", dir / "f"));
    EXPECT_FALSE(written.SameName(dir / "f", dir / "F"));
}

}  // namespace
}  // namespace rd
