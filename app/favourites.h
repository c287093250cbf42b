// Favourites: named sets of destination folders, one "<name>.lst" file each in the favourites
// folder, one folder a line. The program only reads them; the user writes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rd {

// "favorites" in the user's data folder.
std::string FavouritesFolder();

// A favourite file is a short list of folders; anything larger is not one, and reading it whole
// would only cost memory.
inline constexpr uint64_t kMaxFavouriteBytes = 1024 * 1024;

// The favourites' names (file names without ".lst"), sorted; none when the folder is missing or
// cannot be listed. Sub-folders named "*.lst" are not favourites.
std::vector<std::string> ListFavourites(const std::string& folder);

// Appends the favourite's destinations to `text`, each followed by "?". Lines end in CR, LF or
// both; empty lines add nothing. A file that cannot be opened, is not a regular file, holds a
// NUL byte (not text) or is larger than kMaxFavouriteBytes adds nothing.
void AppendFavourite(const std::string& folder, const std::string& name, std::string& text);

// The same rule applied to a favourite's contents.
void AppendFavouriteLines(const std::string& data, std::string& text);

}  // namespace rd
