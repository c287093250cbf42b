#include "app/progress_texts.h"

#include <gtest/gtest.h>

#include "engine/engine_context.h"
#include "engine/source_queue.h"
#include "no_window.h"

namespace rd {
namespace {

using test::NoWindow;

TEST(ProgressTexts, TimeFormat) {
    EXPECT_EQ(FormatElapsed(0), "00:00.00");
    EXPECT_EQ(FormatElapsed((3600 + 120 + 3) * 1000 + 999), "01:02.03");
    EXPECT_EQ(FormatElapsed(100ull * 3600 * 1000), "100:00.00");
}

TEST(ProgressTexts, TickAndStatusLine) {
    JobPolicy policy;
    NoWindow window;
    SourceQueue queue;
    EngineContext ctx(policy, window, queue);
    JobCounters& c = ctx.state.counters;

    // Nothing listed: no percentage and no status line.
    ProgressTexts t = TickTexts(ctx, false);
    EXPECT_EQ(t.percent, "");
    EXPECT_EQ(t.bytes, "0 of 0");
    EXPECT_EQ(ConsoleStatusLine(ctx, t), "");

    c.listedBytes = 2000000;
    c.doneBytes = 500000;
    c.transferredBytes = 500000;
    c.copyTime = 10000;
    c.filesDone = 1;
    c.listedFiles = 1234;
    c.retries = 3;
    c.filePercent = 40;
    c.speed = 50;
    policy.onError = ErrorPolicy::Skip;
    t = TickTexts(ctx, false);
    EXPECT_EQ(t.percent, "25%");
    EXPECT_EQ(t.bytes, "500,000 of 2,000,000");
    EXPECT_EQ(t.files, "1 of 1,234");
    EXPECT_EQ(t.counts, "C r:3 S:0");
    EXPECT_EQ(t.elapsed, "00:00.10");
    // 1,500,000 bytes left at 50 bytes per ms: 30 s, plus the half second of rounding.
    EXPECT_EQ(t.remaining, "00:00.30");
    EXPECT_EQ(ConsoleStatusLine(ctx, t),
              "25% of 1.9 MiB, file 40%, 48.8 KiB/s, elapsed 0:10, left 0:30, C r:3 S:0");

    // Done above listed shows 100%; a duty below 100 is shown after the speed.
    c.doneBytes = 2000001;
    c.dutyPercent = 30;
    t = TickTexts(ctx, true);
    EXPECT_EQ(t.percent, "100%");
    EXPECT_EQ(t.speed, " 50 KBPS (30%)");
    // While the job ends, the percentage gives way to the wait.
    ctx.state.flags.Terminating = 3;
    EXPECT_EQ(TickTexts(ctx, false).percent, "Wait: 97");
}

TEST(ProgressTexts, CountsAreGroupedAsTheLanguageGroupsThem) {
    JobPolicy policy;
    NoWindow window;
    SourceQueue queue;
    EngineContext ctx(policy, window, queue);
    ctx.messages.SetFacts({"Deutsch", "de_DE.UTF-8", "."});
    JobCounters& c = ctx.state.counters;
    c.listedBytes = 6297456;
    c.doneBytes = 134072;
    c.listedFiles = 12000;
    const ProgressTexts t = TickTexts(ctx, false);
    EXPECT_EQ(t.bytes, "134.072 of 6.297.456");
    EXPECT_EQ(t.files, "0 of 12.000");
}

}  // namespace
}  // namespace rd
