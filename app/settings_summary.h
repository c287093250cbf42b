// The settings summary a console wrapper shows when a job starts, and its block of settings.
#pragma once

#include <string>

#include "engine/job_policy.h"

namespace rd {

// The label of a speed-limit setting: "50%", "512 Kbps", "16384 bps", or " None" for index 10.
// Empty for an index outside 0 to 10.
std::string SpeedLimitLabel(int32_t limtip, int32_t splim);

// The label of a buffer-size index: the settings dialog's caption, empty outside 0 to 10.
std::string BufferSizeLabel(int32_t bufsz);

// The job's policy after the switches, between "***Current settings***" and a line of stars;
// lines end in "\r\n", the last one in nothing.
std::string SettingsBlock(const JobPolicy& policy);

// What a console wrapper shows when the job starts: the program's line, the block, and the note
// that the list is made, lines ending in "\r\n", the last one in "\r".
std::string SettingsSummary(const JobPolicy& policy);

}  // namespace rd
