#include "engine/find_entry.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

namespace rd {

namespace {

constexpr int kFindAttempts = 10;
// How often a pause between two attempts looks whether the walk is to stop.
constexpr int kStopCheckMs = 10;

// Sleeps `ms`; false, and at once, when `stop` says the walk is to end.
bool PauseUnlessStopped(int ms, const std::function<bool()>& stop) {
    for (int slept = 0; slept < ms; slept += kStopCheckMs) {
        if (stop && stop())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kStopCheckMs, ms - slept)));
    }
    return !(stop && stop());
}

}  // namespace

std::optional<fs::Attributes> FindEntry(int at, const std::string& name, const std::string& full,
                                        int* error, const std::function<bool()>& stop) {
    // Named relative to its folder, an entry deeper than a path can name would be found; the
    // copy names whole paths, so the walk gives it up as a call with its whole path would.
    if (full.size() >= PATH_MAX) {
        if (error)
            *error = ENAMETOOLONG;
        return std::nullopt;
    }
    int last = 0;
    for (int attempt = 0; attempt < kFindAttempts; ++attempt) {
        if (auto found = fs::GetAttributesAt(at, name, &last))
            return found;
        if (last == ENOENT || last == ENOTDIR || last == EACCES || last == ELOOP ||
            last == ENAMETOOLONG)
            break;
        if (!PauseUnlessStopped(50 * attempt, stop))
            break;
    }
    if (error)
        *error = last;
    return std::nullopt;
}

}  // namespace rd
