#include "app/favourites.h"

#include <algorithm>
#include <string_view>

#include "platform/fs.h"
#include "platform/paths.h"

namespace rd {

namespace {
constexpr std::string_view kSuffix = ".lst";
}  // namespace

std::string FavouritesFolder() {
    return paths::UserDataDir() + "/favorites";
}

std::vector<std::string> ListFavourites(const std::string& folder) {
    std::vector<fs::DirEntry> entries;
    std::vector<std::string> names;
    if (fs::ListFolder(folder, "*.lst", entries) != 0)
        return names;
    for (const fs::DirEntry& e : entries) {
        if (!e.isFolder)
            names.push_back(e.name.substr(0, e.name.size() - kSuffix.size()));
    }
    // The listing is sorted by file name; cutting the suffix can change the order ("a-b.lst"
    // sorts before "a.lst", but "a" before "a-b").
    std::sort(names.begin(), names.end());
    return names;
}

void AppendFavouriteLines(const std::string& data, std::string& text) {
    std::string line;
    // A missing line end after the last line still ends it.
    for (size_t i = 0; i <= data.size(); ++i) {
        const char c = i < data.size() ? data[i] : '\n';
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty()) {
            text += line;
            text += '?';
            line.clear();
        }
    }
}

void AppendFavourite(const std::string& folder, const std::string& name, std::string& text) {
    // A name with "/" would reach outside the favourites folder.
    if (name.empty() || name.find('/') != std::string::npos)
        return;
    const fs::RegularFile file =
        fs::ReadRegularFile(folder + "/" + name + std::string(kSuffix), kMaxFavouriteBytes, {});
    if (file.error != 0 || file.refusal != fs::Refusal::kNone)
        return;
    // A NUL byte marks a file that is not text; its "lines" would be no folders.
    if (file.data.find('\0') != std::string::npos)
        return;
    AppendFavouriteLines(file.data, text);
}

}  // namespace rd
