// The settings dialog without its widgets: the fields shown for the settings (bad values show
// their defaults), the enabling rules, what Store writes and that the next job reads it.
#include "settings/settings_fields.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <thread>

#include "platform/store.h"
#include "settings/settings_reader.h"
#include "settings/settings_storage.h"
#include "settings/store_keys.h"
#include "test_support.h"

namespace rd {
namespace {

TEST(SettingsFields, UnitListMapsBothWays) {
    const struct {
        int32_t limtip, entry;
    } cases[] = {{limit_unit::kBps, 0}, {limit_unit::kKbps, 1}, {limit_unit::kPercent, 2}};
    for (auto c : cases) {
        EXPECT_EQ(UnitEntryOfLimtip(c.limtip), c.entry);
        EXPECT_EQ(LimtipOfUnitEntry(c.entry), c.limtip);
    }
    EXPECT_EQ(UnitEntryOfLimtip(3), -1);
    EXPECT_EQ(UnitEntryOfLimtip(-1), -1);
    EXPECT_EQ(LimtipOfUnitEntry(-1), limit_unit::kKbps);
}

// Every value at its ends, just outside them, and damaged: an out-of-range value shows the
// field's default.
TEST(SettingsFields, ValuesAtTheirEndsAndOutside) {
    struct Case {
        const char* what;
        std::function<void(JobSettings&)> set;
        std::function<void(SettingsFields&)> expect;
    };
    const Case cases[] = {
        {"splim 0", [](JobSettings& s) { s.splim = 0; },
         [](SettingsFields& f) { f.speedLimit = 0; }},
        {"splim 11", [](JobSettings& s) { s.splim = 11; }, [](SettingsFields&) {}},
        {"splim -1", [](JobSettings& s) { s.splim = -1; }, [](SettingsFields&) {}},
        {"limtip 0", [](JobSettings& s) { s.limtip = 0; },
         [](SettingsFields& f) { f.unitEntry = 1; }},
        {"limtip 2", [](JobSettings& s) { s.limtip = 2; },
         [](SettingsFields& f) { f.unitEntry = 0; }},
        {"limtip 3", [](JobSettings& s) { s.limtip = 3; }, [](SettingsFields&) {}},
        {"bufsz 10", [](JobSettings& s) { s.bufsz = 10; },
         [](SettingsFields& f) { f.bufferSize = 10; }},
        {"bufsz 99", [](JobSettings& s) { s.bufsz = 99; }, [](SettingsFields&) {}},
        {"hist 0", [](JobSettings& s) { s.hist = 0; }, [](SettingsFields& f) { f.hist = false; }},
        {"hist 7", [](JobSettings& s) { s.hist = 7; }, [](SettingsFields&) {}},
        {"resume 1", [](JobSettings& s) { s.resume = 1; },
         [](SettingsFields& f) { f.resume = true; }},
        {"encrc -1", [](JobSettings& s) { s.encrc = -1; }, [](SettingsFields&) {}},
        {"sddel 999999", [](JobSettings& s) { s.sddel = 999999; },
         [](SettingsFields& f) { f.shutdownDelay = 999999; }},
        {"sddel 1000000", [](JobSettings& s) { s.sddel = 1000000; }, [](SettingsFields&) {}},
        {"rtdel 1000000", [](JobSettings& s) { s.rtdel = 1000000; }, [](SettingsFields&) {}},
        {"rtdel -5", [](JobSettings& s) { s.rtdel = -5; }, [](SettingsFields&) {}},
        {"rtdel 999999", [](JobSettings& s) { s.rtdel = 999999; },
         [](SettingsFields& f) { f.retryDelay = 999999; }},
        {"skdel huge", [](JobSettings& s) { s.skdel = INT32_MAX; },
         [](SettingsFields& f) { f.giveUpAfter = INT32_MAX; }},
        {"skdel -1", [](JobSettings& s) { s.skdel = -1; }, [](SettingsFields&) {}},
        {"onerror 2", [](JobSettings& s) { s.onerror = 2; },
         [](SettingsFields& f) { f.onError = 2; }},
        {"onerror 3", [](JobSettings& s) { s.onerror = 3; }, [](SettingsFields&) {}},
        {"onexist skip, resume, older", [](JobSettings& s) { s.onexist = 2 | 4 | 16; },
         [](SettingsFields& f) { f.existChoice = 2, f.tryResume = f.overwriteOlder = true; }},
        {"onexist rename", [](JobSettings& s) { s.onexist = 8; },
         [](SettingsFields& f) { f.existChoice = 8; }},
        {"onexist two choices", [](JobSettings& s) { s.onexist = 1 | 2; }, [](SettingsFields&) {}},
        {"onexist 32", [](JobSettings& s) { s.onexist = 32; }, [](SettingsFields&) {}},
        {"onexist overwrite and older", [](JobSettings& s) { s.onexist = 1 | 16; },
         [](SettingsFields& f) { f.overwriteOlder = true; }},
        {"names rename", [](JobSettings& s) { s.names = names::kRename; },
         [](SettingsFields& f) { f.names = names::kRename; }},
        {"names skip", [](JobSettings& s) { s.names = names::kSkip; },
         [](SettingsFields& f) { f.names = names::kSkip; }},
        {"names 3", [](JobSettings& s) { s.names = 3; }, [](SettingsFields&) {}},
        {"names -1", [](JobSettings& s) { s.names = -1; }, [](SettingsFields&) {}},
        {"manifest sha256", [](JobSettings& s) { s.manifest = manifest::kSha256; },
         [](SettingsFields& f) { f.manifest = manifest::kSha256; }},
        {"manifest 3", [](JobSettings& s) { s.manifest = 3; }, [](SettingsFields&) {}},
        {"manifest -1", [](JobSettings& s) { s.manifest = -1; }, [](SettingsFields&) {}},
        {"delmode move, 3 passes", [](JobSettings& s) { s.delmode = 1 | 6; },
         [](SettingsFields& f) { f.wipePasses = 3; }},
        {"texts",
         [](JobSettings& s) { s.Skin = "Blue", s.Lngname = "x.lng", s.sndpath = "/s.wav"; },
         [](SettingsFields& f) { f.skin = "Blue", f.language = "x.lng", f.soundPath = "/s.wav"; }},
    };
    for (const Case& c : cases) {
        JobSettings s;
        s.Skin = s.Lngname = "";
        c.set(s);
        SettingsFields expected;
        expected.skin = s.Skin;
        expected.language = s.Lngname;
        expected.soundPath = s.sndpath;
        c.expect(expected);
        EXPECT_EQ(FieldsFromSettings(s, {}), expected) << c.what;
    }
    ShellValues shell{true, false, false};
    EXPECT_EQ(FieldsFromSettings(JobSettings{}, shell).shell.defaultHandler, true);
}

TEST(SettingsFields, EnablingRules) {
    const struct {
        int32_t onError;
        bool giveUp, older;
        FieldEnabling expected;
    } cases[] = {
        {0, false, false, {false, false, false, true}},
        {0, true, false, {false, false, false, true}},
        {1, false, false, {true, true, false, true}},
        {1, true, false, {true, true, true, true}},
        {2, true, true, {false, false, false, false}},
        {1, true, true, {true, true, true, false}},
    };
    for (const auto& c : cases) {
        SettingsFields f;
        f.onError = c.onError;
        f.giveUp = c.giveUp;
        f.overwriteOlder = c.older;
        const FieldEnabling e = EnablingOf(f);
        EXPECT_EQ(std::tie(e.retryDelay, e.giveUp, e.giveUpAfter, e.overwrite),
                  std::tie(c.expected.retryDelay, c.expected.giveUp, c.expected.giveUpAfter,
                           c.expected.overwrite))
            << c.onError << c.giveUp << c.older;
    }
    // "Overwrite if older" beside "Overwrite" falls back to prompting; other choices stay.
    for (int32_t choice : {0, 1, 2, 8}) {
        SettingsFields f;
        f.existChoice = choice;
        f.overwriteOlder = true;
        SettleExistChoice(f);
        EXPECT_EQ(f.existChoice, choice == 1 ? 0 : choice);
        f.overwriteOlder = false;
        f.existChoice = choice;
        SettleExistChoice(f);
        EXPECT_EQ(f.existChoice, choice);
    }
}

// A dialog showing everything that is not a default.
SettingsFields Changed() {
    SettingsFields f;
    f.speedLimit = 3;
    f.unitEntry = unit_entry::kBps;
    f.bufferSize = 9;
    f.resume = f.readBurst = f.writeBurst = f.parallel = f.verify = f.reserve = true;
    f.hist = false;
    f.shell = {true, false, false};
    f.language = "english.lng";
    f.skin = "Blue";
    f.wipePasses = 2;
    f.sound = f.openTargets = f.shutdown = true;
    f.soundPath = "/home/me/done.wav";
    f.shutdownDelay = 12;
    f.onError = 1;
    f.retryDelay = 250;
    f.giveUp = true;
    f.giveUpAfter = 9000;
    f.existChoice = onexist::kRenameOld;
    f.tryResume = f.overwriteOlder = true;
    f.names = names::kSkip;
    f.manifest = manifest::kXxh128;
    return f;
}

class SettingsStorage : public ::testing::Test {
protected:
    test::PrivateEnvironment env;
    Store store{env.ConfigDir() + "/registry.db"};

    JobSettings ReadBack(const std::string& profile) {
        JobSettings s;
        s.profile = profile;
        ReadAllSettings(store, s);
        return s;
    }
};

TEST_F(SettingsStorage, StoredFieldsAreWhatTheNextJobReadsInEitherProfile) {
    test::WriteFile(env.DataDir() + "/mine.lng", "[In code]\r\nv18=Copy to\r\nv23=Link here\r\n");
    const ShellCaptions captions = ReadShellCaptions(env.DataDir() + "/mine.lng");
    EXPECT_EQ(captions[0] + "|" + captions[1] + "|" + captions[5], "Copy to||Link here");
    for (const char* profile : {"local", "network"}) {
        SettingsFields f = Changed();
        f.speedLimit = profile[0] == 'l' ? 4 : 5;
        ASSERT_TRUE(StoreFields(store, profile, f, captions));
        const JobSettings s = ReadBack(profile);
        SettingsFields shown = FieldsFromSettings(s, ReadShellValues(store, profile));
        EXPECT_EQ(shown, f) << profile;
        EXPECT_EQ(s.delmode, 4);
        StoreKey key(store, StoreRoot::CurrentUser, ProfileKey(profile));
        EXPECT_EQ(key.ReadText("Lng_RedoDoriTo"), "Copy to");
        EXPECT_EQ(key.ReadText("Lng_HardLinkHere"), "Link here");
        EXPECT_EQ(key.ReadInt("default"), 1);
        EXPECT_EQ(key.ReadInt("nomenu"), 1);
        EXPECT_EQ(key.ReadInt("nohlink"), 1);
        EXPECT_EQ(key.ReadInt("names"), names::kSkip);
        EXPECT_EQ(key.ReadInt("manifest"), manifest::kXxh128);
    }
    EXPECT_EQ(ReadBack("local").splim, 4);
    EXPECT_EQ(ReadBack("network").splim, 5);
    // The options that are on by default are stored by deleting their values.
    ASSERT_TRUE(StoreFields(store, "local", SettingsFields{}, {}));
    StoreKey key(store, StoreRoot::CurrentUser, ProfileKey("local"));
    for (const char* name : {"default", "nomenu", "nohlink"})
        EXPECT_FALSE(key.ValueExists(name)) << name;
    EXPECT_EQ(ReadBack("network").splim, 5);
}

TEST_F(SettingsStorage, BadStoredValuesShowDefaultsAndStoringRepairsThem) {
    StoreKey key(store, StoreRoot::CurrentUser, ProfileKey("local"));
    key.WriteInt("bufsz", 40);
    key.WriteText("splim", "fast");
    key.WriteInt("onerror", 9);
    key.WriteInt("hist", 5);
    key.WriteInt("names", 7);
    key.WriteInt("manifest", 3);
    key.WriteText("nomenu", "1");
    key.WriteInt("default", 2);
    const SettingsFields shown =
        FieldsFromSettings(ReadBack("local"), ReadShellValues(store, "local"));
    SettingsFields defaults;
    defaults.skin = "Default";
    defaults.language = "english.lng";
    defaults.soundPath = env.DataDir() + "/finish.wav";
    EXPECT_EQ(shown, defaults);
    ASSERT_TRUE(StoreFields(store, "local", shown, {}));
    EXPECT_EQ(key.ReadInt("bufsz"), 6);
    EXPECT_EQ(key.ReadInt("splim"), 10);
    EXPECT_EQ(key.ReadInt("onerror"), 0);
    EXPECT_EQ(key.ReadInt("hist"), 1);
    EXPECT_EQ(key.ReadInt("names"), names::kAsk);
    EXPECT_EQ(key.ReadInt("manifest"), manifest::kNone);
    EXPECT_FALSE(key.ValueExists("nomenu"));
    EXPECT_FALSE(key.ValueExists("default"));
}

TEST_F(SettingsStorage, DamagedStoreShowsDefaultsAndTakesTheStoredValues) {
    test::WriteFile(env.ConfigDir() + "/damaged.db", std::string(4096, 'x'));
    Store reopened(env.ConfigDir() + "/damaged.db");
    JobSettings s;
    ReadAllSettings(reopened, s);
    EXPECT_EQ(FieldsFromSettings(s, ReadShellValues(reopened, "local")).bufferSize, 6);
    SettingsFields f;
    f.bufferSize = 2;
    EXPECT_TRUE(StoreFields(reopened, "local", f, {}));
    EXPECT_EQ(reopened.ReadInt(StoreRoot::CurrentUser, ProfileKey("local"), "bufsz"), 2);
}

}  // namespace
}  // namespace rd
