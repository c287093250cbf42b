#include "engine/file_list.h"

#include <sys/stat.h>

namespace rd {

const std::string& FENTRY_::Base() const {
    static const std::string kNone;
    return base ? *base : kNone;
}

bool FENTRY_::IsFolder() const {
    return attributes != kAttributesUnknown && S_ISDIR(attributes);
}

FENTRY_* FileList::Append(std::unique_ptr<FENTRY_> node) {
    FENTRY_* raw = node.get();
    raw->previous = tail_;
    raw->next = nullptr;
    if (tail_)
        tail_->next = raw;
    else
        head_ = raw;
    tail_ = raw;
    nodes_.push_back(std::move(node));
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
