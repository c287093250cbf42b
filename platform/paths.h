// Where the program keeps its configuration, its data and its runtime files.
#pragma once

#include <string>
#include <vector>

namespace rd::paths {

// $REDODORI_CONFIG_DIR, else $XDG_CONFIG_HOME/redodori, else ~/.config/redodori.
std::string ConfigDir();

// $REDODORI_DATA_DIR, else $XDG_DATA_HOME/redodori, else ~/.local/share/redodori. Holds the
// history log and the favourites, and is the installation folder when none is stored.
std::string UserDataDir();

// How many numbered folders the runtime folder's fallback tries after the first.
inline constexpr int kRuntimeFallbacks = 100;

// $XDG_RUNTIME_DIR/redodori. Without XDG_RUNTIME_DIR: the first of <temp>/redodori-<uid>,
// <temp>/redodori-<uid>-1 ... -kRuntimeFallbacks that is a folder of this user's own with no
// access for others and not a link, made (0700) when it is missing; <temp> is TempDir(). When
// none is, or the temporary folder takes no new folder, the first name, which the bus then
// refuses with a message.
std::string RuntimeDir();

// $REDODORI_STATE_DIR, else $XDG_STATE_HOME/redodori, else ~/.local/state/redodori. Holds the
// list files of resume records; the program keeps it private (mode 0700).
std::string StateDir();

// The desktop's autostart folder: $XDG_CONFIG_HOME/autostart, else ~/.config/autostart.
std::string AutostartDir();

// The temporary folder: $TMPDIR when it holds an absolute path, else /tmp.
std::string TempDir();

// The data shipped with the program: <prefix>/share/redodori beside an installed executable,
// or the data/ folder of the source tree for a program run from its build folder.
std::string ShippedDataDir();

// The installation folder: the stored machine value when it is not empty, else UserDataDir().
std::string InstallFolder(const std::string& storedInstallPath);

// The folders searched for language files, skins and sounds, in order: the installation
// folder, then the shipped data folder (once, when they differ).
std::vector<std::string> DataSearchPath(const std::string& installFolder);

// The first existing file `relative` (e.g. "english.lng", "skins/Default/skin.ini") along the
// data search path; empty when there is none.
std::string FindDataFile(const std::string& installFolder, const std::string& relative);

// Creates `path` and its missing parents with `mode`. Returns 0 or errno.
int MakePath(const std::string& path, unsigned mode = 0700);

}  // namespace rd::paths
