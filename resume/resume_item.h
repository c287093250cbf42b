// What a resume pop-up does on its ticks, without the window: it starts one attempt at a time
// on a thread of its own, counts them, shows the wait, and ends when an attempt ended the item
// or the user cancelled it. A running attempt is never interrupted: a cancelled item waits for
// it before it goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "resume/resume_attempt.h"

namespace rd {

class ResumeItem {
public:
    using Attempt = std::function<AttemptResult()>;

    ResumeItem(Attempt attempt, uint64_t createdMs);
    // Waits for a running attempt.
    ~ResumeItem();
    ResumeItem(const ResumeItem&) = delete;
    ResumeItem& operator=(const ResumeItem&) = delete;

    struct View {
        // What the status line says, in English; `kind` and `waitedSeconds` let a window say it
        // in its own language.
        std::string status;
        enum class Kind { None, Waiting, Canceling, Problem } kind = Kind::None;
        uint64_t waitedSeconds = 0;
        bool cancelEnabled = true;
        // The item is over: its timer stops and its window goes.
        bool destroy = false;
    };

    // The timer's tick (also on show).
    View Tick(uint64_t nowMs);
    // Cancel: no further attempt; the tick follows.
    View Cancel(uint64_t nowMs);

    int Attempts() const { return attempts_; }
    // An attempt's thread is still at work.
    bool AttemptRunning() const { return worker_.joinable() && !workerDone_; }
    // An attempt ran the record's command.
    bool Started() const { return started_; }
    // An attempt found the record cannot be resumed; the item then stays, saying why, until it
    // is cancelled.
    const std::string& Problem() const { return problem_; }

private:
    Attempt attempt_;
    uint64_t createdMs_;
    std::thread worker_;
    std::atomic<bool> workerDone_{false};
    AttemptResult result_;  // written by the worker before workerDone_
    int attempts_ = 0;
    bool finished_ = false;
    bool cancelEnabled_ = true;
    bool started_ = false;
    std::string problem_;
};

}  // namespace rd
