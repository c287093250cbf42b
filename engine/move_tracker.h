// The sources of a move, each waiting until every destination holds the whole of its file; then,
// in batches, their copies' folders are synced and the sources removed.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/vn_buffer.h"

namespace rd {

struct EngineContext;

class MoveTracker {
public:
    explicit MoveTracker(EngineContext& ctx) : ctx_(ctx) {}

    // File `fileId` is moved from `source`; its copies go into `folders`, one a destination.
    void Expect(uint64_t fileId, const std::string& source, uint64_t size,
                std::vector<std::string> folders);
    // `source` (a link) has every copy already.
    void Ready(const std::string& source, std::vector<std::string> folders);
    // Any thread: one destination of file `fileId` is whole and durable (`complete`), or lost
    // it, in which case the source stays where it is.
    void DestinationDone(uint64_t fileId, bool complete);
    // Takes the moves that every destination completed; once enough of them wait, or with
    // `all`, syncs their folders and removes their sources.
    void Finish(bool all = false);

private:
    struct PendingMove {
        std::string source;
        uint64_t size = 0;
        uint32_t remaining = 0;
        std::vector<std::string> folders;
    };
    // Syncs each folder of `moves` once, then removes the sources whose copies are all on the
    // disk, naming those it could not remove.
    void RemoveSources(std::vector<PendingMove>& moves);

    EngineContext& ctx_;
    std::mutex lock_;
    std::map<uint64_t, PendingMove> pending_;
    // Moves whose copies are complete, waiting for their folders to be synced.
    std::vector<PendingMove> ready_;
    VNBuffer wipeBuffer_;
};

}  // namespace rd
