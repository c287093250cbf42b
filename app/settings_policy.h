// The engine's policy made from a profile's stored values, and those values of a policy. The
// codes keep their numbers both ways: a value outside the named ones (a damaged store) reaches the
// engine as it was stored, which reads it as its policy's comments say.
#pragma once

#include <cstdint>

#include "engine/job_policy.h"
#include "settings/job_settings.h"

namespace rd {

ErrorPolicy ErrorPolicyOf(int32_t onerror);
int32_t StoredOnError(ErrorPolicy policy);
ExistsPolicy ExistsPolicyOf(int32_t onexist);
int32_t StoredOnExist(ExistsPolicy policy);
JobMode JobModeOf(int32_t delmode);
int32_t StoredDelmode(JobMode mode);
SpeedUnit SpeedUnitOf(int32_t limtip);
int32_t StoredLimtip(SpeedUnit unit);
GiveUp GiveUpOf(int32_t enskdel);
int32_t StoredEnskdel(GiveUp giveUp);
NamesPolicy NamesPolicyOf(int32_t names);
int32_t StoredNames(NamesPolicy policy);
ManifestPolicy ManifestPolicyOf(int32_t manifest);
int32_t StoredManifest(ManifestPolicy policy);

// A job's policy from the profile's values in `settings`; a switch is on for any value but 0.
JobPolicy PolicyOf(const JobSettings& settings);

// Brings the profile's values in `settings` up to `policy`, a switch stored as 0 or 1: what the
// settings dialog shows and the console wrapper's summary tells.
void RecordPolicy(const JobPolicy& policy, JobSettings& settings);

}  // namespace rd
