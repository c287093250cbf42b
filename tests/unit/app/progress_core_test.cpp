#include "app/progress_core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/console_channel.h"
#include "app/handoff.h"
#include "engine/dest_table.h"
#include "engine/engine_context.h"
#include "engine/job_thread.h"
#include "platform/bus.h"
#include "platform/clock.h"
#include "platform/console_packet.h"
#include "platform/messages.h"
#include "question_facts.h"
#include "test_support.h"

namespace rd {
namespace {

// Holds the status reports that a walk sends while it lists (the first comes with its first
// entry) until the test opens it. Reached on the test's own thread, which plays the window
// thread, it would wait for itself: it fails the test instead.
class StatusGate {
public:
    void Pass() {
        if (std::this_thread::get_id() == window_) {
            ADD_FAILURE() << "a source was walked on the window thread";
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        held_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    // True once a walk waits at the gate (waits at most 5 s).
    bool Held() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [this] { return held_; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    const std::thread::id window_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool open_ = false;
};

// The core with the test playing the window thread and its view: Service() is called by the
// test, which notes the ends and notices and answers whether a question is shown.
class ProgressCoreTest : public ::testing::Test, public JobHost, public ProgressView {
protected:
    ProgressCoreTest() : ctx(policy, *this, core.queue) {
        core.SetView(this);
        core.Attach(ctx, &console, nullptr);
    }

    void Wake() override {}
    void EndJob(int code) override { ended.push_back(code); }
    void LockOptions() override {}
    void ListFinished() override {}
    void ShowCompletion(CompletionStep) override {}
    bool ShowQuestion(const Question& question) override { return shows && shows(question); }
    void ShowPaused(bool) override {}
    void SourcesAdded() override {}
    void DockQueue() override {}
    void ShowNotice(NoticeIcon, const std::string&, const std::string& text) override {
        notices.push_back(text);
    }

    SourceQueue::Next NextSource() override { return core.NextSource(); }
    void ShowFile(std::optional<std::string> name) override {
        if (gate)
            gate->Pass();
        core.ShowFile(std::move(name));
    }
    void ShowStatus(const std::string& text) override {
        if (gate)
            gate->Pass();
        core.ShowStatus(text);
    }
    void ListComplete(uint64_t) override { core.ListComplete(); }
    void OptionsLocked() override { core.OptionsLocked(); }
    void Complete(CompletionStep step) override { core.Complete(step); }
    // The test ends the job itself.
    void RequestEnd(int) override {}
    void UpdateFigures() override {}
    void ThreadEnded() override {}

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

    // What `ask` gets, asked on a thread of its own as the engine asks, while the test serves
    // the window; `whileOpen` runs once the question is open.
    template <typename Ask>
    auto Served(Ask ask, const std::function<void()>& whileOpen = {}) {
        std::optional<decltype(ask())> answer;
        std::atomic<bool> done{false};
        std::thread asker([&] {
            answer = ask();
            done = true;
        });
        if (whileOpen) {
            ServeUntil([&] { return core.OpenQuestion() != nullptr; });
            whileOpen();
        }
        ServeUntil([&] { return done.load(); });
        asker.join();
        return answer;
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

    // Keeps a chunk the wrapper took; none once it is gone.
    bool Take(const Chunk& c) {
        if (wrapperGone)
            return false;
        chunks.push_back(c);
        return true;
    }

    JobPolicy policy;
    ProgressCore core;
    EngineContext ctx;
    std::vector<Chunk> chunks;
    ConsoleChannel console{0, [this](const Chunk& c) { return Take(c); }};
    std::atomic<bool> wrapperGone{false};
    std::vector<int> ended;
    std::vector<std::string> notices;
    // Whether the view shows a question; unset: no one can be asked.
    std::function<bool(const Question&)> shows;
    // When set, holds the status reports of walks.
    StatusGate* gate = nullptr;
};

TEST_F(ProgressCoreTest, QuestionsFromTwoThreadsAreServedOneAtATimeEachWithItsAnswer) {
    std::vector<Question> shown;
    shows = [&](const Question& q) {
        shown.push_back(q);
        return true;
    };
    std::atomic<ErrorAnswer> first{ErrorAnswer::Skip};
    std::atomic<ExistsAnswer> second{ExistsAnswer::Skip};
    std::thread a([&] { first = core.AskError(test::Failed(ErrorStep::Read, "/src/first")); });
    ServeUntil([&] { return shown.size() == 1; });
    std::thread b([&] { second = core.AskExists(test::Existing("/src/second", "/dst/second")); });
    // The second question waits while the first is open.
    for (int i = 0; i < 20; ++i) {
        core.Service();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(shown.size(), 1u);
    // An answer of the other kind is not taken for the open question's.
    core.Answer(ExistsAnswer::Overwrite, ExistsPolicy::Overwrite);
    EXPECT_NE(core.OpenQuestion(), nullptr);
    core.Answer(ErrorAnswer::Retry, ErrorPolicy::Retry);
    ServeUntil([&] { return shown.size() == 2; });
    EXPECT_EQ(shown[1].kind, QuestionKind::Exists);
    EXPECT_EQ(shown[1].exists.destination, "/dst/second");
    core.Answer(ExistsAnswer::Overwrite);
    a.join();
    b.join();
    EXPECT_EQ(first, ErrorAnswer::Retry);
    EXPECT_EQ(second, ExistsAnswer::Overwrite);
    // "Retry all" changed the error policy; the plain answer left the other one alone.
    EXPECT_EQ(policy.onError, ErrorPolicy::Retry);
    EXPECT_EQ(policy.onExist, ExistsPolicy::Prompt);
}

// Keeps the job or says why it cannot, as told.
class Keeper : public ResumeKeeper {
public:
    bool KeepNow(std::string& why) override {
        ++asked;
        why = refusal;
        return refusal.empty();
    }
    std::string refusal;
    int asked = 0;
};

// An end that would keep a job that cannot be kept is refused with the reason, and the job goes
// on: the menu's and the wrapper's "save and abort", and Abort with Shift in a question, which
// then comes up again for another answer. A plain Abort still ends the job.
TEST_F(ProgressCoreTest, AJobThatCannotBeKeptIsNotEndedByKeeping) {
    Keeper keeper;
    keeper.refusal = "the job cannot be kept for resume: no slot";
    core.SetKeeper(&keeper);
    core.Abort(2);
    core.Control(4);
    core.Service();
    EXPECT_TRUE(ended.empty());
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0],
              keeper.refusal + "; the job goes on: abort it to end it without keeping it");

    int showings = 0;
    shows = [&](const Question&) { return ++showings > 0; };
    const auto answer =
        Served([&] { return core.AskError(test::Failed(ErrorStep::Write, "/d/f")); },
               [&] {
                   core.Answer(ErrorAnswer::AbortAndKeep);
                   ServeUntil([&] { return showings == 2; });
                   core.Answer(ErrorAnswer::Skip);
               });
    EXPECT_EQ(answer, ErrorAnswer::Skip);
    EXPECT_TRUE(ended.empty());

    // Once it can be kept, keeping ends it.
    keeper.refusal.clear();
    core.Abort(2);
    core.Service();
    EXPECT_EQ(ended, std::vector<int>{2});
    EXPECT_EQ(keeper.asked, 4);
}

TEST_F(ProgressCoreTest, WithNoOneToAskTheQuestionIsSkipped) {
    EXPECT_EQ(Served([&] { return core.AskError(test::Failed(ErrorStep::Read, "/src/a")); }),
              ErrorAnswer::Skip);
    EXPECT_EQ(Served([&] { return core.AskExists(test::Existing("/src/a", "/dst/a", true)); }),
              ExistsAnswer::Skip);
}

// Something a FAT stick cannot hold.
NamesFacts NoLinks() {
    NamesFacts facts;
    facts.findings = {test::Finding(NameProblem::NoLinks, "/fat/link")};
    facts.total = 1;
    return facts;
}

TEST_F(ProgressCoreTest, WithNoOneToAskTheNamesAreSkippedAndStderrSaysSo) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(Served([&] { return core.AskNames(NoLinks()); }), NamesAnswer::Skip);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said,
              "redodori: The destinations cannot take these files as they are:\n"
              "redodori: /fat/link: this file system cannot hold a symbolic link\n"
              "redodori: no one to ask here: answered Skip\n");
}

// Shown in the window, the names question takes only an answer of its own kind.
TEST_F(ProgressCoreTest, TheNamesQuestionIsShownAndGetsItsAnswer) {
    std::vector<Question> shown;
    shows = [&](const Question& q) {
        shown.push_back(q);
        return true;
    };
    EXPECT_EQ(Served([&] { return core.AskNames(NoLinks()); },
                     [&] {
                         core.Answer(ExistsAnswer::Skip);
                         core.Answer(ErrorAnswer::Skip);
                         EXPECT_NE(core.OpenQuestion(), nullptr);
                         core.Answer(NamesAnswer::Rename);
                     }),
              NamesAnswer::Rename);
    for (NamesAnswer given : {NamesAnswer::Skip, NamesAnswer::Abort})
        EXPECT_EQ(Served([&] { return core.AskNames(NoLinks()); }, [&] { core.Answer(given); }),
                  given);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].kind, QuestionKind::Names);
    EXPECT_EQ(shown[0].names.findings.at(0).destination, "/fat/link");
    EXPECT_EQ(policy.names, NamesPolicy::Ask);
}

// At a console wrapper: the listing, a wrong key that asks again, one key that answers, and A
// that ends the job as the other questions' abort does.
TEST_F(ProgressCoreTest, ConsoleKeysAnswerTheNamesQuestion) {
    console = ConsoleChannel(7, [this](const Chunk& c) { return Take(c); });
    std::vector<int> icons;
    core.showTrayIcon = [&](int index) { icons.push_back(index); };
    EXPECT_EQ(Served([&] { return core.AskNames(NoLinks()); },
                     [&] {
                         core.Key('k');
                         core.Key('r');
                     }),
              NamesAnswer::Rename);
    const auto packets = Packets();
    ASSERT_EQ(packets.size(), 5u);
    EXPECT_EQ(packets[0].first, packet::kText);
    EXPECT_EQ(packets[0].second,
              "Names the destination cannot take\r\n"
              "The destinations cannot take these files as they are:\r\n"
              "/fat/link: this file system cannot hold a symbolic link\r\n"
              "Rename them, skip them, or abort the job?\r\n"
              "[R] - Rename\r\n[S] - Skip those\r\n[A] - Abort\r\nYour choice: ");
    EXPECT_EQ(packets[1].first, packet::kPromptHandle);
    EXPECT_EQ(packets[2].second, "Incorrect choice - [k], please retry: \r\n");
    EXPECT_EQ(packets[3].first, packet::kPromptHandle);
    EXPECT_EQ(packets[4].second, "[R]\r\n");
    EXPECT_EQ(icons, std::vector<int>{kExistsTrayImage});

    EXPECT_EQ(Served([&] { return core.AskNames(NoLinks()); }, [&] { core.Key('S'); }),
              NamesAnswer::Skip);
    EXPECT_TRUE(ended.empty());
    EXPECT_EQ(Served([&] { return core.AskNames(NoLinks()); }, [&] { core.Key('a'); }),
              NamesAnswer::Abort);
    ServeUntil([&] { return !ended.empty(); });
    EXPECT_EQ(ended, std::vector<int>{0});
}

// A wrapper killed while its job goes on: a question open on it is put to whoever else can
// answer (here no one: skipped) once a heartbeat finds it gone, and later ones are not sent to
// it at all. Nothing waits for it.
TEST_F(ProgressCoreTest, AWrapperThatIsGoneLeavesNoQuestionWaitingForIt) {
    console = ConsoleChannel(7, [this](const Chunk& c) { return Take(c); });
    EXPECT_EQ(Served([&] { return core.AskExists(test::Existing("/src/a", "/dst/a")); },
                     [&] {
                         wrapperGone = true;
                         core.Heartbeat();
                     }),
              ExistsAnswer::Skip);
    const size_t sent = chunks.size();
    EXPECT_EQ(Served([&] { return core.AskNames(NoLinks()); }), NamesAnswer::Skip);
    EXPECT_EQ(chunks.size(), sent);
    EXPECT_TRUE(ended.empty());
}

TEST_F(ProgressCoreTest, ConsoleKeysAnswerTheQuestionAndWrongKeysAskAgain) {
    console = ConsoleChannel(7, [this](const Chunk& c) { return Take(c); });
    // Rename is offered, resume is not.
    const auto result =
        Served([&] { return core.AskExists(test::Existing("/src/a", "/dst/both there")); },
               [&] {
                   core.Key('r');
                   core.Key('n');
               });
    EXPECT_EQ(result, ExistsAnswer::RenameOld);
    const auto packets = Packets();
    ASSERT_GE(packets.size(), 5u);
    EXPECT_EQ(packets[0].first, packet::kText);
    EXPECT_NE(packets[0].second.find("File already exists\r\n"), std::string::npos);
    EXPECT_NE(packets[0].second.find("/dst/both there"), std::string::npos);
    EXPECT_EQ(packets[1].first, packet::kPromptHandle);
    EXPECT_EQ(packets[2].second, "Incorrect choice - [r], please retry: \r\n");
    EXPECT_EQ(packets[3].first, packet::kPromptHandle);
    EXPECT_EQ(packets[4].second, "[N]\r\n");
}

// A wrapper's questions are listed in the job's language and show their icon in the
// notification area, as a question in a window does.
TEST_F(ProgressCoreTest, ConsoleQuestionsTakeTheJobsTextsAndShowTheirIcon) {
    console = ConsoleChannel(7, [this](const Chunk& c) { return Take(c); });
    std::vector<int> icons;
    core.showTrayIcon = [&](int index) { icons.push_back(index); };
    core.promptTexts.error.caption = "Fehler beim Kopieren";
    core.promptTexts.error.keys['S'] = "Diese Datei überspringen";
    core.promptTexts.exists.choice = "Ihre Wahl:";
    core.promptTexts.exists.incorrect = "Ungültige Wahl - [%s]:";
    Served([&] { return core.AskError(test::Failed(ErrorStep::Read, "/src/a", EIO)); },
           [&] { core.Key('s'); });
    Served([&] { return core.AskExists(test::Existing("/src/b", "/dst/b")); },
           [&] {
               core.Key('x');
               core.Key('s');
           });
    EXPECT_EQ(icons, (std::vector<int>{kErrorTrayImage, kExistsTrayImage}));
    const auto packets = Packets();
    ASSERT_GE(packets.size(), 6u);
    EXPECT_TRUE(packets[0].second.starts_with("Fehler beim Kopieren\r\n"));
    EXPECT_NE(packets[0].second.find("[S] - Diese Datei überspringen\r\n"), std::string::npos);
    EXPECT_TRUE(packets[3].second.ends_with("\r\nIhre Wahl: "));
    EXPECT_EQ(packets[5].second, "Ungültige Wahl - [x]: \r\n");
}

// A on a writer's question comes back to the asker, which ends the job itself; on a reader's
// question the prompt ends the job, and the asker leaves with the end's Abort.
TEST_F(ProgressCoreTest, ConsoleAbortReturnsToAWriterAndEndsTheJobForAReader) {
    console = ConsoleChannel(7, [this](const Chunk& c) { return Take(c); });
    const ErrorFacts write = test::Failed(ErrorStep::Write, "/dst/a", ENOSPC);
    EXPECT_EQ(Served([&] { return core.AskError(write); }, [&] { core.Key('a'); }),
              ErrorAnswer::Abort);
    EXPECT_TRUE(ended.empty());
    EXPECT_EQ(Served([&] { return core.AskExists(test::Existing("/src/b", "/dst/b")); },
                     [&] { core.Key('m'); }),
              ExistsAnswer::RenameOld);
    EXPECT_EQ(policy.onExist, ExistsPolicy::RenameOld);
    const ErrorFacts read = test::Failed(ErrorStep::Read, "/src/c", EIO);
    EXPECT_EQ(Served([&] { return core.AskError(read); }, [&] { core.Key('a'); }),
              ErrorAnswer::Abort);
    // The end reaches the window on its next turn, which may come after the asker has left.
    ServeUntil([&] { return !ended.empty(); });
    EXPECT_EQ(ended, std::vector<int>{0});
}

TEST_F(ProgressCoreTest, ControlsAndTheFirstEndRequestWins) {
    core.Control(2);
    EXPECT_EQ(ctx.state.flags.SkipFile, 1);
    core.Control(3);
    EXPECT_EQ(ctx.state.flags.Paused, 1);
    core.Control(3);
    EXPECT_EQ(ctx.state.flags.Paused, 0);
    core.Control(9);
    core.Service();
    EXPECT_TRUE(ended.empty());
    core.Control(4);
    core.Control(1);
    core.RequestEnd(0);
    core.Service();
    core.Service();
    EXPECT_EQ(ended, std::vector<int>{2});
}

// The end answers every asker that waits, the one being asked too, and nothing more is asked:
// an end never waits for an answer no one will give.
TEST_F(ProgressCoreTest, AnEndAnswersEveryWaitingQuestionAndAsksNoMore) {
    int shown = 0;
    shows = [&](const Question&) { return ++shown > 0; };
    std::atomic<ErrorAnswer> answers[2] = {ErrorAnswer::Retry, ErrorAnswer::Retry};
    std::atomic<int> back{0};
    std::vector<std::thread> askers;
    for (int i = 0; i < 2; ++i)
        askers.emplace_back([this, &answers, &back, i] {
            answers[i] = core.AskError(test::Failed(ErrorStep::Write, "/dst/fails"));
            ++back;
        });
    // One question is open, the other waits behind it.
    ServeUntil([&] { return shown == 1; });
    core.RequestEnd(0);
    ServeUntil([&] { return back == 2; });
    for (std::thread& t : askers)
        t.join();
    EXPECT_EQ(answers[0], ErrorAnswer::Abort);
    EXPECT_EQ(answers[1], ErrorAnswer::Abort);
    EXPECT_EQ(core.AskExists(test::Existing("/src/later", "/dst/later")), ExistsAnswer::Abort);
    EXPECT_EQ(ctx.state.flags.Terminating, 1);
    core.Service();
    EXPECT_EQ(ended, std::vector<int>{0});
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

    shows = [](const Question&) { return true; };
    std::thread a([&] { core.AskError(test::Failed(ErrorStep::Read, "/src/a")); });
    ServeUntil([&] { return core.OpenQuestion() != nullptr; });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    core.Tick(false);
    core.Answer(ErrorAnswer::Skip);
    a.join();
    core.Tick(false);
    EXPECT_LT(ctx.state.counters.copyTime.load(), 150u);

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    core.Tick(false);
    EXPECT_GE(ctx.state.counters.copyTime.load(), 300u);
}

// The copy time runs to the end of the copy, though the last tick came before it; what follows
// (the completion's question, the summary) is not copy time.
TEST_F(ProgressCoreTest, CopyTimeRunsToTheEndOfTheCopy) {
    ctx.copyStartedAt = TickMs();
    ctx.jobState = 1;
    core.Tick(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ctx.copyEndedAt = TickMs();
    ctx.jobState = 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    core.CountCopyTime();
    core.Tick(false);
    EXPECT_GE(ctx.state.counters.copyTime.load(), 300u);
    EXPECT_LT(ctx.state.counters.copyTime.load(), 600u);
}

TEST_F(ProgressCoreTest, TheFileNameIsTheGivenTextOrTheSourceBeingCopied) {
    ctx.state.SetCurrentSource("/src/now");
    core.ShowFile("/src/listing");
    EXPECT_EQ(core.CurrentFileName(), "/src/listing");
    core.ShowFile(std::nullopt);
    EXPECT_EQ(core.CurrentFileName(), "/src/now");
    core.ShowStatus("12 (collecting...)");
    EXPECT_EQ(core.StatusText(), "12 (collecting...)");
}

TEST_F(ProgressCoreTest, WhatTheFinalSyncHasLeftShowsInPlaceOfTheBytes) {
    console = ConsoleChannel(7, [this](const Chunk& c) { return Take(c); });
    ctx.copyStartedAt = TickMs();
    ctx.jobState = 1;
    ctx.state.counters.listedBytes = 2048;
    ctx.state.counters.doneBytes = 2048;
    // A walk of a source added during the copy left its count behind.
    core.ShowStatus("12 (collecting...)");
    const std::string counts = core.Tick(false).bytes;
    EXPECT_EQ(counts.find("collecting"), std::string::npos);
    ctx.syncing = true;
    core.ShowStatus("");
    EXPECT_EQ(core.Tick(false).bytes, counts);
    const std::string writing = "Writing to /dev/sdb1\u2026 3 MiB left";
    core.ShowStatus(writing);
    chunks.clear();
    EXPECT_EQ(core.Tick(false).bytes, writing);
    // The engine writes the wrapper's line itself; the tick's would overwrite it.
    EXPECT_TRUE(Packets().empty());
    ctx.syncing = false;
    core.ShowStatus("");
    EXPECT_EQ(core.Tick(false).bytes, counts);
    EXPECT_FALSE(Packets().empty());
}

// Hand-offs as other processes send them, each sender with a thread endpoint of its own for
// the answer, to a job that copies to /dst.
class HandOffTest : public ProgressCoreTest {
protected:
    HandOffTest() { core.targets = {"/dst/"}; }

    struct Sender {
        std::unique_ptr<bus::Endpoint> answers;
        uint64_t started = 0;
        std::vector<bus::Packet> packets;
    };

    // A whole hand-off of `sources`, whose closing announces `extra` sources more than it has.
    static Sender Make(const std::string& job, const std::vector<std::string>& sources,
                       uint64_t started = TickMs(), int extra = 0) {
        std::string error;
        Sender s{bus::Endpoint::CreateThread(error), started, {}};
        EXPECT_TRUE(s.answers) << error;
        std::vector<std::string> items{job};
        items.insert(items.end(), sources.begin(), sources.end());
        for (const std::string& item : items)
            for (const bus::Packet& chunk : handoff::Chunks(item, s.answers->Id()))
                s.packets.push_back(chunk);
        s.packets.push_back(handoff::Closing(
            s.answers->Id(), static_cast<uint32_t>(sources.size() + extra), started));
        return s;
    }

    // The answer waiting in the sender's socket; kNoAnswer when none came.
    static int64_t AnswerOf(const Sender& s) {
        bus::Packet p;
        while (s.answers->Receive(p))
            if (p.msg == msg::WMU_HANDOFFANSWER && p.wParam == s.started)
                return p.lParam;
        return handoff::kNoAnswer;
    }

    std::set<std::string> Queued() const {
        std::set<std::string> paths;
        for (int i = 0; i < core.queue.Count(); ++i)
            paths.insert(core.queue.EntryPath(i));
        return paths;
    }

    // True when no reservation was left behind: the job thread may close the list.
    bool CloseList() {
        std::lock_guard<std::mutex> lock(ctx.list.ListLock);
        return ctx.list.CloseIfIdle();
    }

    test::PrivateEnvironment env;
};

std::string Job(JobMode mode = JobMode::Copy, const char* targets = "/dst/?") {
    return handoff::DescribeJob(mode, handoff::Links::None, SplitTargetText(targets), "/");
}

TEST_F(HandOffTest, InterleavedSendersAreEachTakenWhole) {
    core.OpenForHandOffs();
    const Sender a = Make(Job(), {"/src/a name of several chunks", "/src/b"});
    const Sender b = Make(Job(), {"/other/c", "/other/d/e/f/g/h"});
    for (size_t i = 0; i < std::max(a.packets.size(), b.packets.size()); ++i)
        for (const Sender* s : {&a, &b})
            if (i < s->packets.size())
                core.HandlePacket(s->packets[i]);
    EXPECT_EQ(AnswerOf(a), handoff::kAccepted);
    EXPECT_EQ(AnswerOf(b), handoff::kAccepted);
    EXPECT_EQ(Queued(), (std::set<std::string>{"/src/a name of several chunks", "/src/b",
                                               "/other/c", "/other/d/e/f/g/h"}));
}

enum class Receiver { Deciding, Running, ListClosed, Ending, SenderGone };

struct AnswerCase {
    const char* name;
    Receiver state;
    std::string job;
    int extra;
    int64_t ageMs;
    int64_t expected;
};

void PrintTo(const AnswerCase& c, std::ostream* out) {
    *out << c.name;
}

class HandOffAnswers : public HandOffTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(HandOffAnswers, OnlyAFreshWholeHandOffForTheSameRunningJobIsTaken) {
    const AnswerCase& c = GetParam();
    if (c.state != Receiver::Deciding)
        core.OpenForHandOffs();
    if (c.state == Receiver::ListClosed) {
        ASSERT_TRUE(CloseList());
    }
    if (c.state == Receiver::Ending)
        core.RequestEnd(0);
    const Sender s = Make(c.job, {"/src/one"}, TickMs() - c.ageMs, c.extra);
    if (c.state == Receiver::SenderGone)
        s.answers->StopReceiving();
    for (const bus::Packet& p : s.packets)
        core.HandlePacket(p);
    EXPECT_EQ(AnswerOf(s), c.expected);
    EXPECT_EQ(core.queue.Count(), c.expected == handoff::kAccepted ? 1 : 0);
    EXPECT_TRUE(CloseList());
}

const int64_t kStale = static_cast<int64_t>(handoff::kAcceptWithinMs);
INSTANTIATE_TEST_SUITE_P(
    Cases, HandOffAnswers,
    ::testing::Values(
        AnswerCase{"same_job", Receiver::Running, Job(), 0, 0, handoff::kAccepted},
        AnswerCase{"same_destination_written_otherwise", Receiver::Running,
                   Job(JobMode::Copy, "/x/../dst/./?"), 0, 0, handoff::kAccepted},
        AnswerCase{"a_source_fewer_than_announced", Receiver::Running, Job(), 1, 0,
                   handoff::kIncomplete},
        AnswerCase{"a_source_more_than_announced", Receiver::Running, Job(), -1, 0,
                   handoff::kIncomplete},
        AnswerCase{"stale", Receiver::Running, Job(), 0, kStale, handoff::kTooLate},
        AnswerCase{"from_the_future", Receiver::Running, Job(), 0, -1000, handoff::kTooLate},
        AnswerCase{"a_move", Receiver::Running, Job(JobMode::Move), 0, 0, handoff::kOtherKind},
        AnswerCase{"a_delete", Receiver::Running, Job(JobMode::Delete, ""), 0, 0,
                   handoff::kOtherKind},
        AnswerCase{"other_destinations", Receiver::Running, Job(JobMode::Copy, "/elsewhere?"), 0, 0,
                   handoff::kOtherDestinations},
        AnswerCase{"a_destination_more", Receiver::Running, Job(JobMode::Copy, "/dst?/more?"), 0, 0,
                   handoff::kOtherDestinations},
        AnswerCase{"receiver_still_deciding", Receiver::Deciding, Job(), 0, 0,
                   handoff::kNotStarted},
        AnswerCase{"list_closed_by_the_job_thread", Receiver::ListClosed, Job(), 0, 0,
                   handoff::kEnding},
        AnswerCase{"end_requested", Receiver::Ending, Job(), 0, 0, handoff::kEnding},
        AnswerCase{"sender_stopped_listening", Receiver::SenderGone, Job(), 0, 0,
                   handoff::kNoAnswer}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return info.param.name; });

TEST_F(HandOffTest, DropsAreAddedUntilTheListClosesAndThenRefusedWithANotice) {
    core.AddDroppedPaths({"/src/early", ""});
    ASSERT_TRUE(CloseList());
    core.AddDroppedPaths({"/src/late", "/src/later"});
    EXPECT_EQ(Queued(), std::set<std::string>{"/src/early"});
    EXPECT_EQ(notices, std::vector<std::string>{
                           "The job is ending and takes no more sources; not added:\n/src/late\n"
                           "/src/later"});
}

// Sources dropped just as the intake on the job's thread finds the queue empty: each is taken by
// the intake or walked by the adder, never left queued and listed by neither. Each round races
// the two on a fresh core, the intake taking the drop's first sources while the rest are still
// being queued; the adder names each missing source it walks.
TEST_F(HandOffTest, SourcesDroppedAsTheIntakeEndsAreTakenOrWalkedExactlyOnce) {
    constexpr size_t kDropped = 50;
    for (int round = 0; round < 1200; ++round) {
        ProgressCore raced;
        EngineContext context(policy, *this, raced.queue);
        raced.Attach(context, nullptr, nullptr);
        std::vector<std::string> dropped;
        for (size_t i = 0; i < kDropped; ++i)
            dropped.push_back(env.Dir() / ("missing" + std::to_string(i)));
        std::atomic<bool> go{false};
        std::vector<std::string> taken;
        std::thread intake([&] {
            while (!go)
                std::this_thread::yield();
            // Later each round, so that some round starts while the drop is being queued.
            std::atomic<int> spun{0};
            while (spun.fetch_add(1, std::memory_order_relaxed) < round % 400 * 8) {
            }
            for (SourceQueue::Next next; !(next = raced.NextSource()).path.empty();)
                taken.push_back(next.path);
        });
        go = true;
        raced.AddDroppedPaths(dropped);
        intake.join();
        // A walk ends by giving up its reservation.
        for (int wait = 0; wait < 2000; ++wait) {
            std::lock_guard<std::mutex> lock(context.list.ListLock);
            if (context.list.CloseIfIdle())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const size_t walked = context.outcomes.Count();
        context.adder.Stop();
        ASSERT_EQ(taken.size() + walked, kDropped)
            << "round " << round << ": " << taken.size() << " taken, " << walked << " walked";
    }
}

// Sources that join the job after its intake, with the job thread running: the walk is held at
// its first entry while the test acts as the window.
class AddedSourcesTest : public HandOffTest {
protected:
    AddedSourcesTest() {
        core.targets = {Dst() + "/"};
        gate = &heldWalk;
    }

    void TearDown() override {
        // Whatever failed, nothing is left waiting: the walk goes on and is stopped, and a job
        // never let copy ends at its gate.
        heldWalk.Open();
        ctx.adder.Stop();
        if (!ctx.state.flags.EngineReady)
            core.RequestEnd(0);
        job.Join();
    }

    std::string Dst() const { return env.Dir() / "dst"; }

    // A tree at `root`: folders each holding files and a subfolder of files, every file holding
    // its own path below `root`. Returns those paths.
    static std::vector<std::string> MakeTree(const std::string& root, int folders, int files) {
        std::vector<std::string> made;
        for (int f = 0; f < folders; ++f) {
            const std::string folder = "/d" + std::to_string(f);
            std::filesystem::create_directories(root + folder + "/sub");
            for (int i = 0; i < files; ++i)
                for (const std::string& name :
                     {folder + "/f" + std::to_string(i), folder + "/sub/g" + std::to_string(i)}) {
                    test::WriteFile(root + name, name);
                    made.push_back(name);
                }
        }
        return made;
    }

    // The list's end and the added sources, as the window hears them.
    void ListFinished() override { intakeOver = true; }
    void SourcesAdded() override { ++sourcesChanged; }

    // Starts the job thread on an empty queue; returns once its intake is over.
    void StartJob() {
        job.Start();
        ServeUntil([this] { return intakeOver.load(); });
    }

    // What start-up sends once the job's line is settled: from here on the job copies. Returns
    // once the job thread has gone through what is listed (the walked tree's own folder) and
    // waits for the rest: the walk's hold keeps the list open.
    void PrepareAndCatchUp() {
        ctx.dests.ParseDestinations(core.targets, core);
        ctx.Prepare();
        ServeUntil([this] {
            std::lock_guard<std::mutex> lock(ctx.list.ListLock);
            return ctx.list.Head() && ctx.list.Head()->done;
        });
    }

    StatusGate heldWalk;
    std::atomic<bool> intakeOver{false};
    int sourcesChanged = 0;
    JobThread job{ctx};
};

// The window accepts the hand-off and goes on answering while the tree is walked on the job's
// side; the job does not end before the walk is over, and copies every file of it.
TEST_F(AddedSourcesTest, AHandedOverTreeIsWalkedOffTheWindowThreadAndCopiedWhole) {
    const std::string tree = env.Dir() / "tree";
    const std::vector<std::string> files = MakeTree(tree, 4, 50);
    StartJob();
    core.OpenForHandOffs();
    const Sender s = Make(Job(JobMode::Copy, (Dst() + "/?").c_str()), {tree});
    for (const bus::Packet& p : s.packets)
        core.HandlePacket(p);
    EXPECT_EQ(AnswerOf(s), handoff::kAccepted);
    EXPECT_TRUE(heldWalk.Held());
    // Queued at once, and the resume record written again with it.
    EXPECT_EQ(Queued(), std::set<std::string>{tree});
    EXPECT_EQ(sourcesChanged, 1);

    core.TogglePause(true);
    EXPECT_TRUE(core.Paused());
    core.TogglePause(true);
    shows = [](const Question&) { return true; };
    std::atomic<ErrorAnswer> answered{ErrorAnswer::Skip};
    std::thread asker(
        [&] { answered = core.AskError(test::Failed(ErrorStep::Read, tree + "/d0/f0")); });
    ServeUntil([&] { return core.OpenQuestion() != nullptr; });
    core.Answer(ErrorAnswer::Retry);
    asker.join();
    EXPECT_EQ(answered, ErrorAnswer::Retry);

    PrepareAndCatchUp();
    heldWalk.Open();
    job.Join();
    EXPECT_EQ(ctx.jobState, 2);
    EXPECT_EQ(ctx.state.counters.listedFiles, files.size());
    EXPECT_EQ(ctx.state.counters.filesDone, files.size());
    for (const std::string& name : files)
        EXPECT_EQ(test::ReadFile(Dst() + "/tree" + name), name);
}

// An Abort while the job thread waits for a dropped tree's walk and another drop waits behind
// it: the walk stops at its next entry, names nothing as missing, the drop not begun is left
// out, every hold on the list is given up, and the job ends.
TEST_F(AddedSourcesTest, AnAbortDuringTheWalkOfADropStopsItAndTheJobEnds) {
    const std::string tree = env.Dir() / "tree", later = env.Dir() / "later";
    MakeTree(tree, 4, 50);
    MakeTree(later, 1, 5);
    StartJob();
    core.AddDroppedPaths({tree});
    EXPECT_TRUE(heldWalk.Held());
    core.AddDroppedPaths({later});
    PrepareAndCatchUp();
    core.Abort(0);
    core.Service();
    EXPECT_EQ(ended, std::vector<int>{0});

    heldWalk.Open();
    job.Join();
    EXPECT_NE(ctx.jobState, 2);
    EXPECT_EQ(ctx.state.counters.listedFiles, 0u);
    EXPECT_EQ(ctx.outcomes.Count(), 0u);
    EXPECT_TRUE(CloseList());
    // Both stay queued: a job saved for resume takes them along.
    EXPECT_EQ(Queued(), (std::set<std::string>{tree, later}));
    EXPECT_EQ(sourcesChanged, 2);
}

}  // namespace
}  // namespace rd

namespace rd {
namespace {

// Each kind of question comes back to its asker with the answer given for it, and the
// buffer-allocation question ends the job when no one can answer it.
TEST_F(ProgressCoreTest, EachQuestionGetsItsAnswerAndAllocationFailsSafe) {
    std::vector<Question> shown;
    shows = [&](const Question& q) {
        shown.push_back(q);
        return true;
    };
    const ErrorFacts write = test::Failed(ErrorStep::Write, "/d/f", ENOSPC);
    for (ErrorAnswer given : {ErrorAnswer::Retry, ErrorAnswer::Skip, ErrorAnswer::Heal,
                              ErrorAnswer::Abort, ErrorAnswer::AbortAndKeep})
        EXPECT_EQ(Served([&] { return core.AskError(write); }, [&] { core.Answer(given); }), given);
    for (ExistsAnswer given : {ExistsAnswer::Overwrite, ExistsAnswer::Skip, ExistsAnswer::Resume,
                               ExistsAnswer::RenameOld})
        EXPECT_EQ(Served([&] { return core.AskExists(test::Existing("/s/e", "/d/e")); },
                         [&] { core.Answer(given); }),
                  given);
    auto& allocation = static_cast<AllocationFailure&>(core);
    for (AllocationFailure::Answer given :
         {AllocationFailure::Answer::Retry, AllocationFailure::Answer::Ignore,
          AllocationFailure::Answer::Abort})
        EXPECT_EQ(Served([&] { return allocation.Ask(); }, [&] { core.Answer(given); }), given);
    ASSERT_EQ(shown.size(), 12u);
    EXPECT_EQ(shown[0].kind, QuestionKind::Error);
    EXPECT_EQ(shown[0].error.path, "/d/f");
    EXPECT_EQ(shown[5].kind, QuestionKind::Exists);
    EXPECT_EQ(shown[9].kind, QuestionKind::Allocation);
    EXPECT_EQ(core.QuestionText(shown[9]), kAllocationText);

    // No one to ask: the buffer is given up, the job not left waiting.
    shows = [](const Question&) { return false; };
    EXPECT_EQ(Served([&] { return allocation.Ask(); }), AllocationFailure::Answer::Abort);
    // A wrapper has no key for it: the job ends at once, with the wrapper told why.
    ConsoleChannel wrapper{7, [this](const Chunk& c) { return Take(c); }};
    core.Attach(ctx, &wrapper, nullptr);
    EXPECT_EQ(allocation.Ask(), AllocationFailure::Answer::Abort);
    EXPECT_FALSE(chunks.empty());
}

}  // namespace
}  // namespace rd
