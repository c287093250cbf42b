#include "engine/message_table.h"

#include <string_view>

#include "platform/fs.h"
#include "platform/text.h"

namespace rd {

namespace {

constexpr std::string_view kSection = "in code";

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// The slot a key names: "v" and a number from 1 to 63 written without leading zeros; 0 for
// any other key.
int SlotOfKey(std::string_view key) {
    if (key.size() < 2 || key.size() > 3 || LowerAscii(key[0]) != 'v' || key[1] == '0')
        return 0;
    int n = 0;
    for (char c : key.substr(1)) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n <= MessageTable::kSlots ? n : 0;
}

// The file as UTF-8: a UTF-16LE file (byte-order mark FF FE) is converted, a UTF-8
// byte-order mark is dropped.
std::string DecodeFile(const std::string& raw) {
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
        static_cast<unsigned char>(raw[1]) == 0xFE) {
        std::u16string wide;
        wide.reserve((raw.size() - 2) / 2);
        for (size_t i = 2; i + 1 < raw.size(); i += 2)
            wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(raw[i]) |
                                                 (static_cast<unsigned char>(raw[i + 1]) << 8)));
        return text::Utf16ToUtf8(wide);
    }
    if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return raw.substr(3);
    return raw;
}

}  // namespace

bool MessageTable::Load(const std::string& path) {
    std::string raw;
    if (fs::ReadWholeFile(path, raw) != 0)
        return false;
    const std::string data = DecodeFile(raw);

    std::array<std::string, kSlots + 1> slots;
    std::array<bool, kSlots + 1> seen{};
    bool inSection = false;
    std::string_view rest = data;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        const std::string_view head = TrimBlanks(line);
        if (head.empty() || head.front() == ';')
            continue;
        if (head.front() == '[') {
            const size_t close = head.find(']');
            inSection = close != std::string_view::npos &&
                        EqualNoCase(TrimBlanks(head.substr(1, close - 1)), kSection);
            continue;
        }
        if (!inSection)
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        const int slot = SlotOfKey(TrimBlanks(line.substr(0, eq)));
        // The first occurrence of a key wins, as with the classic initialisation-file reader.
        if (slot == 0 || seen[slot])
            continue;
        seen[slot] = true;
        slots[slot] = line.substr(eq + 1);
    }
    slots_.swap(slots);
    return true;
}

const std::string& MessageTable::Text(int n) const {
    static const std::string kEmpty;
    return (n >= 1 && n <= kSlots) ? slots_[n] : kEmpty;
}

}  // namespace rd
