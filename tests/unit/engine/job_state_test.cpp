#include "engine/job_state.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/clock.h"

namespace rd {
namespace {

// Ten milliseconds pass between two looks; sleeps are only recorded.
class StepClock : public LimiterClock {
public:
    uint64_t now = 1000;
    uint64_t slept = 0;
    uint64_t NowMs() override { return now += 10; }
    void SleepMs(uint32_t ms) override { slept += ms; }
};

TEST(RetryPause, SleepsCountsAndRestartsTheSample) {
    JobState job;
    StepClock clock;
    job.speed.SetClock(clock);
    // 10 percent: every block after the first is followed by nine times its working time.
    job.speed.Sample(job.counters, 0, SpeedUnit::Percent);
    job.speed.Sample(job.counters, 0, SpeedUnit::Percent);
    EXPECT_EQ(clock.slept, 90u);

    uint64_t before = TickMs();
    job.RetryPause(40);
    EXPECT_GE(TickMs() - before, 40u);
    EXPECT_EQ(job.counters.retries, 1u);
    // The block after the pause is neither limited nor timed with the pause in it.
    job.speed.Sample(job.counters, 0, SpeedUnit::Percent);
    EXPECT_EQ(clock.slept, 90u);
    job.RetryPause(0);
    EXPECT_EQ(job.counters.retries, 2u);
}

// An ending job retries nothing: the pause ends at once and counts no retry; a pause that is no
// retry counts none either.
TEST(RetryPause, AnEndingJobAndOtherPausesCountNoRetry) {
    JobState job;
    EXPECT_TRUE(job.PauseUnlessEnding(0));
    EXPECT_EQ(job.counters.retries, 0u);
    job.BeginEnd();
    const uint64_t before = TickMs();
    job.RetryPause(60000);
    EXPECT_LT(TickMs() - before, 30000u);
    EXPECT_FALSE(job.PauseUnlessEnding(0));
    EXPECT_EQ(job.counters.retries, 0u);
}

TEST(RetryPause, CountsEveryThreadsRetry) {
    JobState job;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 25; ++i)
                job.RetryPause(0);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(job.counters.retries, 100u);
}

}  // namespace
}  // namespace rd
