#include "resume/resume_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "app/store_keys.h"
#include "engine/job_settings.h"
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
    EXPECT_EQ(ResumeListBytes({"/a", "/\xC3\xA9"}),
              std::string("\xFF\xFE/\0a\0\r\0\n\0/\0\xE9\0\r\0\n\0", 18));
    // A name that is not UTF-8 keeps its bytes in the 8-bit form.
    EXPECT_EQ(ResumeListBytes({"/ok", "/bad\xFF"}), "/ok\r\n/bad\xFF\r\n");
    // Either form reads back to the same items.
    for (const auto& sources :
         {std::vector<std::string>{"/x y", "/\xE2\x82\xAC"}, std::vector<std::string>{"/\xFE\xFF"}})
        EXPECT_EQ(text::SplitListFile(ResumeListBytes(sources)), sources);
}

TEST(ResumeStore, WriteKeepAndDelete) {
    test::PrivateEnvironment env;
    test::TempDir tmp;
    setenv("TMPDIR", tmp.Path().c_str(), 1);
    Store store(env.ConfigDir() + "/registry.db");
    ResumeJob job;
    job.slot = 17;
    job.programPath = "/usr/bin/redodori";
    job.sources = {"/data/docs", "/data/a.txt"};
    job.targetText = "/backup/?/usb/?";
    job.onerror = 2;
    job.modeWord = mode::kMove;

    WriteResumeRecord(store, job, 1);
    const std::string list = tmp / "vnfrm17.lst";
    EXPECT_EQ(store.ReadText(StoreRoot::CurrentUser, kResumeKey, "17"),
              "/usr/bin/redodori |" + list + "|/backup/?/usb/?|uwsmq2");
    EXPECT_EQ(store.ReadText(StoreRoot::CurrentUser, kResumeKey, "f_17"), "/data/");
    auto stamp = store.ReadText(StoreRoot::CurrentUser, kResumeKey, "t_17");
    ASSERT_TRUE(stamp);
    EXPECT_EQ(stamp->size(), 16u);  // "2026-03-07 09:05"
    EXPECT_FALSE(store.ValueExists(StoreRoot::CurrentUser, kResumeKey, "d_17"));
    EXPECT_EQ(text::SplitListFile(test::ReadFile(list)), job.sources);

    WriteResumeRecord(store, job, 2);
    EXPECT_EQ(store.ReadText(StoreRoot::CurrentUser, kResumeKey, "d_17"), "x");

    WriteResumeRecord(store, job, 0);
    for (const char* name : {"17", "f_17", "t_17", "d_17"})
        EXPECT_FALSE(store.ValueExists(StoreRoot::CurrentUser, kResumeKey, name)) << name;
    EXPECT_FALSE(std::filesystem::exists(list));

    // A job without a slot keeps no record.
    job.slot = -1;
    WriteResumeRecord(store, job, 1);
    EXPECT_TRUE(store.Values(StoreRoot::CurrentUser, kResumeKey).empty());
    unsetenv("TMPDIR");
}

}  // namespace
}  // namespace rd
