#include "engine/prompts.h"

#include <cstring>

namespace rd {

std::string ErrorText(int error) {
    std::string out = std::to_string(error);
    char buffer[256];
    const char* text = strerror_r(error, buffer, sizeof buffer);
    if (text && *text)
        out += std::string(" - ") + text;
    return out;
}

}  // namespace rd
