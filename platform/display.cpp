#include "platform/display.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace rd::display {

namespace {

constexpr int kXPortBase = 6000;
constexpr int kConnectWaitMs = 1000;

bool ConnectsToSocket(const std::string& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const socklen_t length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    ::close(fd);
    return ok;
}

bool ConnectsToHost(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0)
            continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            ok = true;
        } else if (errno == EINPROGRESS) {
            pollfd wait{fd, POLLOUT, 0};
            int error = 0;
            socklen_t size = sizeof error;
            ok = ::poll(&wait, 1, kConnectWaitMs) == 1 &&
                 ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return ok;
}

bool XReachable(const char* value) {
    const std::optional<XAddress> address = ParseXDisplay(value);
    if (!address)
        return false;
    if (!address->socketPath.empty())
        return ConnectsToSocket(address->socketPath, true) ||
               ConnectsToSocket(address->socketPath, false);
    return ConnectsToHost(address->host, address->port);
}

bool WaylandReachable(const char* value) {
    std::string path = value;
    if (path[0] != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!runtime || runtime[0] != '/')
            return false;
        path = std::string(runtime) + "/" + path;
    }
    return ConnectsToSocket(path, false);
}

}  // namespace

std::optional<XAddress> ParseXDisplay(std::string_view display) {
    const size_t colon = display.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::string_view host = display.substr(0, colon);
    std::string_view number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    int n = -1;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), n);
    if (ec != std::errc() || end != number.data() + number.size() || n < 0 ||
        n > 65535 - kXPortBase)
        return std::nullopt;
    XAddress address;
    if (host.empty() || host == "unix")
        address.socketPath = "/tmp/.X11-unix/X" + std::to_string(n);
    else {
        address.host = std::string(host);
        address.port = kXPortBase + n;
    }
    return address;
}

bool Reachable() {
    static const bool reachable = [] {
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        const char* x = std::getenv("DISPLAY");
        return (wayland && *wayland && WaylandReachable(wayland)) || (x && *x && XReachable(x));
    }();
    return reachable;
}

}  // namespace rd::display
