// redodori-screenshots: runs a slowed copy job with the real windows and saves pictures of the
// progress window, both prompts, the shutdown countdown and the queue window, so that they can
// be looked at without a desktop.
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPushButton>
#include <QStorageInfo>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "app/job_session.h"
#include "platform/store.h"
#include "resume/resume_records.h"
#include "settings/store_keys.h"
#include "ui/chooser/chooser_window.h"
#include "ui/look.h"
#include "ui/progress/error_prompt.h"
#include "ui/progress/exists_prompt.h"
#include "ui/progress/queue_window.h"
#include "ui/progress/redodori_wnd.h"
#include "ui/progress/shutdown_countdown.h"
#include "ui/progress/tray_icon.h"
#include "ui/resume/resume_item_window.h"
#include "ui/resume/resume_items.h"
#include "ui/resume/resume_manager_window.h"
#include "ui/settings/settings_dialog.h"

namespace {

const char kUsage[] =
    "Usage: redodori-screenshots OUTPUT-FOLDER WORK-FOLDER [LANGUAGE-FILE [SKIN]]\n"
    "Copies a few files from WORK-FOLDER/src to WORK-FOLDER/dst, slowly, with the program's\n"
    "windows (off screen without a display), and saves progress_window.png, queue_window.png,\n"
    "exists_prompt.png, error_prompt.png, shutdown_countdown.png, chooser.png (the\n"
    "destination chooser, at WORK-FOLDER/media/Photos when that is a mount, with a favourite)\n"
    "and the settings dialog (settings_dialog.png during the copy, settings_dialog_network.png\n"
    "for the other profile, settings_<group>.png for each of its groups) into OUTPUT-FOLDER,\n"
    "then resume_manager.png and resume_item.png of two stored jobs made up for them. The\n"
    "settings store, data, runtime and state folders are made inside WORK-FOLDER; nothing is\n"
    "powered off. Removing WORK-FOLDER afterwards is the caller's business. The windows speak\n"
    "LANGUAGE-FILE (such as german.lng), English without it, and wear SKIN (Default without\n"
    "it); a shaped window's picture is transparent outside its outline.\n";

void WriteRandom(const std::string& path, size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Runs `step` once `ready` holds, checking every 100 ms; gives up after 30 s.
void When(std::function<bool()> ready, std::function<void()> step) {
    auto* timer = new QTimer;
    auto started = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (ready()) {
            timer->stop();
            timer->deleteLater();
            step();
        } else if (++*started > 300) {
            std::fputs("redodori-screenshots: the job did not get there within 30 s\n", stderr);
            std::fflush(nullptr);
            _exit(1);
        }
    });
    timer->start(100);
}

// The resume manager with two stored jobs, and the pop-up of one whose source folder is not
// there, waiting for it.
void SaveResumeWindows(const std::string& w, const rd::Language& language,
                       const std::function<void(QWidget&, const char*)>& save) {
    rd::Store& store = rd::Store::Default();
    const std::string own = rd::OwnProgramPath();
    const std::string key(rd::kResumeKey);
    const auto record = [&](const std::string& n, const std::string& from, const char* target,
                            const char* time) {
        store.WriteText(rd::StoreRoot::CurrentUser, key, n,
                        own + " |" + w + "/state/vnfrm" + n + ".lst|" + target + "|uwq2");
        store.WriteText(rd::StoreRoot::CurrentUser, key, "f_" + n, from);
        store.WriteText(rd::StoreRoot::CurrentUser, key, "t_" + n, time);
    };
    record("17", w + "/src/photos/", "/media/backup/photos/?", "2026-03-07 09:05");
    record("342", "/mnt/nas/projects/", "/home/me/projects/?/media/usb/?", "2026-03-08 18:41");
    store.WriteText(rd::StoreRoot::CurrentUser, key, "d_342", "x");
    static rd::ResumeItems items(store, own,
                                 [](const std::string&, const std::string&, std::string& error) {
                                     error = "not in pictures";
                                     return false;
                                 });
    items.language = &language;
    static rd::TFormResMan manager(store, items);
    manager.ApplyLanguage(language);
    manager.move(100, 300);
    manager.show();
    save(manager, "resume_manager.png");
    items.Resume(342);
    save(*items.Find(342), "resume_item.png");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString work = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    const std::string w = work.toStdString();
    for (const char* folder : {"/config", "/data", "/run", "/src/photos", "/dst/photos"})
        QDir().mkpath(work + folder);
    QDir().mkpath(out);
    QFile::setPermissions(work + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ::setenv("REDODORI_CONFIG_DIR", (w + "/config").c_str(), 1);
    ::setenv("REDODORI_DATA_DIR", (w + "/data").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (w + "/run").c_str(), 1);
    ::setenv("REDODORI_STATE_DIR", (w + "/state").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (w + "/xdg-config").c_str(), 1);
    ::setenv("REDODORI_FAKE_POWEROFF", (w + "/poweroff").c_str(), 1);
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!(display && *display) && !(wayland && *wayland))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

    WriteRandom(w + "/src/photos/holiday-2026-at-the-seaside-with-the-whole-family.raw", 3 << 20);
    WriteRandom(w + "/src/photos/notes.txt", 3000);
    WriteRandom(w + "/dst/notes.txt", 1000);
    QDir().mkpath(work + "/data/favorites");
    std::ofstream(w + "/data/favorites/Backups.lst") << w << "/dst/photos/\r\n/media/backup/\r\n";

    for (const char* profile : {"local", "network"}) {
        const std::string key = rd::ProfileKey(profile);
        if (argc >= 4 && *argv[3])
            rd::Store::Default().WriteText(rd::StoreRoot::CurrentUser, key, "Lngname", argv[3]);
        if (argc == 5)
            rd::Store::Default().WriteText(rd::StoreRoot::CurrentUser, key, "Skin", argv[4]);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("RedoDori");
    rd::TRedoDoriWnd progress;
    rd::TRedoDoriQueue queue;
    rd::TrayIcon tray(&app);
    // Slowed to the lowest speed limit, so that the windows can be caught while it copies.
    // The small file comes first: it exists at the destination, so the job asks at once.
    const std::string line = "redodori-screenshots |" + w + "/src/photos/notes.txt?" + w +
                             "/src/photos/holiday-2026-at-the-seaside-with-the-whole-family.raw?" +
                             w + "/src/photos?|" + w + "/dst/?|eLk0Lb3";
    rd::JobSession session(line, rd::Store::Default(), progress);
    progress.Host(session);
    progress.askInWindows = true;
    session.host.showProgressWindow = [&progress] {
        progress.move(100, 100);
        progress.show();
    };
    session.Intake();
    queue.Attach(session.core.queue, session.ctx.list, session.ctx.state.counters);
    rd::TForm3 errorPrompt;
    rd::TForm5 existsPrompt;
    rd::TForm6 countdown;
    countdown.powerOff = [] {};
    rd::TRedoDoriWnd::Windows windows;
    windows.queue = &queue;
    windows.errorPrompt = &errorPrompt;
    windows.existsPrompt = &existsPrompt;
    windows.countdown = &countdown;
    windows.tray = &tray;
    rd::TForm4 form4(session.settings, rd::Store::Default(), session.ctx.messages,
                     &session.ctx.state);
    windows.settings = &form4;
    windows.language = &session.language;
    rd::ApplySkin(session.settings, progress);
    rd::CaptionWindows(session.language, session.ctx.messages, {&form4, &progress, nullptr});
    progress.SetWindows(windows);
    progress.JobStarted();

    auto save = [&out](QWidget& window, const char* name) {
        // Layouts and texts settle in posted events.
        QApplication::processEvents();
        const QString path = out + "/" + name;
        QPixmap shot = window.grab();
        if (!window.mask().isEmpty()) {
            QPixmap shaped(shot.size());
            shaped.fill(Qt::transparent);
            QPainter painter(&shaped);
            painter.setClipRegion(window.mask());
            painter.drawPixmap(0, 0, shot);
            painter.end();
            shot = shaped;
        }
        if (!shot.save(path)) {
            std::fprintf(stderr, "redodori-screenshots: cannot write %s\n", qPrintable(path));
            std::fflush(nullptr);
            _exit(1);
        }
        std::printf("%s\n", qPrintable(path));
    };
    {
        // The chooser of a job without a target, opened at the last destination: the RAM disk
        // the caller may have mounted, else the first root.
        const QString disk = work + "/media/Photos";
        if (QStorageInfo(disk).rootPath() == disk)
            rd::StoreKey(rd::Store::Default(), rd::StoreRoot::CurrentUser,
                         std::string(rd::kBaseKey))
                .WriteText("LastDir", disk.toStdString() + "/");
        rd::TForm1 chooser(rd::Store::Default(), false);
        chooser.ApplyLanguage(session.language, session.ctx.messages);
        chooser.move(450, 100);
        chooser.show();
        chooser.SetJobTotal((3 << 20) + 3000);
        save(chooser, "chooser.png");
    }
    const rd::JobCounters& counters = session.ctx.state.counters;
    When([&] { return existsPrompt.isVisible(); },
         [&] {
             save(existsPrompt, "exists_prompt.png");
             existsPrompt.findChild<QPushButton*>("BitBtn4")->click();
             When([&] { return counters.doneBytes > 32768; },
                  [&] {
                      progress.ToggleQueue();
                      queue.resize(progress.width(), 120);
                      queue.move(progress.x(), progress.y() + progress.height());
                      // Two ticks, so that every figure has been shown.
                      QTimer::singleShot(1100, [&] {
                          save(progress, "progress_window.png");
                          save(queue, "queue_window.png");
                          rd::ErrorFacts facts;
                          facts.path = w + "/src/photos/notes.txt";
                          facts.error = EIO;
                          errorPrompt.Pose(facts, session.ctx.messages);
                          save(errorPrompt, "error_prompt.png");
                          errorPrompt.hide();
                          countdown.Start(45);
                          save(countdown, "shutdown_countdown.png");
                          countdown.hide();
                          form4.show();
                          save(form4, "settings_dialog.png");
                          const std::pair<const char*, const char*> groups[] = {
                              {"GroupBox3", "settings_general.png"},
                              {"GroupBox2", "settings_on_complete.png"},
                              {"GroupBox1", "settings_on_error.png"},
                              {"GroupBox4", "settings_if_exists.png"}};
                          for (auto [group, picture] : groups)
                              save(*form4.findChild<QWidget*>(group), picture);
                          form4.hide();
                          rd::JobSettings network = session.settings;
                          network.profile = "network";
                          rd::TForm4 networkForm(network, rd::Store::Default(),
                                                 session.ctx.messages);
                          networkForm.ApplyLanguage(session.language);
                          networkForm.show();
                          save(networkForm, "settings_dialog_network.png");
                          SaveResumeWindows(w, session.language, save);
                          std::fflush(nullptr);
                          _exit(0);
                      });
                  });
         });
    return app.exec();
}
