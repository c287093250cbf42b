// The policy a job follows: what becomes of its sources, how it reads and writes, what it does on
// an error and at an existing destination, and what follows its end.
//
// The host fills it before Start and keeps it for the job's life. Every field is live: the host's
// thread may change it while the job runs (the settings dialog, the progress window's menu and
// keys, an "… all" answer to a question), and the engine reads it at each use. The copy options
// (`readBurst`, `writeBurst`, `parallel`) change only until JobProgress::OptionsLocked; the move
// and delete bits of `mode` only before Start.
//
// Each code's values are the integers the settings store keeps; a value outside the named ones
// (a damaged store) is kept as it is and read as the comments say.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace rd {

// A value one thread may change while others read it.
template <typename T>
class Live {
public:
    Live(T v = T{}) : v_(v) {}
    Live(const Live& o) : v_(o.Get()) {}
    Live& operator=(const Live& o) { return *this = o.Get(); }
    Live& operator=(T v) {
        v_.store(v, std::memory_order_relaxed);
        return *this;
    }
    T Get() const { return v_.load(std::memory_order_relaxed); }
    operator T() const { return Get(); }

private:
    std::atomic<T> v_;
};

// A text one thread may change while others read it.
class LiveText {
public:
    LiveText() = default;
    LiveText(std::string v) : v_(std::move(v)) {}
    LiveText(const LiveText& o) : v_(o.Get()) {}
    LiveText& operator=(const LiveText& o) { return *this = o.Get(); }
    LiveText& operator=(std::string v) {
        std::lock_guard<std::mutex> lock(lock_);
        v_ = std::move(v);
        return *this;
    }
    std::string Get() const {
        std::lock_guard<std::mutex> lock(lock_);
        return v_;
    }
    operator std::string() const { return Get(); }

private:
    mutable std::mutex lock_;
    std::string v_;
};

// What a failed read, write or open does (`onerror`); any other value asks.
enum class ErrorPolicy : int32_t {
    Prompt = 0,  // ask the user
    Retry = 1,   // retry after `retryDelayMs`, until `giveUp` says otherwise
    Skip = 2,    // leave the file out
};

// What an existing destination does (`onexist`): at most one base choice, with the two
// modifiers. No bit set asks.
enum class ExistsPolicy : int32_t {
    Prompt = 0,
    Overwrite = 1,        // base choice: write the destination anew
    Skip = 2,             // base choice: keep the destination
    TryResume = 4,        // go on with a destination that holds the start of the source
    RenameOld = 8,        // base choice: rename the destination out of the way
    OverwriteOlder = 16,  // overwrite a destination older than its source, else the base choice
};
// The bits of the base choice.
inline constexpr ExistsPolicy kExistsChoices = static_cast<ExistsPolicy>(1 | 2 | 8);

constexpr ExistsPolicy operator|(ExistsPolicy a, ExistsPolicy b) {
    return static_cast<ExistsPolicy>(static_cast<int32_t>(a) | static_cast<int32_t>(b));
}
constexpr ExistsPolicy operator&(ExistsPolicy a, ExistsPolicy b) {
    return static_cast<ExistsPolicy>(static_cast<int32_t>(a) & static_cast<int32_t>(b));
}
constexpr ExistsPolicy operator^(ExistsPolicy a, ExistsPolicy b) {
    return static_cast<ExistsPolicy>(static_cast<int32_t>(a) ^ static_cast<int32_t>(b));
}
constexpr ExistsPolicy operator~(ExistsPolicy a) {
    return static_cast<ExistsPolicy>(~static_cast<int32_t>(a));
}
// True when `policy` holds any bit of `bits`.
constexpr bool Has(ExistsPolicy policy, ExistsPolicy bits) {
    return (policy & bits) != ExistsPolicy::Prompt;
}

// The job mode word (`delmode`): what becomes of the sources, and how many times a file is
// overwritten before it is removed.
enum class JobMode : int32_t {
    Copy = 0,        // the sources stay
    Move = 0x1,      // a source is removed once every copy of it is complete
    WipeMask = 0x6,  // the wipe passes, 0 to 3, times two
    DeleteOnly = 0x8,
    Delete = 0x9,  // Move with DeleteOnly: the sources are removed, nothing is copied
};
constexpr int32_t ModeBits(JobMode mode) {
    return static_cast<int32_t>(mode);
}
constexpr bool IsMove(JobMode mode) {
    return (ModeBits(mode) & ModeBits(JobMode::Delete)) == ModeBits(JobMode::Move);
}
constexpr bool IsDelete(JobMode mode) {
    return (ModeBits(mode) & ModeBits(JobMode::Delete)) == ModeBits(JobMode::Delete);
}
// Move or Delete: the sources go.
constexpr bool RemovesSources(JobMode mode) {
    return (ModeBits(mode) & ModeBits(JobMode::Move)) != 0;
}
constexpr int WipePasses(JobMode mode) {
    return (ModeBits(mode) & ModeBits(JobMode::WipeMask)) >> 1;
}
// `mode` with `passes` (0 to 3) wipe passes, its other bits kept.
constexpr JobMode WithWipePasses(JobMode mode, int passes) {
    return static_cast<JobMode>((ModeBits(mode) & ~ModeBits(JobMode::WipeMask)) |
                                ((passes & 3) << 1));
}
// `mode` with the bits of `bits` added.
constexpr JobMode WithBits(JobMode mode, JobMode bits) {
    return static_cast<JobMode>(ModeBits(mode) | ModeBits(bits));
}

// The unit of the speed limit (`limtip`); any other value is a rate in bytes per second.
enum class SpeedUnit : int32_t {
    Kbps = 0,     // positions 0 to 9 stand for 16 to 16384 kilobytes per second
    Percent = 1,  // positions 0 to 9 stand for 10% to 100% of the time spent copying
    Bps = 2,      // positions 0 to 9 stand for 16 to 16384 bytes per second
};

// Whether retrying gives up (`enskdel`); any value but Never gives up.
enum class GiveUp : int32_t {
    Never = 0,         // retry until the file succeeds or the user acts
    AfterTimeout = 1,  // skip the file once retrying took longer than `giveUpAfterMs`
};

// What a name a destination cannot take does (`names`); any other value asks.
enum class NamesPolicy : int32_t {
    Ask = 0,     // one question for the whole job
    Rename = 1,  // look-alike characters, " (2)" for names folded together
    Skip = 2,    // leave those files out
};

// The checksum manifest each destination gets (`manifest`); any other value writes none.
enum class ManifestPolicy : int32_t {
    None = 0,
    Xxh128 = 1,  // XXH3-128, as `xxhsum -H2` writes it
    Sha256 = 2,  // SHA-256, as `sha256sum` writes it
};

// The highest speed-limit and buffer-size position; for the speed limit it means no limit.
inline constexpr int32_t kLastPosition = 10;

struct JobPolicy {
    // What becomes of the sources, and the wipe passes (`delmode`).
    Live<JobMode> mode = JobMode::Copy;

    // Reading and writing.
    Live<int32_t> speedLimit = 10;  // `splim`: position 0 to 9, kLastPosition for none
    Live<SpeedUnit> speedUnit = SpeedUnit::Percent;  // `limtip`
    Live<int32_t> bufferSize = 6;   // `bufsz`: block size position 0 (512 bytes) to 10 (32 MB)
    Live<bool> verify = false;      // `encrc`: each block is read back and compared
    Live<bool> readBurst = false;   // `readburst`: sources read past the system's cache
    Live<bool> writeBurst = false;  // `writeburst`: destinations written past the system's cache
    Live<bool> parallel = false;    // `parcopy`: reading overlaps writing
    Live<bool> reserve = false;     // `resfsz`: a destination's whole size is reserved first

    // Errors.
    Live<ErrorPolicy> onError = ErrorPolicy::Prompt;  // `onerror`
    Live<int32_t> retryDelayMs = 0;                   // `rtdel`: the wait before a retry
    Live<GiveUp> giveUp = GiveUp::Never;              // `enskdel`
    Live<int32_t> giveUpAfterMs = 60000;              // `skdel`

    // Existing destinations.
    Live<ExistsPolicy> onExist = ExistsPolicy::Prompt;  // `onexist`

    // Names, sizes and links a destination cannot take, checked before the first byte.
    Live<NamesPolicy> names = NamesPolicy::Ask;  // `names`

    // Read once, when the copy starts: a job's manifests hash every file alike.
    Live<ManifestPolicy> manifest = ManifestPolicy::None;  // `manifest`

    // The end of the job.
    Live<bool> history = true;       // `hist`: a line in history.txt
    Live<bool> sound = false;        // `snden`: the completion sound after a long job
    LiveText soundPath;              // `sndpath`: the completion sound's wave file
    Live<bool> openTargets = false;  // `popup`: the question that opens the destinations
    Live<bool> shutdown = false;     // `shutd`: the power-off countdown
    // Read by the host: the countdown's seconds (`sddel`), and whether the job keeps a resume
    // record while it runs (`resume`).
    Live<int32_t> shutdownDelay = 45;
    Live<bool> resume = false;
};

}  // namespace rd
