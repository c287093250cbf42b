// Restarting one interrupted file copy from the resume marker beside its partial destination
// (destination name + ".RedoDori": 8 bytes of position, then the source path and the job's
// switches, each a NUL-terminated UTF-16LE string).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rd {

struct MarkerJob {
    std::string source;    // the file being copied
    std::string folder;    // the destination folder: the marker's own folder, with its "/"
    std::string switches;  // as edited by EditMarkerSwitches
};

// The job's switches for the restart: the first "f" goes (the target field is a folder), a
// console wrapper's "Lt" and its number go (that wrapper is gone), "e" is added when missing
// (the source field is the path itself) and "u" too (resume the existing file).
std::string EditMarkerSwitches(std::string switches);

// Reads the marker at `path`: false with `error` for one that cannot be opened, is not a
// regular file, holds 8 bytes or less, or names a source that is not a full path or not the
// file the marker stands beside. At most 8160 bytes after the position are read.
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
