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

// The console status line: "Current: N% Total: M%; speed; elapsed remaining; counts", empty
// while nothing is listed; thousands separators shown as spaces.
std::string ConsoleStatusLine(const EngineContext& ctx, const ProgressTexts& texts);

}  // namespace rd
