#include "ui/settings/settings_only.h"

#include <fcntl.h>
#include <unistd.h>
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

#include "app/command_line.h"
#include "app/settings_policy.h"
#include "app/sound_player.h"
#include "look/language.h"
#include "platform/message_table.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "settings/settings_reader.h"
#include "ui/look.h"
#include "ui/settings/settings_dialog.h"

namespace rd {

namespace {

int closeSignalPipe[2] = {-1, -1};

void OnCloseSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(closeSignalPipe[1], &byte, 1);
}

sigset_t CloseSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

}  // namespace

void HoldCloseSignals() {
    const sigset_t closeSet = CloseSignals();
    ::pthread_sigmask(SIG_BLOCK, &closeSet, nullptr);
}

int RunSettingsOnly(const std::string& line) {
    JobSettings settings;
    settings.profile = ScanProfile(line).value_or("local");
    ReadAllSettings(Store::Default(), settings);
    MessageTable messages;
    Language language;
    language.Load(settings.InstallPath, settings.Lngname);
    language.FillMessages(messages);
    AlsaSoundPlayer sound;
    JobPolicy policy = PolicyOf(settings);
    TForm4 form4(settings, policy, Store::Default(), messages);
    form4.SetSoundPlayer(&sound);
    form4.HideOk();
    CaptionWindows(language, messages, {&form4, nullptr, nullptr});
    QObject::connect(&form4, &TForm4::hidden, [] { QCoreApplication::quit(); });
    std::unique_ptr<QSocketNotifier> closeSignals;
    if (::pipe2(closeSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        closeSignals = std::make_unique<QSocketNotifier>(closeSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(closeSignals.get(), &QSocketNotifier::activated, [&form4] {
            char byte;
            while (::read(closeSignalPipe[0], &byte, 1) > 0) {
            }
            form4.BitBtn2Click();
        });
        std::signal(SIGTERM, OnCloseSignal);
        std::signal(SIGINT, OnCloseSignal);
    }
    const sigset_t closeSet = CloseSignals();
    ::pthread_sigmask(SIG_UNBLOCK, &closeSet, nullptr);
    form4.show();
    QApplication::exec();
    Store::Default().Flush();
    return 0;
}

}  // namespace rd
