// What the progress core asks of the window around it. The progress window implements it; every
// call comes on the window thread except Wake.
#pragma once

#include <string>

#include "engine/job.h"
#include "engine/user_notice.h"

namespace rd {

struct Question;

class ProgressView {
public:
    virtual ~ProgressView() = default;
    // Any thread: the window thread should run the core's Service() soon.
    virtual void Wake() = 0;
    // The end request is delivered: the view lets go of a job thread it holds and ends the job
    // with `code`, which ends the process.
    virtual void EndJob(int code) = 0;
    // The settings that cannot change during a copy are locked.
    virtual void LockOptions() = 0;
    // The list is complete.
    virtual void ListFinished() = 0;
    // A completion step: the shutdown countdown or the completion question.
    virtual void ShowCompletion(CompletionStep step) = 0;
    // A question is opened and no console wrapper answers it: true when the view shows it (it
    // answers through the core's Answer()), false when no one can be asked.
    virtual bool ShowQuestion(const Question& question) = 0;
    // The pause state changed (the button's look).
    virtual void ShowPaused(bool paused) = 0;
    // Sources were dropped on the window or handed over: the resume record is to be written
    // again.
    virtual void SourcesAdded() = 0;
    // Another program asked for the queue window to be docked to the window again.
    virtual void DockQueue() = 0;
    // A notice for the user when no console wrapper listens.
    virtual void ShowNotice(NoticeIcon icon, const std::string& caption,
                            const std::string& text) = 0;
};

}  // namespace rd
