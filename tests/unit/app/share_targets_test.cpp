#include "app/share_targets.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/smb_client.h"
#include "samba_server.h"

namespace rd {

namespace {

// A CIFS mount of //nas/photos at /mnt/nas, beside the root file system.
constexpr const char* kMounts =
    "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
    "40 22 0:50 / /mnt/nas rw - cifs //nas/photos rw,vers=3.1.1\n";

std::string Logins(const std::map<std::string, smb::Credentials>& logins) {
    std::string text;
    for (const auto& [server, credentials] : logins)
        text += server + "=" + credentials.user + "|" + credentials.password + ";";
    return text;
}

}  // namespace

TEST(ShareTargets, AMountedShareIsItsFolderAnyOtherItsAddressWithItsLogin) {
    std::vector<std::string> asked;
    const ChosenTargets chosen = ResolveShareTargets(
        "smb://nas/photos/2026/?smb://127.0.0.1:4455/rw/in?/local/?smb://pc/docs/?", kMounts,
        [&asked](const std::string& host) {
            asked.push_back(host);
            return smb::Credentials{"u-" + host, "p-" + host};
        });
    EXPECT_EQ(chosen.text, "/mnt/nas/2026/?smb://127.0.0.1:4455/rw/in/?/local/?smb://pc/docs/?");
    ASSERT_EQ(chosen.direct.size(), 2u);
    EXPECT_EQ(chosen.direct[0].address, "smb://127.0.0.1:4455/rw/in/");
    EXPECT_EQ(chosen.direct[1].address, "smb://pc/docs/");
    EXPECT_EQ(asked, (std::vector<std::string>{"127.0.0.1:4455", "pc"}));
    EXPECT_EQ(Logins(LoginsOf(chosen.direct)),
              "127.0.0.1:4455=u-127.0.0.1:4455|p-127.0.0.1:4455;pc=u-pc|p-pc;");
}

TEST(ShareTargets, WhyAShareCannotBeReached) {
    EXPECT_EQ(ShareLoginProblem(EACCES), "the user name or password was refused");
    EXPECT_EQ(ShareLoginProblem(EPERM), "the user name or password was refused");
    EXPECT_EQ(ShareLoginProblem(ENOENT), "there is no such share");
    EXPECT_EQ(ShareLoginProblem(ECONNREFUSED), "Connection refused");
}

TEST(ShareTargets, LoginsAreCheckedAgainstTheServer) {
    const test::SambaServer server;
    if (!smb::Available() || server.Port().empty())
        GTEST_SKIP() << "needs libsmbclient, root and smbd";
    const std::string share = "smb://" + server.Host() + "/";
    const smb::Credentials right{"nobody", "right-pw"};
    const smb::Credentials wrong{"nobody", "wrong-pw"};
    EXPECT_EQ(CheckShareLogins({{share + "rw/dest/", server.Host(), right},
                                {share + "ro/", server.Host(), right}},
                               5000),
              "");
    EXPECT_EQ(
        CheckShareLogins(
            {{share + "rw/", server.Host(), right}, {share + "rw/x/", server.Host(), wrong}}, 5000),
        share + "rw/x/ could not be reached: the user name or password was refused");
    EXPECT_EQ(CheckShareLogins({{share + "rw/", server.Host(), {"nobody", ""}}}, 5000),
              share + "rw/ could not be reached: the user name or password was refused");
    EXPECT_EQ(CheckShareLogins({{share + "rw/", server.Host(), {}}}, 5000),
              share + "rw/ could not be reached: the user name or password was refused");
    EXPECT_EQ(CheckShareLogins({{share + "none/", server.Host(), right}}, 5000),
              share + "none/ could not be reached: there is no such share");
}

}  // namespace rd
