#include "look/skin_description.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ini_file.h"
#include "test_support.h"

namespace rd {
namespace {

SkinDescription Read(std::string_view text) {
    IniFile ini;
    ini.Parse(text);
    return ReadSkinDescription(ini);
}

const SkinLabel& LabelOf(const SkinDescription& d, std::string_view section) {
    for (const SkinLabel& label : d.labels)
        if (label.section == section)
            return label;
    throw std::out_of_range(std::string(section));
}

TEST(SkinColour, PairsFromTheLastUp) {
    const struct {
        const char* text;
        uint32_t fallback, expected;
    } cases[] = {
        {"000000FF", 0x123456, 0x0000FF},      // pure red
        {"80000008", 0, 0x80000008},           // the window-text system colour
        {"00FFFF00", 0, 0xFFFF00},             // aqua
        {"FFFF00", 0x123456, 0x123456},        // six digits
        {"", 0x42, 0x42},                      // nothing
        {"00FFFF000", 0x42, 0x42},             // nine
        {"11223zFF", 0xAABBCCDD, 0xAABBCCFF},  // stops at the first pair that is not hex
        {"zz112233", 0xAABBCCDD, 0xAA112233},  // the highest byte kept
        {"0000ffee", 0, 0xFFEE},               // lower case
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseSkinColour(c.text, c.fallback), c.expected) << c.text;
}

TEST(SkinDescription, EmptyFileGivesTheBuiltInLook) {
    const SkinDescription d = Read("");
    EXPECT_TRUE(d.problems.empty());
    EXPECT_FALSE(d.buttonStates);
    EXPECT_EQ(d.blend, 0);
    EXPECT_FALSE(d.graph.visible);
    EXPECT_FALSE(d.queue.skinned);
    EXPECT_EQ(d.bars[0].mode, 1);
    EXPECT_EQ(d.bars[0].top, 8);
    EXPECT_EQ(d.bars[1].top, 24);
    EXPECT_EQ(d.buttons[4].left, 256);
    EXPECT_EQ(d.buttons[4].top, 60);
    const SkinLabel& label5 = LabelOf(d, "Label5");
    EXPECT_EQ(label5.font, "MS Sans Serif");
    EXPECT_EQ(label5.width, 225);
    EXPECT_EQ(label5.color, skin_colour::kWindowText);
    EXPECT_FALSE(label5.caption);
    EXPECT_FALSE(label5.style);
    EXPECT_EQ(LabelOf(d, "Label7").left, 228);
    EXPECT_EQ(LabelOf(d, "Label7").color, skin_colour::kPurple);
}

TEST(SkinDescription, ValuesAndTheirFallbacks) {
    const struct {
        const char* ini;
        int (*got)(const SkinDescription&);
        int expected;
        size_t problems;
    } cases[] = {
        {"[Main]\nBlend=300", [](auto& d) { return d.blend; }, 255, 1},
        {"[Main]\nBlend=-5", [](auto& d) { return d.blend; }, 0, 1},
        {"[main]\nblend=100", [](auto& d) { return d.blend; }, 100, 0},
        {"[Main]\nBlend=lots", [](auto& d) { return d.blend; }, 0, 1},
        {"[Main]\nButtonStates=true", [](auto& d) { return int(d.buttonStates); }, 1, 0},
        {"[Main]\nButtonStates=2", [](auto& d) { return int(d.buttonStates); }, 1, 0},
        {"[Main]\nButtonStates=maybe", [](auto& d) { return int(d.buttonStates); }, 0, 1},
        {"[Graph]\nLeft=5", [](auto& d) { return d.graph.left; }, 0, 0},  // hidden: not read
        {"[Graph]\nVisible=1\nLeft=5", [](auto& d) { return d.graph.left; }, 5, 0},
        {"[Graph]\nVisible=1\nStyle=5", [](auto& d) { return d.graph.style; }, 5, 0},
        {"[Graph]\nVisible=1\nStepSize=0", [](auto& d) { return d.graph.stepSize; }, 1, 1},
        {"[Graph]\nVisible=1\nForeColor=0000FF00", [](auto& d) { return int(d.graph.foreColor); },
         0xFF00, 0},
        {"[Graph]\nVisible=1\nBackColor=red", [](auto& d) { return int(d.graph.backColor); }, 0, 1},
        {"[Label5]\nWidth=0", [](auto& d) { return LabelOf(d, "Label5").width; }, 0, 0},
        {"[Label5]\nWidth=99999", [](auto& d) { return LabelOf(d, "Label5").width; }, 225, 1},
        {"[Label5]\nLeft=x", [](auto& d) { return LabelOf(d, "Label5").left; }, 56, 1},
        {"[Label1]\nSize=0", [](auto& d) { return LabelOf(d, "Label1").size; }, 8, 1},
        {"[Label1]\nStyle=3", [](auto& d) { return *LabelOf(d, "Label1").style; }, 3, 0},
        {"[Label1]\nStyle=16", [](auto& d) { return int(bool(LabelOf(d, "Label1").style)); }, 0, 1},
        {"[Label6]\nColor=000000FF", [](auto& d) { return int(LabelOf(d, "Label6").color2); },
         0xDD00, 0},
        {"[Label7]\nColor_2=000000FF", [](auto& d) { return int(LabelOf(d, "Label7").color2); },
         0xFF, 0},
        {"[Label1]\nColor_2=000000FF", [](auto& d) { return int(LabelOf(d, "Label1").color2); },
         0xFFFF00, 0},
        {"[SpeedButton4]\nImage=0", [](auto& d) { return int(d.buttons[3].image); }, 0, 0},
        {"[SpeedButton2]\nWidth=-1", [](auto& d) { return d.buttons[1].width; }, 25, 1},
        {"[SpeedButton2]\nFlat=false", [](auto& d) { return int(d.buttons[1].flat); }, 0, 0},
        {"[Image1]\nMode=3\nTop=40", [](auto& d) { return d.bars[0].mode * 100 + d.bars[0].top; },
         340, 0},
        {"[Image2]\nMode=9", [](auto& d) { return d.bars[1].mode; }, 9, 0},
        {"[Queue]\nSize=20", [](auto& d) { return d.queue.size; }, 8, 0},  // plain: not read
        {"[Queue]\nSkinned=1\nSize=20", [](auto& d) { return d.queue.size; }, 20, 0},
        {"[Queue]\nSkinned=1\nScrollBarSize=999", [](auto& d) { return d.queue.scrollBarSize; }, 10,
         1},
        {"[Queue]\nSkinned=1\nColor=00FF0000", [](auto& d) { return int(d.queue.color); }, 0xFF0000,
         0},
    };
    for (const auto& c : cases) {
        const SkinDescription d = Read(c.ini);
        EXPECT_EQ(c.got(d), c.expected) << c.ini;
        EXPECT_EQ(d.problems.size(), c.problems) << c.ini;
    }
}

TEST(SkinDescription, TextsAreKept) {
    const SkinDescription d = Read(
        "[Label2]\nCaption=Datei:\nName=Courier\n[SpeedButton3]\nCaption=II\nCaption_2=>\n"
        "[SpeedButton1]\nCaption_2=ignored\n[Queue]\nSkinned=1\nName=Mono\n");
    EXPECT_EQ(*LabelOf(d, "Label2").caption, "Datei:");
    EXPECT_EQ(LabelOf(d, "Label2").font, "Courier");
    EXPECT_EQ(d.buttons[2].caption, "II");
    EXPECT_EQ(d.buttons[2].caption2, ">");
    EXPECT_EQ(d.buttons[0].caption2, "");
    EXPECT_EQ(d.queue.font, "Mono");
}

TEST(SkinDescription, SkinFolderAlongTheSearchPath) {
    test::PrivateEnvironment env;
    test::TempDir install;
    std::filesystem::create_directories(install / "skins/Mine");
    EXPECT_EQ(FindSkinFolder(install.Path(), "Mine"), install / "skins/Mine");
    EXPECT_NE(FindSkinFolder(install.Path(), "Default"), "");  // the shipped one
    for (const char* name : {"", "..", ".", "a/b", "Nowhere"})
        EXPECT_EQ(FindSkinFolder(install.Path(), name), "") << name;
}

}  // namespace
}  // namespace rd
