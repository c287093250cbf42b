// The optional network-view plug-in: a shared library that knows the hosts of the local network
// and the user name and password to use for each. It is looked up once, on first use, and kept
// for the rest of the process; without it the system's own browsing is used.
//
// A plug-in exports these four C functions:
//   int NVGetDezUzazStatus(int zero);
//       non-zero when the view can be used.
//   int NVGetHostA(int zero, char record[221], int zero2);
//       fills the record with the host after the one named in it (an empty name asks for the
//       first): its name as text ending with a zero from byte 0, its handle as a 32-bit value
//       at byte 196, 0 when there are no more hosts.
//   int NVGetMetaVarA(int zero, uint32_t host, const char* name, char* out, uint32_t* length);
//       the host's value `name` as text ending with a zero, at most *length bytes before it:
//       "flags", "ison", "ctime", "sdesc", "user", "pass".
//   uint32_t NVGetHostByTextA(int zero, const char* name, int zero2);
//       the handle of the host named so, 0 when it is unknown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rd::netview {

inline constexpr size_t kHostRecordSize = 221;
inline constexpr size_t kHostHandleOffset = 196;

// Loads the plug-in if needed: librazavar.so next to the program, then on the library search
// path, then libzeraz.so the same way. True when all four functions are there and the view says
// it can be used.
bool Usable();

struct Host {
    std::string name;
    std::string flags;
    std::string ison;
    std::string ctime;
    std::string sdesc;
};
// Every host the view knows, in its order; none when it is not usable.
std::vector<Host> Hosts();

// The user name and password the view keeps for `host`; false when it knows none.
bool Credentials(const std::string& host, std::string& user, std::string& password);

}  // namespace rd::netview
