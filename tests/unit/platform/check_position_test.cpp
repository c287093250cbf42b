#include "platform/check_position.h"

#include <gtest/gtest.h>

namespace rd {
namespace {

TEST(CheckPositionText, ComesBackAsItWas) {
    const CheckPosition cases[] = {
        {0, {}},
        {7, {}},
        {3,
         {{CheckFindingKind::Mismatch, 0, 0, "a"},
          {CheckFindingKind::Missing, 0, 2, "sub dir/with space"},
          {CheckFindingKind::Unreadable, 13, 1, "line\nbreak\\and\xff byte"},
          {CheckFindingKind::Unreadable, 0, 2, "fifo"}}},
    };
    for (const CheckPosition& position : cases) {
        const std::string text = CheckPositionText(position);
        EXPECT_EQ(ParseCheckPosition(text), position) << text;
    }
    EXPECT_EQ(CheckPositionText(cases[2]).substr(0, 23), "done 3\nmismatch 0 0 61\n");
}

TEST(CheckPositionText, DamagedTextsAreRefused) {
    const char* cases[] = {
        "",
        "done\n",
        "done x\n",
        "done 3",
        "began 3\n",
        "done 3\nmismatch 0 0 6\n",
        "done 3\nmismatch 0 0 zz\n",
        "done 3\nmismatch 0 0 \n",
        "done 3\nodd 0 0 61\n",
        "done 3\nmismatch 0 0 61 extra\n",
        // A finding beyond the entries done would make a resumed check read that file twice.
        "done 3\nmissing 0 3 61\n",
    };
    for (const char* text : cases)
        EXPECT_EQ(ParseCheckPosition(text), std::nullopt) << text;
}

}  // namespace
}  // namespace rd
