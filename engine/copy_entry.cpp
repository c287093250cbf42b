// One file of the list: opened, its existing destinations settled, then copied, linked, renamed
// into place or deleted.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/engine_context.h"
#include "engine/error_settler.h"
#include "engine/job_thread.h"
#include "engine/move_delete_link.h"
#include "platform/clock.h"
#include "platform/file_hash.h"
#include "platform/path_parts.h"
#include "platform/text.h"

namespace rd {

namespace {

bool AnyActive(DestTable& dests) {
    for (uint32_t slot = 0; slot < dests.Count(); ++slot) {
        if (dests[slot].active)
            return true;
    }
    return false;
}

uint32_t ActiveCount(DestTable& dests) {
    uint32_t n = 0;
    for (uint32_t slot = 0; slot < dests.Count(); ++slot)
        n += dests[slot].active ? 1 : 0;
    return n;
}

// The hash of a file the job moved by renaming it, which had no bytes to hash on the way; empty
// when it cannot be read.
std::string HashOfMoved(HashKind kind, const std::string& path) {
    std::string hex;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return hex;
    if (HashOpenFile(fd, kind, hex) != 0)
        hex.clear();
    close(fd);
    return hex;
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

void JobThread::TakeOpenedState(FENTRY_& node, const struct stat& opened) {
    const uint64_t size = static_cast<uint64_t>(opened.st_size);
    if (size == node.size && SameTime(opened.st_mtim, node.LastWriteTime()) &&
        opened.st_mode == node.attributes)
        return;
    // The file changed between the walk and now: what is copied is the file as it is opened.
    std::lock_guard<std::mutex> lock(ctx_.list.ListLock);
    ctx_.state.counters.listedBytes += size - node.size;
    node.size = size;
    node.attributes = opened.st_mode;
    node.SetTimes(node.CreationTime(), opened.st_mtim);
}

bool JobThread::OpenAndIdentify(FENTRY_& node, const std::string& source, SourceHandle& handle,
                                struct stat& opened) {
    if (!OpenSourceWithRetry(source, handle))
        return false;
    if (const int error = StatSource(handle, opened)) {
        handle.Close();
        ctx_.Report(Failed(source, OutcomeCause::OperationFailed, error, Operation::Open));
        ctx_.FileEnded(FileEnd::Failed, 0);
        return false;
    }
    file_.identity = IdentityOf(opened);
    TakeOpenedState(node, opened);
    return true;
}

void JobThread::CopyEntry(FENTRY_& node) {
    JobCounters& counters = ctx_.state.counters;
    const std::string source = node.SourcePath();
    StartFile(source);

    if (IsDelete(ctx_.policy.mode)) {
        DeleteEntry(node);
        return;
    }

    SourceHandle handle;
    struct stat opened {};
    if (!OpenAndIdentify(node, source, handle, opened)) {
        // Skipped: its bytes count as done so that the job's totals still add up.
        counters.doneBytes += node.size;
        return;
    }
    // A share's file has no owner or extended attributes of this machine's to keep.
    file_.meta = ctx_.options.KeepFileTimes && !handle.share
                     ? ReadMetadata(node.uid, node.gid, handle.fd)
                     : nullptr;

    ExistsResult exists;
    if (!CheckAllExisting(node, source, handle, exists))
        return;

    if (ctx_.options.PerFileLink) {
        handle.Close();
        ctx_.FileEnded(LinkPerFile(ctx_, node), node.size);
        counters.doneBytes += node.size;
        return;
    }

    const bool move = IsMove(ctx_.policy.mode);
    const bool keptSomewhere = ActiveCount(ctx_.dests) < ctx_.dests.Count();
    if (move && !keptSomewhere && ctx_.dests.Count() == 1 && ctx_.dests[0].Local() &&
        !file_.shareSource && WipePasses(ctx_.policy.mode) == 0 && exists.position == 0 &&
        MoveByRename(node, source, handle, opened))
        return;
    // A source some destination kept its own file for stays where it is.
    file_.move = move && !keptSomewhere;
    CopyToDestinations(node, source, handle, opened, exists);
}

void JobThread::StartFile(const std::string& source) {
    ctx_.state.SetCurrentSource(source);
    ctx_.host.ShowFile(std::nullopt);
    ctx_.state.flags.SkipFile = 0;
    ++file_.id;
    file_.move = false;
    file_.sparse = false;
    file_.identity = {};
    file_.shareSource = SourceFiles::OnShare(source);
    ctx_.state.counters.filePercent = 0;
}

bool JobThread::CheckAllExisting(const FENTRY_& node, const std::string& source,
                                 SourceHandle& handle, ExistsResult& exists) {
    JobCounters& counters = ctx_.state.counters;
    ctx_.dests.ActivateAll();
    exists.kept.assign(ctx_.dests.Count(), 0);
    made_.assign(ctx_.dests.Count(), MadeFile{});
    for (uint32_t slot = 0; slot < ctx_.dests.Count() && !exists.abandon; ++slot) {
        if (node.SkippedIn(slot))
            ctx_.dests.SkipDestination(slot);
        else
            CheckExisting(slot, node, source, handle, exists);
    }
    if (exists.abandon || !AnyActive(ctx_.dests)) {
        RemoveMade(node);
        counters.doneBytes += node.size;
        if (!exists.abandon)
            counters.filePercent = 100;
        ctx_.FileEnded(FileEnd::Skipped, 0);
        return false;
    }
    return true;
}

bool JobThread::MoveByRename(FENTRY_& node, const std::string& source, SourceHandle& handle,
                             struct stat& opened) {
    JobCounters& counters = ctx_.state.counters;
    handle.Close();
    const std::string dest = node.DestinationPath(0, ctx_.dests[0].root);
    if (RenameMove(source, dest)) {
        // The file itself moved: its inode is the one it had as a source.
        ctx_.written.Record(dest, &node);
        if (ctx_.manifests.Kind())
            ctx_.Manifested(0, source, dest, HashOfMoved(*ctx_.manifests.Kind(), dest));
        counters.doneBytes += node.size;
        counters.filePercent = 100;
        ctx_.FileEnded(FileEnd::Completed, node.size);
        return true;
    }
    // Another file system, or a destination kept for resume: the file is copied, and the
    // source goes once the destination holds all of it.
    if (!OpenAndIdentify(node, source, handle, opened)) {
        counters.doneBytes += node.size;
        return true;
    }
    return false;
}

void JobThread::CopyToDestinations(const FENTRY_& node, const std::string& source,
                                   SourceHandle& handle, const struct stat& opened,
                                   const ExistsResult& exists) {
    std::vector<FileTracker::Copy> copies;
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        if (ctx_.dests[slot].active)
            copies.push_back({slot, !exists.kept[slot]});
    }
    if (!ctx_.files.Begin(file_.id, node, file_.identity, file_.move, copies)) {
        RemoveMade(node);
        return;
    }
    HandOverMade();

    // A file shorter than the check can't hold a hole worth keeping.
    file_.sparse = !handle.share && node.size >= kSparseCheckSize &&
                   static_cast<uint64_t>(opened.st_blocks) * 512 < node.size;
    // A copy that takes more than one block carries a marker while it is incomplete, so that
    // what an interruption leaves is never taken for a whole file.
    const bool marker = ctx_.policy.reserve || exists.marked ||
                        node.size - exists.position > CopyBlockSize(ctx_.policy.bufferSize);
    if (node.size > 0)
        reader_.BlockLoop(node, source, handle, exists.position, marker);
    else
        reader_.CopyZeroLength(node, source);
    ctx_.files.Finish();
}

void JobThread::DeleteEntry(FENTRY_& node) {
    JobCounters& counters = ctx_.state.counters;
    const std::string source = node.SourcePath();
    SourceHandle handle;
    struct stat opened {};
    if (!OpenAndIdentify(node, source, handle, opened)) {
        counters.doneBytes += node.size;
        return;
    }
    handle.Close();
    // Only the file that was selected goes: another one put in its place stays.
    const int error = WipeAndDelete(ctx_, wipeBuffer_, source, node.size, &file_.identity, true);
    if (error == kChangedSinceRead)
        ctx_.Report(Failed(source, OutcomeCause::SourceChanged, 0));
    else if (error)
        NotRemoved(source, error);
    ctx_.FileEnded(error ? FileEnd::Failed : FileEnd::Completed, node.size);
    counters.doneBytes += node.size;
    counters.transferredBytes += node.size;
    counters.filePercent = 100;
}

bool JobThread::OpenSourceWithRetry(const std::string& source, SourceHandle& handle) {
    ErrorSettler settler(ctx_);
    for (;;) {
        int error = 0;
        handle.share = ctx_.sources.ShareOf(source);
        OpenSource(source, handle, 0, false, 0, &error);
        if (handle.fd >= 0)
            return true;
        if (ctx_.state.flags.SkipFile) {
            ctx_.Report(Skipped(source, OutcomeCause::UserSkipped));
            ctx_.FileEnded(FileEnd::Skipped, 0);
            return false;
        }
        const SettleAction action = settler.Settle({ErrorStep::OpenSource, source, {}, error});
        if (action == SettleAction::Skip) {
            ctx_.Report(Failed(source, OutcomeCause::OperationFailed, error, Operation::Open));
            ctx_.FileEnded(FileEnd::Failed, 0);
        }
        if (action != SettleAction::Retry)
            return false;
    }
}

}  // namespace rd
