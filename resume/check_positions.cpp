#include "resume/check_positions.h"

#include "platform/file_hash.h"
#include "platform/store.h"
#include "settings/store_keys.h"

namespace rd {

namespace {

StoreKey ChecksKey(Store& store) {
    return StoreKey(store, StoreRoot::CurrentUser, std::string(kBaseKey) + "\\Checks");
}

}  // namespace

std::string CheckPositionName(const std::string& key) {
    FileHasher hasher(HashKind::Sha256);
    hasher.Update(key.data(), key.size());
    return hasher.HexDigest();
}

std::optional<CheckPosition> LoadCheckPosition(Store& store, const std::string& key) {
    const std::optional<std::string> text = ChecksKey(store).ReadText(CheckPositionName(key));
    return text ? ParseCheckPosition(*text) : std::nullopt;
}

bool SaveCheckPosition(Store& store, const std::string& key, const CheckPosition& position) {
    return ChecksKey(store).WriteText(CheckPositionName(key), CheckPositionText(position));
}

void ForgetCheckPosition(Store& store, const std::string& key) {
    ChecksKey(store).DeleteValue(CheckPositionName(key));
}

}  // namespace rd
