#include "app/settings_summary.h"

#include <gtest/gtest.h>

#include "app/settings_policy.h"

namespace rd {
namespace {

TEST(SettingsSummary, DefaultsExactly) {
    JobSettings s;
    EXPECT_EQ(SettingsSummary(PolicyOf(s)),
              "RedoDori v2.83 loaded by console wrapper\r\n"
              "***Current settings***\r\n"
              "Speed limit:  None\r\n"
              "Buffer size: 1 Mbytes\r\n"
              "Autoresume copy on crash: OFF\r\n"
              "Log this copy to history: ON\r\n"
              "Read burst: OFF\r\n"
              "Write burst: OFF\r\n"
              "Parallel read/write: OFF\r\n"
              "Copy verification: OFF\r\n"
              "Reserve free space: OFF\r\n"
              "Delete mode: None\r\n"
              "On copy complete: None\r\n"
              "On copy error:\r\n"
              "     Prompt\r\n"
              "On file exist:\r\n"
              "     Prompt\r\n"
              "**********************\r\n"
              "Preparing filelist...\r");
}

TEST(SettingsSummary, EverythingOn) {
    JobSettings s;
    s.limtip = 0;
    s.splim = 9;
    s.bufsz = 10;
    s.resume = 1;
    s.hist = 0;
    s.readburst = 1;
    s.writeburst = 1;
    s.parcopy = 1;
    s.encrc = 1;
    s.resfsz = 1;
    s.delmode = mode::kDelete | 0x4;
    s.snden = 1;
    s.popup = 1;
    s.shutd = 1;
    s.onerror = 2;
    s.enskdel = 1;
    s.skdel = 1500;
    s.onexist = 16 | 4 | 8;
    EXPECT_EQ(SettingsSummary(PolicyOf(s)),
              "RedoDori v2.83 loaded by console wrapper\r\n"
              "***Current settings***\r\n"
              "Speed limit: 16384 Kbps\r\n"
              "Buffer size: 32 Mbytes\r\n"
              "Autoresume copy on crash: ON\r\n"
              "Log this copy to history: OFF\r\n"
              "Read burst: ON\r\n"
              "Write burst: ON\r\n"
              "Parallel read/write: ON\r\n"
              "Copy verification: ON\r\n"
              "Reserve free space: ON\r\n"
              "Delete mode: Delete files (2 times overwrite)\r\n"
              "On copy complete: Play soundPromptShutdown\r\n"
              "On copy error:\r\n"
              "     Skip\r\n"
              "     Skip if can't retry operation for 1500 msec\r\n"
              "On file exist:\r\n"
              "     Overwrite, if target file older than new, else\r\n"
              "     Try resume, if impossible then\r\n"
              "     Rename old\r\n"
              "**********************\r\n"
              "Preparing filelist...\r");
}

TEST(SettingsSummary, Labels) {
    EXPECT_EQ(SpeedLimitLabel(1, 4), "50%");
    EXPECT_EQ(SpeedLimitLabel(1, 9), "95%");
    EXPECT_EQ(SpeedLimitLabel(2, 4), "512 bps");
    EXPECT_EQ(SpeedLimitLabel(0, 0), "16 Kbps");
    EXPECT_EQ(SpeedLimitLabel(7, 2), "128 bps");
    EXPECT_EQ(SpeedLimitLabel(0, 10), " None");
    EXPECT_EQ(SpeedLimitLabel(1, 11), "");
    EXPECT_EQ(SpeedLimitLabel(1, -1), "");
    EXPECT_EQ(BufferSizeLabel(0), "512 bytes");
    EXPECT_EQ(BufferSizeLabel(8), "4 Mbytes");
    EXPECT_EQ(BufferSizeLabel(9), "16 Mbytes");
    EXPECT_EQ(BufferSizeLabel(11), "");
}

TEST(SettingsSummary, OddValues) {
    JobSettings s;
    s.snden = 1;
    s.shutd = 1;
    s.onexist = 3;
    s.onerror = 7;
    s.delmode = mode::kMove;
    const std::string text = SettingsSummary(PolicyOf(s));
    EXPECT_NE(text.find("On copy complete: Play soundShutdown\r\n"), std::string::npos);
    // No choice line for a combination of bits, nor for an unknown error policy.
    EXPECT_NE(text.find("On file exist:\r\n\r\n****"), std::string::npos);
    EXPECT_NE(text.find("On copy error:\r\n\r\nOn file exist"), std::string::npos);
    EXPECT_NE(text.find("Delete mode: Move files\r\n"), std::string::npos);
    s.bufsz = 42;
    EXPECT_NE(SettingsSummary(PolicyOf(s)).find("Buffer size: \r\n"), std::string::npos);
}

}  // namespace
}  // namespace rd
