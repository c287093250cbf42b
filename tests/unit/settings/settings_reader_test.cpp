#include "settings/settings_reader.h"

#include <gtest/gtest.h>

#include "platform/store.h"
#include "settings/store_keys.h"
#include "test_support.h"

namespace rd {
namespace {

class SettingsReader : public ::testing::Test {
protected:
    test::PrivateEnvironment env;
    Store store{env.Dir() / "registry.db"};
    const std::string local = ProfileKey("local");
    const std::string network = ProfileKey("network");
};

TEST_F(SettingsReader, FreshStoreGivesTheDefaults) {
    JobSettings s;
    ReadAllSettings(store, s);
    EXPECT_EQ(s.profile, "local");
    EXPECT_EQ(s.delmode, 0);
    EXPECT_EQ(s.encrc, 0);
    EXPECT_EQ(s.onerror, 0);
    EXPECT_EQ(s.onexist, 0);
    EXPECT_EQ(s.names, names::kAsk);
    EXPECT_EQ(s.manifest, manifest::kNone);
    EXPECT_EQ(s.limtip, 1);
    EXPECT_EQ(s.splim, 10);
    EXPECT_EQ(s.bufsz, 6);
    EXPECT_EQ(s.rtdel, 0);
    EXPECT_EQ(s.enskdel, 0);
    EXPECT_EQ(s.skdel, 60000);
    EXPECT_EQ(s.snden, 0);
    EXPECT_EQ(s.popup, 0);
    EXPECT_EQ(s.shutd, 0);
    EXPECT_EQ(s.sddel, 45);
    EXPECT_EQ(s.readburst, 0);
    EXPECT_EQ(s.writeburst, 0);
    EXPECT_EQ(s.parcopy, 0);
    EXPECT_EQ(s.resfsz, 0);
    EXPECT_EQ(s.hist, 1);
    EXPECT_EQ(s.resume, 0);
    EXPECT_EQ(s.Skin, "Default");
    EXPECT_EQ(s.Lngname, "english.lng");
    // No stored installation folder: the user's data folder stands in.
    EXPECT_EQ(s.InstallPath, env.DataDir());
    EXPECT_EQ(s.sndpath, env.DataDir() + "/finish.wav");
    EXPECT_TRUE(s.centerChooser);
    EXPECT_FALSE(s.progressPlacement.hasLeft);
    EXPECT_TRUE(s.recentFolders.empty());
    // The slot is claimed by the job, not read.
    EXPECT_EQ(s.resumeSlot, -1);
}

TEST_F(SettingsReader, StoredValuesAndWrongTypes) {
    store.WriteText(StoreRoot::LocalMachine, kBaseKey, "InstallPath", "/opt/redodori");
    store.WriteText(StoreRoot::CurrentUser, local, "bufsz", "9");    // text: reads as missing
    store.WriteInt(StoreRoot::CurrentUser, local, "splim", 55);      // taken as stored, unclamped
    store.WriteInt(StoreRoot::CurrentUser, local, "ONEXIST", 0x14);  // names ignore case
    store.WriteInt(StoreRoot::CurrentUser, local, "hist", 0);
    store.WriteInt(StoreRoot::CurrentUser, local, "names", names::kRename);
    store.WriteInt(StoreRoot::CurrentUser, local, "manifest", manifest::kSha256);
    store.WriteInt(StoreRoot::CurrentUser, local, "Skin", 3);  // int: the text is missing
    store.WriteText(StoreRoot::CurrentUser, local, "Lngname", "deutsch.lng");
    store.WriteText(StoreRoot::CurrentUser, local, "sndpath", "");

    JobSettings s;
    ReadAllSettings(store, s);
    EXPECT_EQ(s.bufsz, 6);
    EXPECT_EQ(s.splim, 55);
    EXPECT_EQ(s.onexist, 0x14);
    EXPECT_EQ(s.hist, 0);
    EXPECT_EQ(s.names, names::kRename);
    EXPECT_EQ(s.manifest, manifest::kSha256);
    EXPECT_EQ(s.Skin, "Default");
    EXPECT_EQ(s.Lngname, "deutsch.lng");
    EXPECT_EQ(s.InstallPath, "/opt/redodori");
    EXPECT_EQ(s.sndpath, "/opt/redodori/finish.wav");
}

TEST_F(SettingsReader, WindowPlacementStopsAtTheFirstGap) {
    store.WriteInt(StoreRoot::CurrentUser, kBaseKey, "F2_Left", 120);
    store.WriteInt(StoreRoot::CurrentUser, kBaseKey, "F2_Width", 300);  // after the gap
    store.WriteInt(StoreRoot::CurrentUser, kBaseKey, "F1_Left", 5);
    JobSettings s;
    ReadAllSettings(store, s);
    EXPECT_TRUE(s.progressPlacement.hasLeft);
    EXPECT_EQ(s.progressPlacement.left, 120);
    EXPECT_FALSE(s.progressPlacement.hasTop);
    EXPECT_FALSE(s.progressPlacement.hasWidth);
    EXPECT_FALSE(s.chooserPlacement.hasLeft);
    EXPECT_TRUE(s.centerChooser);
}

TEST_F(SettingsReader, CompletePlacementsAreAllTaken) {
    const char* names[] = {"F2_Left", "F2_Top", "F2_Width", "F2_Height",
                           "F1_Left", "F1_Top", "F1_Width", "F1_Height"};
    for (int i = 0; i < 8; ++i)
        store.WriteInt(StoreRoot::CurrentUser, kBaseKey, names[i], 10 * (i + 1));
    JobSettings s;
    ReadAllSettings(store, s);
    EXPECT_FALSE(s.centerChooser);
    EXPECT_EQ(s.progressPlacement.height, 40);
    EXPECT_EQ(s.chooserPlacement.left, 50);
    EXPECT_EQ(s.chooserPlacement.height, 80);

    // A text where an integer belongs stops the group like a missing value.
    store.WriteText(StoreRoot::CurrentUser, kBaseKey, "F1_Top", "60");
    ReadAllSettings(store, s);
    EXPECT_TRUE(s.centerChooser);
    EXPECT_TRUE(s.chooserPlacement.hasLeft);
    EXPECT_FALSE(s.chooserPlacement.hasTop);
}

TEST_F(SettingsReader, RecentFoldersSkipGaps) {
    store.WriteText(StoreRoot::CurrentUser, kBaseKey, "LastDir_0", "/a");
    store.WriteText(StoreRoot::CurrentUser, kBaseKey, "LastDir_5", "");
    store.WriteText(StoreRoot::CurrentUser, kBaseKey, "LastDir_6", "/six");
    store.WriteInt(StoreRoot::CurrentUser, kBaseKey, "LastDir_7", 7);
    store.WriteText(StoreRoot::CurrentUser, kBaseKey, "LastDir_63", "/last");
    store.WriteText(StoreRoot::CurrentUser, kBaseKey, "LastDir_64", "/beyond");
    JobSettings s;
    ReadAllSettings(store, s);
    EXPECT_EQ(s.recentFolders, (std::vector<std::string>{"/a", "/six", "/last"}));
}

TEST_F(SettingsReader, ProfilesAreSeparate) {
    store.WriteInt(StoreRoot::CurrentUser, network, "bufsz", 9);
    store.WriteInt(StoreRoot::CurrentUser, network, "parcopy", 1);
    store.WriteInt(StoreRoot::CurrentUser, local, "bufsz", 2);

    JobSettings net;
    net.profile = "network";
    ReadAllSettings(store, net);
    EXPECT_EQ(net.bufsz, 9);
    EXPECT_EQ(net.parcopy, 1);

    JobSettings loc;
    ReadAllSettings(store, loc);
    EXPECT_EQ(loc.bufsz, 2);
    EXPECT_EQ(loc.parcopy, 0);
    // Reading the network profile wrote nothing into the local one.
    EXPECT_EQ(store.Values(StoreRoot::CurrentUser, local).size(), 1u);
}

TEST(SettingsReaderDamaged, DamagedStoreGivesDefaults) {
    test::PrivateEnvironment env;
    const std::string db = env.Dir() / "registry.db";
    std::string garbage;
    for (int i = 0; i < 8192; ++i)
        garbage.push_back(static_cast<char>((i * 7919) & 0xFF));
    test::WriteFile(db, garbage);
    testing::internal::CaptureStderr();
    Store store(db);
    JobSettings s;
    ReadAllSettings(store, s);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("damaged"), std::string::npos) << err;
    EXPECT_EQ(s.bufsz, 6);
    EXPECT_EQ(s.splim, 10);
    EXPECT_EQ(s.hist, 1);
    EXPECT_EQ(s.Skin, "Default");
}

}  // namespace
}  // namespace rd
