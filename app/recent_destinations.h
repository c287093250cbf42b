// The chooser's recent destinations and last destination, and how they are kept in the store.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/recent_folders.h"

namespace rd {

class Store;
class StoreKey;

// Adds `text` as the newest entry unless an entry equals it ignoring ASCII case, then drops the
// oldest entries beyond kMaxRecentDestinations.
void RememberDestination(std::vector<std::string>& recent, std::string_view text);

// A destination on another machine, by its text or by `fsType`, the mount type of its first
// folder: it is not pre-selected the next time, since reaching it may hang the chooser.
bool IsNetworkDestination(std::string_view text, std::string_view fsType);

// What the chooser shows from the store: the recent list and the last destination.
struct ChooserMemory {
    std::vector<std::string> recent;
    std::string lastDir;
};
ChooserMemory LoadChooserMemory(Store& store);

struct ChooserPlacement {
    int32_t left = 0, top = 0, width = 0, height = 0;
};

// After OK with a non-empty `text`: remembers it in `recent`, then stores the chooser's
// placement, the whole list (deleting the numbers it no longer uses) and, unless it is a network
// destination, `text` as the last destination. An empty text changes nothing.
void SaveAfterOk(Store& store, std::vector<std::string>& recent, std::string_view text,
                 const ChooserPlacement& placement);

}  // namespace rd
