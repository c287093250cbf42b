#include "engine/writeback_pace.h"

#include <algorithm>

namespace rd {

namespace {

constexpr double kNsPerSecond = 1e9;
// Shorter spans are too coarse to time; their reports are added to the next.
constexpr uint64_t kShortestSpanNs = 20'000'000;
// The estimate follows the disk with a time constant of one second: a stick that slows down
// when its cache is full is seen within a second, a single slow wait is not taken for the rate.
constexpr double kFollowNs = kNsPerSecond;

}  // namespace

void WritebackRate::Reached(uint64_t bytes, uint64_t ns, bool blocked) {
    heldBytes_ += bytes;
    heldNs_ += ns;
    heldBlocked_ = heldBlocked_ || blocked;
    if (heldNs_ < kShortestSpanNs)
        return;
    const double span = static_cast<double>(heldNs_);
    const double sample = static_cast<double>(heldBytes_) * kNsPerSecond / span;
    if (rate_ == 0)
        rate_ = sample;
    else if (heldBlocked_)
        rate_ += (sample - rate_) * span / (span + kFollowNs);
    else
        rate_ = std::max(rate_, sample);
    heldBytes_ = 0;
    heldNs_ = 0;
    heldBlocked_ = false;
}

uint64_t UnwrittenBound(uint64_t bytesPerSecond) {
    return std::clamp(bytesPerSecond, kLeastUnwritten, kMostUnwritten);
}

uint64_t UnwrittenLeft(uint64_t counted, uint64_t bytesPerSecond, uint64_t elapsedMs) {
    const double written =
        static_cast<double>(bytesPerSecond) * static_cast<double>(elapsedMs) / 1000.0;
    if (written >= static_cast<double>(counted))
        return 0;
    return counted - static_cast<uint64_t>(written);
}

uint64_t WholeMiB(uint64_t bytes) {
    constexpr uint64_t kMiB = 1ull << 20;
    return (bytes + kMiB - 1) / kMiB;
}

}  // namespace rd
