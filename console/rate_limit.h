// The wrapper's speed limit: `--limit` takes a rate (K, M and G are powers of 1024, as in
// KiB/s) or "0" / "none" for no limit, and becomes the job line's limit switch: the job knows
// only its steps, 16 B/s to 16 KiB/s in bytes and 16 KiB/s to 16 MiB/s in KiB.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rd {

// A rate written as a number with a unit K, M or G (optionally followed by "B", "/s" or
// "B/s"; "8M", "500k", "1.5MB/s"), in bytes per second; nullopt when it is none.
std::optional<uint64_t> ParseRate(std::string_view text);

// A step of the job's speed limit: the job line's unit letter, 'k' (KiB/s steps) or 'c' (B/s
// steps), and the index 0 to 9.
struct LimitStep {
    char unit;
    int index;
};

// The nearest step at or below a rate, in KiB/s steps and below those in B/s steps; nullopt
// below 16 B/s.
std::optional<LimitStep> LimitStepAtOrBelow(uint64_t bytesPerSecond);

// The rate of a step in bytes per second.
uint64_t StepRate(LimitStep step);

// A rate of whole units as the summaries write it: "16 B/s", "32 KiB/s", "16 MiB/s".
std::string RateText(uint64_t bytesPerSecond);

// What `--limit VALUE` asks of the job.
struct LimitChoice {
    std::string switches;  // the limit switch, "Lk8"; "Lk10" is no limit
    std::string note;      // the rate the job runs at, when it is not the one given
    std::string problem;   // why VALUE is refused; the rest is empty then
};
LimitChoice ChooseLimit(std::string_view value);

}  // namespace rd
