// The error prompt: what to do with a read, write, open or verification step that failed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "engine/job_policy.h"
#include "engine/questions.h"
#include "ui/progress/prompt_window.h"

namespace rd {

class Language;
class MessageTable;

class TForm3 : public PromptWindow {
    Q_OBJECT

signals:
    // The question is answered; `newPolicy` becomes the job's error policy from now on.
    void answered(ErrorAnswer answer, std::optional<ErrorPolicy> newPolicy);

public:
    explicit TForm3(QWidget* parent = nullptr);

    // Opens the question about `facts`, its text in the language of `messages`. Heal is
    // offered for failed reads; on a writer's side Abort answers Abort, or AbortAndKeep with
    // Shift, instead of asking to end the job.
    void Pose(const ErrorFacts& facts, const MessageTable& messages);

    // The captions of "Copy_Error", and the Heal warning's texts from `messages`.
    void ApplyLanguage(const Language& language, const MessageTable& messages);

    // Asks the user, with `owner` as the owning window, whether unreadable regions may really
    // be filled with zeros, and calls `done` with the answer (yes goes on). Asked until the
    // first yes of the process.
    std::function<void(QWidget* owner, std::function<void(bool)> done)> confirmHeal;

    // Forgets the yes, so that the next Heal asks again (tests start from a fresh process
    // state this way).
    static void ResetHealConfirmation();

private:
    void Give(ErrorAnswer answer, std::optional<ErrorPolicy> newPolicy = std::nullopt);
    void BitBtn1Click();
    void BitBtn6Click();

    QPushButton* bitBtn1_ = nullptr;
    bool abortReturns_ = false;
    // The Heal warning is up.
    bool asking_ = false;
    // The Heal warning: its caption, its text and the texts of its Yes and No buttons.
    QString healCaption_ = "Confirmation";
    QString healText_ =
        "Pressing 'Heal' will bypass reading of any unreadable data! Please use 'Retry' if "
        "possible. Are you sure you want to skip unreadable file's regions?";
    QString yes_ = "Yes", no_ = "No";
};

}  // namespace rd
