#include "resume/resume_slot.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/bus.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "resume/resume_records.h"
#include "settings/store_keys.h"

namespace rd {

namespace {

// The runtime folder's errors come as lines for stderr; here they are a reason in a sentence.
std::string Reason(std::string error) {
    constexpr std::string_view kPrefix = "redodori: ";
    if (error.starts_with(kPrefix))
        error.erase(0, kPrefix.size());
    return error;
}

}  // namespace

ResumeSlot::~ResumeSlot() {
    Release();
}

void ResumeSlot::Release() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    n_ = -1;
}

ResumeSlot::Lock ResumeSlot::Take(int32_t n, std::string& error) {
    Release();
    if (!bus::PrepareRuntimeDir(error)) {
        error = Reason(error);
        return Lock::Failed;
    }
    const std::string path = paths::RuntimeDir() + "/resume-" + std::to_string(n) + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        error = "cannot open the resume lock " + path + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return Lock::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "the resume lock " + path + " is not a regular file";
        ::close(fd);
        return Lock::Failed;
    }
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int failed = errno;
        ::close(fd);
        if (failed == EWOULDBLOCK)
            return Lock::Running;
        error = "cannot lock " + path + ": " + std::strerror(failed);
        return Lock::Failed;
    }
    fd_ = fd;
    n_ = n;
    return Lock::Taken;
}

bool ResumeSlot::Claim(Store& store, std::string& error) {
    std::vector<bool> stored(kResumeSlots, false);
    for (const ResumeRecord& record : ReadResumeRecords(store))
        stored[static_cast<size_t>(record.n)] = true;
    for (int32_t n = 0; n < kResumeSlots; ++n) {
        if (stored[static_cast<size_t>(n)])
            continue;
        switch (Take(n, error)) {
            case Lock::Running: continue;
            case Lock::Failed:
                error = "redodori: " + error +
                        "; this job runs without a resume slot and cannot be resumed after a crash";
                return false;
            case Lock::Taken: break;
        }
        // A job that held the lock may have stored its record before it ended.
        if (!store.ValueExists(StoreRoot::CurrentUser, kResumeKey, std::to_string(n)))
            return true;
        Release();
    }
    error = "redodori: all " + std::to_string(kResumeSlots) +
            " resume slots are taken; this job runs without one and cannot be resumed after a "
            "crash";
    return false;
}

bool ResumeJobRunning(int32_t n) {
    ResumeSlot slot;
    std::string ignored;
    return slot.Take(n, ignored) == ResumeSlot::Lock::Running;
}

}  // namespace rd
