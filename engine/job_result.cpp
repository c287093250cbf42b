#include "engine/job_result.h"

#include "engine/engine_context.h"

namespace rd {

JobResult ResultOf(const EngineContext& ctx) {
    JobResult result;
    const JobCounters& c = ctx.state.counters;
    result.skips = c.skips;
    result.named = ctx.outcomes.Count();
    switch (ctx.jobState.load()) {
        case 0: result.end = JobEnd::NotStarted; break;
        case 1: result.end = JobEnd::Aborted; break;
        default:
            // Nothing listed and something named: every source was missing or unreachable.
            if (c.listedFiles == 0 && result.named > 0)
                result.end = JobEnd::Failed;
            else if (result.skips > 0 || result.named > 0 || c.filesFailed > 0)
                result.end = JobEnd::FinishedWithSkips;
            else
                result.end = JobEnd::Finished;
            break;
    }
    return result;
}

}  // namespace rd
