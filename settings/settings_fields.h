// The settings dialog's values without its widgets: what each control shows for the settings,
// and the rules that enable its controls.
#pragma once

#include <cstdint>
#include <string>

#include "settings/job_settings.h"

namespace rd {

// The unit list's entries, in list order.
namespace unit_entry {
constexpr int32_t kBps = 0;
constexpr int32_t kKbps = 1;
constexpr int32_t kPercent = 2;
}  // namespace unit_entry

// The unit-list entry that shows `limtip`; -1 for a value outside the list.
int32_t UnitEntryOfLimtip(int32_t limtip);
// The `limtip` an entry stands for; 0 (Kbps) for no entry.
int32_t LimtipOfUnitEntry(int32_t entry);

// The shell-integration values of a profile, as the check boxes show them. The desktop
// integration reads them: "default" makes RedoDori the file manager's copy-on-drop action,
// "nomenu" takes RedoDori's actions out of the file manager's menus, "nohlink" takes out its
// "hard link here" action.
struct ShellValues {
    bool defaultHandler = false;  // `CheckBox9`: "default" is 1
    bool shellMenus = true;       // `CheckBox10`: "nomenu" is absent
    bool hardLinkItem = true;     // `CheckBox12`: "nohlink" is absent

    bool operator==(const ShellValues&) const = default;
};

// What the dialog's controls hold.
struct SettingsFields {
    // "General settings".
    int32_t speedLimit = 10;                   // `TrackBar1`
    int32_t unitEntry = unit_entry::kPercent;  // `ComboBox1`
    int32_t bufferSize = 6;                    // `TrackBar2`
    bool resume = false;                       // `CheckBox4`
    bool hist = true;                          // `CheckBox8`
    bool readBurst = false;                    // `CheckBox7`
    bool writeBurst = false;                   // `CheckBox16`
    bool parallel = false;                     // `CheckBox5`
    bool verify = false;                       // `CheckBox11`
    bool reserve = false;                      // `CheckBox13`
    ShellValues shell;                         // `CheckBox9`, `CheckBox10`, `CheckBox12`
    std::string language;                      // `ComboBox4`
    std::string skin;                          // `ComboBox2`
    int32_t wipePasses = 0;                    // `ComboBox3`, 0 to 3
    // "On copy complete".
    bool sound = false;          // `CheckBox1`
    std::string soundPath;       // `Edit1`
    bool openTargets = false;    // `CheckBox2`
    bool shutdown = false;       // `CheckBox3`
    int32_t shutdownDelay = 45;  // `CSpinEdit2`
    // "On error": 0 prompt, 1 retry, 2 skip.
    int32_t onError = 0;          // `RadioButton3`, `RadioButton2`, `RadioButton1`
    int32_t retryDelay = 0;       // `CSpinEdit1`
    bool giveUp = false;          // `CheckBox15`
    int32_t giveUpAfter = 60000;  // `CSpinEdit3`
    // "If file exists": the base choice, 0 prompt or one of onexist::kOverwrite, kSkip,
    // kRenameOld.
    int32_t existChoice = 0;      // `RadioButton4`, `RadioButton5`, `RadioButton7`,
                                  // `RadioButton6`
    bool tryResume = false;       // `CheckBox6`
    bool overwriteOlder = false;  // `CheckBox14`
    // "Names the destination cannot take": a `names` value.
    int32_t names = names::kAsk;  // `ComboBox5`
    // "Checksum manifest": a `manifest` value.
    int32_t manifest = manifest::kNone;  // `ComboBox6`

    bool operator==(const SettingsFields&) const = default;
};

// The highest value of the retry-delay and countdown spin edits.
constexpr int32_t kSpinMax = 999999;

// What the controls show for the in-memory settings. A value outside its range (a damaged or
// hand-edited store) shows its default, so that storing repairs it; the language and skin are
// shown as they are, the lists pick their entries.
SettingsFields FieldsFromSettings(const JobSettings& settings, const ShellValues& shell);

// `onexist` for the fields: the base choice, plus 4 for "Try resume", 16 for "Overwrite if
// older".
int32_t OnExistOf(const SettingsFields& fields);

// Which controls of the two policy groups are enabled.
struct FieldEnabling {
    bool retryDelay = false;   // `CSpinEdit1`, `Label6`: "Retry in:" chosen
    bool giveUp = false;       // `CheckBox15`: "Retry in:" chosen
    bool giveUpAfter = false;  // `CSpinEdit3`, `Label12`: "Retry in:" and "Skip after"
    bool overwrite = false;    // `RadioButton5`: "Overwrite if older" unchecked
};
FieldEnabling EnablingOf(const SettingsFields& fields);

// "Overwrite" has no meaning beside "Overwrite if older": the choice falls back to prompting.
void SettleExistChoice(SettingsFields& fields);

// Verification checked by hand: reading it back is only worth it without the system's cache, so
// both burst modes are checked with it.
void VerificationChecked(SettingsFields& fields);

}  // namespace rd
