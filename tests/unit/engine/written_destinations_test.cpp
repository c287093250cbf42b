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

// Which destinations count as written by this job. On a native file system nothing is kept for
// each file: what shows a change time from the job's run was written during the job, whatever
// path leads to it, and what is older is the user's.
TEST(WrittenDestinations, WhatTheJobWroteShowsItsRun) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "d");
    test::WriteFile(dir / "d/f", "copy");
    ASSERT_EQ(symlink((dir / "d").c_str(), (dir / "via").c_str()), 0);
    const std::string base = dir / "src";
    FENTRY_ node;
    node.base = &base;
    node.relative = "/f";
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    WrittenDestinations running(now), later({now.tv_sec + 60, 0});
    running.Record(dir / "d/f", &node);
    later.Record(dir / "d/f", &node);
    using Verdict = WrittenDestinations::Verdict;
    struct Case {
        const char* name;
        std::string path;
        WrittenDestinations& job;
        Verdict::Kind expected;
    } cases[] = {
        {"WrittenInTheRun", dir / "d/f", running, Verdict::WrittenDuringJob},
        {"ThroughALinkToItsFolder", dir / "via/f", running, Verdict::WrittenDuringJob},
        {"OlderThanTheRun", dir / "d/f", later, Verdict::NotWritten},
    };
    for (const Case& c : cases) {
        struct stat there {};
        ASSERT_EQ(lstat(c.path.c_str(), &there), 0) << c.name;
        EXPECT_EQ(c.job.At(c.path, there).kind, c.expected) << c.name;
    }
    EXPECT_TRUE(running.SameName(dir / "d/f", dir / "via/f"));
    EXPECT_TRUE(running.SameName(dir / "d/f", dir / "d/../d/f"));
    EXPECT_FALSE(running.SameName(dir / "d/f", dir / "d/F"));
}

}  // namespace
}  // namespace rd
