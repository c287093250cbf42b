// The progress window's message handling without its widgets: the engine's messages, the
// questions, the console wrapper's controls and keys, hand-offs, pause and the tick's counters.
// The window that hosts it runs every call on its own thread, except where a call says
// otherwise.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/console_prompts.h"
#include "app/handoff.h"
#include "app/job_control.h"
#include "app/progress_texts.h"
#include "app/progress_view.h"
#include "engine/job.h"
#include "engine/questions.h"
#include "engine/source_queue.h"
#include "engine/user_notice.h"
#include "engine/vn_buffer.h"

namespace rd {

class ConsoleChannel;
struct EngineContext;
namespace bus {
struct Packet;
class Endpoint;
}  // namespace bus

// The buffer-allocation question's text; this process asks it of itself.
inline constexpr const char* kAllocationText =
    "Failed to allocate neccesary amount of memory for buffer";

enum class QuestionKind { Error, Exists, Names, Allocation };

// The notification-area images shown while the error or the existing-file question is open;
// the names question shows the existing-file image.
inline constexpr int kErrorTrayImage = 15;
inline constexpr int kExistsTrayImage = 0;

// A question an engine thread waits on. Every answer starts as Abort: an asker that the end of
// the job lets go leaves as after an Abort.
struct Question {
    QuestionKind kind = QuestionKind::Error;
    // The facts of an error question, an existing-file question and the names question.
    ErrorFacts error;
    ExistsFacts exists;
    NamesFacts names;
    bool answered = false;
    ErrorAnswer errorAnswer = ErrorAnswer::Abort;
    ExistsAnswer existsAnswer = ExistsAnswer::Abort;
    NamesAnswer namesAnswer = NamesAnswer::Abort;
    AllocationFailure::Answer allocationAnswer = AllocationFailure::Answer::Abort;
};

class ProgressCore : public UserNotice, public JobQuestions, public AllocationFailure {
public:
    SourceQueue queue;
    // The job's destination folders, each as it was given.
    std::vector<std::string> targets;
    // The same as the user sees them (history): each followed by "?".
    std::string targetText;
    // The texts of the questions a console wrapper lists, in the job's language.
    ConsolePromptTexts promptTexts;
    // Shows the notification-area icon at an image index, as a question shown in a window does.
    std::function<void(int index)> showTrayIcon;

    void Attach(EngineContext& ctx, ConsoleChannel* console, bus::Endpoint* endpoint);
    // The window the core works for from now on. Without one, the core says on stderr what a
    // window would have shown and asks no one.
    void SetView(ProgressView* view) { view_ = view; }
    // Who keeps the job for resume: an end that keeps it asks it first.
    void SetKeeper(ResumeKeeper* keeper) { keeper_ = keeper; }
    EngineContext& Context() const { return *ctx_; }
    // The job's policy, which the window's menu and keys change.
    JobPolicy& Policy() const;
    bool Paused() const;

    // The job's requests, each handled on the window thread.
    SourceQueue::Next NextSource();
    void ListComplete();
    void OptionsLocked();
    void Complete(CompletionStep step);
    // The wrapper's controls: 1 abort, 2 skip, 3 pause or resume, 4 save the job and abort;
    // anything else does nothing.
    void Control(int64_t what);

    // Any thread: the texts the job gives. They show at the next tick.
    void ShowFile(std::optional<std::string> name);
    void ShowStatus(const std::string& text);
    // Any thread but the window's: the questions wait for their answers. They are served one
    // at a time, in the order they came.
    ErrorAnswer AskError(const ErrorFacts& facts) override;
    ExistsAnswer AskExists(const ExistsFacts& facts) override;
    NamesAnswer AskNames(const NamesFacts& facts) override;
    // The buffer-allocation question: in a window when there is a display; a console wrapper
    // or no one to ask means Abort.
    AllocationFailure::Answer Ask() override;
    // Any thread: WMU_ENDJOB. The first request wins.
    void RequestEnd(int code);

    // Delivers a pending end request, opens the next question and serves the packets that
    // came to the endpoint.
    void Service();
    // Paths dropped on the window join the job as new sources; empty ones are ignored. Once
    // the job takes no more sources they are refused with a notice.
    void AddDroppedPaths(const std::vector<std::string>& paths);
    // Packets from other processes: the wrapper's controls and keys, hand-offs.
    void ServePackets();
    void HandlePacket(const bus::Packet& packet);
    // From now on hand-offs that fit the job are accepted: its own start is decided and its
    // destinations are known. Until then every hand-off is refused.
    void OpenForHandOffs();

    // Answers the open question when it is of the answer's kind; `newPolicy` also becomes the
    // error or existing-file policy for the rest of the job. The time the question was open is
    // not copy time.
    void Answer(ErrorAnswer answer, std::optional<ErrorPolicy> newPolicy = std::nullopt);
    void Answer(ExistsAnswer answer, std::optional<ExistsPolicy> newPolicy = std::nullopt);
    void Answer(NamesAnswer answer);
    void Answer(AllocationFailure::Answer answer);
    // The open question, if any.
    std::shared_ptr<Question> OpenQuestion() const;
    // The text the question shows, in the job's language.
    std::string QuestionText(const Question& question) const;
    // A key typed at the wrapper while a question is open.
    void Key(char typed);

    // The controls. `sender`: a real click, which also locks the copy-only options and
    // restarts the tick on resume.
    void TogglePause(bool sender);
    void SkipFile();
    // Window thread: 0 ends the job, 2 keeps it for resume. A job that cannot be kept is not
    // ended by 2: the user is told why, and it goes on.
    void Abort(int code);

    // The tick: adds the time since the last one to the copy time (paused time and question
    // time not counted), sends the console lines and returns the figures to show.
    ProgressTexts Tick(bool averageSpeed);
    // Adds the copy time since the last tick, up to the end of the copy once it is done, so
    // that the job's summary and history count all of it.
    void CountCopyTime();
    void Heartbeat();
    // The file name to show: the last one the engine gave, or the source it is copying.
    std::string CurrentFileName() const;
    // The status text the engine gave for Label4, while listing and while the final sync runs;
    // empty when none.
    std::string StatusText() const;

    void Show(NoticeIcon icon, const std::string& caption, const std::string& text) override;

private:
    // Queues the question and waits for its answer; once the job is ending nothing more is
    // asked and the question keeps its Abort.
    void Pose(const std::shared_ptr<Question>& question);
    void OpenNextQuestion();
    // The question as a console wrapper lists it, with its keys.
    std::string ConsoleListing(const Question& question) const;
    // Answers the open question through `give` when it is of `kind`; one of another kind stays
    // open.
    void Settle(QuestionKind kind, const std::function<void(Question&)>& give);
    // A key's echo goes to the wrapper; the key then answers, ends the job or asks again.
    template <typename KeyAnswer>
    void Typed(const PromptKey<KeyAnswer>& key);
    // A sender's closing packet: accepts its sources or refuses them, and answers it.
    void EndHandOff(uint64_t wParam, int64_t lParam);
    // While the job can still take sources, keeps it from ending until ReleaseAddition().
    bool ReserveAddition();
    void ReleaseAddition();
    // Adds sources while the job runs, under a reservation that it hands on: to the queue
    // while the list is still being built (the intake takes them from there), else to the
    // queue at once and to the list by the job's source adder. Empty paths are ignored.
    void AddSources(const std::vector<std::string>& paths);
    void Wake();
    // Window thread: false, with the user told why, when an end with `code` would keep the job
    // and it cannot be kept.
    bool EndAllowed(int code);

    EngineContext* ctx_ = nullptr;
    ConsoleChannel* console_ = nullptr;
    bus::Endpoint* endpoint_ = nullptr;
    ProgressView* view_ = nullptr;
    ResumeKeeper* keeper_ = nullptr;

    mutable std::mutex lock_;
    std::condition_variable answeredCv_;
    std::deque<std::shared_ptr<Question>> questions_;
    std::shared_ptr<Question> open_;
    uint64_t openedAt_ = 0;
    // Time not to count as copy time since the last tick: answered questions and pauses.
    uint64_t excludedMs_ = 0;
    uint64_t pausedAt_ = 0;
    uint64_t lastTick_ = 0;
    bool endRequested_ = false;
    bool endDelivered_ = false;
    int endCode_ = 0;
    // The intake has asked for a source and found none: the list is complete.
    bool intakeDone_ = false;
    std::string fileText_;
    bool fileTextGiven_ = false;
    std::string statusText_;
    std::string shownFile_;
    handoff::Inbox inbox_;
    bool acceptsHandOffs_ = false;
};

}  // namespace rd
