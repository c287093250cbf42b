// The texts the progress display shows at each tick, without the window.
#pragma once

#include <cstdint>
#include <string>

namespace rd {

struct EngineContext;

// Milliseconds as "hh:mm.ss": whole hours (any number of digits), minutes, seconds, truncated.
std::string FormatElapsed(uint64_t ms);

// The figures of one tick.
struct ProgressTexts {
    std::string percent;    // Label1
    std::string bytes;      // Label4: "done of listed"
    std::string files;      // Label11
    std::string speed;      // Label6
    std::string elapsed;    // Label8
    std::string remaining;  // Label9
    std::string counts;     // Label7: "C r:0 s:0"
};

// The figures after adding the time since `lastTick` to the copy time.
ProgressTexts TickTexts(EngineContext& ctx, bool averageSpeed);

// The console status line: "25% of 1.9 MiB, file 40%, 48.8 KiB/s, elapsed 0:10, left 0:30,
// C r:3 S:0", empty while nothing is listed.
std::string ConsoleStatusLine(const EngineContext& ctx, const ProgressTexts& texts);

}  // namespace rd
