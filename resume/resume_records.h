// The stored resume records as the resume manager sees them: each record's command split for
// running without a shell, the checks made before it is run, the list of records with their
// columns, and the changes the manager makes to them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rd {

class Store;

// A stored command cut at its first " |": the program, and the job line (beginning with "|")
// that the program gets as its one argument.
struct StoredCommand {
    std::string program;
    std::string argument;
};

// Nothing when the command holds no " |" or names no program before it.
std::optional<StoredCommand> SplitStoredCommand(std::string_view command);

// The text between the `bar`-th and the next "|" of a stored value (to its end when no "|"
// follows); empty when there are fewer bars. Bar 2 holds the destinations of a record's
// command.
std::string BetweenBars(std::string_view value, int bar);

// This process's executable, as the kernel names it.
std::string OwnProgramPath();

// True when `program` is an absolute path that leads to the same file as `ownProgram`.
bool IsOwnProgram(const std::string& program, const std::string& ownProgram);

// Reads a record's list file into `sources`. Refused with `error` set: a list that is missing,
// unreadable, not a regular file, a symbolic link, another user's, larger than 256 MiB, or
// damaged (NUL bytes in an 8-bit list, half a character in a UTF-16 one, a literal list cut
// short, no source, a source that is not an absolute path). Lists in lines still read, so that
// records written before literal lists still resume.
bool ReadResumeList(const std::string& path, std::vector<std::string>& sources, std::string& error);

// Everything that must hold before a record's command runs: it splits, it names `ownProgram`
// (no other program is ever run), and its list reads (above). `split` gets the parts.
bool CheckStoredCommand(const std::string& command, const std::string& ownProgram,
                        StoredCommand& split, std::string& error);

struct ResumeRecord {
    int32_t n = -1;
    std::string command;    // value N
    std::string from;       // "f_" + N
    std::string time;       // "t_" + N
    bool autostart = true;  // "d_" + N empty or absent
};

// The records under the resume key, by ascending number: every N from 0 to 998 with a value
// named N.
std::vector<ResumeRecord> ReadResumeRecords(Store& store);

// The destination folders of a record's command: the target field's items between "?", or
// with switch "f" the entries of its literal target list (the field itself when that cannot be
// read).
std::vector<std::string> RecordDestinations(const ResumeRecord& record);

// The sources of a record's job, from the list file its command names; none when the list
// cannot be read (ReadResumeList).
std::vector<std::string> RecordSources(const ResumeRecord& record);

// The resume manager's From text for a job's `count` sources, so that two jobs from one folder
// read apart: the `first` source's own name, with `more` ("%s + %u more") filled with it and the
// count of the others when there are others; empty without sources.
std::string SourcesText(std::string_view first, size_t count, std::string_view more);

// One record's row of the manager's list.
struct RecordColumns {
    std::string time;       // "Unknown" when empty
    std::string from;       // "Unknown" when empty
    std::string to;         // the destinations, each followed by "?"
    std::string autostart;  // "Yes" or "No"
};
RecordColumns ColumnsOf(const ResumeRecord& record);

// The records the start-up resume takes, ascending: those without "d_" whose job no longer
// runs (ResumeJobRunning); those whose job still runs go into `running` when it is given.
std::vector<int32_t> StartupRecords(Store& store, std::vector<int32_t>* running = nullptr);

// Resume on restart: deletes a non-empty "d_" + N, else writes it as "x".
void FlipAutostart(Store& store, int32_t n);

// The "min" value: resumed jobs start without their window. Unreadable reads as off.
bool StartMinimized(Store& store);
void SetStartMinimized(Store& store, bool on);

// Deletes the record's values N, "t_", "f_" and "d_". Returns the list files its command named
// (its source list, and its target list with switch "f"), which stay for a job that is about
// to read them.
std::vector<std::string> DeleteRecordValues(Store& store, int32_t n);

// Removes a record's list file, but only a regular file of this user directly in the state
// folder or the temporary folder, where lists are written for one job: a list elsewhere is the
// user's own file. True when it was removed.
bool RemoveResumeList(const std::string& path);

}  // namespace rd
