#include "look/language.h"

#include <algorithm>
#include <array>
#include <set>

#include "platform/path_parts.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace rd {

namespace {

// The windows translated by the component-name rule. Their children are listed as the windows
// create them; the widget tests hold the windows to these lists.
const std::vector<CaptionedWindow> kCaptionedWindows = {
    {section::kSettings,
     "Form4",
     {"GroupBox3", "GroupBox2", "GroupBox1", "GroupBox4", "Panel1", "BitBtn1", "BitBtn2",
      "BitBtn3"}},
    {section::kSettings,
     "GroupBox3",
     {"Label1",     "Label2",     "TrackBar1",  "ComboBox1",  "Label3",
      "Label4",     "TrackBar2",  "CheckBox4",  "CheckBox8",  "CheckBox7",
      "CheckBox16", "CheckBox5",  "CheckBox11", "Label14",    "ComboBox6",
      "CheckBox13", "CheckBox10", "CheckBox9",  "CheckBox12", "Label11",
      "Label5",     "Label10",    "ComboBox4",  "ComboBox2",  "ComboBox3"}},
    {section::kSettings,
     "GroupBox2",
     {"CheckBox1", "Edit1", "SpeedButton1", "SpeedButton2", "CheckBox2", "CheckBox3", "CSpinEdit2",
      "Label7"}},
    {section::kSettings,
     "GroupBox1",
     {"RadioButton3", "RadioButton1", "RadioButton2", "CSpinEdit1", "Label6", "CheckBox15",
      "CSpinEdit3", "Label12"}},
    {section::kSettings,
     "GroupBox4",
     {"RadioButton4", "RadioButton5", "RadioButton7", "RadioButton6", "CheckBox6", "CheckBox14",
      "Label13", "ComboBox5"}},
    {section::kSettings, "Panel1", {"Label8", "Label9"}},
    {section::kProgress,
     "RedoDoriWnd",
     {"Image3",       "Image1",       "Image2",       "Label1",       "Label10",
      "Label3",       "Label2",       "Label11",      "Label4",       "Label5",
      "Label6",       "Label8",       "Label9",       "Label7",       "SpeedButton1",
      "SpeedButton2", "SpeedButton3", "SpeedButton4", "SpeedButton5", "PerformanceGraph1"}},
    {section::kChooser, "Form1", {"TreeView1", "ComboBox1", "BitBtn1", "BitBtn2", "BitBtn3"}},
    {section::kErrorPrompt,
     "Form3",
     {"Memo1", "Label1", "BitBtn6", "BitBtn1", "BitBtn2", "BitBtn3", "BitBtn4", "BitBtn5"}},
    {section::kExistsPrompt,
     "Form5",
     {"Memo1", "Label1", "BitBtn1", "BitBtn2", "BitBtn3", "BitBtn6", "BitBtn7", "BitBtn8",
      "BitBtn9", "BitBtn4", "BitBtn5"}},
    {section::kNamesPrompt, "FormNames", {"Memo1", "Label1", "BitBtn1", "BitBtn2", "BitBtn3"}},
    {section::kCountdown, "Form6", {"Label1", "Label2", "Label3", "Label4", "Button1"}},
    {section::kResumeItem, "FormResItem", {"Label1", "Label2", "Label3", "BitBtn1"}},
};

// Keys asked by name, beside those of the rule.
struct NamedKeys {
    std::string_view section;
    std::vector<std::string_view> keys;
};
const std::vector<NamedKeys> kNamedKeys = {
    {section::kLanguage, {"Name", "Locale", "Thousands"}},
    {section::kMenu,
     {"Open1_c",
      "Abort2_c",
      "Savejobandabort1_c",
      "Pause1_c",
      "Skip1_c",
      "Settings1_c",
      "N2_c",
      "Showqueue1_c",
      "Resumeoncrash1_c",
      "N3_c",
      "Shutdownoncomplete1_c",
      "Promptoncomplete1_c",
      "N5_c",
      "Promptonerror1_c",
      "Skiponerror1_c",
      "Retryonerror1_c",
      "Retrytimeout1_c",
      "N4_c",
      "Overwriteolder1_c",
      "Resumeexisting1_c",
      "Prompt1_c",
      "Skip2_c",
      "Overwrite1_c",
      "Renameold1_c"}},
    {section::kChooser,
     {"FormMove_c", "NewFolder_c", "Network_c", "Free_c", "NoNetwork_c", "NoShares_c",
      "Unknown_c"}},
    // The questions as a console wrapper lists them: a line for each key, the last line and
    // the wrong key's line.
    {section::kErrorPrompt,
     {"ConsoleA_c", "ConsoleH_c", "ConsoleR_c", "ConsoleE_c", "ConsoleS_c", "ConsoleK_c",
      "ConsoleChoice_c", "ConsoleIncorrect_c"}},
    {section::kExistsPrompt,
     {"ConsoleA_c", "ConsoleR_c", "ConsoleU_c", "ConsoleO_c", "ConsoleE_c", "ConsoleS_c",
      "ConsoleK_c", "ConsoleN_c", "ConsoleM_c", "ConsoleChoice_c", "ConsoleIncorrect_c"}},
    {section::kNamesPrompt,
     {"ConsoleR_c", "ConsoleS_c", "ConsoleA_c", "ConsoleChoice_c", "ConsoleIncorrect_c"}},
    {section::kResumeManager,
     {"Form1_c", "Column_c_0", "Column_c_1", "Column_c_2", "Column_c_3", "Resumenow1_c",
      "Resumeonrestart1_c", "Deleteentry1_c", "Startminimized1_c", "Unknown_c", "Yes_c", "No_c",
      "More_c", "Empty_c"}},
    {section::kResumeItem, {"Waiting_c", "Canceling_c", "Problem_c"}},
    {section::kQueue, {"Form_c", "Delete1_c", "Wait_c", "Copy_c", "Done_c"}},
    {section::kCredentials, {"Form_c", "Ask_c", "Refused_c", "User_c", "Password_c"}},
};

bool BeginsWith(std::string_view name, std::string_view prefix) {
    return name.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string CaptionKey(std::string_view component) {
    for (std::string_view prefix :
         {"Button", "Label", "CheckBox", "RadioButton", "SpeedButton", "BitBtn"})
        if (BeginsWith(component, prefix))
            return std::string(component) + "_c";
    return {};
}

std::string ContainerKey(std::string_view component) {
    if (BeginsWith(component, "Form"))
        return "Form_c";
    if (BeginsWith(component, "GroupBox") || BeginsWith(component, "TabSheet"))
        return std::string(component) + "_c";
    return {};
}

std::string HintKey(std::string_view component) {
    return std::string(component) + "_h";
}

const std::vector<CaptionedWindow>& CaptionedWindows() {
    return kCaptionedWindows;
}

const std::vector<LanguageKey>& AskedKeys() {
    static const std::vector<LanguageKey> keys = [] {
        std::vector<LanguageKey> all;
        std::set<LanguageKey> seen;
        auto add = [&](std::string_view section, std::string key) {
            LanguageKey k{std::string(section), std::move(key)};
            if (!k.key.empty() && seen.insert(k).second)
                all.push_back(std::move(k));
        };
        for (int n = 1; n <= text_slot::kLastUsed; ++n)
            add(section::kInCode, "v" + std::to_string(n));
        for (const CaptionedWindow& window : kCaptionedWindows) {
            add(window.section, ContainerKey(window.container));
            for (std::string_view child : window.children) {
                add(window.section, CaptionKey(child));
                add(window.section, HintKey(child));
            }
        }
        for (const NamedKeys& named : kNamedKeys)
            for (std::string_view key : named.keys)
                add(named.section, std::string(key));
        return all;
    }();
    return keys;
}

KeyCheck CheckKeys(const IniFile& file) {
    KeyCheck check;
    std::set<LanguageKey> asked;
    for (const LanguageKey& key : AskedKeys()) {
        asked.insert({text::LowerAscii(key.section), text::LowerAscii(key.key)});
        if (!file.Value(key.section, key.key))
            check.missing.push_back(key);
    }
    for (const auto& [section, key] : file.Keys())
        if (!asked.contains({text::LowerAscii(section), text::LowerAscii(key)}))
            check.unused.push_back({section, key});
    return check;
}

void Language::Load(const std::string& installFolder, const std::string& name) {
    LoadFile(name.empty() ? std::string() : paths::FindDataFile(installFolder, name));
    fileName_ = NamePart(name);
    active_ = !name.empty();
}

void Language::LoadFile(const std::string& path) {
    file_ = IniFile();
    fileName_ = NamePart(path);
    active_ = !path.empty();
    if (active_)
        file_.Read(path);
}

std::optional<std::string> Language::Value(std::string_view section, std::string_view key) const {
    if (asked)
        asked(section, key);
    if (!active_)
        return std::nullopt;
    const std::optional<std::string_view> value = file_.Value(section, key);
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

std::string Language::Text(std::string_view section, std::string_view key,
                           std::string_view fallback) const {
    return Value(section, key).value_or(std::string(fallback));
}

LanguageFacts Language::Facts() const {
    return active_ ? ReadLanguageFacts(file_, fileName_) : LanguageFacts();
}

void Language::FillMessages(MessageTable& table) const {
    if (active_ || !table.Filled()) {
        table.Fill(file_, &BuiltInMessages());
        table.SetFacts(Facts());
    }
}

}  // namespace rd
