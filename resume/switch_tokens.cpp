#include "resume/switch_tokens.h"

namespace rd {

std::vector<std::string_view> SwitchTokens(std::string_view switches) {
    std::vector<std::string_view> tokens;
    size_t at = 0;
    while (at < switches.size()) {
        const char c = switches[at];
        const char next = at + 1 < switches.size() ? switches[at + 1] : '\0';
        size_t length = 1;
        if (c == 'L' && next) {
            length = 2;
            while (at + length < switches.size() && switches[at + length] >= '0' &&
                   switches[at + length] <= '9')
                ++length;
        } else if ((c == 'T' || c == 't' || c == 'q') && (next == '1' || next == '2')) {
            length = 2;
        }
        tokens.push_back(switches.substr(at, length));
        at += length;
    }
    return tokens;
}

}  // namespace rd
