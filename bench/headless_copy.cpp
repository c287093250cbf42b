// Runs one copy job through the engine without any window, for the benchmark:
//   redodori-bench-copy [--parallel] [--bufsz N] [--no-checks] [--manifest xxh128|sha256]
//                       SOURCE... -- DESTINATION...
// or only lists its sources as the job would before its first byte, and tells how long that took:
//   redodori-bench-copy --list-only SOURCE...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "engine/file_list_builder.h"
#include "engine/job.h"
#include "platform/sync.h"

namespace {

// No one watches: the sources come from the queue, failures are skipped and existing files
// kept, and the job's request to end is all the host waits for.
class BenchHost : public rd::JobHost, public rd::JobQuestions {
public:
    explicit BenchHost(rd::SourceQueue& queue) : queue_(queue) {}
    rd::AutoResetEvent ended;

    rd::SourceQueue::Next NextSource() override { return queue_.NextSource(); }
    void ShowFile(std::optional<std::string>) override {}
    void ShowStatus(const std::string&) override {}
    void ListComplete(uint64_t) override {}
    void OptionsLocked() override {}
    void Complete(rd::CompletionStep) override {}
    void RequestEnd(int) override { ended.Set(); }
    void UpdateFigures() override {}
    void ThreadEnded() override {}
    rd::ErrorAnswer AskError(const rd::ErrorFacts&) override { return rd::ErrorAnswer::Skip; }
    rd::ExistsAnswer AskExists(const rd::ExistsFacts&) override { return rd::ExistsAnswer::Skip; }
    rd::NamesAnswer AskNames(const rd::NamesFacts&) override { return rd::NamesAnswer::Skip; }

private:
    rd::SourceQueue& queue_;
};

int Usage() {
    std::fputs(
        "usage: redodori-bench-copy [--parallel] [--bufsz N] [--no-checks] "
        "[--manifest xxh128|sha256] SOURCE... -- DESTINATION...\n"
        "       redodori-bench-copy --list-only SOURCE...\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    rd::JobPolicy policy;
    std::vector<std::string> sources, destinations;
    bool afterSeparator = false;
    bool checks = true;
    bool listOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--parallel")) {
            policy.parallel = true;
        } else if (!std::strcmp(argv[i], "--bufsz") && i + 1 < argc) {
            policy.bufferSize = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--manifest") && i + 1 < argc) {
            const std::string kind = argv[++i];
            if (kind != "xxh128" && kind != "sha256")
                return Usage();
            policy.manifest =
                kind == "xxh128" ? rd::ManifestPolicy::Xxh128 : rd::ManifestPolicy::Sha256;
        } else if (!std::strcmp(argv[i], "--list-only")) {
            listOnly = true;
        } else if (!std::strcmp(argv[i], "--no-checks")) {
            checks = false;
        } else if (!std::strcmp(argv[i], "--")) {
            afterSeparator = true;
        } else {
            (afterSeparator ? destinations : sources).push_back(argv[i]);
        }
    }
    if (sources.empty() || (destinations.empty() && !listOnly))
        return Usage();

    rd::SourceQueue queue;
    for (const std::string& s : sources)
        queue.Add(s);
    BenchHost host(queue);
    rd::Job job(policy, host, queue);
    job.Context().questions = &host;
    if (listOnly) {
        const auto start = std::chrono::steady_clock::now();
        rd::FileListBuilder(job.Context()).RunIntake();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        const rd::JobCounters& c = job.Context().state.counters;
        std::printf("listed %u files, %llu bytes in %.1f ms, skips %u\n", c.listedFiles.load(),
                    static_cast<unsigned long long>(c.listedBytes.load()), took.count(),
                    c.skips.load());
        return c.skips == 0 ? 0 : 1;
    }
    job.Context().options.CheckDestinations = checks;
    job.Start(destinations);
    host.ended.Wait();
    job.Wait();
    const rd::JobCounters& c = job.Context().state.counters;
    std::fprintf(stderr, "files %u of %u, bytes %llu of %llu, skips %u\n", c.filesDone.load(),
                 c.listedFiles.load(), static_cast<unsigned long long>(c.doneBytes.load()),
                 static_cast<unsigned long long>(c.listedBytes.load()), c.skips.load());
    return c.skips == 0 && c.doneBytes == c.listedBytes ? 0 : 1;
}
