// The channel to an attached console wrapper: packets posted to the wrapper's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "engine/job.h"
#include "platform/console_packet.h"

namespace rd {

// Sends packets to the wrapper whose thread id the job line gave; does nothing when it is 0.
// A wrapper that no longer takes packets is gone (it was killed, or its terminal closed): the
// channel is detached from then on, so that nothing waits for it.
class ConsoleChannel : public ConsoleSink {
public:
    // `post` delivers one chunk as WMU_COMMAND to the wrapper's thread; false when the wrapper
    // is not there to take it.
    ConsoleChannel(uint32_t threadId, std::function<bool(const Chunk&)> post)
        : threadId_(threadId), post_(std::move(post)) {}
    ConsoleChannel& operator=(const ConsoleChannel& other) {
        threadId_ = other.threadId_;
        post_ = other.post_;
        gone_ = other.gone_.load();
        return *this;
    }

    bool Attached() const override { return threadId_ != 0 && !gone_; }
    void Line(const std::string& text, bool newLine) override;
    // A line that stays, padded like Line so that it covers a progress line, but never cut: a
    // path is no use cut short.
    void WholeLine(const std::string& text);
    void Send(uint8_t kind, const std::string& text);
    uint32_t ThreadId() const { return threadId_; }

private:
    uint32_t threadId_;
    std::function<bool(const Chunk&)> post_;
    // Any thread may send.
    std::atomic<bool> gone_{false};
};

}  // namespace rd
