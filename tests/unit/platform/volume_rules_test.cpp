#include "platform/volume_rules.h"

#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/test_support.h"

namespace rd {
namespace {

struct TypeCase {
    const char* type;
    bool refusesColon;
    bool foldsCase;
    uint64_t largestFile;
    bool links;
};

class RulesByType : public testing::TestWithParam<TypeCase> {};

TEST_P(RulesByType, TheTableSaysWhatEachTypeTakes) {
    const TypeCase& c = GetParam();
    const VolumeRules rules = RulesOfType(c.type);
    EXPECT_EQ(!rules.TakesName("a:b"), c.refusesColon) << c.type;
    EXPECT_EQ(rules.foldsCase, c.foldsCase) << c.type;
    EXPECT_EQ(rules.largestFile, c.largestFile) << c.type;
    EXPECT_EQ(rules.symbolicLinks, c.links) << c.type;
}

constexpr uint64_t kFat = (uint64_t{1} << 32) - 1;
INSTANTIATE_TEST_SUITE_P(
    Types, RulesByType,
    testing::Values(TypeCase{"vfat", true, true, kFat, false},
                    TypeCase{"msdos", true, true, kFat, false},
                    TypeCase{"fuse.fusefat", true, true, kFat, false},
                    TypeCase{"exfat", true, true, kNoFileSizeLimit, false},
                    TypeCase{"ntfs3", true, false, kNoFileSizeLimit, true},
                    TypeCase{"cifs", true, true, kNoFileSizeLimit, false},
                    TypeCase{"ext4", false, false, kNoFileSizeLimit, true},
                    // A FUSE mount's type does not tell its rules: the probes do.
                    TypeCase{"fuseblk", false, false, kNoFileSizeLimit, true}));

TEST(VolumeRules, NamesAreHeldAgainstEveryRule) {
    VolumeRules fat = RulesOfType("vfat");
    EXPECT_TRUE(fat.TakesName("photo.jpg"));
    EXPECT_TRUE(fat.TakesName("été"));
    EXPECT_FALSE(fat.TakesName("q?"));
    EXPECT_FALSE(fat.TakesName("dot."));
    EXPECT_FALSE(fat.TakesName("space "));
    EXPECT_FALSE(fat.TakesName("bell\x07"));
    EXPECT_TRUE(fat.TakesName(".hidden"));
    fat.asciiOnly = true;
    EXPECT_FALSE(fat.TakesName("été"));
    EXPECT_FALSE(RulesOfType("exfat").TakesName("dot."));
    EXPECT_TRUE(RulesOfType("exfat").TakesName("space "));
}

TEST(VolumeRules, OnlyForeignTypesHaveTheirNamesProbed) {
    EXPECT_FALSE(NamesNeedProbing("ext4"));
    EXPECT_FALSE(NamesNeedProbing("tmpfs"));
    EXPECT_TRUE(NamesNeedProbing("fuseblk"));
    EXPECT_TRUE(NamesNeedProbing("vfat"));
    EXPECT_TRUE(NamesNeedProbing(""));
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    while (dir && readdir(dir))
        names.emplace_back();
    if (dir)
        closedir(dir);
    return names;
}

TEST(VolumeRules, AFolderNotMadeYetIsMeasuredWhereItWillBeMadeAndTheProbesLeaveNothing) {
    test::TempDir dir;
    const std::string root = dir.Path();
    const size_t before = Entries(root).size();
    const VolumeRules rules = ReadVolumeRules(root + "/not/made/yet");
    EXPECT_TRUE(rules.probed);
    EXPECT_GT(rules.freeBytes, 0);
    EXPECT_GT(rules.blockSize, 0u);
    // The folder the tests run in is on a file system of this system's own.
    EXPECT_FALSE(rules.foldsCase);
    EXPECT_TRUE(rules.TakesName("a:b?"));
    EXPECT_EQ(Entries(root).size(), before);
    struct stat st {};
    EXPECT_NE(stat((root + "/not").c_str(), &st), 0);
}

}  // namespace
}  // namespace rd
