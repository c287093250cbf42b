// The files whose copies are under way, from the moment the job starts writing them until every
// copy has ended. Each copy ends complete or given up; once all have ended, the file is counted
// (completed, skipped or failed), a moved source goes (once every copy and its folder are on
// the disk, and only while the source is still the file that was read), and a copy that this
// job created and could not complete goes too, unless its resume marker lets a later job go on
// with it. Nothing the job leaves behind passes for a whole copy.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/file_identity.h"
#include "engine/vn_buffer.h"

namespace rd {

struct EngineContext;
struct FENTRY_;

// How one file of the job ended.
enum class FileEnd { Completed, Skipped, Failed };

class FileTracker {
public:
    explicit FileTracker(EngineContext& ctx) : ctx_(ctx) {}

    // One destination of a file: the slot whose root it lies below.
    struct Copy {
        uint32_t slot = 0;
        // Nothing of the user's stood there: the job made the file (also when it replaced an
        // older one), so a copy it cannot complete is removed again.
        bool created = true;
    };

    // The job thread starts copying file `fileId` of `node` (as it was when opened:
    // `identity`) to `copies`. With `move`, the source goes once every copy is whole. False
    // once the job is ending: the file is not to be copied.
    bool Begin(uint64_t fileId, const FENTRY_& node, const FileIdentity& identity, bool move,
               const std::vector<Copy>& copies);
    // The node of a file under way whose copy goes to `path` (or to a name its folder takes for
    // the same); null when there is none. Its copy may not be on the disk yet.
    const FENTRY_* ClaimedAt(const std::string& path);
    // Any thread: the copy in `slot` was opened for writing: the job counts it among the files
    // it wrote.
    void Opened(uint64_t fileId, uint32_t slot);
    // Any thread, before a copy that may be given up is closed: the device and inode of `fd`,
    // which is open on it, are what its removal checks. A copy given up without them stays.
    void Identify(uint64_t fileId, uint32_t slot, int fd);
    // The same with what the copy is known to be.
    void Identify(uint64_t fileId, uint32_t slot, const struct stat& st);
    // Any thread: the job wrote into the copy in `slot` for the first time.
    void Wrote(uint64_t fileId, uint32_t slot);
    // Any thread: the copy in `slot` holds the whole file; `durable`: it is on the disk.
    void CopyComplete(uint64_t fileId, uint32_t slot, bool durable);
    // Any thread: the copy in `slot` was given up (`failed`: by a failure, else by a skip).
    void CopyGivenUp(uint64_t fileId, uint32_t slot, bool failed);
    // The reader gives the whole file up; every copy not yet ended is given up. The writers
    // must be done with the file's blocks. With `resumable` false, even a copy with a resume
    // marker goes: what it holds is no longer the start of the source.
    void Abandon(uint64_t fileId, bool failed, bool resumable = true);

    // Job thread: the moves whose copies are all whole; once enough wait, or with `all`, their
    // folders are synced and their sources removed.
    void Finish(bool all = false);
    // A moved link whose copies are all made: it goes with the next batch.
    void LinkMoved(const std::string& source, const FileIdentity& identity,
                   std::vector<std::string> folders);
    // The job ends with files still under way (an abort), once no writer writes: their copies
    // end as given up. Once called, no file begins any more.
    void EndInFlight();

private:
    struct TrackedCopy {
        Copy copy;
        bool opened = false;
        bool written = false;
        bool identified = false;
        dev_t dev = 0;
        ino_t ino = 0;
        enum class State { Pending, Complete, GivenUp } state = State::Pending;
    };
    struct TrackedFile {
        uint64_t id = 0;
        // Lives as long as the job's list.
        const FENTRY_* node = nullptr;
        FileIdentity identity;
        uint64_t size = 0;
        bool move = false;
        bool failed = false;
        bool skipped = false;
        // Every copy whole and on the disk.
        bool durable = true;
        std::vector<TrackedCopy> copies;
    };
    struct PendingMove {
        std::string source;
        FileIdentity identity;
        uint64_t size = 0;
        std::vector<std::string> folders;
    };

    // Under `lock_`: the copy of `slot` of a file still tracked; null when there is none.
    TrackedCopy* Find(uint64_t fileId, uint32_t slot, TrackedFile** file = nullptr);
    // The path of `copy` of `file`.
    std::string PathOf(const TrackedFile& file, const TrackedCopy& copy) const;
    // Under `lock_`: removes or names a copy that was given up.
    void GiveUp(TrackedFile& file, TrackedCopy& copy, bool resumable);
    // Under `lock_`: counts the file at `index` once its copies have all ended, queues its
    // move and lets it go.
    void EndIfDone(size_t index);
    // Syncs each folder of `moves` once, then removes the sources whose copies are all on the
    // disk and which are still what was read, naming those it could not remove.
    void RemoveSources(std::vector<PendingMove>& moves);

    EngineContext& ctx_;
    std::mutex lock_;
    // A few at a time: the one being read and those the writers are still on.
    std::vector<TrackedFile> files_;
    std::vector<PendingMove> ready_;
    bool closed_ = false;
    VNBuffer wipeBuffer_;
};

}  // namespace rd
