// The positions of interrupted checks of manifests, as the job session's engine keeps them, in
// the settings store (resume/check_positions.h).
#pragma once

#include <optional>
#include <string>

#include "engine/check_position.h"

namespace rd {

class Store;

class StoredCheckPositions : public CheckPositions {
public:
    explicit StoredCheckPositions(Store& store) : store_(store) {}

    std::optional<CheckPosition> Load(const std::string& key) override;
    void Save(const std::string& key, const CheckPosition& position) override;
    void Forget(const std::string& key) override;

private:
    Store& store_;
};

}  // namespace rd
