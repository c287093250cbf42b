// What a failed step does next, the same way everywhere: the error policy or the user's answer,
// the pause before a retry, the time-out that gives up retrying, and Abort, which ends the job.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "engine/job_policy.h"
#include "engine/questions.h"

namespace rd {

struct EngineContext;

enum class SettleAction { Retry, Skip, Heal, Abort };

// The causes the user answered Skip for that hold for every file they reach: a destination
// folder that could not be made, a destination file system mounted read-only. Later files with
// the same cause are skipped without asking again. Any thread.
class SkippedCauses {
public:
    // The cause behind `facts` when it holds for more than one file; empty otherwise.
    static std::string SharedCause(const ErrorFacts& facts);
    bool Has(const std::string& cause) const;
    void Add(const std::string& cause);

private:
    mutable std::mutex lock_;
    std::set<std::string> causes_;
};

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
