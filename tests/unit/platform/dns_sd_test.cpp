#include "platform/dns_sd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "test_support.h"

namespace rd::dnssd {

namespace {

const std::string kDaemon = std::string(REDODORI_TEST_SUPPORT_DIR) + "/avahi_daemon.sh";

// Points the system bus, where Avahi is found, somewhere else for as long as it lives.
class SystemBus {
public:
    explicit SystemBus(const std::string& address) {
        if (const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS"))
            saved_ = old;
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    }
    ~SystemBus() {
        if (saved_)
            setenv("DBUS_SYSTEM_BUS_ADDRESS", saved_->c_str(), 1);
        else
            unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

private:
    std::optional<std::string> saved_;
};

std::vector<std::string> Listed(const std::vector<Server>& servers) {
    std::vector<std::string> texts;
    for (const Server& server : servers)
        texts.push_back(server.name + "|" + server.address + "|" + std::to_string(server.port));
    std::sort(texts.begin(), texts.end());
    return texts;
}

}  // namespace

// The tests' own Avahi daemon, announcing two SMB servers, one with a name beyond ASCII.
TEST(DnsSd, FindsTheAnnouncedServersAndWhereTheyAnswer) {
    if (!Available())
        GTEST_SKIP() << "built without Avahi";
    test::TempDir folder;
    int status = -1;
    std::string bus = test::RunCommand(kDaemon + " start '" + folder.Path() + "'", &status);
    if (status == 77)
        GTEST_SKIP() << "no Avahi daemon of the tests' own here (needs root and avahi-daemon)";
    ASSERT_EQ(status, 0);
    bus.erase(bus.find_last_not_of('\n') + 1);
    struct Stop {
        const std::string& path;
        ~Stop() { test::RunCommand(kDaemon + " stop '" + path + "'"); }
    } stop{folder.Path()};
    SystemBus systemBus(bus);

    std::vector<Server> servers;
    ASSERT_EQ(BrowseSmb(5000, servers), Result::Ok);
    EXPECT_TRUE(servers.empty());

    for (const char* publish : {" 'NAS Büro' 4455", " plain 445"}) {
        test::RunCommand(kDaemon + " publish '" + folder.Path() + "'" + publish, &status);
        ASSERT_EQ(status, 0) << publish;
    }
    ASSERT_EQ(BrowseSmb(5000, servers), Result::Ok);
    EXPECT_EQ(Listed(servers),
              std::vector<std::string>({"NAS Büro|127.0.0.1|4455", "plain|127.0.0.1|445"}));
}

// No daemon, no bus, a bus without Avahi: an answer at once, not a wait.
TEST(DnsSd, WithoutADaemonSaysSo) {
    if (!Available())
        GTEST_SKIP() << "built without Avahi";
    test::TempDir folder;
    for (const std::string& address :
         {"unix:path=" + folder.Path() + "/no-bus", std::string("garbled:address")}) {
        SystemBus systemBus(address);
        std::vector<Server> servers;
        EXPECT_EQ(BrowseSmb(60000, servers), Result::NoDaemon) << address;
        EXPECT_TRUE(servers.empty());
    }
}

}  // namespace rd::dnssd
