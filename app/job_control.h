// What the progress window asks of the job session it serves; the session implements it.
#pragma once

#include <string>

namespace rd {

// Keeps the job's record for resume before an end that keeps it, so that an end that cannot
// keep the job is refused while the job can still go on.
class ResumeKeeper {
public:
    virtual ~ResumeKeeper() = default;
    // Writes the record now; false with `why` when the job cannot be kept.
    virtual bool KeepNow(std::string& why) = 0;
};

class JobControl {
public:
    virtual ~JobControl() = default;
    // Ends the job with `code` (0 forget it, 2 keep it for resume). A later request returns at
    // once: the first one decides.
    virtual void End(int code) = 0;
    // The host's thread learns that the job's thread has left.
    virtual void JobThreadEnded() = 0;
    // The sources or the resume setting changed: the resume record is written again.
    virtual void SourcesChanged() = 0;
};

}  // namespace rd
