// The SMB network through libsmbclient: the servers that SMB browsing finds, a host's disk
// shares, and whether a share takes a new file. Each call makes its own client, so that calls
// may run on any thread; every call gives up after `timeoutMs`. The first call opens
// libsmbclient; when it is not installed, every call answers NotAvailable and stderr says why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rd::smb {

// False when the program was built without libsmbclient (installed or not).
bool Available();

struct Credentials {
    std::string user;  // empty: a guest (anonymous) connection
    std::string password;
    std::string domain = {};  // empty: the server's own
};

enum class Result {
    Ok,
    AccessDenied,  // the host wants other credentials
    Unreachable,   // no answer, refused, or no such host or share
    NotAvailable,  // built without libsmbclient, or it is not installed
};

struct Entry {
    std::string name;
    std::string comment;
};

// The servers of every workgroup that SMB browsing reaches.
Result Servers(int timeoutMs, std::vector<Entry>& out);

// The disk shares of `host` ("nas", "192.168.1.5", "127.0.0.1:4455"); printer, device and IPC
// shares are left out.
Result Shares(const std::string& host, const Credentials& credentials, int timeoutMs,
              std::vector<Entry>& out);

// The folders directly inside `folder` ("" for the top) of a share, without "." and "..".
Result Folders(const std::string& host, const std::string& share, const std::string& folder,
               const Credentials& credentials, int timeoutMs, std::vector<Entry>& out);

// Creates "vn.dat" in the share's top folder and removes it again: Ok when both worked.
Result WriteTest(const std::string& host, const std::string& share, const Credentials& credentials,
                 int timeoutMs);

// The bytes free to the user on a share, as the server tells them; nothing when it does not.
std::optional<uint64_t> FreeSpace(const std::string& host, const std::string& share,
                                  const Credentials& credentials, int timeoutMs);

}  // namespace rd::smb
