#include "program/stored_check_positions.h"

#include "platform/store.h"
#include "resume/check_positions.h"

namespace rd {

std::optional<CheckPosition> StoredCheckPositions::Load(const std::string& key) {
    return LoadCheckPosition(store_, key);
}

void StoredCheckPositions::Save(const std::string& key, const CheckPosition& position) {
    SaveCheckPosition(store_, key, position);
    // Kept on the disk at once: the position is there for a check cut short by a power loss.
    store_.Flush();
}

void StoredCheckPositions::Forget(const std::string& key) {
    ForgetCheckPosition(store_, key);
}

}  // namespace rd
