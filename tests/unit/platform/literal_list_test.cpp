#include "platform/literal_list.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/text.h"

namespace rd::text {
namespace {

using namespace std::string_literals;

TEST(LiteralList, HeaderAndEntriesEachEndedByNul) {
    EXPECT_EQ(kLiteralListHeader.size(), 23u);
    EXPECT_EQ(LiteralListBytes({"/a?b", "/c"}), "\0RedoDori literal list\n/a?b\0/c\0"s);
    EXPECT_EQ(LiteralListBytes({}), std::string(kLiteralListHeader));
    // Empty entries name nothing and are left out.
    EXPECT_EQ(LiteralListBytes({"", "/x", ""}), "\0RedoDori literal list\n/x\0"s);
}

TEST(LiteralList, EveryByteButNulComesBackAsWritten) {
    const std::vector<std::string> names{
        "/w/a*",        "/w/x?y",    "/w/a|b",      "/w/q1 q2",    "/w/cr\rname",
        "/w/lf\nname",  "/w/\r\n",   "/w/\xFF\xFE", "/w/\xC3\x28", "/w/ leading",
        "/w/trailing/", "\xE9t\xE9", "relative*",   "/w/\x01\x7F",
    };
    const std::string bytes = LiteralListBytes(names);
    EXPECT_TRUE(IsLiteralList(bytes));
    bool whole = false;
    EXPECT_EQ(SplitLiteralList(bytes, &whole), names);
    EXPECT_TRUE(whole);
    // Every list reader takes the form.
    EXPECT_EQ(SplitListFile(bytes), names);
}

TEST(LiteralList, RandomNamesRoundTrip) {
    std::mt19937 random(2718);
    for (int round = 0; round < 500; ++round) {
        std::vector<std::string> names(random() % 6);
        for (std::string& name : names) {
            name.resize(1 + random() % 40);
            for (char& c : name)
                c = static_cast<char>(1 + random() % 255);
        }
        EXPECT_EQ(SplitLiteralList(LiteralListBytes(names)), names);
    }
}

TEST(LiteralList, OnlyTheWholeHeaderMarksIt) {
    const struct {
        std::string data;
        bool literal;
    } cases[] = {
        {std::string(kLiteralListHeader), true},
        {std::string(kLiteralListHeader) + "/a\0"s, true},
        {"\0RedoDori literal list"s, false},
        {"\0RedoDori literal list\r\n/a\0"s, false},
        {"RedoDori literal list\n/a\0"s, false},
        {"\xFF\xFE\0\0"s, false},
        {"/a\r\n"s, false},
        {""s, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsLiteralList(c.data), c.literal) << c.data.substr(1);
    // A list in lines that happens to begin with a NUL byte is no literal list: its lines read.
    EXPECT_EQ(SplitListFile("\0RedoDori\r\n/a\r\n"s), std::vector<std::string>{"/a"});
}

TEST(LiteralList, AnEntryCutShortIsNotTaken) {
    // "/home/u" cut from "/home/u/photos" would name another folder: it is dropped, and said.
    const std::string bytes = LiteralListBytes({"/a", "/home/u/photos"});
    bool whole = true;
    EXPECT_EQ(SplitLiteralList(bytes.substr(0, bytes.size() - 8), &whole),
              std::vector<std::string>{"/a"});
    EXPECT_FALSE(whole);
    EXPECT_EQ(SplitLiteralList(std::string(kLiteralListHeader) + "\0\0/b\0"s, &whole),
              std::vector<std::string>{"/b"});
    EXPECT_TRUE(whole);
}

TEST(InlineTargetField, OnlyFoldersTheTargetFieldCanCarry) {
    const struct {
        std::vector<std::string> folders;
        const char* switches;
        std::optional<std::string> field;
    } cases[] = {
        {{"/backup", "/media/usb/"}, "", "/backup?/media/usb/?"},
        {{"/"}, "m", "/?"},
        {{}, "q1", ""},
        {{"", "/a"}, "", "/a?"},
        {{"/d/cr\r\nlf", "/d/*"}, "", "/d/cr\r\nlf?/d/*?"},
        {{"/a", "/x?y"}, "", std::nullopt},
        {{"/a|b"}, "", std::nullopt},
        // A "q" is read as the profile before the switches: only when that changes nothing.
        {{"/equipment"}, "", "/equipment?"},
        {{"/equipment"}, "uwq2", "/equipment?"},
        {{"/equipment"}, "uwq1", std::nullopt},
        {{"/q1"}, "", std::nullopt},
        {{"/q1"}, "q1", "/q1?"},
        {{"/q2"}, "", "/q2?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InlineTargetField(c.folders, c.switches), c.field)
            << (c.folders.empty() ? "" : c.folders.back()) << " " << c.switches;
}

TEST(TargetFieldKeepsProfile, TheFirstQAfterTheSourceFieldDecides) {
    const struct {
        const char* field;
        const char* switches;
        bool kept;
    } cases[] = {
        {"/list", "q1", true},
        {"/home/jacques/l", "q2", true},
        {"/home/jacques/l", "q1", false},
        {"/home/q1/l", "", false},
        {"/home/q1/l", "mq1", true},
        {"/a/q", "q1", false},
        {"/a/q", "", true},
        {"", "q1", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TargetFieldKeepsProfile(c.field, c.switches), c.kept)
            << c.field << "|" << c.switches;
}

}  // namespace
}  // namespace rd::text
