// Writes the completion sound that RedoDori ships (data/finish.wav): two soft rising notes as
// 16-bit mono PCM. Made here rather than recorded so that the sound can be rebuilt and checked.
// Usage: redodori-sound-maker FILE
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRate = 22050;

struct Note {
    double start, length, frequency;
};

// Each note: a sine with a quieter octave above it, a 5 ms rise that avoids a click, then an
// exponential fade.
std::vector<int16_t> Samples() {
    const Note notes[] = {{0.0, 0.32, 659.25}, {0.14, 0.42, 987.77}};
    const auto total = static_cast<size_t>(0.56 * kRate);
    std::vector<double> mix(total, 0.0);
    for (const Note& note : notes) {
        const auto first = static_cast<size_t>(note.start * kRate);
        const auto count = static_cast<size_t>(note.length * kRate);
        for (size_t i = 0; i < count && first + i < total; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double rise = std::fmin(1.0, t / 0.005);
            const double fade = std::exp(-t * 9.0);
            const double phase = 2 * std::numbers::pi * note.frequency * t;
            mix[first + i] += rise * fade * (std::sin(phase) + 0.25 * std::sin(2 * phase));
        }
    }
    std::vector<int16_t> out(total);
    for (size_t i = 0; i < total; ++i)
        out[i] = static_cast<int16_t>(std::lround(mix[i] * 0.35 * 32767));
    return out;
}

void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

void Put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v));
    out.push_back(static_cast<char>(v >> 8));
}

std::string WaveFile(const std::vector<int16_t>& samples) {
    const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::string out = "RIFF";
    Put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    Put32(out, 16);
    Put16(out, 1);  // integer PCM
    Put16(out, 1);  // mono
    Put32(out, kRate);
    Put32(out, kRate * 2);
    Put16(out, 2);
    Put16(out, 16);
    out += "data";
    Put32(out, dataBytes);
    for (int16_t s : samples)
        Put16(out, static_cast<uint16_t>(s));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Usage: redodori-sound-maker FILE\n", stderr);
        return 2;
    }
    const std::string bytes = WaveFile(Samples());
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "redodori-sound-maker: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
