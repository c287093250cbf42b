#include "resume/resume_slot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "platform/store.h"
#include "settings/store_keys.h"
#include "test_support.h"

namespace rd {
namespace {

class ResumeSlots : public ::testing::Test {
protected:
    void Stored(int n) {
        ASSERT_TRUE(store.WriteText(StoreRoot::CurrentUser, kResumeKey, std::to_string(n),
                                    "/p |/l|/d/?|uwq2"));
    }

    test::PrivateEnvironment env;
    Store store{env.ConfigDir() + "/registry.db"};
    std::string error;
};

TEST_F(ResumeSlots, TheLowestFreeSlotIsClaimedAndHeld) {
    Stored(0);
    Stored(1);
    ResumeSlot first, second, third;
    ASSERT_TRUE(first.Claim(store, error)) << error;
    EXPECT_EQ(first.Number(), 2);
    // Held by a live job: the next job goes on to the next slot.
    ASSERT_TRUE(second.Claim(store, error)) << error;
    EXPECT_EQ(second.Number(), 3);
    EXPECT_TRUE(ResumeJobRunning(2));
    EXPECT_TRUE(ResumeJobRunning(3));
    // A stored record whose job is gone, and a slot nobody holds.
    EXPECT_FALSE(ResumeJobRunning(0));
    EXPECT_FALSE(ResumeJobRunning(4));
    struct stat st {};
    ASSERT_EQ(::lstat((paths::RuntimeDir() + "/resume-2.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    first.Release();
    EXPECT_EQ(first.Number(), -1);
    EXPECT_FALSE(ResumeJobRunning(2));
    ASSERT_TRUE(third.Claim(store, error)) << error;
    EXPECT_EQ(third.Number(), 2);
}

TEST_F(ResumeSlots, ARecordStoredByAJobThatEndedIsNotClaimed) {
    ResumeSlot ended;
    ASSERT_EQ(ended.Take(0, error), ResumeSlot::Lock::Taken);
    ResumeSlot next;
    ASSERT_TRUE(next.Claim(store, error)) << error;
    EXPECT_EQ(next.Number(), 1);
    next.Release();
    // The job of slot 0 saved its record and ended.
    Stored(0);
    ended.Release();
    ASSERT_TRUE(next.Claim(store, error)) << error;
    EXPECT_EQ(next.Number(), 1);
    EXPECT_EQ(next.Take(0, error), ResumeSlot::Lock::Taken);
}

TEST_F(ResumeSlots, JobsStartedTogetherGetSlotsOfTheirOwn) {
    constexpr int kJobs = 16;
    std::vector<std::unique_ptr<ResumeSlot>> slots;
    std::vector<std::thread> jobs;
    for (int i = 0; i < kJobs; ++i)
        slots.push_back(std::make_unique<ResumeSlot>());
    for (int i = 0; i < kJobs; ++i) {
        jobs.emplace_back([&, i] {
            // Each job has the store open for itself, as a process would.
            Store own(env.ConfigDir() + "/registry.db");
            std::string why;
            EXPECT_TRUE(slots[i]->Claim(own, why)) << why;
        });
    }
    for (std::thread& job : jobs)
        job.join();
    std::set<int32_t> numbers;
    for (const auto& slot : slots)
        numbers.insert(slot->Number());
    EXPECT_EQ(numbers.size(), static_cast<size_t>(kJobs));
    EXPECT_EQ(*numbers.begin(), 0);
    EXPECT_EQ(*numbers.rbegin(), kJobs - 1);
}

TEST_F(ResumeSlots, NoSlotWhenAllAreStoredOrTheRuntimeFolderIsOpen) {
    for (int n = 0; n < kResumeSlots; ++n)
        Stored(n);
    ResumeSlot slot;
    EXPECT_FALSE(slot.Claim(store, error));
    EXPECT_EQ(error,
              "redodori: all 999 resume slots are taken; this job runs without one and cannot be "
              "resumed after a crash");
    EXPECT_EQ(slot.Number(), -1);

    ASSERT_TRUE(store.DeleteValue(StoreRoot::CurrentUser, kResumeKey, "7"));
    ASSERT_EQ(paths::MakePath(paths::RuntimeDir()), 0);
    ASSERT_EQ(::chmod(paths::RuntimeDir().c_str(), 0777), 0);
    EXPECT_FALSE(slot.Claim(store, error));
    EXPECT_NE(error.find("the runtime folder " + paths::RuntimeDir()), std::string::npos) << error;
    EXPECT_TRUE(error.ends_with(
        "; this job runs without a resume slot and cannot be resumed after a crash"))
        << error;
    EXPECT_EQ(slot.Take(7, error), ResumeSlot::Lock::Failed);
    EXPECT_FALSE(ResumeJobRunning(7));
}

}  // namespace
}  // namespace rd
