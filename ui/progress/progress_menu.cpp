#include "ui/progress/progress_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <algorithm>

#include "look/captions.h"
#include "look/language.h"
#include "platform/clock.h"
#include "platform/message_table.h"

namespace rd {

namespace {

// How long a shortcut's feedback keeps the percentage out of `Label1`.
constexpr uint64_t kFeedbackMs = 3000;

// The base choices of `onexist`; none of them set means "prompt".
constexpr int32_t kExistChoices = onexist::kOverwrite | onexist::kSkip | onexist::kRenameOld;

// A stored position may lie outside the track bar; the bar holds it at its ends first.
int32_t StepPosition(int32_t position, int delta) {
    const int32_t held = std::clamp<int32_t>(position, 0, kLastLimitPosition);
    return std::clamp<int32_t>(held + delta, 0, kLastLimitPosition);
}

void Flip(SettingInt& setting) {
    setting = setting ? 0 : 1;
}

}  // namespace

ProgressMenu::ProgressMenu(JobSettings& settings, MenuCommands& commands, QObject* parent)
    : QObject(parent),
      settings_(settings),
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
    shutdown_ =
        AddOption("Shutdownoncomplete1", "Shutdown on complete", [this] { Flip(settings_.shutd); });
    promptOnComplete_ =
        AddOption("Promptoncomplete1", "Prompt on complete", [this] { Flip(settings_.popup); });
    AddSeparator("N5");
    promptOnError_ =
        AddOption("Promptonerror1", "Prompt on error", [this] { settings_.onerror = 0; });
    skipOnError_ = AddOption("Skiponerror1", "Skip on error", [this] { settings_.onerror = 2; });
    retryOnError_ = AddOption("Retryonerror1", "Retry on error", [this] { settings_.onerror = 1; });
    retryTimeout_ =
        AddOption("Retrytimeout1", "Retry timeout", [this] { Flip(settings_.enskdel); });
    AddSeparator("N4");
    overwriteOlder_ = AddOption("Overwriteolder1", "Overwrite older existing", [this] {
        int32_t value = settings_.onexist ^ onexist::kOverwriteOlder;
        // "Overwrite older" has no meaning next to "overwrite always": prompt instead.
        if (value & onexist::kOverwrite)
            value &= ~kExistChoices;
        settings_.onexist = value;
    });
    resumeExisting_ = AddOption("Resumeexisting1", "Resume existing", [this] {
        settings_.onexist = settings_.onexist ^ onexist::kTryResume;
    });
    prompt_ = AddOption("Prompt1", "Prompt if exists", [this] { SetOnExist(0); });
    skip_ = AddOption("Skip2", "Skip existing", [this] { SetOnExist(onexist::kSkip); });
    overwrite_ = AddOption("Overwrite1", "Overwrite always existing",
                           [this] { SetOnExist(onexist::kOverwrite); });
    renameOld_ =
        AddOption("Renameold1", "Rename existing", [this] { SetOnExist(onexist::kRenameOld); });

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
    retryTimeout_->setText(head + QString::number(settings_.skdel) + " msec");
    pause_->setText(commands_.Paused() ? resumeText : pauseText);
}

void ProgressMenu::UpdateChecks() {
    const JobSettings& s = settings_;
    const int32_t exist = s.onexist;
    showQueue_->setChecked(commands_.QueueVisible());
    resumeOnCrash_->setChecked(s.resume != 0);
    shutdown_->setChecked(s.shutd != 0);
    promptOnComplete_->setChecked(s.popup != 0);
    promptOnError_->setChecked(s.onerror == 0);
    skipOnError_->setChecked(s.onerror == 2);
    retryOnError_->setChecked(s.onerror == 1);
    retryTimeout_->setChecked(s.enskdel != 0);
    overwriteOlder_->setChecked((exist & onexist::kOverwriteOlder) != 0);
    resumeExisting_->setChecked((exist & onexist::kTryResume) != 0);
    prompt_->setChecked((exist & kExistChoices) == 0);
    skip_->setChecked((exist & onexist::kSkip) != 0);
    overwrite_->setChecked((exist & onexist::kOverwrite) != 0);
    renameOld_->setChecked((exist & onexist::kRenameOld) != 0);
}

void ProgressMenu::FlipResume() {
    Flip(settings_.resume);
    commands_.ResumeChanged();
}

void ProgressMenu::SetOnExist(int32_t choice) {
    settings_.onexist = (settings_.onexist & ~kExistChoices) | choice;
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
            Feedback(settings_.resume ? autoresumeOn : autoresumeOff);
            return true;
        case Qt::Key_H:
            Flip(settings_.hist);
            Feedback(settings_.hist ? historyOn : historyOff);
            return true;
        default: return false;
    }
}

void ProgressMenu::SpeedLimitKey(int qtKey) {
    const int delta = qtKey == Qt::Key_Up ? 1 : qtKey == Qt::Key_Down ? -1 : 0;
    const int32_t position = StepPosition(settings_.splim, delta);
    int32_t unit = settings_.limtip;
    // Backspace swaps the two rate units only; with "%" (or no known unit) the unit stays.
    if (qtKey == Qt::Key_Backspace && unit == limit_unit::kBps)
        unit = limit_unit::kKbps;
    else if (qtKey == Qt::Key_Backspace && unit == limit_unit::kKbps)
        unit = limit_unit::kBps;
    settings_.splim = position;
    settings_.limtip = unit;
    Feedback(FromUtf8(SpeedLimitCaption(position, unit, limitTexts) + " " +
                      SpeedUnitText(unit, limitTexts)));
}

void ProgressMenu::BufferSizeKey(int qtKey) {
    const int32_t position = StepPosition(settings_.bufsz, qtKey == Qt::Key_Right ? 1 : -1);
    settings_.bufsz = position;
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
