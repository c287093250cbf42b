#include "ui/progress/progress_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <algorithm>

#include "app/settings_policy.h"
#include "look/captions.h"
#include "look/language.h"
#include "platform/clock.h"
#include "platform/message_table.h"

namespace rd {

namespace {

// How long a shortcut's feedback keeps the percentage out of `Label1`.
constexpr uint64_t kFeedbackMs = 3000;

// A stored position may lie outside the track bar; the bar holds it at its ends first.
int32_t StepPosition(int32_t position, int delta) {
    const int32_t held = std::clamp<int32_t>(position, 0, kLastLimitPosition);
    return std::clamp<int32_t>(held + delta, 0, kLastLimitPosition);
}

void Flip(Live<bool>& setting) {
    setting = !setting;
}

}  // namespace

ProgressMenu::ProgressMenu(JobPolicy& policy, MenuCommands& commands, QObject* parent)
    : QObject(parent),
      policy_(policy),
      commands_(commands),
      menu_(std::make_unique<QMenu>()),
      clock_(TickMs) {
    menu_->setObjectName("PopupMenu2");
    QAction* open = AddItem("Open1", "Open", [this] { commands_.Open(); });
    menu_->setDefaultAction(open);
    AddItem("Abort2", "Abort", [this] { commands_.Abort(); });
    AddItem("Savejobandabort1", "Save job and abort", [this] { commands_.SaveAndAbort(); });
    pause_ = AddItem("Pause1", pauseText, [this] { commands_.Pause(); });
    AddItem("Skip1", "Skip", [this] { commands_.Skip(); });
    AddItem("Settings1", "Settings", [this] { commands_.OpenSettings(); });
    AddSeparator("N2");
    showQueue_ = AddOption("Showqueue1", "Show queue", [this] { commands_.ToggleQueue(); });
    showQueue_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    resumeOnCrash_ = AddOption("Resumeoncrash1", "Resume on crash", [this] { FlipResume(); });
    AddSeparator("N3");
    shutdown_ = AddOption("Shutdownoncomplete1", "Shutdown on complete",
                          [this] { Flip(policy_.shutdown); });
    promptOnComplete_ =
        AddOption("Promptoncomplete1", "Prompt on complete", [this] { Flip(policy_.openTargets); });
    AddSeparator("N5");
    promptOnError_ = AddOption("Promptonerror1", "Prompt on error",
                               [this] { policy_.onError = ErrorPolicy::Prompt; });
    skipOnError_ =
        AddOption("Skiponerror1", "Skip on error", [this] { policy_.onError = ErrorPolicy::Skip; });
    retryOnError_ = AddOption("Retryonerror1", "Retry on error",
                              [this] { policy_.onError = ErrorPolicy::Retry; });
    retryTimeout_ = AddOption("Retrytimeout1", "Retry timeout", [this] {
        policy_.giveUp = policy_.giveUp != GiveUp::Never ? GiveUp::Never : GiveUp::AfterTimeout;
    });
    AddSeparator("N4");
    overwriteOlder_ = AddOption("Overwriteolder1", "Overwrite older existing", [this] {
        ExistsPolicy value = policy_.onExist ^ ExistsPolicy::OverwriteOlder;
        // "Overwrite older" has no meaning next to "overwrite always": prompt instead.
        if (Has(value, ExistsPolicy::Overwrite))
            value = value & ~kExistsChoices;
        policy_.onExist = value;
    });
    resumeExisting_ = AddOption("Resumeexisting1", "Resume existing", [this] {
        policy_.onExist = policy_.onExist ^ ExistsPolicy::TryResume;
    });
    prompt_ =
        AddOption("Prompt1", "Prompt if exists", [this] { SetOnExist(ExistsPolicy::Prompt); });
    skip_ = AddOption("Skip2", "Skip existing", [this] { SetOnExist(ExistsPolicy::Skip); });
    overwrite_ = AddOption("Overwrite1", "Overwrite always existing",
                           [this] { SetOnExist(ExistsPolicy::Overwrite); });
    renameOld_ =
        AddOption("Renameold1", "Rename existing", [this] { SetOnExist(ExistsPolicy::RenameOld); });

    connect(menu_.get(), &QMenu::aboutToShow, this, &ProgressMenu::PopupMenu2Popup);
}

ProgressMenu::~ProgressMenu() = default;

QAction* ProgressMenu::AddItem(const char* name, const QString& caption,
                               std::function<void()> onClick) {
    QAction* action = menu_->addAction(caption);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, std::move(onClick));
    return action;
}

QAction* ProgressMenu::AddOption(const char* name, const QString& caption,
                                 std::function<void()> onClick) {
    QAction* action = AddItem(name, caption, [this, onClick = std::move(onClick)] {
        onClick();
        // Qt flips a checked item by itself; the marks must show the settings instead.
        UpdateChecks();
    });
    action->setCheckable(true);
    return action;
}

void ProgressMenu::AddSeparator(const char* name) {
    menu_->addSeparator()->setObjectName(name);
}

void ProgressMenu::ApplyLanguage(const Language& language, const MessageTable& messages) {
    TranslateMenu(*menu_, section::kMenu, language);
    pauseText = FromUtf8(messages.Text(16));
    resumeText = FromUtf8(messages.Text(17));
    limitTexts = LimitTextsOf(messages);
    autoresumeOn = FromUtf8(messages.Text(text_slot::kAutoresumeOn));
    autoresumeOff = FromUtf8(messages.Text(text_slot::kAutoresumeOff));
    historyOn = FromUtf8(messages.Text(text_slot::kHistoryOn));
    historyOff = FromUtf8(messages.Text(text_slot::kHistoryOff));
}

void ProgressMenu::PopupMenu2Popup() {
    UpdateChecks();
    const QString caption = retryTimeout_->text();
    const qsizetype colon = caption.indexOf(": ");
    const QString head = colon < 0 ? caption + ": " : caption.left(colon + 2);
    retryTimeout_->setText(head + QString::number(policy_.giveUpAfterMs.Get()) + " msec");
    pause_->setText(commands_.Paused() ? resumeText : pauseText);
}

void ProgressMenu::UpdateChecks() {
    const JobPolicy& p = policy_;
    const ExistsPolicy exist = p.onExist;
    const ErrorPolicy onError = p.onError;
    showQueue_->setChecked(commands_.QueueVisible());
    resumeOnCrash_->setChecked(p.resume);
    shutdown_->setChecked(p.shutdown);
    promptOnComplete_->setChecked(p.openTargets);
    promptOnError_->setChecked(onError == ErrorPolicy::Prompt);
    skipOnError_->setChecked(onError == ErrorPolicy::Skip);
    retryOnError_->setChecked(onError == ErrorPolicy::Retry);
    retryTimeout_->setChecked(p.giveUp != GiveUp::Never);
    overwriteOlder_->setChecked(Has(exist, ExistsPolicy::OverwriteOlder));
    resumeExisting_->setChecked(Has(exist, ExistsPolicy::TryResume));
    prompt_->setChecked(!Has(exist, kExistsChoices));
    skip_->setChecked(Has(exist, ExistsPolicy::Skip));
    overwrite_->setChecked(Has(exist, ExistsPolicy::Overwrite));
    renameOld_->setChecked(Has(exist, ExistsPolicy::RenameOld));
}

void ProgressMenu::FlipResume() {
    Flip(policy_.resume);
    commands_.ResumeChanged();
}

void ProgressMenu::SetOnExist(ExistsPolicy choice) {
    policy_.onExist = (policy_.onExist & ~kExistsChoices) | choice;
}

bool ProgressMenu::HandleKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    // Combinations with Ctrl, Alt or Meta belong to the menu's shortcuts and the desktop.
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (qtKey) {
        case Qt::Key_Space: commands_.Pause(); return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Backspace: SpeedLimitKey(qtKey); return true;
        case Qt::Key_Left:
        case Qt::Key_Right: BufferSizeKey(qtKey); return true;
        case Qt::Key_R:
            FlipResume();
            Feedback(policy_.resume ? autoresumeOn : autoresumeOff);
            return true;
        case Qt::Key_H:
            Flip(policy_.history);
            Feedback(policy_.history ? historyOn : historyOff);
            return true;
        default: return false;
    }
}

void ProgressMenu::SpeedLimitKey(int qtKey) {
    const int delta = qtKey == Qt::Key_Up ? 1 : qtKey == Qt::Key_Down ? -1 : 0;
    const int32_t position = StepPosition(policy_.speedLimit, delta);
    SpeedUnit unit = policy_.speedUnit;
    // Backspace swaps the two rate units only; with "%" (or no known unit) the unit stays.
    if (qtKey == Qt::Key_Backspace && unit == SpeedUnit::Bps)
        unit = SpeedUnit::Kbps;
    else if (qtKey == Qt::Key_Backspace && unit == SpeedUnit::Kbps)
        unit = SpeedUnit::Bps;
    policy_.speedLimit = position;
    policy_.speedUnit = unit;
    const int32_t limtip = StoredLimtip(unit);
    Feedback(FromUtf8(SpeedLimitCaption(position, limtip, limitTexts) + " " +
                      SpeedUnitText(limtip, limitTexts)));
}

void ProgressMenu::BufferSizeKey(int qtKey) {
    const int32_t position = StepPosition(policy_.bufferSize, qtKey == Qt::Key_Right ? 1 : -1);
    policy_.bufferSize = position;
    Feedback(FromUtf8(BufferSizeCaption(position, limitTexts)));
}

void ProgressMenu::Feedback(const QString& text) {
    keyed_ = true;
    keyTime_ = clock_();
    emit feedback(text);
}

bool ProgressMenu::FeedbackActive(uint64_t nowMs) const {
    return keyed_ && nowMs - keyTime_ <= kFeedbackMs;
}

}  // namespace rd
