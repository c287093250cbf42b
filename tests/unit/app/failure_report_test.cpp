#include "app/failure_report.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace rd {
namespace {

namespace stdfs = std::filesystem;

const char kSummary[] = "Copy finished: 1 of 3 files, 4 of 12 bytes, 0 retries, 2 skips";

tm MarchSeventh() {
    return test::LocalTime(2026, 3, 7, 9, 5, 3);
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Each entry stays one line, escaped as coreutils' checksum lines are when its names need it.
TEST(FailureReportText, NamesThatWouldBreakTheLineAreEscaped) {
    const struct {
        const char* path;
        const char* line;
    } cases[] = {
        {"/src/plain name", "failed /src/plain name: failed reading it"},
        {"/src/two\nlines", "\\failed /src/two\\nlines: failed reading it"},
        {"/src/back\\slash", "\\failed /src/back\\\\slash: failed reading it"},
        {"/src/cr\r\ttab\x1b", "\\failed /src/cr\\r\\ttab\\x1b: failed reading it"},
        {"/src/latin\xe9-1", "\\failed /src/latin\\xe9-1: failed reading it"},
        {"/src/gr\xc3\xbc\xc3\x9f"
         "e",
         "failed /src/gr\xc3\xbc\xc3\x9f"
         "e: failed reading it"},
    };
    for (const auto& c : cases) {
        const FailureFacts facts{
            kSummary, {Failed(c.path, OutcomeCause::OperationFailed, 0, Operation::Read)}, 1, 1};
        EXPECT_EQ(FailureReportText(facts), std::string(kSummary) + "\n" + c.line + "\n") << c.path;
    }
}

TEST(FailureReportText, LinesForEachCase) {
    const NodeOutcome gone = Skipped("/src/gone", OutcomeCause::CannotReach, {}, ENOENT);
    const NodeOutcome full =
        Failed("/src/big", OutcomeCause::OperationFailed, ENOSPC, Operation::Write, "/dst/big");
    const NodeOutcome bare =
        Failed("/src/acl", OutcomeCause::MetadataNotKept, EPERM, Operation::None, "/dst/acl");
    const std::string goneLine =
        "skipped /src/gone: skipped, it cannot be reached (Error 2 - No such file or "
        "directory)\n";
    const std::string fullLine =
        "failed /src/big -> /dst/big: failed writing it (Error 28 - No space left on device)\n";
    const std::string bareLine =
        "failed /src/acl -> /dst/acl: copied, but its owner, extended attributes or ACL were "
        "not kept (Error 1 - Operation not permitted)\n";
    const std::string fiveMore = "and 5 more not listed\n";
    const std::string threeUnnamed = "3 skips were counted without naming a file\n";
    const std::string oneUnnamed = "1 skip was counted without naming a file\n";
    struct Case {
        const char* name;
        std::vector<NodeOutcome> kept;
        size_t counted;
        uint32_t skips;
        size_t total;
        // What follows the summary line.
        std::string lines;
    };
    const Case cases[] = {
        {"every outcome kept", {gone, full}, 2, 2, 2, goneLine + fullLine},
        {"more counted than kept", {gone, full}, 7, 7, 7, goneLine + fullLine + fiveMore},
        {"skips that name no file", {gone}, 1, 4, 4, goneLine + threeUnnamed},
        // A copy short of its metadata is named but is no skip: nothing is missing.
        {"metadata only", {bare}, 1, 0, 1, bareLine},
        {"only a skip without a record", {}, 0, 1, 1, oneUnnamed},
    };
    for (const Case& c : cases) {
        const FailureFacts facts{kSummary, c.kept, c.counted, c.skips};
        EXPECT_EQ(FailureReportText(facts), std::string(kSummary) + "\n" + c.lines) << c.name;
        EXPECT_EQ(facts.Total(), c.total) << c.name;
    }
}

TEST(ReportNotice, EndOfALongJob) {
    EXPECT_EQ(EndNotice("Copy finished", 12, uint64_t{3} << 29, 47000),
              "Copy finished: 12 files, 1.5 GiB in 0:47");
    EXPECT_EQ(EndNotice("Move aborted", 1, 10, kEndNoticeAfterMs),
              "Move aborted: 1 file, 10 B in 0:05");
    EXPECT_EQ(EndNotice("Copy finished", 1, 10, kEndNoticeAfterMs - 1), "");
}

TEST(ReportNotice, CountAndReport) {
    EXPECT_EQ(ReportNotice("Copy finished", 1, "/d/reports/r.txt"),
              "Copy finished with 1 skip or failure.\nClick here to open the report "
              "/d/reports/r.txt");
    EXPECT_EQ(ReportNotice("Move aborted", 12, "/d/reports/r.txt"),
              "Move aborted with 12 skips or failures.\nClick here to open the report "
              "/d/reports/r.txt");
}

class WriteFailureReportTest : public ::testing::Test {
protected:
    std::string Write(const std::string& text) {
        error.clear();
        return WriteFailureReport(env.DataDir(), MarchSeventh(), text, error);
    }

    test::PrivateEnvironment env;
    std::string reports = env.DataDir() + "/reports";
    std::string error;
};

// Reports of the same second take the next free number; a name held by anything, a symbolic
// link above all, is passed over and what it points at stays as it was.
TEST_F(WriteFailureReportTest, NewPrivateFilesUnderFreeNames) {
    const mode_t mask = ::umask(022);
    const std::string first = Write("one\n");
    ::umask(mask);
    EXPECT_EQ(error, "");
    EXPECT_EQ(first, reports + "/2026-03-07-090503.txt");
    EXPECT_EQ(ModeOf(reports), 0700u);
    EXPECT_EQ(ModeOf(first), 0600u);
    EXPECT_EQ(test::ReadFile(first), "one\n");

    EXPECT_EQ(Write("two\n"), reports + "/2026-03-07-090503-2.txt");
    test::WriteFile(env.Dir() / "victim", "mine");
    stdfs::create_symlink(env.Dir() / "victim", reports + "/2026-03-07-090503-3.txt");
    stdfs::create_symlink(env.Dir() / "nowhere", reports + "/2026-03-07-090503-4.txt");
    EXPECT_EQ(Write("three\n"), reports + "/2026-03-07-090503-5.txt");
    EXPECT_EQ(error, "");
    EXPECT_EQ(test::ReadFile(env.Dir() / "victim"), "mine");
    EXPECT_FALSE(stdfs::exists(env.Dir() / "nowhere"));
    EXPECT_EQ(test::ReadFile(first), "one\n");
    EXPECT_EQ(test::ReadFile(reports + "/2026-03-07-090503-5.txt"), "three\n");
}

TEST_F(WriteFailureReportTest, AFolderItCannotUseWritesNothingAndSaysWhy) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string error;
    };
    const std::string elsewhere = env.Dir() / "elsewhere";
    const Case cases[] = {
        {"the data folder is a file",
         [&] {
             stdfs::remove_all(env.DataDir());
             test::WriteFile(env.DataDir(), "x");
         },
         "cannot create the reports folder " + reports + ": Not a directory"},
        {"the reports folder is a symbolic link",
         [&] {
             stdfs::create_directory(elsewhere);
             stdfs::permissions(elsewhere, stdfs::perms::owner_all);
             stdfs::create_directory_symlink(elsewhere, reports);
         },
         "the reports folder " + reports + " is a symbolic link; refusing to use it"},
        {"the reports folder is open to others",
         [&] {
             stdfs::create_directory(reports);
             stdfs::permissions(reports, stdfs::perms::owner_all | stdfs::perms::group_read |
                                             stdfs::perms::group_exec | stdfs::perms::others_read |
                                             stdfs::perms::others_exec);
         },
         "the reports folder " + reports +
             " is open to other users (mode 0755); refusing to use it"},
    };
    for (const Case& c : cases) {
        stdfs::remove_all(env.DataDir());
        stdfs::remove_all(elsewhere);
        stdfs::create_directory(env.DataDir());
        c.arrange();
        EXPECT_EQ(Write("lost?\n"), "") << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        std::error_code ec;
        EXPECT_TRUE(stdfs::is_empty(elsewhere, ec) || ec) << c.name;
        if (stdfs::is_directory(reports) && !stdfs::is_symlink(reports)) {
            EXPECT_TRUE(stdfs::is_empty(reports)) << c.name;
        }
    }
}

}  // namespace
}  // namespace rd
