#include "resume/resume_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <ostream>
#include <stdexcept>

#include "app/store_keys.h"
#include "engine/job_settings.h"
#include "platform/fault_injection.h"
#include "platform/literal_list.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "platform/text.h"
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
