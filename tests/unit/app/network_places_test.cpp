#include "app/network_places.h"

#include <gtest/gtest.h>

namespace rd {

TEST(NetworkPlaces, HostsListedAndTheirTexts) {
    const std::vector<netview::Host> hosts = {
        {"nas", "0", "on", "3h", "Files"}, {"off", "7", "off", "", ""},
        {"blank", "7", "", "", ""},        {"printer", "2048", "", "", ""},
        {"hidden", "512", "on", "", ""},   {"odd", "abc", "", "", "remark"},
        {"both", "2560", "", "", ""},      {"negative", "-1", "", "", ""},
    };
    const std::vector<HostEntry> listed = ListedHosts(hosts);
    std::vector<std::string> texts;
    for (const HostEntry& host : listed)
        texts.push_back(host.text);
    EXPECT_EQ(texts, std::vector<std::string>({"nas (Files) ~3h", "blank", "odd (remark)"}));
    EXPECT_EQ(listed[0].name, "nas");

    EXPECT_EQ(HostName("\\\\SERVER01"), "server01");
    EXPECT_EQ(HostName("Pc"), "pc");
    EXPECT_EQ(HostText("pc", "", "2d"), "pc ~2d");
    EXPECT_EQ(ShareText("photos", ""), "photos");
    EXPECT_EQ(ShareText("C$", "Default share"), "C$  (Default share)");
    EXPECT_EQ(ShareUrl("nas", "photos"), "smb://nas/photos/");

    std::vector<Share> shares = {{"b", "2"}, {"a", ""}, {"b", "dup"}, {"Z", ""}};
    SortByName(shares);
    ASSERT_EQ(shares.size(), 3u);
    EXPECT_EQ(shares[0].name, "Z");
    EXPECT_EQ(shares[2].remark, "2");
}

TEST(NetworkPlaces, BrowsedAndAnnouncedHostsListedOnce) {
    const std::vector<smb::Entry> browsed = {{"\\\\NAS", "Files"}, {"PC", ""}};
    const std::vector<dnssd::Server> announced = {
        {"nas", "192.168.1.5", 445}, {"NAS Büro", "192.168.1.6", 4455}, {"Old", "10.0.0.2", 0}};
    std::vector<std::string> hosts;
    for (const HostEntry& host : NetworkHosts(browsed, announced))
        hosts.push_back(host.name + "|" + host.text);
    EXPECT_EQ(hosts, std::vector<std::string>({"192.168.1.5|nas (Files)", "pc|pc",
                                               "192.168.1.6:4455|NAS Büro", "10.0.0.2|Old"}));
    EXPECT_TRUE(NetworkHosts({}, {}).empty());
}

TEST(NetworkPlaces, ShareUrlsAndTheirCifsSources) {
    const struct {
        const char* text;
        const char* host;  // nullptr: not a share
        const char* share;
        const char* rest;
        const char* cifs;
    } cases[] = {
        {"smb://nas/photos/", "nas", "photos", "", "//nas/photos"},
        {"smb://NAS/Photos/2026/May", "NAS", "Photos", "2026/May/", "//NAS/Photos"},
        {"smb://127.0.0.1:4455/rw", "127.0.0.1:4455", "rw", "", "//127.0.0.1/rw"},
        {"smb://nas/", nullptr, "", "", ""},
        {"smb:///share/", nullptr, "", "", ""},
        {"smb://nas", nullptr, "", "", ""},
        {"/mnt/nas/", nullptr, "", "", ""},
    };
    for (const auto& c : cases) {
        const auto location = ParseShareUrl(c.text);
        ASSERT_EQ(location.has_value(), c.host != nullptr) << c.text;
        if (!location)
            continue;
        EXPECT_EQ(location->host, c.host);
        EXPECT_EQ(location->share, c.share);
        EXPECT_EQ(location->rest, c.rest);
        EXPECT_EQ(CifsSource(*location), c.cifs);
    }
}

}  // namespace rd
