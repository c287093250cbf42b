// Fills the settings record from the store at start-up.
#pragma once

#include <cstdint>

#include "engine/job_settings.h"

namespace rd {

class Store;

// Reads everything a job needs from the store, in this order: the installation folder, the
// job's resume slot, the two window placements, the recent folders, then the integer and text
// settings of `settings.profile`. Missing values and values of the wrong type take their
// defaults; nothing is clamped here. `seed` seeds the draw of the resume slot.
void ReadAllSettings(Store& store, JobSettings& settings, uint32_t seed);

// Draws a free resume slot: random numbers below 999 until one is not yet a value name in the
// resume key. Returns -1, and says so once per process on stderr, when every slot is taken.
int32_t DrawResumeSlot(Store& store, uint32_t seed);

}  // namespace rd
