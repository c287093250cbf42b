// Reads the sound of a RIFF wave file: its format and its sample bytes.
#pragma once

#include <cstdint>
#include <string>

namespace rd {

struct Wave {
    // 1 integer samples (8 bits unsigned, 16, 24 or 32 bits signed), 3 32-bit floats.
    int encoding = 1;
    int channels = 0;
    uint32_t rate = 0;
    int bits = 0;
    // Whole frames only, little-endian as in the file.
    std::string samples;
};

// Parses `bytes` as a wave file. False, with the reason in `error`, for anything that is not
// plain PCM or float sound of 1 to 8 channels; a data chunk longer than the file is cut at its
// end.
bool ParseWave(const std::string& bytes, Wave& wave, std::string& error);

}  // namespace rd
