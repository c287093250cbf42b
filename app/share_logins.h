// The logins for the shares a job writes to.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/smb_client.h"

namespace rd {

// For each server of an smb:// address among `targets` ("nas", "nas:4455"), the credentials that
// the environment gives: from the inherited pipe it names (redodori-console passes what it asked
// on the terminal so), else from the file it names (redodori-console's --credentials). None
// when neither is named, or when they are refused: `problem` then says why. The pipe is read
// and closed on the first call only, whether or not a share needs it. Nothing is stored.
std::map<std::string, smb::Credentials> ShareLogins(const std::vector<std::string>& targets,
                                                    std::string& problem);

}  // namespace rd
