#include "app/recent_destinations.h"

#include <algorithm>

#include "app/chooser_model.h"
#include "app/volume_type.h"
#include "platform/mounts.h"
#include "platform/store.h"
#include "settings/store_keys.h"

namespace rd {

namespace {

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

}  // namespace

void RememberDestination(std::vector<std::string>& recent, std::string_view text) {
    const bool known = std::any_of(recent.begin(), recent.end(), [&](const std::string& entry) {
        return EqualIgnoringCase(entry, text);
    });
    if (!known)
        recent.emplace_back(text);
    if (recent.size() > kMaxRecentDestinations)
        recent.erase(recent.begin(), recent.end() - kMaxRecentDestinations);
}

bool IsNetworkDestination(std::string_view text, std::string_view fsType) {
    return text.starts_with("\\\\") || text.starts_with("smb://") || IsNetworkFileSystem(fsType);
}

ChooserMemory LoadChooserMemory(Store& store) {
    const std::vector<KeyValues> read =
        store.ReadKeys({{StoreRoot::CurrentUser, std::string(kBaseKey)}});
    return {ReadRecentDestinations(read[0]), read[0].ReadText("LastDir").value_or("")};
}

void SaveAfterOk(Store& store, std::vector<std::string>& recent, std::string_view text,
                 const ChooserPlacement& placement) {
    if (text.empty())
        return;
    RememberDestination(recent, text);
    StoreKey key(store, StoreRoot::CurrentUser, std::string(kBaseKey));
    key.WriteInt("F1_Left", placement.left);
    key.WriteInt("F1_Top", placement.top);
    key.WriteInt("F1_Width", placement.width);
    key.WriteInt("F1_Height", placement.height);
    for (size_t n = 0; n < recent.size(); ++n)
        key.WriteText(RecentDestinationName(n), recent[n]);
    for (size_t n = recent.size(); n < kMaxRecentDestinations; ++n)
        key.DeleteValue(RecentDestinationName(n));
    const std::string first(text.substr(0, text.find(kDestinationSeparator)));
    if (!IsNetworkDestination(text, mounts::TypeOf(first)))
        key.WriteText("LastDir", text);
}

}  // namespace rd
