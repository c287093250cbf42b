#include "platform/console_packet.h"

namespace rd {

namespace {

uint32_t Pack(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
    return v;
}

void Unpack(uint32_t v, std::string& out) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

}  // namespace

std::vector<Chunk> PacketChunks(uint8_t kind, const std::string& text) {
    std::string bytes(1, static_cast<char>(kind));
    bytes += text.substr(0, text.find('\0'));
    bytes.push_back('\0');
    while (bytes.size() % 8)
        bytes.push_back('\0');
    std::vector<Chunk> chunks;
    for (size_t at = 0; at < bytes.size(); at += 8)
        chunks.emplace_back(Pack(bytes, at), static_cast<int64_t>(Pack(bytes, at + 4)));
    return chunks;
}

bool PacketReader::Add(const Chunk& chunk, uint8_t& kind, std::string& text) {
    std::string bytes;
    Unpack(static_cast<uint32_t>(chunk.first), bytes);
    Unpack(static_cast<uint32_t>(chunk.second), bytes);
    pending_ += bytes;
    // The first chunk whose eighth byte is zero ends the packet.
    if (bytes[7] != '\0')
        return false;
    kind = static_cast<uint8_t>(pending_[0]);
    text = pending_.substr(1);
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    pending_.clear();
    return true;
}

std::string ConsoleLine(const std::string& text, bool newLine) {
    std::string line = text.substr(0, 79);
    line.resize(79, ' ');
    line += newLine ? "\r\n" : "\r";
    return line;
}

std::string WithConsoleSwitch(const std::string& line, uint32_t threadId) {
    size_t at = 0;
    for (int separators = 0; at < line.size(); ++at) {
        if (line[at] == '|' && ++separators == 4)
            break;
    }
    std::string result = line;
    result.insert(at, "Lt" + std::to_string(threadId));
    return result;
}

}  // namespace rd
