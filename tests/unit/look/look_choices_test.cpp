// The language files and skin folders the settings dialog lists, and the entry it picks.
#include "look/look_choices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

namespace rd {
namespace {

TEST(LookChoices, LanguageAndSkinLists) {
    test::PrivateEnvironment env;
    const std::string install = env.Dir() / "install";
    for (const char* folder : {"/skins/Blue", "/skins/.hidden", "/skins/Aqua", "/deutsch.lng"})
        test::RunCommand("mkdir -p '" + install + folder + "'");
    test::WriteFile(install + "/skins/plain", "");
    test::WriteFile(install + "/zulu.lng", "");
    test::WriteFile(install + "/english.lng", "");
    test::WriteFile(install + "/notes.txt", "");
    const std::vector<std::string> languages = LanguageFiles(install);
    // The shipped english.lng is the install folder's own here; no folder named like a file.
    ASSERT_GE(languages.size(), 2u);
    EXPECT_EQ(languages[0], "english.lng");
    EXPECT_EQ(languages[1], "zulu.lng");
    EXPECT_EQ(std::count(languages.begin(), languages.end(), "english.lng"), 1);
    EXPECT_EQ(std::count(languages.begin(), languages.end(), "deutsch.lng"), 0);
    const std::vector<std::string> skins = SkinFolders(install);
    ASSERT_GE(skins.size(), 2u);
    EXPECT_EQ(skins[0] + "," + skins[1], "Aqua,Blue");
    EXPECT_EQ(std::count(skins.begin(), skins.end(), ".hidden") +
                  std::count(skins.begin(), skins.end(), "plain"),
              0);
    EXPECT_EQ(ChoiceIndex(skins, "BLUE"), 1);
    EXPECT_EQ(ChoiceIndex(skins, "Gone"), 0);
    EXPECT_EQ(ChoiceIndex({}, "Gone"), -1);
}

}  // namespace
}  // namespace rd
