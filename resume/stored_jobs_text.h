// The stored jobs as text for a terminal: what `redodori --resume-list` prints, and through it
// `redodori-console --resume-list`.
#pragma once

#include <string>
#include <vector>

#include "resume/resume_records.h"

namespace rd {

// For each record its number, time and login choice, then its sources (from its list file, or
// why they are unknown) and destinations, one a line, with control characters shown as \xHH;
// "No stored jobs." when there are none.
std::string StoredJobsText(const std::vector<ResumeRecord>& records);

}  // namespace rd
