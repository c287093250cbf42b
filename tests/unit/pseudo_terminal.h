// A pseudo-terminal for the console's prompts: the program's side, and the side where a user
// reads and types.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace rd::test {

struct PseudoTerminal {
    PseudoTerminal() {
        user = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (user >= 0 && ::grantpt(user) == 0 && ::unlockpt(user) == 0)
            program = ::open(::ptsname(user), O_RDWR | O_NOCTTY);
    }
    ~PseudoTerminal() {
        ::close(program);
        ::close(user);
    }
    // Reads what the terminal shows until `wanted` is among it or nothing more comes for 2 s.
    std::string Show(const std::string& wanted) {
        char buffer[256];
        pollfd ready{user, POLLIN, 0};
        while (shown.find(wanted) == std::string::npos && ::poll(&ready, 1, 2000) > 0) {
            const ssize_t n = ::read(user, buffer, sizeof buffer);
            if (n <= 0)
                break;
            shown.append(buffer, static_cast<size_t>(n));
        }
        return shown;
    }
    // Types `keys` once the prompt shows, as a user does.
    std::thread TypeAfter(const std::string& prompt, const std::string& keys) {
        return std::thread([this, prompt, keys] {
            Show(prompt);
            EXPECT_EQ(::write(user, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
        });
    }
    termios Modes() const {
        termios modes{};
        EXPECT_EQ(::tcgetattr(program, &modes), 0);
        return modes;
    }
    int user = -1;
    int program = -1;
    std::string shown;
};

}  // namespace rd::test
