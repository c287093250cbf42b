#include "program/job_windows.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <chrono>

#include "app/chooser_model.h"
#include "app/stderr_lines.h"
#include "platform/store.h"
#include "program/console_prompt_texts.h"
#include "ui/look.h"
#include "ui/progress/desktop_notice.h"
#include "ui/progress/report_notice.h"

namespace rd {

JobWindows::JobWindows(const std::string& line, Store& store, bool offscreen)
    : store_(store),
      offscreen_(offscreen),
      tray_(QApplication::instance()),
      record_(store),
      positions_(store),
      session_(line, store, progress_, record_) {
    session_.windows = this;
    session_.ctx.sound = &sound_;
    session_.ctx.checkPositions = &positions_;
    progress_.Host(session_.core, session_);
}

TForm4& JobWindows::Settings() {
    if (form4_)
        return *form4_;
    form4_ = std::make_unique<TForm4>(session_.settings, session_.policy, store_,
                                      session_.ctx.messages, &session_.ctx.state);
    form4_->SetSoundPlayer(&sound_);
    form4_->ApplyLanguage(language_);
    QObject::connect(form4_.get(), &TForm4::applied, [this] {
        session_.SourcesChanged();
        rd::ApplySkin(session_.settings, progress_);
        ReloadLanguage(language_, session_.settings, session_.ctx.messages,
                       {form4_.get(), &progress_, form1_.get()});
    });
    return *form4_;
}

JobWindows::~JobWindows() = default;

JobSession::Start JobWindows::Start() {
    const JobSession::Start start = session_.Intake();
    if (start == JobSession::Start::Ended)
        return start;
    GiveWindows();
    progress_.JobStarted(session_.console.Attached(), session_.Endpoint());
    return start;
}

void JobWindows::GiveWindows() {
    TRedoDoriWnd::Windows windows;
    windows.makePrompts = [this](TRedoDoriWnd::Windows& made) {
        form3_ = std::make_unique<TForm3>();
        form5_ = std::make_unique<TForm5>();
        formNames_ = std::make_unique<TFormNames>();
        form6_ = std::make_unique<TForm6>();
        made.errorPrompt = form3_.get();
        made.existsPrompt = form5_.get();
        made.namesPrompt = formNames_.get();
        made.countdown = form6_.get();
    };
    windows.makeQueue = [this] {
        queue_ = std::make_unique<TRedoDoriQueue>();
        queue_->Attach(session_.core.queue, session_.ctx.list, session_.ctx.state.counters);
        return queue_.get();
    };
    windows.makeSettings = [this] { return &Settings(); };
    windows.tray = &tray_;
    windows.chooser = form1_.get();
    windows.language = &language_;
    progress_.SetWindows(windows);
}

// The skin's pictures wait until the progress window shows.
void JobWindows::LoadLanguage(const JobSettings& settings, MessageTable& messages) {
    language_.Load(settings.InstallPath, settings.Lngname);
    language_.FillMessages(messages);
    session_.core.promptTexts = ConsolePromptTextsOf(language_);
    rd::ApplySkin(settings, progress_);
    CaptionWindows(language_, messages, {form4_.get(), &progress_, nullptr});
}

void JobWindows::ShowError(const std::string& caption, const std::string& text) {
    SayOnStderr(text);
    if (!offscreen_)
        QMessageBox::critical(nullptr, QString::fromStdString(caption),
                              QString::fromStdString(text));
}

void JobWindows::ShowProgressWindow() {
    // The skin, read only now that the window shows, gives its size before the stored
    // placement does.
    progress_.ApplyWaitingSkin();
    const StoredPlacement& placed = session_.settings.progressPlacement;
    progress_.move(placed.hasLeft ? placed.left : progress_.x(),
                   placed.hasTop ? placed.top : progress_.y());
    progress_.resize(placed.hasWidth ? placed.width : progress_.width(),
                     placed.hasHeight ? placed.height : progress_.height());
    progress_.show();
}

void JobWindows::SetTrayIcon(int index) {
    tray_.Set(index);
}

WindowPlace JobWindows::ProgressPlace() {
    const QRect frame = progress_.geometry();
    return {frame.left(), frame.top(), frame.width(), frame.height()};
}

bool JobWindows::ShowChooser() {
    // Off screen nobody can answer the chooser.
    if (offscreen_)
        return false;
    // The chooser shows the skin's pictures too.
    progress_.ApplyWaitingSkin();
    form1_ = std::make_unique<TForm1>(store_, IsMove(session_.policy.mode));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const Frame frame =
        ChooserFrame(session_.settings.chooserPlacement, session_.settings.centerChooser,
                     {form1_->x(), form1_->y(), form1_->width(), form1_->height()}, screen.width(),
                     screen.height());
    form1_->move(frame.left, frame.top);
    form1_->resize(frame.width, frame.height);
    QObject::connect(
        form1_.get(), &TForm1::confirmed,
        [this](const std::string& target, const std::map<std::string, smb::Credentials>& logins) {
            session_.StartWithTarget(target, logins);
        });
    QObject::connect(form1_.get(), &TForm1::cancelled, [this] { session_.ChooserCancelled(); });
    QObject::connect(form1_.get(), &TForm1::settingsRequested, [this] {
        Settings().show();
        Settings().raise();
    });
    form1_->ApplyLanguage(language_, session_.ctx.messages);
    form1_->show();
    return true;
}

void JobWindows::AnnounceReport(const std::string& text, const std::string& reportPath) {
    progress_.hide();
    if (queue_)
        queue_->hide();
    // A report is a click away in the tray's message; the desktop's notification stays after
    // the process has gone, so that a notice without a report need not wait.
    const QString notice = QString::fromStdString(text);
    const QString report = QString::fromStdString(reportPath);
    if ((report.isEmpty() || !ShowReportNotice(tray_, notice, report)) &&
        !SendDesktopNotice(notice, !report.isEmpty()))
        ShowReportNotice(tray_, notice, report);
}

void JobWindows::Exit(int exitCode) {
    // The completion sound plays out first (a few seconds at most).
    sound_.Finish(std::chrono::seconds(5));
    QCoreApplication::exit(exitCode);
}

}  // namespace rd
