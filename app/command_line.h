// The job line: its fields, the profile switch and the switch letters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/job_policy.h"

namespace rd {

// Flags that only the job line sets; each starts at its default for every job.
struct JobFlags {
    bool SourceIsListFile = true;
    bool TargetIsListFile = false;
    bool DeleteListFiles = true;
    bool AttachToRunning = false;
    bool WaitForOtherJobs = false;
    bool ShowProgressWindow = true;
    bool KeepFileTimes = true;
    bool TreeLink = false;
    bool PerFileLink = false;
    // The job starts paused.
    bool StartPaused = false;
    // "K": the sources are checksum manifests, whose files the job checks; it has no target.
    bool CheckManifests = false;
    uint32_t ConsoleThreadId = 0;
};

// The fields of a job line "PROGRAM|SOURCE|TARGET|SWITCHES".
struct LineFields {
    std::string source;
    std::string target;
    std::string switches;
};

// The separator of the job line's fields. "/" separates path parts, so it cannot.
inline constexpr char kFieldSeparator = '|';

// Rebuilds the process's command line: argv[0], then each further argument after one space.
std::string BuildCommandLine(int argc, const char* const* argv);

// False when the line asks only for the settings dialog: it has no "|" at all, or "|||".
bool HoldsJob(std::string_view line);

// The profile the line asks for with "q1" ("network") or "q2" ("local"): the first "q" after
// the second separator that is not the line's last character decides, even when it stands in
// the target field. Nothing when no such "q" is followed by 1 or 2.
std::optional<std::string> ScanProfile(std::string_view line);

// Cuts the line into its fields; text after a fourth separator is ignored.
LineFields SplitFields(std::string_view line);

// The per-job reset before the switches: the move and delete bits of the mode word are cleared
// (its wipe passes stay) and every per-job flag takes its default.
void ResetJobState(JobPolicy& policy, JobFlags& flags);

// Applies the switch field to the job's policy (for this process only) and the per-job flags.
// Unknown letters are ignored.
void ApplySwitches(std::string_view switches, JobPolicy& policy, JobFlags& flags);

}  // namespace rd
