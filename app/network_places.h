// The chooser's network branch without its widgets: which hosts are listed and how hosts and
// shares read in the tree.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dns_sd.h"
#include "platform/network_view.h"
#include "platform/smb_client.h"

namespace rd {

// The network root's name and text.
inline constexpr std::string_view kNetworkRootName = "\\\\";

// A host as the network view reports it: its "flags" (a decimal number, 7 when it is not one)
// with 0x200 or 0x800 set, or "ison" equal to "off", keep it out of the list.
bool HostListed(std::string_view flags, std::string_view ison);

struct HostEntry {
    std::string name;  // the plain name
    std::string text;  // as the tree shows it
};
// The hosts of the network view that are listed, with their texts ("sdesc" as the comment,
// "ctime" as the age).
std::vector<HostEntry> ListedHosts(const std::vector<netview::Host>& hosts);

// A server's name as the system's browsing gives it ("\\\\PC", "PC"): without the leading
// backslashes, in lower case.
std::string HostName(std::string_view remoteName);

// The hosts that SMB browsing and DNS-SD found, for the tree. A DNS-SD server is reached at its
// address (with ":port" when it is not 445), so that no name service is needed for it; a host
// that both kinds find (the same name, in any case) is listed once, with the browsing's comment.
std::vector<HostEntry> NetworkHosts(const std::vector<smb::Entry>& browsed,
                                    const std::vector<dnssd::Server>& announced);

// A host's text: its name, then " (<comment>)" and " ~<age>" for those that are not empty.
std::string HostText(std::string_view name, std::string_view comment, std::string_view age);

// A share's text: its name, or its name, two blanks and its remark in parentheses.
std::string ShareText(std::string_view name, std::string_view remark);

struct Share {
    std::string name;
    std::string remark;
};
// Shares and hosts sorted by name as the tree shows them, each name once (a host seen by two
// kinds of browsing).
void SortByName(std::vector<Share>& shares);

// The share as a job's destination text on the SMB network: "smb://host/share/".
std::string ShareUrl(std::string_view host, std::string_view share);

// A share named in a destination text: "smb://host[:port]/share/rest".
struct ShareLocation {
    std::string host;  // with ":port" when one is given
    std::string share;
    std::string rest;  // the folders below the share, "" or ending with "/"
};
std::optional<ShareLocation> ParseShareUrl(std::string_view text);

// The CIFS source that mounts the share ("//host/share").
std::string CifsSource(const ShareLocation& location);

}  // namespace rd
