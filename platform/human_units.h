// Sizes, speeds and times as a person reads them on a terminal, all in powers of 1024 as the
// speed limits are given.
#pragma once

#include <cstdint>
#include <string>

namespace rd {

// "512 B", "4.0 KiB", "1.5 MiB", "2.3 GiB", "1.1 TiB".
std::string HumanBytes(uint64_t bytes);

// A speed in bytes per second: "512 B/s", "340 KiB/s", "3.4 MiB/s", "1.2 GiB/s".
std::string HumanRate(uint64_t bytesPerSecond);

// A time: "0:05", "12:34", "1:02:03".
std::string HumanDuration(uint64_t ms);

}  // namespace rd
