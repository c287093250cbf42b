#include "engine/file_tracker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "engine/engine_context.h"
#include "engine/move_delete_link.h"
#include "engine/transfer.h"
#include "platform/path_parts.h"
#include "platform/smb_url.h"

namespace rd {

bool FileTracker::Begin(uint64_t fileId, const FENTRY_& node, const FileIdentity& identity,
                        bool move, const std::vector<Copy>& copies) {
    std::lock_guard<std::mutex> lock(lock_);
    if (closed_)
        return false;
    TrackedFile& file = files_.emplace_back();
    file.id = fileId;
    file.node = &node;
    file.identity = identity;
    file.size = node.size;
    file.move = move;
    file.copies.reserve(copies.size());
    for (const Copy& copy : copies)
        file.copies.push_back(TrackedCopy{copy});
    EndIfDone(files_.size() - 1);
    return true;
}

std::string FileTracker::PathOf(const TrackedFile& file, const TrackedCopy& copy) const {
    return file.node->DestinationPath(copy.copy.slot, ctx_.dests[copy.copy.slot].root);
}

FileTracker::TrackedCopy* FileTracker::Find(uint64_t fileId, uint32_t slot, TrackedFile** file) {
    for (TrackedFile& tracked : files_) {
        if (tracked.id != fileId)
            continue;
        for (TrackedCopy& copy : tracked.copies) {
            if (copy.copy.slot == slot) {
                if (file)
                    *file = &tracked;
                return &copy;
            }
        }
    }
    return nullptr;
}

const FENTRY_* FileTracker::ClaimedAt(const std::string& path) {
    std::lock_guard<std::mutex> lock(lock_);
    for (const TrackedFile& file : files_) {
        for (const TrackedCopy& copy : file.copies) {
            if (copy.state == TrackedCopy::State::Pending &&
                ctx_.written.SameName(PathOf(file, copy), path))
                return file.node;
        }
    }
    return nullptr;
}

void FileTracker::Opened(uint64_t fileId, uint32_t slot) {
    std::lock_guard<std::mutex> lock(lock_);
    TrackedFile* file = nullptr;
    TrackedCopy* copy = Find(fileId, slot, &file);
    if (!copy || copy->state != TrackedCopy::State::Pending || copy->opened)
        return;
    copy->opened = true;
    ctx_.written.Record(PathOf(*file, *copy), file->node);
}

void FileTracker::Identify(uint64_t fileId, uint32_t slot, int fd) {
    struct stat st {};
    if (fd >= 0 && ctx_.dests[slot].files->StatOpen(fd, st) == 0)
        Identify(fileId, slot, st);
}

void FileTracker::Identify(uint64_t fileId, uint32_t slot, const struct stat& st) {
    std::lock_guard<std::mutex> lock(lock_);
    TrackedCopy* copy = Find(fileId, slot);
    if (!copy || copy->state != TrackedCopy::State::Pending)
        return;
    copy->identified = true;
    copy->dev = st.st_dev;
    copy->ino = st.st_ino;
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
    EndIfDone(static_cast<size_t>(file - files_.data()));
}

void FileTracker::CopyGivenUp(uint64_t fileId, uint32_t slot, bool failed) {
    std::lock_guard<std::mutex> lock(lock_);
    TrackedFile* file = nullptr;
    TrackedCopy* copy = Find(fileId, slot, &file);
    if (!copy || copy->state != TrackedCopy::State::Pending)
        return;
    (failed ? file->failed : file->skipped) = true;
    GiveUp(*file, *copy, true);
    EndIfDone(static_cast<size_t>(file - files_.data()));
}

void FileTracker::Abandon(uint64_t fileId, bool failed, bool resumable) {
    std::lock_guard<std::mutex> lock(lock_);
    for (size_t i = 0; i < files_.size(); ++i) {
        TrackedFile& file = files_[i];
        if (file.id != fileId)
            continue;
        (failed ? file.failed : file.skipped) = true;
        for (TrackedCopy& copy : file.copies) {
            if (copy.state == TrackedCopy::State::Pending)
                GiveUp(file, copy, resumable);
        }
        EndIfDone(i);
        return;
    }
}

void FileTracker::EndInFlight() {
    std::lock_guard<std::mutex> lock(lock_);
    closed_ = true;
    for (TrackedFile& file : files_) {
        file.skipped = true;
        for (TrackedCopy& copy : file.copies) {
            if (copy.state != TrackedCopy::State::Pending)
                continue;
            // The writers have stopped: a handle still open in the copy's slot tells what it
            // is. Should it be another file's, the copy is not taken for it and stays.
            struct stat st {};
            const int fd = ctx_.dests[copy.copy.slot].fileHandle;
            if (copy.opened && !copy.identified && fd >= 0 &&
                ctx_.dests[copy.copy.slot].files->StatOpen(fd, st) == 0) {
                copy.identified = true;
                copy.dev = st.st_dev;
                copy.ino = st.st_ino;
            }
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
    if (!copy.opened)
        return;
    const std::string path = PathOf(file, copy);
    const std::string source = file.node->SourcePath();
    if (resumable && HasMarker(path)) {
        ctx_.outcomes.Report(Skipped(source, OutcomeCause::LeftForResume, path));
        return;
    }
    if (!copy.copy.created) {
        if (copy.written)
            ctx_.outcomes.Report(
                Failed(source, OutcomeCause::PartlyOverwritten, 0, Operation::None, path));
        return;
    }
    // Only the very file this job wrote goes: whatever took its name since stays.
    DestFiles& files = *ctx_.dests[copy.copy.slot].files;
    struct stat there {};
    if (!copy.identified || files.StatPath(path, there) != 0 || !S_ISREG(there.st_mode) ||
        there.st_dev != copy.dev || there.st_ino != copy.ino)
        return;
    if (const int error = files.Remove(path)) {
        ctx_.outcomes.Report(
            Failed(source, OutcomeCause::PartlyOverwritten, error, Operation::None, path));
        return;
    }
    ResumeMarker stale;
    if (ReadMarkerBeside(path, stale))
        ::unlink(MarkerPathOf(path).c_str());
}

void FileTracker::EndIfDone(size_t index) {
    TrackedFile& file = files_[index];
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
        PendingMove move{file.node->SourcePath(), file.identity, file.size, {}};
        for (const TrackedCopy& copy : file.copies)
            move.folders.push_back(DirPart(PathOf(file, copy)));
        ready_.push_back(std::move(move));
    }
    if (index + 1 != files_.size())
        files_[index] = std::move(files_.back());
    files_.pop_back();
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
        // A share's folder is the server's to keep; each copy there was confirmed as it closed.
        if (smb::IsUrl(folder))
            continue;
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
