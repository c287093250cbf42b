// Fills the settings record from the store at start-up.
#pragma once

#include <cstdint>

#include "settings/job_settings.h"

namespace rd {

class Store;

// Reads everything a job needs from the store, in this order: the installation folder, the two
// window placements, the recent folders, then the integer and text settings of
// `settings.profile`. Missing values and values of the wrong type take their defaults; nothing
// is clamped here. The job's resume slot is claimed by the job session (ResumeSlot).
void ReadAllSettings(Store& store, JobSettings& settings);

}  // namespace rd
