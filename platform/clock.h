// Monotonic milliseconds, the program's tick count.
#pragma once

#include <time.h>
#include <cstdint>

namespace rd {

inline uint64_t TickMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace rd
