#include "platform/human_units.h"

#include <gtest/gtest.h>

namespace rd {
namespace {

TEST(HumanUnits, SizesSpeedsAndTimes) {
    const struct {
        uint64_t value;
        const char* bytes;
        const char* rate;
    } cases[] = {
        {0, "0 B", "0 B/s"},
        {999, "999 B", "999 B/s"},
        {1024, "1.0 KiB", "1.0 KB/s"},
        {1536000, "1.5 MiB", "1.5 MB/s"},
        {uint64_t{200} << 30, "200 GiB", "215 GB/s"},
        {uint64_t{3} << 40, "3.0 TiB", "3.3 TB/s"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HumanBytes(c.value), c.bytes) << c.value;
        EXPECT_EQ(HumanRate(c.value), c.rate) << c.value;
    }
    EXPECT_EQ(HumanDuration(999), "0:00");
    EXPECT_EQ(HumanDuration(65000), "1:05");
    EXPECT_EQ(HumanDuration((3600 + 120 + 3) * 1000), "1:02:03");
}

TEST(HumanUnits, RatesAndTheirLimitSteps) {
    const struct {
        const char* text;
        std::optional<uint64_t> bytes;
        char unit;  // 0: no step at or below
        int index;
    } cases[] = {
        {"8M", 8u << 20, 'k', 8},  // exactly a step
        {"9M", 9u << 20, 'k', 8},  // the step below
        {"1G", 1u << 30, 'k', 9},  // above the top step
        {"500k", 500u << 10, 'k', 3},
        {"1.5MB/s", 1536u << 10, 'k', 5},
        {"16K", 16u << 10, 'k', 0},
        {"10K", 10u << 10, 'c', 8},  // below the KiB steps: the byte steps
        {"0.01K", 10, 0, 0},         // below every step
        {"8", std::nullopt, 0, 0},   // a number without a unit is no rate
        {"8X", std::nullopt, 0, 0},
        {"M", std::nullopt, 0, 0},
        {"8Ms", std::nullopt, 0, 0},
        {"1.2.3M", std::nullopt, 0, 0},
    };
    for (const auto& c : cases) {
        const std::optional<uint64_t> bytes = ParseRate(c.text);
        EXPECT_EQ(bytes, c.bytes) << c.text;
        if (!bytes)
            continue;
        const std::optional<LimitStep> step = LimitStepAtOrBelow(*bytes);
        ASSERT_EQ(step.has_value(), c.unit != 0) << c.text;
        if (step) {
            EXPECT_EQ(step->unit, c.unit) << c.text;
            EXPECT_EQ(step->index, c.index) << c.text;
        }
    }
}

}  // namespace
}  // namespace rd
