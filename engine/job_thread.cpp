#include "engine/job_thread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "engine/engine_context.h"
#include "engine/file_list_builder.h"
#include "engine/messages.h"
#include "engine/move_delete_link.h"
#include "engine/prompts.h"
#include "engine/source_queue.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace rd {

JobThread::JobThread(EngineContext& context) : ctx_(context) {}

JobThread::~JobThread() {
    Join();
}

void JobThread::Start() {
    thread_ = std::thread(&JobThread::Run, this);
}

void JobThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

void JobThread::SleepWhilePaused(int stepMs) {
    while (ctx_.state.flags.Paused)
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
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
    FileListBuilder(ctx_).RunIntake();

    while (!ctx_.state.flags.EngineReady || ctx_.state.flags.Paused)
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    ctx_.window.Send(msg::WMU_COMMAND, msg::kCmdLockOptions, 0);

    const uint32_t count = ctx_.dests.Count();
    writerState_ = std::make_unique<WriterSlotState[]>(std::max<uint32_t>(count, 1));
    handoff_.active.assign(count, 0);
    parallel_ = ctx_.settings.parcopy != 0;
    if (parallel_) {
        for (uint32_t slot = 0; slot < count; ++slot)
            writers_.emplace_back(&JobThread::WriterThread, this, slot);
    }

    ctx_.state.counters.copyTime = 0;
    ctx_.copyStartedAt = TickMs();

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
        if (node && otherSource)
            ctx_.queue.SetState(node->queueEntry, kStateDone);
        if (next && otherSource)
            ctx_.queue.SetState(next->queueEntry, kStateCopy);
        if (!next)
            break;
        node = next;
        lock.unlock();
        ProcessNode(*node);
    }

    if (parallel_)
        StopWriters();
    // Handles of files that were abandoned part-way stay open until here; the partial
    // destinations are left as they are.
    for (uint32_t slot = 0; slot < count; ++slot)
        CloseLeftover(slot, 0);
    FinishMoves();
    if (ctx_.settings.delmode & mode::kMove)
        RemoveMovedFolders(std::move(movedFolders_));
    ApplyFolderTimes();
    if (!mode::IsDelete(ctx_.settings.delmode))
        SyncDestinations();

    ctx_.jobState = 2;
    if (ctx_.completeJob) {
        ctx_.completeJob();
    } else {
        class Silent : public SoundPlayer {
            void PlayFile(const std::string&) override {}
        } silent;
        RunCompletionActions(ctx_, ctx_.sound ? *ctx_.sound : silent, started);
    }
}

void JobThread::SyncDestinations() {
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        const std::string root = ctx_.dests[slot].root.empty() ? "/" : ctx_.dests[slot].root;
        for (;;) {
            int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            int error = fd < 0 ? errno : 0;
            if (fd >= 0) {
                if (syncfs(fd) != 0)
                    error = errno;
                close(fd);
            }
            if (error == 0)
                break;
            // Data that cannot be made durable is reported like a failed write.
            intptr_t answer = ErrorPolicy(ctx_);
            if (answer == 0) {
                const std::string message =
                    ctx_.messages.Text(12) + " " + ErrorText(error) + "\r\n" +
                    text::Format("%s %s\r\n", ctx_.messages.Text(8).c_str(), root.c_str());
                answer = SettleWriterAbort(
                    ctx_, AskErrorPrompt(ctx_, promptflag::kAbortReturns, message));
            }
            if (answer == answer::kRetry && !ctx_.state.flags.Terminating) {
                ctx_.state.RetryPause(
                    static_cast<uint32_t>(static_cast<int32_t>(ctx_.settings.rtdel)));
                continue;
            }
            ++ctx_.state.counters.skips;
            break;
        }
    }
}

void JobThread::ExpectMove(const std::string& source, uint64_t size, uint32_t destinations) {
    std::lock_guard<std::mutex> lock(moveLock_);
    pendingMoves_[fileId_] = PendingMove{source, size, destinations, false};
}

void JobThread::MoveDestinationDone(uint64_t fileId, bool complete) {
    std::lock_guard<std::mutex> lock(moveLock_);
    auto it = pendingMoves_.find(fileId);
    if (it == pendingMoves_.end())
        return;
    // A source that some destination did not receive whole stays where it is.
    if (!complete)
        pendingMoves_.erase(it);
    else if (it->second.remaining > 0)
        --it->second.remaining;
}

void JobThread::FinishMoves() {
    std::vector<PendingMove> ready;
    {
        std::lock_guard<std::mutex> lock(moveLock_);
        for (auto it = pendingMoves_.begin(); it != pendingMoves_.end();) {
            if (it->second.remaining == 0) {
                ready.push_back(std::move(it->second));
                it = pendingMoves_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const PendingMove& move : ready)
        WipeAndDelete(ctx_, wipeBuffer_, move.source, move.size);
}

void JobThread::ProcessNode(FENTRY_& node) {
    if (node.IsFolder()) {
        MakeFolders(node);
        return;
    }
    const uint32_t mode = node.attributes;
    if (S_ISLNK(mode)) {
        CopyLink(node);
    } else if (S_ISREG(mode)) {
        CopyEntry(node);
    } else {
        // Fifos, sockets and devices are never opened: reading a fifo could wait forever.
        ++ctx_.state.counters.skips;
    }
    ++ctx_.state.counters.filesDone;
}

void JobThread::MakeFolders(const FENTRY_& node) {
    if (ctx_.settings.delmode & mode::kMove)
        movedFolders_.push_back(node.SourcePath());
    if (mode::IsDelete(ctx_.settings.delmode))
        return;
    const uint32_t count = ctx_.dests.Count();
    for (uint32_t slot = 0; slot < count; ++slot) {
        const std::string path = ctx_.dests[slot].root + node.relative;
        CreateFolderTree(path);
        // A folder's permissions and time are given once its contents are in place: a
        // read-only folder would refuse them, and every file written into it would move its
        // time again.
        if (ctx_.options.KeepFileTimes && node.attributes != kAttributesUnknown)
            folderTimes_.push_back({path, node.attributes, node.lastWriteTime});
    }
}

void JobThread::ApplyFolderTimes() {
    // Deepest first: walk order puts every folder before its subfolders.
    for (auto it = folderTimes_.rbegin(); it != folderTimes_.rend(); ++it) {
        int fd = open(it->path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
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
    if (len < 0 || static_cast<size_t>(len) >= target.size()) {
        ++ctx_.state.counters.skips;
        return;
    }
    target.resize(static_cast<size_t>(len));
    bool everywhere = true;
    const uint32_t count = ctx_.dests.Count();
    for (uint32_t slot = 0; slot < count; ++slot) {
        const std::string dest = ctx_.dests[slot].root + node.relative;
        if (symlink(target.c_str(), dest.c_str()) != 0) {
            // An existing destination is replaced only when the job overwrites.
            const bool overwrite = errno == EEXIST && (ctx_.settings.onexist & 1) != 0;
            struct stat st {};
            if (!overwrite || lstat(dest.c_str(), &st) != 0 || S_ISDIR(st.st_mode) ||
                unlink(dest.c_str()) != 0 || symlink(target.c_str(), dest.c_str()) != 0) {
                ++ctx_.state.counters.skips;
                everywhere = false;
                continue;
            }
        }
        if (ctx_.options.KeepFileTimes) {
            const timespec times[2] = {{0, UTIME_OMIT}, node.lastWriteTime};
            utimensat(AT_FDCWD, dest.c_str(), times, AT_SYMLINK_NOFOLLOW);
        }
    }
    // A moved link goes once every destination has its own.
    if (everywhere && mode::IsMove(ctx_.settings.delmode))
        unlink(source.c_str());
}

void JobThread::StopWriters() {
    WaitForWriters(true);
    {
        std::lock_guard<std::mutex> lock(handoff_.HandoffLock);
        const uint32_t count = ctx_.dests.Count();
        for (uint32_t slot = 0; slot < count; ++slot)
            ctx_.dests[slot].currentPath.clear();
        ++handoff_.sequence;
        for (uint32_t slot = 0; slot < count; ++slot)
            ctx_.dests[slot].ready->Set();
    }
    for (std::thread& t : writers_)
        t.join();
    writers_.clear();
}

}  // namespace rd
