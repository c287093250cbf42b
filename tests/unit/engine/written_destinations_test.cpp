#include "engine/written_destinations.h"

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

// Which destinations count as written by this job: the names it wrote, also when another path
// leads to the same folder, and nothing else.
TEST(WrittenDestinations, OnlyWhatTheJobWroteIsItsOwn) {
    test::TempDir dir;
    const std::string base = dir / "src";
    FENTRY_ first, second;
    first.base = &base;
    first.relative = "/a/f";
    second.base = &base;
    second.relative = "/b/f";
    std::filesystem::create_directories(dir / "d");
    WrittenDestinations written;
    EXPECT_EQ(written.WrittenFrom(dir / "d/f"), nullptr);

    test::WriteFile(dir / "d/f", "copy");
    written.Record(dir / "d/f", &first);
    test::WriteFile(dir / "d/g", "the user's");
    ASSERT_EQ(symlink((dir / "d").c_str(), (dir / "via").c_str()), 0);
    ASSERT_EQ(link((dir / "d/f").c_str(), (dir / "d/hard").c_str()), 0);
    struct Case {
        const char* name;
        std::string path;
        const FENTRY_* expected;
    } cases[] = {
        {"TheCopy", dir / "d/f", &first},
        {"ThroughALinkToItsFolder", dir / "via/f", &first},
        {"ThroughDotDot", dir / "d/../d/f", &first},
        {"AFileOfTheUser", dir / "d/g", nullptr},
        {"AnotherNameOfTheSameData", dir / "d/hard", nullptr},
        {"OtherCaseHere", dir / "d/F", nullptr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(written.WrittenFrom(c.path), c.expected) << c.name;
    // The first source stays the one named.
    written.Record(dir / "d/f", &second);
    EXPECT_EQ(written.WrittenFrom(dir / "d/f"), &first);
    EXPECT_TRUE(written.SameName(dir / "d/f", dir / "via/f"));
    EXPECT_FALSE(written.SameName(dir / "d/f", dir / "d/F"));
}

}  // namespace
}  // namespace rd
