// The progress window's pop-up menu and its shortcut keys: the window's commands, and changes
// to the running job's policy that never reach the settings store.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/limit_captions.h"
#include "engine/job_policy.h"
#include "ui/progress/menu_commands.h"

class QAction;
class QMenu;

namespace rd {

class Language;
class MessageTable;

class ProgressMenu : public QObject {
    Q_OBJECT

public:
    // The items and keys reach the window through `commands`, which outlives the menu.
    ProgressMenu(JobPolicy& policy, MenuCommands& commands, QObject* parent = nullptr);
    ~ProgressMenu() override;

    // `PopupMenu2`, for the window, its controls and the notification-area icon.
    QMenu* Menu() const { return menu_.get(); }

    // Before the menu opens: check marks from the current policy, the retry-timeout caption
    // with the current time-out, the pause caption from the job's state.
    void PopupMenu2Popup();

    // A key the window saw before its controls. True when it was one of the shortcuts; all but
    // Space leave their feedback for `Label1` through `feedback`.
    bool HandleKey(int qtKey, Qt::KeyboardModifiers modifiers);

    // Whether a shortcut's feedback should still stay in `Label1` at `nowMs` (tick count).
    bool FeedbackActive(uint64_t nowMs) const;

    // The items' captions from the "Menu" section of `language`; the pause item's captions,
    // the speed-limit and buffer-size texts and the keys' feedback from `messages`.
    void ApplyLanguage(const Language& language, const MessageTable& messages);

    // The tick count the key time is taken from: a value, which tests set to a clock of their
    // own.
    void SetClock(std::function<uint64_t()> clock) { clock_ = std::move(clock); }

    // Language texts 16 and 17, the pause item's captions while running and while paused.
    QString pauseText = "Pause";
    QString resumeText = "Resume";
    // Language texts 28 to 31 and 39 to 41, for the speed-limit and buffer-size feedback.
    LimitTexts limitTexts;
    // Language texts 33 to 36, the feedback of R and H.
    QString autoresumeOn = "Autoresume ON", autoresumeOff = "Autoresume OFF";
    QString historyOn = "History ON", historyOff = "History OFF";

signals:
    void feedback(QString text);

private:
    QAction* AddItem(const char* name, const QString& caption, std::function<void()> onClick);
    // An item with a check mark.
    QAction* AddOption(const char* name, const QString& caption, std::function<void()> onClick);
    void AddSeparator(const char* name);
    void UpdateChecks();
    void FlipResume();
    void SetOnExist(ExistsPolicy choice);
    void SpeedLimitKey(int qtKey);
    void BufferSizeKey(int qtKey);
    void Feedback(const QString& text);

    JobPolicy& policy_;
    MenuCommands& commands_;
    std::unique_ptr<QMenu> menu_;
    std::function<uint64_t()> clock_;
    bool keyed_ = false;
    uint64_t keyTime_ = 0;

    QAction* pause_ = nullptr;
    QAction* showQueue_ = nullptr;
    QAction* resumeOnCrash_ = nullptr;
    QAction* shutdown_ = nullptr;
    QAction* promptOnComplete_ = nullptr;
    QAction* promptOnError_ = nullptr;
    QAction* skipOnError_ = nullptr;
    QAction* retryOnError_ = nullptr;
    QAction* retryTimeout_ = nullptr;
    QAction* overwriteOlder_ = nullptr;
    QAction* resumeExisting_ = nullptr;
    QAction* prompt_ = nullptr;
    QAction* skip_ = nullptr;
    QAction* overwrite_ = nullptr;
    QAction* renameOld_ = nullptr;
};

}  // namespace rd
