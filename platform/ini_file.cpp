#include "platform/ini_file.h"

#include "platform/fs.h"
#include "platform/text.h"

namespace rd {

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// UTF-16 of either byte order, after its byte-order mark, as UTF-8.
std::string FromUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string wide;
    wide.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        wide.push_back(
            static_cast<char16_t>(bigEndian ? (first << 8) | second : first | (second << 8)));
    }
    return text::Utf16ToUtf8(wide);
}

}  // namespace

bool IniFile::Read(const std::string& path) {
    sections_.clear();
    keys_.clear();
    const fs::RegularFile file = fs::ReadRegularFile(path, kMaxFileBytes, {});
    if (file.error != 0 || file.refusal != fs::Refusal::kNone)
        return false;
    Parse(file.data);
    return true;
}

void IniFile::Parse(std::string_view bytes) {
    sections_.clear();
    keys_.clear();
    std::string decoded;
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        decoded = FromUtf16(bytes.substr(2), bytes[0] == '\xFE');
        bytes = decoded;
    } else if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }

    std::map<std::string, std::string>* section = nullptr;
    std::string sectionName;
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.size() > kMaxLineBytes || line.find('\0') != std::string_view::npos ||
            !text::IsUtf8(line))
            continue;
        const std::string_view head = TrimBlanks(line);
        if (head.empty() || head.front() == ';')
            continue;
        if (head.front() == '[') {
            const size_t close = head.find(']');
            if (close == std::string_view::npos) {
                // A broken section line ends the section before it: its keys would otherwise
                // land in the wrong place.
                section = nullptr;
                continue;
            }
            sectionName = std::string(TrimBlanks(head.substr(1, close - 1)));
            section = &sections_[text::LowerAscii(sectionName)];
            continue;
        }
        const size_t eq = line.find('=');
        if (!section || eq == std::string_view::npos)
            continue;
        const std::string_view key = TrimBlanks(line.substr(0, eq));
        if (key.empty())
            continue;
        if (section->try_emplace(text::LowerAscii(key), line.substr(eq + 1)).second)
            keys_.emplace_back(sectionName, key);
    }
}

std::optional<std::string_view> IniFile::Value(std::string_view section,
                                               std::string_view key) const {
    const auto s = sections_.find(text::LowerAscii(section));
    if (s == sections_.end())
        return std::nullopt;
    const auto k = s->second.find(text::LowerAscii(key));
    if (k == s->second.end())
        return std::nullopt;
    return std::string_view(k->second);
}

}  // namespace rd
