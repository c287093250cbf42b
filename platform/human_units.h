// Sizes, speeds and times as a person reads them on a terminal, and speed limits given as a
// rate ("8M") turned into the limit steps the job knows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rd {

// "512 B", "4.0 KiB", "1.5 MiB", "2.3 GiB", "1.1 TiB".
std::string HumanBytes(uint64_t bytes);

// A speed in bytes per second: "512 B/s", "340 KB/s", "3.4 MB/s", "1.2 GB/s" (powers of 1000).
std::string HumanRate(uint64_t bytesPerSecond);

// A time: "0:05", "12:34", "1:02:03".
std::string HumanDuration(uint64_t ms);

// A rate written as a number with a unit K, M or G (powers of 1024, optionally followed by "B",
// "/s" or "B/s"; "8M", "500k", "1.5MB/s"), in bytes per second; nullopt when it is none.
std::optional<uint64_t> ParseRate(std::string_view text);

// The speed-limit switch letter and step index for a rate: the nearest step at or below it,
// in KB/s steps (16 to 16384 KiB/s) and below those in B/s steps (16 to 16384 B/s); nullopt
// below 16 B/s.
struct LimitStep {
    char unit;  // 'k' (KB/s steps) or 'c' (B/s steps), the job line's switch letters
    int index;  // 0 to 9
};
std::optional<LimitStep> LimitStepAtOrBelow(uint64_t bytesPerSecond);

}  // namespace rd
