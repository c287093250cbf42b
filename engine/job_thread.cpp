#include "engine/job_thread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>

#include "engine/destination_check.h"
#include "engine/engine_context.h"
#include "engine/error_settler.h"
#include "engine/file_list_builder.h"
#include "engine/final_sync.h"
#include "engine/manifest_check.h"
#include "engine/move_delete_link.h"
#include "engine/prompts.h"
#include "engine/source_queue.h"
#include "platform/clock.h"
#include "platform/mounts.h"
#include "platform/path_parts.h"
#include "platform/text.h"
#include "platform/unexpected_end.h"

namespace rd {

JobThread::JobThread(EngineContext& context)
    : ctx_(context),
      handoff_(context.dests),
      writers_(context, handoff_, file_),
      reader_(context, handoff_, writers_, file_),
      lane_(context) {}

JobThread::~JobThread() {
    Join();
}

void JobThread::Start(std::function<void()> atEnd) {
    thread_ = std::thread([this, atEnd = std::move(atEnd)] {
        unexpected::Guarded([this] { Run(); });
        if (atEnd)
            atEnd();
    });
}

void JobThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

namespace {

// The next node to copy after `node` (null: the first): the first one that is not done. A node
// taken out of the list (its source was deleted from the queue) may lead nowhere even though
// nodes were added behind the list's tail since, so the end is confirmed with a search from the
// head.
FENTRY_* NextUndone(FileList& list, FENTRY_* node) {
    FENTRY_* next = node ? node->next : nullptr;
    while (next && next->done)
        next = next->next;
    if (!next) {
        next = list.Head();
        while (next && next->done)
            next = next->next;
    }
    return next;
}

}  // namespace

void JobThread::Run() {
    const uint64_t started = TickMs();
    if (ctx_.options.CheckManifests)
        return RunCheck(started);
    FileListBuilder(ctx_).RunIntake();

    ctx_.state.WaitAtGate(true);
    // Ended before it was prepared: nothing was started that must be stopped.
    if (ctx_.state.flags.Terminating)
        return;
    ctx_.host.OptionsLocked();
    // Nothing is written before the destinations' rules are settled for the whole list.
    if (!DestinationCheck(ctx_).Run())
        return;

    BeginManifests();
    handoff_.Prepare(ctx_.policy.parallel);
    writers_.Start();
    ctx_.state.counters.copyTime = 0;
    ctx_.copyStartedAt = TickMs();
    CopyList();
    Wind();
    // After an Abort the job is not finished: it is not synced, not marked finished, and none
    // of its completion (sound, shut-down, question) runs; the end that was asked for ends it.
    if (ctx_.state.flags.Terminating)
        return;
    if (!IsDelete(ctx_.policy.mode))
        SyncDestinations();
    if (ctx_.state.flags.Terminating)
        return;
    // Named only once the copies they vouch for are on the disk.
    FinishManifests(ctx_);
    Finished(started);
}

void JobThread::Finished(uint64_t started) {
    ctx_.copyEndedAt = TickMs();
    ctx_.jobState = 2;
    class Silent : public SoundPlayer {
        void PlayFile(const std::string&) override {}
    } silent;
    RunCompletionActions(ctx_, ctx_.sound ? *ctx_.sound : silent, started);
}

void JobThread::RunCheck(uint64_t started) {
    ctx_.state.WaitAtGate();
    if (ctx_.state.flags.Terminating)
        return;
    ManifestCheck(ctx_).Run();
    if (!ctx_.state.flags.Terminating)
        Finished(started);
}

void JobThread::CopyList() {
    FENTRY_* node = nullptr;
    for (;;) {
        std::unique_lock<std::mutex> lock(ctx_.list.ListLock);
        if (node)
            node->done = 1;
        FENTRY_* next = NextUndone(ctx_.list, node);
        // With no node left the list closes and takes no more sources; a source being added
        // right now is waited for and its nodes are copied too.
        while (!next && !ctx_.list.CloseIfIdle()) {
            ctx_.list.WaitForAdditions(lock);
            next = NextUndone(ctx_.list, node);
        }
        const bool otherSource = !node || !next || next->queueEntry != node->queueEntry;
        // A source is done, and the job ends, only once the lane holds none of its files.
        if (inLane_ && (otherSource || ctx_.state.flags.Terminating)) {
            lock.unlock();
            EmptyLane();
            continue;
        }
        if (node && otherSource)
            ctx_.queue.SetState(node->queueEntry, kStateDone);
        if (next && otherSource)
            ctx_.queue.SetState(next->queueEntry, kStateCopy);
        // An ended job takes no further node; the one being copied stops at its next block.
        if (!next || ctx_.state.flags.Terminating)
            return;
        node = next;
        lock.unlock();
        if (lane_.Takes(*node)) {
            QueueSmall(*node);
            continue;
        }
        // A folder is made beside the lane's copies, which go into folders made before it.
        if (!node->IsFolder() || IsDelete(ctx_.policy.mode) || IsMove(ctx_.policy.mode))
            EmptyLane();
        ProcessNode(*node);
    }
}

void JobThread::QueueSmall(FENTRY_& node) {
    if (!inLane_) {
        // The writers' last blocks are written before the lane uses the destinations' counts.
        if (handoff_.Parallel())
            handoff_.WaitForWriters(true);
        ctx_.dests.MakeRoots();
    }
    if (lane_.Full()) {
        lane_.WaitForRoom();
        while (TakeFromLane(false)) {
        }
    }
    lane_.Add(node);
    inLane_ = true;
}

bool JobThread::TakeFromLane(bool wait) {
    FENTRY_* node = nullptr;
    bool copied = false;
    if (!lane_.TakeOldest(node, copied, wait))
        return false;
    if (copied) {
        CountSmallCopy(*node);
    } else if (!ctx_.state.flags.Terminating) {
        // Whatever the lane made is whole and named by now, so that the existing-file check
        // sees every copy this job wrote.
        lane_.WaitAll();
        ProcessNode(*node);
    }
    return true;
}

void JobThread::EmptyLane() {
    while (inLane_ && TakeFromLane(true)) {
    }
    inLane_ = false;
}

void JobThread::CountSmallCopy(const FENTRY_& node) {
    JobCounters& counters = ctx_.state.counters;
    ctx_.state.SetCurrentSource(node.SourcePath());
    ctx_.state.speed.Sample(counters, ctx_.policy.speedLimit, ctx_.policy.speedUnit,
                            static_cast<uint32_t>(node.size), &ctx_.state.flags.Terminating);
    counters.doneBytes += node.size;
    counters.transferredBytes += node.size;
    counters.filePercent = 100;
    ctx_.FileEnded(FileEnd::Completed, node.size);
    ++counters.filesDone;
}

void JobThread::Wind() {
    lane_.Stop();
    writers_.Stop();
    // The copies of an ended job that are still under way are given up while their handles
    // still tell what each is.
    if (ctx_.state.flags.Terminating)
        ctx_.files.EndInFlight();
    // Handles of files that were abandoned part-way stay open until here; the partial
    // destinations are left as they are.
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        writers_.CloseLeftover(slot, 0);
        ctx_.dests[slot].DropMade();
    }
    ctx_.files.Finish(true);
    if (RemovesSources(ctx_.policy.mode)) {
        const std::vector<FolderLeft> left =
            RemoveMovedFolders(ctx_.sources, std::move(movedFolders_));
        // A moved folder that still holds a skipped file stays by design; a delete job was
        // asked to remove it.
        if (IsDelete(ctx_.policy.mode)) {
            for (const FolderLeft& folder : left)
                NotRemoved(folder.path, folder.error);
        }
    }
    ApplyFolderTimes();
}

void JobThread::BeginManifests() {
    std::optional<HashKind> kind;
    switch (ctx_.policy.manifest.Get()) {
        case ManifestPolicy::Xxh128: kind = HashKind::Xxh128; break;
        case ManifestPolicy::Sha256: kind = HashKind::Sha256; break;
        case ManifestPolicy::None: break;
    }
    // Links and deletions write no bytes to hash.
    if (IsDelete(ctx_.policy.mode) || ctx_.options.PerFileLink)
        kind.reset();
    const time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    // Each job is a process of its own: its id tells two jobs of one second apart.
    ctx_.manifests.Begin(kind, ctx_.dests.Count(), stamp, std::to_string(getpid()));
}

void JobThread::SyncDestinations() {
    // A job that had nothing to put into its destinations wrote nothing there to keep.
    if (!ctx_.dests.RootsMade())
        return;
    // Whatever the status text held (the list's last count) is not about the sync.
    ctx_.host.ShowStatus("");
    ctx_.syncing = true;
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        const std::string root = ctx_.dests[slot].root.empty() ? "/" : ctx_.dests[slot].root;
        // Nothing went into a destination that could not be made, and each file said so. A
        // share confirmed each copy on its disk as it closed it.
        if (ctx_.dests.MissingFolder(root) || !ctx_.dests[slot].Local())
            continue;
        if (!SyncDestination(slot, root))
            break;
    }
    ctx_.syncing = false;
    ctx_.host.ShowStatus("");
}

bool JobThread::SyncDestination(uint32_t slot, const std::string& root) {
    DestWriteback& writeback = ctx_.dests[slot].writeback;
    const uint64_t unwritten = writeback.Unwritten();
    const uint64_t rate = writeback.BytesPerSecond();
    std::string device;
    // While the kernel writes, the user sees how much of the job's data is likely still left.
    const auto tell = [&](uint64_t ms) {
        if (ms < kSyncQuietMs)
            return;
        if (device.empty())
            device = mounts::DeviceOf(root);
        const std::string text = WritingText(device, UnwrittenLeft(unwritten, rate, ms));
        ctx_.host.ShowStatus(text);
        if (ctx_.console && ctx_.console->Attached())
            ctx_.console->Line(text, false);
    };
    const auto ended = [&] { return ctx_.state.flags.Terminating != 0; };
    ErrorSettler settler(ctx_);
    for (;;) {
        const std::optional<int> result = SyncFileSystem(root, ended, tell);
        if (!result)
            return false;
        const int error = *result;
        if (error == 0) {
            writeback.Clear();
            return true;
        }
        // Data that cannot be made durable is reported like a failed write.
        const SettleAction action = settler.Settle({ErrorStep::Sync, root, {}, error});
        if (action == SettleAction::Retry)
            continue;
        if (action == SettleAction::Skip)
            ctx_.Report(Failed(root, OutcomeCause::OperationFailed, error, Operation::Sync));
        return true;
    }
}

std::vector<std::string> JobThread::CopyFolders(const FENTRY_& node) const {
    std::vector<std::string> folders;
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        if (ctx_.dests[slot].active)
            folders.push_back(DirPart(node.DestinationPath(slot, ctx_.dests[slot].root)));
    }
    return folders;
}

void JobThread::ProcessNode(FENTRY_& node) {
    if (SkippedEverywhere(node)) {
        if (!node.IsFolder()) {
            ctx_.state.counters.doneBytes += node.size;
            ctx_.FileEnded(FileEnd::Skipped, 0);
            ++ctx_.state.counters.filesDone;
        }
        return;
    }
    ctx_.dests.MakeRoots();
    if (node.IsFolder()) {
        MakeFolders(node);
        return;
    }
    const uint32_t mode = node.attributes;
    if (S_ISREG(mode)) {
        CopyEntry(node);
    } else if (IsDelete(ctx_.policy.mode)) {
        DeleteOther(node);
    } else if (S_ISLNK(mode)) {
        CopyLink(node);
    } else {
        // Fifos, sockets and devices are never opened: reading a fifo could wait forever.
        ctx_.Report(Skipped(node.SourcePath(), OutcomeCause::SpecialFile));
        ctx_.FileEnded(FileEnd::Skipped, 0);
    }
    ++ctx_.state.counters.filesDone;
}

bool JobThread::SkippedEverywhere(const FENTRY_& node) const {
    if (!node.changes)
        return false;
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        if (!node.SkippedIn(slot))
            return false;
    }
    return true;
}

void JobThread::NotRemoved(const std::string& path, int error) {
    ctx_.Report(Failed(path, OutcomeCause::CannotRemove, error));
}

void JobThread::DeleteOther(const FENTRY_& node) {
    const std::string source = node.SourcePath();
    ctx_.state.SetCurrentSource(source);
    const bool removed = unlink(source.c_str()) == 0 || errno == ENOENT;
    if (!removed)
        NotRemoved(source, errno);
    ctx_.FileEnded(removed ? FileEnd::Completed : FileEnd::Failed, 0);
}

namespace {

// The owner, group and extended attributes of the source folder `path`.
std::shared_ptr<const FileMetadata> FolderMetadata(const FENTRY_& node, const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    std::shared_ptr<const FileMetadata> meta = ReadMetadata(node.uid, node.gid, fd);
    if (fd >= 0)
        close(fd);
    return meta;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

void JobThread::MakeFolders(const FENTRY_& node) {
    const std::string source = node.SourcePath();
    if (IsDelete(ctx_.policy.mode)) {
        movedFolders_.push_back(source);
        return;
    }
    struct stat src {};
    const bool sourceFound = ctx_.sources.Stat(source, src) == 0;
    const bool keep = ctx_.options.KeepFileTimes && node.attributes != kAttributesUnknown;
    // A share's folder has no owner or extended attributes of this machine's to keep.
    const std::shared_ptr<const FileMetadata> meta =
        keep && !SourceFiles::OnShare(source) ? FolderMetadata(node, source) : nullptr;
    // A destination folder that is the source folder itself keeps everything it has, and is
    // never removed as a moved folder.
    bool itself = false;
    const uint32_t count = ctx_.dests.Count();
    for (uint32_t slot = 0; slot < count; ++slot) {
        if (node.SkippedIn(slot))
            continue;
        CopyDest& d = ctx_.dests[slot];
        const std::string path = node.DestinationPath(slot, d.root);
        if (const int error = d.files->MakeFolderTree(path))
            ctx_.dests.NoteFolderFailure(path, error);
        struct stat there {};
        if (sourceFound && d.files->StatPath(path, there) == 0 && SameFile(src, there)) {
            itself = true;
            continue;
        }
        // A folder's permissions and time are given once its contents are in place: a
        // read-only folder would refuse them, and every file written into it would move its
        // time again.
        if (keep)
            folderTimes_.push_back({path, node.attributes, node.LastWriteTime(), meta, d.files});
    }
    if (IsMove(ctx_.policy.mode) && !itself)
        movedFolders_.push_back(source);
}

void JobThread::ApplyFolderTimes() {
    // Deepest first: walk order puts every folder before its subfolders.
    for (auto it = folderTimes_.rbegin(); it != folderTimes_.rend(); ++it) {
        if (!it->files->Local()) {
            it->files->SetTimes(it->path, it->modified);
            continue;
        }
        int fd = open(it->path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        if (it->meta)
            GiveMetadata(ctx_, fd, it->path, *it->meta);
        SetBasicInfo(fd, it->mode, it->modified);
        close(fd);
    }
    folderTimes_.clear();
}

void JobThread::CopyLink(const FENTRY_& node) {
    const std::string source = node.SourcePath();
    ctx_.state.SetCurrentSource(source);
    std::string target(4096, '\0');
    ssize_t len = readlink(source.c_str(), target.data(), target.size());
    struct stat src {};
    if (len < 0 || static_cast<size_t>(len) >= target.size() || lstat(source.c_str(), &src) != 0) {
        const int error =
            len >= 0 && static_cast<size_t>(len) >= target.size() ? ENAMETOOLONG : errno;
        ctx_.Report(Failed(source, OutcomeCause::OperationFailed, error, Operation::Open));
        ctx_.FileEnded(FileEnd::Failed, 0);
        return;
    }
    target.resize(static_cast<size_t>(len));
    FileMetadata meta;
    meta.uid = node.uid;
    meta.gid = node.gid;
    FileEnd end = FileEnd::Completed;
    const uint32_t count = ctx_.dests.Count();
    ctx_.dests.ActivateAll();
    for (uint32_t slot = 0; slot < count; ++slot) {
        if (node.SkippedIn(slot)) {
            ctx_.dests.SkipDestination(slot);
            end = end == FileEnd::Failed ? end : FileEnd::Skipped;
            continue;
        }
        const std::string dest = node.DestinationPath(slot, ctx_.dests[slot].root);
        struct stat there {};
        const bool found = lstat(dest.c_str(), &there) == 0;
        if ((found && SkipIfSource(slot, dest, there, src.st_dev, src.st_ino)) ||
            SkipIfWrittenByJob(slot, node, source, dest, found ? &there : nullptr)) {
            end = end == FileEnd::Failed ? end : FileEnd::Skipped;
            continue;
        }
        if (symlink(target.c_str(), dest.c_str()) != 0) {
            // An existing destination is replaced only when the job overwrites.
            const bool exists = errno == EEXIST;
            const bool overwrite = exists && Has(ctx_.policy.onExist, ExistsPolicy::Overwrite);
            if (!overwrite || S_ISDIR(there.st_mode) || unlink(dest.c_str()) != 0 ||
                symlink(target.c_str(), dest.c_str()) != 0) {
                if (exists && !overwrite) {
                    ctx_.Report(Skipped(source, OutcomeCause::ExistingKept, dest));
                    end = end == FileEnd::Failed ? end : FileEnd::Skipped;
                } else {
                    const int error = errno;
                    // A link has no folder to go into when its folder could not be made.
                    const std::optional<FolderNotMade> missing =
                        error == ENOENT ? ctx_.dests.MissingFolder(DirPart(dest)) : std::nullopt;
                    ctx_.Report(missing
                                    ? FolderFailed(source, dest, missing->folder, missing->error)
                                    : Failed(source, OutcomeCause::OperationFailed, error,
                                             Operation::Link, dest));
                    end = FileEnd::Failed;
                }
                ctx_.dests.SkipDestination(slot);
                continue;
            }
        }
        ctx_.written.Record(dest, &node);
        if (ctx_.options.KeepFileTimes) {
            if (const int error = ApplyLinkOwner(dest, meta))
                ctx_.Report(Failed(dest, OutcomeCause::MetadataNotKept, error));
            const timespec times[2] = {{0, UTIME_OMIT}, node.LastWriteTime()};
            utimensat(AT_FDCWD, dest.c_str(), times, AT_SYMLINK_NOFOLLOW);
        }
    }
    ctx_.FileEnded(end, 0);
    // A moved link goes once every destination has its own, and their folders are synced, and
    // only while it is still the link that was copied.
    if (end == FileEnd::Completed && IsMove(ctx_.policy.mode))
        ctx_.files.LinkMoved(source, IdentityOf(src), CopyFolders(node));
}

}  // namespace rd
