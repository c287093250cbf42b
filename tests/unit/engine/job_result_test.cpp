#include "engine/job_result.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/engine_context.h"
#include "engine/source_queue.h"
#include "test_host.h"

namespace rd {
namespace {

// How a job that ran to its end is judged: clean only when nothing was skipped or failed,
// whether or not the skip counter moved. A moved source that stayed, or metadata that could not
// be given, is no skip, yet the job did not do all it was asked.
TEST(JobResult, AnythingLeftUndoneIsNoCleanEnd) {
    struct Case {
        const char* name;
        std::function<void(EngineContext&)> happen;
        JobEnd expected;
    } cases[] = {
        {"Nothing", [](EngineContext&) {}, JobEnd::Finished},
        {"ASkip", [](EngineContext& c) { c.Report(Skipped("/s/a", OutcomeCause::UserSkipped)); },
         JobEnd::FinishedWithSkips},
        {"AFailure",
         [](EngineContext& c) {
             c.Report(Failed("/s/a", OutcomeCause::OperationFailed, 5, Operation::Write));
         },
         JobEnd::FinishedWithSkips},
        {"AMovedSourceThatStayed",
         [](EngineContext& c) {
             c.outcomes.Report(Failed("/s/a", OutcomeCause::CannotRemove, 13));
         },
         JobEnd::FinishedWithSkips},
        {"MetadataNotKept",
         [](EngineContext& c) { c.Report(Failed("/d/a", OutcomeCause::MetadataNotKept, 95)); },
         JobEnd::FinishedWithSkips},
        {"ACopyLeftForResume",
         [](EngineContext& c) {
             c.outcomes.Report(Skipped("/s/a", OutcomeCause::LeftForResume, "/d/a"));
         },
         JobEnd::FinishedWithSkips},
        {"AFailedFileOnly", [](EngineContext& c) { c.FileEnded(FileEnd::Failed, 0); },
         JobEnd::FinishedWithSkips},
    };
    for (const Case& c : cases) {
        JobPolicy policy;
        test::TestHost host;
        EngineContext ctx(policy, host, host.queue);
        ctx.state.counters.listedFiles = 1;
        ctx.jobState = 2;
        c.happen(ctx);
        EXPECT_EQ(ResultOf(ctx).end, c.expected) << c.name;
        // The metadata and the removal are named, but never counted as skips.
        if (std::string(c.name) == "AMovedSourceThatStayed" ||
            std::string(c.name) == "MetadataNotKept") {
            EXPECT_EQ(ctx.state.counters.skips, 0u) << c.name;
        }
    }
}

}  // namespace
}  // namespace rd
