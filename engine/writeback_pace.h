// The arithmetic of a destination's unwritten data: how fast its disk takes what the copy waited
// for, how much written data it may hold that is not yet on the disk, and how much of that is
// likely still left while the job's final sync runs.
#pragma once

#include <cstdint>

namespace rd {

// A fast disk writes this much in well under a second; more would only fill the cache.
constexpr uint64_t kMostUnwritten = 64ull << 20;
// Room for the chunk being written and the one on its way to the disk: less would have the copy
// wait for each chunk as soon as it was handed over.
constexpr uint64_t kLeastUnwritten = 8ull << 20;

// The write rate of one destination, from waits for data to reach its disk.
class WritebackRate {
public:
    // `bytes` reached the disk in the `ns` nanoseconds since the previous report. `blocked`: the
    // wait for them had to wait, so the disk set the pace; otherwise the copy did, and the disk
    // is at least that fast.
    void Reached(uint64_t bytes, uint64_t ns, bool blocked);
    // Bytes per second; 0 until measured.
    uint64_t BytesPerSecond() const { return static_cast<uint64_t>(rate_); }

private:
    double rate_ = 0;
    // Reports too close together to time are taken together.
    uint64_t heldBytes_ = 0;
    uint64_t heldNs_ = 0;
    bool heldBlocked_ = false;
};

// The most unwritten data a destination may hold: about one second of its rate, within
// kLeastUnwritten and kMostUnwritten. Before a rate is measured the least: on a slow stick,
// 64 MiB taken in at once would hold a pause or an Abort for six seconds, while on a fast disk
// the first waits at the low bound cost a few milliseconds and measure the rate that lifts it.
uint64_t UnwrittenBound(uint64_t bytesPerSecond);

// Of `counted` unwritten bytes, those still left `elapsedMs` later at `bytesPerSecond`; none
// fewer than 0, and all of them while no rate is known.
uint64_t UnwrittenLeft(uint64_t counted, uint64_t bytesPerSecond, uint64_t elapsedMs);

// Bytes as whole MiB, rounded up: data still left never shows as 0 MiB.
uint64_t WholeMiB(uint64_t bytes);

}  // namespace rd
