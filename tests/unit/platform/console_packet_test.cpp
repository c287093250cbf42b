#include "platform/console_packet.h"

#include <gtest/gtest.h>

namespace rd {
namespace {

TEST(WithConsoleSwitch, EndsTheSwitchField) {
    EXPECT_EQ(WithConsoleSwitch("|/l.lst|/d/?|uwq2", 7), "|/l.lst|/d/?|uwq2Lt7");
    EXPECT_EQ(WithConsoleSwitch("|/l.lst|/d/?|", 4294967295u), "|/l.lst|/d/?|Lt4294967295");
}

TEST(WithConsoleSwitch, StaysInTheSwitchFieldWhenMoreFieldsFollow) {
    EXPECT_EQ(WithConsoleSwitch("|/s|/d/?|k|more", 12), "|/s|/d/?|kLt12|more");
}

}  // namespace
}  // namespace rd
