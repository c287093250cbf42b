#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/text.h"
#include "test_support.h"

namespace rd {
namespace {

using namespace std::string_literals;

IniFile Parsed(const std::string& bytes) {
    IniFile file;
    file.Parse(bytes);
    return file;
}

std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    }
    return bytes;
}

TEST(IniFile, SectionsAndKeysIgnoreCaseAndBlanks) {
    const IniFile file = Parsed("[ Copy_Error ]\r\n  Label1_c =What now?\r\nform_C=Error\r\n");
    EXPECT_EQ(file.Value("copy_error", "LABEL1_C"), "What now?");
    EXPECT_EQ(file.Value("COPY_ERROR", "Form_c"), "Error");
    EXPECT_EQ(file.Value("Copy_Error", "Missing_c"), std::nullopt);
    EXPECT_EQ(file.Value("Other", "Label1_c"), std::nullopt);
}

TEST(IniFile, ValueIsTheRestOfTheLineExactly) {
    const IniFile file = Parsed("[S]\nA= two = signs \nB=\nC==\n");
    EXPECT_EQ(file.Value("S", "A"), " two = signs ");
    // Present but empty is not missing: it blanks a caption.
    EXPECT_EQ(file.Value("S", "B"), "");
    EXPECT_EQ(file.Value("S", "C"), "=");
}

TEST(IniFile, BrokenLinesAreLeftOutOneByOne) {
    const std::string megabyte(1 << 20, 'x');
    const IniFile file = Parsed(
        "Before=no section\n"
        "[S]\n"
        "NoEquals\n"
        "=no key\n"
        "Long=" +
        megabyte + "\n" + "Nul=a\0b\n"s +
        "Latin=Gr\xF6\xDF"
        "e\n"
        "Overlong=\xC0\xAF\n"
        ";Comment=x\n"
        "Good=yes\n"
        "[Broken\n"
        "AfterBroken=lost\n"
        "[T]\n"
        "Fine=ok");
    EXPECT_EQ(file.Value("S", "Good"), "yes");
    EXPECT_EQ(file.Value("T", "Fine"), "ok");
    for (const char* key :
         {"Before", "NoEquals", "Long", "Nul", "Latin", "Overlong", ";Comment", "AfterBroken"})
        EXPECT_EQ(file.Value("S", key), std::nullopt) << key;
    EXPECT_EQ(file.Value("S", ""), std::nullopt);
    ASSERT_EQ(file.Keys().size(), 2u);
}

TEST(IniFile, TheFirstOfRepeatedKeysCounts) {
    const IniFile file = Parsed("[S]\nK=first\nk=second\n[T]\n[s]\nK=third\nL=later\n");
    EXPECT_EQ(file.Value("S", "K"), "first");
    EXPECT_EQ(file.Value("S", "L"), "later");
    ASSERT_EQ(file.Keys().size(), 2u);
    EXPECT_EQ(file.Keys()[0], (std::pair<std::string, std::string>{"S", "K"}));
    EXPECT_EQ(file.Keys()[1], (std::pair<std::string, std::string>{"s", "L"}));
}

TEST(IniFile, ByteOrderMarksChooseTheEncoding) {
    EXPECT_EQ(Parsed("\xEF\xBB\xBF[S]\nK=Gr\xC3\xB6\xC3\x9F"
                     "e\n")
                  .Value("S", "K"),
              "Gr\xC3\xB6\xC3\x9F"
              "e");
    const std::u16string text = u"[S]\r\nK=Gr\u00f6\u00dfe \u20ac\r\n";
    for (bool bigEndian : {false, true})
        EXPECT_EQ(Parsed(Utf16(text, bigEndian)).Value("S", "K"),
                  "Gr\xC3\xB6\xC3\x9F"
                  "e \xE2\x82\xAC")
            << bigEndian;
}

TEST(IniFile, TheWrongEncodingGivesNothingInsteadOfGarbage) {
    // UTF-16 without its byte-order mark: every line holds NUL bytes.
    std::string wide;
    for (char c : std::string("[S]\r\nK=v\r\n")) {
        wide.push_back(c);
        wide.push_back('\0');
    }
    EXPECT_TRUE(Parsed(wide).Keys().empty());
    // Half a UTF-16 character at the end, and an unpaired surrogate.
    static const char bytes[] = "\xFF\xFE[\0S\0]\0\n\0K\0=\0\x00\xD8\n\0L\0=\0v\0\n";
    const IniFile odd = Parsed(std::string(bytes, sizeof bytes - 1));
    EXPECT_EQ(odd.Value("S", "L"), "v");
    EXPECT_EQ(odd.Value("S", "K"), "\xEF\xBF\xBD");
}

TEST(IniFile, ReadsOnlyRegularFilesOfSaneSize) {
    test::TempDir dir;
    IniFile file;
    test::WriteFile(dir / "good.lng", "[S]\nK=v\n");
    ASSERT_TRUE(file.Read(dir / "good.lng"));
    EXPECT_EQ(file.Value("S", "K"), "v");
    EXPECT_FALSE(file.Read(dir / "missing.lng"));
    EXPECT_TRUE(file.Keys().empty());
    EXPECT_FALSE(file.Read(dir.Path()));
    ASSERT_EQ(::mkfifo((dir / "fifo.lng").c_str(), 0600), 0);
    EXPECT_FALSE(file.Read(dir / "fifo.lng"));
    test::WriteFile(dir / "huge.lng", "[S]\nK=v\n" + std::string(IniFile::kMaxFileBytes, ';'));
    EXPECT_FALSE(file.Read(dir / "huge.lng"));
}

TEST(TextChecks, IsUtf8) {
    EXPECT_TRUE(text::IsUtf8(""));
    EXPECT_TRUE(text::IsUtf8("plain \xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80"));
    for (const char* bad : {"\x80", "\xC3", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80",
                            "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xC3\x28"})
        EXPECT_FALSE(text::IsUtf8(bad)) << bad;
}

}  // namespace
}  // namespace rd
