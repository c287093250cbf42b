// What a failed step does next, the same way everywhere: the error policy or the user's answer,
// the pause before a retry, the time-out that gives up retrying, and Abort, which ends the job.
#pragma once

#include <cstdint>

#include "engine/job_policy.h"
#include "engine/questions.h"

namespace rd {

struct EngineContext;

enum class SettleAction { Retry, Skip, Heal, Abort };

// One for each retry loop: the time-out runs from the loop's start or the last answer.
class ErrorSettler {
public:
    explicit ErrorSettler(EngineContext& ctx);

    // Decides about the failure in `facts`. Retry comes back after the retry pause; Abort means
    // the job is ending (the end is requested here when the answer was Abort); Heal only where
    // the step allows it.
    SettleAction Settle(const ErrorFacts& facts);
    // The step went well: the time-out starts again.
    void Restart();

private:
    EngineContext& ctx_;
    uint64_t start_;
};

// The error policy as the engine acts on it: Prompt also for a value it does not know, which would
// otherwise be asked again and again without an answer.
ErrorPolicy ActingErrorPolicy(const EngineContext& ctx);

// Ends the job from the engine's side: the writers stop retrying at once, and the window is
// asked to end the job with `code` (0 forget it, 2 keep it for resume).
void RequestJobEnd(EngineContext& ctx, int code);

}  // namespace rd
