#include "engine/file_tracker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "engine/engine_context.h"
#include "engine/move_delete_link.h"
#include "engine/transfer.h"

namespace rd {

bool FileTracker::Begin(uint64_t fileId, const FENTRY_& node, const std::string& source,
                        const FileIdentity& identity, bool move, std::vector<Copy> copies) {
    TrackedFile file;
    file.node = &node;
    file.source = source;
    file.identity = identity;
    file.size = node.size;
    file.move = move;
    file.copies.reserve(copies.size());
    for (Copy& copy : copies)
        file.copies.push_back(TrackedCopy{std::move(copy)});
    std::lock_guard<std::mutex> lock(lock_);
    if (closed_)
        return false;
    files_[fileId] = std::move(file);
    EndIfDone(fileId);
    return true;
}

FileTracker::TrackedCopy* FileTracker::Find(uint64_t fileId, uint32_t slot, TrackedFile** file) {
    auto it = files_.find(fileId);
    if (it == files_.end())
        return nullptr;
    for (TrackedCopy& copy : it->second.copies) {
        if (copy.copy.slot == slot) {
            if (file)
                *file = &it->second;
            return &copy;
        }
    }
    return nullptr;
}

const FENTRY_* FileTracker::ClaimedAt(const std::string& path) {
    std::lock_guard<std::mutex> lock(lock_);
    for (const auto& [id, file] : files_) {
        for (const TrackedCopy& copy : file.copies) {
            if (copy.state == TrackedCopy::State::Pending && ctx_.written.SameName(copy.copy.path, path))
                return file.node;
        }
    }
    return nullptr;
}

void FileTracker::Opened(uint64_t fileId, uint32_t slot, int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return;
    std::lock_guard<std::mutex> lock(lock_);
    TrackedFile* file = nullptr;
    TrackedCopy* copy = Find(fileId, slot, &file);
    if (!copy || copy->state != TrackedCopy::State::Pending)
        return;
    copy->opened = true;
    copy->dev = st.st_dev;
    copy->ino = st.st_ino;
    ctx_.written.Record(copy->copy.path, st, file->node);
}

void FileTracker::Wrote(uint64_t fileId, uint32_t slot) {
    std::lock_guard<std::mutex> lock(lock_);
    if (TrackedCopy* copy = Find(fileId, slot))
        copy->written = true;
}

void FileTracker::CopyComplete(uint64_t fileId, uint32_t slot, bool durable) {
    std::lock_guard<std::mutex> lock(lock_);
    TrackedFile* file = nullptr;
    TrackedCopy* copy = Find(fileId, slot, &file);
    if (!copy || copy->state != TrackedCopy::State::Pending)
        return;
    copy->state = TrackedCopy::State::Complete;
    file->durable = file->durable && durable;
    EndIfDone(fileId);
}

void FileTracker::CopyGivenUp(uint64_t fileId, uint32_t slot, bool failed) {
    std::lock_guard<std::mutex> lock(lock_);
    TrackedFile* file = nullptr;
    TrackedCopy* copy = Find(fileId, slot, &file);
    if (!copy || copy->state != TrackedCopy::State::Pending)
        return;
    (failed ? file->failed : file->skipped) = true;
    GiveUp(*file, *copy, true);
    EndIfDone(fileId);
}

void FileTracker::Abandon(uint64_t fileId, bool failed, bool resumable) {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = files_.find(fileId);
    if (it == files_.end())
        return;
    TrackedFile& file = it->second;
    (failed ? file.failed : file.skipped) = true;
    for (TrackedCopy& copy : file.copies) {
        if (copy.state == TrackedCopy::State::Pending)
            GiveUp(file, copy, resumable);
    }
    EndIfDone(fileId);
}

void FileTracker::EndInFlight() {
    std::lock_guard<std::mutex> lock(lock_);
    closed_ = true;
    for (auto& [id, file] : files_) {
        file.skipped = true;
        for (TrackedCopy& copy : file.copies) {
            if (copy.state == TrackedCopy::State::Pending)
                GiveUp(file, copy, true);
        }
    }
    files_.clear();
}

namespace {

// A marker of this user beside `path` lets a later job go on with the copy.
bool HasMarker(const std::string& path) {
    ResumeMarker marker;
    return ReadMarkerBeside(path, marker);
}

}  // namespace

void FileTracker::GiveUp(TrackedFile& file, TrackedCopy& copy, bool resumable) {
    copy.state = TrackedCopy::State::GivenUp;
    const std::string& path = copy.copy.path;
    if (!copy.opened)
        return;
    if (resumable && HasMarker(path)) {
        ctx_.outcomes.Report(Skipped(file.source, OutcomeCause::LeftForResume, path));
        return;
    }
    if (!copy.copy.created) {
        if (copy.written)
            ctx_.outcomes.Report(
                Failed(file.source, OutcomeCause::PartlyOverwritten, 0, Operation::None, path));
        return;
    }
    // Only the very file this job wrote goes: whatever took its name since stays.
    struct stat there {};
    if (::lstat(path.c_str(), &there) != 0 || !S_ISREG(there.st_mode) || there.st_dev != copy.dev ||
        there.st_ino != copy.ino)
        return;
    if (::unlink(path.c_str()) != 0) {
        ctx_.outcomes.Report(
            Failed(file.source, OutcomeCause::PartlyOverwritten, errno, Operation::None, path));
        return;
    }
    ResumeMarker stale;
    if (ReadMarkerBeside(path, stale))
        ::unlink((path + kMarkerSuffix).c_str());
}

void FileTracker::EndIfDone(uint64_t fileId) {
    auto it = files_.find(fileId);
    if (it == files_.end())
        return;
    TrackedFile& file = it->second;
    bool whole = true;
    for (const TrackedCopy& copy : file.copies) {
        if (copy.state == TrackedCopy::State::Pending)
            return;
        whole = whole && copy.state == TrackedCopy::State::Complete;
    }
    const FileEnd end = file.failed ? FileEnd::Failed
                        : whole     ? FileEnd::Completed
                                    : FileEnd::Skipped;
    ctx_.FileEnded(end, file.size);
    if (file.move && whole && file.durable && !file.copies.empty()) {
        PendingMove move{std::move(file.source), file.identity, file.size, {}};
        for (const TrackedCopy& copy : file.copies) {
            const std::string& path = copy.copy.path;
            move.folders.push_back(path.substr(0, path.rfind('/') + 1));
        }
        ready_.push_back(std::move(move));
    }
    files_.erase(it);
}

void FileTracker::LinkMoved(const std::string& source, const FileIdentity& identity,
                            std::vector<std::string> folders) {
    std::lock_guard<std::mutex> lock(lock_);
    ready_.push_back(PendingMove{source, identity, 0, std::move(folders)});
}

void FileTracker::Finish(bool all) {
    // Enough for the folder syncs to be few, few enough that a crash leaves little to do twice.
    constexpr size_t kBatch = 256;
    std::vector<PendingMove> batch;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (ready_.empty() || (!all && ready_.size() < kBatch))
            return;
        batch.swap(ready_);
    }
    RemoveSources(batch);
}

void FileTracker::RemoveSources(std::vector<PendingMove>& moves) {
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
            error = WipeAndDelete(ctx_, wipeBuffer_, move.source, move.size, &move.identity);
        // The source stays beside its copies; nothing is lost, but the user is told.
        if (error == kChangedSinceRead)
            ctx_.Report(Failed(move.source, OutcomeCause::SourceChanged, 0));
        else if (error != 0)
            ctx_.outcomes.Report(Failed(move.source, OutcomeCause::CannotRemove, error));
    }
}

}  // namespace rd
