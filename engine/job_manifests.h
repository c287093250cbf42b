// The checksum manifests of a job: one per destination, in the folder the user chose, listing
// each file whose copy there is whole with the hash of the bytes the job read for it, in the
// format `sha256sum -c` and `xxhsum -c` check. A manifest is written under a hidden name and
// renamed into place once it is complete and on the disk, so that no half-written manifest
// ever stands under a real name.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_hash.h"

namespace rd {

class JobManifests {
public:
    JobManifests();
    ~JobManifests();
    JobManifests(const JobManifests&) = delete;
    JobManifests& operator=(const JobManifests&) = delete;

    // Before the copy: each of `destinations` gets a manifest of `kind`, none without a kind.
    // `stamp` (YYYYMMDD-HHMMSS) and `job` make the names.
    void Begin(std::optional<HashKind> kind, uint32_t destinations, const std::string& stamp,
               const std::string& job);
    std::optional<HashKind> Kind() const { return kind_; }

    // Any thread: the copy at `path`, below the folder `root` of `slot`,
    // is whole and its bytes hash to `digest`. The first time it is called for a slot, the
    // manifest is created there. Returns 0, or the errno of the write that failed: the slot
    // then writes no manifest, and later calls return 0 (the failure is told once).
    int Add(uint32_t slot, const std::string& root, const std::string& path,
            const std::string& digest);

    // A failure to tell, with the manifest it concerns.
    struct Failure {
        std::string path;
        int error = 0;
    };
    // Every manifest with a line is synced and given its name, and the folder synced after it.
    // Idempotent. Returns the failures; Written() then names the manifests.
    std::vector<Failure> Finish();
    // The manifests in place, as paths.
    std::vector<std::string> Written() const;
    // The name a slot's manifest has or would have.
    std::string PathIn(uint32_t slot) const;

private:
    struct Slot;
    // Under the slot's lock: writes what is buffered. Returns 0 or errno.
    static int Flush(Slot& slot);
    // Under the slot's lock: makes the hidden file. Returns 0 or errno.
    int Create(Slot& slot, const std::string& root) const;
    // Under the slot's lock: gives up the slot's manifest, its hidden file removed.
    static void Drop(Slot& slot);
    // The name of the manifest in place, the `n`th try; the hidden name with `hidden`.
    std::string Name(int n, bool hidden) const;

    std::optional<HashKind> kind_;
    std::string base_;
    std::vector<std::unique_ptr<Slot>> slots_;
    mutable std::mutex writtenLock_;
    std::vector<std::string> written_;
};

}  // namespace rd
