// The facts of the engine's questions as tests pose them.
#pragma once

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

}  // namespace rd::test
