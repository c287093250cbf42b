#include "resume/check_positions.h"

#include <gtest/gtest.h>

#include "platform/store.h"
#include "test_support.h"

namespace rd {
namespace {

TEST(CheckPositions, KeptPerManifestUntilForgotten) {
    test::PrivateEnvironment env;
    Store store{env.ConfigDir() + "/registry.db"};
    const std::string one = "1:2:3:4.000000005:/data/A.sha256";
    // Value names ignore case: two manifests whose paths differ only in case stay apart.
    const std::string other = "1:2:3:4.000000005:/data/a.sha256";
    const CheckPosition position{2, {{CheckFindingKind::Missing, 0, 1, "gone"}}};
    EXPECT_EQ(LoadCheckPosition(store, one), std::nullopt);
    ASSERT_TRUE(SaveCheckPosition(store, one, position));
    EXPECT_EQ(LoadCheckPosition(store, one), position);
    EXPECT_EQ(LoadCheckPosition(store, other), std::nullopt);
    ForgetCheckPosition(store, one);
    EXPECT_EQ(LoadCheckPosition(store, one), std::nullopt);
}

TEST(CheckPositions, ADamagedValueStartsOver) {
    test::PrivateEnvironment env;
    Store store{env.ConfigDir() + "/registry.db"};
    StoreKey(store, StoreRoot::CurrentUser, "SOFTWARE\\DiraRedi\\RedoDori\\Checks")
        .WriteText(CheckPositionName("key"), "done many\n");
    EXPECT_EQ(LoadCheckPosition(store, "key"), std::nullopt);
}

}  // namespace
}  // namespace rd
