#include "engine/writeback_pace.h"

#include <gtest/gtest.h>

#include <vector>

namespace rd {

namespace {

constexpr uint64_t kMiB = 1 << 20;
constexpr uint64_t kSecond = 1'000'000'000;

struct Report {
    uint64_t bytes;
    uint64_t ns;
    bool blocked;
};

}  // namespace

TEST(WritebackPace, RateFromTheWaits) {
    const struct {
        const char* what;
        std::vector<Report> reports;
        uint64_t rate;
    } cases[] = {
        {"nothing measured", {}, 0},
        {"the first report sets it", {{10 * kMiB, kSecond, true}}, 10 * kMiB},
        {"an unblocked first report too", {{10 * kMiB, kSecond, false}}, 10 * kMiB},
        {"spans too short to time wait for more", {{kMiB, 5'000'000, true}}, 0},
        {"and are then taken together",
         {{kMiB, 5'000'000, true},
          {kMiB, 5'000'000, false},
          {kMiB, 5'000'000, false},
          {kMiB, 5'000'000, false}},
         200 * kMiB},
        // A blocked second of half the rate moves it halfway: one second is the time constant.
        {"a slower disk is followed",
         {{100 * kMiB, kSecond, true}, {50 * kMiB, kSecond, true}},
         75 * kMiB},
        {"a faster disk is followed",
         {{40 * kMiB, kSecond, true}, {80 * kMiB, kSecond, true}},
         60 * kMiB},
        // The copy set the pace: the disk is at least that fast, and no slower for it.
        {"an unblocked faster span lifts it",
         {{10 * kMiB, kSecond, true}, {30 * kMiB, kSecond, false}},
         30 * kMiB},
        {"an unblocked slower span leaves it",
         {{10 * kMiB, kSecond, true}, {2 * kMiB, kSecond, false}},
         10 * kMiB},
    };
    for (const auto& c : cases) {
        WritebackRate rate;
        for (const Report& r : c.reports)
            rate.Reached(r.bytes, r.ns, r.blocked);
        EXPECT_EQ(rate.BytesPerSecond(), c.rate) << c.what;
    }
}

TEST(WritebackPace, BoundIsOneSecondWithinLimits) {
    const struct {
        uint64_t rate;
        uint64_t bound;
    } cases[] = {
        {0, kLeastUnwritten},              // unmeasured: the least
        {3 * kMiB, kLeastUnwritten},       // a crawling disk still gets room to work
        {10'000'000, 10'000'000},          // a USB 2 stick: one second
        {40 * kMiB, 40 * kMiB},            // one second
        {kMostUnwritten, kMostUnwritten},  //
        {2000 * kMiB, kMostUnwritten},     // a fast disk: no more than the most
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnwrittenBound(c.rate), c.bound) << c.rate;
}

TEST(WritebackPace, LeftWhileTheSyncRuns) {
    const struct {
        uint64_t counted;
        uint64_t rate;
        uint64_t ms;
        uint64_t left;
    } cases[] = {
        {100 * kMiB, 10 * kMiB, 0, 100 * kMiB},
        {100 * kMiB, 10 * kMiB, 1000, 90 * kMiB},
        {100 * kMiB, 10 * kMiB, 2500, 75 * kMiB},
        {100 * kMiB, 0, 60000, 100 * kMiB},  // no rate: nothing known to be written
        {10 * kMiB, 10 * kMiB, 1000, 0},
        {10 * kMiB, 10 * kMiB, 5000, 0},  // never below 0
        {0, 10 * kMiB, 1000, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnwrittenLeft(c.counted, c.rate, c.ms), c.left)
            << c.counted << " at " << c.rate << " after " << c.ms;
}

TEST(WritebackPace, WholeMiBRoundedUp) {
    EXPECT_EQ(WholeMiB(0), 0u);
    EXPECT_EQ(WholeMiB(1), 1u);
    EXPECT_EQ(WholeMiB(kMiB), 1u);
    EXPECT_EQ(WholeMiB(kMiB + 1), 2u);
}

}  // namespace rd
