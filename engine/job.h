// The engine's whole contract with the program that runs a job, and the job itself.
//
// A host (the progress window, the benchmark, a test) gives a job its policy (JobPolicy, which
// the host may change while the job runs), its sources (SourceFeed),
// and its destinations; it shows what the job reports (JobProgress), answers its questions
// (JobQuestions: facts in, an enum out), hears how each node ended that did not end well
// (OutcomeSink, which the context's outcomeSink names besides the job's own log) and settles
// the job's end (JobEnding). Nothing of the engine knows who does.
//
//     rd::JobPolicy policy;                // overwrite, verify, buffers, ...
//     rd::SourceQueue sources;
//     sources.Add("/photos");
//     MyHost host(sources);                // implements JobHost, feeding from `sources`
//     rd::Job job(policy, host, sources);
//     job.Start({"/media/stick/"});        // lists, parses the destinations, copies
//     host.WaitForEndRequest();            // the job asks to end once it is done
//     rd::JobResult result = job.Wait();   // every thread the job started has ended
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/job_policy.h"
#include "engine/job_result.h"
#include "engine/outcome.h"
#include "engine/questions.h"
#include "engine/source_queue.h"
#include "engine/user_notice.h"

namespace rd {

struct EngineContext;
class JobThread;

// Where the job's sources come from. Called on the job thread only.
class SourceFeed {
public:
    virtual ~SourceFeed() = default;
    // The next source to walk, with its path as queued; a null entry and an empty path when
    // none is waiting, which completes the job's list.
    virtual SourceQueue::Next NextSource() = 0;
};

// What the job reports while it runs. Called on the job's threads.
class JobProgress {
public:
    virtual ~JobProgress() = default;
    // The name to show as the file the job is at: while listing, the item being walked; none
    // gives the display back to the source the reader copies. Returns at once.
    virtual void ShowFile(std::optional<std::string> name) = 0;
    // A status text (the listed total while the list is made). Returns at once.
    virtual void ShowStatus(const std::string& text) = 0;
    // The list is complete and holds `totalBytes`; returns once the host has taken it in.
    virtual void ListComplete(uint64_t totalBytes) = 0;
    // The copy starts: the policy's copy options cannot change from now on.
    virtual void OptionsLocked() = 0;
};

// The steps that follow a finished copy, as the user's settings ask for them.
enum class CompletionStep { ShutdownCountdown, Question };

// The job's end, as the host settles it.
class JobEnding {
public:
    virtual ~JobEnding() = default;
    // Runs a completion step; returns once the question was answered or the countdown started.
    virtual void Complete(CompletionStep step) = 0;
    // The job asks to end: 0 forget it, 2 keep it for resume. Returns at once; the first
    // request decides.
    virtual void RequestEnd(int code) = 0;
    // The host brings the job's figures (the copy time) up to date for its history line.
    virtual void UpdateFigures() = 0;
    // The job's own thread leaves, its writers ended before it: the last call the job makes
    // from it. From now on Wait returns at once.
    virtual void ThreadEnded() = 0;
};

class JobHost : public SourceFeed, public JobProgress, public JobEnding {};

// Lines for an attached console wrapper; does nothing when none is attached.
class ConsoleSink {
public:
    virtual ~ConsoleSink() = default;
    virtual bool Attached() const = 0;
    // A line of at most 79 characters; with `newLine` it stays, without it the next one
    // overwrites it.
    virtual void Line(const std::string& text, bool newLine) = 0;
};

// One job: its engine, its job thread with the writers, and the source adder. Made and ended on
// one thread; what the job reports arrives on its own threads through the host.
class Job {
public:
    // `queue` holds the job's sources as the host shows them; the host feeds them from it.
    Job(JobPolicy& policy, JobHost& host, SourceQueue& queue);
    // Stops the job if it still runs and waits for its threads.
    ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Starts the job: the job thread walks the sources the host feeds and, with `targets`
    // given, parses the destinations (warnings through the context's notice) and copies once
    // the list allows. Without targets it lists and waits for SetDestinations.
    void Start(std::optional<std::vector<std::string>> targets = std::nullopt);
    // The destinations, each as given, for a job started without them.
    void SetDestinations(const std::vector<std::string>& targets);
    // Asks every thread of the job to stop at its next check; returns at once.
    void RequestStop();
    // Waits until the job thread, its writers and the source adder have ended, then tells how
    // the job went. A job never started returns at once.
    JobResult Wait();
    // Waits at most `limit` for the job's own thread to leave; false when it is still there
    // (stuck in a call that does not return). True for a job never started.
    bool WaitForThread(std::chrono::milliseconds limit);
    bool Started() const { return thread_ != nullptr; }

    EngineContext& Context() { return *ctx_; }

private:
    std::unique_ptr<EngineContext> ctx_;
    std::unique_ptr<JobThread> thread_;
    std::mutex lock_;
    std::condition_variable threadLeft_;
    bool threadEnded_ = false;
};

}  // namespace rd
