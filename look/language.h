// Language files: which sections and keys the program asks for, the rule that turns a control's
// component name into its keys, and the current language with its lookups; the message texts it
// fills come with their built-in ones from platform/message_texts.h. Window-free: ui/ only
// applies what it finds here.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_file.h"
#include "platform/language_facts.h"
#include "platform/message_table.h"
#include "platform/message_texts.h"

namespace rd {

// The sections of a language file.
namespace section {
inline constexpr std::string_view kLanguage = "Language";
inline constexpr std::string_view kInCode = "In code";
inline constexpr std::string_view kSettings = "Settings";
inline constexpr std::string_view kProgress = "RedoDori";
inline constexpr std::string_view kChooser = "Copy_To";
inline constexpr std::string_view kMenu = "Menu";
inline constexpr std::string_view kErrorPrompt = "Copy_Error";
inline constexpr std::string_view kExistsPrompt = "Copy_Exists";
inline constexpr std::string_view kNamesPrompt = "Copy_Names";
inline constexpr std::string_view kCountdown = "Copy_Shutdown";
inline constexpr std::string_view kResumeManager = "ResManager";
inline constexpr std::string_view kResumeItem = "ResItem";
inline constexpr std::string_view kQueue = "Queue";
inline constexpr std::string_view kCredentials = "Credentials";
}  // namespace section

// The key of a control's caption: its component name and "_c" when the name begins with
// "Button", "Label", "CheckBox", "RadioButton", "SpeedButton" or "BitBtn"; empty otherwise.
std::string CaptionKey(std::string_view component);
// The key of a container's own caption: "Form_c" for a name beginning with "Form", the name and
// "_c" for one beginning with "GroupBox" or "TabSheet"; empty otherwise.
std::string ContainerKey(std::string_view component);
// The key of a control's hint: its component name and "_h", for every control.
std::string HintKey(std::string_view component);

struct LanguageKey {
    std::string section;
    std::string key;
    bool operator==(const LanguageKey&) const = default;
    auto operator<=>(const LanguageKey&) const = default;
};

// A window whose captions come from one section by the component-name rule.
struct CaptionedWindow {
    std::string_view section;
    // The window or container (its own caption key), then its direct children.
    std::string_view container;
    std::vector<std::string_view> children;
};

// The windows and containers translated by the component-name rule, as the windows are built.
const std::vector<CaptionedWindow>& CaptionedWindows();

// Every key the program asks for, section by section, without repeats.
const std::vector<LanguageKey>& AskedKeys();

// What a language file lacks of the asked keys, and the keys it gives that nothing asks for
// (each as the file spells it).
struct KeyCheck {
    std::vector<LanguageKey> missing;
    std::vector<LanguageKey> unused;
};
KeyCheck CheckKeys(const IniFile& file);

// The current language file.
class Language {
public:
    // Reads the language file `name` along the data search path of `installFolder`. An empty
    // name means no language: nothing is read and the windows keep their texts. A file that
    // cannot be found or read gives no texts, so that everything keeps its built-in text.
    void Load(const std::string& installFolder, const std::string& name);
    // Reads the file at `path` (empty: no language).
    void LoadFile(const std::string& path);

    // Whether a language is chosen: the windows are then translated.
    bool Active() const { return active_; }

    // The file's text for `key` in `section`; nothing when the file does not give it or no
    // language is chosen.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    // The same, or `fallback`.
    std::string Text(std::string_view section, std::string_view key,
                     std::string_view fallback) const;

    // The facts of the language (platform/language_facts.h); English ones without a language.
    LanguageFacts Facts() const;

    // Fills the message table: the file's texts, the built-in ones for slots it lacks, and the
    // language's facts. Without a language the table keeps what it has (the built-in texts the
    // first time).
    void FillMessages(MessageTable& table) const;

    // Told every section and key looked up (tests list what the windows ask for).
    std::function<void(std::string_view section, std::string_view key)> asked;

private:
    bool active_ = false;
    IniFile file_;
    std::string fileName_;
};

}  // namespace rd
