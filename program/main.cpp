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
#include "app/share_logins.h"
#include "app/shell_action.h"
#include "app/stderr_lines.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "platform/store.h"
#include "platform/unexpected_end.h"
#include "program/job_windows.h"
#include "program/stored_jobs_command.h"
#include "settings/settings_storage.h"
#include "ui/resume/resume_manager.h"
#include "ui/settings/settings_only.h"

namespace {

const char kUsage[] =
    "Usage: redodori '|SOURCE|TARGET|SWITCHES'\n"
    "   or: redodori --explain '|SOURCE|TARGET|SWITCHES'\n"
    "   or: redodori [|||q1]                   the settings dialog (q1: network profile)\n"
    "   or: redodori /vnresume [/startup]        the resume manager; at login\n"
    "   or: redodori /vnresume=MARKER            restart one file from its .RedoDori marker\n"
    "   or: redodori --resume-list               list the stored jobs\n"
    "   or: redodori --resume N [--console ID]   resume stored job N now, in this process\n"
    "   or: redodori --action copy-to|move-to|delete PATH...\n"
    "   or: redodori --action paste FOLDER\n"
    "   or: redodori --action check MANIFEST...\n"
    "   or: redodori --check MANIFEST...           check the files that manifests list\n"
    "   or: redodori --help | --version\n"
    "\n"
    "A job is one argument of fields separated by '|':\n"
    "  SOURCE    a source list file (one path a line, UTF-8 or UTF-16LE with a byte-order\n"
    "            mark; lines end at a carriage return), or with switch e the sources\n"
    "            themselves, separated by '?'; a '*' in a name that names no file matches\n"
    "            files (a file named with '*' is itself)\n"
    "  TARGET    the destination folders, each followed by '?', or with switch f a target\n"
    "            list file (one folder a line, 8-bit)\n"
    "\n"
    "A literal list holds any name as it is, never as a pattern and never split: the 23\n"
    "bytes \"\\0RedoDori literal list\\n\" (a NUL byte, the words, a line feed), then each\n"
    "path followed by one NUL byte. Source and target lists may take this form; RedoDori\n"
    "writes every list of its own so (file manager actions, redodori-console, resume).\n"
    "A list file is removed once read only when it lies in the temporary folder ($TMPDIR,\n"
    "else /tmp) or in RedoDori's own list folder; any other is the user's and is kept.\n"
    "\n"
    "SWITCHES are letters; later ones win:\n"
    "  m       move\n"
    "  M       delete\n"
    "  j       link the tree\n"
    "  J       hard-link each file\n"
    "  K       check: the sources are checksum manifests; no target\n"
    "  w       overwrite existing files\n"
    "  k       skip existing files\n"
    "  o       rename the old file\n"
    "  u       try to resume\n"
    "  i       overwrite older files\n"
    "  I       do not overwrite older files\n"
    "  r       retry errors\n"
    "  s       skip errors\n"
    "  h       give up retrying after the delay\n"
    "  H       keep retrying\n"
    "  v       verify\n"
    "  V       no verification\n"
    "  z       reserve space\n"
    "  Z       no reservation\n"
    "  t       burst (t1 read, t2 write)\n"
    "  T       no burst (T1, T2)\n"
    "  d       shut down when done\n"
    "  D       no shut-down\n"
    "  c       keep no times\n"
    "  p       start paused\n"
    "  n       no progress window\n"
    "  e       inline sources\n"
    "  f       target list file\n"
    "  x       keep list files\n"
    "  g       attach to a running job\n"
    "  G       wait for running jobs\n"
    "  q1      network profile\n"
    "  q2      local profile\n"
    "  Lk<n>   speed limit index 0-10 in Kbps (10: no limit)\n"
    "  Lp<n>   speed limit index 0-10 in percent (10: no limit)\n"
    "  Lc<n>   speed limit index 0-10 in bytes per second (10: no limit)\n"
    "  Lb<n>   buffer size index 0-10\n"
    "  Ln<n>   what a destination cannot take: 0 ask, 1 rename, 2 skip\n"
    "  Lh<n>   checksum manifest beside each destination: 0 none, 1 XXH3-128, 2 SHA-256\n"
    "  Lt<n>   console wrapper id\n"
    "\n"
    "--action is what the file managers' RedoDori entries run: copy-to and move-to ask for\n"
    "the destination in the chooser, delete names what it would delete and asks first (No\n"
    "unless answered Yes; without a display it deletes nothing), paste copies (or moves,\n"
    "when they were cut) the files on the clipboard into FOLDER, check checks the manifests.\n"
    "--check (or the job switch K) reads every file that the checksum manifests list\n"
    "(.sha256, .sha512, .sha1, .md5 as the coreutils write them, .xxh128 as xxhsum -H2\n"
    "does) from the disk and compares its hash; only files below a manifest's folder are\n"
    "read. A check that was cut short goes on where it stopped when it is run again.\n"
    "--resume-list prints each stored job's number, time, sources, destinations and whether it\n"
    "resumes at login. --resume N runs stored job N now, in this process: a source folder that\n"
    "cannot be reached is reported, not waited for. A job that cannot be resumed stays stored;\n"
    "why is said on stderr (exit status 1), or with --console to the console wrapper whose\n"
    "thread id is ID (redodori-console --resume N runs it so).\n"
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
    if (action.fromMenu && !rd::ReadShellValues(rd::Store::Default(), "local").shellMenus) {
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

// An exception from an event's handler never crosses the event loop: it ends the program as an
// unexpected error.
class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        bool handled = false;
        rd::unexpected::Guarded([&] { handled = QApplication::notify(receiver, event); });
        return handled;
    }
};

int Run(int argc, char** argv) {
    // Before any thread, and before any program this one starts could inherit the pipe.
    rd::TakeLoginPipe();
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
    if (const std::optional<int> ended = rd::RunStoredJobsCommand(argc, argv, line))
        return *ended;
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

    // The application object lives until the process ends: destroyed, the offscreen platform's
    // font database starts fontconfig only to release it, which took longer than a whole job
    // that shows no window. Kept in a static, it is still reachable at the end, not leaked.
    static GuardedApplication* application = nullptr;
    application = new GuardedApplication(argc, argv);
    GuardedApplication& app = *application;
    QApplication::setApplicationName("RedoDori");
    QApplication::setQuitOnLastWindowClosed(false);
    if (shellAction) {
        if (const std::optional<int> ended = ShellActionIntake(argc, argv, offscreen, line))
            return *ended;
    }
    if (!rd::HoldsJob(line))
        return rd::RunSettingsOnly(line);

    rd::JobWindows windows(line, rd::Store::Default(), offscreen);
    if (windows.Start() == rd::JobSession::Start::Ended)
        return windows.Session().ExitCode();
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    int code = 0;
    rd::unexpected::Guarded([&] { code = Run(argc, argv); });
    return code;
}
