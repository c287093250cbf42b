// Small synchronisation helpers with the semantics the engine is written against.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace rd {

// An auto-reset event: Set() releases exactly one waiter (or the next one to wait), after
// which the event is non-signalled again.
class AutoResetEvent {
public:
    explicit AutoResetEvent(bool signalled = false) : signalled_(signalled) {}

    void Set() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            signalled_ = true;
        }
        cv_.notify_one();
    }

    void Reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = false;
    }

    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return signalled_; });
        signalled_ = false;
    }

    // Returns false when the time ran out first.
    bool WaitFor(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!cv_.wait_for(lock, timeout, [this] { return signalled_; }))
            return false;
        signalled_ = false;
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;
};

}  // namespace rd
