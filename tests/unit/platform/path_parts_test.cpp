#include "platform/path_parts.h"

#include <gtest/gtest.h>

namespace rd {
namespace {

TEST(PathParts, SplitAtTheLastSeparator) {
    EXPECT_EQ(DirPart("/"), "/");
    EXPECT_EQ(NamePart("/"), "");
    EXPECT_EQ(DirPart("/a"), "/");
    EXPECT_EQ(NamePart("/a"), "a");
    EXPECT_EQ(DirPart("/a/b/"), "/a/b/");
    EXPECT_EQ(NamePart("/a/b/"), "");
    EXPECT_EQ(DirPart("/a/b.txt"), "/a/");
    EXPECT_EQ(NamePart("/a/b.txt"), "b.txt");
}

TEST(PathParts, NoSeparatorLeavesThePathWhole) {
    EXPECT_EQ(DirPart("a"), "a");
    EXPECT_EQ(NamePart("a"), "a");
    EXPECT_EQ(DirPart(""), "");
    EXPECT_EQ(NamePart(""), "");
}

}  // namespace
}  // namespace rd
