#include "app/progress_core.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/console_channel.h"
#include "app/job_session.h"
#include "engine/engine_context.h"
#include "engine/messages.h"
#include "engine/prompts.h"
#include "platform/clock.h"
#include "platform/console_packet.h"

namespace rd {
namespace {

// The core with the test playing the window thread: Service() is called by the test.
class ProgressCoreTest : public ::testing::Test, public WindowLink {
protected:
    ProgressCoreTest() : ctx(settings, *this, core.queue) {
        core.hooks.endJob = [this](int code) { ended.push_back(code); };
        core.Attach(ctx, &console, nullptr);
    }

    intptr_t Send(uint32_t msg, uintptr_t w, intptr_t l) override { return core.Handle(msg, w, l); }
    void Post(uint32_t, uintptr_t, intptr_t) override {}

    // Serves the window until `done`, at most 5 s.
    template <typename Done>
    void ServeUntil(Done done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done() && std::chrono::steady_clock::now() < end) {
            core.Service();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_TRUE(done());
    }

    // The console packets sent, reassembled as (kind, text).
    std::vector<std::pair<int, std::string>> Packets() {
        std::vector<std::pair<int, std::string>> out;
        PacketReader reader;
        uint8_t kind = 0;
        std::string text;
        for (const Chunk& c : chunks)
            if (reader.Add(c, kind, text))
                out.emplace_back(kind, text);
        return out;
    }

    JobSettings settings;
    ProgressCore core;
    EngineContext ctx;
    std::vector<Chunk> chunks;
    ConsoleChannel console{0, [this](const Chunk& c) { chunks.push_back(c); }};
    std::vector<int> ended;
};

TEST_F(ProgressCoreTest, QuestionsFromTwoThreadsAreServedOneAtATimeEachWithItsAnswer) {
    std::vector<std::string> shown;
    core.hooks.showQuestion = [&](const Question& q) {
        shown.push_back(q.text);
        return true;
    };
    std::atomic<intptr_t> first{-1}, second{-1};
    std::thread a([&] { first = core.Ask(msg::WMU_ERRORPROMPT, 0, "first"); });
    ServeUntil([&] { return shown.size() == 1; });
    std::thread b([&] { second = core.Ask(msg::WMU_EXISTSPROMPT, 0, "second"); });
    // The second question waits while the first is open.
    for (int i = 0; i < 20; ++i) {
        core.Service();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(shown.size(), 1u);
    core.Answer(answer::kRetry, 1);
    ServeUntil([&] { return shown.size() == 2; });
    EXPECT_EQ(shown[1], "second");
    core.Answer(onexist::kOverwrite, -1);
    a.join();
    b.join();
    EXPECT_EQ(first, answer::kRetry);
    EXPECT_EQ(second, onexist::kOverwrite);
    // "Retry all" changed the error policy; the plain answer left the other one alone.
    EXPECT_EQ(settings.onerror, 1);
    EXPECT_EQ(settings.onexist, 0);
}

TEST_F(ProgressCoreTest, WithNoOneToAskTheQuestionIsSkipped) {
    std::atomic<intptr_t> error{-1}, exists{-1};
    std::thread a([&] { error = core.Ask(msg::WMU_ERRORPROMPT, 0, "cannot read"); });
    ServeUntil([&] { return error != -1; });
    a.join();
    std::thread b([&] { exists = core.Ask(msg::WMU_EXISTSPROMPT, 3, "exists"); });
    ServeUntil([&] { return exists != -1; });
    b.join();
    EXPECT_EQ(error, answer::kSkip);
    EXPECT_EQ(exists, onexist::kSkip);
}

TEST_F(ProgressCoreTest, ConsoleKeysAnswerTheQuestionAndWrongKeysAskAgain) {
    console = ConsoleChannel(7, [this](const Chunk& c) { chunks.push_back(c); });
    std::atomic<intptr_t> result{-1};
    std::thread a([&] { result = core.Ask(msg::WMU_EXISTSPROMPT, 2, "both there"); });
    ServeUntil([&] { return core.OpenQuestion() != nullptr; });
    core.Key('r');  // resume is not offered
    core.Key('n');
    ServeUntil([&] { return result != -1; });
    a.join();
    EXPECT_EQ(result, onexist::kRenameOld);
    const auto packets = Packets();
    ASSERT_GE(packets.size(), 5u);
    EXPECT_EQ(packets[0].first, packet::kText);
    EXPECT_NE(packets[0].second.find("both there"), std::string::npos);
    EXPECT_EQ(packets[1].first, packet::kPromptHandle);
    EXPECT_EQ(packets[2].second, "Incorrect choice - [r], please retry: \r\n");
    EXPECT_EQ(packets[3].first, packet::kPromptHandle);
    EXPECT_EQ(packets[4].second, "[N]\r\n");
}

TEST_F(ProgressCoreTest, ControlsAndTheFirstEndRequestWins) {
    core.Handle(msg::WMU_CONTROL, 0, 2);
    EXPECT_EQ(ctx.state.flags.SkipFile, 1);
    core.Handle(msg::WMU_CONTROL, 0, 3);
    EXPECT_EQ(ctx.state.flags.Paused, 1);
    core.Handle(msg::WMU_CONTROL, 0, 3);
    EXPECT_EQ(ctx.state.flags.Paused, 0);
    core.Handle(msg::WMU_CONTROL, 0, 9);
    core.Service();
    EXPECT_TRUE(ended.empty());
    core.Handle(msg::WMU_CONTROL, 0, 4);
    core.Handle(msg::WMU_CONTROL, 0, 1);
    core.RequestEnd(0);
    core.Service();
    core.Service();
    EXPECT_EQ(ended, std::vector<int>{2});
}

// Posts `path` as the hand-off chunks a second job sends.
void HandOver(ProgressCore& core, const std::string& path) {
    for (const auto& [w, l] : HandOffChunks(path))
        core.Handle(msg::WMU_HANDOFF, w, static_cast<intptr_t>(l));
}

TEST(HandOffChunks, EightBytesAChunkEndingInAZero) {
    // Seven bytes and their zero fill one chunk; eight take a second one of zeros.
    const auto seven = HandOffChunks("/a/b/cd");
    ASSERT_EQ(seven.size(), 1u);
    EXPECT_EQ(seven[0].first, 0x2F612F62u);  // "/a/b", the first byte highest
    EXPECT_EQ(seven[0].second, 0x2F636400);  // "/cd" and the zero
    const auto eight = HandOffChunks("/a/b/cde");
    ASSERT_EQ(eight.size(), 2u);
    EXPECT_EQ(eight[1].first, 0u);
    EXPECT_EQ(eight[1].second, 0);
}

TEST_F(ProgressCoreTest, HandedOverPathsJoinTheQueueWhileTheListIsBuilt) {
    HandOver(core, "/a/b/cd");   // 7 bytes: one chunk ending in its zero
    HandOver(core, "/a/b/cde");  // 8 bytes: a second chunk of zeros
    HandOver(core, "/long/path/of/more/than/eight/bytes");
    ASSERT_EQ(core.queue.Count(), 3);
    EXPECT_EQ(core.queue.EntryPath(0), "/a/b/cd");
    EXPECT_EQ(core.queue.EntryPath(1), "/a/b/cde");
    EXPECT_EQ(core.queue.EntryPath(2), "/long/path/of/more/than/eight/bytes");
}

TEST_F(ProgressCoreTest, PausedTimeAndQuestionTimeAreNotCopyTime) {
    ctx.copyStartedAt = TickMs();
    ctx.jobState = 1;
    core.Tick(false);
    core.TogglePause(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    core.Tick(false);
    core.TogglePause(true);
    core.Tick(false);
    EXPECT_LT(ctx.state.counters.copyTime.load(), 150u);

    core.hooks.showQuestion = [](const Question&) { return true; };
    std::thread a([&] { core.Ask(msg::WMU_ERRORPROMPT, 0, "?"); });
    ServeUntil([&] { return core.OpenQuestion() != nullptr; });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    core.Tick(false);
    core.Answer(answer::kSkip, -1);
    a.join();
    core.Tick(false);
    EXPECT_LT(ctx.state.counters.copyTime.load(), 150u);

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    core.Tick(false);
    EXPECT_GE(ctx.state.counters.copyTime.load(), 300u);
}

TEST_F(ProgressCoreTest, TheFileNameIsTheGivenTextOrTheSourceBeingCopied) {
    ctx.state.SetCurrentSource("/src/now");
    core.SetText(msg::kTextCurrentFile, "/src/listing");
    EXPECT_EQ(core.CurrentFileName(), "/src/listing");
    core.SetText(msg::kTextCurrentFile, nullptr);
    EXPECT_EQ(core.CurrentFileName(), "/src/now");
    core.Handle(msg::WMU_SETTEXT, msg::kTextStatus,
                reinterpret_cast<intptr_t>("12 (collecting...)"));
    EXPECT_EQ(core.StatusText(), "12 (collecting...)");
}

}  // namespace
}  // namespace rd
