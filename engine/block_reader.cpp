// The reader's side of the copy: reads one file block by block (or has the kernel copy it
// when nothing needs the bytes) and hands each block to the destinations' writers.
#include "engine/block_reader.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/engine_context.h"
#include "engine/error_settler.h"
#include "engine/speed.h"
#include "engine/verification.h"
#include "engine/writer_pool.h"
#include "platform/fault_injection.h"
#include "platform/path_parts.h"

namespace rd {

bool KernelRefuses(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
           error == EBADF;
}

bool KernelCopy(int in, int out, uint64_t position, uint32_t length, const JobFlagsState& flags,
                int& error) {
    loff_t from = static_cast<loff_t>(position);
    loff_t to = from;
    uint32_t moved = 0;
    error = 0;
    while (moved < length && !flags.Terminating) {
        const ssize_t r = copy_file_range(in, &from, out, &to, length - moved, 0);
        if (r > 0) {
            moved += static_cast<uint32_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        error = r < 0 ? errno : 0;
        return false;
    }
    if (moved < length)
        return false;
    // Tests fail chosen writes through the seam; a copy in the kernel has no bytes to show it.
    error = fault::Check(fault::Op::Write, out, position, nullptr, length);
    return error == 0;
}

BlockReader::BlockReader(EngineContext& ctx, BlockHandoff& handoff, WriterPool& writers,
                         CurrentFile& file)
    : ctx_(ctx), handoff_(handoff), writers_(writers), file_(file) {}

void BlockReader::StartHash(SourceHandle& handle, uint64_t position) {
    const std::optional<HashKind> kind = ctx_.manifests.Kind();
    hashing_ = kind.has_value();
    if (!hashing_)
        return;
    ctx_.hashes.Begin(*kind);
    // What an earlier job copied is read once more, so that the hash is of the whole file.
    HashRange(handle, 0, position);
}

void BlockReader::HashRange(SourceHandle& handle, uint64_t position, uint64_t length) {
    if (!hashing_)
        return;
    if (!handle.share) {
        ctx_.hashes.Range(handle.fd, position, length);
        return;
    }
    // The pipe reads only this machine's files: a share's bytes are read here and handed over.
    std::vector<uint8_t> piece(static_cast<size_t>(std::min<uint64_t>(length, 1 << 20)));
    for (uint64_t at = position; at < position + length;) {
        uint32_t n =
            static_cast<uint32_t>(std::min<uint64_t>(piece.size(), position + length - at));
        int error = 0;
        if (!ReadSource(handle, piece.data(), n, at, error) || n == 0) {
            ctx_.hashes.Unreadable();
            return;
        }
        ctx_.hashes.Bytes(piece.data(), n);
        at += n;
    }
}

void BlockReader::HashZeros(uint64_t length) {
    if (hashing_)
        ctx_.hashes.Zeros(length);
}

std::shared_ptr<PendingDigest> BlockReader::EndHash() {
    if (!hashing_)
        return nullptr;
    hashing_ = false;
    return ctx_.hashes.End();
}

bool BlockReader::SlotActive(uint32_t slot) const {
    return handoff_.SlotActive(slot, file_.id);
}

namespace {

// Opens the copy of an empty file where the existing-file check made none, emptied.
int OpenEmpty(CopyDest& d, const std::string& dest, uint32_t attributes, int& fd) {
    if (d.Local()) {
        fd = open(dest.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                  NewFileMode(attributes));
        return fd < 0 ? errno : 0;
    }
    int error = d.files->OpenWrite(dest, true, NewFileMode(attributes), fd);
    if (error == 0 && (error = d.files->SetLength(fd, 0)) != 0) {
        d.files->Discard(fd);
        fd = -1;
    }
    return error;
}

}  // namespace

void BlockReader::CopyZeroLength(const FENTRY_& node, const std::string& source) {
    if (!SourceUnchanged(source))
        return;
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        CopyDest& d = ctx_.dests[slot];
        if (!d.active)
            continue;
        const std::string dest = node.DestinationPath(slot, d.root);
        // The file the existing-file check made is empty already.
        const MadeFile made = d.TakeMade(file_.id);
        int fd = made.fd;
        int error = fd >= 0 ? 0 : OpenEmpty(d, dest, node.attributes, fd);
        if (fd >= 0) {
            ctx_.files.Opened(file_.id, slot);
            const mode_t seen = file_.meta ? KeepMetadata(ctx_, slot, fd, dest, *file_.meta,
                                                          made.fd >= 0 ? &made.seen : nullptr)
                                           : 0;
            const int refused =
                ctx_.options.KeepFileTimes
                    ? SetCopyInfo(d, fd, made.fd >= 0, node.attributes, node.LastWriteTime(), seen)
                    : 0;
            if (refused)
                NoteModesRefused(ctx_, slot, refused);
            // A share confirms every copy on its disk as it closes it.
            if (file_.move && d.Local() && fdatasync(fd) != 0) {
                error = errno;
                ctx_.files.Identify(file_.id, slot, fd);
            }
            const int closed = d.files->Close(fd);
            error = error ? error : closed;
        }
        // A folder that could not be made is why its file is missing.
        const std::optional<FolderNotMade> missing =
            error == ENOENT ? ctx_.dests.MissingFolder(DirPart(dest)) : std::nullopt;
        if (missing) {
            ctx_.Report(FolderFailed(node.SourcePath(), dest, missing->folder, missing->error));
            ctx_.dests.SkipDestination(slot);
            ctx_.files.CopyGivenUp(file_.id, slot, true);
        } else if (error != 0) {
            ctx_.Report(Failed(node.SourcePath(), OutcomeCause::OperationFailed, error,
                               Operation::Write, dest));
            ctx_.dests.SkipDestination(slot);
            ctx_.files.CopyGivenUp(file_.id, slot, true);
        } else {
            if (ctx_.manifests.Kind())
                ctx_.Manifested(slot, source, dest, FileHasher(*ctx_.manifests.Kind()).HexDigest());
            ctx_.files.CopyComplete(file_.id, slot, true);
        }
    }
    ctx_.state.counters.filePercent = 100;
}

bool BlockReader::SourceUnchanged(const std::string& source) {
    if (ctx_.sources.Now(file_.identity, source) == IdentityChange::None)
        return true;
    ctx_.Report(Failed(source, OutcomeCause::SourceChanged, 0));
    // What the copies hold is the start of a file that is no longer there to resume from.
    Abandon(source, true, false);
    return false;
}

void BlockReader::Abandon(const std::string& source, bool failed, bool resumable) {
    // The writers finish the blocks they were given before their copies are given up; then
    // their handles of the file are of no more use.
    if (handoff_.Parallel())
        handoff_.WaitForWriters(true);
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        if (handoff_.Slot(slot).openFileId == file_.id)
            ctx_.files.Identify(file_.id, slot, ctx_.dests[slot].fileHandle);
        writers_.CloseLeftover(slot, 0);
    }
    resumable = resumable && ctx_.sources.Now(file_.identity, source) == IdentityChange::None;
    ctx_.files.Abandon(file_.id, failed, resumable);
}

void BlockReader::SkipByUser(const std::string& source, uint64_t size, uint64_t position) {
    ctx_.Report(Skipped(source, OutcomeCause::UserSkipped));
    ctx_.state.counters.doneBytes += size - position;
    ctx_.state.flags.SkipFile = 0;
    Abandon(source, false);
}

bool BlockReader::OnReadError(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                              int error, uint32_t block, uint64_t position, uint32_t& n,
                              bool& healing, ErrorSettler& settler) {
    n = 0;
    // Once healing, every later failed read of the file is healed without a question.
    const SettleAction action =
        healing ? SettleAction::Heal
                : settler.Settle({ErrorStep::Read, source, {}, error, position});
    if (action == SettleAction::Heal) {
        healing = true;
        n = HealBlock(node, source, handle, block, position);
    } else if (action != SettleAction::Retry) {
        if (action == SettleAction::Skip)
            ctx_.Report(Failed(source, OutcomeCause::OperationFailed, error, Operation::Read));
        ctx_.state.flags.SkipFile = 1;
    }
    // The next read starts from a fresh, buffered handle.
    handle.Close();
    OpenSource(source, handle, 0, false, 0);
    return action == SettleAction::Retry || action == SettleAction::Heal;
}

uint32_t BlockReader::HealBlock(const FENTRY_& node, const std::string& source,
                                SourceHandle& handle, uint32_t block, uint64_t position) {
    // Unreadable pieces stay zero; the block is as long as a good read would have been.
    const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(block, node.size - position));
    uint8_t* data = handoff_.ReadBuffer().Data();
    std::memset(data, 0, block);
    const uint32_t piece = std::max<uint32_t>(block / 512, 1);
    for (uint32_t offset = 0; offset < length; offset += piece) {
        uint32_t want = std::min(piece, length - offset);
        OpenSource(source, handle, want, ctx_.policy.readBurst, position + offset);
        int ignored = 0;
        if (handle.fd >= 0)
            ReadSource(handle, data + offset, want, position + offset, ignored);
    }
    return length;
}

bool BlockReader::ReadBlock(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                            uint32_t block, uint64_t position, uint32_t& n, bool& healing,
                            ErrorSettler& settler) {
    for (;;) {
        ctx_.state.speed.BlockStarts(ctx_.policy.speedLimit);
        OpenSource(source, handle, block, ctx_.policy.readBurst, position);
        n = block;
        int error = EBADF;
        const bool ok =
            handle.fd >= 0 && ReadSource(handle, handoff_.ReadBuffer().Data(), n, position, error);
        // A source that ends before its listed size has changed under the copy: it is an error
        // like any other, rather than a read that is tried again and again.
        if (ok && n == 0 && position < node.size)
            error = ENODATA;
        if (!ok || error == ENODATA) {
            if (!OnReadError(node, source, handle, error, block, position, n, healing, settler))
                return false;
            if (n == 0)
                continue;  // retry
            return true;   // healed
        }
        settler.Restart();
        n = static_cast<uint32_t>(std::min<uint64_t>(n, node.size - position));
        if (!ctx_.policy.verify || n == 0)
            return true;
        // Read again until two reads in a row agree byte for byte.
        for (;;) {
            EnsureCapacity(verifyBuffer_, block, *ctx_.allocationFailure);
            uint32_t again = block;
            int verifyError = 0;
            if (!ReadSource(handle, verifyBuffer_.Data(), again, position, verifyError)) {
                if (!OnReadError(node, source, handle, verifyError, block, position, n, healing,
                                 settler))
                    return false;
                break;  // read the block anew
            }
            again = static_cast<uint32_t>(std::min<uint64_t>(again, node.size - position));
            if (again == n &&
                std::memcmp(verifyBuffer_.Data(), handoff_.ReadBuffer().Data(), n) == 0)
                return true;
            const SettleAction action =
                settler.Settle({ErrorStep::ReadVerify, source, {}, 0, position, n});
            if (action == SettleAction::Skip || action == SettleAction::Abort) {
                if (action == SettleAction::Skip)
                    ctx_.Report(
                        Failed(source, OutcomeCause::OperationFailed, 0, Operation::Verify));
                ctx_.state.flags.SkipFile = 1;
                n = 0;
                return false;
            }
            // The latest read is compared with the next one.
            SwapBuffers(verifyBuffer_, handoff_.ReadBuffer());
            n = again;
        }
    }
}

void BlockReader::BlockLoop(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                            uint64_t position, bool marker) {
    JobCounters& counters = ctx_.state.counters;
    const uint64_t size = node.size;
    StartHash(handle, position);
    if (position == 0 && size > 0 && CloneAllowed(node) && CloneWhole(node, source, handle)) {
        // A clone moved no bytes: a manifest's hash reads them, before the source is known to
        // have stayed the same throughout.
        HashRange(handle, 0, size);
        if (SourceUnchanged(source)) {
            counters.doneBytes += size;
            counters.filePercent = 100;
            ++counters.filesCloned;
            CompleteFast(node);
        }
        handle.Close();
        return;
    }
    bool healing = false;
    ErrorSettler settler(ctx_);
    for (;;) {
        bool anyActive = false;
        for (uint32_t slot = 0; slot < ctx_.dests.Count() && !anyActive; ++slot)
            anyActive = SlotActive(slot);
        // Every writer gave the file up (each counted its skip): the rest is not read.
        if (!anyActive) {
            counters.doneBytes += size - position;
            Abandon(source, true);
            break;
        }
        // An ended job cleans up what it leaves.
        if (ctx_.state.flags.Terminating)
            break;
        if (ctx_.state.flags.SkipFile) {
            SkipByUser(source, size, position);
            break;
        }
        ctx_.state.WaitAtGate();
        uint32_t block = CopyBlockSize(ctx_.policy.bufferSize);
        if (size < block)
            block = static_cast<uint32_t>(size);
        if (file_.sparse && !SkipHole(node, source, handle, block, position)) {
            // Only a hole was left: the copies are complete once they have their length.
            if (SourceUnchanged(source))
                Publish(node, source, 0, position, position, marker);
            break;
        }
        const uint64_t blockStart = position;

        if (!healing && FastPathAllowed(node)) {
            const uint32_t length =
                static_cast<uint32_t>(std::min<uint64_t>(block, size - position));
            if (FastBlock(node, source, handle, position, length, marker) > 0) {
                if (position < size)
                    continue;
                if (SourceUnchanged(source))
                    CompleteFast(node);
                break;
            }
        }

        EnsureCapacity(handoff_.ReadBuffer(), block, *ctx_.allocationFailure);
        uint32_t n = 0;
        if (!ReadBlock(node, source, handle, block, position, n, healing, settler)) {
            if (!ctx_.state.flags.Terminating)
                Abandon(source, true);
            break;
        }
        if (ctx_.state.flags.SkipFile) {
            SkipByUser(source, size, position);
            break;
        }
        // The last block goes out only while the source is still what was read: a file that
        // grew, shrank, was written or replaced meanwhile is not copied whole.
        if (position + n >= size && !SourceUnchanged(source))
            break;
        // A copy resumed at its end gets its end all the same, without bytes.
        if (n > 0 || position >= size)
            Publish(node, source, n, blockStart, position, marker);
        if (position >= size)
            break;
    }
    handle.Close();
}

bool BlockReader::SkipHole(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                           uint32_t& block, uint64_t& position) {
    OpenSource(source, handle, block, ctx_.policy.readBurst, position);
    if (handle.fd < 0)
        return true;  // the read says why
    const DataRange data = NextData(handle.fd, position, node.size);
    if (data.start > position) {
        HashZeros(data.start - position);
        JobCounters& counters = ctx_.state.counters;
        counters.doneBytes += data.start - position;
        position = data.start;
        counters.filePercent = static_cast<uint32_t>(position * 100 / node.size);
    }
    if (position >= node.size)
        return false;
    block = static_cast<uint32_t>(std::min<uint64_t>(block, data.end - position));
    return true;
}

void BlockReader::AccountBlock(const FENTRY_& node, uint32_t n, uint64_t& position) {
    JobCounters& counters = ctx_.state.counters;
    position += n;
    counters.doneBytes += n;
    counters.transferredBytes += n;
    counters.filePercent =
        node.size ? static_cast<uint32_t>(std::min<uint64_t>(position * 100 / node.size, 100))
                  : 100;
}

void BlockReader::Publish(const FENTRY_& node, const std::string& source, uint32_t n,
                          uint64_t blockStart, uint64_t& position, bool marker) {
    ctx_.state.WaitAtGate();
    ctx_.state.speed.Sample(ctx_.state.counters, ctx_.policy.speedLimit, ctx_.policy.speedUnit, n,
                            &ctx_.state.flags.Terminating);
    TakenBlock block;
    block.sourcePath = source;
    block.attributes = node.attributes;
    block.lastWriteTime = node.LastWriteTime();
    block.fileSize = node.size;
    block.blockPosition = blockStart;
    block.markerFlag = marker;
    block.move = file_.move;
    block.sparse = file_.sparse;
    block.checksum = ctx_.policy.verify ? BlockSum(handoff_.ReadBuffer().Data(), n) : 0;
    block.fileId = file_.id;
    block.sourceId = file_.identity;
    block.meta = file_.meta;
    if (hashing_) {
        ctx_.hashes.Bytes(handoff_.ReadBuffer().Data(), n);
        // The last block carries the hash to come.
        if (blockStart + n >= node.size)
            block.digest = EndHash();
    }
    handoff_.Publish(block, node, n);
    if (!handoff_.Parallel())
        writers_.WriteHere();
    AccountBlock(node, n, position);
}

bool BlockReader::FastPathAllowed(const FENTRY_& node) const {
    if (fastPathBroken_ || ctx_.policy.verify || ctx_.policy.readBurst || ctx_.policy.writeBurst ||
        file_.shareSource)
        return false;
    uint32_t active = 0;
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        if (!SlotActive(slot))
            continue;
        // The kernel copies only between its own files.
        if (!ctx_.dests[slot].Local())
            return false;
        ++active;
    }
    // In parallel mode the destinations are written by their own threads at once; the job
    // thread borrows the slots' handles when one slot is the only one, or for a file of one
    // block, whose copy is one call a destination: handing it to the writers and waiting for
    // every one of them would cost more than the copies.
    const bool oneBlock = node.size <= CopyBlockSize(ctx_.policy.bufferSize);
    return active == 1 || (active > 1 && (!handoff_.Parallel() || oneBlock));
}

uint32_t BlockReader::FastBlock(const FENTRY_& node, const std::string& source,
                                SourceHandle& handle, uint64_t& position, uint32_t length,
                                bool marker) {
    // The writer of the slot must be done with every block it was given before this thread
    // uses the slot's handles.
    if (handoff_.Parallel())
        handoff_.WaitForWriters(true);
    ctx_.state.WaitAtGate();
    // The block is limited before it goes: once copied, it is already in the destinations.
    ctx_.state.speed.BlockStarts(ctx_.policy.speedLimit);
    ctx_.state.speed.Sample(ctx_.state.counters, ctx_.policy.speedLimit, ctx_.policy.speedUnit,
                            length, &ctx_.state.flags.Terminating);
    OpenSource(source, handle, length, false, position);
    if (handle.fd < 0)
        return 0;

    if (!EnterKernelWrite())
        return 0;
    // Each destination is a separate copy in the kernel, which reads the source from its page
    // cache again: cheaper than one read and several writes through this thread's buffer.
    bool whole = true;
    for (uint32_t slot = 0; slot < ctx_.dests.Count() && whole; ++slot) {
        if (!SlotActive(slot))
            continue;
        whole = OpenForKernel(slot, node, position, length);
        if (!whole)
            break;
        CopyDest& d = ctx_.dests[slot];
        int error = 0;
        whole = KernelCopy(handle.fd, d.fileHandle, position, length, ctx_.state.flags, error);
        if (KernelRefuses(error))
            fastPathBroken_ = true;
        if (whole) {
            d.writeback.Wrote(d.fileHandle, position, length);
            writers_.NoteWritten(slot, file_.id);
        }
    }
    LeaveKernelWrite();
    // A block some destination did not get whole goes the read/write way to every destination,
    // which tells a read error from a write error and asks about the failing destination alone;
    // the others get the same bytes at the same place again.
    if (!whole)
        return 0;

    // The kernel just read the block into the page cache: a manifest's hash reads it from there.
    HashRange(handle, position, length);
    AccountBlock(node, length, position);
    if (!marker)
        return length;
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        if (!SlotActive(slot))
            continue;
        CopyDest& d = ctx_.dests[slot];
        // The marker goes with the last block; the copy is complete once the source is known
        // to be unchanged.
        UpdateResumeMarker(d, node.DestinationPath(slot, d.root), source, ctx_.options.switches,
                           position, node.size, &file_.identity);
    }
    return length;
}

bool BlockReader::CloneAllowed(const FENTRY_& node) const {
    const int32_t limit = ctx_.policy.speedLimit;
    return !cloneRefused_ && FastPathAllowed(node) && !(limit >= 0 && RateStep(limit) != 0);
}

bool BlockReader::CloneWhole(const FENTRY_& node, const std::string& source, SourceHandle& handle) {
    if (handoff_.Parallel())
        handoff_.WaitForWriters(true);
    ctx_.state.WaitAtGate();
    OpenSource(source, handle, node.size, false, 0);
    if (handle.fd < 0)
        return false;
    if (!EnterKernelWrite())
        return false;
    bool whole = true;
    for (uint32_t slot = 0; slot < ctx_.dests.Count() && whole; ++slot) {
        if (!SlotActive(slot))
            continue;
        // Reserved as for a copy, which follows when the clone fails; a clone gives the room
        // back.
        whole = OpenForKernel(slot, node, 0, 0) &&
                ioctl(ctx_.dests[slot].fileHandle, FICLONE, handle.fd) == 0;
        if (whole)
            writers_.NoteWritten(slot, file_.id);
        else if (KernelRefuses(errno) || errno == ENOTTY || errno == EPERM)
            cloneRefused_ = true;
    }
    LeaveKernelWrite();
    return whole;
}

bool BlockReader::EnterKernelWrite() {
    // As for the writers: once the job ends, no copy begins, and the end's count of copies
    // under way is exact before it settles what they leave.
    std::lock_guard<std::mutex> lock(ctx_.state.WriterLock);
    if (ctx_.state.flags.Terminating)
        return false;
    ++ctx_.state.flags.ActiveWriters;
    return true;
}

void BlockReader::LeaveKernelWrite() {
    std::lock_guard<std::mutex> lock(ctx_.state.WriterLock);
    --ctx_.state.flags.ActiveWriters;
}

bool BlockReader::OpenForKernel(uint32_t slot, const FENTRY_& node, uint64_t position,
                                uint32_t length) {
    CopyDest& d = ctx_.dests[slot];
    writers_.CloseLeftover(slot, file_.id);
    const bool fresh = d.fileHandle < 0;
    if (!OpenDestFile(d, node.DestinationPath(slot, d.root), position, length, node.size,
                      node.attributes, false, ctx_.policy.reserve && !file_.sparse, nullptr,
                      file_.id))
        return false;
    if (fresh)
        ctx_.files.Opened(file_.id, slot);
    handoff_.Slot(slot).openFileId = file_.id;
    return true;
}

void BlockReader::CompleteFast(const FENTRY_& node) {
    TakenBlock done;
    done.sourcePath = node.SourcePath();
    done.attributes = node.attributes;
    done.lastWriteTime = node.LastWriteTime();
    done.fileSize = node.size;
    done.fileId = file_.id;
    done.move = file_.move;
    done.sparse = file_.sparse;
    done.meta = file_.meta;
    done.digest = EndHash();
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        if (!SlotActive(slot))
            continue;
        done.destinationPath = node.DestinationPath(slot, ctx_.dests[slot].root);
        writers_.DestinationComplete(slot, done);
    }
}

}  // namespace rd
