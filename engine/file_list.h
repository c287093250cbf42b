// The job's file list: one node per source file or folder, in walk order.
#pragma once

#include <sys/types.h>
#include <time.h>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace rd {

struct QueueEntry;

// What the destination check changed of a node for each destination slot: a path below the root
// that the destination takes in place of the node's own, or none at all.
struct DestChanges {
    struct Slot {
        bool skipped = false;
        // The node's path below the root there; empty: its own.
        std::string relative;
    };
    std::vector<Slot> perSlot;
};

constexpr uint64_t kSizeUnknown = UINT64_MAX;
constexpr uint32_t kAttributesUnknown = UINT32_MAX;

struct FENTRY_ {
    // The queue entry of the source this node came from.
    QueueEntry* queueEntry = nullptr;
    // The folder that held the source as given, without a trailing "/". Kept by the list
    // (KeepBase) and shared by the nodes of a source and by sources from the same folder: a
    // tree of a million files keeps it once.
    const std::string* base = nullptr;
    // The node's path below `base`, always beginning with "/".
    std::string relative;
    uint64_t size = kSizeUnknown;
    // The source's creation and modification times, seconds and nanoseconds apart so that a
    // node has no padding (CreationTime, LastWriteTime, SetTimes).
    int64_t createdSeconds = 0;
    int64_t modifiedSeconds = 0;
    uint32_t createdNanoseconds = 0;
    uint32_t modifiedNanoseconds = 0;
    // st_mode of the source; kAttributesUnknown until read.
    uint32_t attributes = kAttributesUnknown;
    // 0 until the job thread has processed the node (or it was taken out of the job).
    int32_t done = 0;
    // Owner and group of the source; -1 when not known.
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
    // Renamed or left out in some destinations; null in most jobs. Kept by the list.
    const DestChanges* changes = nullptr;
    FENTRY_* previous = nullptr;
    FENTRY_* next = nullptr;

    bool IsFolder() const;
    const std::string& Base() const;
    timespec CreationTime() const;
    timespec LastWriteTime() const;
    void SetTimes(const timespec& created, const timespec& modified);
    std::string SourcePath() const { return Base() + relative; }
    // The node's path in the destination of `slot`, whose root is `root`.
    std::string DestinationPath(uint32_t slot, const std::string& root) const {
        if (changes && slot < changes->perSlot.size() && !changes->perSlot[slot].relative.empty())
            return root + changes->perSlot[slot].relative;
        return root + relative;
    }
    // The destination check left the node out of the destination of `slot`.
    bool SkippedIn(uint32_t slot) const {
        return changes && slot < changes->perSlot.size() && changes->perSlot[slot].skipped;
    }
};

// A doubly linked list of nodes. Links and done flags are guarded by `ListLock`, which the
// caller holds around every call below. Nodes stay allocated as long as the list lives, so a
// pointer to a node that was unlinked is still safe to read.
class FileList {
public:
    std::mutex ListLock;

    FENTRY_* Head() const { return head_; }
    FENTRY_* Tail() const { return tail_; }

    // The text of `folder` for nodes' `base`, kept as long as the list lives; the same pointer
    // as last time when `folder` is the folder asked for last. Any thread.
    const std::string* KeepBase(std::string_view folder);

    // Moves `node` into the list and links it at the tail; the returned node keeps its address
    // as long as the list lives.
    FENTRY_* Append(FENTRY_&& node);
    // Keeps `changes` as long as the list lives.
    const DestChanges* KeepChanges(DestChanges&& changes);
    // Unlinks `node`, fixing its neighbours and the head and tail.
    void Unlink(FENTRY_* node);

    // Sources join a running job only while the job thread has not passed its last node. A
    // caller about to add one reserves the addition first and releases it when its nodes are
    // in; false: the list is closed and nothing may be added any more.
    bool Reserve();
    void Release();
    // The job thread found no node left: the list closes unless an addition is under way.
    bool CloseIfIdle();
    // Waits, letting go of ListLock meanwhile, until no addition is under way.
    void WaitForAdditions(std::unique_lock<std::mutex>& lock);

private:
    // Held in place, not one allocation each: a job of a million files has a million nodes.
    std::deque<FENTRY_> nodes_;
    std::mutex basesLock_;
    std::deque<std::string> bases_;
    std::deque<DestChanges> changes_;
    bool open_ = true;
    int reservations_ = 0;
    std::condition_variable released_;
    FENTRY_* head_ = nullptr;
    FENTRY_* tail_ = nullptr;
};

}  // namespace rd
