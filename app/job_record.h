// What a job session needs from its job's resume record: a number claimed for the life of the
// process, the record written or removed as the job goes on, and the entry that resumes
// interrupted jobs at login. The program keeps the record in the settings store; the session
// only says what to keep and when.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rd {

// The job as its record keeps it.
struct RecordedJob {
    int32_t number = -1;               // the claimed number; -1: the job keeps no record
    std::string programPath;           // the program's full path
    std::vector<std::string> sources;  // the source queue, in order
    std::vector<std::string> targets;  // the destination folders
    int32_t onerror = 0;
    int32_t modeWord = 0;
    std::string profile = "local";
    std::string switches;  // the switch field of the job's line
};

// How a record is written.
enum class RecordMode {
    Removed,    // the record and its lists are deleted
    Kept,       // the record restarts the job
    KeptAside,  // kept, but not resumed by itself (the job ended unfinished)
};

class JobRecord {
public:
    virtual ~JobRecord() = default;

    // Claims the lowest free number and holds it until Release: while it is held, the record
    // shows a running job. False with `error` (a line for stderr) when none can be claimed.
    virtual bool Claim(std::string& error) = 0;
    // The number held; -1 for none.
    virtual int32_t Number() const = 0;
    // Lets go of the number before the process ends: the job is over.
    virtual void Release() = 0;
    // Writes `job`'s record as `mode` says; false with `error` when a kept record could not be
    // written (it is then removed).
    virtual bool Write(RecordedJob job, RecordMode mode, std::string& error) = 0;
    // Makes sure that `program` resumes interrupted jobs when the user logs in; false with
    // `error` when the entry could not be written.
    virtual bool ResumeAtLogin(const std::string& program, std::string& error) = 0;
};

}  // namespace rd
