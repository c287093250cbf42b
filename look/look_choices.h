// The language files and skins the settings dialog offers, and which entry it selects.
#pragma once

#include <string>
#include <vector>

namespace rd {

// The language files ("*.lng") along the data search path of `installFolder`: those of the
// installation folder first, then the shipped ones it does not have, each folder's in name
// order.
std::vector<std::string> LanguageFiles(const std::string& installFolder);

// The own name of the language file `file` found along that path (its facts' name, see
// platform/language_facts.h); the file name when the file cannot be read.
std::string LanguageName(const std::string& installFolder, const std::string& file);

// The skin folders under "skins" along the same path, in the same order; plain files and
// names beginning with "." are left out.
std::vector<std::string> SkinFolders(const std::string& installFolder);

// The entry to select for `wanted`: the first whose name matches it without regard to case,
// else the first entry; -1 for an empty list.
int ChoiceIndex(const std::vector<std::string>& names, const std::string& wanted);

}  // namespace rd
