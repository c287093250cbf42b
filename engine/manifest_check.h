// The check of a job whose sources are checksum manifests: every file a manifest lists is read
// from the disk (not from the system cache) and its hash compared with the manifest's. Files on
// different devices are read at once, one reader per device, each in manifest order; pause and
// abort act between blocks; how far each manifest got is kept about once a second, so that an
// interrupted check goes on where it stopped.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/check_position.h"

namespace rd {

struct EngineContext;
class AlignedBuffer;

// Names a manifest as it is: its path, device, inode, size and modification time. A manifest
// that was edited or replaced gets another key, and its check starts over.
std::string ManifestKey(const std::string& path, const struct stat& st);

class ManifestCheck {
public:
    explicit ManifestCheck(EngineContext& ctx);
    ~ManifestCheck();
    ManifestCheck(const ManifestCheck&) = delete;
    ManifestCheck& operator=(const ManifestCheck&) = delete;

    // The whole check, on the job thread: what it finds goes to the context's outcomes and
    // its tally.
    void Run();

private:
    struct Manifest;
    // One listed file still to check, with its size as planned.
    struct Item {
        Manifest* manifest = nullptr;
        size_t entry = 0;
        uint64_t size = 0;
    };

    // Reads a manifest; an unusable one is reported and left out.
    void Load(const std::string& path);
    bool ReadManifestFile(Manifest& m, std::string& why, int& error);
    // Takes in where an earlier run stopped, and plans the entries left by device.
    void Plan(Manifest& m, std::map<dev_t, std::vector<Item>>& byDevice);
    // The device and size of each entry left (the folder's device and 0 for one that cannot be
    // looked at: reading it says why).
    struct EntryFacts {
        dev_t device = 0;
        uint64_t size = 0;
    };
    std::vector<EntryFacts> LookUp(const Manifest& m) const;
    void ReadItems(const std::vector<Item>& items);
    // Checks one file; false when the job ended in the middle of it (it is not done).
    bool CheckFile(const Item& item, AlignedBuffer& buffer, std::optional<CheckFinding>& finding);
    void Record(const Item& item, const std::optional<CheckFinding>& finding);
    void Report(const Manifest& m, const CheckFinding& finding);
    // Writes the positions that moved since the last save; the caller holds lock_.
    void SavePositions();
    // At the end: a manifest checked to its end is forgotten, any other kept.
    void KeepPositions();

    EngineContext& ctx_;
    std::vector<std::unique_ptr<Manifest>> manifests_;
    std::mutex lock_;
    uint64_t lastSave_ = 0;
};

}  // namespace rd
