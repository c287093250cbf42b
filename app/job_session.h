// One process's job from its line to its end: the settings, the intake (sources, hand-off,
// waiting for other jobs, targets, the tree link pass), the engine, and EndJob with the resume
// record, the history and the console status. The progress window hosts it and is its job's
// JobHost; nothing here knows about widgets.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "app/command_line.h"
#include "app/console_channel.h"
#include "app/job_control.h"
#include "app/job_record.h"
#include "app/list_file.h"
#include "app/progress_core.h"
#include "engine/engine_context.h"
#include "engine/job.h"
#include "engine/job_end.h"
#include "platform/bus.h"
#include "platform/smb_client.h"
#include "settings/job_settings.h"

namespace rd {

class MessageTable;
class Store;

// The class of the progress window's endpoint, by which a second job finds a running one.
inline constexpr const char* kProgressWindowClass = "TRedoDoriWnd";

// A window's place on the screen.
struct WindowPlace {
    int32_t left = 0, top = 0, width = 0, height = 0;
};

// What the windows around a session do for it. A session without them says on stderr what a
// window would have shown.
class SessionWindows {
public:
    virtual ~SessionWindows() = default;
    // Reads the language the settings name, fills the job's `messages` from it and captions the
    // windows, before any of them is shown. Without windows the messages keep their built-in
    // texts.
    virtual void LoadLanguage(const JobSettings& settings, MessageTable& messages) = 0;
    // A message box (caption, text), or stderr when there is no one to show it to.
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;
    // Shows the progress window (not with switch n).
    virtual void ShowProgressWindow() = 0;
    // The notification-area icon at an image index; -1 removes it.
    virtual void SetTrayIcon(int index) = 0;
    // The progress window's place, stored as "F2_*" when the job ends.
    virtual WindowPlace ProgressPlace() = 0;
    // Shows the destination chooser for a job without a target; its answer comes back through
    // StartWithTarget or ChooserCancelled. False when no one could answer it (no display).
    virtual bool ShowChooser() = 0;
    // Tells the user that a window job left files out (`text`) and offers the report to open;
    // returns once the notice is gone. The job is over by then.
    virtual void AnnounceReport(const std::string& text, const std::string& reportPath) = 0;
    // The session is over: the program ends with `exitCode` once its event loop returns.
    virtual void Exit(int exitCode) = 0;
};

// The session ends its job itself: it is the end's host.
class JobSession : public JobControl, private EndJobHost, private ResumeKeeper {
public:
    enum class Start {
        Running,       // the job runs; the window's event loop serves it
        NeedsChooser,  // sources without targets: the destination chooser asks for them
        Ended,         // no job runs: the session is over (Over()) with its exit code
    };

    // `record` keeps the job's resume record; it outlives the session.
    JobSession(std::string line, Store& store, JobHost& window, JobRecord& record);
    ~JobSession() override;
    JobSession(const JobSession&) = delete;
    JobSession& operator=(const JobSession&) = delete;

    // The windows around the session; none: stderr only.
    SessionWindows* windows = nullptr;
    JobSettings settings;
    // The job's policy, made from `settings` and the line's switches.
    JobPolicy policy;
    JobFlags flags;
    LineFields fields;
    ProgressCore core;
    // The job is made with the session and started by the intake.
    Job job;
    EngineContext& ctx;
    ConsoleChannel console;

    // The intake, steps 2 to 16: ends the session on every way that does not run a job.
    Start Intake();
    // The chooser's OK: the rest of the intake with `targetText` as the job's target field,
    // as a job line with that target would run it; ends the session when it names no folder.
    // `logins` are the chooser's for the shares written by their addresses, by server.
    Start StartWithTarget(const std::string& targetText,
                          const std::map<std::string, smb::Credentials>& logins = {});
    // The chooser went away without a destination: the job ends with code 0.
    void ChooserCancelled();
    // Ends the job with `code` (0 forget it, 2 keep it for resume), then the session. A job
    // thread that still runs is told to stop, and the end goes on once it has left
    // (JobThreadEnded). A later request returns at once: the first one decides.
    void End(int code) override;
    // The host's thread learns that the job's thread has left.
    void JobThreadEnded() override;
    // The session has ended; the program ends with ExitCode().
    bool Over() const { return over_; }
    int ExitCode() const { return exitCode_; }
    // Writes the resume record again after the sources changed (mode 1 with resume on crash,
    // else deleted).
    void SourcesChanged() override;
    // The window endpoint; null when the runtime folder refused it.
    bus::Endpoint* Endpoint() const { return endpoint_.get(); }

private:
    // The intake's steps: the line with the settings, switches and language; the console
    // channel and the window's endpoint; what the end of the job will need.
    void ReadLine();
    void OpenChannels();
    void PrepareEnd();
    // Hands the sources to a running job; true when it took them and this session is over.
    bool AttachedToRunning(const ListFile& sourceList);
    // Ends the session: the bus, the store and the notice of a report, then the windows' Exit.
    void Exit(int code) override;
    // The end's steps: the resume record kept (2) or removed, the summary once the job's
    // threads have ended, the window's place stored, the wrapper told.
    void SettleResume(int code) override;
    void WritersStopped() override;
    void SaveWindow() override;
    void TellConsole(int status) override;
    // The end once the job's threads have ended.
    void FinishEnd();
    [[noreturn]] void LeaveWithoutTheThread(int code);
    // The end lines: the summary of what the job did, the files it left out, its report.
    void Summarize();
    // A check's end line and its result for the wrapper.
    void SummarizeCheck();
    // The summary's report and the lines under it, as the job ended (`ended`: "Copy
    // finished").
    void Conclude(const std::string& ended, const std::string& summary);
    // End() where nothing can be ending already (the intake).
    Start EndNow(int code);
    void Tell(const std::string& caption, const std::string& text);
    // Offers the queued sources to the running job at `window`; returns its answer
    // (handoff::kAccepted: that job copies them) or why none came.
    int64_t HandOver(uint32_t window);
    void TellWrapper(int status);
    // Ends a process that ran no job (a line, list or destination it could not use): the
    // wrapper is told so.
    Start EndUnrun();
    // The job as its resume record written with `mode` keeps it.
    RecordedJob MakeRecordedJob(RecordMode mode) const;
    // False when the record could not be written as `mode` says.
    bool SaveForResume(RecordMode mode);
    bool KeepNow(std::string& why) override;
    Start RunTreeLinkPass();
    // A job of manifests: the check runs on the job's thread, without targets.
    Start RunCheck();
    // The intake from the targets on: read them, the tree link pass, the resume record and the
    // start of the job.
    Start RunWithTargets();
    // The logins for the shares among the sources that are walked before the targets are known.
    void UseSourceLogins();

    std::string line_;
    Store& store_;
    std::unique_ptr<bus::Endpoint> endpoint_;
    bus::JobMarker marker_;
    JobRecord& record_;
    EndJobRecord ending_;
    // Watches a job thread told to stop; see End.
    std::thread endWatch_;
    // Set when the job's thread stayed inside a call past the limit: the end goes on without it.
    std::atomic<bool> threadStuck_{false};
    bool over_ = false;
    int exitCode_ = 0;
    // The tree link pass could not make every link.
    bool linkFailures_ = false;
    bool resumeFailureTold_ = false;
    // What a window job that wrote a failure report says at its end; empty for any other.
    std::string reportNotice_;
    // The chooser's logins for shares, held in memory only.
    std::map<std::string, smb::Credentials> chosenLogins_;
};

}  // namespace rd
