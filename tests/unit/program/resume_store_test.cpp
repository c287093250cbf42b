#include "resume/resume_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/settings_policy.h"
#include "platform/fault_injection.h"
#include "platform/literal_list.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "platform/text.h"
#include "resume/switch_tokens.h"
#include "settings/job_settings.h"
#include "settings/store_keys.h"
#include "test_support.h"

namespace rd {
namespace {

TEST(ResumeStore, Switches) {
    ResumeJob job;
    EXPECT_EQ(ResumeSwitches(job), "uwq2");
    job.onerror = 2;
    job.modeWord = mode::kMove | 0x4;
    EXPECT_EQ(ResumeSwitches(job), "uwsmq2");
    job.profile = "network";
    job.onerror = 1;
    job.modeWord = mode::kDelete;
    EXPECT_EQ(ResumeSwitches(job), "uwrMq1");
}

TEST(ResumeStore, SwitchTokensAreWholeSwitches) {
    struct Case {
        const char* switches;
        std::vector<std::string_view> tokens;
    } cases[] = {
        {"", {}},
        {"ev", {"e", "v"}},
        {"Lk12Lb3Lt99", {"Lk12", "Lb3", "Lt99"}},
        // "L" takes its type letter even without digits; alone at the end it is itself.
        {"LvuL", {"Lv", "u", "L"}},
        {"t1T2tTw", {"t1", "T2", "t", "T", "w"}},
        {"t3", {"t", "3"}},
        {"q1q3v", {"q1", "q", "3", "v"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SwitchTokens(c.switches), c.tokens) << c.switches;
}

TEST(ResumeStore, SwitchesKeepWhatTheJobWasStartedWith) {
    struct Case {
        const char* line;  // the switch field of the job's line
        int32_t onerror;
        int32_t modeWord;
        const char* stored;
    } cases[] = {
        // The form of the lists, a wrapper's thread, the profile: the record gives its own.
        {"", 0, 0, "uwq2"},
        {"e", 0, 0, "uwq2"},
        {"efxLt4711q1", 0, 0, "uwq2"},
        {"ems", 2, mode::kMove, "uwsmq2"},
        // What the copy does is kept, in the job's order, digits with their switch.
        {"ev", 0, 0, "uwvq2"},
        {"eVzZt1T2tTchH", 0, 0, "uwVzZt1T2tTchHq2"},
        {"emsLb0Lc0", 2, mode::kMove, "uwsmLb0Lc0q2"},
        {"Lk2Lp9Lc12Lb3", 0, 0, "uwLk2Lp9Lc12Lb3q2"},
        // A preset answer to the names question and the checksum manifest.
        {"eLn1Lh2Lt7", 0, 0, "uwLn1Lh2q2"},
        {"LhLnLh0", 0, 0, "uwLh0q2"},
        // A numeric switch without digits or of no known type sets nothing.
        {"LbLx5L", 0, 0, "uwq2"},
        // The error policy and the kind of job are stated by the record from the running job.
        {"rM", 2, mode::kDelete, "uwsMq2"},
        {"Dd", 0, 0, "uwDq2"},
        {"GgJpn", 0, 0, "uwGJq2"},
        // The job's own existing-file policy, with resume in front of it: the last of u, w,
        // k, o counts, with an "i" after it.
        {"k", 0, 0, "uwkq2"},
        {"o", 0, 0, "uwoq2"},
        {"u", 0, 0, "uwuq2"},
        {"w", 0, 0, "uwq2"},
        {"kw", 0, 0, "uwq2"},
        {"wk", 0, 0, "uwkq2"},
        {"ki", 0, 0, "uwkiq2"},
        {"ik", 0, 0, "uwkq2"},
        {"i", 0, 0, "uwiq2"},
        {"iI", 0, 0, "uwq2"},
        {"wi", 0, 0, "uwiq2"},
        // A resumed job's own record is the same again.
        {"uwkisvmq2n", 2, mode::kMove, "uwkismvq2"},
        {"uwkismvq2", 2, mode::kMove, "uwkismvq2"},
    };
    for (const Case& c : cases) {
        ResumeJob job;
        job.switches = c.line;
        job.onerror = c.onerror;
        job.modeWord = c.modeWord;
        EXPECT_EQ(ResumeSwitches(job), c.stored) << c.line;
    }
    ResumeJob network;
    network.profile = "network";
    network.switches = "evq1";
    EXPECT_EQ(ResumeSwitches(network), "uwvq1");
}

TEST(ResumeStore, StoredSwitchesSetWhatTheJobHad) {
    // What a resumed job reads from its record is what the job itself had, with resume of
    // existing files on.
    for (const char* line :
         {"ev", "eVzt2chLk3Lb2k", "emsLb0Lc0", "eoi", "etT1", "eDG", "eLn2Lh1", "eLh2Ln1h"}) {
        ResumeJob job;
        job.switches = line;
        JobPolicy originalPolicy, resumedPolicy;
        JobFlags originalFlags, resumedFlags;
        ApplySwitches(line, originalPolicy, originalFlags);
        JobSettings original, resumed;
        RecordPolicy(originalPolicy, original);
        job.onerror = original.onerror;
        job.modeWord = original.delmode;
        ApplySwitches(ResumeSwitches(job), resumedPolicy, resumedFlags);
        RecordPolicy(resumedPolicy, resumed);
        EXPECT_EQ(resumed.encrc, original.encrc) << line;
        EXPECT_EQ(resumed.resfsz, original.resfsz) << line;
        EXPECT_EQ(resumed.readburst, original.readburst) << line;
        EXPECT_EQ(resumed.writeburst, original.writeburst) << line;
        EXPECT_EQ(resumed.enskdel, original.enskdel) << line;
        EXPECT_EQ(resumed.splim, original.splim) << line;
        EXPECT_EQ(resumed.limtip, original.limtip) << line;
        EXPECT_EQ(resumed.bufsz, original.bufsz) << line;
        EXPECT_EQ(resumed.shutd, original.shutd) << line;
        EXPECT_EQ(resumed.onerror, original.onerror) << line;
        EXPECT_EQ(resumed.delmode, original.delmode) << line;
        EXPECT_EQ(resumed.names, original.names) << line;
        EXPECT_EQ(resumed.manifest, original.manifest) << line;
        EXPECT_EQ(resumedFlags.KeepFileTimes, originalFlags.KeepFileTimes) << line;
        EXPECT_EQ(resumedFlags.WaitForOtherJobs, originalFlags.WaitForOtherJobs) << line;
        // Resume first; then what the job did with a file it could not resume.
        EXPECT_TRUE(resumed.onexist & onexist::kTryResume) << line;
        const int32_t policy = original.onexist & ~onexist::kTryResume;
        EXPECT_EQ(resumed.onexist & ~onexist::kTryResume, policy ? policy : onexist::kOverwrite)
            << line;
        // The record's own list, read and removed by the resumed job.
        EXPECT_TRUE(resumedFlags.SourceIsListFile) << line;
        EXPECT_TRUE(resumedFlags.DeleteListFiles) << line;
    }
}

TEST(ResumeStore, ListBytes) {
    // A literal list: every name comes back byte for byte and is never a pattern.
    EXPECT_EQ(ResumeListBytes({"/a", "/\xC3\xA9"}),
              std::string(text::kLiteralListHeader) + std::string("/a\0/\xC3\xA9\0", 7));
    for (const auto& sources :
         {std::vector<std::string>{"/x y", "/\xE2\x82\xAC"}, std::vector<std::string>{"/\xFE\xFF"},
          std::vector<std::string>{"/w/a*", "/w/x?y", "/w/cr\rlf\n", "/w/a|b"}})
        EXPECT_EQ(text::SplitListFile(ResumeListBytes(sources)), sources);
}

class ResumeRecord : public ::testing::Test {
protected:
    void SetUp() override {
        job.slot = 17;
        job.programPath = "/usr/bin/redodori";
        job.sources = {"/data/docs", "/data/a.txt"};
        job.targets = {"/backup/", "/usb/"};
        job.onerror = 2;
        job.modeWord = mode::kMove;
    }
    std::string List() const { return env.StateDir() + "/vnfrm17.lst"; }
    bool HasValue(const std::string& name) {
        return store.ValueExists(StoreRoot::CurrentUser, kResumeKey, name);
    }
    mode_t Mode(const std::string& path) const {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
    }
    // The names in the state folder, so that a temporary file left behind shows.
    std::vector<std::string> StateFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(env.StateDir()))
            names.push_back(entry.path().filename().string());
        return names;
    }

    test::PrivateEnvironment env;
    Store store{env.ConfigDir() + "/registry.db"};
    ResumeJob job;
    std::string error;
};

TEST_F(ResumeRecord, WriteKeepAndDelete) {
    ASSERT_TRUE(WriteResumeRecord(store, job, 1, error)) << error;
    EXPECT_EQ(ResumeListPath(17), List());
    EXPECT_EQ(store.ReadText(StoreRoot::CurrentUser, kResumeKey, "17"),
              "/usr/bin/redodori |" + List() + "|/backup/?/usb/?|uwsmq2");
    EXPECT_EQ(store.ReadText(StoreRoot::CurrentUser, kResumeKey, "f_17"), "/data/");
    auto stamp = store.ReadText(StoreRoot::CurrentUser, kResumeKey, "t_17");
    ASSERT_TRUE(stamp);
    EXPECT_EQ(stamp->size(), 16u);  // "2026-03-07 09:05"
    EXPECT_FALSE(HasValue("d_17"));
    EXPECT_EQ(text::SplitListFile(test::ReadFile(List())), job.sources);
    // The program made its folder private, and the list is the user's alone.
    EXPECT_EQ(Mode(env.StateDir()), S_IFDIR | 0700);
    EXPECT_EQ(Mode(List()), S_IFREG | 0600);
    EXPECT_EQ(StateFiles(), std::vector<std::string>{"vnfrm17.lst"});

    job.sources.push_back("/data/later");
    ASSERT_TRUE(WriteResumeRecord(store, job, 2, error)) << error;
    EXPECT_EQ(store.ReadText(StoreRoot::CurrentUser, kResumeKey, "d_17"), "x");
    EXPECT_EQ(text::SplitListFile(test::ReadFile(List())), job.sources);

    ASSERT_TRUE(WriteResumeRecord(store, job, 0, error));
    for (const char* name : {"17", "f_17", "t_17", "d_17"})
        EXPECT_FALSE(HasValue(name)) << name;
    EXPECT_EQ(StateFiles(), std::vector<std::string>{});

    // A job without a slot keeps no record.
    job.slot = -1;
    ASSERT_TRUE(WriteResumeRecord(store, job, 1, error));
    EXPECT_TRUE(store.Values(StoreRoot::CurrentUser, kResumeKey).empty());
}

// Destinations that the command cannot carry go into a literal target list beside the sources,
// named with switch f; the list goes with the record.
TEST_F(ResumeRecord, DestinationsTheCommandCannotCarryGoInATargetList) {
    const std::string targets = env.StateDir() + "/vnto17.lst";
    const struct {
        std::vector<std::string> folders;
        const char* profile;
        bool listed;
    } cases[] = {
        {{"/backup/x?y", "/usb"}, "local", true},
        {{"/backup/a|b"}, "local", true},
        {{"/backup/line\nbreak"}, "local", false},
        {{"/equipment"}, "local", false},
    };
    // A "q1" in the test's own folder would be read as the profile.
    if (env.StateDir().find("q1") != std::string::npos)
        GTEST_SKIP() << "the test folder's name holds q1";
    for (const auto& c : cases) {
        job.targets = c.folders;
        job.profile = c.profile;
        ASSERT_TRUE(WriteResumeRecord(store, job, 1, error)) << error;
        const std::string command = *store.ReadText(StoreRoot::CurrentUser, kResumeKey, "17");
        const std::string switches = ResumeSwitches(job);
        if (c.listed) {
            EXPECT_EQ(command,
                      "/usr/bin/redodori |" + List() + "|" + targets + "|" + switches + "f");
            EXPECT_EQ(test::ReadFile(targets), text::LiteralListBytes(c.folders));
            EXPECT_EQ(Mode(targets), S_IFREG | 0600);
        } else {
            EXPECT_EQ(command,
                      "/usr/bin/redodori |" + List() + "|" + c.folders[0] + "?|" + switches);
        }
        ASSERT_TRUE(WriteResumeRecord(store, job, 0, error));
        EXPECT_EQ(StateFiles(), std::vector<std::string>{}) << c.folders[0];
    }
}

// A destination with "q" of a network job needs the target list, and a "q" in the state
// folder's name would then turn the resumed job to the local profile: no record is kept.
TEST_F(ResumeRecord, AListPathThatWouldChangeTheProfileIsRefused) {
    const std::string quiet = env.Dir() / "quiet-state";
    setenv("REDODORI_STATE_DIR", quiet.c_str(), 1);
    job.targets = {"/equipment"};
    job.profile = "network";
    EXPECT_FALSE(WriteResumeRecord(store, job, 1, error));
    EXPECT_EQ(error,
              "the job cannot be kept for resume: the destinations cannot stand in the "
              "record, and the name of the state folder " +
                  quiet + " cannot either (a '|', or a 'q' read as the profile)");
    EXPECT_FALSE(HasValue("17"));
    EXPECT_FALSE(std::filesystem::exists(quiet + "/vnfrm17.lst"));
    job.profile = "local";
    EXPECT_TRUE(WriteResumeRecord(store, job, 1, error)) << error;
}

TEST_F(ResumeRecord, ALinkPlantedAtTheListsNameIsReplacedNotFollowed) {
    test::TempDir elsewhere;
    const std::string victim = elsewhere / "victim";
    test::WriteFile(victim, "precious");
    ASSERT_EQ(paths::MakePath(env.StateDir()), 0);
    std::filesystem::create_symlink(victim, List());

    ASSERT_TRUE(WriteResumeRecord(store, job, 1, error)) << error;
    EXPECT_EQ(test::ReadFile(victim), "precious");
    EXPECT_EQ(Mode(List()), S_IFREG | 0600);
    EXPECT_EQ(text::SplitListFile(test::ReadFile(List())), job.sources);
}

// Ways the list cannot be written; `spoil` runs after a good first write.
struct Spoiler {
    const char* name;
    std::function<void(const std::string& stateDir)> spoil;
    const char* error;  // after "the job cannot be kept for resume: "; "@" is the state folder
    bool folderUsable = false;  // the old list is then removed too
    bool needsRoot = false;
};

// Names the case in test listings.
void PrintTo(const Spoiler& s, std::ostream* out) {
    *out << s.name;
}

const Spoiler kSpoilers[] = {
    {"FolderOpenToOthers",
     [](const std::string& dir) {
         std::filesystem::permissions(
             dir,
             std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                 std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
             std::filesystem::perm_options::add);
     },
     "the state folder @ is open to other users (mode 0755); refusing to use it"},
    {"FolderOfAnotherUser",
     [](const std::string& dir) {
         if (::chown(dir.c_str(), 12345, 12345) != 0)
             throw std::runtime_error("chown " + dir);
     },
     "the state folder @ belongs to another user; refusing to use it", false, true},
    {"FolderIsALink",
     [](const std::string& dir) {
         std::filesystem::rename(dir, dir + ".real");
         std::filesystem::create_directory_symlink(dir + ".real", dir);
     },
     "the state folder @ is a symbolic link; refusing to use it"},
    {"WriteFails",
     [](const std::string&) {
         fault::SetHook([](fault::Op, int, uint64_t, uint8_t*, uint32_t) { return ENOSPC; });
     },
     "cannot write @/vnfrm17.lst: No space left on device", true},
};

class ResumeRecordFailure : public ResumeRecord, public ::testing::WithParamInterface<Spoiler> {
protected:
    void TearDown() override { fault::SetHook(nullptr); }
};

TEST_P(ResumeRecordFailure, LeavesNoRecordAndSaysWhy) {
    const Spoiler& s = GetParam();
    if (s.needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "only root can give the folder to another user (chown)";
    ASSERT_TRUE(WriteResumeRecord(store, job, 1, error)) << error;
    s.spoil(env.StateDir());

    job.sources.push_back("/data/later");
    EXPECT_FALSE(WriteResumeRecord(store, job, 1, error));
    std::string expected = std::string("the job cannot be kept for resume: ") + s.error;
    expected.replace(expected.find('@'), 1, env.StateDir());
    EXPECT_EQ(error, expected);
    // No record is left to resume the job from an old list or none.
    for (const char* name : {"17", "f_17", "t_17", "d_17"})
        EXPECT_FALSE(HasValue(name)) << name;
    // Nor a list, old or half-written, in a folder that is still the user's own.
    if (s.folderUsable) {
        EXPECT_EQ(StateFiles(), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Spoiled, ResumeRecordFailure, ::testing::ValuesIn(kSpoilers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rd
