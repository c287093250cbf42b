#include "settings/recent_folders.h"

#include "platform/store.h"

namespace rd {

std::string RecentDestinationName(size_t n) {
    return "LastDir_" + std::to_string(n);
}

std::vector<std::string> ReadRecentDestinations(const KeyValues& key) {
    std::vector<std::string> recent;
    for (size_t n = 0; n < kMaxRecentDestinations; ++n) {
        auto dir = key.ReadText(RecentDestinationName(n));
        if (dir && !dir->empty())
            recent.push_back(*dir);
    }
    return recent;
}

}  // namespace rd
