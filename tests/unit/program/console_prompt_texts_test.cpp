#include "program/console_prompt_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace rd {
namespace {

ConsolePromptTexts Shipped(const std::string& name) {
    Language language;
    language.LoadFile(std::string(REDODORI_SOURCE_DATA_DIR) + "/" + name);
    return ConsolePromptTextsOf(language);
}

// The shipped English file gives exactly the built-in listings.
TEST(ConsolePromptTexts, EnglishIsTheBuiltInListing) {
    const ConsolePromptTexts english = Shipped("english.lng");
    EXPECT_EQ(ErrorPromptListing("m", true, english.error), ErrorPromptListing("m", true));
    EXPECT_EQ(ExistsPromptListing("m", 3, english.exists), ExistsPromptListing("m", 3));
    EXPECT_EQ(ExistsPromptKey('x', 0, english.exists).echo, ExistsPromptKey('x', 0).echo);
    EXPECT_EQ(NamesPromptListing("m", english.names), NamesPromptListing("m"));
    EXPECT_EQ(NamesPromptKey('x', english.names).echo, NamesPromptKey('x').echo);
}

TEST(ConsolePromptTexts, GermanListsTheQuestionsInGerman) {
    const ConsolePromptTexts german = Shipped("german.lng");
    EXPECT_EQ(ErrorPromptListing("Lesefehler", false, german.error),
              "Fehler beim Kopieren\r\nLesefehler\r\nWas soll RedoDori mit diesem Problem tun?\r\n"
              "[A] - Kopiervorgang abbrechen\r\n[R] - Vorgang wiederholen\r\n"
              "[E] - Alle wiederholen\r\n[S] - Diese Datei überspringen\r\n"
              "[K] - Alle überspringen\r\nIhre Wahl: ");
    EXPECT_EQ(ExistsPromptListing("beide", 1, german.exists),
              "Datei ist schon vorhanden\r\nbeide\r\nWas soll RedoDori jetzt tun?\r\n"
              "[A] - Kopiervorgang abbrechen\r\n[R] - Kopieren fortsetzen\r\n"
              "[U] - Alle fortsetzen\r\n[O] - Vorhandene Datei überschreiben\r\n"
              "[E] - Alle überschreiben\r\n[S] - Diese Datei überspringen\r\n"
              "[K] - Alle überspringen\r\n[M] - Alle umbenennen\r\nIhre Wahl: ");
    EXPECT_EQ(NamesPromptListing("zu lang", german.names),
              "Namen, die das Ziel nicht aufnehmen kann\r\nzu lang\r\n"
              "Umbenennen, überspringen oder den Auftrag abbrechen?\r\n[R] - Umbenennen\r\n"
              "[S] - Diese überspringen\r\n[A] - Abbrechen\r\nIhre Wahl: ");
    EXPECT_EQ(ErrorPromptKey('q', false, false, german.error).echo,
              "Ungültige Wahl - [q], bitte noch einmal: \r\n");
}

// A language file without the console's lines keeps the English ones for them.
TEST(ConsolePromptTexts, NoLanguageKeepsTheBuiltInTexts) {
    const ConsolePromptTexts none = ConsolePromptTextsOf(Language());
    EXPECT_EQ(ErrorPromptListing("m", true, none.error), ErrorPromptListing("m", true));
    EXPECT_EQ(ExistsPromptListing("m", 2, none.exists), ExistsPromptListing("m", 2));
    EXPECT_EQ(NamesPromptListing("m", none.names), NamesPromptListing("m"));
}

}  // namespace
}  // namespace rd
