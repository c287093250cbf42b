#include "ui/look.h"

#include "app/language.h"
#include "engine/job_settings.h"
#include "ui/chooser/chooser_window.h"
#include "ui/progress/redodori_wnd.h"
#include "ui/settings/settings_dialog.h"

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

void ReloadLanguage(Language& language, const JobSettings& settings, MessageTable& messages,
                    const LanguageWindows& windows) {
    language.Load(settings.InstallPath, settings.Lngname);
    language.FillMessages(messages);
    CaptionWindows(language, messages, windows);
}

}  // namespace rd
