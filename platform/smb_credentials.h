// smbclient's authentication file ("username = ", "password = ", "domain = " lines), which
// keeps a password out of the command line and of the process list.
#pragma once

#include <string>

#include "platform/smb_client.h"

namespace rd::smb {

// The environment variable that names a credentials file to the program: redodori-console sets
// it for the program it starts from its --credentials option.
inline constexpr const char* kCredentialsVariable = "REDODORI_CREDENTIALS";

// The environment variable that names an inherited descriptor holding the credentials in the
// same format: redodori-console passes what it asked on the terminal through a pipe, so that
// the password is never in a file, a command line, the environment or the bus.
inline constexpr const char* kCredentialsFdVariable = "REDODORI_CREDENTIALS_FD";

// Reads `path` into `out`; false with `problem` saying why when the file is not a regular file
// of this user that no one else may read or write (no group or other bits in its mode), cannot
// be read, or holds a line that is not one of the three (blank lines and lines starting with
// '#' or ';' are comments). The values are taken without the blanks around them.
bool ReadCredentialsFile(const std::string& path, Credentials& out, std::string& problem);

// The same from the descriptor `fd`, which must be a pipe or a socket holding at most 4 KiB
// before its end; it is read to its end and closed. Any other kind of file is refused and left
// open.
bool ReadCredentialsPipe(int fd, Credentials& out, std::string& problem);

// `credentials` in that format, for ReadCredentialsPipe. The reading takes the values without
// the blanks around them, so a password cannot begin or end with one.
std::string CredentialsText(const Credentials& credentials);

}  // namespace rd::smb
