// A job's resume slot: the number N of its record under the resume key. A job claims its slot
// by taking the lock file "resume-<N>.lock" in the runtime folder without waiting, and holds it
// until its process ends, so that the lock tells whether the job of record N still runs. A slot
// is free when no record N is stored and its lock can be taken.
#pragma once

#include <cstdint>
#include <string>

namespace rd {

class Store;

class ResumeSlot {
public:
    enum class Lock {
        Taken,    // this object holds it now
        Running,  // a live job holds it
        Failed,   // the runtime folder or the lock file cannot be used
    };

    ResumeSlot() = default;
    // Lets go of the slot.
    ~ResumeSlot();
    ResumeSlot(const ResumeSlot&) = delete;
    ResumeSlot& operator=(const ResumeSlot&) = delete;

    // Claims the lowest free slot and holds it. False with `error` (a line for stderr) when the
    // runtime folder cannot be used or every slot is taken: the job then keeps no record.
    bool Claim(Store& store, std::string& error);
    // Takes the lock of slot `n` without waiting; `error` says why it Failed.
    Lock Take(int32_t n, std::string& error);
    // The slot held; -1 for none.
    int32_t Number() const { return n_; }
    // Lets go of the slot before the process ends: its job is over.
    void Release();

private:
    int32_t n_ = -1;
    int fd_ = -1;
};

// The job of record `n` still runs: another process holds its slot. False also when that cannot
// be told (the runtime folder cannot be used); taking the record then fails and says why.
bool ResumeJobRunning(int32_t n);

}  // namespace rd
