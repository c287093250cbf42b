#include "app/share_logins.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/smb_credentials.h"
#include "test_support.h"

namespace rd {

namespace {

std::string Logins(const std::map<std::string, smb::Credentials>& logins) {
    std::string text;
    for (const auto& [server, credentials] : logins)
        text += server + "=" + credentials.user + "|" + credentials.password + ";";
    return text;
}

std::string CredentialsFile(const test::TempDir& dir) {
    const std::string path = dir / "cred";
    std::ofstream(path) << "username = filed\npassword = from-file\n";
    ::chmod(path.c_str(), 0600);
    return path;
}

const std::vector<std::string> kTargets = {"smb://nas/rw/a/", "/local/", "smb://[fe80::1]:4455/x/"};

}  // namespace

// The pipe is read at the first call only: by a later one its number may be another file's.
TEST(ShareLogins, ThePipeGivesTheLoginOnceAndWinsOverTheFile) {
    const test::TempDir dir;
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string text = smb::CredentialsText({"anna", "piped", ""});
    ASSERT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(ends[1]);
    ::setenv(smb::kCredentialsVariable, CredentialsFile(dir).c_str(), 1);
    ::setenv(smb::kCredentialsFdVariable, std::to_string(ends[0]).c_str(), 1);
    TakeLoginPipe();
    // Programs started from here neither see the variable nor inherit the pipe.
    EXPECT_EQ(std::getenv(smb::kCredentialsFdVariable), nullptr);
    EXPECT_EQ(::fcntl(ends[0], F_GETFD), FD_CLOEXEC);
    std::string problem;
    EXPECT_EQ(Logins(ShareLogins(kTargets, problem)), "[fe80::1]:4455=anna|piped;nas=anna|piped;");
    EXPECT_EQ(problem, "");
    EXPECT_EQ(::fcntl(ends[0], F_GETFD), -1) << "the pipe was left open";
    ::unsetenv(smb::kCredentialsVariable);
    EXPECT_EQ(Logins(ShareLogins(kTargets, problem)), "");
    EXPECT_EQ(problem, "");
}

TEST(ShareLogins, ADescriptorThatIsNoneIsTold) {
    ::unsetenv(smb::kCredentialsVariable);
    ::setenv(smb::kCredentialsFdVariable, "9x", 1);
    TakeLoginPipe();
    std::string problem;
    EXPECT_EQ(Logins(ShareLogins(kTargets, problem)), "");
    EXPECT_EQ(problem, "REDODORI_CREDENTIALS_FD=9x names no open descriptor");
    EXPECT_EQ(std::getenv(smb::kCredentialsFdVariable), nullptr);
}

TEST(ShareLogins, TheFileWithoutAPipeAndNothingWithoutAShare) {
    const test::TempDir dir;
    const std::string file = CredentialsFile(dir);
    ::unsetenv(smb::kCredentialsFdVariable);
    ::setenv(smb::kCredentialsVariable, file.c_str(), 1);
    std::string problem;
    EXPECT_EQ(Logins(ShareLogins(kTargets, problem)),
              "[fe80::1]:4455=filed|from-file;nas=filed|from-file;");
    EXPECT_EQ(Logins(ShareLogins({"/local/"}, problem)), "");
    ::chmod(file.c_str(), 0644);
    EXPECT_EQ(Logins(ShareLogins(kTargets, problem)), "");
    EXPECT_EQ(problem, file + ": the credentials file " + file +
                           " cannot be used: others may read or change it (chmod 600 it)");
    ::unsetenv(smb::kCredentialsVariable);
}

}  // namespace rd
