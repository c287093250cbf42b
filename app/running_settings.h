// The settings dialog's OK: what its fields give the running job and the program.
#pragma once

#include "engine/job_policy.h"
#include "settings/job_settings.h"
#include "settings/settings_fields.h"

namespace rd {

class JobState;

// The fields become the running job's policy and the program's skin and language. The job mode
// word keeps its move and delete bits; with `copyOptionsLocked` (the copy has started) the burst
// modes and parallel read/write keep their running values. `state`, when there is a job, is held
// paused while the values change and left paused or running as it was.
void ApplyToRunningJob(const SettingsFields& fields, bool copyOptionsLocked, JobPolicy& policy,
                       JobSettings& settings, JobState* state);

// What the dialog shows for the running job: the settings with their job values from `policy`.
SettingsFields FieldsFromRunningJob(const JobPolicy& policy, const JobSettings& settings,
                                    const ShellValues& shell);

}  // namespace rd
