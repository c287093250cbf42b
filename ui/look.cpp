#include "ui/look.h"

#include <cstdio>

#include "look/language.h"
#include "look/qt_translations.h"
#include "look/skin_pictures.h"
#include "settings/job_settings.h"
#include "ui/chooser/chooser_window.h"
#include "ui/progress/redodori_wnd.h"
#include "ui/settings/settings_dialog.h"

namespace rd {

void CaptionWindows(const Language& language, const MessageTable& messages,
                    const LanguageWindows& windows) {
    if (language.Active())
        InstallQtTranslations(language.Facts());
    if (windows.settings)
        windows.settings->ApplyLanguage(language);
    if (windows.progress)
        windows.progress->ApplyLanguage(language, messages);
    if (windows.chooser)
        windows.chooser->ApplyLanguage(language, messages);
}

namespace {

// One line for what a skin gets wrong. The checks made for a window that has not shown find
// what reading its pictures finds again: a line already told is not told twice.
void TellSkinProblems(const std::string& skin, const SkinPictures& pictures) {
    static QString told;
    if (pictures.problems.isEmpty())
        return;
    const QString line = QStringLiteral("redodori: the skin \"%1\" is used in part: %2")
                             .arg(QString::fromStdString(skin), pictures.problems.join("; "));
    if (line == told)
        return;
    told = line;
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

}  // namespace

void ApplySkin(const JobSettings& settings, TRedoDoriWnd& progress) {
    const std::string install = settings.InstallPath;
    const std::string skin = settings.Skin;
    const bool applied = progress.UseSkin([install, skin] {
        SkinPictures pictures = LoadSkin(install, skin);
        TellSkinProblems(skin, pictures);
        return pictures;
    });
    // A window that may never show still has its skin's headers checked and told.
    if (!applied)
        TellSkinProblems(skin, LoadSkin(install, skin, SkinRead::kChecksOnly));
}

void ReloadLanguage(Language& language, const JobSettings& settings, MessageTable& messages,
                    const LanguageWindows& windows) {
    language.Load(settings.InstallPath, settings.Lngname);
    language.FillMessages(messages);
    CaptionWindows(language, messages, windows);
}

}  // namespace rd
