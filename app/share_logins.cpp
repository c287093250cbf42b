#include "app/share_logins.h"

#include <cstdlib>

#include "platform/smb_credentials.h"
#include "platform/smb_url.h"

namespace rd {

std::map<std::string, smb::Credentials> ShareLogins(const std::vector<std::string>& targets,
                                                    std::string& problem) {
    std::map<std::string, smb::Credentials> logins;
    problem.clear();
    const char* file = std::getenv(smb::kCredentialsVariable);
    if (!file || !*file)
        return logins;
    smb::Credentials credentials;
    std::vector<std::string> servers;
    for (const std::string& target : targets) {
        std::string unusable;
        if (const std::optional<smb::Url> url = smb::ParseUrl(target, unusable))
            servers.push_back(url->Server());
    }
    if (servers.empty())
        return logins;
    if (!smb::ReadCredentialsFile(file, credentials, problem)) {
        problem = std::string(file) + ": " + problem;
        return logins;
    }
    for (const std::string& server : servers)
        logins[server] = credentials;
    return logins;
}

}  // namespace rd
