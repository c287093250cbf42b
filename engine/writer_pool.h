// The destinations' writers: each takes the published block, writes it to its destination
// (retrying or asking as the error settings say), reads it back when verification is on, keeps
// the resume marker and completes the file. In parallel mode each destination has a thread; in
// serial mode the reader writes every destination in turn.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "engine/block_handoff.h"
#include "engine/dest_table.h"
#include "engine/outcome.h"

namespace rd {

struct EngineContext;

// Gives the open file `fd` at `dest` the owner, group and extended attributes of `meta`; what
// cannot be given is reported. Returns the file's mode when it is known, else 0. `seen`: what
// the file is known to be, when the job made it.
mode_t GiveMetadata(EngineContext& ctx, int fd, const std::string& dest, const FileMetadata& meta,
                    const struct stat* seen = nullptr);

// Tells once that the file system of the destination in `slot` refused to change the
// permissions of a copy (`error`): the copies have the ones it gives them.
void NoteModesRefused(EngineContext& ctx, uint32_t slot, int error);

// The owner and extended attributes of a copy in `slot` as `meta` has them: given through the
// open file `fd` on this machine's file systems (the mode then set, as GiveMetadata returns);
// a share keeps none, which is told once for the destination when there were attributes to keep.
mode_t KeepMetadata(EngineContext& ctx, uint32_t slot, int fd, const std::string& dest,
                    const FileMetadata& meta, const struct stat* seen);

class WriterPool {
public:
    // `reading`: the file the reader is on, for the skip button, which speaks of it alone.
    WriterPool(EngineContext& ctx, BlockHandoff& handoff, const CurrentFile& reading);
    ~WriterPool();
    WriterPool(const WriterPool&) = delete;
    WriterPool& operator=(const WriterPool&) = delete;

    // Starts one thread per destination in parallel mode.
    void Start();
    // Lets the threads finish what they took and ends them.
    void Stop();
    // Serial mode: writes the block just published to every destination in turn.
    void WriteHere();

    // The destination of `slot` holds all of the file of `block`: it gets its metadata, and is
    // closed (synced first when the file is moved).
    void DestinationComplete(uint32_t slot, const TakenBlock& block);
    // The copy of `slot` holds a block of file `fileId` now: told once a file.
    void NoteWritten(uint32_t slot, uint64_t fileId);
    // Closes the handles of `slot` unless they belong to file `keepFileId` (0 closes any): they
    // were left open by a file abandoned part-way, whose partial destination stays as it is.
    void CloseLeftover(uint32_t slot, uint64_t keepFileId);

private:
    void WriteTaken(uint32_t slot, const TakenBlock& block);
    // Writes the taken block, answering write errors as the settings say. True when written.
    bool WriteWithRetry(uint32_t slot, const TakenBlock& block, const uint8_t* data);
    // Reads the written block back and compares it. True when it matches or no check applies.
    bool VerifyWritten(uint32_t slot, const TakenBlock& block, const uint8_t* data);
    // With verification and a manifest: the complete copy, synced and read again from the disk,
    // hashes to what was read from the source. Otherwise it is reported and given up. True when
    // it does, or no such check applies.
    bool SameOnDisk(uint32_t slot, const TakenBlock& block);
    // After an abort, cuts a destination whose block was not written back to the block start.
    void CutBack(uint32_t slot, const TakenBlock& block);
    // The writer gives up its destination for the file of `block`, which failed at `op`.
    // `missing`: the folder the file could not go into, when that is why it failed.
    void WriterSkip(uint32_t slot, const TakenBlock& block, Operation op, int error,
                    const FolderNotMade* missing = nullptr);

    EngineContext& ctx_;
    BlockHandoff& handoff_;
    const CurrentFile& reading_;
    std::vector<std::thread> threads_;
};

}  // namespace rd
