#include "app/running_settings.h"

#include "app/settings_policy.h"
#include "engine/job_state.h"

namespace rd {

void ApplyToRunningJob(const SettingsFields& f, bool copyOptionsLocked, JobPolicy& p,
                       JobSettings& s, JobState* state) {
    // The copy threads wait at their gate while the values change, so that no decision sees
    // half of them.
    const bool wasPaused = state && state->flags.Paused != 0;
    if (state && !wasPaused)
        state->SetPaused(true);
    p.mode = WithWipePasses(p.mode, f.wipePasses);
    p.onError = ErrorPolicyOf(f.onError);
    p.onExist = ExistsPolicyOf(OnExistOf(f));
    p.names = NamesPolicyOf(f.names);
    p.manifest = ManifestPolicyOf(f.manifest);
    p.speedUnit = SpeedUnitOf(LimtipOfUnitEntry(f.unitEntry));
    p.history = f.hist;
    p.giveUpAfterMs = f.giveUpAfter;
    p.giveUp = f.giveUp ? GiveUp::AfterTimeout : GiveUp::Never;
    if (!copyOptionsLocked) {
        p.readBurst = f.readBurst;
        p.writeBurst = f.writeBurst;
        p.parallel = f.parallel;
    }
    p.sound = f.sound;
    p.openTargets = f.openTargets;
    p.shutdown = f.shutdown;
    p.resume = f.resume;
    p.verify = f.verify;
    p.reserve = f.reserve;
    p.speedLimit = f.speedLimit;
    p.bufferSize = f.bufferSize;
    p.retryDelayMs = f.retryDelay;
    p.shutdownDelay = f.shutdownDelay;
    p.soundPath = f.soundPath;
    s.Skin = f.skin;
    s.Lngname = f.language;
    if (state && !wasPaused)
        state->SetPaused(false);
}

SettingsFields FieldsFromRunningJob(const JobPolicy& policy, const JobSettings& settings,
                                    const ShellValues& shell) {
    JobSettings running = settings;
    RecordPolicy(policy, running);
    return FieldsFromSettings(running, shell);
}

}  // namespace rd
