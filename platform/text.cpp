#include "platform/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/literal_list.h"

namespace rd::text {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF) {
    return byte >= low && byte <= high;
}

void AppendUtf16(std::u16string& out, char32_t code) {
    if (code < 0x10000) {
        out.push_back(static_cast<char16_t>(code));
    } else {
        code -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Splits text made of code units of type Unit into lines as list files define them and hands
// every item to `emit`. Both list forms share these rules; only the unit width differs.
template <typename Unit, typename Emit>
void SplitLines(std::basic_string_view<Unit> text, Emit emit) {
    const Unit cr = Unit(0x0D);
    const Unit lf = Unit(0x0A);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(cr, pos);
        if (end == text.npos)
            end = text.size();
        std::basic_string_view<Unit> line = text.substr(pos, end - pos);
        size_t zero = line.find(Unit(0));
        if (zero != line.npos)
            line = line.substr(0, zero);
        if (!line.empty())
            emit(line);
        pos = end;
        while (pos < text.size() && (text[pos] == cr || text[pos] == lf))
            ++pos;
    }
}

// Replaces the "L" length modifier of integer conversions by "ll". The program's message
// formats write 64-bit numbers as "%Li", which standard C defines only for long double.
std::string WidenLengthModifiers(const char* format) {
    std::string out;
    out.reserve(std::strlen(format) + 8);
    for (const char* p = format; *p;) {
        if (*p != '%') {
            out.push_back(*p++);
            continue;
        }
        out.push_back(*p++);
        if (*p == '%') {
            out.push_back(*p++);
            continue;
        }
        while (*p && std::strchr("-+ #0'123456789.*$", *p))
            out.push_back(*p++);
        if (*p == 'L' && p[1] && std::strchr("diouxX", p[1])) {
            out += "ll";
            ++p;
        }
    }
    return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t size = utf8.size();
    size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        // Number of continuation bytes and the allowed range of the first one; the narrowed
        // ranges exclude overlong forms, surrogates and values above U+10FFFF.
        int trail = 0;
        unsigned char low = 0x80, high = 0xBF;
        char32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            trail = 1;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trail = 2;
            code = lead & 0x0F;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trail = 3;
            code = lead & 0x07;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        // A broken sequence becomes one U+FFFD for its valid prefix; the byte that broke it
        // starts the next sequence.
        size_t j = i + 1;
        bool complete = true;
        for (int k = 0; k < trail; ++k, ++j) {
            if (j >= size || !IsContinuation(bytes[j], k == 0 ? low : 0x80, k == 0 ? high : 0xBF)) {
                complete = false;
                break;
            }
            code = (code << 6) | (bytes[j] & 0x3F);
        }
        if (complete)
            AppendUtf16(out, code);
        else
            out.push_back(kReplacement);
        i = j;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::vector<std::string> SplitListFile(std::string_view data) {
    if (IsLiteralList(data))
        return SplitLiteralList(data);
    std::vector<std::string> items;
    if (data.size() < 2)
        return items;
    if (static_cast<unsigned char>(data[0]) == 0xFF &&
        static_cast<unsigned char>(data[1]) == 0xFE) {
        // A lone byte-order mark holds no text; an odd byte at the end is not a whole character.
        std::u16string units;
        units.reserve((data.size() - 2) / 2);
        for (size_t i = 2; i + 1 < data.size(); i += 2)
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                                  (static_cast<unsigned char>(data[i + 1]) << 8)));
        SplitLines<char16_t>(units,
                             [&](std::u16string_view line) { items.push_back(Utf16ToUtf8(line)); });
        return items;
    }
    SplitLines<char>(data, [&](std::string_view line) { items.emplace_back(line); });
    return items;
}

std::string EscapeControls(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // C1 controls are two bytes in UTF-8 and act like escapes on some terminals.
        const bool c1 = c == 0xc2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9f;
        if (c < 0x20 || c == 0x7f) {
            out += Format("\\x%02x", c);
        } else if (c1) {
            out += Format("\\xc2\\x%02x", static_cast<unsigned char>(text[++i]));
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string EscapeControlsAndBytes(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += Format("\\x%02x", static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        out += EscapeControls(text.substr(i, length));
        i += length;
    }
    return out;
}

std::string EscapeAsOneLine(std::string_view line) {
    std::string escaped;
    bool marked = false;
    for (size_t i = 0; i < line.size();) {
        const size_t length = Utf8Length(line, i);
        const auto c = static_cast<unsigned char>(line[i]);
        const bool control = length == 1 && (c < 0x20 || c == 0x7f);
        if (length > 1 || (length == 1 && !control && c != '\\')) {
            escaped.append(line, i, length);
            i += length;
            continue;
        }
        marked = true;
        switch (c) {
            case '\\': escaped += "\\\\"; break;
            case '\n': escaped += "\\n"; break;
            case '\r': escaped += "\\r"; break;
            case '\t': escaped += "\\t"; break;
            default: escaped += Format("\\x%02x", c); break;
        }
        ++i;
    }
    return marked ? "\\" + escaped : escaped;
}

std::string GroupThousands(uint64_t value, std::string_view separator) {
    const std::string digits = std::to_string(value);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3 * separator.size());
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += separator;
        out.push_back(digits[i]);
    }
    return out;
}

std::string Format(const char* format, ...) {
    if (!format)
        return {};
    const std::string widened = WidenLengthModifiers(format);
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, widened.c_str(), measure);
    va_end(measure);
    std::string out;
    if (length > 0) {
        out.resize(static_cast<size_t>(length));
        std::vsnprintf(out.data(), out.size() + 1, widened.c_str(), args);
    }
    va_end(args);
    return out;
}

size_t Utf8Length(std::string_view text, size_t i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80)
        return 1;
    size_t length;
    uint32_t code;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - i < length)
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
        return 0;
    return length;
}

bool IsUtf8(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size();) {
        const size_t length = Utf8Length(utf8, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace rd::text
