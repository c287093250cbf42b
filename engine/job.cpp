#include "engine/job.h"

#include <sys/stat.h>

#include <cstdio>

#include "engine/engine_context.h"
#include "engine/job_thread.h"

namespace rd {

UserNotice& StderrNotice() {
    class ToStderr : public UserNotice {
    public:
        void Show(NoticeIcon, const std::string& caption, const std::string& text) override {
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        }
    };
    static ToStderr notice;
    return notice;
}

Job::Job(JobPolicy& policy, JobHost& host, SourceQueue& queue)
    : ctx_(std::make_unique<EngineContext>(policy, host, queue)) {}

Job::~Job() {
    if (thread_) {
        RequestStop();
        Wait();
    }
    // The adder walks into the context, which goes next.
    ctx_->adder.Stop();
}

void Job::Start(std::optional<std::vector<std::string>> targets) {
    if (!thread_) {
        thread_ = std::make_unique<JobThread>(*ctx_);
        thread_->Start([this] {
            {
                std::lock_guard<std::mutex> lock(lock_);
                threadEnded_ = true;
            }
            threadLeft_.notify_all();
            ctx_->host.ThreadEnded();
        });
    }
    if (targets)
        SetDestinations(*targets);
}

void Job::SetDestinations(const std::vector<std::string>& targets) {
    ctx_->dests.ParseDestinations(targets, ctx_->Notice());
    // A job with something to copy has its folders at once; one whose sources are all missing
    // makes them only when a source that exists joins it.
    bool anySource = false;
    for (int i = 0; i < ctx_->queue.Count() && !anySource; ++i) {
        struct stat st {};
        anySource = ::lstat(ctx_->queue.EntryPath(i).c_str(), &st) == 0;
    }
    if (anySource)
        ctx_->dests.MakeRoots();
    ctx_->Prepare();
}

void Job::RequestStop() {
    ctx_->state.BeginEnd();
}

bool Job::WaitForThread(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(lock_);
    return !thread_ || threadLeft_.wait_for(lock, limit, [this] { return threadEnded_; });
}

JobResult Job::Wait() {
    if (thread_)
        thread_->Join();
    ctx_->adder.Stop();
    return ResultOf(*ctx_);
}

}  // namespace rd
