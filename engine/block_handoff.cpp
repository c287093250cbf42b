#include "engine/block_handoff.h"

#include <algorithm>

#include "engine/dest_table.h"

namespace rd {

void BlockHandoff::Prepare(bool parallel) {
    const uint32_t count = dests_.Count();
    state_ = std::make_unique<WriterSlotState[]>(std::max<uint32_t>(count, 1));
    active_.assign(count, 0);
    parallel_ = parallel;
}

bool BlockHandoff::SlotActive(uint32_t slot, uint64_t fileId) const {
    return dests_[slot].active && state_[slot].skippedFileId != fileId;
}

void BlockHandoff::Publish(const TakenBlock& block, const FENTRY_& node, uint32_t length) {
    const uint32_t count = dests_.Count();
    // With one destination the reader may fill its buffer while the writer writes the last
    // block; with several, the buffers come round again only once every writer is done.
    if (parallel_)
        WaitForWriters(count > 1);
    std::unique_lock<std::mutex> lock(lock_, std::defer_lock);
    if (parallel_)
        lock.lock();
    for (uint32_t slot = 0; slot < count; ++slot) {
        CopyDest& d = dests_[slot];
        d.currentPath = node.DestinationPath(slot, d.root);
        active_[slot] = SlotActive(slot, block.fileId) ? 1 : 0;
    }
    SwapBuffers(readBuffer_, handoffBuffer_);
    const uint64_t sequence = published_.sequence + 1;
    published_ = block;
    published_.sequence = sequence;
    pendingLength_ = length;
    taken_ = false;
    if (parallel_) {
        for (uint32_t slot = 0; slot < count; ++slot)
            dests_[slot].ready->Set();
    }
}

bool BlockHandoff::Take(uint32_t slot, TakenBlock& block) {
    CopyDest& d = dests_[slot];
    WriterSlotState& state = state_[slot];
    std::unique_lock<std::mutex> lock(lock_, std::defer_lock);
    if (parallel_) {
        // Wait for a block this writer has not taken yet; a signal may stand for several.
        for (;;) {
            lock.lock();
            if (published_.sequence > state.takenSequence)
                break;
            lock.unlock();
            d.ready->Wait();
        }
    }
    if (d.currentPath.empty())
        return false;
    if (!taken_) {
        SwapBuffers(handoffBuffer_, writeBuffer_);
        writeLength_ = pendingLength_;
        taken_ = true;
    }
    block = published_;
    block.destinationPath = d.currentPath;
    block.writeLength = writeLength_;
    block.active = active_[slot] != 0;
    state.takenSequence = block.sequence;
    if (parallel_)
        d.taken->Set();
    return true;
}

void BlockHandoff::Written(uint32_t slot, uint64_t sequence) {
    state_[slot].writtenSequence = sequence;
    if (parallel_)
        dests_[slot].written->Set();
}

void BlockHandoff::WaitForWriters(bool written) {
    const uint64_t sequence = published_.sequence;
    for (uint32_t slot = 0; slot < active_.size(); ++slot) {
        if (!active_[slot])
            continue;
        CopyDest& d = dests_[slot];
        WriterSlotState& state = state_[slot];
        // The events only wake the reader; the sequence numbers say whether the writer really
        // is done with the last block, so a signal left over from earlier blocks cannot let a
        // block be replaced while it is still being written.
        while (state.takenSequence < sequence)
            d.taken->Wait();
        while (written && state.writtenSequence < sequence)
            d.written->Wait();
    }
}

void BlockHandoff::Stop() {
    WaitForWriters(true);
    std::lock_guard<std::mutex> lock(lock_);
    const uint32_t count = dests_.Count();
    for (uint32_t slot = 0; slot < count; ++slot)
        dests_[slot].currentPath.clear();
    ++published_.sequence;
    for (uint32_t slot = 0; slot < count; ++slot)
        dests_[slot].ready->Set();
}

}  // namespace rd
