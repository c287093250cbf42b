// A stand-in for the program around a job and for the console wrapper in engine tests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_context.h"
#include "engine/job.h"
#include "engine/source_queue.h"
#include "engine/user_notice.h"

namespace rd::test {

// A message box the engine asked for.
struct NoticeRecord {
    NoticeIcon icon;
    std::string caption;
    std::string text;
};

// Records message boxes instead of showing them.
class RecordingNotice : public UserNotice {
public:
    void Show(NoticeIcon icon, const std::string& caption, const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        notices_.push_back({icon, caption, text});
    }
    std::vector<NoticeRecord> Notices() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return notices_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<NoticeRecord> notices_;
};

// Stands in for the program around a job: it feeds the queued sources, records everything the
// job reports in one ordered log, and answers every question with the preset answer, recording
// it with the question's facts.
class TestHost : public JobHost, public JobQuestions {
public:
    // One thing the job told or asked the host, in the order it happened.
    struct Call {
        // "NextSource", "ShowFile", "ShowStatus", "ListComplete", "OptionsLocked",
        // "Complete", "RequestEnd", "UpdateFigures" or "ThreadEnded".
        std::string what;
        // The text of ShowFile (none: "-") and ShowStatus, the path NextSource gave.
        std::string text;
        // The code of RequestEnd, the step of Complete (0 countdown, 1 question), the total of
        // ListComplete.
        int64_t value = 0;
    };
    struct PromptRecord {
        // An existing-file question, else an error question.
        bool aboutExisting = false;
        ErrorFacts error;
        ExistsFacts exists;
        ErrorAnswer errorAnswer = ErrorAnswer::Skip;
        ExistsAnswer existsAnswer = ExistsAnswer::Skip;
    };
    using ErrorAnswerer = std::function<ErrorAnswer(const PromptRecord&)>;
    using ExistsAnswerer = std::function<ExistsAnswer(const PromptRecord&)>;

    // The job's source queue, as the queue window holds it.
    SourceQueue queue;
    // The engine the host serves, for doubles that act on it; set by such a test.
    EngineContext* ctx = nullptr;
    // Records the warning boxes of the destinations' parsing.
    RecordingNotice notice;
    // Runs after each request that waits for the host ("ListComplete", "OptionsLocked"), with
    // its name: a place to act between the steps of the job.
    std::function<void(const std::string&)> afterStep;

    // Answers later questions; unset answers Skip.
    void SetErrorAnswer(ErrorAnswerer answer) {
        std::lock_guard<std::mutex> lock(windowMutex_);
        errorAnswer_ = std::move(answer);
    }
    void SetExistsAnswer(ExistsAnswerer answer) {
        std::lock_guard<std::mutex> lock(windowMutex_);
        existsAnswer_ = std::move(answer);
    }

    SourceQueue::Next NextSource() override {
        std::lock_guard<std::mutex> window(windowMutex_);
        SourceQueue::Next next = queue.NextSource();
        Record({"NextSource", next.path, 0});
        return next;
    }
    void ShowFile(std::optional<std::string> name) override {
        Record({"ShowFile", name ? *name : "-", 0});
    }
    void ShowStatus(const std::string& text) override { Record({"ShowStatus", text, 0}); }
    void ListComplete(uint64_t totalBytes) override {
        Step({"ListComplete", "", static_cast<int64_t>(totalBytes)});
    }
    void OptionsLocked() override { Step({"OptionsLocked", "", 0}); }
    void Complete(CompletionStep step) override {
        Step({"Complete", "", step == CompletionStep::Question ? 1 : 0});
    }
    void UpdateFigures() override {
        if (figures)
            figures();
        Step({"UpdateFigures", "", 0});
    }
    void RequestEnd(int code) override {
        {
            std::lock_guard<std::mutex> lock(recordMutex_);
            calls_.push_back({"RequestEnd", "", code});
            if (!ended_) {
                ended_ = true;
                endCode_ = code;
            }
        }
        endCv_.notify_all();
        if (afterEndRequest)
            afterEndRequest();
    }
    void ThreadEnded() override { Record({"ThreadEnded", "", 0}); }
    // What UpdateFigures does besides recording the call.
    std::function<void()> figures;
    // Runs in RequestEnd once the request is known: the asking thread is still in the call.
    std::function<void()> afterEndRequest;

    ErrorAnswer AskError(const ErrorFacts& facts) override {
        PromptRecord record{false, facts, {}};
        std::lock_guard<std::mutex> window(windowMutex_);
        record.errorAnswer = errorAnswer_ ? errorAnswer_(record) : ErrorAnswer::Skip;
        Keep(record);
        return record.errorAnswer;
    }
    ExistsAnswer AskExists(const ExistsFacts& facts) override {
        PromptRecord record{true, {}, facts};
        std::lock_guard<std::mutex> window(windowMutex_);
        record.existsAnswer = existsAnswer_ ? existsAnswer_(record) : ExistsAnswer::Skip;
        Keep(record);
        return record.existsAnswer;
    }

    // The whole-job question about what the destinations cannot take: each one is kept, and
    // answered by `namesAnswer` (Skip when unset).
    NamesAnswer AskNames(const NamesFacts& facts) override {
        std::lock_guard<std::mutex> window(windowMutex_);
        namesAsked.push_back(facts);
        return namesAnswer ? namesAnswer(facts) : NamesAnswer::Skip;
    }
    std::function<NamesAnswer(const NamesFacts&)> namesAnswer;
    std::vector<NamesFacts> namesAsked;

    // Waits until the job asked to end; false when `timeout` ran out first.
    bool WaitForEnd(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(recordMutex_);
        return endCv_.wait_for(lock, timeout, [this] { return ended_; });
    }
    bool Ended() const {
        std::lock_guard<std::mutex> lock(recordMutex_);
        return ended_;
    }
    // The code of the first end request.
    int64_t EndCode() const {
        std::lock_guard<std::mutex> lock(recordMutex_);
        return endCode_;
    }

    std::vector<Call> Calls() const {
        std::lock_guard<std::mutex> lock(recordMutex_);
        return calls_;
    }
    // The names of the calls, in order; only those named `what` when it is given.
    std::vector<std::string> Steps(const std::string& what = "") const {
        std::vector<std::string> out;
        for (const Call& call : Calls())
            if (what.empty() || call.what == what)
                out.push_back(call.what);
        return out;
    }
    // The texts given with the calls named `what`, in order.
    std::vector<std::string> Texts(const std::string& what) const {
        std::vector<std::string> out;
        for (const Call& call : Calls())
            if (call.what == what)
                out.push_back(call.text);
        return out;
    }
    std::vector<PromptRecord> Prompts() const {
        std::lock_guard<std::mutex> lock(recordMutex_);
        return prompts_;
    }

private:
    void Record(Call call) {
        std::lock_guard<std::mutex> lock(recordMutex_);
        calls_.push_back(std::move(call));
    }
    // A request the job waits for: handled one at a time, as on the single window thread.
    void Step(Call call) {
        std::lock_guard<std::mutex> window(windowMutex_);
        const std::string what = call.what;
        Record(std::move(call));
        if (afterStep)
            afterStep(what);
    }
    void Keep(const PromptRecord& record) {
        std::lock_guard<std::mutex> lock(recordMutex_);
        prompts_.push_back(record);
    }

    // Serialises the requests; held while a question is being answered.
    std::mutex windowMutex_;
    // Guards the records only, so that they can be read while a request is handled.
    mutable std::mutex recordMutex_;
    std::condition_variable endCv_;
    ErrorAnswerer errorAnswer_;
    ExistsAnswerer existsAnswer_;
    std::vector<Call> calls_;
    std::vector<PromptRecord> prompts_;
    bool ended_ = false;
    int64_t endCode_ = 0;
};

// A console wrapper channel that records its lines.
class TestConsole : public ConsoleSink {
public:
    struct LineRecord {
        std::string text;
        bool newLine;
    };

    bool Attached() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return attached_;
    }
    void SetAttached(bool attached) {
        std::lock_guard<std::mutex> lock(mutex_);
        attached_ = attached;
    }
    void Line(const std::string& text, bool newLine) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back({text, newLine});
    }
    std::vector<LineRecord> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    bool attached_ = true;
    std::vector<LineRecord> lines_;
};

}  // namespace rd::test
