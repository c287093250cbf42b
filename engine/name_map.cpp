#include "engine/name_map.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

#include "platform/volume_rules.h"

namespace rd {

namespace {

// Appends the UTF-8 form of `code`.
void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The code point at `i` and its length in bytes; length 0 for a byte that begins no
// well-formed sequence.
uint32_t DecodeUtf8(std::string_view text, size_t i, size_t& length) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = b(0);
    length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || i + length > text.size()) {
        length = 0;
        return lead;
    }
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((b(k) & 0xC0) != 0x80) {
            length = 0;
            return lead;
        }
        code = (code << 6) | (b(k) & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        length = 0;
        return lead;
    }
    return code;
}

locale_t Utf8Locale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

// The full-width form of a printable ASCII character, as U+FF01 to U+FF5E stand for "!" to "~".
uint32_t FullWidth(char c) {
    return 0xFF01 + static_cast<uint32_t>(static_cast<unsigned char>(c) - '!');
}

// Where only ASCII is taken there is no look-alike: each refused character, and each
// character beyond ASCII, becomes "_" (the list of renames says what it was).
std::string AsciiName(std::string_view name, const VolumeRules& rules) {
    const bool controls = rules.refusedCharacters.find('\x01') != std::string::npos;
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            while (i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80)
                ++i;
            out += '_';
            continue;
        }
        const bool last = i + 1 == name.size();
        const bool refused = (last && c == '.' && rules.refusesTrailingDot) ||
                             (last && c == ' ' && rules.refusesTrailingSpace) ||
                             (controls && byte < 0x20) ||
                             (byte > ' ' && rules.refusedCharacters.find(c) != std::string::npos);
        out += refused ? '_' : c;
    }
    return out;
}

}  // namespace

std::string LookAlikeName(std::string_view name, const VolumeRules& rules) {
    if (rules.TakesName(name))
        return std::string(name);
    if (rules.asciiOnly)
        return AsciiName(name, rules);
    const bool controls = rules.refusedCharacters.find('\x01') != std::string::npos;
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool last = i + 1 == name.size();
        if (last && c == '.' && rules.refusesTrailingDot)
            AppendUtf8(out, 0xFF0E);
        else if (last && c == ' ' && rules.refusesTrailingSpace)
            AppendUtf8(out, 0x2420);
        else if (controls && static_cast<unsigned char>(c) < 0x20)
            AppendUtf8(out, 0x2400 + static_cast<unsigned char>(c));
        else if (c > ' ' && c <= '~' && rules.refusedCharacters.find(c) != std::string::npos)
            AppendUtf8(out, FullWidth(c));
        else
            out += c;
    }
    return out;
}

std::string FoldedName(std::string_view name) {
    const locale_t locale = Utf8Locale();
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        size_t length = 0;
        const uint32_t code = DecodeUtf8(name, i, length);
        if (length == 0) {
            out += name[i++];
            continue;
        }
        i += length;
        if (code < 0x80) {
            out += static_cast<char>(code >= 'A' && code <= 'Z' ? code + ('a' - 'A') : code);
            continue;
        }
        const wint_t lower = locale ? towlower_l(static_cast<wint_t>(code), locale) : code;
        AppendUtf8(out, static_cast<uint32_t>(lower));
    }
    return out;
}

std::string NumberedName(std::string_view name, int n, bool folder) {
    const std::string number = " (" + std::to_string(n) + ")";
    const size_t dot = name.rfind('.');
    if (folder || dot == std::string_view::npos || dot == 0)
        return std::string(name) + number;
    return std::string(name.substr(0, dot)) + number + std::string(name.substr(dot));
}

}  // namespace rd
