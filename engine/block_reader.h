// The reader's side of the copy of one file: its blocks, read (until two reads agree when
// verification is on, healed when the user says so) and published to the writers, or copied in
// the kernel when nothing needs the bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/block_handoff.h"
#include "engine/hash_pipe.h"
#include "engine/transfer.h"
#include "engine/vn_buffer.h"

namespace rd {

struct EngineContext;
struct FENTRY_;
class ErrorSettler;
class WriterPool;

struct JobFlagsState;

// Whether a failed copy_file_range says that the kernel cannot copy between these files at all
// (another file system, a kind it cannot copy), rather than that this copy failed.
bool KernelRefuses(int error);

// Copies [position, position + length) from `in` to `out` in the kernel. True when all of it
// arrived; otherwise `error` is the errno that stopped the copy, or 0 when the source ended
// early or the job is ending.
bool KernelCopy(int in, int out, uint64_t position, uint32_t length, const JobFlagsState& flags,
                int& error);

class BlockReader {
public:
    BlockReader(EngineContext& ctx, BlockHandoff& handoff, WriterPool& writers, CurrentFile& file);

    // Copies `node` from `position` on to every destination active for it; with `marker`, each
    // incomplete copy carries a resume marker. A file it cannot copy whole is given up.
    void BlockLoop(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                   uint64_t position, bool marker);
    // An empty file: each active destination is created, given its metadata and closed.
    void CopyZeroLength(const FENTRY_& node, const std::string& source);

private:
    // When the job writes manifests: a new hash for the file, fed first with the bytes before
    // `position` that an earlier job copied.
    void StartHash(SourceHandle& handle, uint64_t position);
    // Feeds the hash the source's bytes in [position, position + length) of the file open as
    // `handle`; a read that fails leaves the file without a hash.
    void HashRange(SourceHandle& handle, uint64_t position, uint64_t length);
    // Feeds the hash `length` zero bytes: a hole the copy keeps as one.
    void HashZeros(uint64_t length);
    // The file's bytes are all given to the hash: its digest to come; none when the job writes
    // no manifest.
    std::shared_ptr<PendingDigest> EndHash();
    // Reads the block at `position`; with verification on, until two reads agree. Returns false
    // when the file is to be left (skipped); `n` is what was read.
    bool ReadBlock(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                   uint32_t block, uint64_t position, uint32_t& n, bool& healing,
                   ErrorSettler& settler);
    // The answer to a failed read: false when the file is to be left; true to go on (after a
    // retry pause, or with a healed block in the read buffer and `n` set).
    bool OnReadError(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                     int error, uint32_t block, uint64_t position, uint32_t& n, bool& healing,
                     ErrorSettler& settler);
    // Reads what can be read of the block at `position` in small pieces, the rest left zero.
    // Returns the block's length.
    uint32_t HealBlock(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                       uint32_t block, uint64_t position);
    // Copies one block of `length` bytes to every active destination with copy_file_range.
    // Returns `length`; 0 when some destination did not get all of it and the block must go the
    // read/write way.
    uint32_t FastBlock(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                       uint64_t& position, uint32_t length, bool marker);
    // The kernel copied the last block: every active destination is complete.
    void CompleteFast(const FENTRY_& node);
    // True when a whole file may be cloned: as for the kernel copy, and no speed limit, since a
    // clone takes no time to limit.
    bool CloneAllowed(const FENTRY_& node) const;
    // Has every active destination share the source's extents, one call each. False when one
    // could not (the file is then copied over what was cloned).
    bool CloneWhole(const FENTRY_& node, const std::string& source, SourceHandle& handle);
    // The job thread writes through a slot's handles as a writer: false once the job ends.
    bool EnterKernelWrite();
    void LeaveKernelWrite();
    // Opens the slot's copy of the current file for the kernel's copy or clone, reserved as
    // the policy says.
    bool OpenForKernel(uint32_t slot, const FENTRY_& node, uint64_t position, uint32_t length);
    // True while the source's path still leads to the file that was opened, in the same state.
    // Otherwise the file is reported and given up: its copies are not what the source holds.
    bool SourceUnchanged(const std::string& source);
    // The file is left: once the writers are done with its blocks, its copies are given up.
    // Their resume markers keep them only while `source` is still the file that was read.
    void Abandon(const std::string& source, bool failed, bool resumable = true);
    // The Skip button: reported, its rest counted as done, the file left.
    void SkipByUser(const std::string& source, uint64_t size, uint64_t position);
    // True when the next block of `node` may go through FastBlock: one active destination, or
    // several in serial mode or for a file of one block, and nothing that needs the bytes in a
    // buffer (verification, burst).
    bool FastPathAllowed(const FENTRY_& node) const;
    bool SlotActive(uint32_t slot) const;
    void Publish(const FENTRY_& node, const std::string& source, uint32_t n, uint64_t blockStart,
                 uint64_t& position, bool marker);
    void AccountBlock(const FENTRY_& node, uint32_t n, uint64_t& position);
    // In a file with holes: moves `position` past a hole that starts there, counting it as done,
    // and shortens `block` to the data before the next hole. False when only a hole is left.
    bool SkipHole(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                  uint32_t& block, uint64_t& position);

    EngineContext& ctx_;
    BlockHandoff& handoff_;
    WriterPool& writers_;
    CurrentFile& file_;
    VNBuffer verifyBuffer_;
    // The current file's bytes go to the job's hash pipe: the job writes manifests.
    bool hashing_ = false;
    // The kernel refused copy_file_range for this job's files once: it is not tried again.
    bool fastPathBroken_ = false;
    // A destination's file system could not clone a file: the job copies from then on.
    bool cloneRefused_ = false;
};

}  // namespace rd
