// smbclient's authentication file ("username = ", "password = ", "domain = " lines), which
// keeps a password out of the command line and of the process list.
#pragma once

#include <string>

#include "platform/smb_client.h"

namespace rd::smb {

// The environment variable that names a credentials file to the program: redodori-console sets
// it for the program it starts from its --credentials option.
inline constexpr const char* kCredentialsVariable = "REDODORI_CREDENTIALS";

// Reads `path` into `out`; false with `problem` saying why when the file is not a regular file
// of this user that no one else may read or write (no group or other bits in its mode), cannot
// be read, or holds a line that is not one of the three (blank lines and lines starting with
// '#' or ';' are comments). The values are taken without the blanks around them.
bool ReadCredentialsFile(const std::string& path, Credentials& out, std::string& problem);

}  // namespace rd::smb
