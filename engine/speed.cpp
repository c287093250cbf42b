#include "engine/speed.h"

#include <errno.h>
#include <time.h>

#include <algorithm>
#include <cstring>

#include "engine/job_state.h"
#include "platform/clock.h"

namespace rd {

namespace {

constexpr int32_t kLimitSteps = 10;
constexpr uint32_t kRateSteps[kLimitSteps] = {16, 32, 128, 256, 512, 1024, 2048, 4096, 8192, 16384};

class MonotonicClock : public LimiterClock {
public:
    uint64_t NowMs() override { return TickMs(); }

    void SleepMs(uint32_t ms) override {
        timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        timespec rest{};
        while (nanosleep(&wait, &rest) != 0 && errno == EINTR)
            wait = rest;
    }
};

uint32_t ClampTo32(uint64_t value) {
    return static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX));
}

}  // namespace

LimiterClock& SystemLimiterClock() {
    static MonotonicClock clock;
    return clock;
}

uint32_t RateStep(int32_t splim) {
    return splim >= 0 && splim < kLimitSteps ? kRateSteps[splim] : 0;
}

void SpeedMeter::BlockStarts(int32_t position) {
    if (position < 0 || position >= kLimitSteps)
        return;
    std::lock_guard<std::mutex> lock(timingLock_);
    if (last_ == 0)
        last_ = clock_->NowMs();
}

void SpeedMeter::Exclude(uint64_t ms) {
    std::lock_guard<std::mutex> lock(timingLock_);
    if (last_ != 0)
        last_ += ms;
}

void SpeedMeter::Sample(JobCounters& counters, int32_t position, SpeedUnit unit, uint32_t pending,
                        const std::atomic<int32_t>* stop) {
    // A block whose publish failed was sampled but never transferred: the mark only grows.
    const uint64_t sampled = counters.transferredBytes + pending;
    const uint64_t mark = counters.sampleMark;
    const uint32_t bytes = static_cast<uint32_t>(sampled > mark ? sampled - mark : 0);
    uint64_t elapsed;
    uint64_t sleep = 0;
    {
        // The new timing state is settled before sleeping, so that a ResetSamples arriving
        // during the sleep is not undone afterwards.
        std::lock_guard<std::mutex> lock(timingLock_);
        previous_ = last_;
        last_ = clock_->NowMs();
        elapsed = previous_ != 0 && last_ > previous_ ? last_ - previous_ : 1;
        uint64_t duty = 100;
        // A block that took no time at all in percent mode leaves the shown duty as it was.
        bool dutyKnown = true;
        if (position >= 0 && position < kLimitSteps && previous_ != 0) {
            if (unit == SpeedUnit::Percent) {
                const uint64_t pct = static_cast<uint64_t>(position + 1) * 10;
                // Elapsed covers the previous sleep too; only the time spent working counts.
                const uint64_t work = elapsed >= lastSleep_ ? elapsed - lastSleep_ : elapsed;
                sleep = (100 / pct - 1) * work;
                lastSleep_ = sleep;
                dutyKnown = work + sleep != 0;
                if (dutyKnown)
                    duty = work * 100 / (work + sleep);
            } else {
                const uint64_t limit =
                    uint64_t{RateStep(position)} * (unit == SpeedUnit::Kbps ? 1024 : 1);
                const uint64_t rate = uint64_t{bytes} * 1000 / elapsed;
                if (rate > limit) {
                    // Rounded up: the sleeps of many blocks never add up to less than the limit.
                    const uint64_t target = (uint64_t{bytes} * 1000 + limit - 1) / limit;
                    if (elapsed < target) {
                        lastSleep_ = target - elapsed;
                        sleep = lastSleep_;
                        duty = elapsed * 100 / target;
                        elapsed = target;
                        // The next sample measures from the end of this sleep.
                        last_ += lastSleep_;
                    }
                }
            }
        }
        if (dutyKnown)
            counters.dutyPercent = static_cast<uint32_t>(duty);
    }
    // Slept in slices when something may end it early.
    const uint64_t slice = stop ? 100 : UINT32_MAX;
    while (sleep > 0 && !(stop && stop->load())) {
        const uint32_t step = ClampTo32(std::min(sleep, slice));
        clock_->SleepMs(step);
        sleep -= step;
    }
    counters.sampleMark = std::max(mark, sampled);
    UpdateSpeedAverage(bytes, ClampTo32(elapsed), counters);
}

void SpeedMeter::ResetSamples() {
    std::lock_guard<std::mutex> lock(timingLock_);
    last_ = 0;
    previous_ = 0;
}

uint32_t SpeedMeter::UpdateSpeedAverage(uint32_t bytes, uint32_t ms, JobCounters& counters) {
    std::lock_guard<std::mutex> lock(speedLock_);
    constexpr size_t kSamples = sizeof(bytes_) / sizeof(bytes_[0]);
    std::memmove(bytes_, bytes_ + 1, (kSamples - 1) * sizeof(bytes_[0]));
    std::memmove(ms_, ms_ + 1, (kSamples - 1) * sizeof(ms_[0]));
    bytes_[kSamples - 1] = bytes;
    ms_[kSamples - 1] = ms;
    uint64_t byteSum = 0;
    uint64_t msSum = 0;
    for (size_t i = 0; i < kSamples; ++i) {
        byteSum += bytes_[i];
        msSum += ms_[i];
    }
    if (msSum != 0)
        counters.speed = ClampTo32(byteSum / msSum);
    return counters.speed;
}

}  // namespace rd
