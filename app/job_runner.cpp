#include "app/job_runner.h"

#include <poll.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>

#include "app/command_line.h"
#include "app/console_channel.h"
#include "app/console_prompts.h"
#include "app/progress_texts.h"
#include "app/settings_reader.h"
#include "app/settings_summary.h"
#include "app/source_reader.h"
#include "engine/engine_context.h"
#include "engine/file_list_builder.h"
#include "engine/job_end.h"
#include "engine/job_thread.h"
#include "engine/messages.h"
#include "engine/move_delete_link.h"
#include "engine/prompts.h"
#include "engine/source_queue.h"
#include "platform/bus.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "platform/text.h"
#include "resume/resume_store.h"

namespace rd {

namespace {

constexpr const char* kWindowClass = "TRedoDoriWnd";

// A question an engine thread waits on.
struct Question {
    uint32_t msg = 0;
    uintptr_t flags = 0;
    std::string text;
    bool answered = false;
    intptr_t answer = 0;
};

// Stands in for the progress window: its message handling, with the calling thread of Run() as
// the window thread. Engine threads' questions wait for that thread, which keeps serving the
// console wrapper, the controls and hand-offs meanwhile.
class PlainWindow : public WindowLink, public UserNotice {
public:
    SourceQueue queue;
    EngineContext* ctx = nullptr;
    ConsoleChannel* console = nullptr;
    std::string targetText;
    std::unique_ptr<bus::Endpoint> endpoint;

    PlainWindow() {
        if (pipe(wake_) != 0)
            wake_[0] = wake_[1] = -1;
    }
    ~PlainWindow() override {
        for (int fd : wake_)
            if (fd >= 0)
                close(fd);
    }

    intptr_t Send(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
        if (msg == msg::WMU_ERRORPROMPT || msg == msg::WMU_EXISTSPROMPT)
            return Ask(msg, wParam, reinterpret_cast<const char*>(lParam));
        std::lock_guard<std::mutex> window(windowLock_);
        switch (msg) {
            case msg::WMU_NEXTSOURCE:
                AnswerNextSource(queue, wParam, lParam);
                intakeDone_ = reinterpret_cast<std::string*>(lParam)->empty();
                return 0;
            case msg::WMU_COMMAND:
                if (wParam == msg::kCmdParseDestinations) {
                    ctx->dests.ParseDestinations(targetText, *this);
                } else if (wParam == msg::kCmdPrepare) {
                    ctx->dests.CreateEvents();
                    ctx->state.flags.EngineReady = 1;
                }
                return 0;
            case msg::WMU_COMPLETE:
                if (lParam == 0)
                    std::fputs(
                        "redodori: the shutdown countdown needs the window; the system "
                        "is not shut down\n",
                        stderr);
                return 0;
            default: return 0;
        }
    }

    void Post(uint32_t msg, uintptr_t, intptr_t lParam) override {
        if (msg != msg::WMU_ENDJOB)
            return;
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (!endRequested_) {
                endRequested_ = true;
                endCode_ = static_cast<int>(lParam);
            }
        }
        Wake();
    }

    void Show(NoticeIcon, const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "redodori: %s: %s\n", caption.c_str(), text.c_str());
        if (console)
            console->Line(caption + ": " + text, true);
    }

    // Serves the job until its end is asked for; returns the end code.
    int Run() {
        uint64_t nextTick = TickMs(), nextBeat = TickMs();
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(lock_);
                if (endRequested_)
                    return endCode_;
            }
            const uint64_t now = TickMs();
            if (now >= nextTick) {
                Tick();
                nextTick = now + 500;
            }
            if (console && now >= nextBeat) {
                console->Send(packet::kHeartbeat, "");
                nextBeat = now + 1000;
            }
            OpenNextQuestion();
            const uint64_t deadline = console ? std::min(nextTick, nextBeat) : nextTick;
            pollfd fds[2] = {{wake_[0], POLLIN, 0}, {endpoint ? endpoint->Fd() : -1, POLLIN, 0}};
            poll(fds, 2, deadline > now ? static_cast<int>(deadline - now) : 0);
            if (fds[0].revents & POLLIN) {
                char drain[64];
                [[maybe_unused]] ssize_t ignored = read(wake_[0], drain, sizeof drain);
            }
            ServePackets();
        }
    }

    // While the end waits for the writers, questions and the wrapper are still served.
    void Pump() {
        OpenNextQuestion();
        ServePackets();
    }

private:
    void Wake() {
        if (wake_[1] >= 0) {
            [[maybe_unused]] ssize_t ignored = write(wake_[1], "w", 1);
        }
    }

    intptr_t Ask(uint32_t msg, uintptr_t flags, const char* text) {
        if (!console || !console->Attached()) {
            std::fprintf(stderr, "redodori: %s\nredodori: no one to ask here: answered Skip\n",
                         text ? text : "");
            return msg == msg::WMU_ERRORPROMPT ? answer::kSkip : onexist::kSkip;
        }
        auto question = std::make_shared<Question>();
        question->msg = msg;
        question->flags = flags;
        question->text = text ? text : "";
        std::unique_lock<std::mutex> lock(lock_);
        questions_.push_back(question);
        Wake();
        answeredCv_.wait(lock, [&] { return question->answered; });
        return question->answer;
    }

    // One question at a time, in the order they came.
    void OpenNextQuestion() {
        std::shared_ptr<Question> q;
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (open_ || questions_.empty())
                return;
            q = open_ = questions_.front();
            questions_.pop_front();
            openedAt_ = TickMs();
        }
        console->Send(packet::kText,
                      q->msg == msg::WMU_ERRORPROMPT
                          ? ErrorPromptListing(q->text, q->flags & promptflag::kHealAllowed)
                          : ExistsPromptListing(q->text, q->flags));
        console->Send(packet::kPromptHandle, std::to_string(endpoint ? endpoint->Id() : 0));
    }

    void Key(char typed) {
        std::shared_ptr<Question> q;
        {
            std::lock_guard<std::mutex> lock(lock_);
            q = open_;
        }
        if (!q)
            return;
        const bool error = q->msg == msg::WMU_ERRORPROMPT;
        const PromptKey key = error ? ErrorPromptKey(typed, q->flags & promptflag::kHealAllowed,
                                                     q->flags & promptflag::kAbortReturns)
                                    : ExistsPromptKey(typed, q->flags);
        console->Send(packet::kText, key.echo);
        if (key.endJob) {
            Post(msg::WMU_ENDJOB, 0, key.endCode);
            return;
        }
        if (!key.answered) {
            console->Send(packet::kPromptHandle, std::to_string(endpoint->Id()));
            return;
        }
        if (key.newPolicy >= 0) {
            if (error)
                ctx->settings.onerror = key.newPolicy;
            else
                ctx->settings.onexist = key.newPolicy;
        }
        std::lock_guard<std::mutex> lock(lock_);
        // The time the question was open is not copy time.
        pausedMs_ += TickMs() - openedAt_;
        q->answer = key.answer;
        q->answered = true;
        open_.reset();
        answeredCv_.notify_all();
    }

    void ServePackets() {
        if (!endpoint)
            return;
        bus::Packet p;
        while (endpoint->Receive(p)) {
            if (p.msg == msg::WMU_CONTROL)
                Control(p.lParam);
            else if (p.msg == msg::WMU_COMMAND && p.wParam == 2)
                Key(static_cast<char>(p.lParam));
            else if (p.msg == msg::WMU_HANDOFF)
                HandOff(p);
        }
    }

    void Control(int64_t what) {
        JobFlagsState& flags = ctx->state.flags;
        if (what == 1) {
            Post(msg::WMU_ENDJOB, 0, 0);
        } else if (what == 2) {
            flags.SkipFile = 1;
            if (console)
                console->Send(packet::kText, "***File skipped***\r\n");
        } else if (what == 3) {
            const bool pause = !flags.Paused;
            flags.Paused = pause ? 1 : 0;
            if (console)
                console->Send(packet::kText, pause ? "***Paused***\r" : "***Resumed***\r");
        }
    }

    // A source handed over by a second job, eight bytes at a time; a chunk whose eighth byte
    // is zero ends the path.
    void HandOff(const bus::Packet& p) {
        std::string bytes;
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<char>((p.wParam >> shift) & 0xFF));
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<char>((static_cast<uint64_t>(p.lParam) >> shift) & 0xFF));
        handoffText_ += bytes.substr(0, bytes.find('\0'));
        if (bytes[7] != '\0')
            return;
        const std::string source = handoffText_;
        handoffText_.clear();
        if (source.empty())
            return;
        {
            // While the list is still being built, the intake takes the source from the queue
            // itself; walking it here too would list it twice.
            std::lock_guard<std::mutex> window(windowLock_);
            if (!intakeDone_) {
                queue.Add(source);
                return;
            }
        }
        FileListBuilder(*ctx).AddSource(nullptr, source);
    }

    void Tick() {
        JobCounters& c = ctx->state.counters;
        const uint64_t now = TickMs();
        if (ctx->copyStartedAt && ctx->jobState == 1) {
            if (!lastTick_)
                lastTick_ = ctx->copyStartedAt;
            uint64_t add = now - lastTick_;
            {
                std::lock_guard<std::mutex> lock(lock_);
                add = add > pausedMs_ ? add - pausedMs_ : 0;
                pausedMs_ = 0;
                if (open_)
                    add = 0;
            }
            if (!ctx->state.flags.Paused)
                c.copyTime += static_cast<uint32_t>(add);
            lastTick_ = now;
        }
        if (!console || !console->Attached())
            return;
        const std::string current = ctx->state.CurrentSource();
        if (current != shownFile_) {
            shownFile_ = current;
            console->Line("File: " + current, true);
        }
        const std::string status = ConsoleStatusLine(*ctx, TickTexts(*ctx, false));
        console->Line(status, false);
    }

    std::mutex windowLock_;
    std::mutex lock_;
    std::condition_variable answeredCv_;
    std::deque<std::shared_ptr<Question>> questions_;
    std::shared_ptr<Question> open_;
    uint64_t openedAt_ = 0;
    uint64_t pausedMs_ = 0;
    uint64_t lastTick_ = 0;
    bool endRequested_ = false;
    // The intake has asked for a source and found none: the list is complete.
    bool intakeDone_ = false;
    int endCode_ = 0;
    int wake_[2] = {-1, -1};
    std::string shownFile_;
    std::string handoffText_;
};

std::string ProgramPath() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string("redodori");
}

const char* Outcome(int32_t mode) {
    return mode::IsDelete(mode) ? "Delete" : mode::IsMove(mode) ? "Move" : "Copy";
}

// Sends every queued source to the running job's window, eight bytes at a time.
void HandOver(uint32_t window, const SourceQueue& queue) {
    for (int i = 0; i < queue.Count(); ++i) {
        std::string bytes = queue.EntryPath(i);
        bytes.push_back('\0');
        while (bytes.size() % 8)
            bytes.push_back('\0');
        for (size_t at = 0; at < bytes.size(); at += 8) {
            uint64_t w = 0, l = 0;
            for (size_t k = 0; k < 4; ++k) {
                w = (w << 8) | static_cast<uint8_t>(bytes[at + k]);
                l = (l << 8) | static_cast<uint8_t>(bytes[at + 4 + k]);
            }
            bus::PostToWindow(kWindowClass, window, {msg::WMU_HANDOFF, w, static_cast<int64_t>(l)});
        }
    }
}

}  // namespace

int RunJobWithoutWindows(const std::string& line, Store& store) {
    if (!HoldsJob(line)) {
        std::fputs(
            "redodori: the settings dialog is not available in this build; "
            "redodori-reg edits the settings\n",
            stderr);
        return 0;
    }
    JobSettings settings;
    settings.profile = ScanProfile(line).value_or("local");
    ReadAllSettings(store, settings, static_cast<uint32_t>(std::time(nullptr)));
    JobFlags flags;
    ResetJobState(settings, flags);
    const LineFields fields = SplitFields(line);
    ApplySwitches(fields.switches, settings, flags);

    PlainWindow window;
    EngineContext ctx(settings, window, window.queue);
    window.ctx = &ctx;
    ctx.notice = &window;
    ctx.options.KeepFileTimes = flags.KeepFileTimes;
    ctx.options.PerFileLink = flags.PerFileLink;
    ctx.options.switches = fields.switches;
    ctx.state.flags.Paused = flags.StartPaused ? 1 : 0;
    const std::string language = paths::FindDataFile(settings.InstallPath, settings.Lngname);
    if (!language.empty())
        ctx.messages.Load(language);

    const uint32_t wrapper = flags.ConsoleThreadId;
    ConsoleChannel console(wrapper, [wrapper](const Chunk& chunk) {
        bus::PostToThread(wrapper, {msg::WMU_COMMAND, chunk.first, chunk.second});
    });
    window.console = &console;
    ctx.console = &console;
    auto tellWrapper = [wrapper](int status) {
        if (wrapper)
            bus::PostToThread(wrapper, {msg::WM_QUIT, 0, status});
    };

    std::string error;
    if (bus::PrepareRuntimeDir(error))
        window.endpoint = bus::Endpoint::CreateWindow(kWindowClass, error);
    if (!window.endpoint)
        std::fprintf(stderr, "%s\n", error.c_str());
    if (console.Attached()) {
        console.Send(packet::kWindowHandle,
                     std::to_string(window.endpoint ? window.endpoint->Id() : 0));
        console.Send(packet::kText, SettingsSummary(settings));
    }

    // The job as its resume record keeps it; the sources are those queued when it is written.
    auto resumeJob = [&] {
        ResumeJob job;
        job.slot = settings.resumeSlot;
        job.programPath = ProgramPath();
        for (int i = 0; i < window.queue.Count(); ++i)
            job.sources.push_back(window.queue.EntryPath(i));
        job.targetText = window.targetText;
        job.onerror = settings.onerror;
        job.modeWord = settings.delmode;
        job.profile = settings.profile;
        return job;
    };

    EndJobHost host;
    host.settleResume = [&](int code) { WriteResumeRecord(store, resumeJob(), code == 0 ? 0 : 2); };
    host.pumpMessages = [&] { window.Pump(); };
    host.tellConsole = tellWrapper;
    host.historyPath = paths::UserDataDir() + "/history.txt";
    host.exit = [&store, &window](int code) {
        window.endpoint.reset();
        store.Flush();
        std::fflush(nullptr);
        _exit(code);
    };
    auto endJob = [&](int code) {
        for (int i = 0; i < window.queue.Count(); ++i)
            host.sources.push_back(window.queue.EntryPath(i));
        host.targetText = window.targetText;
        const JobCounters& c = ctx.state.counters;
        std::fprintf(stderr,
                     "redodori: %s %s: %u of %u files, %llu of %llu bytes, %u retries, %u skips\n",
                     Outcome(settings.delmode),
                     ctx.jobState == 2   ? "finished"
                     : ctx.jobState == 1 ? "aborted"
                                         : "ended",
                     c.filesDone.load(), c.listedFiles.load(),
                     static_cast<unsigned long long>(c.doneBytes.load()),
                     static_cast<unsigned long long>(c.listedBytes.load()), c.retries.load(),
                     c.skips.load());
        paths::MakePath(paths::UserDataDir());
        EndJob(ctx, host, code);
    };
    // A message for the user: a console line when a wrapper listens, else stderr.
    auto tell = [&](const std::string& text) {
        if (console.Attached())
            console.Line(text, true);
        else
            std::fprintf(stderr, "redodori: %s\n", text.c_str());
    };

    if (fields.source.empty()) {
        endJob(0);
        return 0;
    }
    if (!ReadSources(fields.source, flags, window.queue, error)) {
        tell(error);
        endJob(0);
        return 0;
    }
    ExpandWildcards(window.queue);

    if (flags.AttachToRunning) {
        if (uint32_t running = bus::FindWindow(kWindowClass)) {
            HandOver(running, window.queue);
            if (console.Attached())
                console.Send(packet::kText, "Job attached to another RedoDori session\r\n");
            else
                std::fputs("redodori: Job attached to another RedoDori session\n", stderr);
            tellWrapper(2);
            if (flags.SourceIsListFile && flags.DeleteListFiles)
                fs::RemoveFile(fields.source);
            std::fflush(nullptr);
            _exit(0);
        }
    }
    bus::JobMarker marker;
    if (!(flags.WaitForOtherJobs ? marker.WaitForOthers(error) : marker.Hold(error)))
        std::fprintf(stderr, "%s\n", error.c_str());

    if (flags.SourceIsListFile && flags.DeleteListFiles)
        fs::RemoveFile(fields.source);

    if (fields.target.empty() && !mode::IsDelete(settings.delmode)) {
        tell("the destination chooser is not available yet: give a destination");
        tellWrapper(0);
        return 0;
    }
    if (!ReadTargets(fields.target, flags, flags.DeleteListFiles, window.targetText, error)) {
        tell(error);
        std::fflush(nullptr);
        _exit(0);
    }
    if (flags.TreeLink) {
        std::vector<std::string> sources;
        for (int i = 0; i < window.queue.Count(); ++i)
            sources.push_back(window.queue.EntryPath(i));
        const std::string report = TreeLinkPass(ctx, sources);
        if (!report.empty()) {
            if (console.Attached())
                console.Send(packet::kText, report);
            else
                std::fprintf(stderr, "redodori: NTFS linking error: %s", report.c_str());
        }
        endJob(0);
        return 0;
    }

    WriteResumeRecord(store, resumeJob(), settings.resume != 0 ? 1 : 0);
    JobThread job(ctx);
    job.Start();
    ctx.jobState = 1;
    window.Send(msg::WMU_COMMAND, msg::kCmdParseDestinations, 0);
    window.Send(msg::WMU_COMMAND, msg::kCmdPrepare, 0);
    const int code = window.Run();
    endJob(code);
    job.Join();
    return 0;
}

}  // namespace rd
