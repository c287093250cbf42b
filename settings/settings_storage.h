// The settings dialog's side of the store: the shell-integration values it shows, and Store,
// which writes every shown value as the default of the profile.
#pragma once

#include <array>
#include <string>

#include "settings/settings_fields.h"

namespace rd {

class Store;

// The captions of the file manager's six RedoDori actions, language texts 18 to 23: copy to,
// move to, delete, copy here, move here, hard link here.
using ShellCaptions = std::array<std::string, 6>;

// The shell-integration values of `profile`: a value that is absent or not an integer shows
// the check box's default.
ShellValues ReadShellValues(Store& store, const std::string& profile);

// Language texts 18 to 23 of the language file at `path`; empty texts for a file that cannot
// be read or lacks them.
ShellCaptions ReadShellCaptions(const std::string& path);

// Writes the fields as the defaults of `profile`: the action captions, then every setting and
// the shell-integration values (an option that is on by default is written by deleting its
// value). False when any write failed; the others are still made.
bool StoreFields(Store& store, const std::string& profile, const SettingsFields& fields,
                 const ShellCaptions& captions);

}  // namespace rd
