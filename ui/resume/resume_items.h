// The open resume pop-ups, one per record within the process. A pop-up leaves the map when it
// is destroyed; the process ends only once the map is empty.
#pragma once

#include <QObject>
#include <cstdint>
#include <map>
#include <string>

#include "resume/resume_attempt.h"

namespace rd {

class Language;
class Store;
class TFormResItem;

class ResumeItems : public QObject {
    Q_OBJECT

public:
    ResumeItems(Store& store, std::string ownProgram, ResumeLauncher launch);
    ~ResumeItems() override;

    // Shows the record's pop-up again, or opens one and starts its attempts.
    void Resume(int32_t n);
    // The record's pop-up; null when it has none.
    TFormResItem* Find(int32_t n) const;
    bool Empty() const { return items_.empty(); }

    // The language new pop-ups are captioned in; none leaves them in their built-in texts.
    const Language* language = nullptr;

signals:
    // The last pop-up went.
    void emptied();

private:
    Store& store_;
    std::string ownProgram_;
    ResumeLauncher launch_;
    std::map<uint32_t, TFormResItem*> items_;
};

}  // namespace rd
