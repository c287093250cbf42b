#include "engine/move_tracker.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "engine/engine_context.h"
#include "engine/move_delete_link.h"

namespace rd {

void MoveTracker::Expect(uint64_t fileId, const std::string& source, uint64_t size,
                         std::vector<std::string> folders) {
    std::lock_guard<std::mutex> lock(lock_);
    const auto remaining = static_cast<uint32_t>(folders.size());
    pending_[fileId] = PendingMove{source, size, remaining, std::move(folders)};
}

void MoveTracker::Ready(const std::string& source, std::vector<std::string> folders) {
    std::lock_guard<std::mutex> lock(lock_);
    ready_.push_back(PendingMove{source, 0, 0, std::move(folders)});
}

void MoveTracker::DestinationDone(uint64_t fileId, bool complete) {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = pending_.find(fileId);
    if (it == pending_.end())
        return;
    // A source that some destination did not receive whole stays where it is.
    if (!complete)
        pending_.erase(it);
    else if (it->second.remaining > 0)
        --it->second.remaining;
}

void MoveTracker::Finish(bool all) {
    // Enough for the folder syncs to be few, few enough that a crash leaves little to do twice.
    constexpr size_t kBatch = 256;
    std::vector<PendingMove> batch;
    {
        std::lock_guard<std::mutex> lock(lock_);
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->second.remaining == 0) {
                ready_.push_back(std::move(it->second));
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
        if (ready_.empty() || (!all && ready_.size() < kBatch))
            return;
        batch.swap(ready_);
    }
    RemoveSources(batch);
}

void MoveTracker::RemoveSources(std::vector<PendingMove>& moves) {
    // Each copy's data was synced when it was complete, but its name is on the disk only once
    // its folder is: until then a crash could lose the copy after the source was gone.
    std::map<std::string, int> synced;
    for (const PendingMove& move : moves) {
        for (const std::string& folder : move.folders)
            synced.emplace(folder, 0);
    }
    for (auto& [folder, error] : synced) {
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 || fsync(fd) != 0)
            error = errno;
        if (fd >= 0)
            close(fd);
    }
    for (const PendingMove& move : moves) {
        int error = 0;
        for (const std::string& folder : move.folders)
            error = error ? error : synced[folder];
        if (error == 0)
            error = WipeAndDelete(ctx_, wipeBuffer_, move.source, move.size);
        // The source stays beside its copies; nothing is lost, but the user is told.
        if (error != 0)
            ctx_.outcomes.Report(Failed(move.source, OutcomeCause::CannotRemove, error));
    }
}

}  // namespace rd
