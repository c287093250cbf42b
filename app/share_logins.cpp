#include "app/share_logins.h"

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/smb_credentials.h"
#include "platform/smb_url.h"

namespace rd {

namespace {

// The pipe's credentials: nothing without the variable or after the first call, whose number
// may name another file of the process by then.
std::optional<smb::Credentials> PipedLogin(std::string& problem) {
    static std::atomic<bool> taken{false};
    const char* number = std::getenv(smb::kCredentialsFdVariable);
    if (!number || !*number || taken.exchange(true))
        return std::nullopt;
    int fd = -1;
    const char* end = number + std::strlen(number);
    const auto [stop, ec] = std::from_chars(number, end, fd);
    smb::Credentials credentials;
    if (ec != std::errc() || stop != end || fd < 0) {
        problem = std::string(smb::kCredentialsFdVariable) + " is no descriptor: " + number;
        return std::nullopt;
    }
    if (!smb::ReadCredentialsPipe(fd, credentials, problem))
        return std::nullopt;
    return credentials;
}

std::optional<smb::Credentials> FileLogin(std::string& problem) {
    const char* file = std::getenv(smb::kCredentialsVariable);
    if (!file || !*file)
        return std::nullopt;
    smb::Credentials credentials;
    if (!smb::ReadCredentialsFile(file, credentials, problem)) {
        problem = std::string(file) + ": " + problem;
        return std::nullopt;
    }
    return credentials;
}

}  // namespace

std::map<std::string, smb::Credentials> ShareLogins(const std::vector<std::string>& targets,
                                                    std::string& problem) {
    std::map<std::string, smb::Credentials> logins;
    problem.clear();
    const char* fd = std::getenv(smb::kCredentialsFdVariable);
    const bool piped = fd && *fd;
    std::optional<smb::Credentials> credentials = PipedLogin(problem);
    std::vector<std::string> servers;
    for (const std::string& target : targets) {
        std::string unusable;
        if (const std::optional<smb::Url> url = smb::ParseUrl(target, unusable))
            servers.push_back(url->Server());
    }
    if (servers.empty()) {
        problem.clear();
        return logins;
    }
    if (!piped)
        credentials = FileLogin(problem);
    if (!credentials)
        return logins;
    for (const std::string& server : servers)
        logins[server] = *credentials;
    return logins;
}

}  // namespace rd
