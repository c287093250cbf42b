// The chooser's recent destinations as the store keeps them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rd {

class KeyValues;

// The most recent destinations the chooser keeps ("LastDir_0" to "LastDir_63").
inline constexpr size_t kMaxRecentDestinations = 64;

// The value name of recent destination `n`.
std::string RecentDestinationName(size_t n);

// The recent destinations in `key`, oldest first; missing and empty values are skipped.
std::vector<std::string> ReadRecentDestinations(const KeyValues& key);

}  // namespace rd
