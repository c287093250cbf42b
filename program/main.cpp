// redodori: the program's entry. It decides how to run from the command line, creates the
// windows in their fixed order and runs the job from the chooser's creation.
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QMimeData>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/job_explain.h"
#include "app/job_session.h"
#include "app/settings_storage.h"
#include "app/shell_action.h"
#include "app/sound_player.h"
#include "app/stderr_lines.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "platform/store.h"
#include "ui/chooser/chooser_window.h"
#include "ui/look.h"
#include "ui/progress/desktop_notice.h"
#include "ui/progress/error_prompt.h"
#include "ui/progress/exists_prompt.h"
#include "ui/progress/queue_window.h"
#include "ui/progress/redodori_wnd.h"
#include "ui/progress/report_notice.h"
#include "ui/progress/shutdown_countdown.h"
#include "ui/progress/tray_icon.h"
#include "ui/resume/resume_manager.h"
#include "ui/settings/settings_dialog.h"
#include "ui/settings/settings_only.h"

namespace {

const char kUsage[] =
    "Usage: redodori '|SOURCE|TARGET|SWITCHES'\n"
    "   or: redodori --explain '|SOURCE|TARGET|SWITCHES'\n"
    "   or: redodori [|||q1]                   the settings dialog (q1: network profile)\n"
    "   or: redodori /vnresume [/startup]        the resume manager; at login\n"
    "   or: redodori /vnresume=MARKER            restart one file from its .RedoDori marker\n"
    "   or: redodori --action copy-to|move-to|delete PATH...\n"
    "   or: redodori --action paste FOLDER\n"
    "   or: redodori --help | --version\n"
    "\n"
    "A job is one argument of fields separated by '|':\n"
    "  SOURCE    a source list file (one path a line, UTF-8 or UTF-16LE with a byte-order\n"
    "            mark; lines end at a carriage return), or with switch e the sources\n"
    "            themselves, separated by '?'; a '*' in a name that names no file matches\n"
    "            files (a file named with '*' is itself)\n"
    "  TARGET    the destination folders, each followed by '?', or with switch f a target\n"
    "            list file (one folder a line, 8-bit)\n"
    "  A literal list holds any name as it is, never as a pattern and never split: the 23\n"
    "  bytes \"\\0RedoDori literal list\\n\" (a NUL byte, the words, a line feed), then each\n"
    "  path followed by one NUL byte. Source and target lists may take this form; RedoDori\n"
    "  writes every list of its own so (file manager actions, redodori-console, resume).\n"
    "  A list file is removed once read only when it lies in the temporary folder ($TMPDIR,\n"
    "  else /tmp) or in RedoDori's own list folder; any other is the user's and is kept.\n"
    "  SWITCHES  letters, later ones winning:\n"
    "    m move            M delete           j link tree       J hard-link each file\n"
    "    w overwrite       k skip existing    o rename old      u try resume\n"
    "    i overwrite older I not older        r retry errors    s skip errors\n"
    "    h give up retrying after the delay   H keep retrying\n"
    "    v verify          V no verify        z reserve space   Z no reserve\n"
    "    t burst (t1 read, t2 write)          T no burst (T1, T2)\n"
    "    d shut down when done                D no shut-down\n"
    "    c keep no times   p start paused     n no progress window\n"
    "    e inline sources  f target list file x keep list files\n"
    "    g attach to a running job            G wait for running jobs\n"
    "    q1 network profile, q2 local profile\n"
    "    Lk<n> Lp<n> Lc<n> speed limit index 0-10 in Kbps, percent or bps (10: none)\n"
    "    Lb<n> buffer size index 0-10         Lt<n> console wrapper id\n"
    "\n"
    "--action is what the file managers' RedoDori entries run: copy-to and move-to ask for\n"
    "the destination in the chooser, delete names what it would delete and asks first (No\n"
    "unless answered Yes; without a display it deletes nothing), paste copies (or moves,\n"
    "when they were cut) the files on the clipboard into FOLDER.\n"
    "--explain prints the job a line turns into (settings, flags, sources, destinations)\n"
    "without running it. redodori-console runs jobs from a terminal.\n"
    "Without a DISPLAY or WAYLAND_DISPLAY that can be reached, the windows are drawn off\n"
    "screen.\n";

// A display that is named but cannot be reached counts as none: the windows are then drawn off
// screen instead of the start failing.
bool HasDisplay() {
    return rd::display::Reachable();
}

QtMessageHandler qtDefaultHandler = nullptr;

// Off screen, Qt reports that it cannot raise windows, shape them or make them translucent each
// time; that is no news.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains("does not support raise()") ||
        text.contains("does not support setting window masks") ||
        text.contains("does not support setting window opacity"))
        return;
    qtDefaultHandler(type, context, text);
}

// The destination chooser for a job without a target, at its stored place; its answer goes to
// the session.
std::unique_ptr<rd::TForm1> ShowChooser(rd::JobSession& session, QWidget& settings) {
    auto form1 = std::make_unique<rd::TForm1>(rd::Store::Default(),
                                              rd::mode::IsMove(session.settings.delmode));
    const rd::StoredPlacement& placed = session.settings.chooserPlacement;
    form1->move(placed.hasLeft ? placed.left : form1->x(), placed.hasTop ? placed.top : form1->y());
    form1->resize(placed.hasWidth ? placed.width : form1->width(),
                  placed.hasHeight ? placed.height : form1->height());
    QObject::connect(form1.get(), &rd::TForm1::confirmed,
                     [&session](const std::string& target) { session.StartWithTarget(target); });
    QObject::connect(form1.get(), &rd::TForm1::cancelled,
                     [&session] { session.ChooserCancelled(); });
    QObject::connect(form1.get(), &rd::TForm1::settingsRequested, [&settings] {
        settings.show();
        settings.raise();
    });
    form1->ApplyLanguage(session.language, session.ctx.messages);
    form1->show();
    return form1;
}

// A file manager's action turned into the job line it stands for; the exit status when it ends
// here instead (1 when it could not be done, 0 when the user declined).
std::optional<int> ShellActionIntake(int argc, char** argv, bool offscreen, std::string& line) {
    const auto tell = [offscreen](const std::string& text) {
        rd::SayOnStderr(text);
        if (!offscreen)
            QMessageBox::information(nullptr, "RedoDori", QString::fromStdString(text));
    };
    rd::ShellAction action;
    std::string error;
    if (!rd::ParseShellAction(argc, argv, action, error)) {
        tell(error);
        return 1;
    }
    if (!rd::ReadShellValues(rd::Store::Default(), "local").shellMenus) {
        tell("RedoDori's file manager actions are turned off in its settings.");
        return 1;
    }
    rd::ClipboardFiles pasted;
    if (action.kind == rd::ShellActionKind::kPaste) {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        if (data)
            pasted =
                rd::ReadClipboardFiles(data->data("x-special/gnome-copied-files").toStdString(),
                                       data->data("text/uri-list").toStdString(),
                                       data->data("application/x-kde-cutselection").toStdString());
    }
    if (action.kind == rd::ShellActionKind::kDelete) {
        // Nothing is deleted unasked: without a display the question cannot be put.
        if (offscreen) {
            tell("Nothing was deleted: --action delete asks first, and that needs a display.");
            return 1;
        }
        const std::string question = rd::DeleteQuestion(action.paths, rd::fs::CurrentFolder());
        if (QMessageBox::question(nullptr, "Confirmation", QString::fromStdString(question),
                                  QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No) != QMessageBox::Yes)
            return 0;
    }
    if (!rd::ShellActionLine(argv[0], action, pasted, rd::fs::CurrentFolder(), line, error)) {
        tell(error);
        return 1;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc > 1 && !std::strcmp(argv[1], "--version")) {
        std::puts("RedoDori 2.83");
        return 0;
    }
    if (argc > 1 && !std::strcmp(argv[1], "--explain")) {
        // The line as the program would see it without "--explain".
        std::vector<const char*> args(argv, argv + argc);
        args.erase(args.begin() + 1);
        const std::string line = rd::BuildCommandLine(static_cast<int>(args.size()), args.data());
        std::string text;
        const bool ok = rd::ExplainJob(line, rd::Store::Default(), text);
        std::fputs(text.c_str(), stdout);
        return ok ? 0 : 1;
    }
    std::string line = rd::BuildCommandLine(argc, argv);
    const bool shellAction = rd::IsShellAction(argc, argv);
    if (const rd::ResumeMode resume = rd::ParseResumeMode(argc, argv);
        resume.kind != rd::ResumeMode::None) {
        if (!HasDisplay())
            ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return rd::RunResumeManager(argc, argv, resume, HasDisplay());
    }
    if (!rd::HoldsJob(line) && !shellAction)
        rd::HoldCloseSignals();
    if (!HasDisplay())
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const bool offscreen = !HasDisplay();
    if (offscreen)
        qtDefaultHandler = qInstallMessageHandler(QuietOffscreen);

    QApplication app(argc, argv);
    QApplication::setApplicationName("RedoDori");
    QApplication::setQuitOnLastWindowClosed(false);
    if (shellAction) {
        if (const std::optional<int> ended = ShellActionIntake(argc, argv, offscreen, line))
            return *ended;
    }
    if (!rd::HoldsJob(line))
        return rd::RunSettingsOnly(line);

    // The windows in their fixed order: the settings dialog (once the settings it shows exist),
    // the chooser (whose creation runs the intake) before the prompts, which the intake may
    // never need.
    rd::TRedoDoriWnd progress;
    rd::TRedoDoriQueue queue;
    // Made once the line is read: its caption depends on whether the job moves.
    std::unique_ptr<rd::TForm1> form1;
    rd::TrayIcon tray(&app);

    rd::JobSession session(line, rd::Store::Default(), progress);
    rd::AlsaSoundPlayer sound;
    session.ctx.sound = &sound;
    // The completion sound plays out first (a few seconds at most).
    session.host.exit = [&sound](int code) {
        sound.Finish(std::chrono::seconds(5));
        QCoreApplication::exit(code);
    };
    rd::TForm4 form4(session.settings, rd::Store::Default(), session.ctx.messages,
                     &session.ctx.state);
    form4.SetSoundPlayer(&sound);
    // The language is applied before any window shows, and again after OK in the settings; the
    // skin's pictures wait until the progress window shows.
    session.host.applyLanguage = [&] {
        rd::ApplySkin(session.settings, progress);
        rd::CaptionWindows(session.language, session.ctx.messages, {&form4, &progress, nullptr});
    };
    QObject::connect(&form4, &rd::TForm4::applied, [&] {
        session.SourcesChanged();
        rd::ApplySkin(session.settings, progress);
        rd::ReloadLanguage(session.language, session.settings, session.ctx.messages,
                           {&form4, &progress, form1.get()});
    });
    progress.Host(session);
    session.host.showError = [offscreen](const std::string& caption, const std::string& text) {
        rd::SayOnStderr(text);
        if (!offscreen)
            QMessageBox::critical(nullptr, QString::fromStdString(caption),
                                  QString::fromStdString(text));
    };
    session.host.showProgressWindow = [&progress, &session] {
        // The skin, read only now that the window shows, gives its size before the stored
        // placement does.
        progress.ApplyWaitingSkin();
        const rd::StoredPlacement& placed = session.settings.progressPlacement;
        progress.move(placed.hasLeft ? placed.left : progress.x(),
                      placed.hasTop ? placed.top : progress.y());
        progress.resize(placed.hasWidth ? placed.width : progress.width(),
                        placed.hasHeight ? placed.height : progress.height());
        progress.show();
    };
    session.host.setTrayIcon = [&tray](int index) { tray.Set(index); };
    session.host.placement = [&progress](int32_t& left, int32_t& top, int32_t& width,
                                         int32_t& height) {
        const QRect frame = progress.geometry();
        left = frame.left();
        top = frame.top();
        width = frame.width();
        height = frame.height();
    };
    session.host.announceReport = [&progress, &queue, &tray](const std::string& text,
                                                             const std::string& reportPath) {
        progress.hide();
        queue.hide();
        // A report is a click away in the tray's message; the desktop's notification stays
        // after the process has gone, so that a notice without a report need not wait.
        const QString notice = QString::fromStdString(text);
        const QString report = QString::fromStdString(reportPath);
        if ((report.isEmpty() || !rd::ShowReportNotice(tray, notice, report)) &&
            !rd::SendDesktopNotice(notice, !report.isEmpty()))
            rd::ShowReportNotice(tray, notice, report);
    };
    // Off screen nobody can answer the chooser; the session then ends such a job with a message.
    if (!offscreen)
        session.host.showChooser = [&form1, &form4, &session, &progress] {
            // The chooser shows the skin's pictures too.
            progress.ApplyWaitingSkin();
            form1 = ShowChooser(session, form4);
        };
    if (session.Intake() == rd::JobSession::Start::Ended)
        return session.ExitCode();
    queue.Attach(session.core.queue, session.ctx.list, session.ctx.state.counters);
    rd::TForm3 form3;
    rd::TForm5 form5;
    rd::TForm6 form6;
    rd::TRedoDoriWnd::Windows windows;
    windows.queue = &queue;
    windows.errorPrompt = &form3;
    windows.existsPrompt = &form5;
    windows.countdown = &form6;
    windows.settings = &form4;
    windows.tray = &tray;
    windows.chooser = form1.get();
    windows.language = &session.language;
    progress.SetWindows(windows);
    progress.JobStarted();
    return app.exec();
}
