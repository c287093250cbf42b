// Applying the chosen skin and language to the open windows: at start-up, and again after OK in
// the settings dialog, when the user may have chosen others.
#pragma once

namespace rd {

class Language;
class MessageTable;
class TForm1;
class TForm4;
class TRedoDoriWnd;
struct JobSettings;

// The windows a language re-captions; each may be missing. The prompts and the shutdown
// countdown are not among them: they take their captions when a job becomes ready to copy.
struct LanguageWindows {
    TForm4* settings = nullptr;
    TRedoDoriWnd* progress = nullptr;  // with its menu and the queue window
    TForm1* chooser = nullptr;
};

// Re-captions the windows from `language`, the texts made in code from `messages`.
void CaptionWindows(const Language& language, const MessageTable& messages,
                    const LanguageWindows& windows);

// Reads the skin `settings.Skin` names and gives its look to the progress window and, through
// it, to the queue window and the tray: at once when the window has shown, else when it first
// shows, so that a job that never shows it decodes no pictures (their headers are checked all
// the same). What the skin gets wrong is told in one line on stderr; whatever it lacks keeps
// the look the windows have.
void ApplySkin(const JobSettings& settings, TRedoDoriWnd& progress);

// Reads the language `settings.Lngname` names into `language`, fills `messages` from it and
// re-captions the windows.
void ReloadLanguage(Language& language, const JobSettings& settings, MessageTable& messages,
                    const LanguageWindows& windows);

}  // namespace rd
