#include "ui/resume/resume_items.h"

#include <utility>

#include "platform/store.h"
#include "settings/store_keys.h"
#include "ui/resume/resume_item_window.h"

namespace rd {

ResumeItems::ResumeItems(Store& store, std::string ownProgram, ResumeLauncher launch)
    : store_(store), ownProgram_(std::move(ownProgram)), launch_(std::move(launch)) {}

ResumeItems::~ResumeItems() {
    // Pop-ups still open when the process ends go first; each waits for its attempt.
    const auto items = std::exchange(items_, {});
    for (const auto& [n, item] : items)
        delete item;
}

void ResumeItems::Resume(int32_t n) {
    if (TFormResItem* open = Find(n)) {
        open->show();
        open->raise();
        return;
    }
    Store* store = &store_;
    const std::string own = ownProgram_;
    const ResumeLauncher launch = launch_;
    auto* item = new TFormResItem(
        n, [store, n, own, launch] { return AttemptResume(*store, n, own, launch); });
    items_[static_cast<uint32_t>(n)] = item;
    if (language)
        item->ApplyLanguage(*language);
    connect(item, &QObject::destroyed, this, [this, n] {
        if (items_.erase(static_cast<uint32_t>(n)) && items_.empty())
            emit emptied();
    });
    item->Start(
        store_.ReadText(StoreRoot::CurrentUser, kResumeKey, "f_" + std::to_string(n)).value_or(""));
}

TFormResItem* ResumeItems::Find(int32_t n) const {
    const auto found = items_.find(static_cast<uint32_t>(n));
    return found == items_.end() ? nullptr : found->second;
}

}  // namespace rd
