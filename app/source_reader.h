// Reading a job's sources into the queue and its targets into the target text.
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
// switch "e" made the field the list itself. Returns false with `error` set when the list file
// cannot be read or is refused; the queue is then unchanged.
bool ReadSources(const std::string& field, const JobFlags& flags, SourceQueue& queue,
                 ListFile& list, std::string& error);

// Replaces every queued item whose name holds "*" by the files (not folders) that match it,
// appended at the end of the queue.
void ExpandWildcards(SourceQueue& queue);

// Builds the target text (folders each followed by "?") from the target field, read from a
// target list file (into `list`) with switch "f". Returns false with `error` set when the list
// file cannot be read or is refused.
bool ReadTargets(const std::string& field, const JobFlags& flags, std::string& targetText,
                 ListFile& list, std::string& error);

}  // namespace rd
