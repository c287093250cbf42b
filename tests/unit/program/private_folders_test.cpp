// The folders the program keeps for itself (failure reports, resume lists, the message bus) are
// used only when no one but the user may enter them: a folder open to its group is refused as
// surely as one open to everybody.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>

#include "app/failure_report.h"
#include "platform/bus.h"
#include "platform/store.h"
#include "resume/resume_store.h"
#include "test_support.h"

namespace rd {
namespace {

// One folder of the program's own: where it is, and the real code that writes into it, which
// returns whether it did and why not.
struct FolderRole {
    const char* name;
    const char* role;  // as the refusal names it
    std::function<std::string(const test::PrivateEnvironment&)> folder;
    std::function<bool(const test::PrivateEnvironment&, std::string& error)> use;
};

const FolderRole kRoles[] = {
    {"Reports", "reports folder",
     [](const test::PrivateEnvironment& env) { return env.DataDir() + "/reports"; },
     [](const test::PrivateEnvironment& env, std::string& error) {
         return !WriteFailureReport(env.DataDir(), test::LocalTime(2026, 1, 2, 3, 4, 5),
                                    "Copy finished\n", error)
                     .empty();
     }},
    {"State", "state folder", [](const test::PrivateEnvironment& env) { return env.StateDir(); },
     [](const test::PrivateEnvironment& env, std::string& error) {
         Store store(env.ConfigDir() + "/registry.db");
         ResumeJob job;
         job.slot = 3;
         job.programPath = "/usr/bin/redodori";
         job.sources = {"/data/a"};
         job.targets = {"/backup"};
         return WriteResumeRecord(store, job, 1, error);
     }},
    {"Runtime", "runtime folder",
     [](const test::PrivateEnvironment& env) { return env.RuntimeDir() + "/redodori"; },
     [](const test::PrivateEnvironment&, std::string& error) {
         return bus::PrepareRuntimeDir(error) && bus::Endpoint::CreateThread(error) != nullptr;
     }},
};

struct FolderMode {
    const char* name;
    mode_t mode;
    bool usable;
};

const FolderMode kModes[] = {
    {"Private", 0700, true},
    {"GroupReadsAndEnters", 0750, false},
    {"GroupWrites", 0770, false},
    {"GroupEnters", 0710, false},
    {"GroupReads", 0740, false},
    {"GroupWritesOnly", 0720, false},
    {"OthersReadAndEnter", 0705, false},
    {"OthersWrite", 0707, false},
    {"OthersEnter", 0701, false},
    {"EveryoneReads", 0755, false},
    {"EveryoneWrites", 0777, false},
};

using Case = std::tuple<FolderRole, FolderMode>;

void PrintTo(const Case& c, std::ostream* out) {
    *out << std::get<0>(c).name << " " << std::get<1>(c).name;
}

class PrivateFolder : public ::testing::TestWithParam<Case> {
protected:
    test::PrivateEnvironment env_;
};

TEST_P(PrivateFolder, UsedOnlyWhenNoOneElseMayEnterIt) {
    const auto& [role, mode] = GetParam();
    const std::string folder = role.folder(env_);
    std::filesystem::create_directories(folder);
    ASSERT_EQ(::chmod(folder.c_str(), mode.mode), 0);

    std::string error;
    const bool used = role.use(env_, error);
    EXPECT_EQ(used, mode.usable) << error;
    if (mode.usable)
        return;
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(mode.mode));
    const std::string refusal = std::string("the ") + role.role + " " + folder +
                                " is open to other users (mode " + octal + "); refusing to use it";
    EXPECT_NE(error.find(refusal), std::string::npos) << error;
    // Nothing was written where others may look, and the folder keeps the mode it had.
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    struct stat st;
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode.mode);
}

INSTANTIATE_TEST_SUITE_P(RolesAndModes, PrivateFolder,
                         ::testing::Combine(::testing::ValuesIn(kRoles),
                                            ::testing::ValuesIn(kModes)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace rd
