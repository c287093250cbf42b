#include "platform/text.h"

#include <gtest/gtest.h>
#include <climits>
#include <cstdint>
#include <random>

using rd::text::Format;
using rd::text::GroupThousands;
using rd::text::SplitListFile;
using rd::text::Utf16ToUtf8;
using rd::text::Utf8ToUtf16;
using Items = std::vector<std::string>;
using namespace std::string_literals;

namespace {

// A UTF-16LE list file: byte-order mark, then every unit low byte first.
std::string Utf16File(std::u16string_view text) {
    std::string data = "\xFF\xFE";
    for (char16_t unit : text) {
        data.push_back(static_cast<char>(unit & 0xFF));
        data.push_back(static_cast<char>(unit >> 8));
    }
    return data;
}

}  // namespace

TEST(SplitListFile, Utf16LineBreaks) {
    EXPECT_EQ(SplitListFile(Utf16File(u"/a/one\r\n/b/two\r\n")), (Items{"/a/one", "/b/two"}));
    // A line feed alone does not end a line.
    EXPECT_EQ(SplitListFile(Utf16File(u"/a\n/b\n/c")), (Items{"/a\n/b\n/c"}));
    // The last line counts without a closing break, and runs of breaks give no empty items.
    EXPECT_EQ(SplitListFile(Utf16File(u"\r\n\r\r/x\r\r\n\n\r/y")), (Items{"/x", "/y"}));
}

TEST(SplitListFile, Utf16ItemsBecomeUtf8) {
    EXPECT_EQ(SplitListFile(Utf16File(u"/d\u00e9j\u00e0/\U0001F600\r\n")),
              (Items{"/d\xC3\xA9j\xC3\xA0/\xF0\x9F\x98\x80"}));
    EXPECT_EQ(SplitListFile(Utf16File(u"/bad\xD800name")), (Items{"/bad\xEF\xBF\xBDname"}));
}

TEST(SplitListFile, Utf16OddTrailingByteIsIgnored) {
    std::string data = Utf16File(u"/a\r/b");
    EXPECT_EQ(SplitListFile(data + "\x41"), (Items{"/a", "/b"}));
    // The smallest UTF-16 file: the mark and half a character.
    EXPECT_EQ(SplitListFile("\xFF\xFE\x41"), Items{});
    EXPECT_EQ(SplitListFile("\xFF\xFE\x41\x00"s), Items{"A"});
}

TEST(SplitListFile, ZeroCharacters) {
    EXPECT_EQ(SplitListFile(Utf16File(u"\0skip\r/keep\r/cut\0tail"s)), (Items{"/keep", "/cut"}));
    EXPECT_EQ(SplitListFile("\0skip\r\n/keep\r\n/cut\0tail"s), (Items{"/keep", "/cut"}));
}

TEST(SplitListFile, ShortData) {
    EXPECT_EQ(SplitListFile(""), Items{});
    EXPECT_EQ(SplitListFile("a"), Items{});
    EXPECT_EQ(SplitListFile("\xFF\xFE"), Items{});
    EXPECT_EQ(SplitListFile("ab"), Items{"ab"});
    EXPECT_EQ(SplitListFile("\r\n"), Items{});
}

TEST(SplitListFile, EightBitKeptByteForByte) {
    EXPECT_EQ(SplitListFile("/a/one\r\n/b/two"), (Items{"/a/one", "/b/two"}));
    EXPECT_EQ(SplitListFile("/a\n/b\n"), (Items{"/a\n/b\n"}));
    // Not valid UTF-8, yet a legal Linux name: no conversion, no replacement.
    EXPECT_EQ(SplitListFile("/x\xFF\xFE\x80y\r/\xC3\r"), (Items{"/x\xFF\xFE\x80y", "/\xC3"}));
    // A byte-order mark of another kind is not UTF-16.
    EXPECT_EQ(SplitListFile("\xFE\xFF/a\r"), (Items{"\xFE\xFF/a"}));
}

TEST(SplitListFile, LongLinesKeptWhole) {
    const std::string longName = "/" + std::string(3 * PATH_MAX, 'n');
    EXPECT_EQ(SplitListFile(longName + "\r\n/short\r\n"), (Items{longName, "/short"}));
    const std::u16string longWide = u"/" + std::u16string(3 * PATH_MAX, u'\u00e9');
    const Items items = SplitListFile(Utf16File(longWide));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].size(), 1 + 2 * 3 * PATH_MAX);
}

TEST(SplitListFile, RandomBytesNeverYieldBreaksOrZeros) {
    std::mt19937 random(12345);
    for (int round = 0; round < 4000; ++round) {
        std::string data(random() % 200, '\0');
        // Few distinct bytes make breaks, zeros and the byte-order mark common.
        const unsigned range = round % 2 ? 256 : 6;
        const unsigned char alphabet[6] = {0x0D, 0x0A, 0x00, 0xFF, 0xFE, 'a'};
        for (char& c : data)
            c = static_cast<char>(range == 256 ? random() % 256 : alphabet[random() % 6]);
        if (round % 3 == 0 && data.size() >= 2)
            data.replace(0, 2, "\xFF\xFE");
        for (const std::string& item : SplitListFile(data)) {
            EXPECT_FALSE(item.empty());
            EXPECT_EQ(item.find('\r'), std::string::npos);
            EXPECT_EQ(item.find('\0'), std::string::npos);
        }
    }
}

TEST(Utf, RoundTripOutsideTheBasicPlane) {
    const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
    const std::u16string utf16 = Utf8ToUtf16(utf8);
    EXPECT_EQ(utf16, u"a\u00e9\u20ac\U0001F600\U0010FFFF");
    EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
}

TEST(Utf, GarbageBecomesReplacementCharacters) {
    // Stray continuation, lone lead byte, overlong form, encoded surrogate, above U+10FFFF.
    EXPECT_EQ(Utf8ToUtf16("\x80"), u"\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    // A broken sequence does not swallow the character that broke it.
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82z"), u"\uFFFDz");
    EXPECT_EQ(Utf8ToUtf16("\0x"s), u"\0x"s);

    EXPECT_EQ(Utf16ToUtf8(u"\xD800"), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(u"\xDC00\xD800"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(u"x\xD83Dy"), "x\xEF\xBF\xBDy");
}

TEST(Utf, RandomBytesAlwaysGiveValidUtf16) {
    std::mt19937 random(777);
    for (int round = 0; round < 2000; ++round) {
        std::string data(random() % 64, '\0');
        for (char& c : data)
            c = static_cast<char>(0x80 + random() % 128);
        const std::u16string utf16 = Utf8ToUtf16(data);
        // Every surrogate produced must be part of a proper pair.
        for (size_t i = 0; i < utf16.size(); ++i) {
            if (utf16[i] >= 0xD800 && utf16[i] <= 0xDBFF) {
                ASSERT_LT(i + 1, utf16.size());
                ASSERT_GE(utf16[i + 1], 0xDC00);
                ++i;
            } else {
                ASSERT_FALSE(utf16[i] >= 0xDC00 && utf16[i] <= 0xDFFF);
            }
        }
        EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(utf16)), utf16);
    }
}

TEST(GroupThousands, Edges) {
    EXPECT_EQ(GroupThousands(0), "0");
    EXPECT_EQ(GroupThousands(999), "999");
    EXPECT_EQ(GroupThousands(1000), "1,000");
    EXPECT_EQ(GroupThousands(100000), "100,000");
    EXPECT_EQ(GroupThousands(1234567), "1,234,567");
    EXPECT_EQ(GroupThousands(UINT64_MAX), "18,446,744,073,709,551,615");
}

TEST(GroupThousands, TheLanguagesSeparator) {
    const struct {
        uint64_t value;
        const char* separator;
        const char* grouped;
    } cases[] = {
        {134072, ".", "134.072"},       {6297456, ".", "6.297.456"}, {999, ".", "999"},
        {1000, "\u202f", "1\u202f000"}, {1234567, "", "1234567"},    {0, ".", "0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GroupThousands(c.value, c.separator), c.grouped) << c.value;
}

TEST(Format, SixtyFourBitConversions) {
    EXPECT_EQ(Format("%Li bytes", 5000000000LL), "5000000000 bytes");
    EXPECT_EQ(Format("%Ld|%Lu", -5000000000LL, 18000000000000000000ULL),
              "-5000000000|18000000000000000000");
    EXPECT_EQ(Format("[%5Lu][%-5Li][%05Ld]", 42ULL, 7LL, -3LL), "[   42][7    ][-0003]");
    EXPECT_EQ(Format("%LX", 0x1234567890ULL), "1234567890");
}

TEST(Format, LiteralsAndOtherConversions) {
    // "%%L" is a percent sign followed by a plain L, not a conversion.
    EXPECT_EQ(Format("100%% %%Li %Li%%", 1LL << 40), "100% %Li 1099511627776%");
    EXPECT_EQ(Format("Error %u: %s", 2u, "/x/y"), "Error 2: /x/y");
    EXPECT_EQ(Format("%.2Lf", 1.5L), "1.50");
    EXPECT_EQ(Format("tail L"), "tail L");
    EXPECT_EQ(Format(""), "");
    const std::string big(10000, 'q');
    EXPECT_EQ(Format("<%s>", big.c_str()), "<" + big + ">");
}
