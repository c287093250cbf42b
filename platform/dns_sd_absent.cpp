// DNS-SD in a build without Avahi: no server is ever announced.
#include "platform/dns_sd.h"

namespace rd::dnssd {

bool Available() {
    return false;
}

Result BrowseSmb(int, std::vector<Server>&) {
    return Result::NotAvailable;
}

}  // namespace rd::dnssd
