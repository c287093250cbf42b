#include "ui/progress/error_prompt.h"

#include <QMessageBox>

#include "app/question_texts.h"
#include "engine/prompts.h"
#include "look/captions.h"
#include "look/language.h"

namespace rd {

namespace {

// Once confirmed, Heal answers at once for the rest of the process, in every later question.
bool healConfirmed = false;

// The box is opened, not run in a loop of its own: the window thread goes on serving the job
// (and the other windows) while it is up, and `done` gets the answer.
void AskHealConfirmation(QWidget* owner, const QString& caption, const QString& text,
                         const QString& yes, const QString& no, std::function<void(bool)> done) {
    auto* box = new QMessageBox(QMessageBox::Question, caption, text,
                                QMessageBox::Yes | QMessageBox::No, owner);
    box->button(QMessageBox::Yes)->setText(yes);
    box->button(QMessageBox::No)->setText(no);
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Only the prompt waits for the box; the progress window stays usable meanwhile.
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, owner,
                     [done](int result) { done(result == QMessageBox::Yes); });
    box->open();
}

}  // namespace

TForm3::TForm3(QWidget* parent)
    : PromptWindow("Form3", "Copy process error", "What RedoDori should do with this problem?",
                   parent) {
    confirmHeal = [this](QWidget* owner, std::function<void(bool)> done) {
        AskHealConfirmation(owner, healCaption_, healText_, yes_, no_, std::move(done));
    };
    AddButton("BitBtn6", "&Abort", 0, 0, [this] { BitBtn6Click(); });
    bitBtn1_ = AddButton("BitBtn1", "&Heal", 1, 0, [this] { BitBtn1Click(); });
    bitBtn1_->setToolTip(
        "Try to recovery damaged file using filling unreadable region by zero bytes. Use only "
        "when it is impossible to recovery file by other ways.");
    QPushButton* retry = AddButton("BitBtn2", "&Retry", 0, 1, [this] { Give(ErrorAnswer::Retry); });
    AddButton("BitBtn3", "R&etry all", 1, 1,
              [this] { Give(ErrorAnswer::Retry, ErrorPolicy::Retry); });
    QPushButton* skip = AddButton("BitBtn4", "&Skip", 0, 2, [this] { Give(ErrorAnswer::Skip); });
    AddButton("BitBtn5", "S&kip all", 1, 2, [this] { Give(ErrorAnswer::Skip, ErrorPolicy::Skip); });
    SetDefaultAndCancel(retry, skip);
}

void TForm3::Pose(const ErrorFacts& facts, const MessageTable& messages) {
    const uintptr_t flags = ErrorQuestionFlags(facts);
    bitBtn1_->setEnabled(flags & promptflag::kHealAllowed);
    abortReturns_ = flags & promptflag::kAbortReturns;
    Present(FromUtf8(ErrorQuestionText(facts, messages)));
}

void TForm3::ApplyLanguage(const Language& language, const MessageTable& messages) {
    Translate(section::kErrorPrompt, language);
    healCaption_ = FromUtf8(messages.Text(text_slot::kConfirmation));
    healText_ = FromUtf8(messages.Text(text_slot::kHealWarning));
    yes_ = FromUtf8(messages.Text(text_slot::kYes));
    no_ = FromUtf8(messages.Text(text_slot::kNo));
}

void TForm3::ResetHealConfirmation() {
    healConfirmed = false;
}

void TForm3::BitBtn1Click() {
    if (!Posed() || asking_)
        return;
    if (healConfirmed) {
        Give(ErrorAnswer::Heal);
        return;
    }
    if (!confirmHeal)
        return;
    asking_ = true;
    confirmHeal(this, [this](bool yes) {
        asking_ = false;
        if (yes)
            healConfirmed = true;
        // The question may have been answered some other way while the box was up.
        if (yes && Posed())
            Give(ErrorAnswer::Heal);
    });
}

void TForm3::BitBtn6Click() {
    if (!Posed())
        return;
    const int code = AbortCode();
    if (abortReturns_)
        Give(code == 2 ? ErrorAnswer::AbortAndKeep : ErrorAnswer::Abort);
    else
        emit endJobRequested(code);
}

void TForm3::Give(ErrorAnswer answer, std::optional<ErrorPolicy> newPolicy) {
    if (TakeQuestion())
        emit answered(answer, newPolicy);
}

}  // namespace rd
