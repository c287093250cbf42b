// A job's resume record in the settings store, as the job session keeps it: the slot its
// process holds, the record with its list files, and the autostart entry.
#pragma once

#include <cstdint>
#include <string>

#include "app/job_record.h"
#include "resume/resume_slot.h"

namespace rd {

class Store;

class StoredJobRecord : public JobRecord {
public:
    explicit StoredJobRecord(Store& store) : store_(store) {}

    bool Claim(std::string& error) override;
    int32_t Number() const override { return slot_.Number(); }
    void Release() override { slot_.Release(); }
    bool Write(RecordedJob job, RecordMode mode, std::string& error) override;
    bool ResumeAtLogin(const std::string& program, std::string& error) override;

private:
    Store& store_;
    ResumeSlot slot_;
};

}  // namespace rd
