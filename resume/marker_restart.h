// Restarting one interrupted file copy from the resume marker beside its partial destination
// (destination name + ".RedoDori": 8 bytes of position, then the source path and the job's
// switches, each a NUL-terminated UTF-16LE string).
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace rd {

struct MarkerJob {
    std::string source;    // the file being copied
    std::string folder;    // the destination folder: the marker's own folder, with its "/"
    std::string switches;  // as edited by EditMarkerSwitches
};

// The job's switches for the restart: every "f" goes (the target field is a folder), a console
// wrapper's "Lt" and its number go (that wrapper is gone), and so do a delete ("M"), a shut-down
// ("d") and links ("j", "J"), which a marker never brings; "e" is added when missing (the source
// field is the path itself) and "u" too (resume the existing file).
std::string EditMarkerSwitches(std::string switches);

// The restart moves its file (a "m" among its switches): it asks first, or copies only.
bool MarkerMoves(const MarkerJob& job);
// The restart copies only: every "m" goes.
void CopyOnly(MarkerJob& job);

// What is known of a marker that is to be restarted, each fact as it was looked at.
struct MarkerFacts {
    uid_t user = 0;  // the effective user
    // The marker, looked at by its name without following a link; then opened without
    // following one.
    bool link = false;
    bool regular = false;
    bool openedIsLookedAt = false;  // the opened file has the device and inode looked at
    uid_t owner = 0;
    // The folder it lies in.
    mode_t folderMode = 0;
    uid_t folderOwner = 0;
    // Its name is the name of the source it names, with ".RedoDori" after it.
    bool namedAfterSource = false;
    // The destination beside it (its name without ".RedoDori"), looked at without following a
    // link: there as a regular file, and whose.
    bool destinationRegular = false;
    uid_t destinationOwner = 0;
};

enum class MarkerVerdict {
    Accepted,
    Link,               // a symbolic link
    NotRegular,         // a folder, a device, a pipe ...
    Replaced,           // the file opened is not the one looked at
    OtherOwner,         // not the user's own
    OthersFolder,       // in a folder of another user than the user or root
    OpenFolder,         // in a folder that others can write to, without the sticky bit
    SharedDestination,  // in a sticky folder beside a destination that is not the user's own
    NotBeside,          // not named after its source
    NoDestination,      // no destination file beside it
};

// Accepts a marker only when it is the user's own regular file, opened as it was looked at, in
// a folder of the user or root that others cannot write to, or in a sticky folder (like /tmp)
// where the destination beside it is the user's own too; and when it stands beside the
// destination it names. Anything else could make the user's own job copy, move or resume a file
// as another user chose.
MarkerVerdict JudgeMarker(const MarkerFacts& facts);

// Reads the marker at `path`: false with `error` for one that cannot be opened, holds 8 bytes or
// less, names a source that is not a full path, or that JudgeMarker refuses. At most 8160 bytes
// after the position are read; what follows the switch string is not looked at. The folder of the
// job is the marker's folder with every link on the way resolved, so that the job writes where the
// checks looked.
bool ReadResumeMarker(const std::string& path, MarkerJob& job, std::string& error);

// The job line that restarts it: "|" + source list + "|" + folder + "|" + switches. The source
// goes in a new literal list of the private state folder (0600, created exclusively), and so
// does the folder (with switch "f") when the target field cannot carry it
// (text::InlineTargetField), so that any name is restarted as it is. The switches lose "e", "x"
// and any other "f": the job reads its source from the list and removes its lists once read. False
// with `error` when a list cannot be written or named in the line; `lists` gets every list written,
// for the caller to remove when the line does not run.
bool MarkerJobLine(const MarkerJob& job, std::string& line, std::vector<std::string>& lists,
                   std::string& error);

}  // namespace rd
