#include "program/stored_job_record.h"

#include <utility>

#include "resume/autostart.h"
#include "resume/resume_store.h"

namespace rd {

bool StoredJobRecord::Claim(std::string& error) {
    return slot_.Claim(store_, error);
}

bool StoredJobRecord::Write(RecordedJob job, RecordMode mode, std::string& error) {
    ResumeJob record;
    record.slot = job.number;
    record.programPath = std::move(job.programPath);
    record.sources = std::move(job.sources);
    record.targets = std::move(job.targets);
    record.onerror = job.onerror;
    record.modeWord = job.modeWord;
    record.profile = std::move(job.profile);
    record.switches = std::move(job.switches);
    const int stored = mode == RecordMode::Removed ? 0 : mode == RecordMode::Kept ? 1 : 2;
    return WriteResumeRecord(store_, record, stored, error);
}

bool StoredJobRecord::ResumeAtLogin(const std::string& program, std::string& error) {
    return SetResumeAutostart(true, program, error);
}

}  // namespace rd
