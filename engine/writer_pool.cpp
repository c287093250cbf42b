#include "engine/writer_pool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/engine_context.h"
#include "engine/error_settler.h"
#include "engine/prompts.h"
#include "engine/transfer.h"
#include "platform/clock.h"
#include "platform/path_parts.h"
#include "platform/text.h"

namespace rd {

mode_t GiveMetadata(EngineContext& ctx, int fd, const std::string& dest, const FileMetadata& meta,
                    const struct stat* seen) {
    mode_t mode = 0;
    if (const int error = ApplyOwnerAndXattrs(fd, meta, &mode, seen))
        ctx.Report(Failed(dest, OutcomeCause::MetadataNotKept, error));
    return mode;
}

void NoteModesRefused(EngineContext& ctx, uint32_t slot, int error) {
    const std::string& root = ctx.dests[slot].root;
    ctx.Report({OutcomeKind::Done,
                OutcomeCause::ModesRefused,
                Operation::None,
                error,
                root.empty() ? "/" : root,
                {},
                {}});
}

mode_t KeepMetadata(EngineContext& ctx, uint32_t slot, int fd, const std::string& dest,
                    const FileMetadata& meta, const struct stat* seen) {
    CopyDest& d = ctx.dests[slot];
    if (d.Local())
        return GiveMetadata(ctx, fd, dest, meta, seen);
    // As on a stick, owners are the share's own and no failure. A share has no room for
    // attributes either, as it has none for permissions: said once, as they are.
    if (!meta.xattrs.empty() && !d.xattrsTold.exchange(true))
        ctx.Report({OutcomeKind::Done,
                    OutcomeCause::AttributesNotKept,
                    Operation::None,
                    0,
                    d.root.empty() ? "/" : d.root,
                    {},
                    {}});
    return 0;
}

WriterPool::WriterPool(EngineContext& ctx, BlockHandoff& handoff, const CurrentFile& reading)
    : ctx_(ctx), handoff_(handoff), reading_(reading) {}

WriterPool::~WriterPool() {
    Stop();
}

void WriterPool::Start() {
    if (!handoff_.Parallel())
        return;
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot)
        threads_.emplace_back([this, slot] {
            TakenBlock block;
            while (handoff_.Take(slot, block))
                WriteTaken(slot, block);
        });
}

void WriterPool::Stop() {
    if (threads_.empty())
        return;
    handoff_.Stop();
    for (std::thread& t : threads_)
        t.join();
    threads_.clear();
}

void WriterPool::WriteHere() {
    TakenBlock block;
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        if (handoff_.Take(slot, block))
            WriteTaken(slot, block);
    }
}

void WriterPool::NoteWritten(uint32_t slot, uint64_t fileId) {
    WriterSlotState& state = handoff_.Slot(slot);
    if (state.wroteFileId == fileId)
        return;
    state.wroteFileId = fileId;
    ctx_.files.Wrote(fileId, slot);
}

void WriterPool::CloseLeftover(uint32_t slot, uint64_t keepFileId) {
    CopyDest& d = ctx_.dests[slot];
    if (d.fileHandle >= 0 && handoff_.Slot(slot).openFileId != keepFileId) {
        if (d.Local())
            d.writeback.Closing(d.fileHandle);
        d.files->Discard(d.fileHandle);
        d.fileHandle = -1;
    }
    if (d.fileHandle < 0 && d.markerHandle >= 0) {
        close(d.markerHandle);
        d.markerHandle = -1;
    }
}

void WriterPool::WriteTaken(uint32_t slot, const TakenBlock& block) {
    CopyDest& d = ctx_.dests[slot];
    WriterSlotState& state = handoff_.Slot(slot);
    JobState& job = ctx_.state;
    auto finish = [&] { handoff_.Written(slot, block.sequence); };
    if (!block.active) {
        finish();
        return;
    }
    {
        // Checked under the lock the end is begun under: once the job ends, no write starts,
        // and the end's count of writers still inside a write is exact.
        std::lock_guard<std::mutex> lock(job.WriterLock);
        if (job.flags.Terminating) {
            finish();
            return;
        }
        ++job.flags.ActiveWriters;
    }
    CloseLeftover(slot, block.fileId);
    const uint8_t* data = handoff_.WriteData();
    bool written = false;
    // Write, then read back and compare, until the destination holds the block or is given up.
    for (;;) {
        written = WriteWithRetry(slot, block, data);
        if (!written || VerifyWritten(slot, block, data))
            break;
        if (state.skippedFileId == block.fileId)
            break;
    }
    const bool kept = written && state.skippedFileId != block.fileId;
    if (!written && job.flags.Terminating)
        CutBack(slot, block);
    const uint64_t end = kept ? block.blockPosition + block.writeLength : block.blockPosition;
    if (block.markerFlag && kept)
        UpdateResumeMarker(d, block.destinationPath, block.sourcePath, ctx_.options.switches, end,
                           block.fileSize, &block.sourceId);
    if (kept && end == block.fileSize)
        DestinationComplete(slot, block);
    {
        std::lock_guard<std::mutex> lock(job.WriterLock);
        --job.flags.ActiveWriters;
    }
    // Last: once the reader knows the block is written, it may use the slot's handles itself.
    finish();
}

void WriterPool::DestinationComplete(uint32_t slot, const TakenBlock& block) {
    CopyDest& d = ctx_.dests[slot];
    // A copy whose source ends in a hole is still short of its length.
    int extended = 0;
    if (block.sparse && d.fileHandle >= 0 &&
        (extended = d.Local() ? (ExtendTo(d.fileHandle, block.fileSize) ? 0 : errno)
                              : d.files->SetLength(d.fileHandle, block.fileSize)) != 0) {
        const int error = extended;
        WriterSkip(slot, block, Operation::Write, error);
        CloseDestFile(d, false, 0, {});
        return;
    }
    if (block.meta && d.fileHandle >= 0)
        d.knownMode = KeepMetadata(ctx_, slot, d.fileHandle, block.destinationPath, *block.meta,
                                   d.madeSeen.st_mode ? &d.madeSeen : nullptr);
    if (!SameOnDisk(slot, block)) {
        CloseDestFile(d, false, 0, {});
        return;
    }
    // A moved source goes only once its copy is on the disk, not just in the cache.
    int syncError = 0;
    // A share confirms every copy on its disk as it closes it, and says so in the close's result.
    const bool syncHere = block.move && d.Local();
    if (syncHere && (d.fileHandle < 0 || fdatasync(d.fileHandle) != 0))
        syncError = d.fileHandle < 0 ? EBADF : errno;
    else if (syncHere)
        d.writeback.FileSynced();
    int refused = 0;
    const int closed = CloseDestFile(d, ctx_.options.KeepFileTimes, block.attributes,
                                     block.lastWriteTime, &refused);
    if (refused)
        NoteModesRefused(ctx_, slot, refused);
    // Network file systems report a write that failed late when the file is closed.
    if (closed != 0) {
        WriterSkip(slot, block, Operation::Write, closed);
        return;
    }
    if (syncError != 0)
        ctx_.Report(Failed(block.sourcePath, OutcomeCause::OperationFailed, syncError,
                           Operation::Sync, block.destinationPath));
    // A copy that may not be on the disk is not one a manifest vouches for.
    else if (ctx_.manifests.Kind())
        ctx_.Manifested(slot, block.sourcePath, block.destinationPath, block.digest);
    ctx_.files.CopyComplete(block.fileId, slot, syncError == 0);
}

namespace {

// The hash of the copy open as `written`, read from the disk through a handle of its own, opened
// on the very file that was written.
int HashLocalCopy(const TakenBlock& block, int written, HashKind kind, std::string& hex) {
    if (fdatasync(written) != 0)
        return errno;
    const int fd = open(block.destinationPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat a {
    }, b{};
    int error = 0;
    if (fd < 0 || fstat(fd, &a) != 0 || fstat(written, &b) != 0)
        error = errno;
    else if (a.st_dev != b.st_dev || a.st_ino != b.st_ino)
        error = ESTALE;
    if (error == 0)
        error = HashFromDisk(fd, kind, hex);
    if (fd >= 0)
        close(fd);
    return error;
}

// The same of a copy on a share, read back from the server.
int HashShareCopy(CopyDest& d, const TakenBlock& block, HashKind kind, std::string& hex) {
    int fd = -1;
    struct stat a {
    }, b{};
    int error = d.files->OpenRead(block.destinationPath, fd);
    if (error == 0 && (error = d.files->StatOpen(fd, a)) == 0 &&
        (error = d.files->StatOpen(d.fileHandle, b)) == 0 && a.st_ino != b.st_ino)
        error = ESTALE;
    FileHasher hasher(kind);
    std::vector<uint8_t> piece(1 << 20);
    for (uint64_t at = 0; error == 0;) {
        uint32_t n = static_cast<uint32_t>(piece.size());
        if ((error = d.files->Read(fd, piece.data(), n, at)) != 0 || n == 0)
            break;
        hasher.Update(piece.data(), n);
        at += n;
    }
    if (fd >= 0)
        d.files->Discard(fd);
    if (error == 0)
        hex = hasher.HexDigest();
    return error;
}

}  // namespace

bool WriterPool::SameOnDisk(uint32_t slot, const TakenBlock& block) {
    const std::optional<HashKind> kind = ctx_.manifests.Kind();
    const std::string digest =
        ctx_.policy.verify && kind && block.digest ? block.digest->Wait() : "";
    if (digest.empty())
        return true;
    CopyDest& d = ctx_.dests[slot];
    const int written = d.fileHandle;
    std::string hex;
    int error = written < 0 ? EBADF
                : d.Local() ? HashLocalCopy(block, written, *kind, hex)
                            : HashShareCopy(d, block, *kind, hex);
    if (error == 0 && hex == digest)
        return true;
    handoff_.Slot(slot).skippedFileId = block.fileId;
    ctx_.files.Identify(block.fileId, slot, written);
    ctx_.Report(error ? Failed(block.sourcePath, OutcomeCause::OperationFailed, error,
                               Operation::Verify, block.destinationPath)
                      : Failed(block.sourcePath, OutcomeCause::DiffersOnDisk, 0, Operation::Verify,
                               block.destinationPath));
    ctx_.files.CopyGivenUp(block.fileId, slot, true);
    return false;
}

void WriterPool::WriterSkip(uint32_t slot, const TakenBlock& block, Operation op, int error,
                            const FolderNotMade* missing) {
    // Later blocks of the same file are not given to this slot; the reader leaves the file when
    // no slot is left. Reported, so that a job that lost a copy is never reported as clean.
    handoff_.Slot(slot).skippedFileId = block.fileId;
    if (handoff_.Slot(slot).openFileId == block.fileId)
        ctx_.files.Identify(block.fileId, slot, ctx_.dests[slot].fileHandle);
    // A share that went away with the file open is told as such: what it kept is not known.
    const OutcomeCause cause = error == ESTALE && !ctx_.dests[slot].Local()
                                   ? OutcomeCause::ShareLostFile
                                   : OutcomeCause::OperationFailed;
    ctx_.Report(missing ? FolderFailed(block.sourcePath, block.destinationPath, missing->folder,
                                       missing->error)
                        : Failed(block.sourcePath, cause, error, op, block.destinationPath));
    ctx_.files.CopyGivenUp(block.fileId, slot, true);
}

namespace {

// The free space of the file system that holds `path`; -1 when it cannot be told.
int64_t FreeBytes(const std::string& path) {
    struct statvfs vfs {};
    const std::string folder = DirPart(path);
    if (statvfs(folder.empty() ? "." : folder.c_str(), &vfs) != 0)
        return -1;
    return static_cast<int64_t>(vfs.f_bavail * vfs.f_frsize);
}

}  // namespace

bool WriterPool::WriteWithRetry(uint32_t slot, const TakenBlock& block, const uint8_t* data) {
    CopyDest& d = ctx_.dests[slot];
    JobState& job = ctx_.state;
    // The skip button speaks of the file being read, which may already be a later one.
    auto skipped = [&] { return job.flags.SkipFile && reading_.id == block.fileId; };
    ErrorSettler settler(ctx_);
    while (handoff_.Slot(slot).skippedFileId != block.fileId && !job.flags.Terminating &&
           !skipped()) {
        int error = 0;
        const bool fresh = d.fileHandle < 0;
        if (OpenDestFile(d, block.destinationPath, block.blockPosition, block.writeLength,
                         block.fileSize, block.attributes, ctx_.policy.writeBurst,
                         ctx_.policy.reserve && !block.sparse, &error, block.fileId)) {
            if (fresh)
                ctx_.files.Opened(block.fileId, slot);
            handoff_.Slot(slot).openFileId = block.fileId;
            error = d.files->Write(d.fileHandle, data, block.writeLength, block.blockPosition);
            if (error == 0) {
                if (d.Local())
                    d.writeback.Wrote(d.fileHandle, block.blockPosition, block.writeLength);
                NoteWritten(slot, block.fileId);
                return true;
            }
        }
        // A folder that could not be made is why its file is missing: the question and the
        // report name that folder and its cause.
        std::optional<FolderNotMade> missing;
        if (error == ENOENT && (missing = ctx_.dests.MissingFolder(DirPart(block.destinationPath))))
            error = missing->error;
        // The copy may be given up below: what it is is known only while it is open.
        if (d.fileHandle >= 0 && handoff_.Slot(slot).openFileId == block.fileId)
            ctx_.files.Identify(block.fileId, slot, d.fileHandle);
        CloseLeftover(slot, 0);
        if (job.flags.Terminating || skipped())
            return false;
        // A share that went away while the file was open may have lost writes it had taken: the
        // copy is given up, its marker first, so that nothing of it is ever gone on with.
        if (error == ESTALE && !d.Local()) {
            ::unlink(MarkerPathOf(block.destinationPath).c_str());
            WriterSkip(slot, block, Operation::Write, error);
            return false;
        }
        ErrorFacts facts{
            ErrorStep::Write,  block.destinationPath,           {}, error, block.blockPosition,
            block.writeLength, FreeBytes(block.destinationPath)};
        if (missing)
            facts.folder = missing->folder;
        const SettleAction action = settler.Settle(facts);
        if (action == SettleAction::Skip) {
            WriterSkip(slot, block, Operation::Write, error, missing ? &*missing : nullptr);
            return false;
        }
        if (action == SettleAction::Abort)
            return false;
    }
    return false;
}

bool WriterPool::VerifyWritten(uint32_t slot, const TakenBlock& block, const uint8_t* data) {
    CopyDest& d = ctx_.dests[slot];
    JobState& job = ctx_.state;
    if (!ctx_.policy.verify || block.writeLength == 0 || job.flags.Terminating ||
        job.flags.SkipFile)
        return true;
    // The read-back bypasses the cache exactly when the write did, so that in burst mode the
    // bytes really come from the disk.
    VNBuffer back;
    EnsureCapacity(back, block.writeLength, *ctx_.allocationFailure);
    int fd = -1;
    if (d.Local()) {
        int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC;
        if (d.openFlags & openflag::kNoBuffering)
            flags |= O_DIRECT;
        fd = open(block.destinationPath.c_str(), flags);
        if (fd < 0 && (flags & O_DIRECT))
            fd = open(block.destinationPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    } else {
        d.files->OpenRead(block.destinationPath, fd);
    }
    uint32_t n = block.writeLength;
    bool same = false;
    if (fd >= 0) {
        same = d.files->Read(fd, back.Data(), n, block.blockPosition) == 0 &&
               n == block.writeLength && std::memcmp(back.Data(), data, n) == 0;
        d.files->Discard(fd);
    }
    if (same)
        return true;
    const SettleAction action = ErrorSettler(ctx_).Settle({ErrorStep::WriteVerify,
                                                           block.destinationPath,
                                                           {},
                                                           0,
                                                           block.blockPosition,
                                                           block.writeLength});
    if (action == SettleAction::Skip) {
        WriterSkip(slot, block, Operation::Verify, 0);
        return true;
    }
    return false;
}

void WriterPool::CutBack(uint32_t slot, const TakenBlock& block) {
    JobState& job = ctx_.state;
    for (;;) {
        CloseLeftover(slot, 0);
        job.PauseUnlessEnding(static_cast<uint32_t>(ctx_.policy.retryDelayMs.Get()));
        if (++job.flags.Terminating > 100)
            return;
        DestFiles& files = *ctx_.dests[slot].files;
        int fd = -1;
        const int opened = files.OpenWrite(block.destinationPath, false, 0, fd);
        // Nothing there any more: nothing to cut.
        if (opened == ENOENT)
            return;
        if (opened != 0)
            continue;
        const bool cut = files.SetLength(fd, block.blockPosition) == 0;
        files.Discard(fd);
        if (cut)
            return;
    }
}

}  // namespace rd
