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
        {1024, "1.0 KiB", "1.0 KiB/s"},
        // The rate of a speed limit of 2M, as the limit is given.
        {2097152, "2.0 MiB", "2.0 MiB/s"},
        {1536000, "1.5 MiB", "1.5 MiB/s"},
        {uint64_t{200} << 30, "200 GiB", "200 GiB/s"},
        {uint64_t{3} << 40, "3.0 TiB", "3.0 TiB/s"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HumanBytes(c.value), c.bytes) << c.value;
        EXPECT_EQ(HumanRate(c.value), c.rate) << c.value;
    }
    EXPECT_EQ(HumanDuration(999), "0:00");
    EXPECT_EQ(HumanDuration(65000), "1:05");
    EXPECT_EQ(HumanDuration((3600 + 120 + 3) * 1000), "1:02:03");
}

}  // namespace
}  // namespace rd
