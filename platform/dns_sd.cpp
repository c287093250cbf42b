#include "platform/dns_sd.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/simple-watch.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace rd::dnssd {

namespace {

struct Search {
    AvahiSimplePoll* poll = nullptr;
    AvahiClient* client = nullptr;
    std::vector<Server> found;
    int resolving = 0;
    bool allForNow = false;
    bool failed = false;
};

void Resolved(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
              const char* name, const char*, const char*, const char*, const AvahiAddress* address,
              uint16_t port, AvahiStringList*, AvahiLookupResultFlags, void* data) {
    auto* search = static_cast<Search*>(data);
    --search->resolving;
    // One server announced on several interfaces is listed once.
    const bool known = std::any_of(search->found.begin(), search->found.end(),
                                   [name](const Server& server) { return server.name == name; });
    if (event == AVAHI_RESOLVER_FOUND && address && !known) {
        char text[AVAHI_ADDRESS_STR_MAX];
        avahi_address_snprint(text, sizeof text, address);
        search->found.push_back({name, text, port});
    }
    avahi_service_resolver_free(resolver);
}

void Browsed(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
             AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
             AvahiLookupResultFlags, void* data) {
    auto* search = static_cast<Search*>(data);
    switch (event) {
        case AVAHI_BROWSER_NEW:
            if (avahi_service_resolver_new(search->client, interface, protocol, name, type, domain,
                                           AVAHI_PROTO_INET, AvahiLookupFlags(0), Resolved, search))
                ++search->resolving;
            break;
        case AVAHI_BROWSER_ALL_FOR_NOW: search->allForNow = true; break;
        case AVAHI_BROWSER_FAILURE: search->failed = true; break;
        case AVAHI_BROWSER_REMOVE:
        case AVAHI_BROWSER_CACHE_EXHAUSTED: break;
    }
}

void ClientChanged(AvahiClient*, AvahiClientState state, void* data) {
    if (state == AVAHI_CLIENT_FAILURE)
        static_cast<Search*>(data)->failed = true;
}

struct FreePoll {
    void operator()(AvahiSimplePoll* poll) const { avahi_simple_poll_free(poll); }
};
struct FreeClient {
    void operator()(AvahiClient* client) const { avahi_client_free(client); }
};

}  // namespace

bool Available() {
    return true;
}

Result BrowseSmb(int timeoutMs, std::vector<Server>& out) {
    Search search;
    const std::unique_ptr<AvahiSimplePoll, FreePoll> poll(avahi_simple_poll_new());
    if (!poll)
        return Result::NoDaemon;
    search.poll = poll.get();
    int error = 0;
    // Freeing the client also frees its browser and the resolvers still at work.
    const std::unique_ptr<AvahiClient, FreeClient> client(avahi_client_new(
        avahi_simple_poll_get(poll.get()), AvahiClientFlags(0), ClientChanged, &search, &error));
    if (!client)
        return Result::NoDaemon;
    search.client = client.get();
    if (!avahi_service_browser_new(client.get(), AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, "_smb._tcp",
                                   nullptr, AvahiLookupFlags(0), Browsed, &search))
        return Result::NoDaemon;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!search.failed && !(search.allForNow && search.resolving == 0)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || avahi_simple_poll_iterate(poll.get(), static_cast<int>(left)) != 0)
            break;
    }
    if (search.failed && search.found.empty())
        return Result::NoDaemon;
    out.insert(out.end(), search.found.begin(), search.found.end());
    return Result::Ok;
}

}  // namespace rd::dnssd
