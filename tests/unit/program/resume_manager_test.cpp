#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/transfer.h"
#include "platform/literal_list.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "resume/autostart.h"
#include "resume/marker_restart.h"
#include "resume/resume_attempt.h"
#include "resume/resume_item.h"
#include "resume/resume_mode.h"
#include "resume/resume_records.h"
#include "resume/resume_slot.h"
#include "settings/store_keys.h"
#include "test_support.h"

namespace rd {
namespace {

namespace sfs = std::filesystem;

TEST(StoredCommand, SplitsAtTheFirstSpaceAndBar) {
    struct Case {
        const char* command;
        std::optional<StoredCommand> split;
    } cases[] = {
        {"/usr/bin/redodori |/s/l.lst|/d/?|uwq2", {{"/usr/bin/redodori", "|/s/l.lst|/d/?|uwq2"}}},
        {"/opt/my prog/redodori |a|b|c", {{"/opt/my prog/redodori", "|a|b|c"}}},
        {"/p |x |y", {{"/p", "|x |y"}}},
        {"/p|x", std::nullopt},
        {" |x", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto split = SplitStoredCommand(c.command);
        ASSERT_EQ(split.has_value(), c.split.has_value()) << c.command;
        if (split) {
            EXPECT_EQ(split->program, c.split->program) << c.command;
            EXPECT_EQ(split->argument, c.split->argument) << c.command;
        }
    }
    struct Field {
        const char* value;
        int bar;
        const char* text;
    } fields[] = {{"p |l|d/?e/?|sw", 1, "l"},
                  {"p |l|d/?e/?|sw", 2, "d/?e/?"},
                  {"p |l|d/?e/?|sw", 3, "sw"},
                  {"p |l", 2, ""},
                  {"", 1, ""}};
    for (const Field& f : fields)
        EXPECT_EQ(BetweenBars(f.value, f.bar), f.text) << f.value << " " << f.bar;
    // Only the program's own file runs, by whatever spelling of its path.
    EXPECT_TRUE(
        IsOwnProgram(sfs::path(REDODORI_BIN).parent_path().string() + "/./redodori", REDODORI_BIN));
    for (const char* other : {"redodori", "/bin/sh", ""})
        EXPECT_FALSE(IsOwnProgram(other, REDODORI_BIN)) << other;
}

TEST(ResumeModeLine, EachFormIsAnArgumentOfItsOwn) {
    struct Case {
        std::vector<const char*> argv;
        ResumeMode::Kind kind;
        const char* marker;
    } cases[] = {
        {{"redodori", "/vnresume"}, ResumeMode::Window, ""},
        {{"redodori", "/vnresume", "/startup"}, ResumeMode::Startup, ""},
        {{"redodori", "/startup", "/vnresume"}, ResumeMode::Startup, ""},
        {{"redodori", "/vnresume=/d/a b.RedoDori"}, ResumeMode::Marker, "/d/a b.RedoDori"},
        {{"redodori", "/vnresume", "/vnresume"}, ResumeMode::Window, ""},
        // A job whose paths hold the word is a job.
        {{"redodori", "|/data/vnresume|/d/?|e"}, ResumeMode::None, ""},
        {{"redodori", "/vnresumex"}, ResumeMode::None, ""},
        {{"redodori", "/startup"}, ResumeMode::None, ""},
        {{"redodori"}, ResumeMode::None, ""},
    };
    for (const Case& c : cases) {
        const ResumeMode mode = ParseResumeMode(static_cast<int>(c.argv.size()), c.argv.data());
        EXPECT_EQ(mode.kind, c.kind) << c.argv.back();
        EXPECT_EQ(mode.markerPath, c.marker) << c.argv.back();
    }
}

class ResumeRecords : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(paths::MakePath(env.StateDir()), 0);
        ASSERT_EQ(paths::MakePath(env.Dir() / "src"), 0);
    }
    void Put(const std::string& name, const std::string& value) {
        ASSERT_TRUE(store.WriteText(StoreRoot::CurrentUser, kResumeKey, name, value));
    }
    std::optional<std::string> Get(const std::string& name) {
        return store.ReadText(StoreRoot::CurrentUser, kResumeKey, name);
    }
    std::string ListPath(int n) const {
        return env.StateDir() + "/vnfrm" + std::to_string(n) + ".lst";
    }
    // Record n of this program, copying the source folder to /dst/, with its list.
    void Record(int n, const std::string& program = REDODORI_BIN) {
        std::string list = "\xFF\xFE";
        for (char c : env.Dir() / "src/tree\r\n") {
            list.push_back(c);
            list.push_back('\0');
        }
        test::WriteFile(ListPath(n), list);
        Put(std::to_string(n), program + " |" + ListPath(n) + "|/dst/?|uwq2");
        Put("f_" + std::to_string(n), env.Dir() / "src/");
        Put("t_" + std::to_string(n), "2026-03-07 09:05");
    }
    bool RecordKept(int n) {
        for (const char* prefix : {"", "f_", "t_"})
            if (!Get(prefix + std::to_string(n)))
                return false;
        return true;
    }

    test::PrivateEnvironment env;
    Store store{env.ConfigDir() + "/registry.db"};
    std::string error;
};

TEST_F(ResumeRecords, ListColumnsStartupAndFlags) {
    Put("0", "/p |/l0|/a/?/b/?|uwq2");
    Put("f_0", "/src/");
    Put("t_0", "2026-03-07 09:05");
    Put("5", "/p |/l5|/c/?|uwq2");
    Put("D_5", "x");
    Put("12", "no command");
    Put("d_12", "");
    // Not records: leading zeros, out of range, parts without their command.
    for (const char* name : {"007", "999", "-1", "f_7", "t_7"})
        Put(name, "/p |/l|/x/?|uw");
    std::vector<std::string> rows;
    for (const ResumeRecord& record : ReadResumeRecords(store)) {
        const RecordColumns c = ColumnsOf(record);
        rows.push_back(std::to_string(record.n) + ":" + c.time + "|" + c.from + "|" + c.to + "|" +
                       c.autostart);
    }
    EXPECT_EQ(rows,
              (std::vector<std::string>{"0:2026-03-07 09:05|/src/|/a/?/b/?|Yes",
                                        "5:Unknown|Unknown|/c/?|No", "12:Unknown|Unknown||Yes"}));

    EXPECT_EQ(StartupRecords(store), (std::vector<int32_t>{0, 12}));

    FlipAutostart(store, 5);
    FlipAutostart(store, 0);
    EXPECT_FALSE(Get("d_5"));
    EXPECT_EQ(Get("d_0"), "x");
    EXPECT_EQ(StartupRecords(store), (std::vector<int32_t>{5, 12}));

    // The job of record 12 still runs: it is left to that job.
    ResumeSlot running;
    ASSERT_EQ(running.Take(12, error), ResumeSlot::Lock::Taken) << error;
    std::vector<int32_t> left;
    EXPECT_EQ(StartupRecords(store, &left), (std::vector<int32_t>{5}));
    EXPECT_EQ(left, (std::vector<int32_t>{12}));
    running.Release();
    EXPECT_EQ(StartupRecords(store), (std::vector<int32_t>{5, 12}));

    // Destinations in a target list (switch f) are shown from it, each whole.
    const std::string targets = env.StateDir() + "/vnto20.lst";
    sfs::create_directories(env.StateDir());
    test::WriteFile(targets, text::LiteralListBytes({"/x?y", "/z"}));
    Put("20", "/p |/l20|" + targets + "|uwq2f");
    const ResumeRecord listed = ReadResumeRecords(store).back();
    EXPECT_EQ(RecordDestinations(listed), (std::vector<std::string>{"/x?y", "/z"}));
    EXPECT_EQ(ColumnsOf(listed).to, "/x?y?/z?");
    // Deleting the record hands over both its lists.
    EXPECT_EQ(DeleteRecordValues(store, 20), (std::vector<std::string>{"/l20", targets}));
    EXPECT_EQ(DeleteRecordValues(store, 5), std::vector<std::string>{"/l5"});
}

TEST_F(ResumeRecords, OnlyAListWrittenForOneJobIsRemoved) {
    Record(3);

    const std::string own = env.Dir() / "own.lst";
    test::WriteFile(own, "/x\r\n");
    test::WriteFile(env.Dir() / "target", "precious");
    sfs::create_symlink(env.Dir() / "target", env.StateDir() + "/link.lst");
    sfs::create_directory(env.StateDir() + "/folder.lst");
    struct Case {
        std::string path;
        bool removed;
    } cases[] = {{ListPath(3), true},
                 {own, false},
                 {env.StateDir() + "/link.lst", false},
                 {env.StateDir() + "/folder.lst", false},
                 {env.StateDir() + "/missing.lst", false},
                 {"", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(RemoveResumeList(c.path), c.removed) << c.path;
        EXPECT_EQ(sfs::exists(sfs::symlink_status(c.path)),
                  !c.removed && !c.path.empty() && c.path.find("missing") == std::string::npos)
            << c.path;
    }
    EXPECT_EQ(test::ReadFile(env.Dir() / "target"), "precious");
}

TEST_F(ResumeRecords, AListIsReadOnlyWhenItIsTheUsersOwnAndWhole) {
    const std::string path = env.StateDir() + "/vnfrm1.lst";
    struct Case {
        const char* name;
        std::function<void()> make;
        std::string error;  // after "the record's list file <path> "; empty: read
        bool needsRoot = false;
    } cases[] = {
        {"Utf16", [&] { test::WriteFile(path, std::string("\xFF\xFE/\0a\0\r\0\n\0/\0b\0", 14)); },
         ""},
        {"EightBit", [&] { test::WriteFile(path, "/a\r\n/b\r\n"); }, ""},
        {"Literal",
         [&] {
             test::WriteFile(path, text::LiteralListBytes({"/a", "/b"}));
         },
         ""},
        {"LiteralCutShort",
         [&] {
             test::WriteFile(path, text::LiteralListBytes({"/a", "/b"}).substr(0, 27));
         },
         "is damaged: it ends in the middle of a source"},
        {"Missing", [] {}, "is missing"},
        {"HalfACharacter", [&] { test::WriteFile(path, std::string("\xFF\xFE/\0a", 5)); },
         "is damaged: it ends in half a character"},
        {"Nul", [&] { test::WriteFile(path, std::string("/a\0\r\n", 5)); },
         "is damaged: it holds NUL bytes"},
        {"Empty", [&] { test::WriteFile(path, ""); }, "is damaged: it names no source"},
        {"Relative", [&] { test::WriteFile(path, "/a\r\nb\r\n"); },
         "is damaged: a source is not a full path"},
        {"Link",
         [&] {
             test::WriteFile(env.Dir() / "real", "/a\r\n");
             sfs::create_symlink(env.Dir() / "real", path);
         },
         "is a symbolic link"},
        {"OtherOwner",
         [&] {
             test::WriteFile(path, "/a\r\n");
             if (::chown(path.c_str(), 12345, 12345) != 0)
                 throw std::runtime_error("chown");
         },
         "belongs to another user", true},
    };
    for (const Case& c : cases) {
        if (c.needsRoot && ::geteuid() != 0)
            continue;
        sfs::remove_all(path);
        c.make();
        std::vector<std::string> sources;
        const bool read = ReadResumeList(path, sources, error);
        EXPECT_EQ(read, c.error.empty()) << c.name;
        if (read)
            EXPECT_EQ(sources, (std::vector<std::string>{"/a", "/b"})) << c.name;
        else
            EXPECT_EQ(error, "the record's list file " + path + " " + c.error) << c.name;
    }
}

TEST_F(ResumeRecords, AttemptRunsTheCommandOnceTheSourceFolderIsThere) {
    struct Launch {
        std::string program, argument;
    };
    std::vector<Launch> launched;
    bool launchWorks = true;
    // The job of record 1, when it still runs.
    ResumeSlot job;
    bool slotHeldAtLaunch = false;
    const ResumeLauncher launch = [&](const std::string& program, const std::string& argument,
                                      std::string& why) {
        slotHeldAtLaunch = ResumeJobRunning(1);
        launched.push_back({program, argument});
        why = "boom";
        return launchWorks;
    };
    const std::string arguments = "|" + ListPath(1) + "|/dst/?|uwq2";
    struct Case {
        const char* name;
        std::function<void()> prepare;
        AttemptResult expected;
        std::vector<std::string> launches;  // arguments
        bool kept;
    } cases[] = {
        {"Started", [] {}, {1, true, ""}, {arguments}, false},
        {"Minimized",
         [&] { ASSERT_TRUE(store.WriteInt(StoreRoot::CurrentUser, kResumeKey, "min", 1)); },
         {1, true, ""},
         {arguments + "n"},
         false},
        {"NoFrom",
         [&] { Put("f_1", ""); },
         {1, false, "the record names no source folder"},
         {},
         true},
        {"Unreachable",
         [&] { Put("f_1", env.Dir() / "gone/"); },
         {0, false, "the source folder " + (env.Dir() / "gone") + " is not reachable"},
         {},
         true},
        {"AnotherProgram",
         [&] { Record(1, "/bin/sh"); },
         {1, false,
          std::string("the record's command runs /bin/sh, not this program (") + REDODORI_BIN +
              "); it is not run"},
         {},
         true},
        {"StartFails",
         [&] { launchWorks = false; },
         {1, false, "the program could not be started: boom"},
         {arguments},
         true},
        {"StillRunning",
         [&] { ASSERT_EQ(job.Take(1, error), ResumeSlot::Lock::Taken) << error; },
         {1, false, "stored job 1 is still running", true},
         {},
         true},
        {"RunningUnknown",
         [&] {
             ASSERT_EQ(paths::MakePath(paths::RuntimeDir()), 0);
             ASSERT_EQ(::chmod(paths::RuntimeDir().c_str(), 0770), 0);
         },
         {1, false,
          "cannot tell whether stored job 1 still runs: the runtime folder " + paths::RuntimeDir() +
              " is open to other users (mode 0770); refusing to use it"},
         {},
         true},
    };
    for (const Case& c : cases) {
        store.DeleteKey(StoreRoot::CurrentUser, kResumeKey);
        launched.clear();
        launchWorks = true;
        job.Release();
        paths::MakePath(paths::RuntimeDir());
        ::chmod(paths::RuntimeDir().c_str(), 0700);
        Record(1);
        c.prepare();
        const AttemptResult result = AttemptResume(store, 1, REDODORI_BIN, launch);
        EXPECT_EQ(result.exitCode, c.expected.exitCode) << c.name;
        EXPECT_EQ(result.started, c.expected.started) << c.name;
        EXPECT_EQ(result.problem, c.expected.problem) << c.name;
        EXPECT_EQ(result.running, c.expected.running) << c.name;
        // While the attempt takes the record no new job may claim its slot; afterwards it is
        // free again.
        EXPECT_EQ(ResumeJobRunning(1), c.expected.running) << c.name;
        std::vector<std::string> arguments;
        for (const Launch& l : launched) {
            EXPECT_EQ(l.program, REDODORI_BIN) << c.name;
            arguments.push_back(l.argument);
        }
        EXPECT_EQ(arguments, c.launches) << c.name;
        if (!launched.empty()) {
            EXPECT_TRUE(slotHeldAtLaunch) << c.name;
        }
        EXPECT_EQ(RecordKept(1), c.kept) << c.name;
        // The started job reads the list: it stays in every case.
        EXPECT_TRUE(sfs::exists(ListPath(1))) << c.name;
    }
    // A record taken meanwhile (by another manager) is not run twice.
    ASSERT_EQ(::chmod(paths::RuntimeDir().c_str(), 0700), 0);
    store.DeleteKey(StoreRoot::CurrentUser, kResumeKey);
    launched.clear();
    Put("f_1", env.Dir() / "src/");
    const AttemptResult gone = AttemptResume(store, 1, REDODORI_BIN, launch);
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_EQ(gone.problem, "");
    EXPECT_TRUE(launched.empty());
}

// The pop-up's ticks with attempts that answer as told, one at a time.
class ResumeItemTicks : public ::testing::Test {
protected:
    ResumeItem::Attempt Answers() {
        return [this] {
            std::unique_lock lock(mutex_);
            released_.wait(lock, [this] { return open_; });
            AttemptResult result = answers_.front();
            answers_.erase(answers_.begin());
            return result;
        };
    }
    void Answer(std::vector<AttemptResult> answers, bool open = true) {
        std::lock_guard lock(mutex_);
        answers_ = std::move(answers);
        open_ = open;
        released_.notify_all();
    }
    static void Settle(const ResumeItem& item) {
        while (item.AttemptRunning())
            std::this_thread::yield();
    }

    std::mutex mutex_;
    std::condition_variable released_;
    std::vector<AttemptResult> answers_;
    bool open_ = true;
};

TEST_F(ResumeItemTicks, WaitsTriesAgainAndGoesOnceStarted) {
    Answer({{0, false, "not reachable"}, {0, false, "not reachable"}, {1, true, ""}});
    ResumeItem item(Answers(), 1000);
    std::vector<std::string> shown;
    for (const uint64_t now : {1000, 3600, 4100, 4600}) {
        const ResumeItem::View view = item.Tick(now);
        shown.push_back(view.status + (view.cancelEnabled ? "" : " [no cancel]") +
                        (view.destroy ? " [gone]" : ""));
        Settle(item);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Waiting accessibility (0)...", "Waiting accessibility (2)...",
                         "Waiting accessibility (3)...", " [no cancel] [gone]"}));
    EXPECT_EQ(item.Attempts(), 3);
    EXPECT_TRUE(item.Started());
}

TEST_F(ResumeItemTicks, CancelWaitsForTheRunningAttempt) {
    Answer({{0, false, "not reachable"}}, false);
    ResumeItem item(Answers(), 0);
    item.Tick(0);
    ResumeItem::View view = item.Cancel(500);
    EXPECT_EQ(view.status, "Canceling...");
    EXPECT_FALSE(view.cancelEnabled);
    EXPECT_FALSE(view.destroy);
    EXPECT_EQ(item.Tick(1000).status, "Canceling...");
    Answer({{0, false, "not reachable"}});
    Settle(item);
    view = item.Tick(1500);
    EXPECT_TRUE(view.destroy);
    EXPECT_EQ(item.Attempts(), 1);
    EXPECT_FALSE(item.Started());
}

TEST(MarkerSwitches, EditedForARestartOfOneFile) {
    struct Case {
        const char* stored;
        const char* edited;
    } cases[] = {
        {"uwfq1", "uwq1e"},
        {"", "eu"},
        {"eu", "eu"},
        // The target field is a folder, whatever the job's lists were.
        {"fLt123ff", "eu"},
        {"Lk2Lt7v", "Lk2veu"},
        {"Lt", "eu"},
        // A marker never brings a delete, a shut-down or links.
        {"Mn", "neu"},
        {"dDjJv", "Dveu"},
        {"q1M", "q1eu"},
        // A move stays for the restart to settle.
        {"mwn", "mwneu"},
        // Letters inside a numeric switch are not switches.
        {"Le5Lu3", "Le5Lu3eu"},
        {"uwsmq2Lb0", "uwsmq2Lb0e"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EditMarkerSwitches(c.stored), c.edited) << c.stored;
}

TEST(MarkerSwitches, AMoveCanBeMadeACopy) {
    struct Case {
        const char* switches;
        bool moves;
        const char* copy;
    } cases[] = {{"mwneu", true, "wneu"},
                 {"uwsmq2e", true, "uwsq2e"},
                 {"Lm3eu", false, "Lm3eu"},
                 {"eu", false, "eu"}};
    for (const Case& c : cases) {
        MarkerJob job{"/s/f", "/d/", c.switches};
        EXPECT_EQ(MarkerMoves(job), c.moves) << c.switches;
        CopyOnly(job);
        EXPECT_EQ(job.switches, c.copy) << c.switches;
        EXPECT_FALSE(MarkerMoves(job)) << c.switches;
    }
}

TEST(MarkerTrust, OnlyTheUsersOwnMarkerBesideItsDestinationIsAccepted) {
    constexpr uid_t kUser = 1000, kOther = 1001;
    constexpr mode_t kDir = S_IFDIR;
    // Everything as it should be: the user's marker in the user's private folder, named after
    // its source, beside the user's destination.
    const MarkerFacts good{kUser, false, true, true, kUser, kDir | 0700, kUser, true, true, kUser};
    using V = MarkerVerdict;
    struct Case {
        const char* name;
        std::function<void(MarkerFacts&)> change;
        MarkerVerdict verdict;
    } cases[] = {
        {"PrivateFolder", [](MarkerFacts&) {}, V::Accepted},
        {"FolderOfRoot", [](MarkerFacts& f) { f.folderMode = kDir | 0755, f.folderOwner = 0; },
         V::Accepted},
        {"OwnFolderOthersMayRead", [](MarkerFacts& f) { f.folderMode = kDir | 0755; }, V::Accepted},
        {"StickyFolderOfRoot",
         [](MarkerFacts& f) { f.folderMode = kDir | 01777, f.folderOwner = 0; }, V::Accepted},
        {"StickyOwnFolder", [](MarkerFacts& f) { f.folderMode = kDir | 01777; }, V::Accepted},
        {"RootsOwnMarker",
         [](MarkerFacts& f) {
             f.user = f.owner = f.folderOwner = f.destinationOwner = 0;
             f.folderMode = kDir | 01777;
         },
         V::Accepted},
        // Only a shared folder asks whose the destination is.
        {"OthersDestinationInPrivateFolder", [](MarkerFacts& f) { f.destinationOwner = kOther; },
         V::Accepted},
        {"Link", [](MarkerFacts& f) { f.link = true, f.regular = false; }, V::Link},
        {"LinkOfAnother", [](MarkerFacts& f) { f.link = true, f.owner = kOther; }, V::Link},
        {"Folder", [](MarkerFacts& f) { f.regular = false; }, V::NotRegular},
        {"Replaced", [](MarkerFacts& f) { f.openedIsLookedAt = false; }, V::Replaced},
        {"OthersMarker", [](MarkerFacts& f) { f.owner = kOther; }, V::OtherOwner},
        {"RootsMarker", [](MarkerFacts& f) { f.owner = 0; }, V::OtherOwner},
        {"OthersMarkerForRoot",
         [](MarkerFacts& f) { f.user = f.folderOwner = f.destinationOwner = 0; }, V::OtherOwner},
        {"OthersMarkerInSharedFolder",
         [](MarkerFacts& f) {
             f.owner = kOther;
             f.folderMode = kDir | 01777, f.folderOwner = 0;
         },
         V::OtherOwner},
        {"FolderOfAnother",
         [](MarkerFacts& f) { f.folderMode = kDir | 0755, f.folderOwner = kOther; },
         V::OthersFolder},
        {"StickyFolderOfAnother",
         [](MarkerFacts& f) { f.folderMode = kDir | 01777, f.folderOwner = kOther; },
         V::OthersFolder},
        {"GroupMayWrite", [](MarkerFacts& f) { f.folderMode = kDir | 0770; }, V::OpenFolder},
        {"OthersMayWrite", [](MarkerFacts& f) { f.folderMode = kDir | 0703; }, V::OpenFolder},
        {"RootsOpenFolder", [](MarkerFacts& f) { f.folderMode = kDir | 0777, f.folderOwner = 0; },
         V::OpenFolder},
        {"StickyGroupFolder", [](MarkerFacts& f) { f.folderMode = kDir | 01770; }, V::Accepted},
        {"OthersDestinationInSharedFolder",
         [](MarkerFacts& f) {
             f.folderMode = kDir | 01777, f.folderOwner = 0;
             f.destinationOwner = kOther;
         },
         V::SharedDestination},
        {"RootsDestinationInSharedFolder",
         [](MarkerFacts& f) {
             f.folderMode = kDir | 01777, f.folderOwner = 0;
             f.destinationOwner = 0;
         },
         V::SharedDestination},
        {"NoDestinationInSharedFolder",
         [](MarkerFacts& f) {
             f.folderMode = kDir | 01777, f.folderOwner = 0;
             f.destinationRegular = false;
         },
         V::NoDestination},
        {"NamedAfterAnotherFile", [](MarkerFacts& f) { f.namedAfterSource = false; }, V::NotBeside},
        {"NoDestination", [](MarkerFacts& f) { f.destinationRegular = false; }, V::NoDestination},
    };
    for (const Case& c : cases) {
        MarkerFacts facts = good;
        c.change(facts);
        EXPECT_EQ(JudgeMarker(facts), c.verdict) << c.name;
    }
}

TEST(MarkerFile, ReadWhenItStandsBesideACopyOfItsSource) {
    test::TempDir dir;
    const std::string marker = dir / "big.RedoDori";
    for (const char* copy : {"big", "b*", "b?g", "b\r\ng"})
        test::WriteFile(dir / copy, "partial");
    struct Case {
        const char* name;
        std::string bytes;
        std::string path;   // where the marker lies; the default when empty
        std::string error;  // after "the resume marker <path> "; empty: read
    } cases[] = {
        {"Good", ResumeMarkerBytes(4096, "/data/big", "uwfq1"), "", ""},
        {"NoSwitches", ResumeMarkerBytes(1, "/data/big", "").substr(0, 8 + 20), "", ""},
        // What a newer program writes after the switches is not read as part of them.
        {"RecordAfterTheSwitches",
         ResumeMarkerBytes(4096, "/data/big", "uwfq1") + std::string("\x07\0\x10\0z\0\0\0", 8), "",
         ""},
        {"EightBytes", std::string(8, '\1'), "", "holds 8 bytes or less: no file to restart"},
        {"Empty", "", "", "holds 8 bytes or less: no file to restart"},
        {"Relative", ResumeMarkerBytes(1, "data/big", "u"), "",
         "names a source that cannot be restarted: \"data/big\""},
        // Any name the marker holds can be restarted: it goes to the job in a literal list.
        {"Bar", ResumeMarkerBytes(1, "/da|ta/big", "uwfq1"), "", ""},
        {"Star", ResumeMarkerBytes(1, "/data/b*", "uwfq1"), dir / "b*.RedoDori", ""},
        {"QuestionMark", ResumeMarkerBytes(1, "/data/b?g", "uwfq1"), dir / "b?g.RedoDori", ""},
        {"LineBreak", ResumeMarkerBytes(1, "/data/b\r\ng", "uwfq1"), dir / "b\r\ng.RedoDori", ""},
        {"OtherName", ResumeMarkerBytes(1, "/data/other", "u"), "",
         "does not stand beside a copy of its source /data/other"},
        {"NoDestination", ResumeMarkerBytes(1, "/data/small", "u"), dir / "small.RedoDori",
         "stands beside no copy of its source: " + (dir / "small") +
             " is missing or not a regular file"},
    };
    for (const Case& c : cases) {
        const std::string path = c.path.empty() ? marker : c.path;
        test::WriteFile(path, c.bytes);
        MarkerJob job;
        std::string error;
        const bool read = ReadResumeMarker(path, job, error);
        EXPECT_EQ(read, c.error.empty()) << c.name;
        if (read) {
            EXPECT_EQ(job.source.substr(job.source.rfind('/') + 1) + ".RedoDori",
                      path.substr(path.rfind('/') + 1))
                << c.name;
            EXPECT_EQ(job.folder, dir.Path() + "/") << c.name;
            EXPECT_EQ(job.switches, c.bytes.size() > 28 ? "uwq1e" : "eu") << c.name;
        } else {
            EXPECT_EQ(error, "the resume marker " + path + " " + c.error) << c.name;
        }
    }
    std::string error;
    MarkerJob job;
    EXPECT_FALSE(ReadResumeMarker(dir.Path(), job, error));
    EXPECT_EQ(error, "the resume marker " + dir.Path() + " is not a regular file");
    EXPECT_FALSE(ReadResumeMarker(dir / "none", job, error));
    EXPECT_EQ(error,
              "cannot open the resume marker " + (dir / "none") + ": No such file or directory");
}

TEST(MarkerFile, WhereItLiesAndWhoseItIs) {
    test::TempDir dir;
    const std::string bytes = ResumeMarkerBytes(4096, "/data/big", "uw");
    // A folder with a marker and its destination, with `mode`.
    const auto folder = [&](const std::string& name, mode_t mode) {
        const std::string path = dir / name;
        sfs::create_directory(path);
        test::WriteFile(path + "/big", "partial");
        test::WriteFile(path + "/big.RedoDori", bytes);
        EXPECT_EQ(::chmod(path.c_str(), mode), 0);
        return path;
    };
    const auto read = [](const std::string& path, std::string& error) {
        MarkerJob job;
        return ReadResumeMarker(path, job, error) ? job.folder : std::string();
    };
    std::string error;

    sfs::create_symlink(dir / "big.RedoDori", dir / "link.RedoDori");
    test::WriteFile(dir / "big.RedoDori", bytes);
    test::WriteFile(dir / "big", "partial");
    EXPECT_EQ(read(dir / "link.RedoDori", error), "");
    EXPECT_EQ(error, "the resume marker " + (dir / "link.RedoDori") + " is a symbolic link");

    const std::string open = folder("open", 0777);
    EXPECT_EQ(read(open + "/big.RedoDori", error), "");
    EXPECT_EQ(error, "the resume marker " + open +
                         "/big.RedoDori lies in a folder that others can write to");

    // A shared folder with the sticky bit, as /tmp: the user's own marker and destination.
    const std::string shared = folder("shared", 01777);
    EXPECT_EQ(read(shared + "/big.RedoDori", error), shared + "/") << error;
    // Reached through a link, the job writes where the checks looked.
    sfs::create_symlink(shared, dir / "via");
    EXPECT_EQ(read(dir / "via/big.RedoDori", error), shared + "/") << error;

    if (::geteuid() != 0)
        return;
    // Only root can give files away.
    ASSERT_EQ(::chown((shared + "/big").c_str(), 12345, 12345), 0);
    EXPECT_EQ(read(shared + "/big.RedoDori", error), "");
    EXPECT_EQ(error, "the resume marker " + shared +
                         "/big.RedoDori lies in a shared folder beside " + shared +
                         "/big, which belongs to another user");
    ASSERT_EQ(::chown((shared + "/big").c_str(), 0, 0), 0);
    ASSERT_EQ(::chown((shared + "/big.RedoDori").c_str(), 12345, 12345), 0);
    EXPECT_EQ(read(shared + "/big.RedoDori", error), "");
    EXPECT_EQ(error, "the resume marker " + shared + "/big.RedoDori belongs to another user");
    const std::string others = folder("others", 0755);
    ASSERT_EQ(::chown(others.c_str(), 12345, 12345), 0);
    EXPECT_EQ(read(others + "/big.RedoDori", error), "");
    EXPECT_EQ(error,
              "the resume marker " + others + "/big.RedoDori lies in a folder of another user");
}

// The restart names the file and its folder in literal lists of the private state folder, so
// that no name is taken for a pattern or split; the switches fit the lists.
TEST(MarkerFile, TheRestartLineCarriesAnyName) {
    test::PrivateEnvironment env;
    if (env.StateDir().find("q1") != std::string::npos)
        GTEST_SKIP() << "the test folder's name holds q1";
    const struct {
        const char* source;
        const char* folder;
        const char* switches;
        const char* lineSwitches;
        bool folderListed;
    } cases[] = {
        {"/data/a*", "/dst/plain/", "uwe", "uw", false},
        {"/data/x?y\n", "/dst/a?b/", "uwe", "uwf", true},
        {"/data/a|b", "/dst/a|b/", "Le5xuwfe", "Le5uwf", true},
        {"/data/a", "/dst/", "Lk2e", "Lk2", false},
    };
    for (const auto& c : cases) {
        const MarkerJob job{c.source, c.folder, c.switches};
        std::string line, error;
        std::vector<std::string> lists;
        ASSERT_TRUE(MarkerJobLine(job, line, lists, error)) << error;
        ASSERT_EQ(lists.size(), c.folderListed ? 2u : 1u) << c.source;
        EXPECT_EQ(line, "|" + lists[0] + "|" +
                            (c.folderListed ? lists[1] : std::string(c.folder) + "?") + "|" +
                            c.lineSwitches);
        EXPECT_EQ(test::ReadFile(lists[0]), text::LiteralListBytes({c.source}));
        if (c.folderListed) {
            EXPECT_EQ(test::ReadFile(lists[1]), text::LiteralListBytes({c.folder}));
        }
        for (const std::string& list : lists) {
            EXPECT_EQ(list.substr(0, env.StateDir().size() + 1), env.StateDir() + "/");
            struct stat st {};
            ASSERT_EQ(::lstat(list.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode, S_IFREG | 0600);
            EXPECT_TRUE(RemoveResumeList(list));
        }
    }
}

TEST(AutostartEntry, QuotesTheProgramForTheExecLine) {
    struct Case {
        const char* program;
        const char* exec;  // empty: no entry can carry it
    } cases[] = {
        {"/usr/bin/redodori", "Exec=\"/usr/bin/redodori\" /vnresume /startup\n"},
        {"/opt/my apps/redodori", "Exec=\"/opt/my apps/redodori\" /vnresume /startup\n"},
        {"/o/\"q\"$x`%/r", "Exec=\"/o/\\\\\"q\\\\\"\\\\$x\\\\`%%/r\" /vnresume /startup\n"},
        {"/o/back\\slash", "Exec=\"/o/back\\\\\\\\slash\" /vnresume /startup\n"},
        {"/o/new\nline", ""},
    };
    for (const Case& c : cases) {
        const std::string text = AutostartEntryText(c.program);
        if (!*c.exec) {
            EXPECT_EQ(text, "") << c.program;
            continue;
        }
        EXPECT_TRUE(text.starts_with("[Desktop Entry]\nType=Application\n")) << text;
        EXPECT_NE(text.find(c.exec), std::string::npos) << text;
    }
}

TEST(AutostartEntry, ThereWhileResumeOnCrashIsOnInAProfile) {
    test::PrivateEnvironment env;
    Store store{env.ConfigDir() + "/registry.db"};
    const std::string entry = env.XdgConfigDir() + "/autostart/redodori-resume.desktop";
    EXPECT_EQ(AutostartEntryPath(), entry);
    std::string error;
    struct Step {
        int local, network;
        bool there;
    } steps[] = {{0, 0, false}, {1, 0, true}, {1, 0, true}, {0, 1, true}, {0, 0, false}};
    for (const Step& s : steps) {
        store.WriteInt(StoreRoot::CurrentUser, ProfileKey("local"), "resume", s.local);
        store.WriteInt(StoreRoot::CurrentUser, ProfileKey("network"), "resume", s.network);
        ASSERT_TRUE(UpdateResumeAutostart(store, "/usr/bin/redodori", error)) << error;
        EXPECT_EQ(sfs::exists(entry), s.there) << s.local << s.network;
        if (s.there) {
            EXPECT_EQ(test::ReadFile(entry), AutostartEntryText("/usr/bin/redodori"));
        }
    }
    // A choice in the settings dialog: on for the job alone still starts at login; off leaves
    // the entry to the stored profiles.
    const struct {
        bool on;
        int stored;
        bool there;
    } choices[] = {{true, 0, true}, {false, 1, true}, {false, 0, false}};
    for (const auto& c : choices) {
        store.WriteInt(StoreRoot::CurrentUser, ProfileKey("local"), "resume", c.stored);
        ASSERT_TRUE(AutostartAfterChoice(c.on, store, "/usr/bin/redodori", error)) << error;
        EXPECT_EQ(sfs::exists(entry), c.there) << c.on << c.stored;
    }
    // A link standing at the entry's name is replaced, never written through.
    test::WriteFile(env.Dir() / "victim", "precious");
    sfs::create_symlink(env.Dir() / "victim", entry);
    ASSERT_TRUE(SetResumeAutostart(true, "/usr/bin/redodori", error)) << error;
    EXPECT_EQ(test::ReadFile(env.Dir() / "victim"), "precious");
    EXPECT_FALSE(sfs::is_symlink(entry));
    EXPECT_FALSE(SetResumeAutostart(true, "/bad\npath", error));
    EXPECT_EQ(error, "the program's path /bad\npath cannot stand in an autostart entry");
}

}  // namespace
}  // namespace rd
