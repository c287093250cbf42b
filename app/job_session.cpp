#include "app/job_session.h"
#include "app/share_logins.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

#include "app/failure_report.h"
#include "app/handoff.h"
#include "app/settings_policy.h"
#include "app/settings_summary.h"
#include "app/source_reader.h"
#include "app/stderr_lines.h"
#include "app/volume_type.h"
#include "engine/dest_table.h"
#include "engine/job_result.h"
#include "engine/move_delete_link.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/human_units.h"
#include "platform/ini_file.h"
#include "platform/message_texts.h"
#include "platform/messages.h"
#include "platform/mounts.h"
#include "platform/paths.h"
#include "platform/smb_url.h"
#include "platform/store.h"
#include "platform/text.h"
#include "platform/unexpected_end.h"
#include "settings/settings_reader.h"
#include "settings/store_keys.h"

namespace rd {

namespace {

std::string ProgramPath() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string("redodori");
}

// How long a hand-off waits before it tries again to post into a full queue.
constexpr int kFullQueueRetryMs = 2;

// How long the end waits for a job thread that was told to stop.
constexpr std::chrono::milliseconds kStuckThreadLimit{20000};

const char* Outcome(JobMode mode) {
    return IsDelete(mode) ? "Delete" : IsMove(mode) ? "Move" : "Copy";
}

}  // namespace

JobSession::JobSession(std::string line, Store& store, JobHost& window, JobRecord& record)
    : job(policy, window, core.queue),
      ctx(job.Context()),
      console(0, nullptr),
      line_(std::move(line)),
      store_(store),
      record_(record) {
    // The window reaches the settings through the core before the intake has run.
    core.Attach(ctx, &console, nullptr);
    core.SetKeeper(this);
}

JobSession::~JobSession() {
    if (endWatch_.joinable())
        endWatch_.join();
    // The adder walks into the context and reports to the console channel, which go first.
    ctx.adder.Stop();
}

void JobSession::Exit(int code) {
    if (over_)
        return;
    over_ = true;
    exitCode_ = code;
    // From here on posts to this job fail, and hand-offs already waiting are refused rather
    // than left to wait out their time.
    if (endpoint_) {
        endpoint_->StopReceiving();
        core.ServePackets();
    }
    if (!reportNotice_.empty() && windows) {
        // The job is over: jobs waiting for it go on while the notice is up, and its record, if
        // it kept one, can be resumed.
        marker_.Release();
        record_.Release();
        windows->AnnounceReport(reportNotice_, ending_.reportPath);
    }
    // The endpoint stays until the session goes: the window still listens on it until its
    // event loop returns.
    store_.Flush();
    std::fflush(nullptr);
    if (windows)
        windows->Exit(code);
}

void JobSession::TellWrapper(int status) {
    if (flags.ConsoleThreadId)
        bus::PostToThread(flags.ConsoleThreadId, {msg::WM_QUIT, 0, status});
}

JobSession::Start JobSession::EndUnrun() {
    if (console.Attached())
        console.Send(packet::kResult, "nothing");
    TellWrapper(0);
    Exit(0);
    return Start::Ended;
}

// A message for the user: a console line when a wrapper listens, else a message box.
void JobSession::Tell(const std::string& caption, const std::string& text) {
    if (console.Attached())
        console.WholeLine(text);
    else if (windows)
        windows->ShowError(caption, text);
    else
        SayOnStderr(text);
}

RecordedJob JobSession::MakeRecordedJob(RecordMode mode) const {
    RecordedJob job;
    job.number = settings.resumeSlot;
    job.programPath = ProgramPath();
    // Only a record that is kept needs the sources; a job ending without one has them once.
    const int count = job.number >= 0 && mode != RecordMode::Removed ? core.queue.Count() : 0;
    job.sources.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        job.sources.push_back(core.queue.EntryPath(i));
    job.targets = core.targets;
    job.onerror = StoredOnError(policy.onError);
    job.modeWord = StoredDelmode(policy.mode);
    job.profile = settings.profile;
    job.switches = fields.switches;
    return job;
}

bool JobSession::SaveForResume(RecordMode mode) {
    std::string error;
    if (record_.Write(MakeRecordedJob(mode), mode, error))
        return true;
    // Said once: the record is written again at every change, and fails the same way.
    if (!resumeFailureTold_) {
        resumeFailureTold_ = true;
        if (console.Attached())
            console.WholeLine(error);
        else
            SayOnStderr(error);
    }
    return false;
}

bool JobSession::KeepNow(std::string& why) {
    if (flags.CheckManifests)
        return true;
    if (settings.resumeSlot < 0) {
        why = "the job cannot be kept for resume: it has no resume slot";
        return false;
    }
    return record_.Write(MakeRecordedJob(RecordMode::KeptAside), RecordMode::KeptAside, why);
}

void JobSession::SourcesChanged() {
    SaveForResume(policy.resume ? RecordMode::Kept : RecordMode::Removed);
}

void JobSession::ReadLine() {
    settings.profile = ScanProfile(line_).value_or("local");
    ReadAllSettings(store_, settings);
    policy = PolicyOf(settings);
    std::string error;
    // Claimed before anything else can write the record; held until the process ends, so that
    // the resume manager sees that this job runs.
    if (record_.Claim(error))
        settings.resumeSlot = record_.Number();
    else
        std::fprintf(stderr, "%s\n", error.c_str());
    ResetJobState(policy, flags);
    fields = SplitFields(line_);
    ApplySwitches(fields.switches, policy, flags);

    ctx.notice = &core;
    ctx.questions = &core;
    ctx.allocationFailure = &core;
    ctx.options.KeepFileTimes = flags.KeepFileTimes;
    ctx.options.PerFileLink = flags.PerFileLink;
    ctx.options.switches = fields.switches;
    ctx.options.CheckManifests = flags.CheckManifests;
    ctx.state.SetPaused(flags.StartPaused);
    if (windows)
        windows->LoadLanguage(settings, ctx.messages);
    else
        ctx.messages.Fill(IniFile(), &BuiltInMessages());
}

void JobSession::OpenChannels() {
    std::string error;
    const uint32_t wrapper = flags.ConsoleThreadId;
    unexpected::SetWrapper(wrapper);
    console = ConsoleChannel(wrapper, [wrapper](const Chunk& chunk) {
        return bus::PostToThread(wrapper, {msg::WMU_COMMAND, chunk.first, chunk.second});
    });
    ctx.console = &console;

    if (bus::PrepareRuntimeDir(error))
        endpoint_ = bus::Endpoint::CreateWindow(kProgressWindowClass, error);
    if (!endpoint_)
        std::fprintf(stderr, "%s\n", error.c_str());
    core.Attach(ctx, &console, endpoint_.get());
    core.showTrayIcon = [this](int index) {
        if (windows)
            windows->SetTrayIcon(index);
    };
    if (!flags.TreeLink)
        core.TogglePause(false);
    if (console.Attached()) {
        console.Send(packet::kWindowHandle, std::to_string(endpoint_ ? endpoint_->Id() : 0));
        console.Send(packet::kText, SettingsSummary(policy));
    }
}

void JobSession::PrepareEnd() {
    ending_.historyPath = paths::UserDataDir() + "/history.txt";
}

void JobSession::SettleResume(int code) {
    // A check keeps its place in each manifest itself, whichever way it ends.
    if (flags.CheckManifests)
        return;
    if (!SaveForResume(code == 0 ? RecordMode::Removed : RecordMode::KeptAside) || code == 0 ||
        settings.resumeSlot < 0)
        return;
    // How to go on with it, from where the user is.
    const std::string n = std::to_string(settings.resumeSlot);
    if (console.Attached())
        console.WholeLine("Kept for resume as job " + n + ": redodori-console --resume " + n +
                          " goes on with it");
    else
        SayOnStderr("kept for resume as job " + n + ": redodori --resume " + n +
                    " goes on with it");
}

// The summary counts what the job really did, so it is made once the job's threads have ended
// and the files left under way are settled.
void JobSession::WritersStopped() {
    Summarize();
}

void JobSession::SaveWindow() {
    if (!windows)
        return;
    windows->SetTrayIcon(-1);
    const WindowPlace place = windows->ProgressPlace();
    StoreKey key(store_, StoreRoot::CurrentUser, std::string(kBaseKey));
    key.WriteInts({{"F2_Left", place.left},
                   {"F2_Top", place.top},
                   {"F2_Width", place.width},
                   {"F2_Height", place.height}});
}

void JobSession::TellConsole(int status) {
    TellWrapper(status);
}

JobSession::Start JobSession::Intake() {
    ReadLine();
    OpenChannels();
    PrepareEnd();
    if (fields.source.empty())
        return EndNow(0);
    std::string error;
    // Lists are removed only after the job has taken them, and only those written for it.
    ListFile sourceList;
    bool literal = false;
    if (!ReadSources(fields.source, flags, core.queue, sourceList, literal, error)) {
        Tell("Opening filelist error", error);
        return EndNow(0);
    }
    ExpandWildcards(core.queue, literal);
    // Reading over the network, the reader and the writers overlap their waits.
    if (core.queue.Count() > 0) {
        const std::string first = core.queue.EntryPath(0);
        if (smb::IsUrl(first) || IsNetworkFileSystem(mounts::TypeOf(first)))
            policy.parallel = true;
    }

    if (flags.AttachToRunning && !flags.CheckManifests && AttachedToRunning(sourceList))
        return Start::Ended;
    if (!(flags.WaitForOtherJobs ? marker_.WaitForOthers(error) : marker_.Hold(error)))
        std::fprintf(stderr, "%s\n", error.c_str());

    if (flags.DeleteListFiles)
        RemoveListFile(sourceList);
    if (flags.CheckManifests)
        return RunCheck();

    if (fields.target.empty() && !IsDelete(policy.mode)) {
        // Off screen nobody could answer the chooser: the job would wait for ever.
        if (!windows || !windows->ShowChooser()) {
            Tell("RedoDori",
                 "The job has no destination, and the destination chooser needs a display: "
                 "give the job a destination");
            return EndUnrun();
        }
        // The sources are listed while the user chooses.
        UseSourceLogins();
        job.Start();
        return Start::NeedsChooser;
    }
    return RunWithTargets();
}

bool JobSession::AttachedToRunning(const ListFile& sourceList) {
    const uint32_t running = bus::FindWindow(kProgressWindowClass);
    if (!running)
        return false;
    const int64_t answer = HandOver(running);
    if (answer != handoff::kAccepted) {
        std::fprintf(stderr,
                     "redodori: Job not attached to another RedoDori session (%s); it runs here\n",
                     handoff::RefusalReason(answer).c_str());
        return false;
    }
    if (console.Attached())
        console.Send(packet::kText, "Job attached to another RedoDori session\r\n");
    else
        std::fputs("redodori: Job attached to another RedoDori session\n", stderr);
    TellWrapper(2);
    if (flags.DeleteListFiles)
        RemoveListFile(sourceList);
    Exit(0);
    return true;
}

void JobSession::UseSourceLogins() {
    std::vector<std::string> sources;
    for (int i = 0; i < core.queue.Count(); ++i)
        sources.push_back(core.queue.EntryPath(i));
    std::string unusable;
    ctx.sources.UseLogins(ShareLogins(sources, unusable));
    if (!unusable.empty())
        SayOnStderr(unusable);
}

JobSession::Start JobSession::StartWithTarget(
    const std::string& targetText, const std::map<std::string, smb::Credentials>& logins) {
    fields.target = targetText;
    chosenLogins_ = logins;
    // The chooser's text holds the destinations themselves, never a list file's name.
    flags.TargetIsListFile = false;
    return RunWithTargets();
}

void JobSession::ChooserCancelled() {
    End(0);
}

JobSession::Start JobSession::RunWithTargets() {
    std::string error;
    ListFile targetList;
    if (!ReadTargets(fields.target, flags, core.targets, targetList, error)) {
        Tell("Opening filelist error", error);
        return EndUnrun();
    }
    core.targetText = JoinTargets(core.targets);
    if (flags.DeleteListFiles)
        RemoveListFile(targetList);
    // A target such as "???" names no folder: a copy to nowhere would count every file done.
    if (!IsDelete(policy.mode) && SplitDestinations(core.targets).roots.empty()) {
        Tell("RedoDori", "The job has no destination: \"" + fields.target + "\" names no folder");
        return EndUnrun();
    }
    if (flags.TreeLink)
        return RunTreeLinkPass();

    SaveForResume(policy.resume ? RecordMode::Kept : RecordMode::Removed);
    // A job that a crash may interrupt is resumed at the next login.
    if (policy.resume && !record_.ResumeAtLogin(ProgramPath(), error))
        SayOnStderr(error);
    if (windows)
        windows->SetTrayIcon(0);
    ctx.jobState = 1;
    if (flags.ShowProgressWindow && windows)
        windows->ShowProgressWindow();
    std::string unusable;
    std::vector<std::string> named = core.targets;
    for (int i = 0; i < core.queue.Count(); ++i)
        named.push_back(core.queue.EntryPath(i));
    std::map<std::string, smb::Credentials> logins = ShareLogins(named, unusable);
    if (!unusable.empty())
        SayOnStderr(unusable);
    ctx.sources.UseLogins(logins);
    // The chooser checked its logins against the servers; the job holds them from here on.
    for (auto& [server, credentials] : std::exchange(chosenLogins_, {}))
        logins[server] = std::move(credentials);
    ctx.dests.UseLogins(std::move(logins));
    job.Start(core.targets);
    core.OpenForHandOffs();
    return Start::Running;
}

// This job's own window is served all the while, so that a job handing over to this one at the
// same time is refused at once (this job has not started) instead of waiting on it.
int64_t JobSession::HandOver(uint32_t window) {
    std::string error;
    const std::unique_ptr<bus::Endpoint> answers = bus::Endpoint::CreateThread(error);
    if (!answers)
        return handoff::kNoAnswerEndpoint;
    // Read only to describe this job; the list stays for this job to read if it runs here.
    std::vector<std::string> targets;
    ListFile targetList;
    if (!ReadTargets(fields.target, flags, targets, targetList, error))
        return handoff::kNoDestinations;
    const std::string folder = fs::CurrentFolder();
    const handoff::Links links = flags.TreeLink      ? handoff::Links::Tree
                                 : flags.PerFileLink ? handoff::Links::PerFile
                                                     : handoff::Links::None;
    std::vector<std::string> items{handoff::DescribeJob(policy.mode, links, targets, folder)};
    // A relative source is meant from this job's folder, not from the running job's.
    for (int i = 0; i < core.queue.Count(); ++i) {
        const std::string path = core.queue.EntryPath(i);
        items.push_back(path[0] == '/' ? path : folder + "/" + path);
    }

    const auto serve = [&](int fd, int timeoutMs) {
        pollfd ready[2] = {{fd, POLLIN, 0}, {endpoint_ ? endpoint_->Fd() : -1, POLLIN, 0}};
        ::poll(ready, 2, timeoutMs);
        core.ServePackets();
    };
    const uint64_t started = TickMs();
    // A packet that cannot be posted is lost, and then no source may be offered at all.
    const auto post = [&](const bus::Packet& packet) {
        bool full = false;
        while (!bus::TryPostToWindow(kProgressWindowClass, window, packet, full)) {
            if (!full || TickMs() >= started + handoff::kAcceptWithinMs)
                return false;
            serve(-1, kFullQueueRetryMs);
        }
        return true;
    };
    const uint32_t self = answers->Id();
    for (const std::string& item : items)
        for (const bus::Packet& chunk : handoff::Chunks(item, self))
            if (!post(chunk))
                return handoff::kNotSent;
    if (!post(handoff::Closing(self, static_cast<uint32_t>(items.size() - 1), started)))
        return handoff::kNotSent;

    bus::Packet packet;
    const auto answered = [&] {
        while (answers->Receive(packet))
            if (packet.msg == msg::WMU_HANDOFFANSWER && packet.wParam == started)
                return true;
        return false;
    };
    for (uint64_t now = TickMs(); now < started + handoff::kAnswerTimeoutMs; now = TickMs()) {
        if (answered())
            return packet.lParam;
        serve(answers->Fd(), static_cast<int>(started + handoff::kAnswerTimeoutMs - now));
    }
    // From here on the running job cannot post an acceptance: one is in the socket already, or
    // that job learns that its answer was not taken and adds nothing.
    answers->StopReceiving();
    return answered() ? packet.lParam : handoff::kNoAnswer;
}

JobSession::Start JobSession::RunTreeLinkPass() {
    std::vector<std::string> sources;
    for (int i = 0; i < core.queue.Count(); ++i)
        sources.push_back(core.queue.EntryPath(i));
    const std::string report = TreeLinkPass(ctx, sources, core.targets);
    linkFailures_ = !report.empty();
    if (!report.empty()) {
        if (console.Attached())
            console.Send(packet::kText, report);
        else if (windows)
            windows->ShowError("NTFS linking error", report);
        else
            SayOnStderr("NTFS linking error: " + report);
    }
    return EndNow(0);
}

JobSession::Start JobSession::RunCheck() {
    if (windows)
        windows->SetTrayIcon(0);
    ctx.jobState = 1;
    if (flags.ShowProgressWindow && windows)
        windows->ShowProgressWindow();
    job.Start();
    return Start::Running;
}

JobSession::Start JobSession::EndNow(int code) {
    End(code);
    return Start::Ended;
}

void JobSession::End(int code) {
    if (ending_.ending)
        return;
    // Nothing more joins the job, and what the summary counts stays put.
    ctx.adder.Stop();
    ending_.sources = &core.queue;
    ending_.targetText = core.targetText;
    if (!BeginJobEnd(ctx, *this, ending_, code))
        return;
    if (job.WaitForThread(std::chrono::milliseconds(0)))
        return FinishEnd();
    // The end goes on in JobThreadEnded; a thread that never gets there (a read from a share
    // that went away) does not hold the program for ever.
    endWatch_ = std::thread([this] {
        if (job.WaitForThread(kStuckThreadLimit))
            return;
        SayOnStderr(text::Format(
            "the job's thread is still inside a call on %s after %lld seconds; the program "
            "ends without it",
            ctx.state.CurrentSource().c_str(),
            static_cast<long long>(kStuckThreadLimit.count() / 1000)));
        // The window thread ends the job as ever (the end line, the history, the wrapper's
        // status), only without waiting for the thread.
        threadStuck_ = true;
        ctx.host.ThreadEnded();
        // A window thread that does not get there either: the program ends from here.
        std::this_thread::sleep_for(kStuckThreadLimit / 4);
        TellWrapper(1);
        LeaveWithoutTheThread(0);
    });
}

void JobSession::JobThreadEnded() {
    if (ending_.ending && !over_)
        FinishEnd();
}

void JobSession::FinishEnd() {
    if (threadStuck_) {
        FinishJobEnd(ctx, *this, ending_);
        LeaveWithoutTheThread(exitCode_);
    }
    job.Wait();
    if (endWatch_.joinable())
        endWatch_.join();
    FinishJobEnd(ctx, *this, ending_);
}

// The job's thread cannot be joined, so the process cannot return through main.
void JobSession::LeaveWithoutTheThread(int code) {
    store_.Flush();
    std::fflush(nullptr);
    _exit(code);
}

void JobSession::Summarize() {
    // The ticks count the copy time every half second: the time since the last one counts too.
    core.CountCopyTime();
    if (flags.CheckManifests)
        return SummarizeCheck();
    const JobCounters& c = ctx.state.counters;
    const JobResult result = ResultOf(ctx);
    const std::string ended = text::Format("%s %s", Outcome(policy.mode),
                                           result.end == JobEnd::Failed       ? "failed"
                                           : result.end == JobEnd::Aborted    ? "aborted"
                                           : result.end == JobEnd::NotStarted ? "ended"
                                                                              : "finished");
    std::string summary = text::Format("%s: %u of %u files, %Lu of %Lu bytes, %u retries, %u skips",
                                       ended.c_str(), c.filesCompleted.load(), c.listedFiles.load(),
                                       static_cast<unsigned long long>(c.bytesCompleted.load()),
                                       static_cast<unsigned long long>(c.listedBytes.load()),
                                       c.retries.load(), c.skips.load());
    if (c.filesFailed > 0)
        summary += text::Format(", %u failed", c.filesFailed.load());
    if (c.filesCloned > 0)
        summary += text::Format(", %u cloned", c.filesCloned.load());
    // A wrapper tells its caller by its exit status how the job went.
    if (console.Attached() && result.end != JobEnd::Aborted) {
        const bool treeLinked = flags.TreeLink && result.end == JobEnd::NotStarted;
        console.Send(packet::kResult, treeLinked && linkFailures_        ? "skips"
                                      : treeLinked                       ? "done"
                                      : result.end == JobEnd::NotStarted ? "nothing"
                                      : result.end == JobEnd::Failed     ? "failed"
                                      : result.end == JobEnd::FinishedWithSkips || linkFailures_
                                          ? "skips"
                                          : "done");
    }
    Conclude(ended, summary);
}

void JobSession::SummarizeCheck() {
    const CheckTally& t = ctx.check;
    const bool aborted = ResultOf(ctx).end == JobEnd::Aborted;
    const std::string counts[] = {std::to_string(t.good), std::to_string(t.mismatched),
                                  std::to_string(t.missing), std::to_string(t.unreadable),
                                  std::to_string(t.linesSkipped)};
    const std::string summary = FillIn(
        MessageText(ctx.messages, aborted ? text_slot::kCheckAborted : text_slot::kCheckFinished),
        {counts[0], counts[1], counts[2], counts[3], counts[4]});
    // An unusable manifest is the caller's mistake, told apart from files that do not check out.
    if (console.Attached() && !aborted)
        console.Send(packet::kResult, t.unusable > 0             ? "nothing"
                                      : ctx.outcomes.Count() > 0 ? "skips"
                                                                 : "done");
    Conclude(aborted ? "Check aborted" : "Check finished", summary);
}

void JobSession::Conclude(const std::string& ended, const std::string& summary) {
    const JobCounters& c = ctx.state.counters;
    paths::MakePath(paths::UserDataDir());
    const FailureFacts facts{summary, ctx.outcomes.Kept(), ctx.outcomes.Count(), c.skips.load()};
    std::string reportError;
    // A list of renames beside the copy is named in a report too.
    if (facts.Total() > 0 || !facts.kept.empty()) {
        const time_t now = std::time(nullptr);
        tm local{};
        localtime_r(&now, &local);
        ending_.reportPath =
            WriteFailureReport(paths::UserDataDir(), local, FailureReportText(facts), reportError);
    }
    const std::string& report = ending_.reportPath;
    // What was left out is named under the summary: the first ones, then how many more and
    // where the report lists them all.
    constexpr size_t kNamed = 20;
    std::vector<std::string> lines;
    // A name's control characters never end or redraw the line that names it.
    for (size_t i = 0; i < facts.kept.size() && i < kNamed; ++i)
        lines.push_back("  " + text::EscapeControls(Describe(facts.kept[i])));
    if (facts.counted > kNamed)
        lines.push_back(report.empty() ? text::Format("  and %zu more", facts.counted - kNamed)
                                       : text::Format("  and %zu more, see %s",
                                                      facts.counted - kNamed, report.c_str()));
    else if (!report.empty())
        lines.push_back("  Report: " + report);
    if (!reportError.empty())
        lines.push_back("No failure report was written: " + reportError);
    for (const std::string& manifest : ctx.manifests.Written())
        lines.push_back("  Manifest: " + text::EscapeControls(manifest));
    // A wrapper shows them on its terminal; stderr would break into the wrapper's progress line.
    if (console.Attached()) {
        // Whole, with the time the copy took and its average speed. A job ended while paused
        // before its first tick has only the clock's time since its start.
        uint64_t copyTime = c.copyTime;
        if (!copyTime && ctx.copyStartedAt)
            copyTime = TickMs() - ctx.copyStartedAt;
        console.WholeLine(summary + ", elapsed " + HumanDuration(copyTime) + ", average " +
                          HumanRate(copyTime ? c.transferredBytes * 1000 / copyTime : 0));
        for (const std::string& line : lines)
            console.WholeLine(line);
    } else {
        SayOnStderr(summary);
        for (const std::string& line : lines)
            SayOnStderr(line);
    }
    // A window job says so where its window was, with the report a click away; one that took
    // a while says that it is over.
    if (!console.Attached() && flags.ShowProgressWindow)
        reportNotice_ = !report.empty()
                            ? ReportNotice(ended, facts.Total(), report)
                            : EndNotice(ended, c.filesCompleted, c.bytesCompleted, c.copyTime);
}

}  // namespace rd
