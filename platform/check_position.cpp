#include "platform/check_position.h"

#include <charconv>

#include "platform/text.h"

namespace rd {

namespace {

constexpr std::string_view kKindWords[] = {"mismatch", "missing", "unreadable"};

// The next word of `line` up to a space or its end.
std::string_view Word(std::string_view& line) {
    const size_t space = line.find(' ');
    const std::string_view word = line.substr(0, space);
    line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
    return word;
}

template <typename T>
bool Number(std::string_view word, T& value) {
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    return ec == std::errc() && end == word.data() + word.size() && !word.empty();
}

bool FromHex(std::string_view hex, std::string& bytes) {
    if (hex.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = text::HexDigit(hex[i]), low = text::HexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes += static_cast<char>(high * 16 + low);
    }
    return true;
}

bool ParseFinding(std::string_view line, CheckFinding& finding) {
    const std::string_view kind = Word(line);
    size_t k = 0;
    while (k < std::size(kKindWords) && kKindWords[k] != kind)
        ++k;
    if (k == std::size(kKindWords))
        return false;
    finding.kind = static_cast<CheckFindingKind>(k);
    return Number(Word(line), finding.error) && Number(Word(line), finding.entry) &&
           FromHex(Word(line), finding.path) && line.empty() && !finding.path.empty();
}

}  // namespace

std::string CheckPositionText(const CheckPosition& position) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "done " + std::to_string(position.doneEntries) + "\n";
    for (const CheckFinding& finding : position.findings) {
        out += std::string(kKindWords[static_cast<int>(finding.kind)]) + " " +
               std::to_string(finding.error) + " " + std::to_string(finding.entry) + " ";
        for (const unsigned char c : finding.path) {
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        out += "\n";
    }
    return out;
}

std::optional<CheckPosition> ParseCheckPosition(std::string_view text) {
    CheckPosition position;
    bool first = true;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt;
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (first) {
            if (Word(line) != "done" || !Number(line, position.doneEntries))
                return std::nullopt;
            first = false;
            continue;
        }
        CheckFinding finding;
        if (!ParseFinding(line, finding) || finding.entry >= position.doneEntries)
            return std::nullopt;
        position.findings.push_back(std::move(finding));
    }
    if (first)
        return std::nullopt;
    return position;
}

}  // namespace rd
