#include "program/stored_job_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/store.h"
#include "platform/text.h"
#include "resume/autostart.h"
#include "resume/resume_store.h"
#include "settings/job_settings.h"
#include "settings/store_keys.h"
#include "test_support.h"

namespace rd {
namespace {

class StoredJobRecordTest : public ::testing::Test {
protected:
    std::optional<std::string> Value(const std::string& name) {
        return store.ReadText(StoreRoot::CurrentUser, kResumeKey, name);
    }

    RecordedJob Job(int32_t number) {
        RecordedJob job;
        job.number = number;
        job.programPath = "/usr/bin/redodori";
        job.sources = {"/data/a", "/data/b c"};
        job.targets = {"/backup/"};
        job.onerror = 2;
        job.modeWord = mode::kMove;
        job.profile = "network";
        job.switches = "kvn";
        return job;
    }

    test::PrivateEnvironment env;
    Store store{env.ConfigDir() + "/registry.db"};
    std::string error;
};

// Each way of writing keeps the record the resume manager reads, or none.
TEST_F(StoredJobRecordTest, EachModeStoresWhatTheResumeManagerReads) {
    const struct {
        RecordMode mode;
        bool kept;
        std::optional<std::string> aside;
    } cases[] = {
        {RecordMode::Kept, true, std::nullopt},
        {RecordMode::KeptAside, true, "x"},
        {RecordMode::Removed, false, std::nullopt},
    };
    for (const auto& c : cases) {
        StoredJobRecord record(store);
        ASSERT_TRUE(record.Claim(error)) << error;
        const std::string n = std::to_string(record.Number());
        ASSERT_TRUE(record.Write(Job(record.Number()), c.mode, error)) << error;
        const std::string list = ResumeListPath(record.Number());
        if (c.kept) {
            EXPECT_EQ(Value(n), "/usr/bin/redodori |" + list + "|/backup/?|uwksmvq1");
            EXPECT_EQ(Value("f_" + n), "/data/");
            EXPECT_EQ(text::SplitListFile(test::ReadFile(list)), Job(0).sources);
        } else {
            EXPECT_FALSE(Value(n));
            EXPECT_FALSE(std::filesystem::exists(list));
        }
        EXPECT_EQ(Value("d_" + n), c.aside);
        // The next case starts from an empty store.
        ASSERT_TRUE(record.Write(Job(record.Number()), RecordMode::Removed, error));
    }
}

TEST_F(StoredJobRecordTest, ANumberIsHeldUntilReleased) {
    StoredJobRecord first(store), second(store);
    EXPECT_EQ(first.Number(), -1);
    ASSERT_TRUE(first.Claim(error)) << error;
    ASSERT_TRUE(second.Claim(error)) << error;
    EXPECT_EQ(first.Number(), 0);
    EXPECT_EQ(second.Number(), 1);
    EXPECT_TRUE(ResumeJobRunning(0));
    first.Release();
    EXPECT_EQ(first.Number(), -1);
    EXPECT_FALSE(ResumeJobRunning(0));
    // A job without a number keeps no record.
    ASSERT_TRUE(first.Write(Job(-1), RecordMode::Kept, error));
    EXPECT_TRUE(store.Values(StoreRoot::CurrentUser, kResumeKey).empty());
}

TEST_F(StoredJobRecordTest, ResumeAtLoginWritesTheAutostartEntry) {
    ASSERT_TRUE(StoredJobRecord(store).ResumeAtLogin("/usr/bin/redodori", error)) << error;
    EXPECT_EQ(test::ReadFile(AutostartEntryPath()), AutostartEntryText("/usr/bin/redodori"));
}

}  // namespace
}  // namespace rd
