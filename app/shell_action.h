// The file managers' RedoDori actions: "redodori --action KIND PATH...", turned into a job line
// whose sources lie in a literal list of the program's own list folder; "redodori --check
// MANIFEST..." is the check action of a terminal.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rd {

enum class ShellActionKind { kCopyTo, kMoveTo, kDelete, kPaste, kCheck };

struct ShellAction {
    ShellActionKind kind = ShellActionKind::kCopyTo;
    // The selected files and folders; for a paste, the folder to paste into; for a check, the
    // manifests.
    std::vector<std::string> paths;
    // Given by a file manager's menu, which the settings can turn off; "--check" is not.
    bool fromMenu = true;
};

// True when the program was started as an action, or with "--check".
bool IsShellAction(int argc, const char* const* argv);

// Reads "--action KIND PATH..." (KIND: copy-to, move-to, delete, paste, check) or "--check
// MANIFEST...". False with `error` for the user when the kind is unknown or a paste names other
// than one folder.
bool ParseShellAction(int argc, const char* const* argv, ShellAction& action, std::string& error);

// The files a file manager copied or cut to the clipboard, from the clipboard's formats:
// GNOME's "x-special/gnome-copied-files" ("copy" or "cut", then one URI a line), else a
// "text/uri-list" with KDE's "application/x-kde-cutselection" ("1" when cut). Only local files
// count.
struct ClipboardFiles {
    std::vector<std::string> paths;
    bool cut = false;
};
ClipboardFiles ReadClipboardFiles(std::string_view gnomeCopied, std::string_view uriList,
                                  std::string_view kdeCut);

// The path of a local "file:" URI, percent escapes decoded; empty for any other URI and for one
// whose path would hold a NUL byte.
std::string LocalPathOfUri(std::string_view uri);

// The delete action's question: how many items were selected, then the first few of them by
// their full paths (control characters shown as \xHH) and how many more there are.
std::string DeleteQuestion(const std::vector<std::string>& paths, const std::string& cwd);

// The job line of an action (program name first, as the program reads its own line): the
// sources go into a new literal list (platform/literal_list.h) of the program's list folder,
// which the job removes once read, so that every name is taken as it is; a paste names its
// folder, in a literal target list (switch "f") when the target field cannot carry it, and the
// other kinds leave the destination to the chooser. A copy or move without sources is the
// settings dialog's line; a check's line has switch "K" and no target. Relative paths are taken
// from `cwd`. False with `error` for the user
// when there is nothing to do or a list cannot be written.
bool ShellActionLine(const std::string& program, const ShellAction& action,
                     const ClipboardFiles& clipboard, const std::string& cwd, std::string& line,
                     std::string& error);

}  // namespace rd
