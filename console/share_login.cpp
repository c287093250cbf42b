#include "console/share_login.h"

#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>

#include "console/password_prompt.h"
#include "platform/smb_files.h"

namespace rd {

namespace {

bool Refused(int error) {
    return error == EACCES || error == EPERM;
}

void Say(int tty, const std::string& text) {
    [[maybe_unused]] const ssize_t ignored = ::write(tty, text.data(), text.size());
}

// One login typed on `tty`; nothing when the input ends.
std::optional<smb::Credentials> AskOnce(int tty, const std::string& server,
                                        const std::string& defaultUser) {
    const std::optional<std::string> user = AskLine(
        tty, tty,
        "User name for " + server + (defaultUser.empty() ? "" : " [" + defaultUser + "]") + ": ");
    if (!user)
        return std::nullopt;
    smb::Credentials credentials;
    credentials.user = user->empty() ? defaultUser : *user;
    const std::optional<std::string> password =
        AskPassword(tty, tty, "Password for " + credentials.user + "@" + server + ": ");
    if (!password)
        return std::nullopt;
    credentials.password = *password;
    return credentials;
}

}  // namespace

TryLogin ShareLoginTry(const smb::Url& url, int timeoutMs) {
    return [url, timeoutMs](const smb::Credentials& credentials) {
        smb::Session session(url.Server(), url.share, credentials, timeoutMs);
        return session.Connect();
    };
}

ShareLogin AskShareLogin(const smb::Url& url, int tty, const TryLogin& tryLogin) {
    ShareLogin login;
    // A guest tells whether the share wants a login at all; the address's user without a
    // password would not: that is turned down as an invalid request.
    const int guest = tryLogin({});
    if (!Refused(guest) || tty < 0 || !::isatty(tty))
        return login;
    const std::string server = url.Server();
    for (int attempt = 1; attempt <= kLoginTries; ++attempt) {
        const std::optional<smb::Credentials> typed = AskOnce(tty, server, url.user);
        if (!typed) {
            login.kind = ShareLogin::Kind::kNoAnswer;
            return login;
        }
        const int error = tryLogin(*typed);
        // libsmbclient turns a user without a password down as an invalid request.
        if (!Refused(error) && !(typed->password.empty() && error == EINVAL)) {
            // A share that cannot be reached now is the job's to report.
            login.kind = ShareLogin::Kind::kGiven;
            login.credentials = *typed;
            return login;
        }
        Say(tty, "The user name or password was refused.\n");
    }
    login.kind = ShareLogin::Kind::kRefused;
    return login;
}

}  // namespace rd
