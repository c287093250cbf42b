#include "ui/look.h"

#include <cstdio>

#include "app/language.h"
#include "engine/job_settings.h"
#include "ui/chooser/chooser_window.h"
#include "ui/progress/redodori_wnd.h"
#include "ui/settings/settings_dialog.h"
#include "ui/skin_pictures.h"

namespace rd {

void CaptionWindows(const Language& language, const MessageTable& messages,
                    const LanguageWindows& windows) {
    if (windows.settings)
        windows.settings->ApplyLanguage(language);
    if (windows.progress)
        windows.progress->ApplyLanguage(language, messages);
    if (windows.chooser)
        windows.chooser->ApplyLanguage(language, messages);
}

void ApplySkin(const JobSettings& settings, TRedoDoriWnd& progress) {
    const SkinPictures skin = LoadSkin(settings.InstallPath, settings.Skin);
    if (!skin.problems.isEmpty())
        std::fprintf(stderr, "redodori: the skin \"%s\" is used in part: %s\n",
                     settings.Skin.c_str(), qPrintable(skin.problems.join("; ")));
    progress.ApplySkin(skin);
}

void ReloadLanguage(Language& language, const JobSettings& settings, MessageTable& messages,
                    const LanguageWindows& windows) {
    language.Load(settings.InstallPath, settings.Lngname);
    language.FillMessages(messages);
    CaptionWindows(language, messages, windows);
}

}  // namespace rd
