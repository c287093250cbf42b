// A stand-in for the progress window and the console wrapper in engine tests: it answers the
// engine's messages the way the window thread would and records everything it was told.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/question_texts.h"
#include "engine/engine_context.h"
#include "engine/messages.h"
#include "engine/source_queue.h"
#include "engine/user_notice.h"
#include "engine/window_link.h"

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

// Stands in for the window and its question windows: every question is recorded with the text
// the window would show and answered by the preset answer function.
class TestHost : public WindowLink, public JobQuestions {
public:
    struct SendRecord {
        uint32_t msg;
        uintptr_t wParam;
    };
    struct TextRecord {
        uintptr_t which;  // msg::kTextCurrentFile or msg::kTextStatus
        std::string text;
    };
    struct PostRecord {
        uint32_t msg;
        uintptr_t wParam;
        intptr_t lParam;
    };
    struct PromptRecord {
        uint32_t msg;  // WMU_ERRORPROMPT or WMU_EXISTSPROMPT
        uintptr_t flags;
        std::string text;
        intptr_t answer;
        // The facts of the question: `error` for WMU_ERRORPROMPT, `exists` for the other.
        ErrorFacts error;
        ExistsFacts exists;
    };
    using PromptAnswer =
        std::function<intptr_t(uint32_t msg, uintptr_t flags, const std::string& text)>;

    // The job's source queue, as the queue window holds it.
    SourceQueue queue;
    // The engine the window serves; set by the test before the job starts.
    EngineContext* ctx = nullptr;
    // The destinations parsed on WMU_COMMAND kCmdParseDestinations.
    std::string targetText;
    // Records the warning boxes of ParseDestinations.
    RecordingNotice notice;
    // Runs after each WMU_COMMAND was handled, with its sub-command: a place to act between
    // the steps of the job.
    std::function<void(uintptr_t)> afterCommand;

    // Answers later prompts with `answer`; the default answers 2 (skip) to every prompt.
    void SetPromptAnswer(PromptAnswer answer) {
        std::lock_guard<std::mutex> lock(windowMutex_);
        answer_ = std::move(answer);
    }

    // Handlers run one at a time, as on the single window thread.
    intptr_t Send(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
        std::lock_guard<std::mutex> window(windowMutex_);
        {
            std::lock_guard<std::mutex> lock(recordMutex_);
            sent_.push_back({msg, wParam});
        }
        switch (msg) {
            case msg::WMU_NEXTSOURCE: {
                AnswerNextSource(queue, wParam, lParam);
                return 0;
            }
            case msg::WMU_SETTEXT: {
                const char* text = reinterpret_cast<const char*>(lParam);
                std::lock_guard<std::mutex> lock(recordMutex_);
                texts_.push_back({wParam, text ? std::string(text) : std::string()});
                return 0;
            }
            case msg::WMU_COMMAND: {
                std::lock_guard<std::mutex> lock(recordMutex_);
                commands_.push_back(wParam);
            }
                if (wParam == msg::kCmdParseDestinations && ctx) {
                    ctx->dests.ParseDestinations(SplitTargetText(targetText), notice);
                } else if (wParam == msg::kCmdPrepare && ctx) {
                    ctx->Prepare();
                }
                if (afterCommand)
                    afterCommand(wParam);
                return 0;
            default: return 0;
        }
    }

    ErrorAnswer AskError(const ErrorFacts& facts) override {
        PromptRecord record{msg::WMU_ERRORPROMPT, ErrorQuestionFlags(facts), {}, 0, facts, {}};
        record.text = ctx ? ErrorQuestionText(facts, ctx->messages) : std::string();
        return ErrorAnswerFromCode(Answer(record));
    }
    ExistsAnswer AskExists(const ExistsFacts& facts) override {
        PromptRecord record{msg::WMU_EXISTSPROMPT, ExistsQuestionFlags(facts), {}, 0, {}, facts};
        record.text = ctx ? ExistsQuestionText(facts, ctx->messages) : std::string();
        return ExistsAnswerFromBits(Answer(record));
    }

    void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
        {
            std::lock_guard<std::mutex> lock(recordMutex_);
            posts_.push_back({msg, wParam, lParam});
            if (msg == msg::WMU_ENDJOB) {
                ended_ = true;
                endCode_ = lParam;
            }
        }
        if (msg == msg::WMU_ENDJOB)
            endCv_.notify_all();
    }

    // Waits until WMU_ENDJOB has been posted; false when `timeout` ran out first.
    bool WaitForEnd(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(recordMutex_);
        return endCv_.wait_for(lock, timeout, [this] { return ended_; });
    }
    bool Ended() const {
        std::lock_guard<std::mutex> lock(recordMutex_);
        return ended_;
    }
    // lParam of the WMU_ENDJOB post.
    intptr_t EndCode() const {
        std::lock_guard<std::mutex> lock(recordMutex_);
        return endCode_;
    }

    // Every Send in arrival order.
    std::vector<SendRecord> Sent() const {
        std::lock_guard<std::mutex> lock(recordMutex_);
        return sent_;
    }
    std::vector<TextRecord> Texts() const {
        std::lock_guard<std::mutex> lock(recordMutex_);
        return texts_;
    }
    // The texts sent with wParam `which`, in order.
    std::vector<std::string> Texts(uintptr_t which) const {
        std::lock_guard<std::mutex> lock(recordMutex_);
        std::vector<std::string> out;
        for (const TextRecord& t : texts_)
            if (t.which == which)
                out.push_back(t.text);
        return out;
    }
    // The wParam of every WMU_COMMAND, in order.
    std::vector<uintptr_t> Commands() const {
        std::lock_guard<std::mutex> lock(recordMutex_);
        return commands_;
    }
    std::vector<PostRecord> Posts() const {
        std::lock_guard<std::mutex> lock(recordMutex_);
        return posts_;
    }
    std::vector<PromptRecord> Prompts() const {
        std::lock_guard<std::mutex> lock(recordMutex_);
        return prompts_;
    }

private:
    // Questions are answered one at a time, as the window serves them; the default answer is 2
    // (skip), which both prompts read as Skip.
    intptr_t Answer(PromptRecord& record) {
        std::lock_guard<std::mutex> window(windowMutex_);
        record.answer = answer_ ? answer_(record.msg, record.flags, record.text) : 2;
        std::lock_guard<std::mutex> lock(recordMutex_);
        prompts_.push_back(record);
        return record.answer;
    }

    // Serialises the handlers; held while a prompt is being answered.
    std::mutex windowMutex_;
    // Guards the records only, so that they can be read while a handler runs.
    mutable std::mutex recordMutex_;
    std::condition_variable endCv_;
    PromptAnswer answer_;
    std::vector<SendRecord> sent_;
    std::vector<TextRecord> texts_;
    std::vector<uintptr_t> commands_;
    std::vector<PostRecord> posts_;
    std::vector<PromptRecord> prompts_;
    bool ended_ = false;
    intptr_t endCode_ = 0;
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
