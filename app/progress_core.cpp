#include "app/progress_core.h"

#include <cstdio>
#include <optional>
#include <type_traits>

#include "app/console_channel.h"
#include "app/question_texts.h"
#include "app/stderr_lines.h"
#include "engine/engine_context.h"
#include "engine/file_list_builder.h"
#include "engine/prompts.h"
#include "platform/bus.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace rd {

void ProgressCore::Attach(EngineContext& ctx, ConsoleChannel* console, bus::Endpoint* endpoint) {
    ctx_ = &ctx;
    console_ = console;
    endpoint_ = endpoint;
}

JobPolicy& ProgressCore::Policy() const {
    return ctx_->policy;
}

bool ProgressCore::Paused() const {
    return ctx_->state.flags.Paused != 0;
}

SourceQueue::Next ProgressCore::NextSource() {
    // Taken with the intake's end under one lock, so that a source added meanwhile is either
    // taken here or walked by the adder, never neither.
    std::lock_guard<std::mutex> lock(lock_);
    SourceQueue::Next next = queue.NextSource();
    intakeDone_ = next.path.empty();
    return next;
}

void ProgressCore::ListComplete() {
    if (view_)
        view_->ListFinished();
}

void ProgressCore::OptionsLocked() {
    if (view_)
        view_->LockOptions();
}

void ProgressCore::Complete(CompletionStep step) {
    if (view_)
        view_->ShowCompletion(step);
    else if (step == CompletionStep::ShutdownCountdown)
        std::fputs(
            "redodori: the shutdown countdown needs the window; the system is not shut down\n",
            stderr);
}

void ProgressCore::Control(int64_t what) {
    if (what == 1)
        Abort(0);
    else if (what == 2)
        SkipFile();
    else if (what == 3)
        TogglePause(true);
    else if (what == 4)
        Abort(2);
}

void ProgressCore::ShowFile(std::optional<std::string> name) {
    std::lock_guard<std::mutex> lock(lock_);
    fileTextGiven_ = name.has_value();
    fileText_ = name ? std::move(*name) : std::string();
}

void ProgressCore::ShowStatus(const std::string& text) {
    std::lock_guard<std::mutex> lock(lock_);
    statusText_ = text;
}

std::string ProgressCore::CurrentFileName() const {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (fileTextGiven_)
            return fileText_;
    }
    return ctx_ ? ctx_->state.CurrentSource() : std::string();
}

std::string ProgressCore::StatusText() const {
    std::lock_guard<std::mutex> lock(lock_);
    return statusText_;
}

void ProgressCore::Pose(const std::shared_ptr<Question>& question) {
    std::unique_lock<std::mutex> lock(lock_);
    if (endRequested_)
        return;
    questions_.push_back(question);
    lock.unlock();
    Wake();
    lock.lock();
    answeredCv_.wait(lock, [&] { return question->answered; });
}

ErrorAnswer ProgressCore::AskError(const ErrorFacts& facts) {
    auto question = std::make_shared<Question>();
    question->kind = QuestionKind::Error;
    question->error = facts;
    Pose(question);
    return question->errorAnswer;
}

ExistsAnswer ProgressCore::AskExists(const ExistsFacts& facts) {
    auto question = std::make_shared<Question>();
    question->kind = QuestionKind::Exists;
    question->exists = facts;
    Pose(question);
    return question->existsAnswer;
}

NamesAnswer ProgressCore::AskNames(const NamesFacts& facts) {
    auto question = std::make_shared<Question>();
    question->kind = QuestionKind::Names;
    question->names = facts;
    Pose(question);
    return question->namesAnswer;
}

AllocationFailure::Answer ProgressCore::Ask() {
    if (console_ && console_->Attached()) {
        console_->Line(std::string("RedoDori: ") + kAllocationText, true);
        return Answer::Abort;
    }
    auto question = std::make_shared<Question>();
    question->kind = QuestionKind::Allocation;
    Pose(question);
    return question->allocationAnswer;
}

void ProgressCore::RequestEnd(int code) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (endRequested_)
            return;
        endRequested_ = true;
        endCode_ = code;
        // Every asker waiting, the one being asked among them, leaves with the Abort its
        // question holds until answered, so that the end never waits for an answer no one will
        // give.
        for (const std::shared_ptr<Question>& q : questions_)
            q->answered = true;
        questions_.clear();
        if (open_)
            open_->answered = true;
        answeredCv_.notify_all();
    }
    // The writers stop retrying at once.
    if (ctx_)
        ctx_->state.BeginEnd();
    Wake();
}

void ProgressCore::Wake() {
    if (view_)
        view_->Wake();
}

void ProgressCore::Service() {
    int code = 0;
    bool deliver = false;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (endRequested_ && !endDelivered_) {
            endDelivered_ = true;
            deliver = true;
            code = endCode_;
        }
    }
    if (deliver && view_)
        view_->EndJob(code);
    OpenNextQuestion();
    ServePackets();
}

void ProgressCore::OpenNextQuestion() {
    std::shared_ptr<Question> q;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (open_ || questions_.empty())
            return;
        q = open_ = questions_.front();
        questions_.pop_front();
        openedAt_ = TickMs();
    }
    if (console_ && console_->Attached() && q->kind != QuestionKind::Allocation) {
        console_->Send(packet::kText, ConsoleListing(*q));
        console_->Send(packet::kPromptHandle, std::to_string(endpoint_ ? endpoint_->Id() : 0));
        // A wrapper that is gone is asked nothing: the question goes on below.
        if (console_->Attached()) {
            // The icon tells of the question as it does when a window asks it.
            if (showTrayIcon)
                showTrayIcon(q->kind == QuestionKind::Error ? kErrorTrayImage : kExistsTrayImage);
            return;
        }
    }
    if (view_ && view_->ShowQuestion(*q))
        return;
    // With no one to ask, a file (or every file a destination cannot take) is skipped; a buffer
    // that cannot be had ends the job.
    const bool allocation = q->kind == QuestionKind::Allocation;
    SayOnStderr(QuestionText(*q) + "\nno one to ask here: answered " +
                (allocation ? "Abort" : "Skip"));
    if (q->kind == QuestionKind::Error)
        Answer(ErrorAnswer::Skip);
    else if (q->kind == QuestionKind::Exists)
        Answer(ExistsAnswer::Skip);
    else if (q->kind == QuestionKind::Names)
        Answer(NamesAnswer::Skip);
    else
        Answer(AllocationFailure::Answer::Abort);
}

std::string ProgressCore::ConsoleListing(const Question& q) const {
    const std::string text = QuestionText(q);
    switch (q.kind) {
        case QuestionKind::Error:
            return ErrorPromptListing(text, ErrorQuestionFlags(q.error) & promptflag::kHealAllowed,
                                      promptTexts.error);
        case QuestionKind::Exists:
            return ExistsPromptListing(text, ExistsQuestionFlags(q.exists), promptTexts.exists);
        case QuestionKind::Names: return NamesPromptListing(text, promptTexts.names);
        case QuestionKind::Allocation: break;
    }
    return text;
}

std::shared_ptr<Question> ProgressCore::OpenQuestion() const {
    std::lock_guard<std::mutex> lock(lock_);
    return open_;
}

std::string ProgressCore::QuestionText(const Question& question) const {
    switch (question.kind) {
        case QuestionKind::Error: return ErrorQuestionText(question.error, ctx_->messages);
        case QuestionKind::Exists: return ExistsQuestionText(question.exists, ctx_->messages);
        case QuestionKind::Names: return NamesQuestionText(question.names, ctx_->messages);
        case QuestionKind::Allocation: break;
    }
    return kAllocationText;
}

void ProgressCore::Settle(QuestionKind kind, const std::function<void(Question&)>& give) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (!open_ || open_->kind != kind)
            return;
        excludedMs_ += TickMs() - openedAt_;
        // An asker that the end let go has left with its Abort; its answer stays as it read it.
        if (!open_->answered)
            give(*open_);
        open_->answered = true;
        open_.reset();
        answeredCv_.notify_all();
    }
    // The next question, if one is waiting, comes up at once.
    Wake();
}

void ProgressCore::Answer(ErrorAnswer answer, std::optional<ErrorPolicy> newPolicy) {
    if (answer == ErrorAnswer::AbortAndKeep && !EndAllowed(2)) {
        // The question comes up again for another answer.
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (open_ && open_->kind == QuestionKind::Error) {
                questions_.push_front(open_);
                open_.reset();
            }
        }
        Wake();
        return;
    }
    Settle(QuestionKind::Error, [&](Question& q) {
        if (newPolicy)
            ctx_->policy.onError = *newPolicy;
        q.errorAnswer = answer;
    });
}

void ProgressCore::Answer(ExistsAnswer answer, std::optional<ExistsPolicy> newPolicy) {
    Settle(QuestionKind::Exists, [&](Question& q) {
        if (newPolicy)
            ctx_->policy.onExist = *newPolicy;
        q.existsAnswer = answer;
    });
}

void ProgressCore::Answer(NamesAnswer answer) {
    Settle(QuestionKind::Names, [&](Question& q) { q.namesAnswer = answer; });
}

void ProgressCore::Answer(AllocationFailure::Answer answer) {
    Settle(QuestionKind::Allocation, [&](Question& q) { q.allocationAnswer = answer; });
}

template <typename KeyAnswer>
void ProgressCore::Typed(const PromptKey<KeyAnswer>& key) {
    console_->Send(packet::kText, key.echo);
    if (key.endJob) {
        Abort(key.endCode);
        return;
    }
    if (!key.answer) {
        console_->Send(packet::kPromptHandle, std::to_string(endpoint_ ? endpoint_->Id() : 0));
        return;
    }
    if constexpr (std::is_same_v<KeyAnswer, NamesAnswer>)
        Answer(*key.answer);
    else
        Answer(*key.answer, key.newPolicy);
}

void ProgressCore::Key(char typed) {
    std::shared_ptr<Question> q = OpenQuestion();
    if (!q || !console_)
        return;
    if (q->kind == QuestionKind::Error) {
        const uintptr_t flags = ErrorQuestionFlags(q->error);
        Typed(ErrorPromptKey(typed, flags & promptflag::kHealAllowed,
                             flags & promptflag::kAbortReturns, promptTexts.error));
    } else if (q->kind == QuestionKind::Exists) {
        Typed(ExistsPromptKey(typed, ExistsQuestionFlags(q->exists), promptTexts.exists));
    } else if (q->kind == QuestionKind::Names) {
        Typed(NamesPromptKey(typed, promptTexts.names));
    }
}

void ProgressCore::ServePackets() {
    if (!endpoint_)
        return;
    bus::Packet p;
    while (endpoint_->Receive(p))
        HandlePacket(p);
}

void ProgressCore::HandlePacket(const bus::Packet& p) {
    if (p.msg == msg::WMU_CONTROL)
        Control(p.lParam);
    else if (p.msg == msg::WMU_COMMAND && p.wParam == 2)
        Key(static_cast<char>(p.lParam));
    else if (p.msg == msg::WMU_HANDOFF)
        inbox_.Add(p.wParam, p.lParam, TickMs());
    else if (p.msg == msg::WMU_HANDOFFEND)
        EndHandOff(p.wParam, p.lParam);
    else if (p.msg == msg::WMU_DOCKQUEUE && view_)
        view_->DockQueue();
}

void ProgressCore::OpenForHandOffs() {
    acceptsHandOffs_ = true;
}

void ProgressCore::TogglePause(bool sender) {
    JobFlagsState& flags = ctx_->state.flags;
    const bool pause = sender ? !flags.Paused : flags.Paused != 0;
    if (sender) {
        ctx_->state.SetPaused(pause);
        if (view_)
            view_->LockOptions();
    }
    const bool consoleMode = console_ && console_->Attached();
    if (pause) {
        if (consoleMode)
            console_->Send(packet::kText, "***Paused***\r");
        std::lock_guard<std::mutex> lock(lock_);
        pausedAt_ = TickMs();
    } else if (sender) {
        if (consoleMode)
            console_->Send(packet::kText, "***Resumed***\r");
        std::lock_guard<std::mutex> lock(lock_);
        if (pausedAt_)
            excludedMs_ += TickMs() - pausedAt_;
        pausedAt_ = 0;
    }
    if (view_)
        view_->ShowPaused(pause);
}

void ProgressCore::SkipFile() {
    ctx_->state.flags.SkipFile = 1;
    if (console_ && console_->Attached())
        console_->Send(packet::kText, "***File skipped***\r\n");
}

void ProgressCore::Abort(int code) {
    if (EndAllowed(code))
        RequestEnd(code);
}

bool ProgressCore::EndAllowed(int code) {
    std::string why;
    if (code != 2 || !keeper_ || keeper_->KeepNow(why))
        return true;
    Show(NoticeIcon::Warning, "RedoDori",
         why + "; the job goes on: abort it to end it without keeping it");
    return false;
}

// Accepts only what is sure to be copied: the whole hand-off, fresh enough that its sender
// still waits, for a job of the same kind and destinations that has started and not passed its
// last node. The sources are added only once the sender has the acceptance in its socket; a
// sender that stopped listening runs its job itself.
void ProgressCore::EndHandOff(uint64_t wParam, int64_t lParam) {
    const auto sender = static_cast<uint32_t>(wParam >> 32);
    const auto started = static_cast<uint64_t>(lParam);
    const std::optional<handoff::Inbox::Items> items =
        inbox_.Take(sender, static_cast<uint32_t>(wParam));
    const uint64_t now = TickMs();
    handoff::Answer answer = handoff::kAccepted;
    if (!items)
        answer = handoff::kIncomplete;
    else if (started > now || now - started >= handoff::kAcceptWithinMs)
        answer = handoff::kTooLate;
    else if (!acceptsHandOffs_)
        answer = handoff::kNotStarted;
    else
        answer = handoff::Compare(
            items->job, handoff::DescribeJob(ctx_->policy.mode,
                                             ctx_->options.PerFileLink ? handoff::Links::PerFile
                                                                       : handoff::Links::None,
                                             targets, fs::CurrentFolder()));
    if (answer == handoff::kAccepted && !ReserveAddition())
        answer = handoff::kEnding;
    const bool told = bus::PostToThread(sender, handoff::Reply(started, answer));
    if (answer != handoff::kAccepted)
        return;
    if (!told) {
        ReleaseAddition();
        return;
    }
    AddSources(items->sources);
    if (view_)
        view_->SourcesAdded();
}

bool ProgressCore::ReserveAddition() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (endRequested_)
            return false;
    }
    std::lock_guard<std::mutex> lock(ctx_->list.ListLock);
    return ctx_->list.Reserve();
}

void ProgressCore::ReleaseAddition() {
    std::lock_guard<std::mutex> lock(ctx_->list.ListLock);
    ctx_->list.Release();
}

void ProgressCore::AddSources(const std::vector<std::string>& paths) {
    bool taken = false;
    {
        // While the list is still being built, the intake takes the sources from the queue
        // itself; walking them here too would list them twice.
        std::lock_guard<std::mutex> lock(lock_);
        if (!intakeDone_) {
            for (const std::string& path : paths)
                if (!path.empty())
                    queue.Add(path);
            taken = true;
        }
    }
    if (taken)
        return ReleaseAddition();
    std::vector<SourceAdder::Source> walk;
    for (const std::string& path : paths) {
        if (path.empty())
            continue;
        // Queued before it is walked, so that the resume record written at once holds it.
        const std::string plain = FileListBuilder::PlainPath(path);
        walk.push_back({queue.EntryAt(queue.Add(plain)), plain});
    }
    // The walk (searching each source, listing whole trees) is the job's side: the window
    // must stay free to answer. The adder releases the reservation once the nodes are in.
    if (walk.empty())
        ReleaseAddition();
    else
        ctx_->adder.Add(std::move(walk));
}

void ProgressCore::AddDroppedPaths(const std::vector<std::string>& paths) {
    std::string dropped;
    for (const std::string& path : paths)
        if (!path.empty())
            dropped += "\n" + path;
    if (dropped.empty())
        return;
    if (!ReserveAddition()) {
        Show(NoticeIcon::Warning, "RedoDori",
             "The job is ending and takes no more sources; not added:" + dropped);
        return;
    }
    AddSources(paths);
    if (view_)
        view_->SourcesAdded();
}

void ProgressCore::CountCopyTime() {
    const uint64_t ended = ctx_->copyEndedAt;
    if (!ctx_->copyStartedAt || (ctx_->jobState != 1 && !ended))
        return;
    const uint64_t now = ended ? ended : TickMs();
    std::lock_guard<std::mutex> lock(lock_);
    if (!lastTick_)
        lastTick_ = ctx_->copyStartedAt;
    // While paused or asking, the tick stands still; the time is left out when it ends.
    if (!ctx_->state.flags.Paused && !open_ && now > lastTick_) {
        uint64_t add = now - lastTick_;
        add = add > excludedMs_ ? add - excludedMs_ : 0;
        excludedMs_ = 0;
        ctx_->state.counters.copyTime += static_cast<uint32_t>(add);
        lastTick_ = now;
    }
}

ProgressTexts ProgressCore::Tick(bool averageSpeed) {
    CountCopyTime();
    ProgressTexts texts = TickTexts(*ctx_, averageSpeed);
    // While the final sync tells how much is left, that is the news, here and on the wrapper's
    // line, where the engine writes it itself.
    const std::string writing = ctx_->syncing ? StatusText() : std::string();
    if (!writing.empty())
        texts.bytes = writing;
    if (console_ && console_->Attached()) {
        const std::string current = CurrentFileName();
        if (current != shownFile_) {
            shownFile_ = current;
            // A carriage return in the name would redraw the wrapper's line.
            console_->Line("File: " + text::EscapeControls(current), true);
        }
        if (writing.empty())
            console_->Line(ConsoleStatusLine(*ctx_, texts), false);
    }
    return texts;
}

void ProgressCore::Heartbeat() {
    if (!console_ || !console_->Attached())
        return;
    console_->Send(packet::kHeartbeat, "");
    if (console_->Attached())
        return;
    // The wrapper went away with a question open on it: no one will answer there, so it is
    // put again, to whoever else can answer it.
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (open_ && !open_->answered && open_->kind != QuestionKind::Allocation) {
            questions_.push_front(open_);
            open_.reset();
        }
    }
    Wake();
}

void ProgressCore::Show(NoticeIcon icon, const std::string& caption, const std::string& text) {
    if (console_ && console_->Attached()) {
        console_->WholeLine(caption + ": " + text);
        return;
    }
    if (view_)
        view_->ShowNotice(icon, caption, text);
    else
        SayOnStderr(caption + ": " + text);
}

}  // namespace rd
