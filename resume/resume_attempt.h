// One try at resuming a record, run on a short-lived thread of its own: it waits for nothing
// itself, but looks whether the record's source folder is reachable and, when it is, runs the
// record's command and deletes the record.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace rd {

class Store;

// Starts `program` with `argument` as its one argument, without a shell. False with `error`
// when it could not be started.
using ResumeLauncher = std::function<bool(const std::string& program, const std::string& argument,
                                          std::string& error)>;

struct AttemptResult {
    // 0: try again later (the source folder is not reachable); 1: the item is over.
    int exitCode = 0;
    // The command was run and the record deleted.
    bool started = false;
    // Why the record cannot be resumed (it stays), or why this try has to wait; empty when the
    // command ran, or the record went meanwhile.
    std::string problem;
    // The record's job still runs ("stored job N is still running").
    bool running = false;
};

// A record whose job still runs (ResumeSlot) is not taken: that job would be run twice, and the
// two would fight over the same files. The record's "f_" names its source folder: none ends the
// item, one that is not an existing folder (yet) makes it wait. The command must pass
// CheckStoredCommand against `ownProgram`; with "min" on it gets the start-hidden switch "n". The
// record is taken before the command runs (its value N deleted, and only one taker gets it, also
// among several processes, while the attempt holds the record's slot so that no new job claims it
// meanwhile) and put back when the program cannot be started; once it runs, the rest of the record
// goes. The list file stays for the started job to read.
AttemptResult AttemptResume(Store& store, int32_t n, const std::string& ownProgram,
                            const ResumeLauncher& launch);

}  // namespace rd
