#include "app/source_reader.h"

#include "engine/path_parts.h"
#include "engine/source_queue.h"
#include "platform/fs.h"
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
                 ListFile& list, std::string& error) {
    std::vector<std::string> items;
    if (flags.SourceIsListFile) {
        std::string data;
        if (!ReadListFile(field, ListKind::kSource, list, data, error))
            return false;
        items = text::SplitListFile(data);
    } else {
        items = SplitInlineSources(field, fs::CurrentFolder());
    }
    for (const std::string& item : items)
        queue.Add(item);
    return true;
}

void ExpandWildcards(SourceQueue& queue) {
    for (int i = queue.Count() - 1; i >= 0; --i) {
        const std::string item = queue.EntryPath(i);
        const std::string name = NamePart(item);
        if (name.find('*') == std::string::npos)
            continue;
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

bool ReadTargets(const std::string& field, const JobFlags& flags, std::string& targetText,
                 ListFile& list, std::string& error) {
    targetText = field;
    if (flags.TargetIsListFile) {
        std::string data;
        if (!ReadListFile(field, ListKind::kTarget, list, data, error))
            return false;
        data.push_back('\r');
        targetText.clear();
        for (char c : data) {
            if (c == '\r') {
                if (!targetText.empty() && targetText.back() != '?')
                    targetText.push_back('?');
            } else if (c != '\n') {
                targetText.push_back(c);
            }
        }
    }
    if (!targetText.empty() && targetText.back() != '?')
        targetText.push_back('?');
    return true;
}

}  // namespace rd
