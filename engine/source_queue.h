// The job's source queue: every file or folder handed to the job, in arrival order, with its
// state. The queue window shows it; the job thread takes its sources from it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace rd {

class FileList;
struct JobCounters;

// `QUEUEDFILE_`: the path of a queued source.
struct QUEUEDFILE_ {
    std::string path;
};

inline constexpr std::string_view kStateWait = "Wait";
inline constexpr std::string_view kStateCopy = "Copy";
inline constexpr std::string_view kStateDone = "Done";

struct QueueEntry {
    QUEUEDFILE_ file;
    // Which of kStateWait, kStateCopy and kStateDone the entry is in: one byte, since a queue
    // may hold a million entries.
    uint8_t state = 0;
    // Still in the queue; an entry taken out stays allocated, so this is safe to read.
    bool queued = true;

    std::string_view State() const;
};

class SourceQueue {
public:
    // Appends `path` in its plain form (NormalizePath) in state "Wait". Returns its index, or
    // -1 for an empty path and for "/".
    int Add(std::string_view path);
    int Count() const;
    // The path at `index`, empty when out of range.
    std::string EntryPath(int index) const;
    std::string EntryState(int index) const;
    QueueEntry* EntryAt(int index) const;
    int IndexOf(const QueueEntry* entry) const;
    // True while `entry` is in the queue; unlike IndexOf, without a search.
    bool Contains(const QueueEntry* entry) const;
    // Sets the state of `entry` to kStateWait, kStateCopy or kStateDone; any other text, and an
    // entry no longer in the queue, are ignored.
    void SetState(QueueEntry* entry, std::string_view state);
    // Calls `each` with every queued path in order, holding the queue's lock: what reads a
    // queue of a million sources needs no copy of it.
    void ForEachPath(const std::function<void(const std::string&)>& each) const;
    // Removes the entry at `index`; out-of-range indices are ignored.
    void RemoveAt(int index);

    struct Next {
        QueueEntry* entry = nullptr;
        std::string path;
    };
    // The entry at the cursor, advancing the cursor; none and an empty path at the end.
    Next NextSource();
    int Cursor() const;

    // Counts every change of the queue (an entry added or removed, a state set), and every
    // removal: a view that saw the same counts has nothing to bring up to date.
    uint64_t Changes() const;
    uint64_t Removals() const;

    // Takes the entry at `index` out of the job: its nodes leave the file list (under
    // ListLock), the listed totals drop by its unprocessed files, the cursor keeps pointing at
    // the same next entry, and the entry is removed. Returns false for a bad index and for a
    // source that is already done.
    bool DeleteSource(int index, FileList& list, JobCounters& counters);

private:
    mutable std::mutex lock_;
    std::vector<QueueEntry*> entries_;
    // Entries stay where they are until the queue ends: file-list nodes may still point at
    // them. Held in place, not one allocation each.
    std::deque<QueueEntry> storage_;
    int cursor_ = -1;
    uint64_t changes_ = 0;
    uint64_t removals_ = 0;
};

}  // namespace rd
