#include "console/password_prompt.h"

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include "pseudo_terminal.h"

namespace rd {

TEST(PasswordPrompt, TypedPasswordIsNotShownAndTheTerminalIsRestored) {
    test::PseudoTerminal terminal;
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

    test::PseudoTerminal terminal;
    ASSERT_GE(terminal.program, 0);
    const tcflag_t before = terminal.Modes().c_lflag;
    // Ctrl+D at the start of a line ends the input.
    std::thread user = terminal.TypeAfter("Password: ", "\x04");
    EXPECT_EQ(AskPassword(terminal.program, terminal.program, "Password: "), std::nullopt);
    user.join();
    EXPECT_EQ(terminal.Modes().c_lflag, before);
}

}  // namespace rd
