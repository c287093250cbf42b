// A whole job driven through the engine's contract alone, as any host drives it.
#include "engine/job.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "test_host.h"
#include "test_support.h"

namespace rd {
namespace {

using namespace std::chrono_literals;

// The threads of this process.
int Threads() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks))
            count += entry->d_name[0] != '.';
        closedir(tasks);
    }
    return count;
}

class Outcomes : public OutcomeSink {
public:
    void Report(const NodeOutcome& outcome) override {
        std::lock_guard<std::mutex> lock(mutex_);
        heard_.push_back(outcome.path);
    }
    std::vector<std::string> Heard() {
        std::lock_guard<std::mutex> lock(mutex_);
        return heard_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> heard_;
};

class JobContract : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir / "src/sub");
        test::WriteFile(dir / "src/a", std::string(300000, 'a'));
        test::WriteFile(dir / "src/sub/b", "b");
    }

    test::TempDir dir;
    JobPolicy policy;
    test::TestHost host;
    Outcomes outcomes;
};

// Two destinations written in parallel: each holds the tree, and once Wait returns the job
// thread, both writers and the walk have ended.
TEST_F(JobContract, AFinishedJobEndsEveryThreadItStarted) {
    const int before = Threads();
    policy.parallel = true;
    // The job thread lingers in its request to end: only a Wait that waits for it sees it go.
    host.afterEndRequest = [] { std::this_thread::sleep_for(100ms); };
    host.queue.Add(dir / "src");
    host.queue.Add(dir / "missing");
    {
        Job job(policy, host, host.queue);
        job.Context().questions = &host;
        job.Context().outcomeSink = &outcomes;
        job.Start(std::vector<std::string>{dir / "d1", dir / "d2"});
        ASSERT_TRUE(host.WaitForEnd(60s));
        EXPECT_EQ(job.Wait().end, JobEnd::FinishedWithSkips);
        EXPECT_EQ(Threads(), before);
    }
    for (const char* copy : {"d1/src/a", "d2/src/a", "d1/src/sub/b", "d2/src/sub/b"})
        EXPECT_EQ(test::ReadFile(dir / copy),
                  test::ReadFile(dir / ("src/" + std::string(copy + 7))))
            << copy;
    // The source that is not there is the one outcome the host hears of.
    EXPECT_EQ(outcomes.Heard(), std::vector<std::string>{dir / "missing"});
    EXPECT_EQ(host.Steps("RequestEnd").size(), 1u);
    EXPECT_EQ(host.Steps().back(), "ThreadEnded");
}

// A job stopped before it could copy, whether it still waited for its destinations or was
// paused, ends its threads and has copied nothing.
TEST_F(JobContract, AStopBeforeTheCopyEndsTheJobWithNothingDone) {
    const int before = Threads();
    for (bool withTargets : {false, true}) {
        SCOPED_TRACE(withTargets ? "paused" : "without destinations");
        test::TestHost stopped;
        stopped.queue.Add(dir / "src");
        Job job(policy, stopped, stopped.queue);
        job.Context().state.SetPaused(withTargets);
        if (withTargets)
            job.Start(std::vector<std::string>{dir / "d"});
        else
            job.Start();
        while (stopped.Steps("ListComplete").empty())
            std::this_thread::sleep_for(2ms);
        job.RequestStop();
        EXPECT_EQ(job.Wait().end, JobEnd::NotStarted);
        EXPECT_EQ(Threads(), before);
        EXPECT_FALSE(std::filesystem::exists(dir / "d/src/a"));
    }
}

// A job that is dropped without Wait still stops and waits for its threads.
TEST_F(JobContract, DroppingARunningJobStopsIt) {
    const int before = Threads();
    host.queue.Add(dir / "src");
    {
        Job job(policy, host, host.queue);
        job.Context().state.SetPaused(true);
        job.Start(std::vector<std::string>{dir / "d"});
    }
    EXPECT_EQ(Threads(), before);
}

}  // namespace
}  // namespace rd
