// Reading a job's sources into the queue and its targets into the job's destination folders.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/list_file.h"

namespace rd {

class SourceQueue;

// Splits an inline source field ("a?b?c") into items; an item without a "/" is taken from
// `currentFolder`.
std::vector<std::string> SplitInlineSources(std::string_view field,
                                            const std::string& currentFolder);

// Fills the queue from the source field: a list file (read by ReadListFile into `list`) unless
// switch "e" made the field the list itself. `literal` tells whether the sources came from a
// literal list (platform/literal_list.h). Returns false with `error` set when the list file
// cannot be read or is refused; the queue is then unchanged.
bool ReadSources(const std::string& field, const JobFlags& flags, SourceQueue& queue,
                 ListFile& list, bool& literal, std::string& error);

// Whether a queued source is a pattern of files: never in a literal list; elsewhere a name part
// holding "*" when nothing exists under the name as written (a file named "a*" is that file,
// also a dangling symbolic link of that name).
bool IsSourcePattern(const std::string& item, bool literalList);

// Replaces every queued item that IsSourcePattern() by the files (not folders) that match it,
// appended at the end of the queue.
void ExpandWildcards(SourceQueue& queue, bool literalList);

// Reads the job's destination folders from the target field: its items between "?", or with
// switch "f" those of the target list file (read into `list`), a literal list's entries as they
// are and a list in lines as the target text its lines make. Returns false with `error` set when
// the list file cannot be read or is refused.
bool ReadTargets(const std::string& field, const JobFlags& flags, std::vector<std::string>& targets,
                 ListFile& list, std::string& error);

// The target text the user sees (history, messages): the folders, each followed by "?".
std::string JoinTargets(const std::vector<std::string>& targets);

}  // namespace rd
