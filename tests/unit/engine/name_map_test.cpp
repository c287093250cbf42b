#include "engine/name_map.h"

#include <gtest/gtest.h>

#include "platform/volume_rules.h"

namespace rd {
namespace {

struct LookAlikeCase {
    const char* name;
    const char* expected;
};

class LookAlikeOnExfat : public testing::TestWithParam<LookAlikeCase> {};

TEST_P(LookAlikeOnExfat, EachRefusedCharacterBecomesItsLookAlike) {
    EXPECT_EQ(LookAlikeName(GetParam().name, RulesOfType("exfat")), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, LookAlikeOnExfat,
    testing::Values(LookAlikeCase{"plain.txt", "plain.txt"}, LookAlikeCase{"a:b", "a\uFF1Ab"},
                    LookAlikeCase{"q?", "q\uFF1F"}, LookAlikeCase{"star*", "star\uFF0A"},
                    LookAlikeCase{"<>", "\uFF1C\uFF1E"}, LookAlikeCase{"a|b", "a\uFF5Cb"},
                    LookAlikeCase{"\"q\"", "\uFF02q\uFF02"}, LookAlikeCase{"back\\", "back\uFF3C"},
                    LookAlikeCase{"tab\there", "tab\u2409here"},
                    // Only the last dot is an ending; exFAT keeps a trailing space.
                    LookAlikeCase{"end..", "end.\uFF0E"}, LookAlikeCase{"space ", "space "},
                    LookAlikeCase{"été:", "été\uFF1A"}));

TEST(LookAlikeName, WhereOnlyAsciiIsTakenRefusedCharactersBecomeUnderscores) {
    VolumeRules rules = RulesOfType("vfat");
    rules.asciiOnly = true;
    EXPECT_EQ(LookAlikeName("été:x.", rules), "_t__x_");
    EXPECT_EQ(LookAlikeName("ok name", rules), "ok name");
    EXPECT_EQ(LookAlikeName("trail ", rules), "trail_");
}

TEST(LookAlikeName, ANativeFileSystemTakesEveryName) {
    const VolumeRules rules = RulesOfType("ext4");
    EXPECT_EQ(LookAlikeName("a:b?*. ", rules), "a:b?*. ");
}

TEST(FoldedName, NamesThatDifferInCaseOnlyShareTheirKey) {
    EXPECT_EQ(FoldedName("Photo.JPG"), FoldedName("photo.jpg"));
    EXPECT_EQ(FoldedName("ÉTÉ"), FoldedName("été"));
    EXPECT_NE(FoldedName("photo.jpg"), FoldedName("photo.jpeg"));
    // Bytes that are not UTF-8 are kept as they are, never dropped.
    EXPECT_EQ(FoldedName("A\xff"), "a\xff");
    EXPECT_NE(FoldedName("a\xff"), FoldedName("a\xfe"));
}

TEST(NumberedName, TheNumberGoesBeforeAFilesExtension) {
    EXPECT_EQ(NumberedName("photo.jpg", 2, false), "photo (2).jpg");
    EXPECT_EQ(NumberedName("archive.tar.gz", 3, false), "archive.tar (3).gz");
    EXPECT_EQ(NumberedName(".bashrc", 2, false), ".bashrc (2)");
    EXPECT_EQ(NumberedName("README", 2, false), "README (2)");
    EXPECT_EQ(NumberedName("v1.2", 2, true), "v1.2 (2)");
}

}  // namespace
}  // namespace rd
