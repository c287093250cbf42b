#include "platform/display.h"

#include <gtest/gtest.h>

namespace rd::display {
namespace {

TEST(Display, XDisplayNames) {
    const struct {
        const char* value;
        bool ok;
        const char* socket;
        const char* host;
        int port;
    } cases[] = {
        {":0", true, "/tmp/.X11-unix/X0", "", 0},
        {":12.1", true, "/tmp/.X11-unix/X12", "", 0},
        {"unix:3", true, "/tmp/.X11-unix/X3", "", 0},
        {"localhost:10.0", true, "", "localhost", 6010},
        {"::1:2", true, "", "::1", 6002},
        {"0", false, "", "", 0},
        {":", false, "", "", 0},
        {":x", false, "", "", 0},
        {":-1", false, "", "", 0},
        {":99999", false, "", "", 0},
    };
    for (const auto& c : cases) {
        const std::optional<XAddress> address = ParseXDisplay(c.value);
        ASSERT_EQ(address.has_value(), c.ok) << c.value;
        if (address) {
            EXPECT_EQ(address->socketPath, c.socket) << c.value;
            EXPECT_EQ(address->host, c.host) << c.value;
            EXPECT_EQ(address->port, c.port) << c.value;
        }
    }
}

}  // namespace
}  // namespace rd::display
