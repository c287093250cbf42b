#include "engine/job_state.h"

#include <chrono>

#include "platform/clock.h"

namespace rd {

void JobState::SetCurrentSource(std::string path) {
    std::lock_guard<std::mutex> lock(sourceLock_);
    currentSource_ = std::move(path);
}

std::string JobState::CurrentSource() const {
    std::lock_guard<std::mutex> lock(sourceLock_);
    return currentSource_;
}

void JobState::RetryPause(uint32_t retryDelayMs) {
    if (PauseUnlessEnding(retryDelayMs))
        ++counters.retries;
}

bool JobState::PauseUnlessEnding(uint32_t delayMs) {
    bool ending;
    {
        std::unique_lock<std::mutex> lock(gateLock_);
        ending = gate_.wait_for(lock, std::chrono::milliseconds(delayMs),
                                [this] { return flags.Terminating != 0; });
    }
    speed.ResetSamples();
    return !ending;
}

void JobState::SetPaused(bool paused) {
    {
        std::lock_guard<std::mutex> lock(gateLock_);
        flags.Paused = paused ? 1 : 0;
    }
    gate_.notify_all();
}

void JobState::SetReady() {
    {
        std::lock_guard<std::mutex> lock(gateLock_);
        flags.EngineReady = 1;
    }
    gate_.notify_all();
}

void JobState::BeginEnd() {
    {
        // Under both locks: a writer that checks the flag under WriterLock sees it at once, and
        // a thread about to wait at the gate cannot miss it.
        std::lock_guard<std::mutex> writers(WriterLock);
        std::lock_guard<std::mutex> lock(gateLock_);
        if (flags.Terminating == 0)
            flags.Terminating = 1;
    }
    gate_.notify_all();
}

void JobState::WaitAtGate(bool untilReady) {
    const auto open = [&] {
        return flags.Terminating != 0 ||
               (flags.Paused == 0 && (!untilReady || flags.EngineReady != 0));
    };
    // Looked at first without the lock, as every block and small file passes here: a gate
    // that closes just after is as if it had closed just after the lock was taken.
    if (open())
        return;
    std::unique_lock<std::mutex> lock(gateLock_);
    if (open())
        return;
    const uint64_t pausedAt = TickMs();
    gate_.wait(lock, open);
    lock.unlock();
    // The block under way is limited as if the pause had not been.
    speed.Exclude(TickMs() - pausedAt);
}

}  // namespace rd
