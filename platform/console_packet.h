// The packets between a job and its console wrapper: text carried in 8-byte chunks, and
// console lines of 79 characters.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rd {

// Packet kinds.
namespace packet {
constexpr uint8_t kHeartbeat = 0;
constexpr uint8_t kText = 1;
constexpr uint8_t kPromptHandle = 2;
constexpr uint8_t kWindowHandle = 3;
// How the job ended, sent just before the final status: "done" (everything done), "skips" (done
// with skips or failures), "failed" (nothing could be done), "nothing" (no job was run: a line,
// list or destination that could not be used).
constexpr uint8_t kResult = 4;
// A line the wrapper tells on stderr in its own name, before the result "nothing": why a stored
// job it asked for was not resumed.
constexpr uint8_t kNote = 5;
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

// The job line `line` with the wrapper's switch "Lt<threadId>" at the end of its switch field (the
// third field), so that the job reports to the wrapper's thread.
std::string WithConsoleSwitch(const std::string& line, uint32_t threadId);

}  // namespace rd
