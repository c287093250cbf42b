// The channel to an attached console wrapper: text packets carried in 8-byte chunks, console
// lines of 79 characters, and the final status.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/window_link.h"

namespace rd {

// Packet kinds.
namespace packet {
constexpr uint8_t kHeartbeat = 0;
constexpr uint8_t kText = 1;
constexpr uint8_t kPromptHandle = 2;
constexpr uint8_t kWindowHandle = 3;
}  // namespace packet

// One chunk: bytes 0-3 and 4-7 of the packet, each packed big-endian.
using Chunk = std::pair<uint64_t, int64_t>;

// The chunks of a packet: the kind byte, the text, a zero byte, then zeros up to a multiple of
// 8 bytes. A text byte of zero ends the text early.
std::vector<Chunk> PacketChunks(uint8_t kind, const std::string& text);

// Rebuilds packets from chunks in arrival order.
class PacketReader {
public:
    // Adds a chunk; returns true when it completed a packet, which `kind` and `text` then hold.
    bool Add(const Chunk& chunk, uint8_t& kind, std::string& text);

private:
    std::string pending_;
};

// A console line: padded with spaces and cut to 79 characters, then "\r" and, with `newLine`,
// "\n".
std::string ConsoleLine(const std::string& text, bool newLine);

// Sends packets to the wrapper whose thread id the job line gave; does nothing when it is 0.
class ConsoleChannel : public ConsoleSink {
public:
    // `post` delivers one chunk as WMU_COMMAND to the wrapper's thread.
    ConsoleChannel(uint32_t threadId, std::function<void(const Chunk&)> post)
        : threadId_(threadId), post_(std::move(post)) {}

    bool Attached() const override { return threadId_ != 0; }
    void Line(const std::string& text, bool newLine) override;
    void Send(uint8_t kind, const std::string& text);
    uint32_t ThreadId() const { return threadId_; }

private:
    uint32_t threadId_;
    std::function<void(const Chunk&)> post_;
};

}  // namespace rd
