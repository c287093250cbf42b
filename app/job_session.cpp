#include "app/job_session.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <utility>

#include "app/settings_reader.h"
#include "app/settings_summary.h"
#include "app/source_reader.h"
#include "app/store_keys.h"
#include "engine/job_thread.h"
#include "engine/messages.h"
#include "engine/move_delete_link.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "platform/text.h"

namespace rd {

namespace {

std::string ProgramPath() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string("redodori");
}

const char* Outcome(int32_t mode) {
    return mode::IsDelete(mode) ? "Delete" : mode::IsMove(mode) ? "Move" : "Copy";
}

// Sends every queued source to the running job's window.
void HandOver(uint32_t window, const SourceQueue& queue) {
    for (int i = 0; i < queue.Count(); ++i)
        for (const auto& [w, l] : HandOffChunks(queue.EntryPath(i)))
            bus::PostToWindow(kProgressWindowClass, window, {msg::WMU_HANDOFF, w, l});
}

}  // namespace

std::vector<std::pair<uint64_t, int64_t>> HandOffChunks(const std::string& path) {
    std::string bytes = path;
    bytes.push_back('\0');
    while (bytes.size() % 8)
        bytes.push_back('\0');
    std::vector<std::pair<uint64_t, int64_t>> chunks;
    for (size_t at = 0; at < bytes.size(); at += 8) {
        uint64_t w = 0, l = 0;
        for (size_t k = 0; k < 4; ++k) {
            w = (w << 8) | static_cast<uint8_t>(bytes[at + k]);
            l = (l << 8) | static_cast<uint8_t>(bytes[at + 4 + k]);
        }
        chunks.emplace_back(w, static_cast<int64_t>(l));
    }
    return chunks;
}

JobSession::JobSession(std::string line, Store& store, WindowLink& window)
    : ctx(settings, window, core.queue),
      console(0, nullptr),
      line_(std::move(line)),
      store_(store) {
    // The window reaches the settings through the core before the intake has run.
    core.Attach(ctx, &console, nullptr);
}

JobSession::~JobSession() = default;

void JobSession::Exit(int code) {
    if (host.exit)
        host.exit(code);
    endpoint_.reset();
    store_.Flush();
    std::fflush(nullptr);
    _exit(code);
}

void JobSession::TellWrapper(int status) {
    if (flags.ConsoleThreadId)
        bus::PostToThread(flags.ConsoleThreadId, {msg::WM_QUIT, 0, status});
}

// A message for the user: a console line when a wrapper listens, else a message box.
void JobSession::Tell(const std::string& caption, const std::string& text) {
    if (console.Attached())
        console.Line(text, true);
    else if (host.showError)
        host.showError(caption, text);
    else
        std::fprintf(stderr, "redodori: %s\n", text.c_str());
}

ResumeJob JobSession::MakeResumeJob() const {
    ResumeJob job;
    job.slot = settings.resumeSlot;
    job.programPath = ProgramPath();
    for (int i = 0; i < core.queue.Count(); ++i)
        job.sources.push_back(core.queue.EntryPath(i));
    job.targetText = core.targetText;
    job.onerror = settings.onerror;
    job.modeWord = settings.delmode;
    job.profile = settings.profile;
    return job;
}

void JobSession::SaveForResume(int mode) {
    std::string error;
    if (WriteResumeRecord(store_, MakeResumeJob(), mode, error) || resumeFailureTold_)
        return;
    // Said once: the record is written again at every change, and fails the same way.
    resumeFailureTold_ = true;
    if (console.Attached())
        console.Line(error, true);
    else
        std::fprintf(stderr, "redodori: %s\n", error.c_str());
}

void JobSession::SourcesChanged() {
    SaveForResume(settings.resume != 0 ? 1 : 0);
}

JobSession::Start JobSession::Intake() {
    settings.profile = ScanProfile(line_).value_or("local");
    ReadAllSettings(store_, settings, static_cast<uint32_t>(std::time(nullptr)));
    ResetJobState(settings, flags);
    fields = SplitFields(line_);
    ApplySwitches(fields.switches, settings, flags);

    ctx.notice = &core;
    ctx.options.KeepFileTimes = flags.KeepFileTimes;
    ctx.options.PerFileLink = flags.PerFileLink;
    ctx.options.switches = fields.switches;
    ctx.state.flags.Paused = flags.StartPaused ? 1 : 0;
    const std::string language = paths::FindDataFile(settings.InstallPath, settings.Lngname);
    if (!language.empty())
        ctx.messages.Load(language);

    const uint32_t wrapper = flags.ConsoleThreadId;
    console = ConsoleChannel(wrapper, [wrapper](const Chunk& chunk) {
        bus::PostToThread(wrapper, {msg::WMU_COMMAND, chunk.first, chunk.second});
    });
    ctx.console = &console;

    std::string error;
    if (bus::PrepareRuntimeDir(error))
        endpoint_ = bus::Endpoint::CreateWindow(kProgressWindowClass, error);
    if (!endpoint_)
        std::fprintf(stderr, "%s\n", error.c_str());
    core.Attach(ctx, &console, endpoint_.get());

    endHost_.settleResume = [this](int code) { SaveForResume(code == 0 ? 0 : 2); };
    endHost_.pumpMessages = [this] {
        if (host.pumpMessages)
            host.pumpMessages();
        else
            core.Service();
    };
    endHost_.saveWindow = [this] {
        if (host.setTrayIcon)
            host.setTrayIcon(-1);
        if (!host.placement)
            return;
        int32_t left = 0, top = 0, width = 0, height = 0;
        host.placement(left, top, width, height);
        StoreKey key(store_, StoreRoot::CurrentUser, std::string(kBaseKey));
        key.WriteInt("F2_Left", left);
        key.WriteInt("F2_Top", top);
        key.WriteInt("F2_Width", width);
        key.WriteInt("F2_Height", height);
    };
    endHost_.tellConsole = [this](int status) { TellWrapper(status); };
    endHost_.historyPath = paths::UserDataDir() + "/history.txt";
    endHost_.exit = [this](int code) { Exit(code); };

    if (!flags.TreeLink)
        core.TogglePause(false);
    if (console.Attached()) {
        console.Send(packet::kWindowHandle, std::to_string(endpoint_ ? endpoint_->Id() : 0));
        console.Send(packet::kText, SettingsSummary(settings));
    }

    if (fields.source.empty())
        EndNow(0);
    // Lists are removed only after the job has taken them, and only those written for it.
    ListFile sourceList;
    if (!ReadSources(fields.source, flags, core.queue, sourceList, error)) {
        Tell("Opening filelist error", error);
        EndNow(0);
    }
    ExpandWildcards(core.queue);

    if (flags.AttachToRunning) {
        if (uint32_t running = bus::FindWindow(kProgressWindowClass)) {
            HandOver(running, core.queue);
            if (console.Attached())
                console.Send(packet::kText, "Job attached to another RedoDori session\r\n");
            else
                std::fputs("redodori: Job attached to another RedoDori session\n", stderr);
            TellWrapper(2);
            if (flags.DeleteListFiles)
                RemoveListFile(sourceList);
            Exit(0);
        }
    }
    if (!(flags.WaitForOtherJobs ? marker_.WaitForOthers(error) : marker_.Hold(error)))
        std::fprintf(stderr, "%s\n", error.c_str());

    if (flags.DeleteListFiles)
        RemoveListFile(sourceList);
    ctx.window.Post(msg::WMU_COMMAND, msg::kCmdStartJob, 0);

    if (fields.target.empty() && !mode::IsDelete(settings.delmode)) {
        Tell("RedoDori",
             "the destination chooser is not available yet: give the job a destination");
        TellWrapper(0);
        Exit(0);
    }
    ListFile targetList;
    if (!ReadTargets(fields.target, flags, core.targetText, targetList, error)) {
        Tell("Opening filelist error", error);
        Exit(0);
    }
    if (flags.DeleteListFiles)
        RemoveListFile(targetList);
    if (flags.TreeLink)
        RunTreeLinkPass();

    SaveForResume(settings.resume != 0 ? 1 : 0);
    if (host.setTrayIcon)
        host.setTrayIcon(0);
    ctx.jobState = 1;
    if (flags.ShowProgressWindow && host.showProgressWindow)
        host.showProgressWindow();
    ctx.window.Send(msg::WMU_COMMAND, msg::kCmdParseDestinations, 0);
    ctx.window.Post(msg::WMU_COMMAND, msg::kCmdPrepare, 0);
    return Start::Running;
}

void JobSession::RunTreeLinkPass() {
    std::vector<std::string> sources;
    for (int i = 0; i < core.queue.Count(); ++i)
        sources.push_back(core.queue.EntryPath(i));
    const std::string report = TreeLinkPass(ctx, sources);
    if (!report.empty()) {
        if (console.Attached())
            console.Send(packet::kText, report);
        else if (host.showError)
            host.showError("NTFS linking error", report);
        else
            std::fprintf(stderr, "redodori: NTFS linking error: %s", report.c_str());
    }
    EndNow(0);
}

void JobSession::StartJobThread() {
    if (job_)
        return;
    job_ = std::make_unique<JobThread>(ctx);
    job_->Start();
}

void JobSession::EndNow(int code) {
    End(code);
    Exit(0);
}

void JobSession::End(int code) {
    if (endHost_.ending)
        return;
    for (int i = 0; i < core.queue.Count(); ++i)
        endHost_.sources.push_back(core.queue.EntryPath(i));
    endHost_.targetText = core.targetText;
    const JobCounters& c = ctx.state.counters;
    const std::string summary = text::Format(
        "%s %s: %u of %u files, %Lu of %Lu bytes, %u retries, %u skips", Outcome(settings.delmode),
        ctx.jobState == 2   ? "finished"
        : ctx.jobState == 1 ? "aborted"
                            : "ended",
        c.filesDone.load(), c.listedFiles.load(),
        static_cast<unsigned long long>(c.doneBytes.load()),
        static_cast<unsigned long long>(c.listedBytes.load()), c.retries.load(), c.skips.load());
    // A wrapper shows it on its terminal; stderr would break into the wrapper's progress line.
    if (console.Attached())
        console.Line(summary, true);
    else
        std::fprintf(stderr, "redodori: %s\n", summary.c_str());
    paths::MakePath(paths::UserDataDir());
    EndJob(ctx, endHost_, code);
}

}  // namespace rd
