#include "app/source_reader.h"

#include <cerrno>

#include "engine/dest_table.h"
#include "engine/source_queue.h"
#include "platform/fs.h"
#include "platform/literal_list.h"
#include "platform/path_parts.h"
#include "platform/smb_url.h"
#include "platform/text.h"

namespace rd {

std::vector<std::string> SplitInlineSources(std::string_view field,
                                            const std::string& currentFolder) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= field.size()) {
        size_t end = field.find('?', start);
        if (end == std::string_view::npos)
            end = field.size();
        std::string_view piece = field.substr(start, end - start);
        if (!piece.empty()) {
            if (piece.find('/') == std::string_view::npos)
                items.push_back(currentFolder + "/" + std::string(piece));
            else
                items.emplace_back(piece);
        }
        start = end + 1;
    }
    return items;
}

bool ReadSources(const std::string& field, const JobFlags& flags, SourceQueue& queue,
                 ListFile& list, bool& literal, std::string& error) {
    std::vector<std::string> items;
    literal = false;
    if (flags.SourceIsListFile) {
        std::string data;
        if (!ReadListFile(field, ListKind::kSource, list, data, error))
            return false;
        literal = text::IsLiteralList(data);
        items = text::SplitListFile(data);
    } else {
        items = SplitInlineSources(field, fs::CurrentFolder());
    }
    for (const std::string& item : items)
        queue.Add(item);
    return true;
}

bool IsSourcePattern(const std::string& item, bool literalList) {
    // A share's names are the server's: never looked for in this machine's folders.
    if (literalList || NamePart(item).find('*') == std::string::npos || smb::IsUrl(item))
        return false;
    // Only a name that surely names nothing is a pattern; one that cannot be looked up (a folder
    // without search permission) stays itself, and the job says why it cannot be read.
    int error = 0;
    return !fs::GetAttributes(item, &error) && (error == ENOENT || error == ENOTDIR);
}

void ExpandWildcards(SourceQueue& queue, bool literalList) {
    for (int i = queue.Count() - 1; i >= 0; --i) {
        const std::string item = queue.EntryPath(i);
        if (!IsSourcePattern(item, literalList))
            continue;
        const std::string name = NamePart(item);
        const std::string folder = name.size() == item.size() ? "" : DirPart(item);
        std::vector<fs::DirEntry> matches;
        fs::ListFolder(folder.empty() ? "." : folder, name, matches);
        for (const fs::DirEntry& match : matches) {
            if (!match.isFolder)
                queue.Add(folder + match.name);
        }
        queue.RemoveAt(i);
    }
}

bool ReadTargets(const std::string& field, const JobFlags& flags, std::vector<std::string>& targets,
                 ListFile& list, std::string& error) {
    if (!flags.TargetIsListFile) {
        targets = SplitTargetText(field);
        return true;
    }
    std::string data;
    if (!ReadListFile(field, ListKind::kTarget, list, data, error))
        return false;
    if (text::IsLiteralList(data)) {
        targets = text::SplitLiteralList(data);
        return true;
    }
    data.push_back('\r');
    std::string targetText;
    for (char c : data) {
        if (c == '\r') {
            if (!targetText.empty() && targetText.back() != '?')
                targetText.push_back('?');
        } else if (c != '\n') {
            targetText.push_back(c);
        }
    }
    targets = SplitTargetText(targetText);
    return true;
}

std::string JoinTargets(const std::vector<std::string>& targets) {
    std::string text;
    for (const std::string& target : targets)
        text += target + "?";
    return text;
}

}  // namespace rd
