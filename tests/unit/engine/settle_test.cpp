// The two decisions every retry loop and every existing destination go through, case by case.
#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <thread>

#include "engine/engine_context.h"
#include "engine/error_settler.h"
#include "engine/exists_decision.h"
#include "test_host.h"
#include "test_support.h"

namespace rd {
namespace {

using enum ExistsPolicy;

// Answers with preset answers in turn (Skip when they run out) and counts the questions.
class PresetQuestions : public JobQuestions {
public:
    std::deque<ErrorAnswer> answers;
    int asked = 0;
    ErrorAnswer AskError(const ErrorFacts&) override {
        ++asked;
        if (answers.empty())
            return ErrorAnswer::Skip;
        const ErrorAnswer next = answers.front();
        answers.pop_front();
        return next;
    }
    ExistsAnswer AskExists(const ExistsFacts&) override { return ExistsAnswer::Skip; }
    NamesAnswer AskNames(const NamesFacts&) override { return NamesAnswer::Skip; }
};

struct SettleCase {
    const char* name;
    // The stored code: one outside the named ones reaches the engine as it is.
    int32_t onerror;
    ErrorStep step;
    std::vector<ErrorAnswer> answers;
    bool terminating;
    SettleAction expected;
    int asked;
    // The end the settler asked for: -1 none.
    intptr_t endCode;
};

// Cases print as their names, so that the test names do not carry the bytes of the case.
void PrintTo(const SettleCase& c, std::ostream* out) {
    *out << c.name;
}

class Settle : public ::testing::TestWithParam<SettleCase> {};

TEST_P(Settle, PolicyAnswerAndAbortGiveOneAction) {
    const SettleCase& c = GetParam();
    JobPolicy policy;
    policy.onError = static_cast<ErrorPolicy>(c.onerror);
    policy.retryDelayMs = 0;
    test::TestHost host;
    EngineContext ctx(policy, host, host.queue);
    PresetQuestions questions;
    questions.answers.assign(c.answers.begin(), c.answers.end());
    ctx.questions = &questions;
    ctx.state.flags.Terminating = c.terminating ? 1 : 0;

    EXPECT_EQ(ErrorSettler(ctx).Settle({c.step, "/d/f", {}, 5}), c.expected);
    EXPECT_EQ(questions.asked, c.asked);
    EXPECT_EQ(host.Ended(), c.endCode >= 0);
    if (c.endCode >= 0) {
        EXPECT_EQ(host.EndCode(), c.endCode);
        // The writers stop retrying at once, before the window gets to the end.
        EXPECT_NE(ctx.state.flags.Terminating, 0);
    }
}

using A = ErrorAnswer;
using S = ErrorStep;
INSTANTIATE_TEST_SUITE_P(
    Cases, Settle,
    ::testing::Values(
        SettleCase{"RetryPolicy", 1, S::Write, {}, false, SettleAction::Retry, 0, -1},
        SettleCase{"SkipPolicy", 2, S::Read, {}, false, SettleAction::Skip, 0, -1},
        SettleCase{"UnknownPolicyAsks", 7, S::Write, {A::Retry}, false, SettleAction::Retry, 1, -1},
        SettleCase{"AskedSkip", 0, S::OpenSource, {A::Skip}, false, SettleAction::Skip, 1, -1},
        SettleCase{"HealOnRead", 0, S::Read, {A::Heal}, false, SettleAction::Heal, 1, -1},
        SettleCase{
            "HealElsewhereRetries", 0, S::Write, {A::Heal}, false, SettleAction::Retry, 1, -1},
        SettleCase{"AbortEndsReaderSide", 0, S::Read, {A::Abort}, false, SettleAction::Abort, 1, 0},
        SettleCase{"AbortEndsWriterSide", 0, S::Sync, {A::Abort}, false, SettleAction::Abort, 1, 0},
        SettleCase{
            "AbortAndKeep", 0, S::Write, {A::AbortAndKeep}, false, SettleAction::Abort, 1, 2},
        SettleCase{"EndingAsksNothing", 0, S::Write, {A::Retry}, true, SettleAction::Abort, 0, -1},
        SettleCase{"EndingStopsAutoRetry", 1, S::Link, {}, true, SettleAction::Abort, 0, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettleWithoutQuestions, NoOneToAskSkipsAndTheTimeOutEndsRetrying) {
    JobPolicy policy;
    policy.retryDelayMs = 0;
    test::TestHost host;
    EngineContext ctx(policy, host, host.queue);
    // Nobody to ask: the file is left, not retried for ever.
    EXPECT_EQ(ErrorSettler(ctx).Settle({S::Write, "/d/f", {}, 5}), SettleAction::Skip);

    policy.onError = ErrorPolicy::Retry;
    policy.giveUp = GiveUp::AfterTimeout;
    policy.giveUpAfterMs = 0;
    ErrorSettler settler(ctx);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    EXPECT_EQ(settler.Settle({S::Write, "/d/f", {}, 5}), SettleAction::Skip);
    // A step that went well starts the time-out again.
    policy.giveUpAfterMs = 60000;
    settler.Restart();
    EXPECT_EQ(settler.Settle({S::Write, "/d/f", {}, 5}), SettleAction::Retry);
    EXPECT_EQ(ctx.state.counters.retries, 1u);
}

// A verification mismatch is retried as the policy says however long it lasts: the time-out
// gives up on failing reads and writes, not on bytes that differ.
TEST(SettleWithoutQuestions, TheTimeOutLeavesVerificationAlone) {
    JobPolicy policy;
    policy.retryDelayMs = 0;
    policy.onError = ErrorPolicy::Retry;
    policy.giveUp = GiveUp::AfterTimeout;
    policy.giveUpAfterMs = 0;
    test::TestHost host;
    EngineContext ctx(policy, host, host.queue);
    ErrorSettler settler(ctx);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    EXPECT_EQ(settler.Settle({S::ReadVerify, "/s/f", {}, 0}), SettleAction::Retry);
    EXPECT_EQ(settler.Settle({S::WriteVerify, "/d/f", {}, 0}), SettleAction::Retry);
    EXPECT_EQ(settler.Settle({S::Read, "/s/f", {}, 5}), SettleAction::Skip);
}

// Which failures share one cause with the files after them: a question answered Skip for such a
// cause is not asked again for the next file it reaches.
TEST(SkippedCauses, ACauseOfManyFilesIsAskedOnce) {
    test::TempDir dir;
    ErrorFacts inFolder{S::Write, dir / "a/f1", {}, EROFS};
    inFolder.folder = dir / "a";
    ErrorFacts sameFolder = inFolder;
    sameFolder.path = dir / "a/sub/f2";
    const ErrorFacts readOnly{S::Write, dir / "gone/f", {}, EROFS};
    const ErrorFacts readOnlyHere{S::Link, dir / "g", dir / "h", EROFS};
    const ErrorFacts full{S::Write, dir / "f", {}, ENOSPC};
    const ErrorFacts unreadable{S::Read, dir / "f", {}, EROFS};
    EXPECT_EQ(SkippedCauses::SharedCause(inFolder), SkippedCauses::SharedCause(sameFolder));
    EXPECT_EQ(SkippedCauses::SharedCause(readOnly), SkippedCauses::SharedCause(readOnlyHere));
    EXPECT_NE(SkippedCauses::SharedCause(readOnly), SkippedCauses::SharedCause(inFolder));
    EXPECT_NE(SkippedCauses::SharedCause(readOnly), "");
    // A full disk may still take a smaller file; a read error belongs to its one source.
    EXPECT_EQ(SkippedCauses::SharedCause(full), "");
    EXPECT_EQ(SkippedCauses::SharedCause(unreadable), "");

    JobPolicy policy;
    policy.retryDelayMs = 0;
    test::TestHost host;
    EngineContext ctx(policy, host, host.queue);
    PresetQuestions questions;
    questions.answers = {A::Retry, A::Skip};
    ctx.questions = &questions;
    // Retry asks again for the same file; Skip is remembered for the cause.
    EXPECT_EQ(ErrorSettler(ctx).Settle(inFolder), SettleAction::Retry);
    EXPECT_EQ(ErrorSettler(ctx).Settle(inFolder), SettleAction::Skip);
    EXPECT_EQ(ErrorSettler(ctx).Settle(sameFolder), SettleAction::Skip);
    EXPECT_EQ(questions.asked, 2);
    EXPECT_EQ(ErrorSettler(ctx).Settle(full), SettleAction::Skip);
    EXPECT_EQ(ErrorSettler(ctx).Settle(full), SettleAction::Skip);
    EXPECT_EQ(questions.asked, 4);
}

struct ExistsCase {
    const char* name;
    ExistsPolicy policy;
    bool resumable;
    bool markerResume;
    // Destination modified (and created) this many seconds after the source; unknown when
    // `timesKnown` is false.
    int destinationNewerBy;
    bool timesKnown;
    ExistsAction expected;
};

void PrintTo(const ExistsCase& c, std::ostream* out) {
    *out << c.name;
}

class Exists : public ::testing::TestWithParam<ExistsCase> {};

TEST_P(Exists, PolicyAndFactsDecide) {
    const ExistsCase& c = GetParam();
    ExistsFacts facts;
    facts.sourceModified = {1000, 0};
    facts.sourceCreated = {1000, 0};
    facts.destinationTimesKnown = c.timesKnown;
    facts.destinationModified = {1000 + c.destinationNewerBy, 0};
    facts.destinationCreated = {1000 + c.destinationNewerBy, 0};
    facts.resumable = c.resumable;
    facts.markerResume = c.markerResume;
    EXPECT_EQ(DecideExisting(c.policy, facts), c.expected);
}

using E = ExistsAction;
INSTANTIATE_TEST_SUITE_P(
    Cases, Exists,
    ::testing::Values(
        ExistsCase{"NoPolicyAsks", Prompt, false, false, 0, true, E::Ask},
        ExistsCase{"Overwrite", Overwrite, false, false, 0, true, E::Overwrite},
        ExistsCase{"Skip", Skip, true, false, 0, true, E::Skip},
        ExistsCase{"SkipWinsOverOverwrite", Overwrite | Skip, false, false, 0, true, E::Skip},
        ExistsCase{"Resume", TryResume, true, false, 0, true, E::Resume},
        ExistsCase{"ResumeImpossibleAsks", TryResume, false, false, 0, true, E::Ask},
        ExistsCase{"ResumeElseOverwrite", TryResume | Overwrite, false, false, 0, true,
                   E::Overwrite},
        ExistsCase{"ResumeBeforeRename", TryResume | RenameOld, true, false, 0, true, E::Resume},
        ExistsCase{"RenameOld", RenameOld, false, false, 0, true, E::RenameOld},
        ExistsCase{"MarkerNeverRenamed", RenameOld, false, true, 0, true, E::Ask},
        ExistsCase{"MarkerResumes", RenameOld | TryResume, true, true, 0, true, E::Resume},
        ExistsCase{"OlderIsOverwritten", OverwriteOlder, false, false, -5, true, E::Overwrite},
        ExistsCase{"NewerAsks", OverwriteOlder, false, false, 5, true, E::Ask},
        ExistsCase{"NewerKeptBySkip", OverwriteOlder | Skip, false, false, 5, true, E::Skip},
        ExistsCase{"SameTimeKept", OverwriteOlder | Skip, false, false, 0, true, E::Skip},
        ExistsCase{"UnknownTimesOverwrite", OverwriteOlder | Skip, false, false, 5, false,
                   E::Overwrite}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExistsBits, AnAnswersBitsStandForOneAction) {
    EXPECT_EQ(ActionFromBits(TryResume, false), E::Skip);
    EXPECT_EQ(ActionFromBits(TryResume, true), E::Resume);
    EXPECT_EQ(ActionFromBits(RenameOld | Overwrite, false), E::RenameOld);
    EXPECT_EQ(ActionFromBits(Prompt, true), E::Skip);
}

}  // namespace
}  // namespace rd
