#include "app/share_logins.h"

#include <fcntl.h>

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/smb_credentials.h"
#include "platform/smb_url.h"

namespace rd {

namespace {

// What TakeLoginPipe found, until ShareLogins takes it: the pipe (else -1), or why the
// descriptor named is none.
std::atomic<int> loginPipe{-1};
std::string pipeProblem;

// The pipe's login; `named` when a pipe was named for it, whose word then holds over a
// credentials file's.
std::optional<smb::Credentials> PipedLogin(bool& named, std::string& problem) {
    const int fd = loginPipe.exchange(-1);
    named = fd >= 0 || !pipeProblem.empty();
    if (fd < 0) {
        problem = std::exchange(pipeProblem, {});
        return std::nullopt;
    }
    smb::Credentials credentials;
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

void TakeLoginPipe() {
    const char* named = std::getenv(smb::kCredentialsFdVariable);
    if (!named || !*named)
        return;
    const std::string number = named;
    ::unsetenv(smb::kCredentialsFdVariable);
    int fd = -1;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), fd);
    if (ec != std::errc() || end != number.data() + number.size() || fd < 0 ||
        ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0)
        pipeProblem =
            std::string(smb::kCredentialsFdVariable) + "=" + number + " names no open descriptor";
    else
        loginPipe = fd;
}

std::map<std::string, smb::Credentials> ShareLogins(const std::vector<std::string>& targets,
                                                    std::string& problem) {
    std::map<std::string, smb::Credentials> logins;
    problem.clear();
    bool piped = false;
    std::optional<smb::Credentials> credentials = PipedLogin(piped, problem);
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
