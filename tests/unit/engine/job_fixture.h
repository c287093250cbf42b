// A whole job run on the engine with the test host as its window, for engine tests.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_context.h"
#include "engine/job_thread.h"
#include "platform/fault_injection.h"
#include "test_host.h"
#include "test_support.h"

namespace rd::test {

namespace fsys = std::filesystem;
using namespace std::chrono_literals;

// Gives up on an allocation at once; no test expects one to fail.
class FailingAllocation : public AllocationFailure {
public:
    Answer Ask() override { return Answer::Abort; }
};

// The limiter's clock, which the reader consults once before every block it hands over: a
// place to watch and steer the job between blocks.
class BlockClock : public LimiterClock {
public:
    std::function<void(int block)> beforeBlock;
    int blocks = 0;
    uint64_t NowMs() override {
        ++blocks;
        if (beforeBlock)
            beforeBlock(blocks);
        return static_cast<uint64_t>(blocks) * 10;
    }
    void SleepMs(uint32_t) override {}
};

inline std::string Pattern(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string data(size, '\0');
    for (char& c : data)
        c = static_cast<char>(random());
    return data;
}

inline uint64_t FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Compares two trees: names, kinds, contents and link targets.
inline void ExpectSameTree(const std::string& a, const std::string& b) {
    ASSERT_TRUE(fsys::is_directory(b)) << b;
    std::vector<std::string> namesA, namesB;
    for (const auto& e : fsys::directory_iterator(a))
        namesA.push_back(e.path().filename());
    for (const auto& e : fsys::directory_iterator(b))
        namesB.push_back(e.path().filename());
    std::sort(namesA.begin(), namesA.end());
    std::sort(namesB.begin(), namesB.end());
    ASSERT_EQ(namesA, namesB) << a << " vs " << b;
    for (const std::string& name : namesA) {
        const fsys::path pa = fsys::path(a) / name, pb = fsys::path(b) / name;
        const auto sa = fsys::symlink_status(pa), sb = fsys::symlink_status(pb);
        ASSERT_EQ(sa.type(), sb.type()) << pb;
        if (fsys::is_symlink(sa)) {
            EXPECT_EQ(fsys::read_symlink(pa), fsys::read_symlink(pb)) << pb;
        } else if (fsys::is_directory(sa)) {
            ExpectSameTree(pa, pb);
        } else if (fsys::is_regular_file(sa)) {
            EXPECT_TRUE(ReadFile(pa) == ReadFile(pb)) << pb << " differs";
        }
    }
}

// The path an open descriptor refers to.
inline std::string PathOf(int fd) {
    std::error_code ec;
    return fsys::read_symlink("/proc/self/fd/" + std::to_string(fd), ec).string();
}

// Removes the fault hook when a test ends, whatever happens.
struct FaultScope {
    explicit FaultScope(fault::Hook hook) { fault::SetHook(std::move(hook)); }
    ~FaultScope() { fault::SetHook(nullptr); }
};

// One job: its settings, the window it talks to and its engine.
struct Job {
    Job() : ctx(policy, host, host.queue) {
        ctx.allocationFailure = &allocation;
        ctx.state.speed.SetClock(clock);
        ctx.questions = &host;
    }

    // Starts the job thread and, as the start-up does, has the destinations parsed and the
    // engine prepared. The queue must already hold the sources.
    void Start(JobThread& thread, const std::vector<std::string>& dests) {
        thread.Start();
        ctx.dests.ParseDestinations(dests, host.notice);
        ctx.Prepare();
    }

    // Queues `sources` and runs the whole job.
    void Run(const std::vector<std::string>& sources, const std::vector<std::string>& dests) {
        for (const std::string& s : sources)
            host.queue.Add(s);
        JobThread thread(ctx);
        Start(thread, dests);
        ASSERT_TRUE(host.WaitForEnd(120s));
        thread.Join();
    }

    JobPolicy policy;
    TestHost host;
    FailingAllocation allocation;
    BlockClock clock;
    EngineContext ctx;
};

// The shipped English language file of the source tree.
inline std::string EnglishFile() {
    return test::SourceDataDir() + "/english.lng";
}

// A test of whole jobs: a private folder with the sources in "src/", and a job that speaks
// English, made anew by Fresh().
class JobTest : public ::testing::Test {
protected:
    void SetUp() override {
        fsys::create_directories(dir / "src");
        Fresh();
    }
    void Fresh() {
        job = std::make_unique<Job>();
        ASSERT_TRUE(job->ctx.messages.Load(EnglishFile()));
    }
    std::string Src(const std::string& rel) const { return dir / ("src/" + rel); }
    // Writes a file of `size` pattern bytes below "src/" and returns its path.
    std::string Make(const std::string& rel, size_t size, uint32_t seed = 1) {
        fsys::create_directories(fsys::path(Src(rel)).parent_path());
        WriteFile(Src(rel), Pattern(size, seed));
        return Src(rel);
    }

    TempDir dir;
    std::unique_ptr<Job> job;
};

}  // namespace rd::test
