#include "platform/language_facts.h"

#include <gtest/gtest.h>

#include "platform/ini_file.h"

namespace rd {
namespace {

IniFile Parsed(std::string_view text) {
    IniFile file;
    file.Parse(text);
    return file;
}

TEST(LanguageFacts, TheFileSaysWhatItIs) {
    const IniFile file =
        Parsed("[language]\nname=Français\nLOCALE=fr_FR.UTF-8\nThousands= \n[In code]\nv1=x\n");
    EXPECT_EQ(ReadLanguageFacts(file, "french.lng"),
              (LanguageFacts{"Français", "fr_FR.UTF-8", " "}));
}

TEST(LanguageFacts, FilesWithoutTheSectionKeepTheirKnownFacts) {
    const IniFile old = Parsed("[In code]\nv1=x\n");
    const struct {
        const char* file;
        LanguageFacts facts;
    } cases[] = {
        {"german.lng", {"Deutsch", "de_DE.UTF-8", "."}},
        {"German.LNG", {"Deutsch", "de_DE.UTF-8", "."}},
        {"english.lng", {"English", "", ","}},
        {"klingon.lng", {"klingon.lng", "", ","}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadLanguageFacts(old, c.file), c.facts) << c.file;
}

TEST(LanguageFacts, AGivenFactOverridesTheKnownOneAndAnEmptyNameDoesNot) {
    const IniFile file = Parsed("[Language]\nName=\nLocale=de_AT.UTF-8\n");
    EXPECT_EQ(ReadLanguageFacts(file, "german.lng"),
              (LanguageFacts{"Deutsch", "de_AT.UTF-8", "."}));
}

}  // namespace
}  // namespace rd
