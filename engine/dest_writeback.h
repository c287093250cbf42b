// The data one destination holds that the copy wrote and has not yet seen reach its disk, kept
// within UnwrittenBound of the destination's measured rate, so that a pause or an Abort never
// waits long for the cache to drain, and the job's final sync finds little left to write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "engine/writeback_pace.h"

namespace rd {

// The open file's data is sent to the disk in chunks of this size as it is written.
constexpr uint64_t kWriteBehindChunk = 4 << 20;
// A closed file with at least this much not yet on the disk keeps a handle, through which the
// copy later waits for just that file. Smaller files are only counted, and a sync of their
// file system waits for them once they fill the bound: a call for each of 20,000 files of
// 4 KiB cost more than it saved.
constexpr uint64_t kWritebackAtCloseSize = 1 << 20;
// Handles kept per destination; the oldest file is waited for before another is kept.
constexpr size_t kMostKeptFiles = 16;

// Used by one thread at a time: whoever holds the slot's file handles. Where writeback cannot be
// steered (some network file systems refuse the calls), nothing waits and the final sync does
// all of it.
class DestWriteback {
public:
    DestWriteback() = default;
    ~DestWriteback();
    DestWriteback(const DestWriteback&) = delete;
    DestWriteback& operator=(const DestWriteback&) = delete;

    // `length` bytes were written to the open file `fd` at `position`. Completed chunks go to
    // the disk; while more than the bound is unwritten, the copy waits for the oldest data.
    void Wrote(int fd, uint64_t position, uint64_t length);
    // The open file was opened again as `fd`.
    void Reopened(int fd);
    // The open file `fd` is about to be closed.
    void Closing(int fd);
    // The open file's data is on the disk (it was synced).
    void FileSynced();
    // Everything written so far is on the disk (the job's final sync), or is given up.
    void Clear();

    // Small files written and closed by several threads at once, which serialise these calls
    // themselves. Syncing their file system waits for all of them; it starts at half the bound,
    // on the thread this says, outside the callers' lock, so that the others go on writing
    // meanwhile.
    struct ClosedSync {
        uint64_t covered = 0;
        uint64_t beganNs = 0;
    };
    // `length` bytes of a closed file were written. True: the caller is to sync the file system
    // now and then call ClosedSynced with `sync`.
    bool CountClosed(uint64_t length, ClosedSync& sync);
    void ClosedSynced(const ClosedSync& sync);
    // A sync is under way and more than the bound is unwritten: the caller waits for the sync.
    bool ClosedOverBound() const;

    // The bytes counted as written and not yet on the disk.
    uint64_t Unwritten() const { return unwritten_; }
    // The measured rate of the destination's disk; 0 until measured.
    uint64_t BytesPerSecond() const { return rate_.BytesPerSecond(); }

private:
    // A closed file's data not yet on the disk, with a handle of its own.
    struct Kept {
        int fd;
        uint64_t from;
        uint64_t to;
    };

    void KeepWithinBound();
    // Starts writeback of `length` bytes of `fd` from `from` (0: to the end). False when the
    // file system refuses.
    bool Send(int fd, uint64_t from, uint64_t length);
    // Waits until [from, to) of `fd` is on the disk, then counts it arrived.
    void WaitRange(int fd, uint64_t from, uint64_t to);
    void WaitOldestKept();
    // Waits for the whole file system through `fd`.
    void WaitAll(int fd);
    // `bytes` reached the disk in a wait that began at `beganNs`.
    void Arrived(uint64_t bytes, uint64_t beganNs);

    // The open file, and what of it is on the disk, sent to it, and written.
    int fd_ = -1;
    uint64_t waited_ = 0;
    uint64_t sent_ = 0;
    uint64_t end_ = 0;
    std::deque<Kept> kept_;
    // Bytes of closed files that have no handle kept.
    uint64_t counted_ = 0;
    uint64_t unwritten_ = 0;
    WritebackRate rate_;
    // When the previous wait ended (or the first write came); 0 before.
    uint64_t lastArrivalNs_ = 0;
    // Time spent sending data since then.
    uint64_t stalledNs_ = 0;
    // A sync asked for by CountClosed has not ended.
    bool closedSyncing_ = false;
};

}  // namespace rd
