// Where interrupted checks of manifests stopped, kept in the settings store beside the resume
// records (under "Checks" of the program's key): one text value per manifest, named by the
// SHA-256 of the manifest's key, since value names ignore case and a path does not.
#pragma once

#include <optional>
#include <string>

#include "platform/check_position.h"

namespace rd {

class Store;

// The value's name for a manifest's key.
std::string CheckPositionName(const std::string& key);

// Nothing when none is kept, or the kept one cannot be read (the check then starts over).
std::optional<CheckPosition> LoadCheckPosition(Store& store, const std::string& key);
bool SaveCheckPosition(Store& store, const std::string& key, const CheckPosition& position);
void ForgetCheckPosition(Store& store, const std::string& key);

}  // namespace rd
