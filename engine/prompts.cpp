#include "engine/prompts.h"

#include "platform/system_error_text.h"

namespace rd {

std::string ErrorText(int error, const std::string& locale) {
    std::string out = std::to_string(error);
    const std::string text = SystemErrorText(error, locale);
    if (!text.empty())
        out += " - " + text;
    return out;
}

}  // namespace rd
