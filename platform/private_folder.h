// Folders that only this user may use: the bus's runtime folder and the state folder that holds
// the resume lists. Another local user must not be able to plant or read files in them.
#pragma once

#include <string>
#include <string_view>

namespace rd::fs {

// True when `folder` is a real folder (not a symbolic link) of the effective user with no
// access for others. Otherwise false with `error` naming it by `role`, e.g. "the runtime folder
// /x belongs to another user; refusing to use it".
bool CheckPrivateFolder(const std::string& folder, const std::string& role, std::string& error);

// Creates `folder` and its missing parents with mode 0700, then checks it as above.
bool PreparePrivateFolder(const std::string& folder, const std::string& role, std::string& error);

// Writes `data` into a new list file (mode 0600, created exclusively, never through a symbolic
// link) in the private folder `folder`, which is prepared as above: the first free name of
// `stem` + suffix, `stem` + "-1" + suffix and so on. Returns its path, or empty with `error`.
std::string CreateListFile(const std::string& folder, std::string_view stem,
                           std::string_view suffix, std::string_view data, std::string& error);

}  // namespace rd::fs
