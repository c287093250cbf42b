#include "engine/job_state.h"

#include <chrono>
#include <thread>

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
    std::this_thread::sleep_for(std::chrono::milliseconds(retryDelayMs));
    ++counters.retries;
    speed.ResetSamples();
}

}  // namespace rd
