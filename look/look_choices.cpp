#include "look/look_choices.h"

#include <strings.h>
#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/ini_file.h"
#include "platform/language_facts.h"
#include "platform/paths.h"

namespace rd {

namespace {

namespace fs = std::filesystem;

// Entries of `folder` that `wanted` accepts, in name order; none when it cannot be listed.
template <typename Wanted>
std::vector<std::string> Listed(const fs::path& folder, Wanted wanted) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (wanted(*it))
            names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

template <typename Wanted>
std::vector<std::string> AlongSearchPath(const std::string& installFolder, const char* under,
                                         Wanted wanted) {
    std::vector<std::string> all;
    std::set<std::string> seen;
    for (const std::string& folder : paths::DataSearchPath(installFolder))
        for (std::string& name : Listed(fs::path(folder) / under, wanted))
            if (seen.insert(name).second)
                all.push_back(std::move(name));
    return all;
}

}  // namespace

std::vector<std::string> LanguageFiles(const std::string& installFolder) {
    return AlongSearchPath(installFolder, "", [](const fs::directory_entry& entry) {
        std::error_code error;
        const std::string name = entry.path().filename().string();
        return name.size() > 4 && name.ends_with(".lng") && entry.is_regular_file(error);
    });
}

std::string LanguageName(const std::string& installFolder, const std::string& file) {
    IniFile read;
    read.Read(paths::FindDataFile(installFolder, file));
    return ReadLanguageFacts(read, file).name;
}

std::vector<std::string> SkinFolders(const std::string& installFolder) {
    return AlongSearchPath(installFolder, "skins", [](const fs::directory_entry& entry) {
        std::error_code error;
        return !entry.path().filename().string().starts_with(".") && entry.is_directory(error);
    });
}

int ChoiceIndex(const std::vector<std::string>& names, const std::string& wanted) {
    for (size_t i = 0; i < names.size(); ++i)
        if (strcasecmp(names[i].c_str(), wanted.c_str()) == 0)
            return static_cast<int>(i);
    return names.empty() ? -1 : 0;
}

}  // namespace rd
