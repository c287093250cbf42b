#include "engine/file_list.h"

#include <sys/stat.h>

namespace rd {

const std::string& FENTRY_::Base() const {
    static const std::string kNone;
    return base ? *base : kNone;
}

timespec FENTRY_::CreationTime() const {
    return {static_cast<time_t>(createdSeconds), static_cast<long>(createdNanoseconds)};
}

timespec FENTRY_::LastWriteTime() const {
    return {static_cast<time_t>(modifiedSeconds), static_cast<long>(modifiedNanoseconds)};
}

void FENTRY_::SetTimes(const timespec& created, const timespec& modified) {
    createdSeconds = created.tv_sec;
    createdNanoseconds = static_cast<uint32_t>(created.tv_nsec);
    modifiedSeconds = modified.tv_sec;
    modifiedNanoseconds = static_cast<uint32_t>(modified.tv_nsec);
}

const std::string* FileList::KeepBase(std::string_view folder) {
    std::lock_guard<std::mutex> lock(basesLock_);
    if (bases_.empty() || bases_.back() != folder)
        bases_.emplace_back(folder);
    return &bases_.back();
}

const DestChanges* FileList::KeepChanges(DestChanges&& changes) {
    return &changes_.emplace_back(std::move(changes));
}

bool FENTRY_::IsFolder() const {
    return attributes != kAttributesUnknown && S_ISDIR(attributes);
}

FENTRY_* FileList::Append(FENTRY_&& node) {
    FENTRY_* raw = &nodes_.emplace_back(std::move(node));
    raw->previous = tail_;
    raw->next = nullptr;
    if (tail_)
        tail_->next = raw;
    else
        head_ = raw;
    tail_ = raw;
    return raw;
}

void FileList::Unlink(FENTRY_* node) {
    // A node that is no longer linked keeps stale links; fixing neighbours through them
    // would cut live nodes out of the list.
    bool linked = node->previous ? node->previous->next == node : head_ == node;
    if (!linked)
        return;
    if (node->previous)
        node->previous->next = node->next;
    else
        head_ = node->next;
    if (node->next)
        node->next->previous = node->previous;
    else
        tail_ = node->previous;
    // The node's own links stay as they were: the job thread may be standing on it and steps
    // on from it to the next node that is not done.
}

bool FileList::Reserve() {
    if (!open_)
        return false;
    ++reservations_;
    return true;
}

void FileList::Release() {
    if (reservations_ > 0 && --reservations_ == 0)
        released_.notify_all();
}

bool FileList::CloseIfIdle() {
    if (reservations_ > 0)
        return false;
    open_ = false;
    return true;
}

void FileList::WaitForAdditions(std::unique_lock<std::mutex>& lock) {
    released_.wait(lock, [this] { return reservations_ == 0; });
}

}  // namespace rd
