#include "console/password_prompt.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace rd {

namespace {

// A pseudo-terminal: the program's side, and the side where a user reads and types.
struct Terminal {
    Terminal() {
        user = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (user >= 0 && ::grantpt(user) == 0 && ::unlockpt(user) == 0)
            program = ::open(::ptsname(user), O_RDWR | O_NOCTTY);
    }
    ~Terminal() {
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

}  // namespace

TEST(PasswordPrompt, TypedPasswordIsNotShownAndTheTerminalIsRestored) {
    Terminal terminal;
    ASSERT_GE(terminal.program, 0);
    const tcflag_t before = terminal.Modes().c_lflag;
    ASSERT_TRUE(before & ECHO);
    std::thread user = terminal.TypeAfter("anna@nas: ", "s3cr et\n");
    EXPECT_EQ(AskPassword(terminal.program, terminal.program, "Password for anna@nas: "),
              "s3cr et");
    user.join();
    const std::string shown = terminal.Show("\n");
    EXPECT_EQ(shown.find("s3cr"), std::string::npos) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 2), "\r\n") << "the line was not ended";
    EXPECT_EQ(terminal.Modes().c_lflag, before);
}

TEST(PasswordPrompt, NoTerminalOrNoLineIsNoPassword) {
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    ASSERT_EQ(::write(pipe[1], "secret\n", 7), 7);
    EXPECT_EQ(AskPassword(pipe[0], pipe[1], "Password: "), std::nullopt);
    ::close(pipe[0]);
    ::close(pipe[1]);

    Terminal terminal;
    ASSERT_GE(terminal.program, 0);
    const tcflag_t before = terminal.Modes().c_lflag;
    // Ctrl+D at the start of a line ends the input.
    std::thread user = terminal.TypeAfter("Password: ", "\x04");
    EXPECT_EQ(AskPassword(terminal.program, terminal.program, "Password: "), std::nullopt);
    user.join();
    EXPECT_EQ(terminal.Modes().c_lflag, before);
}

}  // namespace rd
