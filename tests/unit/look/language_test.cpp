#include "look/language.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

namespace rd {
namespace {

std::string ShippedFolder() {
    return test::SourceDataDir();
}

std::vector<std::string> ShippedLanguageFiles() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(ShippedFolder()))
        if (entry.path().extension() == ".lng")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// The placeholders of a text, in order: "%s" and "%u".
std::string Placeholders(std::string_view text) {
    std::string found;
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '%' && (text[i + 1] == 's' || text[i + 1] == 'u'))
            found += text.substr(i, 2);
    return found;
}

std::string Listed(const std::vector<LanguageKey>& keys) {
    std::string text;
    for (const LanguageKey& key : keys)
        text += "  [" + key.section + "] " + key.key + "\n";
    return text;
}

TEST(LanguageKeys, ComponentNamesMakeTheKeys) {
    // Name, caption key, container key.
    const char* cases[][3] = {{"Label10", "Label10_c", ""},
                              {"BitBtn3", "BitBtn3_c", ""},
                              {"CheckBox16", "CheckBox16_c", ""},
                              {"RadioButton6", "RadioButton6_c", ""},
                              {"SpeedButton2", "SpeedButton2_c", ""},
                              {"Button1", "Button1_c", ""},
                              {"LabelledThing", "LabelledThing_c", ""},
                              {"Memo1", "", ""},
                              {"TreeView1", "", ""},
                              {"label1", "", ""},
                              {"GroupBox3", "", "GroupBox3_c"},
                              {"TabSheet2", "", "TabSheet2_c"},
                              {"Form4", "", "Form_c"},
                              {"FormResItem", "", "Form_c"},
                              {"RedoDoriWnd", "", ""},
                              {"Panel1", "", ""}};
    for (const auto& [name, caption, container] : cases) {
        EXPECT_EQ(CaptionKey(name), caption) << name;
        EXPECT_EQ(ContainerKey(name), container) << name;
        EXPECT_EQ(HintKey(name), std::string(name) + "_h");
    }
    // Each key once; unused slots, memo captions and the progress window's own caption are not
    // asked for.
    const std::set<LanguageKey> asked(AskedKeys().begin(), AskedKeys().end());
    EXPECT_EQ(asked.size(), AskedKeys().size());
    for (const LanguageKey& key : std::vector<LanguageKey>{
             {"In code", "v66"}, {"Copy_Error", "Memo1_c"}, {"RedoDori", "Form_c"}})
        EXPECT_FALSE(asked.contains(key)) << key.section << " " << key.key;
}

TEST(LanguageKeys, TheCheckListsMissingAndUnusedKeys) {
    IniFile file;
    file.Parse("[in code]\nV1=x\nv66=spare\n[Menu]\nOpen1_c=Open\nOpen2_c=typo\n[Nowhere]\nK=v\n");
    const KeyCheck check = CheckKeys(file);
    EXPECT_EQ(check.missing.size(), AskedKeys().size() - 2);
    EXPECT_EQ(std::count(check.missing.begin(), check.missing.end(), LanguageKey{"In code", "v1"}),
              0);
    EXPECT_EQ(check.unused, (std::vector<LanguageKey>{
                                {"in code", "v66"}, {"Menu", "Open2_c"}, {"Nowhere", "K"}}));
}

// The check of every language file shipped with the program: the keys the program asks for
// that a file lacks, and the keys a file has that nothing asks for.
TEST(ShippedLanguages, EveryFileHasEveryKeyAndNoOther) {
    const std::vector<std::string> files = ShippedLanguageFiles();
    ASSERT_GE(files.size(), 2u);
    for (const std::string& path : files) {
        IniFile file;
        ASSERT_TRUE(file.Read(path)) << path;
        const KeyCheck check = CheckKeys(file);
        EXPECT_TRUE(check.missing.empty()) << path << " lacks:\n" << Listed(check.missing);
        EXPECT_TRUE(check.unused.empty()) << path << " has keys nothing asks for:\n"
                                          << Listed(check.unused);
    }
}

TEST(ShippedLanguages, TranslationsKeepTheValuesTheProgramPutsIn) {
    IniFile english;
    ASSERT_TRUE(english.Read(ShippedFolder() + "/english.lng"));
    for (const std::string& path : ShippedLanguageFiles()) {
        IniFile file;
        ASSERT_TRUE(file.Read(path));
        for (const LanguageKey& key : AskedKeys()) {
            const auto value = file.Value(key.section, key.key);
            const auto original = english.Value(key.section, key.key);
            if (value && original) {
                EXPECT_EQ(Placeholders(*value), Placeholders(*original))
                    << path << " [" << key.section << "] " << key.key;
            }
        }
    }
}

TEST(ShippedLanguages, EnglishGivesTheBuiltInMessages) {
    Language english;
    english.LoadFile(ShippedFolder() + "/english.lng");
    for (int n = 1; n <= text_slot::kLastUsed; ++n)
        EXPECT_EQ(english.Value("In code", "v" + std::to_string(n)),
                  std::string(BuiltInMessages()[n]))
            << n;
}

class LanguageTest : public ::testing::Test {
protected:
    void Write(const std::string& name, const std::string& contents) {
        test::WriteFile(env.DataDir() + "/" + name, contents);
    }
    test::PrivateEnvironment env;
};

TEST_F(LanguageTest, NoLanguageOrNoFileKeepsTheBuiltInTexts) {
    Language none, missing, mine;
    none.Load(env.DataDir(), "");
    missing.Load(env.DataDir(), "nowhere.lng");
    EXPECT_FALSE(none.Active());
    EXPECT_TRUE(missing.Active());
    EXPECT_EQ(missing.Text("Copy_To", "Form_c", "RedoDori to..."), "RedoDori to...");
    MessageTable table;
    none.FillMessages(table);
    EXPECT_EQ(table.Text(11), "Speed:");
    // Without a language the table keeps the texts it has.
    Write("mine.lng", "[In code]\nv11=Tempo:\n");
    mine.Load(env.DataDir(), "mine.lng");
    mine.FillMessages(table);
    none.FillMessages(table);
    EXPECT_EQ(table.Text(11), "Tempo:");
    missing.FillMessages(table);
    for (int n = 1; n <= text_slot::kLastUsed; ++n)
        EXPECT_EQ(table.Text(n), BuiltInMessages()[n]) << n;
}

TEST_F(LanguageTest, ABrokenFileGivesWhatItHasAndTheBuiltInTextsForTheRest) {
    Write("broken.lng", "v11=before any section\n[In code]\nv12\nv13=" + std::string(1 << 20, 'x') +
                            "\nv14=Schnitt:\nv15=Gr\xF6\xDF"
                            "e\nv16=\n[Copy_To\nForm_c=lost\n");
    Language broken;
    broken.Load(env.DataDir(), "broken.lng");
    MessageTable table;
    broken.FillMessages(table);
    EXPECT_EQ(table.Text(11), "Speed:");
    EXPECT_EQ(table.Text(12), "Can't write to the destination. Error");
    EXPECT_EQ(table.Text(13), "Free space:");
    EXPECT_EQ(table.Text(14), "Schnitt:");
    EXPECT_EQ(table.Text(15), "Some links could not be made:");
    EXPECT_EQ(table.Text(16), "");
    EXPECT_EQ(broken.Value("Copy_To", "Form_c"), std::nullopt);
}

TEST_F(LanguageTest, TheShippedFilesAreFoundByName) {
    Language german;
    german.Load(env.DataDir(), "german.lng");
    EXPECT_EQ(german.Value("Copy_Error", "Form_c"), "Fehler beim Kopieren");
    // Section and key names are matched without regard to case.
    EXPECT_EQ(german.Value("copy_error", "FORM_C"), "Fehler beim Kopieren");
    std::vector<std::string> asked;
    german.asked = [&](std::string_view section, std::string_view key) {
        asked.push_back(std::string(section) + "/" + std::string(key));
    };
    german.Text("Menu", "Open1_c", "Open");
    EXPECT_EQ(asked, std::vector<std::string>{"Menu/Open1_c"});
}

}  // namespace
}  // namespace rd
