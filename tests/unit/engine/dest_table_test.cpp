#include "engine/dest_table.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "test_support.h"

namespace rd {
namespace {

using namespace std::chrono_literals;

struct ShownNotice {
    NoticeIcon icon;
    std::string caption;
    std::string text;
};

class RecordingNotice : public UserNotice {
public:
    void Show(NoticeIcon icon, const std::string& caption, const std::string& text) override {
        shown.push_back({icon, caption, text});
    }
    std::vector<ShownNotice> shown;
};

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string ManyTargets(const test::TempDir& dir, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += dir / ("d" + std::to_string(i)) + "?";
    return text;
}

TEST(SplitTargetText, ItemsBetweenQuestionMarks) {
    EXPECT_EQ(SplitTargetText("/a?/b/?"), (std::vector<std::string>{"/a", "/b/"}));
    EXPECT_EQ(SplitTargetText(std::string("??") + "/c"), std::vector<std::string>{"/c"});
    EXPECT_TRUE(SplitTargetText("").empty());
}

TEST(SplitDestinations, RootAndTrailingSeparators) {
    SplitTargets t = SplitDestinations(SplitTargetText("/?/a/b//?/c/?//?"));
    ASSERT_EQ(t.roots.size(), 4u);
    EXPECT_EQ(t.roots[0], "");
    EXPECT_EQ(t.roots[1], "/a/b");
    EXPECT_EQ(t.roots[2], "/c");
    EXPECT_EQ(t.roots[3], "");
    EXPECT_EQ(t.dropped, 0u);
}

TEST(SplitDestinations, EmptyItemsTakeNoSlot) {
    // Built from pieces so that no "??/" appears in one literal.
    SplitTargets t = SplitDestinations(SplitTargetText(std::string("??") + "/a?" + "??" + "/b?"));
    ASSERT_EQ(t.roots.size(), 2u);
    EXPECT_EQ(t.roots[0], "/a");
    EXPECT_EQ(t.roots[1], "/b");
    EXPECT_TRUE(SplitDestinations(SplitTargetText("")).roots.empty());
    EXPECT_TRUE(SplitDestinations(SplitTargetText("???")).roots.empty());
}

TEST(SplitDestinations, UnterminatedLastItemIsKept) {
    SplitTargets t = SplitDestinations(SplitTargetText("/a?/b/"));
    ASSERT_EQ(t.roots.size(), 2u);
    EXPECT_EQ(t.roots[1], "/b");
}

TEST(SplitDestinations, KeepsAtMost4096AndCountsTheRest) {
    std::string text;
    for (int i = 0; i < 4100; ++i)
        text += "/t" + std::to_string(i) + "?";
    SplitTargets t = SplitDestinations(SplitTargetText(text));
    ASSERT_EQ(t.roots.size(), kMaxDestinations);
    EXPECT_EQ(t.roots.front(), "/t0");
    EXPECT_EQ(t.roots.back(), "/t4095");
    EXPECT_EQ(t.dropped, 4u);
}

TEST(CreateFolderTree, CreatesEveryLevel) {
    test::TempDir dir;
    EXPECT_EQ(CreateFolderTree(dir / "a/b/c"), 0);
    EXPECT_TRUE(IsFolder(dir / "a"));
    EXPECT_TRUE(IsFolder(dir / "a/b"));
    EXPECT_TRUE(IsFolder(dir / "a/b/c"));
}

TEST(CreateFolderTree, TrailingSeparatorStopsAtTheLastFolderNamed) {
    test::TempDir dir;
    CreateFolderTree(dir / "x//y/");
    EXPECT_TRUE(IsFolder(dir / "x"));
    EXPECT_TRUE(IsFolder(dir / "x/y"));
    EXPECT_EQ(CreateFolderTree(dir / "x/y"), 0);  // already there: nothing to report
    EXPECT_TRUE(IsFolder(dir / "x/y"));
}

// A file in the way is left alone; the folder that could not be made below it tells why.
TEST(CreateFolderTree, FileInTheWayIsLeftAndItsCauseReturned) {
    test::TempDir dir;
    test::WriteFile(dir / "f", "data");
    EXPECT_EQ(CreateFolderTree(dir / "f/sub/deeper"), ENOTDIR);
    EXPECT_EQ(test::ReadFile(dir / "f"), "data");
    EXPECT_FALSE(Exists(dir / "f/sub"));
    EXPECT_EQ(CreateFolderTree(dir / "f"), 0);
    EXPECT_EQ(test::ReadFile(dir / "f"), "data");
}

// Destination roots that cannot be made keep their cause for the writes that fail there.
TEST(ParseDestinations, KeepsWhyARootCouldNotBeMade) {
    test::TempDir dir;
    test::WriteFile(dir / "f", "data");
    DestTable table;
    RecordingNotice notice;
    table.ParseDestinations(SplitTargetText(dir / "f/d/?" + dir / "ok/?"), notice);
    table.MakeRoots();
    const std::optional<FolderNotMade> root = table.MissingFolder(dir / "f/d/");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->folder, dir / "f/d");
    EXPECT_EQ(root->error, ENOTDIR);
    EXPECT_FALSE(table.MissingFolder(dir / "ok"));
}

// A file deep below a folder that could not be made names that outermost folder, whatever its
// own folder's error was; a folder that was made ends the search.
TEST(DestTable, MissingFolderIsTheOutermostThatFailed) {
    DestTable table;
    table.NoteFolderFailure("/d/a/", EROFS);
    table.NoteFolderFailure("/d/a/b", ENOENT);
    table.NoteFolderFailure("/d/a/b/c/", ENOENT);
    table.NoteFolderFailure("/e/f/g", EACCES);
    const struct {
        const char* folder;
        const char* missing;
        int error;
    } rows[] = {
        {"/d/a/b/c/", "/d/a", EROFS},
        {"/d/a/b", "/d/a", EROFS},
        {"/d/a", "/d/a", EROFS},
        {"/e/f/g/", "/e/f/g", EACCES},
        {"/e/f/", nullptr, 0},
        {"/d/", nullptr, 0},
        {"/", nullptr, 0},
    };
    for (const auto& row : rows) {
        const std::optional<FolderNotMade> missing = table.MissingFolder(row.folder);
        EXPECT_EQ(missing.has_value(), row.missing != nullptr) << row.folder;
        if (missing && row.missing) {
            EXPECT_EQ(missing->folder, row.missing) << row.folder;
            EXPECT_EQ(missing->error, row.error) << row.folder;
        }
    }
}

TEST(CreateFolderTree, EmptyRootCreatesNothing) {
    CreateFolderTree("");
    CreateFolderTree("/");
    EXPECT_TRUE(IsFolder("/"));
}

// The folders are made once the job has something to put into them, not while it parses.
TEST(ParseDestinations, FillsSlotsAndCreatesFoldersWhenAsked) {
    test::TempDir dir;
    RecordingNotice notice;
    DestTable table;
    table.ParseDestinations(SplitTargetText("/?" + dir / "one//" + "??" + dir / "two/three" + "?"),
                            notice);
    ASSERT_EQ(table.Count(), 3u);
    EXPECT_EQ(table[0].root, "");
    EXPECT_EQ(table[1].root, dir / "one");
    EXPECT_EQ(table[2].root, dir / "two/three");
    EXPECT_FALSE(Exists(dir / "one"));
    EXPECT_FALSE(Exists(dir / "two"));
    table.MakeRoots();
    EXPECT_TRUE(IsFolder(dir / "one"));
    EXPECT_TRUE(IsFolder(dir / "two/three"));
    EXPECT_TRUE(notice.shown.empty());
}

// The job's folders come as a list: a name with "?" (or any byte but NUL) is one destination.
TEST(ParseDestinations, AFolderNameIsNeverSplit) {
    test::TempDir dir;
    RecordingNotice notice;
    DestTable table;
    table.ParseDestinations({dir / "x?y/", dir / "cr\r\nlf", "", dir / "x"}, notice);
    table.MakeRoots();
    ASSERT_EQ(table.Count(), 3u);
    EXPECT_EQ(table[0].root, dir / "x?y");
    EXPECT_EQ(table[1].root, dir / "cr\r\nlf");
    EXPECT_EQ(table[2].root, dir / "x");
    EXPECT_TRUE(IsFolder(dir / "x?y"));
    EXPECT_FALSE(Exists(dir / "y"));
}

TEST(ParseDestinations, ParsingAgainStartsFromFreshSlots) {
    test::TempDir dir;
    RecordingNotice notice;
    DestTable table;
    table.ParseDestinations(SplitTargetText(dir / "a?" + dir / "b?"), notice);
    table.CreateEvents();
    table.ActivateAll();
    table[0].fileHandle = 7;
    table[0].currentPath = "/somewhere";
    table[0].openFlags = openflag::kNoBuffering;

    table.ParseDestinations(SplitTargetText(dir / "c?"), notice);
    ASSERT_EQ(table.Count(), 1u);
    EXPECT_EQ(table[0].root, dir / "c");
    EXPECT_EQ(table[0].active, 0);
    EXPECT_EQ(table[0].ready, nullptr);
    EXPECT_EQ(table[0].fileHandle, -1);
    EXPECT_EQ(table[0].markerHandle, -1);
    EXPECT_TRUE(table[0].currentPath.empty());
    EXPECT_EQ(table[0].openFlags, openflag::kInitial);
}

TEST(ParseDestinations, TooManyDestinationsWarnOnce) {
    test::TempDir dir;
    RecordingNotice notice;
    DestTable table;
    table.ParseDestinations(SplitTargetText(ManyTargets(dir, 4098)), notice);
    table.MakeRoots();
    ASSERT_EQ(table.Count(), kMaxDestinations);
    EXPECT_EQ(table[4095].root, dir / "d4095");
    EXPECT_TRUE(IsFolder(dir / "d0"));
    EXPECT_TRUE(IsFolder(dir / "d4095"));
    EXPECT_FALSE(Exists(dir / "d4096"));
    EXPECT_FALSE(Exists(dir / "d4097"));
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].icon, NoticeIcon::Warning);
    EXPECT_EQ(notice.shown[0].caption, "Too many destinations");
    EXPECT_EQ(notice.shown[0].text,
              "Maximum 4096 destinations allowed. Other destinations will be skipped.");
}

TEST(ParseDestinations, ExactlyFullTableDoesNotWarn) {
    test::TempDir dir;
    RecordingNotice notice;
    DestTable table;
    // The same folder named 4096 times: a full table, one folder on disk.
    std::string text;
    for (uint32_t i = 0; i < kMaxDestinations; ++i)
        text += dir / "same?";
    table.ParseDestinations(SplitTargetText(text), notice);
    EXPECT_EQ(table.Count(), kMaxDestinations);
    EXPECT_EQ(table[4095].root, dir / "same");
    EXPECT_TRUE(notice.shown.empty());
}

TEST(DestActivity, ActivateAllTouchesUsedSlotsOnly) {
    test::TempDir dir;
    RecordingNotice notice;
    DestTable table;
    table.ParseDestinations(SplitTargetText(dir / "a?" + dir / "b?"), notice);
    table.ActivateAll();
    EXPECT_EQ(table[0].active, 1);
    EXPECT_EQ(table[1].active, 1);
    EXPECT_EQ(table[2].active, 0);
}

TEST(DestActivity, SkipReportsOnlyTheLastActiveSlot) {
    test::TempDir dir;
    RecordingNotice notice;
    DestTable table;
    table.ParseDestinations(SplitTargetText(dir / "a?" + dir / "b?" + dir / "c?"), notice);
    table.ActivateAll();
    EXPECT_FALSE(table.SkipDestination(1));
    EXPECT_FALSE(table.SkipDestination(1));  // skipping twice does not count twice
    EXPECT_FALSE(table.SkipDestination(0));
    EXPECT_TRUE(table.SkipDestination(2));
    EXPECT_EQ(table[2].active, 0);

    table.ActivateAll();  // the next file takes every destination again
    EXPECT_FALSE(table.SkipDestination(2));
}

TEST(DestEvents, StartStatesLetTheFirstPublishPass) {
    test::TempDir dir;
    RecordingNotice notice;
    DestTable table;
    table.ParseDestinations(SplitTargetText(dir / "a?" + dir / "b?"), notice);
    table.CreateEvents();
    for (uint32_t i = 0; i < table.Count(); ++i) {
        ASSERT_NE(table[i].ready, nullptr);
        EXPECT_FALSE(table[i].ready->WaitFor(0ms));
        EXPECT_TRUE(table[i].taken->WaitFor(0ms));
        EXPECT_FALSE(table[i].taken->WaitFor(0ms));  // auto-reset: consumed by the first wait
        EXPECT_TRUE(table[i].written->WaitFor(0ms));
    }
    EXPECT_EQ(table[2].ready, nullptr);
}

TEST(DestEvents, SetsWithoutWaiterDoNotAccumulate) {
    AutoResetEvent event;
    event.Set();
    event.Set();
    EXPECT_TRUE(event.WaitFor(0ms));
    EXPECT_FALSE(event.WaitFor(0ms));
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.WaitFor(0ms));
}

TEST(DestEvents, OneSetReleasesOneWaiter) {
    AutoResetEvent event;
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            event.Wait();
            ++released;
        });
    std::this_thread::sleep_for(20ms);
    event.Set();
    while (released == 0)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(released, 1);
    event.Set();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released, 2);
    EXPECT_FALSE(event.WaitFor(0ms));
}

}  // namespace
}  // namespace rd
