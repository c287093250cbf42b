#include "platform/smb_client.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "samba_server.h"

namespace rd::smb {

namespace {

// The tests' own Samba server for the whole suite.
class SambaServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new test::SambaServer; }
    static void TearDownTestSuite() { delete server_; }
    void SetUp() override {
        if (!Available())
            GTEST_SKIP() << "built without libsmbclient";
        if (server_->Port().empty())
            GTEST_SKIP() << "no Samba server here (needs root and smbd)";
    }
    static std::string Host() { return server_->Host(); }

    static inline test::SambaServer* server_ = nullptr;
};

const Credentials kRight{"nobody", "right-pw"};

}  // namespace

TEST_F(SambaServer, SharesNeedTheRightCredentials) {
    std::vector<Entry> shares;
    ASSERT_EQ(Shares(Host(), kRight, 5000, shares), Result::Ok);
    std::vector<std::string> names;
    for (const Entry& share : shares)
        names.push_back(share.name + "|" + share.comment);
    EXPECT_EQ(names, std::vector<std::string>({"rw|Writable share", "ro|", "Fotos-äß|"}));

    const struct {
        Credentials credentials;
        Result result;
    } refused[] = {
        {{"nobody", "wrong-pw"}, Result::AccessDenied},
        {{"nosuchuser", "right-pw"}, Result::AccessDenied},
        {{}, Result::AccessDenied},  // no guests on this server
    };
    for (const auto& r : refused) {
        shares.clear();
        EXPECT_EQ(Shares(Host(), r.credentials, 5000, shares), r.result) << r.credentials.user;
        EXPECT_TRUE(shares.empty());
    }
    // Nothing listens there.
    EXPECT_EQ(Shares("127.0.0.1:1", kRight, 2000, shares), Result::Unreachable);
}

TEST_F(SambaServer, WriteTestLeavesNothingBehind) {
    const struct {
        const char* share;
        Result result;
    } cases[] = {
        {"rw", Result::Ok},
        {"Fotos-äß", Result::Ok},
        {"ro", Result::AccessDenied},
        {"gone", Result::Unreachable},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WriteTest(Host(), c.share, kRight, 5000), c.result) << c.share;
    struct stat st;
    EXPECT_NE(::stat((*server_ / "rw/vn.dat").c_str(), &st), 0);
    EXPECT_NE(::stat((*server_ / "fotos/vn.dat").c_str(), &st), 0);
    EXPECT_EQ(WriteTest(Host(), "rw", {"nobody", "wrong-pw"}, 5000), Result::AccessDenied);
}

// The library is opened by the first call: without a server there, the call gets through it to
// the network and finds nobody.
TEST(SmbLibrary, OpensOnFirstCall) {
    if (!Available())
        GTEST_SKIP() << "built without libsmbclient";
    std::vector<Entry> shares;
    EXPECT_EQ(Shares("127.0.0.1:1", kRight, 2000, shares), Result::Unreachable);
}

// Built with libsmbclient but run where it is not installed: every call says not available, the
// program goes on, and stderr names what is missing.
TEST(SmbLibrary, MissingLibraryIsNotAvailableAndTold) {
    if (!Available())
        GTEST_SKIP() << "built without libsmbclient";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::setenv("REDODORI_SMBCLIENT_LIBRARY", "libredodori-no-such-library.so", 1);
            std::vector<Entry> found;
            const bool notAvailable =
                Servers(1000, found) == Result::NotAvailable &&
                Shares("127.0.0.1:1", kRight, 1000, found) == Result::NotAvailable &&
                Folders("127.0.0.1:1", "rw", "", kRight, 1000, found) == Result::NotAvailable &&
                WriteTest("127.0.0.1:1", "rw", kRight, 1000) == Result::NotAvailable &&
                !FreeSpace("127.0.0.1:1", "rw", kRight, 1000) && found.empty();
            std::exit(notAvailable ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "^redodori: the SMB network is not available: libredodori-no-such-library.so: [^\n]*\n$");
}

}  // namespace rd::smb
