#include "console/share_login.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "pseudo_terminal.h"

namespace rd {

namespace {

smb::Url Address(const std::string& user) {
    smb::Url url;
    url.user = user;
    url.host = "nas";
    url.port = 4455;
    url.share = "rw";
    return url;
}

// A server that answers the logins tried, in turn, with `answers`; what was tried is kept.
struct FakeServer {
    std::vector<int> answers;
    std::vector<std::string> tried = {};  // "user|password"
    TryLogin Try() {
        return [this](const smb::Credentials& credentials) {
            tried.push_back(credentials.user + "|" + credentials.password);
            return answers.at(tried.size() - 1);
        };
    }
};

// Types each line once the prompt before it shows.
std::thread Types(test::PseudoTerminal& terminal,
                  std::vector<std::pair<std::string, std::string>> lines) {
    return std::thread([&terminal, lines] {
        for (const auto& [prompt, keys] : lines) {
            terminal.Show(prompt);
            terminal.shown.clear();
            EXPECT_EQ(::write(terminal.user, keys.data(), keys.size()),
                      static_cast<ssize_t>(keys.size()));
        }
    });
}

}  // namespace

TEST(ShareLogin, RefusedLoginIsAskedAgainWithTheAddresssUserByDefault) {
    test::PseudoTerminal terminal;
    ASSERT_GE(terminal.program, 0);
    FakeServer server{{EACCES, EACCES, 0}};
    std::thread user = Types(terminal, {{"User name for nas:4455 [anna]: ", "\n"},
                                        {"Password for anna@nas:4455: ", "bad\n"},
                                        {"refused.\r\nUser name for nas:4455 [anna]: ", "bob\n"},
                                        {"Password for bob@nas:4455: ", "good\n"}});
    const ShareLogin login = AskShareLogin(Address("anna"), terminal.program, server.Try());
    user.join();
    EXPECT_EQ(login.kind, ShareLogin::Kind::kGiven);
    EXPECT_EQ(login.credentials.user, "bob");
    EXPECT_EQ(login.credentials.password, "good");
    EXPECT_EQ(server.tried, (std::vector<std::string>{"|", "anna|bad", "bob|good"}));
}

TEST(ShareLogin, ThreeRefusalsAndNoAnswerStartNothing) {
    test::PseudoTerminal terminal;
    ASSERT_GE(terminal.program, 0);
    FakeServer server{{EACCES, EPERM, EACCES, EACCES}};
    std::thread user = Types(terminal, {{"User name for nas:4455: ", "a\n"},
                                        {"Password for a@nas:4455: ", "1\n"},
                                        {"User name for nas:4455: ", "a\n"},
                                        {"Password for a@nas:4455: ", "2\n"},
                                        {"User name for nas:4455: ", "a\n"},
                                        {"Password for a@nas:4455: ", "3\n"}});
    EXPECT_EQ(AskShareLogin(Address(""), terminal.program, server.Try()).kind,
              ShareLogin::Kind::kRefused);
    user.join();
    EXPECT_EQ(server.tried.size(), 4u);

    // Ctrl+D at the user name.
    FakeServer ended{{EACCES}};
    std::thread gone = Types(terminal, {{"User name for nas:4455: ", "\x04"}});
    EXPECT_EQ(AskShareLogin(Address(""), terminal.program, ended.Try()).kind,
              ShareLogin::Kind::kNoAnswer);
    gone.join();
    EXPECT_EQ(ended.tried.size(), 1u);
}

// A user without a password is turned down by libsmbclient as an invalid request.
TEST(ShareLogin, EmptyPasswordTurnedDownIsARefusal) {
    test::PseudoTerminal terminal;
    ASSERT_GE(terminal.program, 0);
    FakeServer server{{EACCES, EINVAL, 0}};
    std::thread user = Types(terminal, {{"User name for nas:4455: ", "a\n"},
                                        {"Password for a@nas:4455: ", "\n"},
                                        {"User name for nas:4455: ", "a\n"},
                                        {"Password for a@nas:4455: ", "x\n"}});
    EXPECT_EQ(AskShareLogin(Address(""), terminal.program, server.Try()).kind,
              ShareLogin::Kind::kGiven);
    user.join();
    EXPECT_EQ(server.tried, (std::vector<std::string>{"|", "a|", "a|x"}));
}

TEST(ShareLogin, NothingIsAskedWhenTheGuestIsNotRefusedOrNoTerminal) {
    test::PseudoTerminal terminal;
    ASSERT_GE(terminal.program, 0);
    for (const int answer : {0, ENOENT, ECONNREFUSED}) {
        FakeServer server{{answer}};
        EXPECT_EQ(AskShareLogin(Address("anna"), terminal.program, server.Try()).kind,
                  ShareLogin::Kind::kGuest)
            << answer;
        EXPECT_EQ(server.tried, std::vector<std::string>{"|"});
    }
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    FakeServer server{{EACCES, EACCES}};
    EXPECT_EQ(AskShareLogin(Address("anna"), pipe[0], server.Try()).kind, ShareLogin::Kind::kGuest);
    EXPECT_EQ(AskShareLogin(Address("anna"), -1, server.Try()).kind, ShareLogin::Kind::kGuest);
    EXPECT_EQ(server.tried.size(), 2u);
    ::close(pipe[0]);
    ::close(pipe[1]);
    EXPECT_EQ(terminal.Show("User name"), "") << "asked with nothing to ask on";
}

}  // namespace rd
