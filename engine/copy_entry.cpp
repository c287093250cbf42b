// The reader side of the copy: one file from its source to every active destination.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "engine/engine_context.h"
#include "engine/job_thread.h"
#include "engine/messages.h"

namespace rd {

namespace {

bool AnyActive(DestTable& dests) {
    for (uint32_t slot = 0; slot < dests.Count(); ++slot) {
        if (dests[slot].active)
            return true;
    }
    return false;
}

// The kernel says copy_file_range cannot serve these two files at all.
bool KernelRefuses(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
           error == EBADF;
}

}  // namespace

void JobThread::CopyEntry(FENTRY_& node) {
    JobCounters& counters = ctx_.state.counters;
    const std::string source = node.SourcePath();
    ctx_.state.SetCurrentSource(source);
    ctx_.window.Send(msg::WMU_SETTEXT, msg::kTextCurrentFile, 0);
    ctx_.state.flags.SkipFile = 0;
    ++fileId_;
    counters.filePercent = 0;

    SourceHandle handle;
    OpenSource(source, handle, 0, false, 0);
    if (handle.fd < 0) {
        // The source is gone or unreadable: the file is skipped and its bytes count as done,
        // so that the job's totals still add up.
        ++counters.skips;
        counters.doneBytes += node.size;
        return;
    }

    ctx_.dests.ActivateAll();
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot)
        CheckExisting(slot, node);
    if (!AnyActive(ctx_.dests)) {
        counters.doneBytes += node.size;
        counters.filePercent = 100;
        return;
    }

    if (node.size > 0)
        BlockLoop(node, source, handle, 0);
    else
        CopyZeroLength(node);
}

void JobThread::CheckExisting(uint32_t slot, const FENTRY_& node) {
    const std::string dest = ctx_.dests[slot].root + node.relative;
    struct stat st {};
    if (lstat(dest.c_str(), &st) != 0)
        return;
    struct stat src {};
    const bool sameFile = stat(node.SourcePath().c_str(), &src) == 0 && src.st_dev == st.st_dev &&
                          src.st_ino == st.st_ino;
    const bool overwrite = (ctx_.settings.onexist & 1) != 0;
    // An empty file is simply written over. Anything else is replaced only when the job
    // overwrites, never when it is the source itself or a folder; otherwise it is kept.
    if (!sameFile && S_ISREG(st.st_mode) && st.st_size == 0)
        return;
    if (overwrite && !sameFile && !S_ISDIR(st.st_mode) && unlink(dest.c_str()) == 0)
        return;
    ++ctx_.state.counters.skips;
    ctx_.dests.SkipDestination(slot);
}

void JobThread::CopyZeroLength(const FENTRY_& node) {
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        CopyDest& d = ctx_.dests[slot];
        if (!d.active)
            continue;
        const std::string dest = d.root + node.relative;
        int fd = open(dest.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            ctx_.dests.SkipDestination(slot);
            continue;
        }
        if (ctx_.options.KeepFileTimes)
            SetBasicInfo(fd, node.attributes, node.lastWriteTime);
        close(fd);
    }
    ctx_.state.counters.filePercent = 100;
}

void JobThread::ReadErrorSkip() {
    ++ctx_.state.counters.skips;
    ctx_.state.flags.SkipFile = 1;
}

void JobThread::BlockLoop(FENTRY_& node, const std::string& source, SourceHandle& handle,
                          uint64_t position) {
    JobCounters& counters = ctx_.state.counters;
    const uint64_t size = node.size;
    for (;;) {
        if (ctx_.state.flags.SkipFile) {
            ++counters.skips;
            counters.doneBytes += size - position;
            ctx_.state.flags.SkipFile = 0;
            break;
        }
        SleepWhilePaused(100);
        uint32_t block = CopyBlockSize(ctx_.settings.bufsz);
        if (size < block)
            block = static_cast<uint32_t>(size);
        const uint64_t blockStart = position;

        uint32_t fastSlot = 0;
        if (FastPathAllowed(fastSlot)) {
            const uint32_t length =
                static_cast<uint32_t>(std::min<uint64_t>(block, size - position));
            if (FastBlock(node, handle, fastSlot, position, length) > 0) {
                if (position >= size)
                    break;
                continue;
            }
        }

        EnsureCapacity(handoff_.ReadBuffer, block, *ctx_.allocationFailure);
        OpenSource(source, handle, block, ctx_.settings.readburst != 0, position);
        uint32_t n = block;
        int error = 0;
        const bool ok = handle.fd >= 0 &&
                        PositionedRead(handle.fd, handoff_.ReadBuffer.Data(), n, position, error);
        // A source that ends before its listed size has changed under the copy: it is treated
        // as unreadable rather than read again and again.
        if (!ok || (n == 0 && position < size)) {
            ReadErrorSkip();
            break;
        }
        if (ctx_.state.flags.SkipFile)
            break;
        // Only the listed length is copied, even from a source that has grown since.
        n = static_cast<uint32_t>(std::min<uint64_t>(n, size - position));
        if (n > 0)
            Publish(node, source, n, blockStart, position);
        if (position >= size)
            break;
    }
    handle.Close();
}

void JobThread::AccountBlock(const FENTRY_& node, uint32_t n, uint64_t& position) {
    JobCounters& counters = ctx_.state.counters;
    position += n;
    counters.doneBytes += n;
    counters.transferredBytes += n;
    counters.filePercent =
        node.size ? static_cast<uint32_t>(std::min<uint64_t>(position * 100 / node.size, 100))
                  : 100;
}

void JobThread::Publish(const FENTRY_& node, const std::string& source, uint32_t n,
                        uint64_t blockStart, uint64_t& position) {
    SleepWhilePaused(100);
    ctx_.state.speed.Sample(ctx_.state.counters, ctx_.settings.splim, ctx_.settings.limtip);
    const uint32_t count = ctx_.dests.Count();
    {
        if (parallel_)
            WaitForWriters(count > 1);
        std::unique_lock<std::mutex> lock(handoff_.HandoffLock, std::defer_lock);
        if (parallel_)
            lock.lock();
        for (uint32_t slot = 0; slot < count; ++slot) {
            CopyDest& d = ctx_.dests[slot];
            d.currentPath = d.root + node.relative;
            handoff_.active[slot] = d.active ? 1 : 0;
        }
        SwapBuffers(handoff_.ReadBuffer, handoff_.HandoffBuffer);
        handoff_.pendingLength = n;
        handoff_.taken = 0;
        handoff_.creationTime = node.creationTime;
        handoff_.lastWriteTime = node.lastWriteTime;
        handoff_.attributes = node.attributes;
        handoff_.fileSize = node.size;
        handoff_.checksum = 0;
        handoff_.markerFlag = ctx_.settings.resfsz != 0;
        handoff_.blockPosition = blockStart;
        handoff_.sourcePath = source;
        handoff_.fileId = fileId_;
        ++handoff_.sequence;
        if (parallel_) {
            for (uint32_t slot = 0; slot < count; ++slot)
                ctx_.dests[slot].ready->Set();
        }
    }
    if (!parallel_) {
        TakenBlock block;
        for (uint32_t slot = 0; slot < count; ++slot) {
            if (TakeBlock(slot, block))
                WriteTaken(slot, block);
        }
    }
    AccountBlock(node, n, position);
}

void JobThread::WaitForWriters(bool written) {
    const uint64_t sequence = handoff_.sequence;
    for (uint32_t slot = 0; slot < handoff_.active.size(); ++slot) {
        if (!handoff_.active[slot])
            continue;
        CopyDest& d = ctx_.dests[slot];
        WriterSlotState& state = writerState_[slot];
        // The events only wake the reader; the sequence numbers say whether the writer really
        // is done with the last block, so a signal left over from earlier blocks cannot let a
        // block be replaced while it is still being written.
        while (state.takenSequence < sequence)
            d.taken->Wait();
        while (written && state.writtenSequence < sequence)
            d.written->Wait();
    }
}

bool JobThread::FastPathAllowed(uint32_t& slot) const {
    if (fastPathBroken_ || ctx_.settings.encrc || ctx_.settings.readburst ||
        ctx_.settings.writeburst)
        return false;
    uint32_t active = 0;
    for (uint32_t i = 0; i < ctx_.dests.Count(); ++i) {
        if (ctx_.dests[i].active) {
            slot = i;
            ++active;
        }
    }
    return active == 1;
}

uint32_t JobThread::FastBlock(const FENTRY_& node, SourceHandle& handle, uint32_t slot,
                              uint64_t& position, uint32_t length) {
    // The writer of the slot must be done with every block it was given before this thread
    // uses the slot's handles.
    if (parallel_)
        WaitForWriters(true);
    CopyDest& d = ctx_.dests[slot];
    const std::string source = node.SourcePath();
    const std::string dest = d.root + node.relative;
    CloseLeftover(slot, fileId_);

    SleepWhilePaused(100);
    ctx_.state.speed.Sample(ctx_.state.counters, ctx_.settings.splim, ctx_.settings.limtip);
    OpenSource(source, handle, length, false, position);
    if (handle.fd < 0)
        return 0;
    if (!OpenDestFile(d, dest, position, length, node.size, false, ctx_.settings.resfsz != 0))
        return 0;
    writerState_[slot].openFileId = fileId_;

    {
        std::lock_guard<std::mutex> lock(ctx_.state.WriterLock);
        ++ctx_.state.flags.ActiveWriters;
    }
    loff_t in = static_cast<loff_t>(position);
    loff_t out = in;
    uint32_t moved = 0;
    while (moved < length) {
        ssize_t r = copy_file_range(handle.fd, &in, d.fileHandle, &out, length - moved, 0);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && KernelRefuses(errno))
            fastPathBroken_ = true;
        // An error or an early end: what was moved counts, the rest goes the read/write way,
        // which tells a read error from a write error.
        if (r <= 0)
            break;
        moved += static_cast<uint32_t>(r);
    }
    {
        std::lock_guard<std::mutex> lock(ctx_.state.WriterLock);
        --ctx_.state.flags.ActiveWriters;
    }
    if (moved == 0)
        return 0;

    AccountBlock(node, moved, position);
    if (ctx_.settings.resfsz)
        UpdateResumeMarker(d, dest, source, ctx_.options.switches, position, node.size);
    if (position >= node.size)
        CloseDestFile(d, ctx_.options.KeepFileTimes, node.attributes, node.lastWriteTime);
    return moved;
}

}  // namespace rd
