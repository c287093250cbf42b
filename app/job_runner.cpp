#include "app/job_runner.h"

#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "app/command_line.h"
#include "app/settings_reader.h"
#include "app/source_reader.h"
#include "engine/engine_context.h"
#include "engine/job_end.h"
#include "engine/job_thread.h"
#include "engine/messages.h"
#include "engine/move_delete_link.h"
#include "engine/prompts.h"
#include "engine/source_queue.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "platform/text.h"
#include "resume/resume_store.h"

namespace rd {

namespace {

// Stands in for the progress window: answers the engine's messages on the caller's thread, one
// at a time, and hands the end of the job to the main thread.
class PlainWindow : public WindowLink, public UserNotice {
public:
    SourceQueue queue;
    EngineContext* ctx = nullptr;
    std::string targetText;

    intptr_t Send(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
        std::lock_guard<std::mutex> window(windowLock_);
        switch (msg) {
            case msg::WMU_NEXTSOURCE: {
                AnswerNextSource(queue, wParam, lParam);
                return 0;
            }
            case msg::WMU_COMMAND:
                if (wParam == msg::kCmdParseDestinations) {
                    ctx->dests.ParseDestinations(targetText, *this);
                } else if (wParam == msg::kCmdPrepare) {
                    ctx->dests.CreateEvents();
                    ctx->state.flags.EngineReady = 1;
                }
                return 0;
            case msg::WMU_ERRORPROMPT:
            case msg::WMU_EXISTSPROMPT: {
                const char* text = reinterpret_cast<const char*>(lParam);
                std::fprintf(stderr, "redodori: %s\nredodori: no one to ask here: answered Skip\n",
                             text ? text : "");
                return msg == msg::WMU_ERRORPROMPT ? answer::kSkip : onexist::kSkip;
            }
            case msg::WMU_JOBSTATS:
                // Without a progress timer the copy time runs from the start of the copy.
                if (ctx->copyStartedAt)
                    ctx->state.counters.copyTime =
                        static_cast<uint32_t>(TickMs() - ctx->copyStartedAt);
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
        std::lock_guard<std::mutex> lock(endLock_);
        if (!ended_) {
            ended_ = true;
            endCode_ = static_cast<int>(lParam);
        }
        endCv_.notify_all();
    }

    void Show(NoticeIcon, const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "redodori: %s: %s\n", caption.c_str(), text.c_str());
    }

    int WaitForEnd() {
        std::unique_lock<std::mutex> lock(endLock_);
        endCv_.wait(lock, [this] { return ended_; });
        return endCode_;
    }

private:
    std::mutex windowLock_;
    std::mutex endLock_;
    std::condition_variable endCv_;
    bool ended_ = false;
    int endCode_ = 0;
};

std::string ProgramPath() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string("redodori");
}

const char* Outcome(int32_t mode) {
    return mode::IsDelete(mode) ? "Delete" : mode::IsMove(mode) ? "Move" : "Copy";
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
    host.historyPath = paths::UserDataDir() + "/history.txt";
    host.exit = [&store](int code) {
        store.Flush();
        std::fflush(nullptr);
        _exit(code);
    };
    auto endJob = [&](int code) {
        for (int i = 0; i < window.queue.Count(); ++i)
            host.sources.push_back(window.queue.EntryPath(i));
        host.targetText = window.targetText;
        const JobCounters& c = ctx.state.counters;
        std::fprintf(
            stderr, "redodori: %s %s: %u of %u files, %llu of %llu bytes, %u retries, %u skips\n",
            Outcome(settings.delmode), ctx.jobState == 2 ? "finished" : "ended", c.filesDone.load(),
            c.listedFiles.load(), static_cast<unsigned long long>(c.doneBytes.load()),
            static_cast<unsigned long long>(c.listedBytes.load()), c.retries.load(),
            c.skips.load());
        paths::MakePath(paths::UserDataDir());
        EndJob(ctx, host, code);
    };

    if (fields.source.empty()) {
        endJob(0);
        return 0;
    }
    std::string error;
    if (!ReadSources(fields.source, flags, window.queue, error)) {
        std::fprintf(stderr, "redodori: %s\n", error.c_str());
        endJob(0);
        return 0;
    }
    ExpandWildcards(window.queue);
    if (flags.SourceIsListFile && flags.DeleteListFiles)
        fs::RemoveFile(fields.source);

    if (fields.target.empty() && !mode::IsDelete(settings.delmode)) {
        std::fputs("redodori: the destination chooser is not available yet: give a destination\n",
                   stderr);
        return 0;
    }
    if (!ReadTargets(fields.target, flags, flags.DeleteListFiles, window.targetText, error)) {
        std::fprintf(stderr, "redodori: %s\n", error.c_str());
        return 0;
    }
    if (flags.TreeLink) {
        std::vector<std::string> sources;
        for (int i = 0; i < window.queue.Count(); ++i)
            sources.push_back(window.queue.EntryPath(i));
        const std::string report = TreeLinkPass(ctx, sources);
        if (!report.empty())
            std::fprintf(stderr, "redodori: NTFS linking error: %s", report.c_str());
        endJob(0);
        return 0;
    }

    WriteResumeRecord(store, resumeJob(), settings.resume != 0 ? 1 : 0);
    JobThread job(ctx);
    job.Start();
    ctx.jobState = 1;
    window.Send(msg::WMU_COMMAND, msg::kCmdParseDestinations, 0);
    window.Send(msg::WMU_COMMAND, msg::kCmdPrepare, 0);
    const int code = window.WaitForEnd();
    endJob(code);
    job.Join();
    return 0;
}

}  // namespace rd
