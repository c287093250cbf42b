#include "app/network_places.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace rd {

bool HostListed(std::string_view flags, std::string_view ison) {
    long value = 7;
    const auto [end, error] = std::from_chars(flags.data(), flags.data() + flags.size(), value);
    if (error != std::errc() || end != flags.data() + flags.size())
        value = 7;
    if (value & (0x200 | 0x800))
        return false;
    return ison != "off";
}

std::vector<HostEntry> ListedHosts(const std::vector<netview::Host>& hosts) {
    std::vector<HostEntry> listed;
    for (const netview::Host& host : hosts) {
        if (HostListed(host.flags, host.ison))
            listed.push_back({host.name, HostText(host.name, host.sdesc, host.ctime)});
    }
    return listed;
}

std::string HostName(std::string_view remoteName) {
    if (remoteName.starts_with("\\\\"))
        remoteName.remove_prefix(2);
    std::string name(remoteName);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

std::vector<HostEntry> NetworkHosts(const std::vector<smb::Entry>& browsed,
                                    const std::vector<dnssd::Server>& announced) {
    std::vector<HostEntry> hosts;
    std::vector<std::string> browsedNames;
    for (const smb::Entry& server : browsed) {
        browsedNames.push_back(HostName(server.name));
        hosts.push_back({browsedNames.back(), HostText(browsedNames.back(), server.comment, "")});
    }
    for (const dnssd::Server& server : announced) {
        std::string target = server.address;
        if (server.port != 0 && server.port != 445)
            target += ":" + std::to_string(server.port);
        const auto same =
            std::find(browsedNames.begin(), browsedNames.end(), HostName(server.name));
        if (same != browsedNames.end())
            hosts[static_cast<size_t>(same - browsedNames.begin())].name = target;
        else
            hosts.push_back({target, HostText(server.name, "", "")});
    }
    return hosts;
}

std::string HostText(std::string_view name, std::string_view comment, std::string_view age) {
    std::string text(name);
    if (!comment.empty())
        text += " (" + std::string(comment) + ")";
    if (!age.empty())
        text += " ~" + std::string(age);
    return text;
}

std::string ShareText(std::string_view name, std::string_view remark) {
    if (remark.empty())
        return std::string(name);
    return std::string(name) + "  (" + std::string(remark) + ")";
}

void SortByName(std::vector<Share>& shares) {
    std::stable_sort(shares.begin(), shares.end(),
                     [](const Share& a, const Share& b) { return a.name < b.name; });
    shares.erase(std::unique(shares.begin(), shares.end(),
                             [](const Share& a, const Share& b) { return a.name == b.name; }),
                 shares.end());
}

std::string ShareUrl(std::string_view host, std::string_view share) {
    return "smb://" + std::string(host) + "/" + std::string(share) + "/";
}

std::optional<ShareLocation> ParseShareUrl(std::string_view text) {
    if (!text.starts_with("smb://"))
        return std::nullopt;
    text.remove_prefix(6);
    const size_t hostEnd = text.find('/');
    if (hostEnd == 0 || hostEnd == std::string_view::npos)
        return std::nullopt;
    ShareLocation location{std::string(text.substr(0, hostEnd)), {}, {}};
    text.remove_prefix(hostEnd + 1);
    const size_t shareEnd = std::min(text.find('/'), text.size());
    if (shareEnd == 0)
        return std::nullopt;
    location.share = std::string(text.substr(0, shareEnd));
    text.remove_prefix(std::min(shareEnd + 1, text.size()));
    location.rest = std::string(text);
    if (!location.rest.empty() && location.rest.back() != '/')
        location.rest += '/';
    return location;
}

std::string CifsSource(const ShareLocation& location) {
    return "//" + location.host.substr(0, location.host.find(':')) + "/" + location.share;
}

}  // namespace rd
