#include "platform/message_texts.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/ini_file.h"

namespace rd {
namespace {

TEST(FillIn, PutsValuesInPlaceOfTheirPlaceholdersOnly) {
    EXPECT_EQ(FillIn("%s of %s", {"1,024", "2,048"}), "1,024 of 2,048");
    EXPECT_EQ(FillIn("Wait: %u", {"97"}), "Wait: 97");
    EXPECT_EQ(FillIn("Warten", {"97"}), "Warten");
    EXPECT_EQ(FillIn("%s%s%s", {"a"}), "a%s%s");
    // Other printf conversions are plain text: a file cannot make the program read arguments.
    EXPECT_EQ(FillIn("%d %n %x %%s 100%", {"v"}), "%d %n %x %v 100%");
    EXPECT_EQ(FillIn("", {}), "");
}

TEST(MessageText, BuiltInUntilTheTableIsFilledThenTheTablesOwn) {
    MessageTable table;
    EXPECT_EQ(MessageText(table, text_slot::kOf), "%s of %s");
    EXPECT_EQ(MessageText(table, text_slot::kCancel), "Cancel");
    EXPECT_EQ(MessageText(table, 0), "");
    EXPECT_EQ(MessageText(table, MessageTable::kSlots + 1), "");
    IniFile file;
    file.Parse("[In code]\nv38=%s von %s\nv50=\n");
    table.Fill(file);
    EXPECT_EQ(MessageText(table, text_slot::kOf), "%s von %s");
    // A filled table's empty slot stays empty: the language file chose it so.
    EXPECT_EQ(MessageText(table, text_slot::kCancel), "");
    EXPECT_EQ(MessageText(table, text_slot::kWait), "");
}

TEST(BuiltInMessages, EverySharedSlotHasAText) {
    for (int n = 1; n <= text_slot::kLastUsed; ++n)
        EXPECT_FALSE(BuiltInMessages()[n].empty()) << n;
    for (int n = text_slot::kLastUsed + 1; n <= MessageTable::kSlots; ++n)
        EXPECT_TRUE(BuiltInMessages()[n].empty()) << n;
}

}  // namespace
}  // namespace rd
