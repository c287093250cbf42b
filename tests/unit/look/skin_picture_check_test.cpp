#include "look/skin_picture_check.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/paths.h"

namespace rd {
namespace {

void Put(std::string& bytes, size_t at, int64_t value, int count) {
    for (int i = 0; i < count; ++i)
        bytes[at + i] = static_cast<char>((static_cast<uint64_t>(value) >> (8 * i)) & 0xFF);
}

struct Bmp {
    int64_t width = 2, height = 2;
    int bits = 24;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    int64_t offset = -1;  // -1: right after the headers
    size_t data = 16;     // bytes of pixel data after the offset

    // The whole file.
    std::string Bytes() const {
        const bool core = headerSize == 12;
        std::string bytes(14 + headerSize, '\0');
        bytes[0] = 'B';
        bytes[1] = 'M';
        const int64_t at = offset < 0 ? 14 + headerSize : offset;
        Put(bytes, 10, at, 4);
        Put(bytes, 14, headerSize, 4);
        if (core) {
            Put(bytes, 18, width, 2);
            Put(bytes, 20, height, 2);
            Put(bytes, 22, 1, 2);
            Put(bytes, 24, bits, 2);
        } else {
            Put(bytes, 18, width, 4);
            Put(bytes, 22, height, 4);
            Put(bytes, 26, 1, 2);
            Put(bytes, 28, bits, 2);
            Put(bytes, 30, compression, 4);
        }
        bytes.resize(std::max<size_t>(bytes.size(), at), '\0');
        bytes.append(data, '\x55');
        Put(bytes, 2, static_cast<int64_t>(bytes.size()), 4);
        return bytes;
    }
};

struct HeaderCase {
    const char* name;
    std::string file;
    std::optional<PictureSize> expected;  // nothing: refused
    const char* why = "";                 // a part of the reason given
};

std::string Cut(const std::string& bytes, size_t size) {
    return bytes.substr(0, size);
}

const HeaderCase kHeaderCases[] = {
    // Pixel data that fits.
    {"Bits24RowsOf8Bytes", Bmp{}.Bytes(), PictureSize{2, 2}},
    {"MoreDataThanNeeded", Bmp{.data = 100}.Bytes(), PictureSize{2, 2}},
    {"RowsFromTheTopDown", Bmp{.height = -2}.Bytes(), PictureSize{2, 2}},
    {"Bit1With33PixelsInTwoWords", Bmp{.width = 33, .height = 1, .bits = 1, .data = 8}.Bytes(),
     PictureSize{33, 1}},
    {"BitFields32AfterTheHeader",
     Bmp{.width = 4, .height = 4, .bits = 32, .compression = 3, .offset = 54 + 12, .data = 64}
         .Bytes(),
     PictureSize{4, 4}},
    {"OldOs2Header", Bmp{.width = 3, .bits = 24, .headerSize = 12, .data = 24}.Bytes(),
     PictureSize{3, 2}},
    {"Version5Header", Bmp{.headerSize = 124}.Bytes(), PictureSize{2, 2}},
    {"TheLargestSide", Bmp{.width = 4096, .height = 1, .bits = 8, .data = 4096}.Bytes(),
     PictureSize{4096, 1}},

    // Headers that claim more than the file holds.
    {"Forged4000x4000At32Bits", Bmp{.width = 4000, .height = 4000, .bits = 32, .data = 10}.Bytes(),
     std::nullopt, "the header claims 4000x4000 pixels of 32 bits, more than the 10 bytes"},
    {"OneByteShort", Bmp{.data = 15}.Bytes(), std::nullopt, "more than the 15 bytes"},
    {"LastRowPaddingMissing", Bmp{.width = 1, .height = 2, .data = 7}.Bytes(), std::nullopt,
     "2 pixels"},
    {"SidesThatOverflowAProduct",
     Bmp{.width = INT32_MAX, .height = INT32_MAX, .bits = 32, .data = 4}.Bytes(), std::nullopt,
     "2147483647x2147483647"},
    {"TheLowestHeight", Bmp{.height = INT32_MIN, .data = 4}.Bytes(), std::nullopt, "2x2147483648"},
    {"DataOffsetPastTheEnd", Bmp{.offset = 5000}.Bytes().substr(0, 60), std::nullopt,
     "more than the 0 bytes"},
    {"DataOffsetInsideTheHeader", Bmp{.offset = 20}.Bytes(), std::nullopt,
     "inside its header, at byte 20"},
    {"NoPixels", Bmp{.width = 0, .height = 0}.Bytes(), std::nullopt, "0x0 pixels"},
    {"NegativeWidth", Bmp{.width = -5}.Bytes(), std::nullopt, "-5x2 pixels"},
    {"SevenBitsAPixel", Bmp{.bits = 7}.Bytes(), std::nullopt, "7 bits a pixel"},
    {"JpegInside", Bmp{.compression = 4}.Bytes(), std::nullopt, "compression (4)"},
    {"BitFieldsWith24Bits", Bmp{.compression = 3}.Bytes(), std::nullopt, "compression (3)"},

    // Headers cut short, and files that are no BMP.
    {"EmptyFile", "", std::nullopt, "not a BMP picture"},
    {"TheMagicOnly", "BM", std::nullopt, "cut short"},
    {"FileHeaderOnly", Cut(Bmp{}.Bytes(), 14), std::nullopt, "cut short"},
    {"HalfAnInformationHeader", Cut(Bmp{}.Bytes(), 40), std::nullopt, "cut short"},
    {"Version5HeaderCutShort", Cut(Bmp{.headerSize = 124}.Bytes(), 100), std::nullopt, "cut short"},
    {"OldHeaderCutShort", Cut(Bmp{.headerSize = 12}.Bytes(), 24), std::nullopt, "cut short"},
    {"HeaderOfUnknownSize", Bmp{.headerSize = 20}.Bytes(), std::nullopt, "of 20 bytes"},
    {"Png", "\x89PNG\r\n\x1a\n" + std::string(60, '\0'), std::nullopt, "not a BMP picture"},

    // Compressed data: any length may stand for the whole picture.
    {"Rle8Of4096x4096InTwoBytes",
     Bmp{.width = 4096, .height = 4096, .bits = 8, .compression = 1, .offset = 54 + 8, .data = 2}
         .Bytes(),
     PictureSize{4096, 4096}},
    {"Rle4InTwoBytes", Bmp{.bits = 4, .compression = 2, .data = 2}.Bytes(), PictureSize{2, 2}},
    {"Rle8WithoutData", Bmp{.bits = 8, .compression = 1, .data = 0}.Bytes(), std::nullopt,
     "compressed pixel data is missing"},
    {"Rle8With24Bits", Bmp{.bits = 24, .compression = 1}.Bytes(), std::nullopt,
     "compression (1) with 24 bits"},
    {"Rle4With8Bits", Bmp{.bits = 8, .compression = 2}.Bytes(), std::nullopt,
     "compression (2) with 8 bits"},
};

void PrintTo(const HeaderCase& c, std::ostream* out) {
    *out << c.name;
}

class BmpHeaderCheck : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(BmpHeaderCheck, GivesTheSizeOnlyWhenThePixelsFitTheFile) {
    const HeaderCase& c = GetParam();
    std::string why;
    const std::optional<PictureSize> size =
        CheckBmpHeader(Cut(c.file, kBmpHeadBytes), c.file.size(), why);
    ASSERT_EQ(size.has_value(), c.expected.has_value()) << why;
    if (size) {
        EXPECT_EQ(size->width, c.expected->width);
        EXPECT_EQ(size->height, c.expected->height);
    } else {
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
}

INSTANTIATE_TEST_SUITE_P(Headers, BmpHeaderCheck, ::testing::ValuesIn(kHeaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BmpHeaderFile, ShorterThanItsHeaderSays) {
    // A file whose size (as the caller found it) ends inside the information header.
    const std::string file = Bmp{.headerSize = 124}.Bytes();
    std::string why;
    EXPECT_FALSE(CheckBmpHeader(Cut(file, kBmpHeadBytes), 100, why));
    EXPECT_EQ(why, "its header is cut short");
}

TEST(SkinPixelBudget, TakesWhatFitsAndRefusesTheRest) {
    const struct {
        PictureSize size;
        bool taken;
        int64_t left;
    } steps[] = {
        {{4096, 4096}, false, kSkinPixelBudget},  // one picture larger than the whole budget
        {{1448, 1448}, true, kSkinPixelBudget - 1448 * 1448},
        {{22, 22}, false, 448},  // 484 pixels of the 448 left
        {{21, 21}, true, 7},
        {{INT64_MAX, 2}, false, 7},  // no overflow into a small product
        {{-1, -1}, false, 7},
        {{7, 1}, true, 0},
        {{0, 5}, true, 0},  // nothing to take
        {{1, 1}, false, 0},
    };
    SkinPixelBudget budget;
    for (const auto& step : steps) {
        SCOPED_TRACE(std::to_string(step.size.width) + "x" + std::to_string(step.size.height));
        EXPECT_EQ(budget.Take(step.size), step.taken);
        EXPECT_EQ(budget.Left(), step.left);
    }
}

TEST(SkinPixelBudget, HoldsEachShippedSkinSixteenTimesOver) {
    for (const char* skin : {"Default", "Midnight"}) {
        SCOPED_TRACE(skin);
        const std::filesystem::path folder =
            std::filesystem::path(paths::ShippedDataDir()) / "skins" / skin;
        SkinPixelBudget budget(kSkinPixelBudget / 16);
        int pictures = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension() != ".bmp")
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), {}};
            std::string why;
            const std::optional<PictureSize> size =
                CheckBmpHeader(Cut(bytes, kBmpHeadBytes), bytes.size(), why);
            ASSERT_TRUE(size) << entry.path() << ": " << why;
            EXPECT_TRUE(budget.Take(*size)) << entry.path();
            ++pictures;
        }
        EXPECT_EQ(pictures, 55);
    }
}

}  // namespace
}  // namespace rd
