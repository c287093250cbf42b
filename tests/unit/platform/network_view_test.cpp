#include "platform/network_view.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace rd::netview {

// The plug-in double beside the test program answers from REDODORI_TEST_HOSTS.
TEST(NetworkView, HostsAndCredentialsFromThePlugIn) {
    ::unsetenv("REDODORI_TEST_HOSTS");
    EXPECT_FALSE(Usable());
    EXPECT_TRUE(Hosts().empty());
    std::string user, password;
    EXPECT_FALSE(Credentials("nas", user, password));

    const std::string table =
        "nas|0|on|3h|Files|anna|secret\n"
        "printer|2048|on|||\n"
        "Laptop|7|off|1d|||\n"
        "longname-" +
        std::string(300, 'x') + "|x||||\n";
    ::setenv("REDODORI_TEST_HOSTS", table.c_str(), 1);
    ASSERT_TRUE(Usable());
    const std::vector<Host> hosts = Hosts();
    ASSERT_EQ(hosts.size(), 4u);
    EXPECT_EQ(hosts[0].name, "nas");
    EXPECT_EQ(hosts[0].flags, "0");
    EXPECT_EQ(hosts[0].ison, "on");
    EXPECT_EQ(hosts[0].ctime, "3h");
    EXPECT_EQ(hosts[0].sdesc, "Files");
    EXPECT_EQ(hosts[1].flags, "2048");
    EXPECT_EQ(hosts[2].ison, "off");
    // The record holds 195 characters of a name; the plug-in cut it there.
    EXPECT_EQ(hosts[3].name.size(), 195u);
    EXPECT_TRUE(Credentials("nas", user, password));
    EXPECT_EQ(user, "anna");
    EXPECT_EQ(password, "secret");
    EXPECT_FALSE(Credentials("printer", user, password));
    EXPECT_FALSE(Credentials("unknown", user, password));
    ::unsetenv("REDODORI_TEST_HOSTS");
}

}  // namespace rd::netview
