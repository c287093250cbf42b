#include "engine/speed.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/job_state.h"

namespace rd {
namespace {

// A clock that only moves when told to, or by the limiter's own sleeps.
class FakeClock : public LimiterClock {
public:
    uint64_t NowMs() override { return now; }
    void SleepMs(uint32_t ms) override {
        sleeps.push_back(ms);
        now += ms;
        if (duringSleep)
            duringSleep();
    }

    uint64_t now = 100000;
    std::vector<uint64_t> sleeps;
    std::function<void()> duringSleep;
};

class Limiter : public ::testing::Test {
protected:
    // The reader worked `workMs` on a block of `bytes` and publishes it; `limtip` is the stored
    // unit code, as the policy keeps it.
    void Block(uint32_t bytes, uint64_t workMs, int32_t splim, int32_t limtip) {
        clock.now += workMs;
        counters.transferredBytes += bytes;
        meter.Sample(counters, splim, static_cast<SpeedUnit>(limtip));
    }

    FakeClock clock;
    SpeedMeter meter{clock};
    JobCounters counters;
};

TEST(RateStep, Table) {
    const uint32_t expected[10] = {16, 32, 128, 256, 512, 1024, 2048, 4096, 8192, 16384};
    for (int32_t i = 0; i < 10; ++i)
        EXPECT_EQ(RateStep(i), expected[i]);
}

TEST_F(Limiter, FirstBlockIsNeverLimited) {
    // Nothing to measure from yet, whatever the limit.
    Block(1 << 20, 1, 0, 2);
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(counters.dutyPercent, 100u);
    EXPECT_EQ(counters.speed, uint32_t{1} << 20);
}

// An abort ends the limit's pause within a slice, however long the pause would have been.
TEST_F(Limiter, AnAbortEndsThePause) {
    std::atomic<int32_t> stop{0};
    clock.now += 1;
    counters.transferredBytes += 1;
    meter.Sample(counters, 0, SpeedUnit::Kbps, 0, &stop);
    clock.duringSleep = [&] { stop = 1; };
    clock.now += 10;
    counters.transferredBytes += 8 << 20;
    meter.Sample(counters, 0, SpeedUnit::Kbps, 0, &stop);
    EXPECT_EQ(clock.sleeps, std::vector<uint64_t>{100});
}

struct PercentCase {
    int32_t splim;
    uint64_t factor;
};

class PercentLimit : public Limiter, public ::testing::WithParamInterface<PercentCase> {};

TEST_P(PercentLimit, SleepsAMultipleOfTheWork) {
    const PercentCase c = GetParam();
    Block(65536, 10, c.splim, 1);
    ASSERT_TRUE(clock.sleeps.empty());

    Block(65536, 50, c.splim, 1);
    // The time slept after the previous block is not work: only the 40 ms after it are.
    Block(65536, 40, c.splim, 1);
    Block(65536, 30, c.splim, 1);
    if (c.factor == 0) {
        EXPECT_TRUE(clock.sleeps.empty());
        EXPECT_EQ(counters.dutyPercent, 100u);
        return;
    }
    EXPECT_EQ(clock.sleeps, (std::vector<uint64_t>{50 * c.factor, 40 * c.factor, 30 * c.factor}));
    EXPECT_EQ(counters.dutyPercent, 100 / (1 + c.factor));
}

INSTANTIATE_TEST_SUITE_P(Steps, PercentLimit,
                         ::testing::Values(PercentCase{0, 9}, PercentCase{1, 4}, PercentCase{2, 2},
                                           PercentCase{3, 1}, PercentCase{4, 1}, PercentCase{5, 0},
                                           PercentCase{6, 0}, PercentCase{9, 0}));

TEST_F(Limiter, KilobyteRateSleepsUntilTheBlockTookItsShare) {
    // Index 0 in Kbps: 16 KiB/s. 32 KiB in 100 ms must take 2000 ms.
    Block(32768, 10, 0, 0);
    Block(32768, 100, 0, 0);
    EXPECT_EQ(clock.sleeps, std::vector<uint64_t>{1900});
    EXPECT_EQ(counters.dutyPercent, 5u);
    // The next block is measured from the end of the sleep, so it is limited again.
    Block(32768, 100, 0, 0);
    EXPECT_EQ(clock.sleeps, (std::vector<uint64_t>{1900, 1900}));
    // Both limited samples count as 32 KiB in 2000 ms.
    EXPECT_EQ(counters.speed, (32768u + 32768u + 32768u) / (1u + 2000u + 2000u));
}

TEST_F(Limiter, ByteRateUsesTheTableValueAsIs) {
    // Index 5 in bps: 1024 bytes/s. 512 bytes in 100 ms must take 500 ms.
    Block(512, 10, 5, 2);
    Block(512, 100, 5, 2);
    EXPECT_EQ(clock.sleeps, std::vector<uint64_t>{400});
    EXPECT_EQ(counters.dutyPercent, 20u);
    // Any unit value other than 0 and 1 counts in bytes too.
    Block(512, 100, 5, 7);
    EXPECT_EQ(clock.sleeps, (std::vector<uint64_t>{400, 400}));
}

TEST_F(Limiter, SameBlockUnderTheKilobyteLimitDoesNotSleep) {
    // Index 5 in Kbps is 1 MiB/s; 5 KB/s is far below it.
    counters.dutyPercent = 7;
    Block(512, 10, 5, 0);
    Block(512, 100, 5, 0);
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(counters.dutyPercent, 100u);
}

TEST_F(Limiter, NoLimitAtIndexTenOrAbove) {
    Block(1 << 20, 10, 10, 0);
    Block(1 << 20, 1, 10, 2);
    Block(1 << 20, 1, 25, 1);
    Block(1 << 20, 1, -1, 1);
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(counters.dutyPercent, 100u);
}

TEST_F(Limiter, LargeBlocksAtTheLowestRateDoNotOverflow) {
    // 32 MiB at 16 bytes/s: bytes x 1000 does not fit in 32 bits.
    Block(33554432, 10, 0, 2);
    Block(33554432, 1000, 0, 2);
    EXPECT_EQ(clock.sleeps, std::vector<uint64_t>{33554432ull * 1000 / 16 - 1000});
}

TEST_F(Limiter, ResetMakesTheNextBlockUnlimitedAndUntimed) {
    Block(32768, 10, 0, 0);
    Block(32768, 100, 0, 0);
    ASSERT_EQ(clock.sleeps.size(), 1u);

    // A retry pause or an error prompt.
    meter.ResetSamples();
    clock.now += 60000;
    Block(32768, 100, 0, 0);
    EXPECT_EQ(clock.sleeps.size(), 1u);
    EXPECT_EQ(counters.dutyPercent, 100u);
    // The pause is not in the average: the block counts as 1 ms.
    EXPECT_EQ(counters.speed, (3u * 32768u) / (1u + 2000u + 1u));

    // Limiting resumes from the block after.
    Block(32768, 100, 0, 0);
    EXPECT_EQ(clock.sleeps.size(), 2u);
}

TEST_F(Limiter, ResetDuringTheSleepIsKept) {
    Block(32768, 10, 0, 0);
    // Stands for a reset from another thread while the reader sleeps; it must not wait for the
    // reader, nor be undone when the reader wakes.
    clock.duringSleep = [this] { meter.ResetSamples(); };
    Block(32768, 100, 0, 0);
    ASSERT_EQ(clock.sleeps.size(), 1u);
    clock.duringSleep = nullptr;
    Block(32768, 100, 0, 0);
    EXPECT_EQ(clock.sleeps.size(), 1u);
}

// A whole limited run, as the reader makes it: each block measured from the start of its read
// and sampled with its own bytes before it goes. The run never beats its limit, whatever the
// number of blocks, the first and the last included.
TEST_F(Limiter, AWholeRunNeverBeatsItsLimit) {
    const struct {
        int32_t splim;
        int32_t limtip;
        uint32_t block;
        int blocks;
        uint64_t limit;  // bytes per second
    } cases[] = {
        {6, 0, 1u << 20, 5, 2u << 20},  // 2 MiB/s, 1 MiB blocks
        {6, 0, 1u << 20, 1, 2u << 20},  // a single block
        {4, 2, 1000, 7, 512},           // 512 B/s: a block's share is not whole milliseconds
    };
    for (const auto& c : cases) {
        SpeedMeter meter(clock);
        JobCounters counters;
        const uint64_t start = clock.now;
        for (int i = 0; i < c.blocks; ++i) {
            meter.BlockStarts(c.splim);
            clock.now += 3;  // the read
            meter.Sample(counters, c.splim, static_cast<SpeedUnit>(c.limtip), c.block);
            counters.transferredBytes += c.block;
        }
        const uint64_t bytes = uint64_t{c.block} * c.blocks;
        EXPECT_LE(bytes * 1000, c.limit * (clock.now - start)) << c.block << " x " << c.blocks;
        EXPECT_EQ(counters.sampleMark, bytes);
    }
}

TEST_F(Limiter, AnUnlimitedBlockStartLeavesTheClockAlone) {
    // Without a limit, the reader's clock is read once a block, as ever.
    meter.BlockStarts(10);
    meter.BlockStarts(-1);
    Block(32768, 10, 0, 0);
    EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(Limiter, APauseIsNotTimeTheLimitGaveTheBlock) {
    Block(32768, 10, 0, 0);
    Block(32768, 100, 0, 0);
    ASSERT_EQ(clock.sleeps, std::vector<uint64_t>{1900});
    // Paused for a minute in the middle of the next block: the block still takes its share.
    clock.now += 60000;
    meter.Exclude(60000);
    Block(32768, 100, 0, 0);
    EXPECT_EQ(clock.sleeps, (std::vector<uint64_t>{1900, 1900}));
}

TEST_F(Limiter, SampleMovesTheMarkAndTakesTheLow32Bits) {
    Block(1000, 10, 10, 0);
    EXPECT_EQ(counters.sampleMark, 1000u);
    counters.transferredBytes += (uint64_t{1} << 32) + 500;
    clock.now += 10;
    meter.Sample(counters, 10, SpeedUnit::Kbps);
    EXPECT_EQ(counters.sampleMark, 1000u + (uint64_t{1} << 32) + 500);
    EXPECT_EQ(counters.speed, (1000u + 500u) / (1u + 10u));
}

TEST(SpeedAverage, IsBytesPerMillisecondOverTheSamples) {
    FakeClock clock;
    SpeedMeter meter(clock);
    JobCounters counters;
    EXPECT_EQ(meter.UpdateSpeedAverage(1000, 10, counters), 100u);
    EXPECT_EQ(meter.UpdateSpeedAverage(3000, 10, counters), 200u);
    EXPECT_EQ(counters.speed, 200u);
}

TEST(SpeedAverage, KeepsExactlyThirtyThreeSamples) {
    FakeClock clock;
    SpeedMeter meter(clock);
    JobCounters counters;
    meter.UpdateSpeedAverage(3300000, 1, counters);
    for (int i = 0; i < 32; ++i)
        meter.UpdateSpeedAverage(0, 1, counters);
    EXPECT_EQ(counters.speed, 100000u);
    meter.UpdateSpeedAverage(0, 1, counters);
    EXPECT_EQ(counters.speed, 0u);

    for (int i = 0; i < 40; ++i)
        meter.UpdateSpeedAverage(50, 1, counters);
    EXPECT_EQ(counters.speed, 50u);
}

TEST(SpeedAverage, SumsDoNotOverflow) {
    FakeClock clock;
    SpeedMeter meter(clock);
    JobCounters counters;
    for (int i = 0; i < 33; ++i)
        meter.UpdateSpeedAverage(UINT32_MAX, 1000, counters);
    EXPECT_EQ(counters.speed, UINT32_MAX / 1000);
}

TEST(SystemLimiterClock, SleepsAtLeastAsLongAsAsked) {
    LimiterClock& clock = SystemLimiterClock();
    const uint64_t before = clock.NowMs();
    EXPECT_GT(before, 0u);
    clock.SleepMs(20);
    EXPECT_GE(clock.NowMs(), before + 20);
}

}  // namespace
}  // namespace rd
