#include "engine/final_sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "job_fixture.h"
#include "platform/mounts.h"

namespace rd {

namespace {

using test::FaultScope;
using namespace std::chrono_literals;

constexpr uint64_t kMiB = 1 << 20;

// A sync that the test holds until it lets it go; plain statics, since the helper thread that
// runs it may outlive the job.
std::mutex gateLock;
std::condition_variable gateMoved;
bool gateOpen = false;
bool syncLeft = false;

int HeldSync(fault::Op op, int, uint64_t, uint8_t*, uint32_t) {
    if (op != fault::Op::Sync)
        return 0;
    std::unique_lock<std::mutex> lock(gateLock);
    gateMoved.wait_for(lock, 30s, [] { return gateOpen; });
    syncLeft = true;
    gateMoved.notify_all();
    return 0;
}

class FinalSync : public test::JobTest {
protected:
    // The "Writing to" texts the job showed so far.
    std::vector<std::string> WritingTexts() const {
        std::vector<std::string> out;
        for (const std::string& text : job->host.Texts("ShowStatus"))
            if (text.starts_with("Writing to "))
                out.push_back(text);
        return out;
    }
};

}  // namespace

TEST(WritingText, NamesTheDeviceAndTheWholeMiBLeft) {
    EXPECT_EQ(WritingText("/dev/sdb1", 90 * kMiB), "Writing to /dev/sdb1\u2026 90 MiB left");
    EXPECT_EQ(WritingText("//nas/share", 1), "Writing to //nas/share\u2026 1 MiB left");
    EXPECT_EQ(WritingText("/media/stick", 0), "Writing to /media/stick\u2026 0 MiB left");
}

TEST_F(FinalSync, ASlowSyncTellsTheDeviceAndWhatIsLeftUntilItEnds) {
    Make("a", 12 * kMiB);
    test::TestConsole console;
    job->ctx.console = &console;
    std::atomic<int> syncs{0};
    FaultScope scope([&](fault::Op op, int, uint64_t, uint8_t*, uint32_t) {
        if (op == fault::Op::Sync && syncs++ == 0)
            std::this_thread::sleep_for(2600ms);
        return 0;
    });
    job->Run({Src("a")}, {dir / "dst/"});
    EXPECT_EQ(test::ReadFile(dir / "dst/a"), test::ReadFile(Src("a")));
    EXPECT_EQ(job->ctx.jobState, 2);

    // Told about twice a second from the first second on: at 1, 1.5, 2 and 2.5 s.
    const std::vector<std::string> texts = WritingTexts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_LE(texts.size(), 5u);
    const std::string head = "Writing to " + mounts::DeviceOf(dir / "dst") + "\u2026 ";
    const std::string tail = " MiB left";
    uint64_t before = 13;
    for (const std::string& text : texts) {
        ASSERT_TRUE(text.starts_with(head) && text.ends_with(tail)) << text;
        const std::string count = text.substr(head.size(), text.size() - head.size() - tail.size());
        ASSERT_FALSE(count.empty()) << text;
        ASSERT_EQ(count.find_first_not_of("0123456789"), std::string::npos) << text;
        const uint64_t left = std::stoull(count);
        EXPECT_LE(left, before) << "what is left never grows";
        before = left;
    }
    // Once the sync is over the status is given back to the counts.
    EXPECT_EQ(job->host.Texts("ShowStatus").back(), "");
    size_t onConsole = 0;
    for (const test::TestConsole::LineRecord& line : console.Lines())
        if (line.text.starts_with("Writing to ")) {
            EXPECT_FALSE(line.newLine);
            ++onConsole;
        }
    EXPECT_EQ(onConsole, texts.size());
}

TEST_F(FinalSync, AQuickSyncSaysNothing) {
    Make("a", kMiB);
    job->Run({Src("a")}, {dir / "dst/"});
    EXPECT_TRUE(WritingTexts().empty());
    EXPECT_EQ(job->ctx.jobState, 2);
}

TEST_F(FinalSync, AnAbortDuringASlowSyncEndsTheJobWithoutWaitingForIt) {
    Make("a", kMiB);
    {
        std::lock_guard<std::mutex> lock(gateLock);
        gateOpen = false;
        syncLeft = false;
    }
    FaultScope scope(HeldSync);
    job->host.queue.Add(Src("a"));
    JobThread thread(job->ctx);
    job->Start(thread, {dir / "dst/"});
    for (int i = 0; i < 200 && WritingTexts().empty(); ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_FALSE(WritingTexts().empty());
    const auto aborted = std::chrono::steady_clock::now();
    job->ctx.state.BeginEnd();
    thread.Join();
    EXPECT_LT(std::chrono::steady_clock::now() - aborted, 1s);
    // Not finished: an aborted job never reports its copy done.
    EXPECT_EQ(job->ctx.copyEndedAt, 0u);
    EXPECT_FALSE(job->ctx.syncing);

    std::unique_lock<std::mutex> lock(gateLock);
    gateOpen = true;
    gateMoved.notify_all();
    EXPECT_TRUE(gateMoved.wait_for(lock, 10s, [] { return syncLeft; }));
}

TEST_F(FinalSync, AFailedSyncIsSettledLikeAFailedWrite) {
    Make("a", kMiB);
    FaultScope scope([](fault::Op op, int, uint64_t, uint8_t*, uint32_t) {
        return op == fault::Op::Sync ? EIO : 0;
    });
    job->Run({Src("a")}, {dir / "dst/"});
    const auto prompts = job->host.Prompts();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].error.step, ErrorStep::Sync);
    EXPECT_EQ(prompts[0].error.error, EIO);
    EXPECT_EQ(job->ctx.state.counters.skips.load(), 1u);
}

}  // namespace rd
