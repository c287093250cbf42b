#include "engine/job_state.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/clock.h"

namespace rd {
namespace {

TEST(RetryPause, SleepsCountsAndRestartsTheSample) {
    JobState job;
    job.speedSampleStart = 0;
    uint64_t before = TickMs();
    job.RetryPause(40);
    uint64_t after = TickMs();
    EXPECT_GE(after - before, 40u);
    EXPECT_EQ(job.counters.retries, 1u);
    EXPECT_GE(job.speedSampleStart, before + 40);
    EXPECT_LE(job.speedSampleStart, after);
    job.RetryPause(0);
    EXPECT_EQ(job.counters.retries, 2u);
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
