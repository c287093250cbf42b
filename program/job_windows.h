// The windows of one job, made in their fixed order and connected to its session: the progress
// window (the job's host), the queue window, the tray icon, the settings dialog, the chooser of a
// job without a destination, the prompts and the shutdown countdown. The program and the
// screenshot tool both build a job's windows here.
#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "app/job_session.h"
#include "app/sound_player.h"
#include "look/language.h"
#include "program/stored_check_positions.h"
#include "program/stored_job_record.h"
#include "ui/chooser/chooser_window.h"
#include "ui/progress/error_prompt.h"
#include "ui/progress/exists_prompt.h"
#include "ui/progress/names_prompt.h"
#include "ui/progress/queue_window.h"
#include "ui/progress/redodori_wnd.h"
#include "ui/progress/shutdown_countdown.h"
#include "ui/progress/tray_icon.h"
#include "ui/settings/settings_dialog.h"

namespace rd {

class Store;

class JobWindows : public SessionWindows {
public:
    // `offscreen`: no one sees the windows, so nothing is asked in them.
    JobWindows(const std::string& line, Store& store, bool offscreen);
    ~JobWindows() override;

    // Runs the session's intake and, when a job runs, makes the windows it may need and starts
    // the window's timers. Ended: the session is over already.
    JobSession::Start Start();

    JobSession& Session() { return session_; }
    // The language of the settings' `Lngname`, read by the intake.
    const Language& JobLanguage() const { return language_; }
    TRedoDoriWnd& Progress() { return progress_; }
    // Made on first need: a job without a window never makes it.
    TRedoDoriQueue& Queue() { return *progress_.Queue(); }
    // The prompts and the countdown are made on first need, as the queue window and the
    // settings dialog: a job that asks nothing in a window never makes them.
    TForm3& ErrorPrompt() { return progress_.MakePrompts(), *form3_; }
    TForm5& ExistsPrompt() { return progress_.MakePrompts(), *form5_; }
    TFormNames& NamesPrompt() { return progress_.MakePrompts(), *formNames_; }
    TForm6& Countdown() { return progress_.MakePrompts(), *form6_; }
    // Made on first need, as the queue window.
    TForm4& Settings();

    void LoadLanguage(const JobSettings& settings, MessageTable& messages) override;
    void ShowError(const std::string& caption, const std::string& text) override;
    void ShowProgressWindow() override;
    void SetTrayIcon(int index) override;
    WindowPlace ProgressPlace() override;
    bool ShowChooser() override;
    void AnnounceReport(const std::string& text, const std::string& reportPath) override;
    void Exit(int exitCode) override;

private:
    // Gives the window its companions, once the intake has run: each is made when first needed.
    void GiveWindows();

    Store& store_;
    const bool offscreen_;
    TRedoDoriWnd progress_;
    std::unique_ptr<TRedoDoriQueue> queue_;
    TrayIcon tray_;
    StoredJobRecord record_;
    StoredCheckPositions positions_;
    Language language_;
    JobSession session_;
    AlsaSoundPlayer sound_;
    std::unique_ptr<TForm4> form4_;
    // Made once the line is read: its caption depends on whether the job moves.
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm3> form3_;
    std::unique_ptr<TForm5> form5_;
    std::unique_ptr<TFormNames> formNames_;
    std::unique_ptr<TForm6> form6_;
};

}  // namespace rd
