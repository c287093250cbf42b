#include "platform/literal_list.h"

namespace rd::text {

bool IsLiteralList(std::string_view data) {
    return data.starts_with(kLiteralListHeader);
}

std::string LiteralListBytes(const std::vector<std::string>& entries) {
    size_t length = kLiteralListHeader.size();
    for (const std::string& entry : entries)
        length += entry.size() + 1;
    std::string out;
    out.reserve(length);
    out = kLiteralListHeader;
    for (const std::string& entry : entries) {
        if (entry.empty())
            continue;
        out += entry;
        out.push_back('\0');
    }
    return out;
}

std::vector<std::string> SplitLiteralList(std::string_view data, bool* whole) {
    std::vector<std::string> entries;
    if (whole)
        *whole = true;
    if (!IsLiteralList(data))
        return entries;
    data.remove_prefix(kLiteralListHeader.size());
    while (!data.empty()) {
        const size_t end = data.find('\0');
        if (end == std::string_view::npos) {
            if (whole)
                *whole = false;
            break;
        }
        if (end > 0)
            entries.emplace_back(data.substr(0, end));
        data.remove_prefix(end + 1);
    }
    return entries;
}

namespace {

bool ReadsNetwork(std::string_view text) {
    const size_t q = text.find('q');
    return q != std::string_view::npos && q + 1 < text.size() && text[q + 1] == '1';
}

}  // namespace

bool TargetFieldKeepsProfile(std::string_view field, std::string_view switches) {
    return ReadsNetwork(std::string(field) + "|" + std::string(switches)) == ReadsNetwork(switches);
}

std::optional<std::string> InlineTargetField(const std::vector<std::string>& folders,
                                             std::string_view switches) {
    std::string field;
    for (const std::string& folder : folders) {
        if (folder.empty())
            continue;
        if (folder.find_first_of("?|") != std::string::npos)
            return std::nullopt;
        field += folder + "?";
    }
    if (!TargetFieldKeepsProfile(field, switches))
        return std::nullopt;
    return field;
}

}  // namespace rd::text
