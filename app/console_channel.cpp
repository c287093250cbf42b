#include "app/console_channel.h"

namespace rd {

void ConsoleChannel::Line(const std::string& text, bool newLine) {
    Send(packet::kText, ConsoleLine(text, newLine));
}

void ConsoleChannel::WholeLine(const std::string& text) {
    const std::string line = ConsoleLine(text, true);
    const bool cut = line.compare(0, text.size(), text) != 0;
    Send(packet::kText, cut ? text + "\r\n" : line);
}

void ConsoleChannel::Send(uint8_t kind, const std::string& text) {
    if (!Attached())
        return;
    for (const Chunk& chunk : PacketChunks(kind, text)) {
        if (!post_(chunk)) {
            gone_ = true;
            return;
        }
    }
}

}  // namespace rd
