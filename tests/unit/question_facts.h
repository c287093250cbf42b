// The facts of the engine's questions as tests pose them.
#pragma once

#include <cstdint>
#include <string>

#include "engine/questions.h"

namespace rd::test {

// `step` failed on `path` with `error`.
inline ErrorFacts Failed(ErrorStep step, const std::string& path, int error = 0) {
    ErrorFacts facts;
    facts.step = step;
    facts.path = path;
    facts.error = error;
    return facts;
}

// `destination` is there already when `source` is to be copied to it. It can be resumed when
// `resumable`, and renamed aside unless a marker says how much of it was written.
inline ExistsFacts Existing(const std::string& source, const std::string& destination,
                            bool resumable = false, bool renamable = true) {
    ExistsFacts facts;
    facts.source = source;
    facts.destination = destination;
    facts.resumable = resumable;
    facts.markerResume = !renamable;
    return facts;
}

// `destination` cannot be taken as it is; `renamed` is what a rename makes of it, `other` the
// name it folds together with, `size` and `limit` the sizes a finding compares.
inline NameFinding Finding(NameProblem problem, const std::string& destination,
                           const std::string& renamed = "", const std::string& other = "",
                           uint64_t size = 0, uint64_t limit = 0) {
    NameFinding finding;
    finding.problem = problem;
    finding.destination = destination;
    finding.renamed = renamed;
    finding.other = other;
    finding.size = size;
    finding.limit = limit;
    return finding;
}

}  // namespace rd::test
