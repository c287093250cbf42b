// The hand-off of one block at a time from the reader to the destinations' writers, through
// three buffers: the reader fills one, one waits to be taken, and the writers write the third.
// In parallel mode every destination has a writer thread of its own; in serial mode the reader
// takes the block for each destination itself.
#pragma once

#include <time.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/file_identity.h"
#include "engine/file_list.h"
#include "engine/file_metadata.h"
#include "engine/hash_pipe.h"
#include "engine/vn_buffer.h"

namespace rd {

class DestTable;

// The file being copied, as the reader sets it and the writers read it.
struct CurrentFile {
    // Number of the file; writers compare it with the file of the block they write.
    std::atomic<uint64_t> id{0};
    // The file is moved: its source goes once every destination holds all of it.
    bool move = false;
    // Owner, group and extended attributes to give each copy; null when the job keeps none.
    std::shared_ptr<const FileMetadata> meta;
    // The source has holes: only its data is copied, and each copy gets the full length.
    bool sparse = false;
    // The source as it was when it was opened.
    FileIdentity identity;
    // The source is read through a share's client: the kernel's calls cannot reach it.
    bool shareSource = false;
};

// One block as a writer takes it.
struct TakenBlock {
    std::string sourcePath;
    std::string destinationPath;
    uint32_t writeLength = 0;
    uint32_t attributes = 0;
    timespec lastWriteTime{};
    uint64_t fileSize = 0;
    uint64_t blockPosition = 0;
    bool markerFlag = false;
    // Whether this destination takes part in the block: the reader's choice when it published
    // it, so that a writer running behind never applies a later file's choice.
    bool active = false;
    bool move = false;
    // The file's holes are skipped: the copy is not reserved in full, and is given its length
    // when it is complete.
    bool sparse = false;
    int32_t checksum = 0;
    uint64_t fileId = 0;
    // The source as it was when it was opened, for the resume marker.
    FileIdentity sourceId;
    // Number of the published block; 0 before the first.
    uint64_t sequence = 0;
    std::shared_ptr<const FileMetadata> meta;
    // With the file's last block, when the job writes manifests: the hash of all of its bytes,
    // as the hash pipe will tell it.
    std::shared_ptr<PendingDigest> digest;
};

// What one destination's writer keeps between blocks.
struct WriterSlotState {
    // The file the slot's open handle belongs to.
    uint64_t openFileId = 0;
    // The last file of which this slot wrote a block.
    uint64_t wroteFileId = 0;
    // The last block this writer took, and the last it finished.
    std::atomic<uint64_t> takenSequence{0};
    std::atomic<uint64_t> writtenSequence{0};
    // The file this writer gave up (write error, failed check): the slot takes no further part
    // in it. Kept apart from the slot's active flag, which already speaks of the reader's file.
    std::atomic<uint64_t> skippedFileId{0};
};

class BlockHandoff {
public:
    explicit BlockHandoff(DestTable& dests) : dests_(dests) {}

    void Prepare(bool parallel);
    bool Parallel() const { return parallel_; }
    WriterSlotState& Slot(uint32_t slot) { return state_[slot]; }
    // True while `slot` takes part in file `fileId`.
    bool SlotActive(uint32_t slot, uint64_t fileId) const;

    // The reader fills this buffer before it publishes it.
    VNBuffer& ReadBuffer() { return readBuffer_; }
    // The block the writers write; valid between Take() and Written().
    const uint8_t* WriteData() const { return writeBuffer_.Data(); }

    // Hands `length` bytes of the read buffer to every destination active for the file of
    // `block`, whose `relative` path is appended to each root; waits first until the writers
    // are done with what they must be done with.
    void Publish(const TakenBlock& block, const FENTRY_& node, uint32_t length);
    // A writer takes the published block for `slot`; in parallel mode it waits for one it has
    // not taken yet. False when the writer is to end.
    bool Take(uint32_t slot, TakenBlock& block);
    // The writer of `slot` is done with the block `sequence`.
    void Written(uint32_t slot, uint64_t sequence);
    // Waits until every slot that took part in the last block has taken it (and, with
    // `written`, written it).
    void WaitForWriters(bool written);
    // Waits for the writers, then tells each of them to end.
    void Stop();

private:
    DestTable& dests_;
    std::mutex lock_;
    VNBuffer readBuffer_;
    VNBuffer handoffBuffer_;
    VNBuffer writeBuffer_;
    // The block waiting to be taken, without its buffer; `writeLength` is its length.
    TakenBlock published_;
    uint32_t pendingLength_ = 0;
    // The waiting buffer was swapped into the write buffer by the first writer to take it.
    bool taken_ = true;
    uint32_t writeLength_ = 0;
    std::vector<uint8_t> active_;
    std::unique_ptr<WriterSlotState[]> state_;
    bool parallel_ = false;
};

}  // namespace rd
