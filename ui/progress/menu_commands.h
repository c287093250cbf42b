// The window's commands that the progress window's menu and keys reach; the progress window
// implements them. Each runs on the window thread.
#pragma once

namespace rd {

class MenuCommands {
public:
    virtual ~MenuCommands() = default;
    // Shows the window again.
    virtual void Open() = 0;
    // Ends the job; Shift held keeps it for resume.
    virtual void Abort() = 0;
    // Ends the job and keeps it for resume.
    virtual void SaveAndAbort() = 0;
    // Pauses the job, or lets a paused one go on.
    virtual void Pause() = 0;
    // Skips the current file.
    virtual void Skip() = 0;
    // Shows the settings dialog.
    virtual void OpenSettings() = 0;
    // Shows the queue window, or hides it when it shows.
    virtual void ToggleQueue() = 0;
    virtual bool QueueVisible() const = 0;
    // Writes or deletes the job's resume record after `resume` flipped.
    virtual void ResumeChanged() = 0;
    // Whether the job is paused: the pause item then offers to resume.
    virtual bool Paused() const = 0;
};

}  // namespace rd
