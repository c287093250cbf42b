// The chooser's destinations on shares of the network: a share the kernel has mounted (CIFS) is
// written through the mount's folder; any other straight through libsmbclient by its smb://
// address, logged on with the chooser's credentials for its host, which the chooser checks
// before it closes. The credentials stay in memory: they go to the job, never to a file.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/smb_client.h"

namespace rd {

// A share written by its address.
struct DirectShare {
    std::string address;  // "smb://host[:port]/share/rest/", as the job's target
    std::string server;   // as the job looks its login up ("host", "host:port")
    smb::Credentials credentials;
};

struct ChosenTargets {
    std::string text;                 // the job's target text
    std::vector<DirectShare> direct;  // the shares among it written by their addresses
};

// `text` (destinations each ending with "?") with every share on a CIFS mount of `mountinfo`
// replaced by the mount's folder; the other shares stay addresses, with the credentials
// `credentialsFor` gives for their hosts.
ChosenTargets ResolveShareTargets(
    std::string_view text, std::string_view mountinfo,
    const std::function<smb::Credentials(const std::string& host)>& credentialsFor);

// Logs on to each share as the job will, waiting up to `timeoutMs` for each server (so never
// on a window's thread): "" when all take their logins, else why the first cannot be written to
// ("smb://nas/photos/ could not be reached: the user name or password was refused").
std::string CheckShareLogins(const std::vector<DirectShare>& shares, int timeoutMs);

// The logins for the job, by server.
std::map<std::string, smb::Credentials> LoginsOf(const std::vector<DirectShare>& shares);

// Why a share cannot be reached, from the errno value smb::Session::Connect answers.
std::string ShareLoginProblem(int error);

}  // namespace rd
