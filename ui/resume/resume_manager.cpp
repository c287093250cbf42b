#include "ui/resume/resume_manager.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/stderr_lines.h"
#include "look/language.h"
#include "platform/store.h"
#include "resume/autostart.h"
#include "resume/marker_restart.h"
#include "resume/resume_records.h"
#include "settings/settings_reader.h"
#include "settings/store_keys.h"
#include "ui/resume/resume_items.h"
#include "ui/resume/resume_manager_window.h"

namespace rd {

namespace {

// How long the start-up resume waits for the desktop, the network and late disks to come up.
// REDODORI_STARTUP_DELAY_MS shortens it (the tests do).
int StartupDelayMs() {
    const char* given = std::getenv("REDODORI_STARTUP_DELAY_MS");
    return given && *given ? std::atoi(given) : 10000;
}

// A marker of a move job removes its source once the file is copied: the user says so first,
// No being the answer that loses nothing. Without a display nobody can say so, and the file is
// copied only.
void SettleMove(int argc, char** argv, const std::string& markerPath, bool display,
                MarkerJob& job) {
    if (!MarkerMoves(job))
        return;
    if (display) {
        QApplication app(argc, argv);
        const QString text =
            QString(
                "The resume marker %1 restarts a move:\n\n%2\n\nto %3\n\nRemove the source "
                "once it is copied? No copies it and keeps the source.")
                .arg(QString::fromStdString(markerPath), QString::fromStdString(job.source),
                     QString::fromStdString(job.folder));
        if (QMessageBox::question(nullptr, "RedoDori", text, QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No) == QMessageBox::Yes)
            return;
    } else {
        SayOnStderr("the resume marker " + markerPath +
                    " restarts a move, and without a display nobody can confirm it: " + job.source +
                    " is copied only and stays");
    }
    CopyOnly(job);
}

int RestartFromMarker(int argc, char** argv, const std::string& markerPath, bool display,
                      const std::string& own) {
    MarkerJob job;
    std::string error;
    if (!ReadResumeMarker(markerPath, job, error)) {
        SayOnStderr(error);
        return 0;
    }
    SettleMove(argc, argv, markerPath, display, job);
    std::string line;
    std::vector<std::string> lists;
    if (MarkerJobLine(job, line, lists, error) && LaunchDetached(own, line, error))
        return 0;
    SayOnStderr("cannot restart " + job.source + ": " + error);
    for (const std::string& list : lists)
        RemoveResumeList(list);
    return 0;
}

// The resume manager's language: "Lngname" in the program's own key when it is there (empty:
// none), else the language of the local profile.
void LoadLanguage(Store& store, Language& language) {
    JobSettings settings;
    settings.profile = "local";
    ReadAllSettings(store, settings);
    const std::optional<std::string> own =
        store.ReadText(StoreRoot::CurrentUser, std::string(kBaseKey), "Lngname");
    language.Load(settings.InstallPath, own.value_or(settings.Lngname));
}

}  // namespace

bool LaunchDetached(const std::string& program, const std::string& argument, std::string& error) {
    QProcess process;
    process.setProgram(QString::fromStdString(program));
    process.setArguments({QString::fromStdString(argument)});
    if (process.startDetached())
        return true;
    error = process.errorString().toStdString();
    return false;
}

int RunResumeManager(int argc, char** argv, const ResumeMode& mode, bool display) {
    const std::string own = OwnProgramPath();
    if (mode.kind == ResumeMode::Marker)
        return RestartFromMarker(argc, argv, mode.markerPath, display, own);

    if (mode.kind == ResumeMode::Window && !display) {
        std::fputs(
            "redodori: the resume manager's window needs a display; without one, "
            "redodori-console --resume-list lists the stored jobs and --resume N resumes one\n",
            stderr);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("RedoDori resume manager");
    QApplication::setQuitOnLastWindowClosed(false);
    Store& store = Store::Default();
    std::string error;
    if (!UpdateResumeAutostart(store, own, error))
        std::fprintf(stderr, "redodori: %s\n", error.c_str());

    Language language;
    LoadLanguage(store, language);
    ResumeItems items(store, own, LaunchDetached);
    items.language = &language;
    std::unique_ptr<TFormResMan> window;
    const auto quitWhenDone = [&] {
        if (items.Empty() && !(window && window->isVisible()))
            QApplication::quit();
    };
    QObject::connect(&items, &ResumeItems::emptied, &app, quitWhenDone);
    if (mode.kind == ResumeMode::Startup) {
        QTimer::singleShot(StartupDelayMs(), &app, [&] {
            std::vector<int32_t> running;
            for (const int32_t n : StartupRecords(store, &running))
                items.Resume(n);
            for (const int32_t n : running)
                std::fprintf(stderr,
                             "redodori: stored job %d is still running; it is not resumed\n", n);
            quitWhenDone();
        });
    } else {
        window = std::make_unique<TFormResMan>(store, items);
        window->ApplyLanguage(language);
        QObject::connect(window.get(), &QDialog::finished, &app, quitWhenDone);
        if (const QScreen* screen = window->screen())
            window->move(screen->availableGeometry().center() - window->rect().center());
        window->show();
    }
    return app.exec();
}

}  // namespace rd
