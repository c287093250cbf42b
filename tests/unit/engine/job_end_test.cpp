#include "engine/job_end.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_context.h"
#include "engine/source_queue.h"
#include "platform/clock.h"
#include "test_host.h"
#include "test_support.h"

namespace rd {
namespace {

using namespace std::chrono_literals;

tm MarchSeventh() {
    return test::LocalTime(2026, 3, 7, 9, 5, 3);
}

// The entry HistoryEntry gives for a queue of `sources`, collected into one string.
std::string Entry(const std::string& outcome, uint32_t retries, uint32_t skips, uint32_t speed,
                  std::initializer_list<std::string_view> sources, const std::string& targets,
                  const std::string& report = {}, const std::vector<std::string>& manifests = {}) {
    SourceQueue queue;
    for (std::string_view source : sources)
        queue.Add(source);
    std::string entry;
    HistoryEntry(MarchSeventh(), outcome, retries, skips, speed, queue, targets, report, manifests,
                 [&entry](std::string_view piece) { entry += piece; });
    return entry;
}

// Appends `text` to the history file as one piece.
bool Append(const std::string& path, std::string_view text) {
    return AppendHistory(path, [text](const HistoryPut& put) { put(text); });
}

TEST(HistoryEntry, Lines) {
    EXPECT_EQ(Entry("Copy finished", 4, 1, 2048, {"/home/a/x.bin", "/home/a/docs"},
                    "/mnt/backup/?/media/usb/?"),
              "[2026-3-7 9:5.3] Copy finished. Retries: 4 Skips: 1 Speed: 2048 \r\n"
              "  From: /home/a/x.bin?/home/a/docs?\r\n"
              "  To:   /mnt/backup/?/media/usb/?\r\n"
              "\r\n");
    // No "From:" line without sources.
    EXPECT_EQ(Entry("Delete aborted", 0, 0, 0, {}, ""),
              "[2026-3-7 9:5.3] Delete aborted. Retries: 0 Skips: 0 Speed: 0 \r\n"
              "  To:   \r\n"
              "\r\n");
    // The report line comes after the destinations.
    EXPECT_EQ(Entry("Copy finished", 0, 2, 7, {"/s/a"}, "/d/?",
                    "/home/a/.local/share/redodori/reports/r.txt"),
              "[2026-3-7 9:5.3] Copy finished. Retries: 0 Skips: 2 Speed: 7 \r\n"
              "  From: /s/a?\r\n"
              "  To:   /d/?\r\n"
              "  Report: /home/a/.local/share/redodori/reports/r.txt\r\n"
              "\r\n");
    // Each manifest the job wrote is named last.
    EXPECT_EQ(
        Entry("Copy finished", 0, 0, 7, {"/s/a"}, "/d/?/e/?", {},
              {"/d/RedoDori-20260307-090503-41.xxh128", "/e/RedoDori-20260307-090503-41.xxh128"}),
        "[2026-3-7 9:5.3] Copy finished. Retries: 0 Skips: 0 Speed: 7 \r\n"
        "  From: /s/a?\r\n"
        "  To:   /d/?/e/?\r\n"
        "  Manifest: /d/RedoDori-20260307-090503-41.xxh128\r\n"
        "  Manifest: /e/RedoDori-20260307-090503-41.xxh128\r\n"
        "\r\n");
}

TEST(HistoryOutcome, ByModeAndState) {
    EXPECT_EQ(HistoryOutcome(JobMode::Copy, 2), "Copy finished");
    EXPECT_EQ(HistoryOutcome(JobMode::Copy, 1), "Copy aborted");
    EXPECT_EQ(HistoryOutcome(JobMode::Move, 2), "Move finished");
    EXPECT_EQ(HistoryOutcome(JobMode::Move, 1), "Move aborted");
    EXPECT_EQ(HistoryOutcome(JobMode::Delete, 2), "Delete finished");
    EXPECT_EQ(HistoryOutcome(JobMode::Delete, 1), "Delete aborted");
    EXPECT_EQ(HistoryOutcome(JobMode::Copy, 2, true), "Check finished");
    EXPECT_EQ(HistoryOutcome(JobMode::Copy, 1, true), "Check aborted");
}

TEST(HistoryOutcome, WipePassesDoNotChangeTheMode) {
    EXPECT_EQ(HistoryOutcome(WithWipePasses(JobMode::Move, 3), 2), "Move finished");
    EXPECT_EQ(HistoryOutcome(WithWipePasses(JobMode::Delete, 2), 1), "Delete aborted");
    EXPECT_EQ(HistoryOutcome(WithWipePasses(JobMode::Copy, 3), 2), "Copy finished");
    // Bit 3 alone is neither a move nor a delete.
    EXPECT_EQ(HistoryOutcome(JobMode::DeleteOnly, 2), "Copy finished");
}

TEST(AppendHistory, AppendsEntriesInOrder) {
    test::TempDir dir;
    const std::string path = dir / "history.txt";
    ASSERT_TRUE(Append(path, "first\r\n"));
    ASSERT_TRUE(Append(path, "second\r\n"));
    EXPECT_EQ(test::ReadFile(path), "first\r\nsecond\r\n");
}

TEST(AppendHistory, ManyPiecesArriveWholeAndInOrder) {
    test::TempDir dir;
    const std::string path = dir / "history.txt";
    std::string expected;
    ASSERT_TRUE(AppendHistory(path, [&expected](const HistoryPut& put) {
        for (int i = 0; i < 20000; ++i) {
            const std::string piece = "/source/" + std::to_string(i) + "?";
            expected += piece;
            put(piece);
        }
    }));
    EXPECT_EQ(test::ReadFile(path), expected);
}

TEST(AppendHistory, WaitsWhileAnotherJobAppends) {
    test::TempDir dir;
    const std::string path = dir / "history.txt";
    test::WriteFile(path, "");
    const int other = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    std::atomic<bool> appended{false};
    std::thread job([&] { appended = Append(path, "mine\r\n"); });
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(test::ReadFile(path), "");
    ASSERT_EQ(::write(other, "theirs\r\n", 8), 8);
    ::close(other);
    job.join();
    EXPECT_TRUE(appended);
    EXPECT_EQ(test::ReadFile(path), "theirs\r\nmine\r\n");
}

TEST(AppendHistory, FailsQuietlyWhereNoFileCanBeWritten) {
    test::TempDir dir;
    test::WriteFile(dir / "plain", "x");
    EXPECT_FALSE(Append(dir / "plain/history.txt", "entry"));  // ENOTDIR
    EXPECT_FALSE(Append(dir.Path(), "entry"));                 // EISDIR
    EXPECT_FALSE(Append(dir / "missing/history.txt", "entry"));
    // Never through a symbolic link.
    ASSERT_EQ(::symlink((dir / "plain").c_str(), (dir / "link.txt").c_str()), 0);
    EXPECT_FALSE(Append(dir / "link.txt", "entry"));
    EXPECT_EQ(test::ReadFile(dir / "plain"), "x");
}

TEST(AppendHistory, FailsOnAReadOnlyFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    test::TempDir dir;
    const std::string path = dir / "history.txt";
    test::WriteFile(path, "kept\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    EXPECT_FALSE(Append(path, "entry"));
    EXPECT_EQ(test::ReadFile(path), "kept\r\n");
}

// One thing the host was told, in the order it happened.
struct Event {
    std::string what;
    int64_t value;
    bool operator==(const Event&) const = default;
};

// The host, which brings the copy time up to date when asked for the figures, as the real
// window's timer does.
class RecordingWindow : public test::TestHost {
public:
    RecordingWindow() {
        figures = [this] {
            if (copyTimeOnStats != 0 && ctx)
                ctx->state.counters.copyTime = copyTimeOnStats;
        };
    }
    std::vector<Event> Log() const {
        std::vector<Event> log;
        for (const Call& call : Calls())
            log.push_back({call.what, call.value});
        return log;
    }

    uint32_t copyTimeOnStats = 0;
};

class RecordingSound : public SoundPlayer {
public:
    void PlayFile(const std::string& path) override { played.push_back(path); }
    std::vector<std::string> played;
};

const std::string kComplete = "Complete";
const std::string kFigures = "UpdateFigures";
const std::string kEnd = "RequestEnd";

class CompletionActions : public ::testing::Test {
protected:
    void SetUp() override {
        policy.soundPath = "/opt/sounds/done.wav";
        window.ctx = &ctx;
    }

    JobPolicy policy;
    RecordingWindow window;
    EngineContext ctx{policy, window, window.queue};
    RecordingSound sound;
};

TEST_F(CompletionActions, CountdownThenPromptThenEndRequest) {
    policy.shutdown = true;
    policy.openTargets = true;
    RunCompletionActions(ctx, sound, TickMs());
    EXPECT_EQ(window.Log(), (std::vector<Event>{{kComplete, 0}, {kComplete, 1}, {kEnd, 0}}));
}

TEST_F(CompletionActions, OnlyTheEndRequestWhenNothingIsOn) {
    RunCompletionActions(ctx, sound, TickMs());
    EXPECT_EQ(window.Log(), (std::vector<Event>{{kEnd, 0}}));
    EXPECT_TRUE(window.Ended());
    EXPECT_EQ(window.EndCode(), 0);
}

TEST_F(CompletionActions, ShortJobPlaysNoSound) {
    policy.sound = true;
    RunCompletionActions(ctx, sound, TickMs() - 1000);
    EXPECT_TRUE(sound.played.empty());
}

TEST_F(CompletionActions, JobOverAMinutePlaysTheSound) {
    const uint64_t now = TickMs();
    if (now < 61000)
        GTEST_SKIP() << "the system has not been up for a minute";
    policy.sound = true;
    RunCompletionActions(ctx, sound, now - 61000);
    EXPECT_EQ(sound.played, std::vector<std::string>{"/opt/sounds/done.wav"});
}

TEST_F(CompletionActions, ShutdownPlaysTheSoundEvenForAShortJob) {
    policy.sound = true;
    policy.shutdown = true;
    RunCompletionActions(ctx, sound, TickMs());
    EXPECT_EQ(sound.played, std::vector<std::string>{"/opt/sounds/done.wav"});
}

TEST_F(CompletionActions, SoundOffStaysSilent) {
    const uint64_t now = TickMs();
    policy.shutdown = true;
    RunCompletionActions(ctx, sound, now > 61000 ? now - 61000 : 0);
    EXPECT_TRUE(sound.played.empty());
}

// The whole end, as a host does it for a job whose threads have ended.
void EndWhole(EngineContext& ctx, EndJobHost& host, EndJobRecord& record, int code) {
    if (BeginJobEnd(ctx, host, record, code))
        FinishJobEnd(ctx, host, record);
}

// The test is the program around the engine: it notes each call of the end.
class EndJobTest : public ::testing::Test, public EndJobHost {
protected:
    void SetUp() override {
        window.ctx = &ctx;
        record.historyPath = dir / "history.txt";
        window.queue.Add("/src/a.txt");
        window.queue.Add("/src/folder/");
        record.sources = &window.queue;
        record.targetText = "/dst/one/?/dst/two/?";
    }

    void SettleResume(int code) override { Note("settle", code); }
    void WritersStopped() override { Note("stopped", ctx.state.flags.Terminating); }
    void SaveWindow() override { Note("save", ctx.state.flags.ActiveWriters); }
    void TellConsole(int status) override { Note("console", status); }
    void Exit(int exitCode) override { Note("exit", exitCode); }

    void EndJob(int code) { EndWhole(ctx, *this, record, code); }

    void Note(const std::string& what, intptr_t value) {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back({what, value});
    }

    bool HistoryExists() const { return std::filesystem::exists(record.historyPath); }

    // Runs EndJob and returns the entry it wrote, checked against the entries of the seconds
    // before and after the call.
    std::string EndAndReadEntry(int code, const std::string& outcome, uint32_t speed) {
        const time_t before = time(nullptr);
        EndJob(code);
        const time_t after = time(nullptr);
        const std::string written = test::ReadFile(record.historyPath);
        bool matched = false;
        for (time_t t = before; t <= after && !matched; ++t) {
            tm local{};
            localtime_r(&t, &local);
            std::string expected;
            HistoryEntry(local, outcome, ctx.state.counters.retries, ctx.state.counters.skips,
                         speed, *record.sources, record.targetText, record.reportPath,
                         ctx.manifests.Written(),
                         [&expected](std::string_view piece) { expected += piece; });
            matched = written == expected;
        }
        EXPECT_TRUE(matched) << written;
        return written;
    }

    test::TempDir dir;
    JobPolicy policy;
    RecordingWindow window;
    EngineContext ctx{policy, window, window.queue};
    EndJobRecord record;
    std::mutex mutex;
    std::vector<Event> calls;
};

TEST_F(EndJobTest, AbortedCopyIsLoggedAndTheConsoleToldSo) {
    ctx.jobState = 1;
    ctx.state.counters.retries = 2;
    ctx.state.counters.skips = 3;
    ctx.state.counters.transferredBytes = 50000;
    ctx.state.counters.copyTime = 100;
    record.reportPath = "/data/reports/2026-03-07-090503.txt";
    const std::string entry = EndAndReadEntry(2, "Copy aborted", 500);
    EXPECT_NE(entry.find("] Copy aborted. Retries: 2 Skips: 3 Speed: 500 \r\n"), std::string::npos);
    EXPECT_NE(entry.find("  Report: /data/reports/2026-03-07-090503.txt\r\n\r\n"),
              std::string::npos);
    EXPECT_EQ(calls, (std::vector<Event>{
                         {"settle", 2}, {"stopped", 1}, {"save", 0}, {"console", 1}, {"exit", 0}}));
    EXPECT_EQ(ctx.state.flags.Terminating, 1);
}

TEST_F(EndJobTest, FinishedMoveIsLoggedAndTheConsoleToldItEnded) {
    ctx.jobState = 2;
    policy.mode = JobMode::Move;
    EndAndReadEntry(0, "Move finished", 0);
    EXPECT_EQ(calls, (std::vector<Event>{
                         {"settle", 0}, {"stopped", 1}, {"save", 0}, {"console", 0}, {"exit", 0}}));
}

TEST_F(EndJobTest, SpeedUsesTheCopyTimeTheWindowReportsOnStats) {
    ctx.jobState = 2;
    ctx.state.counters.transferredBytes = 90000;
    ctx.state.counters.copyTime = 0;
    window.copyTimeOnStats = 300;
    EndAndReadEntry(0, "Copy finished", 300);
    const std::vector<Event> log = window.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].what, kFigures);
}

TEST_F(EndJobTest, EntriesOfLaterJobsFollowEarlierOnes) {
    test::WriteFile(record.historyPath, "earlier\r\n\r\n");
    ctx.jobState = 2;
    EndJob(0);
    const std::string written = test::ReadFile(record.historyPath);
    EXPECT_EQ(written.rfind("earlier\r\n\r\n[", 0), 0u) << written;
}

TEST_F(EndJobTest, HistoryOffWritesNothing) {
    policy.history = false;
    ctx.jobState = 2;
    EndJob(0);
    EXPECT_FALSE(HistoryExists());
    EXPECT_EQ(calls.back(), (Event{"exit", 0}));
}

TEST_F(EndJobTest, JobThatNeverStartedWritesNothing) {
    ctx.jobState = 0;
    EndJob(0);
    EXPECT_FALSE(HistoryExists());
    EXPECT_TRUE(window.Log().empty());
    EXPECT_EQ(calls, (std::vector<Event>{
                         {"settle", 0}, {"stopped", 1}, {"save", 0}, {"console", 0}, {"exit", 0}}));
}

TEST_F(EndJobTest, UnwritableHistoryStillEndsTheProcess) {
    record.historyPath = dir.Path();
    ctx.jobState = 1;
    EndJob(0);
    EXPECT_EQ(calls.back(), (Event{"exit", 0}));
}

// A writer's abort answer can ask for the end again while the job's threads are being waited
// for: the first request decides, and the job ends once.
TEST_F(EndJobTest, ALaterEndRequestDoesNotEndTheJobAgain) {
    ctx.jobState = 1;
    ASSERT_TRUE(BeginJobEnd(ctx, *this, record, 0));
    EXPECT_FALSE(BeginJobEnd(ctx, *this, record, 2));
    FinishJobEnd(ctx, *this, record);
    EXPECT_EQ(calls, (std::vector<Event>{
                         {"settle", 0}, {"stopped", 1}, {"save", 0}, {"console", 1}, {"exit", 0}}));
    const std::string written = test::ReadFile(record.historyPath);
    EXPECT_EQ(written.find("  To:   "), written.rfind("  To:   "));
}

}  // namespace
}  // namespace rd
