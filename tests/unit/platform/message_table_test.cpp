#include "platform/message_table.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/ini_file.h"
#include "test_support.h"

namespace rd {
namespace {

class MessageTableTest : public ::testing::Test {
protected:
    // Loads `contents` as a language file into the table.
    bool LoadText(const std::string& contents) {
        const std::string path = dir / "lang.lng";
        test::WriteFile(path, contents);
        return table.Load(path);
    }

    test::TempDir dir;
    MessageTable table;
};

TEST_F(MessageTableTest, SectionAndKeysIgnoreCase) {
    ASSERT_TRUE(LoadText("[in CODE]\nV5=Existing\nv6=Size\n"));
    EXPECT_EQ(table.Text(5), "Existing");
    EXPECT_EQ(table.Text(6), "Size");
}

TEST_F(MessageTableTest, ValueIsEverythingAfterTheFirstEquals) {
    ASSERT_TRUE(LoadText("[In code]\nv7= Error = \"x\" \nv32=Store in %s=profile\n"));
    EXPECT_EQ(table.Text(7), " Error = \"x\" ");
    EXPECT_EQ(table.Text(32), "Store in %s=profile");
}

TEST_F(MessageTableTest, EmptyValueAndMissingKeyBothGiveEmptySlots) {
    ASSERT_TRUE(LoadText("[In code]\nv3=\nv4=Size:\n"));
    EXPECT_EQ(table.Text(3), "");
    EXPECT_EQ(table.Text(4), "Size:");
    EXPECT_EQ(table.Text(5), "");
}

TEST_F(MessageTableTest, OnlyPlainSlotNumbersAreKeys) {
    ASSERT_TRUE(
        LoadText("[In code]\nv01=leading zero\nv0=zero\nv66=beyond\nv1x=suffix\n"
                 "v 2=inner blank\nv65=last\n"));
    for (int n = 1; n < MessageTable::kSlots; ++n)
        EXPECT_EQ(table.Text(n), "") << n;
    EXPECT_EQ(table.Text(65), "last");
}

TEST_F(MessageTableTest, TextOutsideTheSlotsIsEmpty) {
    ASSERT_TRUE(LoadText("[In code]\nv1=first\nv65=last\n"));
    EXPECT_EQ(table.Text(0), "");
    EXPECT_EQ(table.Text(66), "");
    EXPECT_EQ(table.Text(-1), "");
}

TEST_F(MessageTableTest, OtherSectionsAreIgnored) {
    ASSERT_TRUE(
        LoadText("v1=before any section\n[Menu]\nv2=menu\n[In code]\nv3=code\n"
                 "[RedoDori]\nv4=window\n[In code extra]\nv5=lookalike\n"));
    EXPECT_EQ(table.Text(1), "");
    EXPECT_EQ(table.Text(2), "");
    EXPECT_EQ(table.Text(3), "code");
    EXPECT_EQ(table.Text(4), "");
    EXPECT_EQ(table.Text(5), "");
}

TEST_F(MessageTableTest, FirstOccurrenceOfAKeyWins) {
    ASSERT_TRUE(LoadText("[In code]\nv8=first\nV8=second\n[Menu]\n[In code]\nv8=third\n"));
    EXPECT_EQ(table.Text(8), "first");
}

TEST_F(MessageTableTest, CommentLinesAreSkipped) {
    ASSERT_TRUE(LoadText("[In code]\n;v9=commented\nv9=real\n"));
    EXPECT_EQ(table.Text(9), "real");
}

TEST_F(MessageTableTest, CrLfLineEndsLoseOnlyTheirCarriageReturn) {
    ASSERT_TRUE(LoadText("[In code]\r\nv10=Open?\r\nv11=Speed:\r\r\nv12=last"));
    EXPECT_EQ(table.Text(10), "Open?");
    EXPECT_EQ(table.Text(11), "Speed:\r");
    EXPECT_EQ(table.Text(12), "last");
}

TEST_F(MessageTableTest, Utf8ByteOrderMarkIsSkipped) {
    ASSERT_TRUE(LoadText("\xEF\xBB\xBF[In code]\nv13=Fr\xC3\xA9\x65\n"));
    EXPECT_EQ(table.Text(13), "Fr\xC3\xA9\x65");
}

TEST_F(MessageTableTest, Utf16LittleEndianFileIsConverted) {
    const std::u16string wide = u"[In code]\r\nv14=Durchschnitt \u00fc\u20ac:\r\nv15=Links\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : wide) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    ASSERT_TRUE(LoadText(bytes));
    EXPECT_EQ(table.Text(14), "Durchschnitt \xC3\xBC\xE2\x82\xAC:");
    EXPECT_EQ(table.Text(15), "Links");
}

TEST_F(MessageTableTest, UnreadableFileKeepsThePreviousTable) {
    ASSERT_TRUE(LoadText("[In code]\nv16=Pause\n"));
    EXPECT_FALSE(table.Load(dir / "missing.lng"));
    EXPECT_FALSE(table.Load(dir.Path()));
    EXPECT_EQ(table.Text(16), "Pause");
}

TEST_F(MessageTableTest, ReloadReplacesEverySlot) {
    ASSERT_TRUE(LoadText("[In code]\nv16=Pause\nv17=Resume\n"));
    ASSERT_TRUE(LoadText("[In code]\nv17=Weiter\n"));
    EXPECT_EQ(table.Text(16), "");
    EXPECT_EQ(table.Text(17), "Weiter");
}

TEST(MessageTableFill, MissingSlotsTakeTheFallbackButEmptyValuesStayEmpty) {
    MessageTable::Texts fallback{};
    fallback[3] = "built-in 3";
    fallback[4] = "built-in 4";
    fallback[63] = "built-in 63";
    IniFile file;
    file.Parse("[In code]\nv4=\nv5=from the file\n");
    MessageTable table;
    EXPECT_FALSE(table.Filled());
    table.Fill(file, &fallback);
    EXPECT_TRUE(table.Filled());
    EXPECT_EQ(table.Text(3), "built-in 3");
    EXPECT_EQ(table.Text(4), "");
    EXPECT_EQ(table.Text(5), "from the file");
    EXPECT_EQ(table.Text(63), "built-in 63");
    // Without a fallback a missing slot is empty.
    table.Fill(file);
    EXPECT_EQ(table.Text(3), "");
}

TEST(ShippedLanguage, EnglishFileLoadsTheEngineTexts) {
    const std::string file = test::SourceDataDir() + "/english.lng";
    MessageTable table;
    ASSERT_TRUE(table.Load(file)) << file;
    EXPECT_FALSE(table.Text(7).empty());
    EXPECT_FALSE(table.Text(12).empty());
    EXPECT_FALSE(table.Text(15).empty());
    EXPECT_NE(table.Text(32).find("%s"), std::string::npos);
}

}  // namespace
}  // namespace rd
