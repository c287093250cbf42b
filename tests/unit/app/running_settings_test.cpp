// The settings dialog's OK and what the dialog shows while a job runs: the values reach the very
// policy the engine reads, and the policy's changes reach the dialog.
#include "app/running_settings.h"

#include <gtest/gtest.h>

#include "app/settings_policy.h"
#include "engine/engine_context.h"
#include "engine/error_settler.h"
#include "engine/job_state.h"
#include "no_window.h"

namespace rd {
namespace {

using test::NoWindow;

// A dialog showing everything that is not a default.
SettingsFields Changed() {
    SettingsFields f;
    f.speedLimit = 3;
    f.unitEntry = unit_entry::kBps;
    f.bufferSize = 9;
    f.resume = f.readBurst = f.writeBurst = f.parallel = f.verify = f.reserve = true;
    f.hist = false;
    f.language = "english.lng";
    f.skin = "Blue";
    f.wipePasses = 2;
    f.sound = f.openTargets = f.shutdown = true;
    f.soundPath = "/home/me/done.wav";
    f.shutdownDelay = 12;
    f.onError = 1;
    f.retryDelay = 250;
    f.giveUp = true;
    f.giveUpAfter = 9000;
    f.existChoice = onexist::kRenameOld;
    f.tryResume = f.overwriteOlder = true;
    f.names = names::kSkip;
    f.manifest = manifest::kSha256;
    return f;
}

TEST(RunningSettings, OkGivesTheRunningJobEveryValue) {
    for (bool locked : {false, true}) {
        JobPolicy p;
        p.mode = JobMode::Move;
        JobSettings settings;
        JobState state;
        ApplyToRunningJob(Changed(), locked, p, settings, &state);
        JobSettings s;
        RecordPolicy(p, s);
        EXPECT_EQ(s.delmode, mode::kMove | 4);
        EXPECT_EQ(s.onerror, 1);
        EXPECT_EQ(s.onexist, 8 | 4 | 16);
        EXPECT_EQ(p.names, NamesPolicy::Skip);
        EXPECT_EQ(p.manifest, ManifestPolicy::Sha256);
        EXPECT_EQ(s.limtip, limit_unit::kBps);
        EXPECT_EQ(
            (std::vector<int32_t>{s.splim, s.bufsz, s.hist, s.skdel, s.enskdel, s.snden, s.popup,
                                  s.shutd, s.resume, s.encrc, s.resfsz, s.rtdel, s.sddel}),
            (std::vector<int32_t>{3, 9, 0, 9000, 1, 1, 1, 1, 1, 1, 1, 250, 12}));
        // Locked, the copy-only options keep their running values.
        const int32_t copyOnly = locked ? 0 : 1;
        EXPECT_EQ((std::vector<int32_t>{s.readburst, s.writeburst, s.parcopy}),
                  (std::vector<int32_t>(3, copyOnly)));
        EXPECT_EQ(s.sndpath, "/home/me/done.wav");
        EXPECT_EQ(settings.Skin + settings.Lngname, "Blueenglish.lng");
        EXPECT_EQ(state.flags.Paused, 0);
    }
    // A paused job stays paused.
    JobPolicy p;
    JobSettings s;
    JobState state;
    state.SetPaused(true);
    ApplyToRunningJob(SettingsFields{}, false, p, s, &state);
    EXPECT_EQ(state.flags.Paused, 1);
    // Without a job (the settings-only start) OK changes the policy alone.
    SettingsFields verify;
    verify.verify = true;
    ApplyToRunningJob(verify, false, p, s, nullptr);
    EXPECT_TRUE(p.verify);
}

// The dialog's OK changes the policy the running engine decides with, at its next decision.
TEST(RunningSettings, TheEngineFollowsOkAtOnce) {
    JobPolicy policy;
    NoWindow window;
    SourceQueue queue;
    EngineContext ctx(policy, window, queue);
    const ErrorFacts failed{ErrorStep::Write, "/d/f", {}, 5};
    // Prompting with no one to ask leaves the file.
    EXPECT_EQ(ErrorSettler(ctx).Settle(failed), SettleAction::Skip);
    JobSettings settings;
    SettingsFields retry = FieldsFromRunningJob(policy, settings, {});
    retry.onError = onerror::kRetry;
    ApplyToRunningJob(retry, true, policy, settings, &ctx.state);
    EXPECT_EQ(ErrorSettler(ctx).Settle(failed), SettleAction::Retry);
}

// What the dialog shows is what the job follows now: an "… all" answer or a menu toggle since
// the job started is there, the values read from the store are not.
TEST(RunningSettings, TheDialogShowsTheRunningPolicy) {
    JobSettings settings;
    settings.onerror = onerror::kPrompt;
    settings.onexist = onexist::kSkip;
    settings.Skin = "Blue";
    JobPolicy policy = PolicyOf(settings);
    policy.onError = ErrorPolicy::Retry;
    policy.onExist = ExistsPolicy::Overwrite;
    policy.history = false;
    const SettingsFields shown = FieldsFromRunningJob(policy, settings, {});
    EXPECT_EQ(shown.onError, onerror::kRetry);
    EXPECT_EQ(shown.existChoice, onexist::kOverwrite);
    EXPECT_FALSE(shown.hist);
    EXPECT_EQ(shown.skin, "Blue");
}

}  // namespace
}  // namespace rd
