// Turns a job line into a plain description of the job it asks for, without running it.
#pragma once

#include <string>
#include <string_view>

namespace rd {

class Store;

// Reads the settings of the line's profile from `store`, applies the switches and reads the
// sources and targets as a job would (list files are read but never removed), and describes
// the result: the settings summary, the per-job flags, the sources and the destinations.
// Returns false when the job could not start (a list file that cannot be read); the text
// then ends with the message the job would give.
bool ExplainJob(std::string_view line, Store& store, std::string& out);

}  // namespace rd
