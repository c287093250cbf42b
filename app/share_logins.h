// The logins for the shares a job writes to.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/smb_client.h"

namespace rd {

// For each server of an smb:// address among `targets` ("nas", "nas:4455"), the credentials of
// the file that the environment names (redodori-console sets it from --credentials); none when
// no file is named, or when it is refused: `problem` then says why. Nothing is stored.
std::map<std::string, smb::Credentials> ShareLogins(const std::vector<std::string>& targets,
                                                    std::string& problem);

}  // namespace rd
