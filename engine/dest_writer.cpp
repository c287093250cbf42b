// The writer side of the copy: takes published blocks and writes them to one destination.
#include <unistd.h>

#include <chrono>

#include "engine/engine_context.h"
#include "engine/job_thread.h"

namespace rd {

void JobThread::WriterThread(uint32_t slot) {
    TakenBlock block;
    while (TakeBlock(slot, block))
        WriteTaken(slot, block);
}

bool JobThread::TakeBlock(uint32_t slot, TakenBlock& block) {
    CopyDest& d = ctx_.dests[slot];
    WriterSlotState& state = writerState_[slot];
    std::unique_lock<std::mutex> lock(handoff_.HandoffLock, std::defer_lock);
    if (parallel_) {
        // Wait for a block this writer has not taken yet; a signal may stand for several.
        for (;;) {
            lock.lock();
            if (handoff_.sequence > state.takenSequence)
                break;
            lock.unlock();
            d.ready->Wait();
        }
    }
    if (d.currentPath.empty())
        return false;
    block.sourcePath = handoff_.sourcePath;
    block.destinationPath = d.currentPath;
    if (!handoff_.taken) {
        SwapBuffers(handoff_.HandoffBuffer, handoff_.WriteBuffer);
        handoff_.writeLength = handoff_.pendingLength;
        handoff_.taken = 1;
    }
    block.writeLength = handoff_.writeLength;
    block.attributes = handoff_.attributes;
    block.lastWriteTime = handoff_.lastWriteTime;
    block.fileSize = handoff_.fileSize;
    block.blockPosition = handoff_.blockPosition;
    block.markerFlag = handoff_.markerFlag;
    block.active = handoff_.active[slot] != 0;
    block.fileId = handoff_.fileId;
    block.sequence = handoff_.sequence;
    state.takenSequence = block.sequence;
    if (parallel_)
        d.taken->Set();
    return true;
}

void JobThread::CloseLeftover(uint32_t slot, uint64_t keepFileId) {
    CopyDest& d = ctx_.dests[slot];
    if (d.fileHandle >= 0 && writerState_[slot].openFileId != keepFileId) {
        close(d.fileHandle);
        d.fileHandle = -1;
    }
    if (d.fileHandle < 0 && d.markerHandle >= 0) {
        close(d.markerHandle);
        d.markerHandle = -1;
    }
}

void JobThread::WriteTaken(uint32_t slot, const TakenBlock& block) {
    CopyDest& d = ctx_.dests[slot];
    WriterSlotState& state = writerState_[slot];
    JobState& job = ctx_.state;
    auto finish = [&] {
        state.writtenSequence = block.sequence;
        if (parallel_)
            d.written->Set();
    };
    // The process is about to end; nothing more is written.
    while (job.flags.Terminating)
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (!block.active) {
        finish();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(job.WriterLock);
        ++job.flags.ActiveWriters;
    }
    CloseLeftover(slot, block.fileId);
    int error = 0;
    bool written = false;
    if (OpenDestFile(d, block.destinationPath, block.blockPosition, block.writeLength,
                     block.fileSize, ctx_.settings.writeburst != 0, ctx_.settings.resfsz != 0,
                     &error)) {
        state.openFileId = block.fileId;
        written = PositionedWrite(d.fileHandle, handoff_.WriteBuffer.Data(), block.writeLength,
                                  block.blockPosition, error);
    }
    if (!written) {
        // The destination cannot take the file: it leaves this file, the others go on.
        CloseLeftover(slot, 0);
        if (ctx_.dests.SkipDestination(slot))
            job.flags.SkipFile = 1;
    }
    const uint64_t end = written ? block.blockPosition + block.writeLength : block.blockPosition;
    if (block.markerFlag && written)
        UpdateResumeMarker(d, block.destinationPath, block.sourcePath, ctx_.options.switches, end,
                           block.fileSize);
    {
        std::lock_guard<std::mutex> lock(job.WriterLock);
        --job.flags.ActiveWriters;
    }
    if (written && end == block.fileSize)
        CloseDestFile(d, ctx_.options.KeepFileTimes, block.attributes, block.lastWriteTime);
    // Last: once the reader knows the block is written, it may use the slot's handles itself.
    finish();
}

}  // namespace rd
