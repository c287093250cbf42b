#include "console/rate_limit.h"

#include <gtest/gtest.h>

namespace rd {
namespace {

TEST(RateLimit, RatesInPowersOf1024) {
    const struct {
        const char* text;
        std::optional<uint64_t> bytes;
    } cases[] = {
        {"8M", 8u << 20},          {"500k", 500u << 10}, {"1.5MB/s", 1536u << 10},
        {"2G", uint64_t{2} << 30}, {"16K/s", 16u << 10}, {"8", std::nullopt},
        {"8X", std::nullopt},      {"M", std::nullopt},  {"8Ms", std::nullopt},
        {"1.2.3M", std::nullopt},  {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseRate(c.text), c.bytes) << c.text;
}

TEST(RateLimit, StepsAndTheirRates) {
    const struct {
        uint64_t bytes;
        char unit;  // 0: no step at or below
        int index;
        const char* text;  // the step's rate
    } cases[] = {
        {16u << 20, 'k', 9, "16 MiB/s"},
        {9u << 20, 'k', 8, "8 MiB/s"},
        {1u << 20, 'k', 5, "1 MiB/s"},
        {100u << 10, 'k', 1, "32 KiB/s"},
        {16u << 10, 'k', 0, "16 KiB/s"},
        {10u << 10, 'c', 8, "8 KiB/s"},
        {600, 'c', 4, "512 B/s"},
        {16, 'c', 0, "16 B/s"},
        {15, 0, 0, ""},
    };
    for (const auto& c : cases) {
        const std::optional<LimitStep> step = LimitStepAtOrBelow(c.bytes);
        ASSERT_EQ(step.has_value(), c.unit != 0) << c.bytes;
        if (!step)
            continue;
        EXPECT_EQ(step->unit, c.unit) << c.bytes;
        EXPECT_EQ(step->index, c.index) << c.bytes;
        EXPECT_EQ(RateText(StepRate(*step)), c.text) << c.bytes;
    }
}

TEST(RateLimit, WhatTheLimitOptionAsksFor) {
    const struct {
        const char* value;
        const char* switches;
        const char* note;
        bool refused;
    } cases[] = {
        {"0", "Lk10", "", false},
        {"none", "Lk10", "", false},
        {"8M", "Lk8", "", false},
        {"16M", "Lk9", "", false},
        {"16K", "Lk0", "", false},
        {"100K", "Lk1",
         "--limit 100K lies between the job's limits: it runs at 32 KiB/s, the limit below", false},
        {"10K", "Lc8",
         "--limit 10K lies between the job's limits: it runs at 8 KiB/s, the limit below", false},
        {"17M", "Lk10",
         "--limit 17M is above the highest limit, 16 MiB/s: the job runs without a speed limit",
         false},
        {"5G", "Lk10",
         "--limit 5G is above the highest limit, 16 MiB/s: the job runs without a speed limit",
         false},
        {"100", "", "", true},
        {"3", "", "", true},
        {"0K", "", "", true},
        {"0.01K", "", "", true},
        {"fast", "", "", true},
        {"-1", "", "", true},
    };
    for (const auto& c : cases) {
        const LimitChoice choice = ChooseLimit(c.value);
        EXPECT_EQ(choice.switches, c.switches) << c.value;
        EXPECT_EQ(choice.note, c.note) << c.value;
        EXPECT_EQ(!choice.problem.empty(), c.refused) << c.value;
    }
    // A bare number is refused with the units that would make it a rate.
    EXPECT_EQ(ChooseLimit("100").problem,
              "--limit 100: a rate needs its unit, as in 100K (KiB/s) or 100M (MiB/s); 0 or none "
              "is no limit, and --limit-step takes a step index");
}

}  // namespace
}  // namespace rd
