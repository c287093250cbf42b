#include "app/limit_captions.h"

#include <gtest/gtest.h>

namespace rd {
namespace {

TEST(LimitCaptions, SpeedLimit) {
    const char* percent[] = {"10", "20", "30", "40", "50", "60", "70", "80", "90", "95", "100"};
    const char* rate[] = {"16",   "32",   "128",  "256",   "512",     "1024",
                          "2048", "4096", "8192", "16384", "No limit"};
    for (int32_t position = 0; position <= 10; ++position) {
        EXPECT_EQ(SpeedLimitCaption(position, limit_unit::kPercent), percent[position]);
        EXPECT_EQ(SpeedLimitCaption(position, limit_unit::kKbps), rate[position]);
        EXPECT_EQ(SpeedLimitCaption(position, limit_unit::kBps), rate[position]);
    }
    EXPECT_EQ(SpeedLimitCaption(-1, limit_unit::kKbps), "");
    EXPECT_EQ(SpeedLimitCaption(11, limit_unit::kPercent), "");
    // A unit outside the list is no "%": the caption is a rate.
    EXPECT_EQ(SpeedLimitCaption(2, 7), "128");
}

TEST(LimitCaptions, UnitsAndLanguageTexts) {
    EXPECT_EQ(SpeedUnitText(0), "Kbps");
    EXPECT_EQ(SpeedUnitText(1), "%");
    EXPECT_EQ(SpeedUnitText(2), "bps");
    EXPECT_EQ(SpeedUnitText(3), "");
    const LimitTexts texts{"o/s", "Ko/s", "pct", "illimite"};
    EXPECT_EQ(SpeedLimitCaption(10, limit_unit::kBps, texts), "illimite");
    EXPECT_EQ(SpeedLimitCaption(10, limit_unit::kPercent, texts), "100");
    EXPECT_EQ(SpeedUnitText(limit_unit::kBps, texts) + SpeedUnitText(limit_unit::kKbps, texts) +
                  SpeedUnitText(limit_unit::kPercent, texts),
              "o/sKo/spct");
}

TEST(LimitCaptions, BufferSize) {
    const char* captions[] = {"512 bytes",  "4 Kbytes",   "32 Kbytes", "128 Kbytes",
                              "256 Kbytes", "512 Kbytes", "1 Mbytes",  "2 Mbytes",
                              "4 Mbytes",   "16 Mbytes",  "32 Mbytes"};
    for (int32_t position = 0; position <= 10; ++position)
        EXPECT_EQ(BufferSizeCaption(position), captions[position]);
    EXPECT_EQ(BufferSizeCaption(-1), "");
    EXPECT_EQ(BufferSizeCaption(11), "");
}

}  // namespace
}  // namespace rd
