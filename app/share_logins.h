// The logins for the shares a job writes to.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/smb_client.h"

namespace rd {

// Takes the inherited pipe that the environment names (redodori-console passes the login it
// asked on the terminal so) for ShareLogins: the variable is dropped and the pipe is kept from
// the programs this one starts, which would otherwise read it, or another file of theirs under
// its number. Called at the start, before any thread.
void TakeLoginPipe();

// For each server of an smb:// address among `targets` ("nas", "nas:4455"), the credentials
// from the pipe TakeLoginPipe took, else from the file the environment names (redodori-console's
// --credentials). None when neither is there, or when they are refused: `problem` then says
// why. The pipe is read and closed at the first call, whether or not a share needs it; a later
// call has no login from it. Nothing is stored.
std::map<std::string, smb::Credentials> ShareLogins(const std::vector<std::string>& targets,
                                                    std::string& problem);

}  // namespace rd
