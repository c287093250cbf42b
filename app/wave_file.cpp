#include "app/wave_file.h"

#include <algorithm>

namespace rd {

namespace {

constexpr int kPcm = 1;
constexpr int kFloat = 3;
// WAVE_FORMAT_EXTENSIBLE: the real encoding is in the first two bytes of its sub-format.
constexpr int kExtensible = 0xFFFE;

uint32_t Le(const std::string& b, size_t at, int size) {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

}  // namespace

bool ParseWave(const std::string& b, Wave& wave, std::string& error) {
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) {
        error = "not a wave file";
        return false;
    }
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        const std::string id = b.substr(at, 4);
        const uint64_t size = Le(b, at + 4, 4);
        const size_t body = at + 8;
        if (id == "fmt ") {
            if (size < 16 || body + 16 > b.size()) {
                error = "its format chunk is cut short";
                return false;
            }
            wave.encoding = static_cast<int>(Le(b, body, 2));
            wave.channels = static_cast<int>(Le(b, body + 2, 2));
            wave.rate = Le(b, body + 4, 4);
            wave.bits = static_cast<int>(Le(b, body + 14, 2));
            if (wave.encoding == kExtensible && size >= 26 && body + 26 <= b.size())
                wave.encoding = static_cast<int>(Le(b, body + 24, 2));
            const bool pcm = wave.encoding == kPcm && (wave.bits == 8 || wave.bits == 16 ||
                                                       wave.bits == 24 || wave.bits == 32);
            const bool floats = wave.encoding == kFloat && wave.bits == 32;
            if (!(pcm || floats) || wave.channels < 1 || wave.channels > 8 || wave.rate == 0) {
                error = "its sound is not plain PCM";
                return false;
            }
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) {
                error = "its data come before its format";
                return false;
            }
            const size_t frame = static_cast<size_t>(wave.channels) * (wave.bits / 8);
            size_t length = static_cast<size_t>(std::min<uint64_t>(size, b.size() - body));
            length -= length % frame;
            wave.samples = b.substr(body, length);
            return true;
        }
        // Chunks are padded to an even size.
        at = body + size + (size & 1);
    }
    error = haveFormat ? "it holds no sound data" : "it has no format chunk";
    return false;
}

}  // namespace rd
