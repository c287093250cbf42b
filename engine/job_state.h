// The counters and flags of a running job, shared by the job thread, the writers and the
// progress window.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/speed.h"

namespace rd {

struct JobCounters {
    std::atomic<uint64_t> listedBytes{0};
    std::atomic<uint32_t> listedFiles{0};
    std::atomic<uint64_t> doneBytes{0};
    // Bytes read and handed to the writers, plus sizes of files removed by a delete job.
    std::atomic<uint64_t> transferredBytes{0};
    // Transferred bytes at the last speed sample.
    std::atomic<uint64_t> sampleMark{0};
    std::atomic<uint32_t> filesDone{0};
    // Files whose every copy is whole (moved, deleted or linked, for those jobs), with their
    // bytes; and files that failed somewhere. Skipped files are in neither.
    std::atomic<uint32_t> filesCompleted{0};
    std::atomic<uint64_t> bytesCompleted{0};
    std::atomic<uint32_t> filesFailed{0};
    // Files whose copies share the source's extents (clones) instead of holding their bytes.
    std::atomic<uint32_t> filesCloned{0};
    std::atomic<uint32_t> retries{0};
    std::atomic<uint32_t> skips{0};
    std::atomic<uint32_t> filePercent{0};
    std::atomic<uint32_t> dutyPercent{100};
    // Bytes per millisecond over the last blocks.
    std::atomic<uint32_t> speed{0};
    // Milliseconds spent copying.
    std::atomic<uint32_t> copyTime{0};
};

struct JobFlagsState {
    // Read freely; written through JobState::SetPaused, which opens the gate.
    std::atomic<int32_t> Paused{0};
    std::atomic<int32_t> SkipFile{0};
    // Writers stop retrying and taking blocks; set through JobState::BeginEnd.
    std::atomic<int32_t> Terminating{0};
    // Writers inside a block write; guarded by WriterLock.
    std::atomic<int32_t> ActiveWriters{0};
    // Set through JobState::SetReady.
    std::atomic<int32_t> EngineReady{0};
};

class JobState {
public:
    JobCounters counters;
    JobFlagsState flags;
    std::mutex WriterLock;

    // The speed sample, the limiter and the speed average.
    SpeedMeter speed;

    void SetCurrentSource(std::string path);
    std::string CurrentSource() const;

    // Sleeps the retry delay (less when the job ends meanwhile) and restarts the speed sample so
    // that the pause is not counted as copy time. The retry is counted only when the job goes on:
    // an ending job retries nothing.
    void RetryPause(uint32_t retryDelayMs);
    // The same wait and restart for a pause that is no retry of the user's operation (cutting
    // back a failed write); true when the job goes on.
    bool PauseUnlessEnding(uint32_t delayMs);

    // The gate the job's threads wait at: closed while the job is paused and, for the job's
    // start, until the engine is prepared. Every change wakes the waiting threads at once.
    void SetPaused(bool paused);
    void SetReady();
    // The job is ending: writers stop retrying, and nothing waits at the gate any more.
    void BeginEnd();
    // Waits while the job is paused (with `untilReady`, also until it is prepared); returns at
    // once when the job is ending.
    void WaitAtGate(bool untilReady = false);

private:
    std::mutex gateLock_;
    std::condition_variable gate_;
    mutable std::mutex sourceLock_;
    std::string currentSource_;
};

}  // namespace rd
