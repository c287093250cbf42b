#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/settings_policy.h"

namespace rd {
namespace {

// The policy after the switches, as the store's codes.
struct Parsed {
    JobSettings settings;
    JobFlags flags;
};

Parsed Apply(std::string_view switches, int32_t onexistBefore = 0) {
    Parsed p;
    JobPolicy policy;
    policy.onExist = ExistsPolicyOf(onexistBefore);
    ApplySwitches(switches, policy, p.flags);
    RecordPolicy(policy, p.settings);
    return p;
}

TEST(CommandLine, SettingsOnlyTest) {
    EXPECT_FALSE(HoldsJob("/usr/bin/redodori"));
    EXPECT_FALSE(HoldsJob("/usr/bin/redodori |||"));
    EXPECT_FALSE(HoldsJob("/usr/bin/redodori |||q1"));
    EXPECT_FALSE(HoldsJob("redodori |/a|||"));
    EXPECT_TRUE(HoldsJob("/usr/bin/redodori |/tmp/list|/dst/|"));
    EXPECT_TRUE(HoldsJob("redodori |/a||w"));
    // "/" separates path parts, never fields.
    EXPECT_FALSE(HoldsJob("redodori ///"));
}

TEST(CommandLine, ProfileScan) {
    EXPECT_EQ(ScanProfile("redodori |||q1"), "network");
    EXPECT_EQ(ScanProfile("redodori |/l|/d/|wq2"), "local");
    EXPECT_EQ(ScanProfile("redodori |/l|/d/|q1"), "network");
    // The first "q" after the second separator decides, even inside the target field.
    EXPECT_EQ(ScanProfile("redodori |/l|/data/equip/|q1"), std::nullopt);
    // A "q" in the source field is not looked at.
    EXPECT_EQ(ScanProfile("redodori |/q1/list|/d/|"), std::nullopt);
    // A "q" that is the last character is not a profile switch; the line has no other.
    EXPECT_EQ(ScanProfile("redodori |/l|/d/|wq"), std::nullopt);
    EXPECT_EQ(ScanProfile("redodori |/l|/d/|q3q1"), std::nullopt);
    EXPECT_EQ(ScanProfile("redodori |/l"), std::nullopt);
}

TEST(CommandLine, Fields) {
    LineFields f = SplitFields("/usr/bin/redodori |/tmp/src list|/a/?/b/|mw|ignored|more");
    EXPECT_EQ(f.source, "/tmp/src list");
    EXPECT_EQ(f.target, "/a/?/b/");
    EXPECT_EQ(f.switches, "mw");
    f = SplitFields("redodori |only");
    EXPECT_EQ(f.source, "only");
    EXPECT_EQ(f.target, "");
    EXPECT_EQ(f.switches, "");
    f = SplitFields("redodori");
    EXPECT_EQ(f.source, "");
}

TEST(CommandLine, BuildCommandLineJoinsWithSpaces) {
    const char* argv[] = {"/usr/bin/redodori", "|/l|/d/|", "x y"};
    EXPECT_EQ(BuildCommandLine(3, argv), "/usr/bin/redodori |/l|/d/| x y");
    EXPECT_EQ(BuildCommandLine(1, argv), "/usr/bin/redodori");
}

TEST(Switches, PlainLetters) {
    Parsed p = Apply("dhjJvzcnprGgx");
    EXPECT_EQ(p.settings.shutd, 1);
    EXPECT_EQ(p.settings.enskdel, 1);
    EXPECT_TRUE(p.flags.TreeLink);
    EXPECT_TRUE(p.flags.PerFileLink);
    EXPECT_EQ(p.settings.encrc, 1);
    EXPECT_EQ(p.settings.resfsz, 1);
    EXPECT_FALSE(p.flags.KeepFileTimes);
    EXPECT_FALSE(p.flags.ShowProgressWindow);
    EXPECT_TRUE(p.flags.StartPaused);
    EXPECT_EQ(p.settings.onerror, 1);
    EXPECT_TRUE(p.flags.WaitForOtherJobs);
    EXPECT_TRUE(p.flags.AttachToRunning);
    EXPECT_FALSE(p.flags.DeleteListFiles);
    EXPECT_TRUE(p.flags.SourceIsListFile);

    p = Apply("dDhHvVzZrs");
    EXPECT_EQ(p.settings.shutd, 0);
    EXPECT_EQ(p.settings.enskdel, 0);
    EXPECT_EQ(p.settings.encrc, 0);
    EXPECT_EQ(p.settings.resfsz, 0);
    EXPECT_EQ(p.settings.onerror, 2);

    p = Apply("ef");
    EXPECT_FALSE(p.flags.SourceIsListFile);
    EXPECT_FALSE(p.flags.DeleteListFiles);
    EXPECT_TRUE(p.flags.TargetIsListFile);

    // Unknown letters, "q" and its digit change nothing.
    Parsed untouched = Apply("q1yY!? ");
    Parsed fresh;
    EXPECT_EQ(untouched.settings.onexist, fresh.settings.onexist);
    EXPECT_EQ(untouched.settings.splim, fresh.settings.splim);
    EXPECT_EQ(untouched.settings.bufsz, fresh.settings.bufsz);
    EXPECT_TRUE(untouched.flags.SourceIsListFile);
    EXPECT_TRUE(untouched.flags.DeleteListFiles);
}

TEST(Switches, CheckLetter) {
    EXPECT_FALSE(Apply("").flags.CheckManifests);
    EXPECT_TRUE(Apply("K").flags.CheckManifests);
}

TEST(Switches, ModeWord) {
    JobPolicy p;
    JobFlags f;
    p.mode = JobModeOf(0x6 | mode::kDelete);  // stored wipe passes and stray job bits
    ResetJobState(p, f);
    EXPECT_EQ(StoredDelmode(p.mode), 0x6);
    ApplySwitches("m", p, f);
    EXPECT_EQ(StoredDelmode(p.mode), 0x7);
    EXPECT_TRUE(IsMove(p.mode));
    ApplySwitches("M", p, f);
    EXPECT_EQ(StoredDelmode(p.mode), 0xF);
    EXPECT_TRUE(IsDelete(p.mode));
    EXPECT_EQ(WipePasses(p.mode), 3);
}

TEST(Switches, ExistingFileMasks) {
    // k, o and w keep only try-resume; they drop overwrite-if-older.
    EXPECT_EQ(Apply("k", 0x1F).settings.onexist, 4 | 2);
    EXPECT_EQ(Apply("o", 0x1B).settings.onexist, 8);
    EXPECT_EQ(Apply("w", 0x16).settings.onexist, 4 | 1);
    // u sets try-resume alone.
    EXPECT_EQ(Apply("u", 0x1B).settings.onexist, 4);
    EXPECT_EQ(Apply("ku").settings.onexist, 4);
    EXPECT_EQ(Apply("uk").settings.onexist, 6);
    // i then w: overwrite without overwrite-if-older; w then i: both.
    EXPECT_EQ(Apply("iw").settings.onexist, 1);
    EXPECT_EQ(Apply("wi").settings.onexist, 17);
    EXPECT_EQ(Apply("I", 0x1F).settings.onexist, 0x0F);
}

TEST(Switches, BurstLetters) {
    JobPolicy on;
    on.readBurst = true;
    on.writeBurst = true;
    JobFlags f;
    JobPolicy p = on;
    ApplySwitches("T2", p, f);
    EXPECT_TRUE(p.readBurst);
    EXPECT_FALSE(p.writeBurst);

    p = on;
    ApplySwitches("T1", p, f);
    EXPECT_FALSE(p.readBurst);
    EXPECT_TRUE(p.writeBurst);

    // "T" then "w": both bursts off, and "w" is its own switch.
    p = on;
    ApplySwitches("Tw", p, f);
    EXPECT_FALSE(p.readBurst);
    EXPECT_FALSE(p.writeBurst);
    EXPECT_EQ(p.onExist, ExistsPolicy::Overwrite);

    p = JobPolicy{};
    ApplySwitches("t", p, f);
    EXPECT_TRUE(p.readBurst);
    EXPECT_TRUE(p.writeBurst);

    // The "2" after "t" is consumed, so it is not read again.
    p = JobPolicy{};
    ApplySwitches("t22", p, f);
    EXPECT_FALSE(p.readBurst);
    EXPECT_TRUE(p.writeBurst);
}

TEST(Switches, NumericSwitch) {
    // Past the last step of the table there is no limit: 11 as much as 99.
    for (const char* line : {"Lk99", "Lk11", "Lk10"}) {
        Parsed p = Apply(line);
        EXPECT_EQ(p.settings.splim, 10) << line;
        EXPECT_EQ(p.settings.limtip, 0) << line;
    }
    Parsed p = Apply("Lk9");
    EXPECT_EQ(p.settings.splim, 9);

    p = Apply("Lp3");
    EXPECT_EQ(p.settings.splim, 3);
    EXPECT_EQ(p.settings.limtip, 1);

    p = Apply("Lc07");
    EXPECT_EQ(p.settings.splim, 7);
    EXPECT_EQ(p.settings.limtip, 2);

    p = Apply("Lb12");
    EXPECT_EQ(p.settings.bufsz, 4);
    p = Apply("Lb10");
    EXPECT_EQ(p.settings.bufsz, 10);
    p = Apply("Lb0");
    EXPECT_EQ(p.settings.bufsz, 0);

    // No digits: nothing is set, but the letter after "L" is taken; the rest still counts.
    p = Apply("Lb");
    EXPECT_EQ(p.settings.bufsz, 6);
    p = Apply("L");
    EXPECT_EQ(p.settings.bufsz, 6);
    EXPECT_EQ(p.settings.splim, 10);
    p = Apply("Lkw");
    EXPECT_EQ(p.settings.splim, 10);
    EXPECT_EQ(p.settings.limtip, 1);
    EXPECT_EQ(p.settings.onexist, 1);

    // Digits too large to convert leave the value, and the clamp still applies.
    p = Apply("Lk99999999999999");
    EXPECT_EQ(p.settings.splim, 10);
    EXPECT_EQ(p.settings.limtip, 0);
    p = Apply("Lb99999999999999");
    EXPECT_EQ(p.settings.bufsz, 6);

    // The digits are consumed: "Lb2m" does not read "2" as a switch, and "m" still counts.
    p = Apply("Lb2m");
    EXPECT_EQ(p.settings.bufsz, 2);
    EXPECT_EQ(p.settings.delmode, mode::kMove);

    p = Apply("Lt4294967295");
    EXPECT_EQ(p.flags.ConsoleThreadId, 4294967295u);
    p = Apply("Lt4294967296");
    EXPECT_EQ(p.flags.ConsoleThreadId, 0u);
    p = Apply("Lt12v");
    EXPECT_EQ(p.flags.ConsoleThreadId, 12u);
    EXPECT_EQ(p.settings.encrc, 1);

    // An unknown type letter sets nothing but its digits are consumed ("1" is no switch
    // anyway; "r" after them still counts).
    p = Apply("Lx5r");
    EXPECT_EQ(p.settings.splim, 10);
    EXPECT_EQ(p.settings.onerror, 1);
}

// "Ln" chooses what a name, size or link a destination cannot take does; a choice the policy
// does not know asks.
TEST(Switches, NamesSwitch) {
    const struct {
        const char* line;
        int32_t names;
    } cases[] = {
        {"Ln0", names::kAsk},       {"Ln1", names::kRename}, {"Ln2", names::kSkip},
        {"Ln2Ln1", names::kRename}, {"Ln3", names::kAsk},    {"Ln99999999999", names::kAsk},
        {"Ln", names::kAsk},        {"", names::kAsk},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Apply(c.line).settings.names, c.names) << c.line;
    // The digits are consumed: "Ln2m" moves.
    EXPECT_EQ(Apply("Ln2m").settings.delmode, mode::kMove);
}

// "Lh" chooses the checksum manifest beside each destination; a kind the policy does not know
// writes none.
TEST(Switches, ManifestSwitch) {
    const struct {
        const char* line;
        int32_t manifest;
    } cases[] = {
        {"Lh0", manifest::kNone},    {"Lh1", manifest::kXxh128}, {"Lh2", manifest::kSha256},
        {"Lh2Lh0", manifest::kNone}, {"Lh9", manifest::kNone},   {"Lh99999999999", manifest::kNone},
        {"Lh", manifest::kNone},     {"", manifest::kNone},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Apply(c.line).settings.manifest, c.manifest) << c.line;
    // "Lh" is not the give-up switch "h", and its digits are consumed: "Lh1m" moves.
    const auto moved = Apply("Lh1m");
    EXPECT_EQ(moved.settings.enskdel, 0);
    EXPECT_EQ(moved.settings.delmode, mode::kMove);
}

TEST(Switches, StoredValuesOutOfRangeAreClampedOnlyWhenSwitched) {
    JobPolicy p;
    JobFlags f;
    p.speedLimit = -5;
    ApplySwitches("w", p, f);
    EXPECT_EQ(p.speedLimit, -5);
    ApplySwitches("Lk", p, f);
    EXPECT_EQ(p.speedLimit, -5);
    ApplySwitches("Lk2", p, f);
    EXPECT_EQ(p.speedLimit, 2);
}

}  // namespace
}  // namespace rd
