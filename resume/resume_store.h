// The resume record of a running job: a command that restarts it, kept in the settings store,
// with the job's sources in a list file in the user's private state folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rd {

class Store;

// What the record is made from.
struct ResumeJob {
    int32_t slot = -1;                 // the job's number; -1: the job has no record
    std::string programPath;           // the program's full path
    std::vector<std::string> sources;  // the source queue, in order
    std::vector<std::string> targets;  // the destination folders
    int32_t onerror = 0;
    int32_t modeWord = 0;
    std::string profile = "local";
    std::string switches;  // the switch field of the job's line
};

// The record's switches: "uw" (resume, else overwrite), then the job's own existing-file
// policy where it has one ("k", "o", "u", "i": resume, else skip, rename or ask; overwrite if
// older), "r" or "s" for the error policy, "m" or "M" for a move or delete job, the job's other
// switches that a resumed job keeps (verification, reserved space, burst modes, file times,
// retry time-out, speed and buffer limits, no shut-down, waiting for other jobs, links), then
// "q2" for the local profile or "q1" for another. Left out: the forms of the
// lists ("e", "f", "x": the record names its own list), a console wrapper's "Lt" (it is gone),
// the profile's "q" (the record gives it), and what belonged to the first start only: "p"
// (start paused), "g" (join a running job, whose policies would decide instead), "n" (no
// window: the resume manager's "Start minimized" decides) and "d" (shut down at the end: a
// resumed job often ends while someone is at work).
std::string ResumeSwitches(const ResumeJob& job);

// paths::StateDir() + "/vnfrm" + slot + ".lst".
std::string ResumeListPath(int32_t slot);

// The list file's bytes: a literal list (platform/literal_list.h), so that every source comes
// back byte for byte and is never taken for a pattern.
std::string ResumeListBytes(const std::vector<std::string>& sources);

// Mode 1 writes the record and the list file, mode 2 also marks the record as not to be
// resumed by itself ("d_" = "x"), mode 0 deletes both. The destinations stand in the command
// itself when the job line can carry them (text::InlineTargetField); otherwise they go into a
// literal target list, paths::StateDir() + "/vnto" + slot + ".lst", named with switch "f". The
// state folder is made private (0700) and the lists replaced in one step, never through a
// symbolic link. A record never points at a missing or stale list: when a list cannot be
// written the record is deleted and false returned, with `error` saying why.
bool WriteResumeRecord(Store& store, const ResumeJob& job, int mode, std::string& error);

}  // namespace rd
