#include "app/stderr_lines.h"

#include <cstdio>
#include <string>

#include "platform/text.h"

namespace rd {

void SayOnStderr(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        out += "redodori: " + text::EscapeControls(line) + "\n";
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    std::fputs(out.c_str(), stderr);
}

}  // namespace rd
