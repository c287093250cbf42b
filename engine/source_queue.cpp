#include "engine/source_queue.h"

#include <algorithm>
#include <iterator>

#include "engine/file_list.h"
#include "engine/job_state.h"
#include "engine/source_files.h"
#include "platform/path_parts.h"

namespace rd {

namespace {

constexpr std::string_view kStates[] = {kStateWait, kStateCopy, kStateDone};

// Removes entries[index] and keeps the cursor on the same next entry.
void EraseEntry(std::vector<QueueEntry*>& entries, int& cursor, size_t index) {
    entries[index]->queued = false;
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
    if (static_cast<int>(index) < cursor)
        --cursor;
}

}  // namespace

std::string_view QueueEntry::State() const {
    return kStates[state];
}

int SourceQueue::Add(std::string_view given) {
    // The plain form: the queue is what the job copies, keeps for resume and links.
    const std::string path =
        SourceFiles::OnShare(given) ? SourceFiles::PlainAddress(given) : NormalizePath(given);
    // The root would leave nothing once its trailing "/" is dropped, as any other folder's is.
    if (path.empty() || path == "/")
        return -1;
    std::lock_guard<std::mutex> lock(lock_);
    QueueEntry& entry = storage_.emplace_back();
    entry.file.path = path;
    entries_.push_back(&entry);
    ++changes_;
    return static_cast<int>(entries_.size()) - 1;
}

int SourceQueue::Count() const {
    std::lock_guard<std::mutex> lock(lock_);
    return static_cast<int>(entries_.size());
}

std::string SourceQueue::EntryPath(int index) const {
    std::lock_guard<std::mutex> lock(lock_);
    if (index < 0 || static_cast<size_t>(index) >= entries_.size())
        return {};
    return entries_[index]->file.path;
}

std::string SourceQueue::EntryState(int index) const {
    std::lock_guard<std::mutex> lock(lock_);
    if (index < 0 || static_cast<size_t>(index) >= entries_.size())
        return {};
    return std::string(entries_[index]->State());
}

QueueEntry* SourceQueue::EntryAt(int index) const {
    std::lock_guard<std::mutex> lock(lock_);
    if (index < 0 || static_cast<size_t>(index) >= entries_.size())
        return nullptr;
    return entries_[index];
}

int SourceQueue::IndexOf(const QueueEntry* entry) const {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = std::find(entries_.begin(), entries_.end(), entry);
    return it == entries_.end() ? -1 : static_cast<int>(it - entries_.begin());
}

bool SourceQueue::Contains(const QueueEntry* entry) const {
    std::lock_guard<std::mutex> lock(lock_);
    return entry && entry->queued;
}

void SourceQueue::SetState(QueueEntry* entry, std::string_view state) {
    std::lock_guard<std::mutex> lock(lock_);
    for (uint8_t i = 0; i < std::size(kStates); ++i) {
        if (state == kStates[i] && entry && entry->queued && entry->state != i) {
            entry->state = i;
            ++changes_;
        }
    }
}

void SourceQueue::ForEachPath(const std::function<void(const std::string&)>& each) const {
    std::lock_guard<std::mutex> lock(lock_);
    for (const QueueEntry* entry : entries_)
        each(entry->file.path);
}

void SourceQueue::RemoveAt(int index) {
    std::lock_guard<std::mutex> lock(lock_);
    if (index < 0 || static_cast<size_t>(index) >= entries_.size())
        return;
    EraseEntry(entries_, cursor_, static_cast<size_t>(index));
    ++changes_;
    ++removals_;
}

SourceQueue::Next SourceQueue::NextSource() {
    std::lock_guard<std::mutex> lock(lock_);
    size_t at = cursor_ < 0 ? 0 : static_cast<size_t>(cursor_);
    if (at >= entries_.size())
        return {};
    cursor_ = static_cast<int>(at) + 1;
    return {entries_[at], entries_[at]->file.path};
}

uint64_t SourceQueue::Changes() const {
    std::lock_guard<std::mutex> lock(lock_);
    return changes_;
}

uint64_t SourceQueue::Removals() const {
    std::lock_guard<std::mutex> lock(lock_);
    return removals_;
}

int SourceQueue::Cursor() const {
    std::lock_guard<std::mutex> lock(lock_);
    return cursor_;
}

bool SourceQueue::DeleteSource(int index, FileList& list, JobCounters& counters) {
    // ListLock before lock_, always: the job thread sets states while it holds ListLock.
    std::lock_guard<std::mutex> listLock(list.ListLock);
    QueueEntry* entry;
    bool beingCopied;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (index < 0 || static_cast<size_t>(index) >= entries_.size())
            return false;
        entry = entries_[index];
        // A source the job thread has finished stays: the states change under ListLock, so
        // this check cannot go stale before the entry is gone.
        if (entry->State() == kStateDone)
            return false;
        beingCopied = entry->State() == kStateCopy;
    }
    for (FENTRY_* node = list.Head(); node;) {
        FENTRY_* next = node->next;
        if (node->queueEntry == entry) {
            list.Unlink(node);
            if (!node->done) {
                if (beingCopied) {
                    // The first unprocessed node of an entry being copied is the one the job
                    // thread is on: it finishes that file and counts it as done, so the file
                    // stays in the listed totals.
                    beingCopied = false;
                } else if (node->size != kSizeUnknown && !node->IsFolder()) {
                    counters.listedBytes -= node->size;
                    --counters.listedFiles;
                }
                node->done = 1;
            }
        }
        node = next;
    }
    std::lock_guard<std::mutex> lock(lock_);
    auto it = std::find(entries_.begin(), entries_.end(), entry);
    if (it != entries_.end()) {
        EraseEntry(entries_, cursor_, static_cast<size_t>(it - entries_.begin()));
        ++changes_;
        ++removals_;
    }
    return true;
}

}  // namespace rd
