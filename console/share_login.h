// The login of a share that wants one, asked on the terminal: redodori-console asks it when no
// --credentials file gives one, and hands it to the program through a pipe.
#pragma once

#include <functional>

#include "platform/smb_client.h"
#include "platform/smb_url.h"

namespace rd {

// How often a refused login is asked again.
inline constexpr int kLoginTries = 3;

// Logs on with `credentials`: 0, or an errno value as smb::Session::Connect answers.
using TryLogin = std::function<int(const smb::Credentials& credentials)>;

// Logs on to the share of `url` on the network.
TryLogin ShareLoginTry(const smb::Url& url, int timeoutMs);

struct ShareLogin {
    enum class Kind {
        kGuest,     // no login needed, none could be asked, or the share cannot be reached
        kGiven,     // `credentials` were taken
        kRefused,   // every login asked was refused
        kNoAnswer,  // the input ended before a login was given
    };
    Kind kind = Kind::kGuest;
    smb::Credentials credentials;
};

// Tries the share of `url` as a guest. When that is refused and `tty` is a terminal, asks there
// for the user name (the address's by default) and the password, unseen, and tries them, at
// most kLoginTries times.
ShareLogin AskShareLogin(const smb::Url& url, int tty, const TryLogin& tryLogin);

}  // namespace rd
