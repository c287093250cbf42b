// The destination chooser's texts and decisions, kept apart from its widgets so that they can
// be checked without a display: node paths, the destination text built from a selection, the
// target text taken on OK, the free-space text of a root, the colour of an entry, and the walk
// that pre-selects the last destination.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/volume_type.h"
#include "settings/job_settings.h"

namespace rd {

// The chooser's separator between destinations, also the last character of a target text.
inline constexpr char kDestinationSeparator = '?';

// A node's full path, always ending with "/": `names` runs from the root to the node. A root's
// name is its mount point ("/", "/media/usb"), every other name one folder.
std::string NodePath(const std::vector<std::string>& names);

// What one selected node adds to the destination text.
struct SelectedNode {
    enum class Kind {
        Folder,     // a folder or root of a branch: its node path
        Favourite,  // a favourite: the destinations its file holds
        Nothing,    // the network root or a host: not a destination
    };
    Kind kind = Kind::Folder;
    // The node path for a folder, the favourite's name for a favourite.
    std::string text;
};

// The combo box's text for the selected nodes in selection order: folder paths are followed by
// "?" unless they come last; each destination of a favourite (read from `favouritesFolder`) is
// followed by "?".
std::string SelectionText(const std::vector<SelectedNode>& selection,
                          const std::string& favouritesFolder);

// The job's target text from the combo box's text: every destination ends with "?".
std::string TargetText(std::string_view comboText);

// A free-space value scaled for display, e.g. {10, " kb"}.
struct ScaledSize {
    uint64_t value = 0;
    std::string_view unit;
};
// Divides by 1024 while the value is above 10240, at most three times (" bytes" to " gb").
ScaledSize ScaleFreeSpace(uint64_t bytes);

// A root's text once its free space is known: "<name> (<label>) ~<value><unit> free", or
// without the parenthesised part when the volume has no label.
// `free` is the last word, in the current language.
std::string RootText(std::string_view name, std::string_view label, uint64_t freeBytes,
                     std::string_view free = "free");

// Free bytes not yet measured.
inline constexpr uint64_t kUnknownFree = ~uint64_t{0};

// A network share's text with its free space as a root's ("rw ~12 gb free"), or with `unknown`
// in place of the size when the server does not tell it (kUnknownFree): "rw ~unknown free".
std::string ShareFreeText(std::string_view text, uint64_t freeBytes, std::string_view free = "free",
                          std::string_view unknown = "unknown");

// How an entry that is not selected is drawn.
enum class EntryColour { Default, NotWritable, TooSmall, Fits };

// The colour as a 0x00BBGGRR value (the chooser's fixed colours); 0 for Default, which is the
// framework's own text colour.
uint32_t ColourValue(EntryColour colour);

// `writable` is -1 (not tested), 0 or 1; `jobTotal` is 0 until the job's size is known;
// `volumeFree` is the free space of the entry's volume or kUnknownFree.
EntryColour ColourOfEntry(int writable, uint64_t jobTotal, uint64_t volumeFree);

// The nodes to expand to pre-select `lastDir`: the root (the longest of `roots` that holds the
// path), then the folder names below it, up to the last "/".
struct LastDirWalk {
    std::string root;
    std::vector<std::string> names;
};
// Nothing when the text holds "?" (several destinations) or is not an absolute path.
// A window's frame on the screen.
struct Frame {
    int32_t left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Frame&) const = default;
};

// The chooser's frame from its stored placement: each stored value replaces the designed one,
// and when the stored placements were incomplete (`centre`) the chooser is centred on the screen,
// halves rounded toward zero.
Frame ChooserFrame(const StoredPlacement& placed, bool centre, Frame designed, int32_t screenWidth,
                   int32_t screenHeight);

std::optional<LastDirWalk> WalkToLastDir(std::string_view lastDir,
                                         const std::vector<std::string>& roots);

// The chooser's caption: "RedoDori to..." ("VornMove to..." for a move), with the job's total
// size in front once it is known (`jobTotal` > 0), e.g. "12 gb RedoDori to...".
std::string ChooserCaption(bool moveMode, uint64_t jobTotal);
// The same with the caption of the current language.
std::string CaptionWithTotal(std::string_view caption, uint64_t jobTotal);

// The chooser's image list: the window's icon, the button pictures a skin may replace (2-9),
// then one picture per kind of entry.
namespace chooser_image {
inline constexpr int kWindow = 0;
inline constexpr int kFirstButton = 2;
inline constexpr int kLastButton = 9;
inline constexpr int kFolder = 10;
inline constexpr int kOtherDrive = 11;  // unknown type, RAM disk, or a fixed drive from the 8th
inline constexpr int kRemovable = 12;
inline constexpr int kOptical = 14;
inline constexpr int kNetworkDrive = 15;
inline constexpr int kFirstFixed = 16;  // one picture each for the first seven fixed drives
inline constexpr int kLastFixed = 22;
inline constexpr int kNetworkRoot = 23;
inline constexpr int kHost = 24;
inline constexpr int kShare = 25;
inline constexpr int kFavourite = 26;
}  // namespace chooser_image

// The picture of a root of the machine; `fixedBefore` counts the fixed roots above it.
int RootImage(VolumeType type, int fixedBefore);

// The picture of a folder of branch `kind` (1 the machine, 2 the network) at `depth` below its
// root: the network branch shows hosts at depth 1 and shares at depth 2.
int FolderImage(int kind, int depth);

// The n-th name tried for a new folder: "New folder", then "New folder (2)" and so on.
std::string NewFolderName(int n, std::string_view base = "New folder");

// The new path of the folder `folderPath` (without a trailing "/") renamed to `newName`, or
// nothing when the name cannot be one folder's name ("", ".", "..", holding "/" or NUL) or
// does not change it.
std::optional<std::string> RenameTarget(std::string_view folderPath, std::string_view newName);

}  // namespace rd
