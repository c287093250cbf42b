// How a job's run ended, read from its state, its counters and its outcomes: what the host
// tells the user and the console wrapper's caller.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rd {

struct EngineContext;

enum class JobEnd {
    // The copy never started.
    NotStarted,
    // Every node was done.
    Finished,
    // The job ran to its end, but some nodes were skipped or failed.
    FinishedWithSkips,
    // The job ran to its end and found nothing it could work on.
    Failed,
    // The job was ended before it got to its end.
    Aborted,
};

struct JobResult {
    JobEnd end = JobEnd::NotStarted;
    // Skips and failures counted, and how many of them name a node.
    uint32_t skips = 0;
    size_t named = 0;
};

JobResult ResultOf(const EngineContext& ctx);

}  // namespace rd
