#include "app/recent_destinations.h"

#include <gtest/gtest.h>

#include "platform/store.h"
#include "settings/store_keys.h"
#include "test_support.h"

namespace rd {
namespace {

class RecentDestinations : public ::testing::Test {
protected:
    std::optional<std::string> Text(const std::string& name) {
        return store.ReadText(StoreRoot::CurrentUser, kBaseKey, name);
    }
    test::PrivateEnvironment env;
    Store store{env.Dir() / "registry.db"};
};

std::vector<std::string> Numbered(int from, int to) {
    std::vector<std::string> list;
    for (int i = from; i < to; ++i)
        list.push_back("/d" + std::to_string(i) + "/");
    return list;
}

TEST(RecentDestinationRules, RememberAndNetworkPaths) {
    const struct {
        std::vector<std::string> before;
        const char* text;
        std::vector<std::string> after;
    } cases[] = {
        {{}, "/a/", {"/a/"}},
        {{"/a/", "/B/"}, "/b/", {"/a/", "/B/"}},  // differs only in case: nothing added
        {{"/a/", "/b/"}, "/a/", {"/a/", "/b/"}},  // known entries keep their place
        {{"/a/"}, "/a/?/b/", {"/a/", "/a/?/b/"}},
        {Numbered(0, 64), "/new/",
         [] {
             auto l = Numbered(1, 64);
             l.push_back("/new/");
             return l;
         }()},
        {Numbered(0, 64), "/D5/", Numbered(0, 64)},
    };
    for (const auto& c : cases) {
        auto list = c.before;
        RememberDestination(list, c.text);
        EXPECT_EQ(list, c.after) << c.text;
    }
    for (const char* network : {"\\\\host\\share\\", "smb://host/share/"})
        EXPECT_TRUE(IsNetworkDestination(network, "ext4")) << network;
    for (const char* local : {"/a/", "\\host", "/smb://", ""})
        EXPECT_FALSE(IsNetworkDestination(local, "ext4")) << local;
    for (const char* type : {"nfs4", "cifs", "fuse.sshfs"})
        EXPECT_TRUE(IsNetworkDestination("/mnt/share/", type)) << type;
}

TEST_F(RecentDestinations, SaveLoadRoundTrip) {
    // Start-up skips missing and empty numbers; a full list is written back without gaps.
    store.WriteText(StoreRoot::CurrentUser, kBaseKey, "LastDir_0", "/old/");
    store.WriteText(StoreRoot::CurrentUser, kBaseKey, "LastDir_1", "");
    store.WriteText(StoreRoot::CurrentUser, kBaseKey, "LastDir_5", "/five/");
    store.WriteText(StoreRoot::CurrentUser, kBaseKey, "LastDir_63", "/last/");
    store.WriteText(StoreRoot::CurrentUser, kBaseKey, "LastDir", "/old/");
    ChooserMemory memory = LoadChooserMemory(store);
    EXPECT_EQ(memory.recent, (std::vector<std::string>{"/old/", "/five/", "/last/"}));
    EXPECT_EQ(memory.lastDir, "/old/");

    SaveAfterOk(store, memory.recent, "/new/?/x/", {10, 20, 300, 400});
    const std::vector<std::string> expected = {"/old/", "/five/", "/last/", "/new/?/x/"};
    EXPECT_EQ(memory.recent, expected);
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(Text("LastDir_" + std::to_string(i)), expected[i]);
    EXPECT_FALSE(store.ValueExists(StoreRoot::CurrentUser, kBaseKey, "LastDir_5"));
    EXPECT_FALSE(store.ValueExists(StoreRoot::CurrentUser, kBaseKey, "LastDir_63"));
    EXPECT_EQ(Text("LastDir"), "/new/?/x/");
    const std::pair<const char*, int32_t> placement[] = {
        {"F1_Left", 10}, {"F1_Top", 20}, {"F1_Width", 300}, {"F1_Height", 400}};
    for (const auto& [name, value] : placement)
        EXPECT_EQ(store.ReadInt(StoreRoot::CurrentUser, kBaseKey, name), value) << name;
    EXPECT_EQ(LoadChooserMemory(store).recent, expected);

    // A network destination joins the list but is not pre-selected next time; a case-only
    // variant of a known one changes neither.
    SaveAfterOk(store, memory.recent, "smb://host/share/", {});
    EXPECT_EQ(Text("LastDir"), "/new/?/x/");
    SaveAfterOk(store, memory.recent, "/OLD/", {});
    EXPECT_EQ(memory.recent.back(), "smb://host/share/");
    EXPECT_EQ(memory.recent.size(), 5u);
    EXPECT_EQ(Text("LastDir"), "/OLD/");
    EXPECT_EQ(LoadChooserMemory(store).recent, memory.recent);

    // An empty text stores nothing.
    SaveAfterOk(store, memory.recent, "", {1, 1, 1, 1});
    EXPECT_EQ(store.ReadInt(StoreRoot::CurrentUser, kBaseKey, "F1_Left"), 0);
}

TEST_F(RecentDestinations, SixtyFifthEntryPushesOutTheOldest) {
    std::vector<std::string> recent = Numbered(0, 64);
    SaveAfterOk(store, recent, "/new/", {});
    ASSERT_EQ(recent.size(), 64u);
    EXPECT_EQ(Text("LastDir_0"), "/d1/");
    EXPECT_EQ(Text("LastDir_63"), "/new/");
    EXPECT_FALSE(store.ValueExists(StoreRoot::CurrentUser, kBaseKey, "LastDir_64"));
    EXPECT_EQ(LoadChooserMemory(store).recent, recent);
}

}  // namespace
}  // namespace rd
