// Where a check of checksum manifests keeps how far it got in each manifest (so that an
// interrupted check goes on where it stopped), and the counts its end line gives.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/check_position.h"

namespace rd {

// Keeps the positions between runs, by a key that names one manifest as it is
// (ManifestKey): a manifest that changed starts over.
class CheckPositions {
public:
    virtual ~CheckPositions() = default;
    virtual std::optional<CheckPosition> Load(const std::string& key) = 0;
    virtual void Save(const std::string& key, const CheckPosition& position) = 0;
    virtual void Forget(const std::string& key) = 0;
};

// The counts of the check's end line.
struct CheckTally {
    std::atomic<uint32_t> good{0};
    std::atomic<uint32_t> mismatched{0};
    std::atomic<uint32_t> missing{0};
    std::atomic<uint32_t> unreadable{0};
    std::atomic<uint32_t> linesSkipped{0};
    std::atomic<uint32_t> unusable{0};
};

}  // namespace rd
