#include "app/console_channel.h"

namespace rd {

void ConsoleChannel::Line(const std::string& text, bool newLine) {
    Send(packet::kText, ConsoleLine(text, newLine));
}

void ConsoleChannel::Send(uint8_t kind, const std::string& text) {
    if (!threadId_)
        return;
    for (const Chunk& chunk : PacketChunks(kind, text))
        post_(chunk);
}

}  // namespace rd
