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

#include "platform/store.h"
#include "program/job_windows.h"
#include "resume/resume_records.h"
#include "settings/store_keys.h"
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
    rd::ResumeItems items(store, own,
                          [](const std::string&, const std::string&, std::string& error) {
                              error = "not in pictures";
                              return false;
                          });
    items.language = &language;
    rd::TFormResMan manager(store, items);
    manager.ApplyLanguage(language);
    manager.move(100, 300);
    manager.show();
    save(manager, "resume_manager.png");
    items.Resume(342);
    save(*items.Find(342), "resume_item.png");
}

// Makes the work folder's store, data, runtime and state folders and the job's files, and
// points the program's folders there.
std::string PrepareWork(const QString& work, const char* language, const char* skin) {
    const std::string w = work.toStdString();
    for (const char* folder : {"/config", "/data", "/run", "/src/photos", "/dst/photos"})
        QDir().mkpath(work + folder);
    QFile::setPermissions(work + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ::setenv("REDODORI_CONFIG_DIR", (w + "/config").c_str(), 1);
    ::setenv("REDODORI_DATA_DIR", (w + "/data").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (w + "/run").c_str(), 1);
    ::setenv("REDODORI_STATE_DIR", (w + "/state").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (w + "/xdg-config").c_str(), 1);
    ::setenv("REDODORI_FAKE_POWEROFF", (w + "/poweroff").c_str(), 1);

    WriteRandom(w + "/src/photos/holiday-2026-at-the-seaside-with-the-whole-family.raw", 3 << 20);
    WriteRandom(w + "/src/photos/notes.txt", 3000);
    WriteRandom(w + "/dst/notes.txt", 1000);
    QDir().mkpath(work + "/data/favorites");
    std::ofstream(w + "/data/favorites/Backups.lst") << w << "/dst/photos/\r\n/media/backup/\r\n";

    rd::Store& store = rd::Store::Default();
    for (const char* profile : {"local", "network"}) {
        const std::string key = rd::ProfileKey(profile);
        if (language && *language)
            store.WriteText(rd::StoreRoot::CurrentUser, key, "Lngname", language);
        // Default without a skin named, whatever an earlier job in the store wore.
        store.WriteText(rd::StoreRoot::CurrentUser, key, "Skin", skin ? skin : "Default");
    }
    // The progress window where the pictures expect it.
    store.WriteInt(rd::StoreRoot::CurrentUser, std::string(rd::kBaseKey), "F2_Left", 100);
    store.WriteInt(rd::StoreRoot::CurrentUser, std::string(rd::kBaseKey), "F2_Top", 100);
    return w;
}

// A window's picture in `out`/`name`; a shaped window's is what shows of it: the bounds of its
// outline, transparent outside the outline.
void Save(const QString& out, QWidget& window, const char* name) {
    // Layouts and texts settle in posted events.
    QApplication::processEvents();
    const QString path = out + "/" + name;
    QPixmap shot = window.grab();
    if (!window.mask().isEmpty()) {
        const QRegion outline = window.mask() & window.rect();
        QPixmap shaped(outline.boundingRect().size());
        shaped.fill(Qt::transparent);
        QPainter painter(&shaped);
        painter.translate(-outline.boundingRect().topLeft());
        painter.setClipRegion(outline);
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
}

// The chooser of a job without a target, opened at the last destination: the RAM disk the
// caller may have mounted, else the first root.
void SaveChooser(const QString& out, const QString& work, rd::JobWindows& windows) {
    const QString disk = work + "/media/Photos";
    if (QStorageInfo(disk).rootPath() == disk)
        rd::StoreKey(rd::Store::Default(), rd::StoreRoot::CurrentUser, std::string(rd::kBaseKey))
            .WriteText("LastDir", disk.toStdString() + "/");
    rd::TForm1 chooser(rd::Store::Default(), false);
    chooser.ApplyLanguage(windows.JobLanguage(), windows.Session().ctx.messages);
    chooser.move(450, 100);
    chooser.show();
    chooser.SetJobTotal((3 << 20) + 3000);
    Save(out, chooser, "chooser.png");
}

// The pictures taken while the job copies: the progress and queue windows, the error prompt,
// the countdown and the settings dialog of both profiles; then the resume windows.
void SaveCopyingWindows(const QString& out, const std::string& w, rd::JobWindows& windows) {
    const auto save = [&out](QWidget& window, const char* name) { Save(out, window, name); };
    rd::JobSession& session = windows.Session();
    rd::TRedoDoriWnd& progress = windows.Progress();
    rd::TRedoDoriQueue& queue = windows.Queue();
    save(progress, "progress_window.png");
    save(queue, "queue_window.png");
    rd::ErrorFacts facts;
    facts.path = w + "/src/photos/notes.txt";
    facts.error = EIO;
    windows.ErrorPrompt().Pose(facts, session.ctx.messages);
    save(windows.ErrorPrompt(), "error_prompt.png");
    windows.ErrorPrompt().hide();
    windows.Countdown().Start(45);
    save(windows.Countdown(), "shutdown_countdown.png");
    windows.Countdown().hide();
    rd::TForm4& form4 = windows.Settings();
    form4.show();
    save(form4, "settings_dialog.png");
    const std::pair<const char*, const char*> groups[] = {{"GroupBox3", "settings_general.png"},
                                                          {"GroupBox2", "settings_on_complete.png"},
                                                          {"GroupBox1", "settings_on_error.png"},
                                                          {"GroupBox4", "settings_if_exists.png"}};
    for (auto [group, picture] : groups)
        save(*form4.findChild<QWidget*>(group), picture);
    form4.hide();
    rd::JobSettings network = session.settings;
    network.profile = "network";
    rd::TForm4 networkForm(network, session.policy, rd::Store::Default(), session.ctx.messages);
    networkForm.ApplyLanguage(windows.JobLanguage());
    networkForm.show();
    save(networkForm, "settings_dialog_network.png");
    SaveResumeWindows(w, windows.JobLanguage(), save);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString work = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    QDir().mkpath(out);
    const std::string w =
        PrepareWork(work, argc >= 4 ? argv[3] : nullptr, argc == 5 ? argv[4] : nullptr);
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool offscreen = !(display && *display) && !(wayland && *wayland);
    if (offscreen)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

    QApplication app(argc, argv);
    QApplication::setApplicationName("RedoDori");
    // Slowed to the lowest speed limit, so that the windows can be caught while it copies.
    // The small file comes first: it exists at the destination, so the job asks at once.
    const std::string line = "redodori-screenshots |" + w + "/src/photos/notes.txt?" + w +
                             "/src/photos/holiday-2026-at-the-seaside-with-the-whole-family.raw?" +
                             w + "/src/photos?|" + w + "/dst/?|eLk0Lb3";
    // Off screen too, the questions are shown, so that they can be pictured.
    rd::JobWindows windows(line, rd::Store::Default(), offscreen);
    windows.Progress().askInWindows = true;
    if (windows.Start() == rd::JobSession::Start::Ended)
        return 1;
    windows.Countdown().powerOff = [] {};
    SaveChooser(out, work, windows);

    rd::TRedoDoriWnd& progress = windows.Progress();
    const rd::JobCounters& counters = windows.Session().ctx.state.counters;
    When([&] { return windows.ExistsPrompt().isVisible(); },
         [&] {
             Save(out, windows.ExistsPrompt(), "exists_prompt.png");
             windows.ExistsPrompt().findChild<QPushButton*>("BitBtn4")->click();
             When([&] { return counters.doneBytes > 32768; },
                  [&] {
                      progress.ToggleQueue();
                      windows.Queue().resize(progress.width(), 120);
                      windows.Queue().move(progress.x(), progress.y() + progress.height());
                      // Two ticks, so that every figure has been shown.
                      QTimer::singleShot(1100, [&] {
                          SaveCopyingWindows(out, w, windows);
                          // The job is stopped and joined as the windows go, after the loop.
                          QCoreApplication::quit();
                      });
                  });
         });
    return app.exec();
}
