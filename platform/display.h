// Whether the desktop named by WAYLAND_DISPLAY or DISPLAY can be reached, so that a program that
// cannot reach it draws off screen instead of failing at start.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rd::display {

// Where an X display listens: a local socket, or a TCP host and port.
struct XAddress {
    std::string socketPath;  // "/tmp/.X11-unix/X0" for a local display
    std::string host;        // for a display on another host (or "localhost:10" of ssh)
    int port = 0;
};

// Reads a DISPLAY value "[host]:N[.S]" (host empty or "unix": local); nullopt when malformed.
std::optional<XAddress> ParseXDisplay(std::string_view display);

// True when WAYLAND_DISPLAY or DISPLAY is set and its server accepts a connection (a TCP
// display gets one second). Looked at once per process.
bool Reachable();

}  // namespace rd::display
