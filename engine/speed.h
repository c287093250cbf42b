// The speed sample taken at every published block, the speed limiter and the speed average.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "engine/job_policy.h"

namespace rd {

struct JobCounters;

// Time source of the limiter, replaceable in tests.
class LimiterClock {
public:
    virtual ~LimiterClock() = default;
    virtual uint64_t NowMs() = 0;
    virtual void SleepMs(uint32_t ms) = 0;
};

// The system's monotonic clock.
LimiterClock& SystemLimiterClock();

// The rate of a `splim` index 0-9: 16 ... 16384 (Kbps or bps by `limtip`).
uint32_t RateStep(int32_t splim);

class SpeedMeter {
public:
    explicit SpeedMeter(LimiterClock& clock = SystemLimiterClock()) : clock_(&clock) {}

    // Takes its time from `clock` from now on (tests).
    void SetClock(LimiterClock& clock) { clock_ = &clock; }

    // A block is about to be read while no sample is taken yet (the first block, or the one
    // after a reset): under a limit (`position` 0-9) it is measured from now, so that no block
    // escapes the limit.
    void BlockStarts(int32_t position);

    // At every publish, before the hand-off: takes the sample since the last one, with the
    // `pending` bytes of the block being published that the counters do not hold yet, sleeps as
    // the limit asks (`position` 0-9 in `unit`), sets the duty percent, moves the sample mark
    // and updates the speed average. The sleep ends early once `stop` is set: an abort does
    // not wait for a limit's pause, which for a large block can last minutes.
    void Sample(JobCounters& counters, int32_t position, SpeedUnit unit, uint32_t pending = 0,
                const std::atomic<int32_t>* stop = nullptr);

    // The job waited `ms` at its pause: that time is neither copy time nor limited time.
    void Exclude(uint64_t ms);

    // Forgets both samples, so that the next block is neither limited nor timed with a pause
    // (retry pause, error prompt) in it.
    void ResetSamples();

    // Adds (bytes, ms) to the last 33 samples and returns bytes per millisecond over them.
    uint32_t UpdateSpeedAverage(uint32_t bytes, uint32_t ms, JobCounters& counters);

private:
    LimiterClock* clock_;
    // Guards last_, previous_ and lastSleep_: ResetSamples may come from another thread.
    std::mutex timingLock_;
    uint64_t last_ = 0;
    uint64_t previous_ = 0;
    uint64_t lastSleep_ = 0;
    std::mutex speedLock_;
    uint32_t bytes_[33] = {};
    uint32_t ms_[33] = {};
};

}  // namespace rd
