#include "engine/left_out.h"

#include "engine/prompts.h"

namespace rd {

namespace {

const char* What(LeftOutCause cause) {
    switch (cause) {
        case LeftOutCause::DestinationIsSource:
            return "skipped, the destination is the source itself";
        case LeftOutCause::CannotReach: return "skipped, it cannot be reached";
        case LeftOutCause::CannotRemove: return "not removed";
        case LeftOutCause::MetadataNotKept:
            return "copied, but its owner, extended attributes or ACL were not kept";
    }
    return "left out";
}

}  // namespace

std::string Describe(const LeftOutNode& node) {
    std::string text = node.path + ": " + What(node.cause);
    if (node.error != 0)
        text += " (Error " + ErrorText(node.error) + ")";
    return text;
}

void LeftOutLog::Add(std::string path, LeftOutCause cause, int error) {
    std::lock_guard<std::mutex> lock(lock_);
    ++count_;
    if (kept_.size() < kKept)
        kept_.push_back({std::move(path), cause, error});
}

std::vector<LeftOutNode> LeftOutLog::Kept() const {
    std::lock_guard<std::mutex> lock(lock_);
    return kept_;
}

size_t LeftOutLog::Count() const {
    std::lock_guard<std::mutex> lock(lock_);
    return count_;
}

}  // namespace rd
