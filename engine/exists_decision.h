// What to do with a destination that already exists, decided from the `onexist` policy and the
// facts probed about both files; no file is touched here.
#pragma once

#include <cstdint>

#include "engine/job_policy.h"
#include "engine/questions.h"

namespace rd {

enum class ExistsAction { Ask, Overwrite, Skip, Resume, RenameOld };

ExistsAction DecideExisting(ExistsPolicy policy, const ExistsFacts& facts);

// The action an `onexist` bit set stands for (a policy, or the bits of an answer).
ExistsAction ActionFromBits(ExistsPolicy bits, bool resumable);

}  // namespace rd
