// The SMB servers that announce themselves on the local network through DNS-SD (multicast DNS,
// service type "_smb._tcp"), found through the Avahi daemon.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rd::dnssd {

// False when the program was built without Avahi.
bool Available();

struct Server {
    std::string name;     // the service's name, as its owner chose it ("NAS Büro")
    std::string address;  // the IPv4 address it resolved to
    uint16_t port = 0;
};

enum class Result {
    Ok,
    NoDaemon,      // the Avahi daemon does not run or cannot be reached
    NotAvailable,  // built without Avahi
};

// The servers announced now. Waits until the daemon has told what it knows and every server is
// resolved, at most `timeoutMs`; a server that does not resolve in that time is left out.
Result BrowseSmb(int timeoutMs, std::vector<Server>& out);

}  // namespace rd::dnssd
