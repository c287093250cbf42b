#include "app/share_targets.h"

#include <cerrno>
#include <cstring>

#include "app/chooser_model.h"
#include "app/network_places.h"
#include "platform/mounts.h"
#include "platform/smb_files.h"
#include "platform/smb_url.h"

namespace rd {

ChosenTargets ResolveShareTargets(
    std::string_view text, std::string_view mountinfo,
    const std::function<smb::Credentials(const std::string& host)>& credentialsFor) {
    ChosenTargets chosen;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find(kDestinationSeparator, at);
        std::string destination(text.substr(at, end - at));
        at = end == std::string_view::npos ? text.size() : end + 1;
        if (const std::optional<ShareLocation> location = ParseShareUrl(destination)) {
            const std::string point = mounts::PointOf(mountinfo, CifsSource(*location));
            const std::string address = ShareUrl(location->host, location->share) + location->rest;
            std::string problem;
            const std::optional<smb::Url> url = smb::ParseUrl(address, problem);
            if (!point.empty()) {
                destination = point + "/" + location->rest;
            } else {
                destination = address;
                chosen.direct.push_back({address, url ? url->Server() : location->host,
                                         credentialsFor(location->host)});
            }
        }
        chosen.text += destination + kDestinationSeparator;
    }
    return chosen;
}

std::string ShareLoginProblem(int error) {
    switch (error) {
        case EACCES:
        case EPERM: return "the user name or password was refused";
        case ENOENT: return "there is no such share";
        case ENOSYS: return "network shares are not available in this build";
        default: return std::strerror(error);
    }
}

std::string CheckShareLogins(const std::vector<DirectShare>& shares, int timeoutMs) {
    for (const DirectShare& share : shares) {
        std::string problem;
        const std::optional<smb::Url> url = smb::ParseUrl(share.address, problem);
        if (!url)
            return share.address + " is not a usable network share address: " + problem;
        smb::Session session(url->Server(), url->share, share.credentials, timeoutMs);
        int error = session.Connect();
        // libsmbclient turns a user without a password down as an invalid request.
        if (error == EINVAL && !share.credentials.user.empty() &&
            share.credentials.password.empty())
            error = EACCES;
        if (error)
            return share.address + " could not be reached: " + ShareLoginProblem(error);
    }
    return {};
}

std::map<std::string, smb::Credentials> LoginsOf(const std::vector<DirectShare>& shares) {
    std::map<std::string, smb::Credentials> logins;
    for (const DirectShare& share : shares)
        logins[share.server] = share.credentials;
    return logins;
}

}  // namespace rd
