#include "engine/dest_table.h"

#include <cerrno>

#include "platform/fs.h"

namespace rd {

void CopyDest::Reset() {
    active = 0;
    ready.reset();
    taken.reset();
    written.reset();
    fileHandle = -1;
    markerHandle = -1;
    currentPath.clear();
    root.clear();
    openFlags = openflag::kInitial;
}

void CopyDest::CreateEvents() {
    // Taken and written start signalled so that the first publish does not wait.
    ready = std::make_unique<AutoResetEvent>(false);
    taken = std::make_unique<AutoResetEvent>(true);
    written = std::make_unique<AutoResetEvent>(true);
}

SplitTargets SplitDestinations(std::string_view targetText) {
    SplitTargets result;
    while (!targetText.empty()) {
        // An unterminated last item still counts: the caller meant it as a destination.
        auto end = targetText.find('?');
        std::string_view item = targetText.substr(0, end);
        targetText =
            end == std::string_view::npos ? std::string_view() : targetText.substr(end + 1);
        if (item.empty())
            continue;
        // The root "/" keeps the empty root, so that root + relative is still a full path.
        while (!item.empty() && item.back() == '/')
            item.remove_suffix(1);
        if (result.roots.size() == kMaxDestinations) {
            ++result.dropped;
            continue;
        }
        result.roots.emplace_back(item);
    }
    return result;
}

void CreateFolderTree(std::string_view path) {
    // Walk order makes every folder after its parent: most of the time the folder itself is
    // all that is missing, and making each step of a deep path again would cost a lookup of
    // the whole path per step.
    if (!path.empty() && path.back() != '/') {
        const int made = fs::MakeFolder(std::string(path));
        if (made == 0 || made == EEXIST)
            return;
    }
    for (size_t pos = path.find('/'); pos != std::string_view::npos;
         pos = path.find('/', pos + 1)) {
        if (pos > 0)
            fs::MakeFolder(std::string(path.substr(0, pos)));
    }
    if (!path.empty() && path.back() != '/')
        fs::MakeFolder(std::string(path));
}

DestTable::DestTable() : slots_(std::make_unique<CopyDest[]>(kMaxDestinations)) {}

void DestTable::ParseDestinations(std::string_view targetText, UserNotice& notice) {
    count_ = 0;
    SplitTargets targets = SplitDestinations(targetText);
    for (std::string& root : targets.roots) {
        CreateFolderTree(root);
        CopyDest& slot = slots_[count_];
        slot.Reset();
        slot.root = std::move(root);
        ++count_;
    }
    if (targets.dropped > 0)
        notice.Show(NoticeIcon::Warning, "Too many destinations",
                    "Maximum 4096 destinations allowed. Other destinations will be skipped.");
}

void DestTable::CreateEvents() {
    for (uint32_t i = 0; i < count_; ++i)
        slots_[i].CreateEvents();
}

void DestTable::ActivateAll() {
    for (uint32_t i = 0; i < count_; ++i)
        slots_[i].active = 1;
}

bool DestTable::SkipDestination(uint32_t slot) {
    if (slot < count_)
        slots_[slot].active = 0;
    for (uint32_t i = 0; i < count_; ++i) {
        if (slots_[i].active != 0)
            return false;
    }
    return true;
}

}  // namespace rd
