#include "platform/smb_credentials.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "test_support.h"

namespace rd::smb {

namespace {

std::string Write(const test::TempDir& dir, const std::string& name, const std::string& text,
                  mode_t mode) {
    const std::string path = dir / name;
    std::ofstream(path) << text;
    ::chmod(path.c_str(), mode);
    return path;
}

}  // namespace

TEST(SmbCredentials, SmbclientsFormat) {
    const test::TempDir dir;
    const struct {
        const char* text;
        const char* read;  // user|password|domain, or the problem after the file's name
    } rows[] = {
        {"username = anna\npassword = s3cr et \ndomain = HOME\n", "anna|s3cr et|HOME"},
        {"# a comment\n; another\n\n  username=anna\r\npassword =\n", "anna||"},
        {"password = a=b#c\nusername = anna", "anna|a=b#c|"},
        {"username = anna\nuser = bob\n",
         ": line 2 is not 'username = ', 'password = ' or 'domain = '"},
        {"username anna\n", ": line 1 is not 'username = ', 'password = ' or 'domain = '"},
        {"password = x\n", ": it names no user ('username = ')"},
    };
    for (const auto& row : rows) {
        const std::string path = Write(dir, "cred", row.text, 0600);
        Credentials read;
        std::string problem;
        const std::string got =
            ReadCredentialsFile(path, read, problem)
                ? read.user + "|" + read.password + "|" + read.domain
                : problem.substr(
                      std::string("the credentials file " + path + " cannot be used").size());
        EXPECT_EQ(got, row.read) << row.text;
    }
}

TEST(SmbCredentials, OnlyAPrivateRegularFileOfTheUser) {
    const test::TempDir dir;
    const std::string good = Write(dir, "good", "username = anna\n", 0600);
    const struct {
        std::string path;
        mode_t mode;
        const char* problem;  // empty: taken
    } rows[] = {
        {good, 0600, ""},
        {good, 0400, ""},
        {good, 0640, "others may read or change it (chmod 600 it)"},
        {good, 0604, "others may read or change it (chmod 600 it)"},
        {good, 0620, "others may read or change it (chmod 600 it)"},
        {dir / "missing", 0, "No such file or directory"},
        {dir.Path(), 0700, "it is not a regular file"},
    };
    for (const auto& row : rows) {
        if (row.mode)
            ::chmod(row.path.c_str(), row.mode);
        Credentials read;
        std::string problem;
        EXPECT_EQ(ReadCredentialsFile(row.path, read, problem), !*row.problem) << row.mode;
        EXPECT_EQ(problem, *row.problem ? "the credentials file " + row.path +
                                              " cannot be used: " + row.problem
                                        : "");
    }
    const std::string link = dir / "link";
    ASSERT_EQ(::symlink(good.c_str(), link.c_str()), 0);
    Credentials read;
    std::string problem;
    EXPECT_FALSE(ReadCredentialsFile(link, read, problem));
    EXPECT_NE(problem.find("it is a symbolic link"), std::string::npos) << problem;
    EXPECT_TRUE(read.user.empty());
}

// Root's files belong to root, so only another user's process can see a stranger's file.
TEST(SmbCredentials, AnotherUsersFileIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a file away";
    const test::TempDir dir;
    const std::string path = Write(dir, "theirs", "username = anna\n", 0600);
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    Credentials read;
    std::string problem;
    EXPECT_FALSE(ReadCredentialsFile(path, read, problem));
    EXPECT_NE(problem.find("it belongs to another user"), std::string::npos) << problem;
}

namespace {

// A pipe holding `text`, written and closed: its read end.
int PipeOf(const std::string& text) {
    int ends[2];
    if (::pipe(ends) != 0)
        return -1;
    const bool written =
        ::write(ends[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(ends[1]);
    return written ? ends[0] : -1;
}

}  // namespace

TEST(SmbCredentials, APipeHoldsWhatCredentialsTextWrites) {
    const Credentials given{"anna", "pa ss=#word", "HOME"};
    const int fd = PipeOf(CredentialsText(given));
    ASSERT_GE(fd, 0);
    Credentials read;
    std::string problem;
    ASSERT_TRUE(ReadCredentialsPipe(fd, read, problem)) << problem;
    EXPECT_EQ(read.user + "|" + read.password + "|" + read.domain, "anna|pa ss=#word|HOME");
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "the pipe was left open";
    EXPECT_EQ(CredentialsText({"bob", "", ""}), "username = bob\npassword = \n");
}

TEST(SmbCredentials, OnlyAPipeOfOneLoginIsRead) {
    Credentials read;
    std::string problem;
    const int large = PipeOf("username = anna\n# " + std::string(4096, 'x') + "\n");
    ASSERT_GE(large, 0);
    EXPECT_FALSE(ReadCredentialsPipe(large, read, problem));
    EXPECT_EQ(problem, "the credentials descriptor " + std::to_string(large) +
                           " cannot be used: it holds more than one login");
    EXPECT_EQ(::fcntl(large, F_GETFD), -1);

    const test::TempDir dir;
    const std::string path = Write(dir, "cred", "username = anna\n", 0600);
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(file, 0);
    EXPECT_FALSE(ReadCredentialsPipe(file, read, problem));
    EXPECT_EQ(problem, "the credentials descriptor " + std::to_string(file) +
                           " cannot be used: it is not a pipe");
    EXPECT_NE(::fcntl(file, F_GETFD), -1) << "a file of the process was closed";
    ::close(file);
    EXPECT_TRUE(read.user.empty());
}

}  // namespace rd::smb
