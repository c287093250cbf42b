// Addresses of SMB shares as a command line gives them:
// smb://[user@]host[:port]/share[/folder...][/]
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rd::smb {

struct Url {
    std::string user;  // empty: none given
    std::string host;  // an IPv6 address without its brackets
    std::optional<uint16_t> port;
    std::string share;
    std::vector<std::string> folders;  // the names below the share, decoded

    // "host", "host:port", "[v6]" or "[v6]:port", as libsmbclient takes a server.
    std::string Server() const;
    // The folders joined with "/", "" for the share's top.
    std::string Path() const;
};

// True when `text` begins with "smb://", in any case: such an argument is never a local path.
bool IsUrl(std::string_view text);

// The address, or nothing with `problem` saying what is wrong with it. Names are percent-decoded;
// refused: no host, no share, a password in the address, a ".." name, and a name that decodes to
// a NUL or a "/".
std::optional<Url> ParseUrl(std::string_view text, std::string& problem);

}  // namespace rd::smb
