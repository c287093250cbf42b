// Folders that only this user may use: the bus's runtime folder and the state folder that holds
// the resume lists. Another local user must not be able to plant or read files in them.
#pragma once

#include <string>

namespace rd::fs {

// True when `folder` is a real folder (not a symbolic link) of the effective user with no
// access for others. Otherwise false with `error` naming it by `role`, e.g. "the runtime folder
// /x belongs to another user; refusing to use it".
bool CheckPrivateFolder(const std::string& folder, const std::string& role, std::string& error);

// Creates `folder` and its missing parents with mode 0700, then checks it as above.
bool PreparePrivateFolder(const std::string& folder, const std::string& role, std::string& error);

}  // namespace rd::fs
