// Runs one copy job through the engine without any window, for the benchmark:
//   redodori-bench-copy [--parallel] [--bufsz N] SOURCE... -- DESTINATION...
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "engine/job_thread.h"
#include "engine/messages.h"
#include "engine/source_queue.h"
#include "platform/sync.h"

namespace {

// Plays the progress window: hands out the queued sources and prepares the destinations.
class DirectWindow : public rd::WindowLink, public rd::UserNotice, public rd::JobQuestions {
public:
    rd::SourceQueue queue;
    rd::EngineContext* ctx = nullptr;
    std::vector<std::string> targets;
    rd::AutoResetEvent ended;

    intptr_t Send(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
        if (msg == rd::msg::WMU_NEXTSOURCE) {
            rd::AnswerNextSource(queue, wParam, lParam);
        } else if (msg == rd::msg::WMU_COMMAND && wParam == rd::msg::kCmdParseDestinations) {
            ctx->dests.ParseDestinations(targets, *this);
        } else if (msg == rd::msg::WMU_COMMAND && wParam == rd::msg::kCmdPrepare) {
            ctx->Prepare();
        }
        return 0;
    }
    void Post(uint32_t msg, uintptr_t, intptr_t) override {
        if (msg == rd::msg::WMU_ENDJOB)
            ended.Set();
    }
    // No one is there to answer: failures are skipped and existing files kept.
    rd::ErrorAnswer AskError(const rd::ErrorFacts&) override { return rd::ErrorAnswer::Skip; }
    rd::ExistsAnswer AskExists(const rd::ExistsFacts&) override { return rd::ExistsAnswer::Skip; }
    void Show(rd::NoticeIcon, const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
};

int Usage() {
    std::fputs("usage: redodori-bench-copy [--parallel] [--bufsz N] SOURCE... -- DESTINATION...\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    rd::JobSettings settings;
    DirectWindow window;
    std::vector<std::string> sources, destinations;
    bool afterSeparator = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--parallel")) {
            settings.parcopy = 1;
        } else if (!std::strcmp(argv[i], "--bufsz") && i + 1 < argc) {
            settings.bufsz = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--")) {
            afterSeparator = true;
        } else {
            (afterSeparator ? destinations : sources).push_back(argv[i]);
        }
    }
    if (sources.empty() || destinations.empty())
        return Usage();
    for (const std::string& s : sources)
        window.queue.Add(s);
    window.targets = destinations;

    rd::EngineContext ctx(settings, window, window.queue);
    window.ctx = &ctx;
    ctx.questions = &window;
    rd::JobThread job(ctx);
    job.Start();
    window.Send(rd::msg::WMU_COMMAND, rd::msg::kCmdParseDestinations, 0);
    window.Send(rd::msg::WMU_COMMAND, rd::msg::kCmdPrepare, 0);
    window.ended.Wait();
    job.Join();
    const rd::JobCounters& c = ctx.state.counters;
    std::fprintf(stderr, "files %u of %u, bytes %llu of %llu, skips %u\n", c.filesDone.load(),
                 c.listedFiles.load(), static_cast<unsigned long long>(c.doneBytes.load()),
                 static_cast<unsigned long long>(c.listedBytes.load()), c.skips.load());
    return c.skips == 0 && c.doneBytes == c.listedBytes ? 0 : 1;
}
