// The engine's policy from the stored settings and back: every code keeps its number, so that
// what the store holds is what the job follows and what the program stores again.
#include "app/settings_policy.h"

#include <gtest/gtest.h>

namespace rd {
namespace {

// Each named code, and one no name stands for (a damaged store), goes to the policy and back
// unchanged.
TEST(SettingsPolicy, EveryCodeRoundTrips) {
    for (int32_t code : {onerror::kPrompt, onerror::kRetry, onerror::kSkip, 7})
        EXPECT_EQ(StoredOnError(ErrorPolicyOf(code)), code);
    EXPECT_EQ(ErrorPolicyOf(onerror::kRetry), ErrorPolicy::Retry);
    EXPECT_EQ(ErrorPolicyOf(onerror::kSkip), ErrorPolicy::Skip);
    for (int32_t code = 0; code < 32; ++code)
        EXPECT_EQ(StoredOnExist(ExistsPolicyOf(code)), code);
    EXPECT_EQ(ExistsPolicyOf(onexist::kTryResume | onexist::kRenameOld),
              ExistsPolicy::TryResume | ExistsPolicy::RenameOld);
    EXPECT_EQ(ExistsPolicyOf(onexist::kOverwriteOlder | onexist::kSkip),
              ExistsPolicy::OverwriteOlder | ExistsPolicy::Skip);
    for (int32_t code = 0; code < 16; ++code)
        EXPECT_EQ(StoredDelmode(JobModeOf(code)), code);
    EXPECT_TRUE(IsMove(JobModeOf(mode::kMove | 0x6)));
    EXPECT_TRUE(IsDelete(JobModeOf(mode::kDelete)));
    EXPECT_EQ(WipePasses(JobModeOf(mode::kDelete | 0x4)), 2);
    EXPECT_FALSE(IsMove(JobModeOf(mode::kDeleteOnly)) || IsDelete(JobModeOf(mode::kDeleteOnly)));
    for (int32_t code : {limit_unit::kKbps, limit_unit::kPercent, limit_unit::kBps, 3})
        EXPECT_EQ(StoredLimtip(SpeedUnitOf(code)), code);
    EXPECT_EQ(SpeedUnitOf(limit_unit::kKbps), SpeedUnit::Kbps);
    EXPECT_EQ(SpeedUnitOf(limit_unit::kPercent), SpeedUnit::Percent);
    EXPECT_EQ(SpeedUnitOf(limit_unit::kBps), SpeedUnit::Bps);
    for (int32_t code : {0, 1, 5})
        EXPECT_EQ(StoredEnskdel(GiveUpOf(code)), code);
    EXPECT_EQ(GiveUpOf(1), GiveUp::AfterTimeout);
}

// A whole profile's job values: none is lost or taken for another on the way.
TEST(SettingsPolicy, EveryValueGoesToItsPlaceAndBack) {
    JobSettings s;
    s.delmode = mode::kMove | 0x4;
    s.encrc = s.readburst = s.writeburst = s.parcopy = s.resfsz = 1;
    s.onerror = onerror::kSkip;
    s.onexist = onexist::kRenameOld | onexist::kTryResume;
    s.names = names::kRename;
    s.manifest = manifest::kSha256;
    s.limtip = limit_unit::kBps;
    s.splim = 3;
    s.bufsz = 9;
    s.rtdel = 250;
    s.enskdel = 1;
    s.skdel = 9000;
    s.snden = s.popup = s.shutd = s.resume = 1;
    s.hist = 0;
    s.sddel = 12;
    s.sndpath = "/home/me/done.wav";
    const JobPolicy p = PolicyOf(s);
    EXPECT_EQ(p.mode, WithWipePasses(JobMode::Move, 2));
    EXPECT_TRUE(p.verify && p.readBurst && p.writeBurst && p.parallel && p.reserve);
    EXPECT_EQ(p.onError, ErrorPolicy::Skip);
    EXPECT_EQ(p.names, NamesPolicy::Rename);
    EXPECT_EQ(p.manifest, ManifestPolicy::Sha256);
    EXPECT_EQ(p.speedUnit, SpeedUnit::Bps);
    EXPECT_EQ(std::vector<int32_t>(
                  {p.speedLimit, p.bufferSize, p.retryDelayMs, p.giveUpAfterMs, p.shutdownDelay}),
              std::vector<int32_t>({3, 9, 250, 9000, 12}));
    EXPECT_EQ(p.giveUp, GiveUp::AfterTimeout);
    EXPECT_TRUE(p.sound && p.openTargets && p.shutdown && p.resume);
    EXPECT_FALSE(p.history);
    EXPECT_EQ(p.soundPath.Get(), "/home/me/done.wav");

    JobSettings back;
    RecordPolicy(p, back);
    const auto values = [](const JobSettings& v) {
        return std::vector<int32_t>{v.delmode,    v.encrc,   v.onerror, v.onexist, v.limtip,
                                    v.splim,      v.bufsz,   v.rtdel,   v.enskdel, v.skdel,
                                    v.snden,      v.popup,   v.shutd,   v.sddel,   v.readburst,
                                    v.writeburst, v.parcopy, v.resfsz,  v.hist,    v.resume,
                                    v.names,      v.manifest};
    };
    EXPECT_EQ(values(back), values(s));
    EXPECT_EQ(back.sndpath, s.sndpath);
    // The engine's own defaults are the store's.
    JobSettings engineDefaults;
    RecordPolicy(JobPolicy{}, engineDefaults);
    EXPECT_EQ(values(engineDefaults), values(JobSettings{}));
}

// A switch the store holds as neither 0 nor 1 is on, as the engine always read it, and is
// stored again as 1.
TEST(SettingsPolicy, ADamagedSwitchIsOn) {
    JobSettings s;
    s.encrc = 5;
    s.hist = 7;
    const JobPolicy p = PolicyOf(s);
    EXPECT_TRUE(p.verify);
    EXPECT_TRUE(p.history);
    JobSettings back;
    RecordPolicy(p, back);
    EXPECT_EQ(back.encrc, 1);
    EXPECT_EQ(back.hist, 1);
}

}  // namespace
}  // namespace rd
