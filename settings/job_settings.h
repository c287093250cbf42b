// The settings record every part of the program reads its settings from. Integer fields may
// be changed by the window thread while engine threads read them, so each is atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace rd {

// An int32 setting that threads may read while another changes it.
class SettingInt {
public:
    SettingInt(int32_t v = 0) : v_(v) {}
    SettingInt(const SettingInt& o) : v_(o.v_.load(std::memory_order_relaxed)) {}
    SettingInt& operator=(const SettingInt& o) {
        v_.store(o.v_.load(std::memory_order_relaxed), std::memory_order_relaxed);
        return *this;
    }
    SettingInt& operator=(int32_t v) {
        v_.store(v, std::memory_order_relaxed);
        return *this;
    }
    operator int32_t() const { return v_.load(std::memory_order_relaxed); }

private:
    std::atomic<int32_t> v_;
};

// A text setting that the job thread may read while the window thread changes it.
class SettingText {
public:
    SettingText() = default;
    SettingText(std::string v) : v_(std::move(v)) {}
    SettingText(const SettingText& o) : v_(o.Get()) {}
    SettingText& operator=(const SettingText& o) { return *this = o.Get(); }
    SettingText& operator=(std::string v) {
        std::lock_guard<std::mutex> lock(lock_);
        v_ = std::move(v);
        return *this;
    }
    std::string Get() const {
        std::lock_guard<std::mutex> lock(lock_);
        return v_;
    }
    operator std::string() const { return Get(); }
    bool empty() const { return Get().empty(); }
    bool operator==(const std::string& text) const { return Get() == text; }

private:
    mutable std::mutex lock_;
    std::string v_;
};

// Job mode word bits.
namespace mode {
constexpr int32_t kMove = 0x1;
constexpr int32_t kDeleteOnly = 0x8;
constexpr int32_t kDelete = kMove | kDeleteOnly;
constexpr int32_t kWipeMask = 0x6;
inline int WipePasses(int32_t word) {
    return (word & kWipeMask) >> 1;
}
inline bool IsMove(int32_t word) {
    return (word & kMove) != 0 && (word & kDeleteOnly) == 0;
}
inline bool IsDelete(int32_t word) {
    return (word & kDelete) == kDelete;
}
}  // namespace mode

// `onexist` bit values.
namespace onexist {
constexpr int32_t kOverwrite = 1;
constexpr int32_t kSkip = 2;
constexpr int32_t kTryResume = 4;
constexpr int32_t kRenameOld = 8;
constexpr int32_t kOverwriteOlder = 16;
}  // namespace onexist

// A stored window placement; a value the store did not give stays unset and the window keeps
// its designed value.
struct StoredPlacement {
    bool hasLeft = false, hasTop = false, hasWidth = false, hasHeight = false;
    int32_t left = 0, top = 0, width = 0, height = 0;
};

struct JobSettings {
    // The job mode word (`delmode`): move, delete and wipe passes.
    SettingInt delmode = 0;
    SettingInt encrc = 0;
    SettingInt onerror = 0;
    SettingInt onexist = 0;
    SettingInt limtip = 1;
    SettingInt splim = 10;
    SettingInt bufsz = 6;
    SettingInt rtdel = 0;
    SettingInt enskdel = 0;
    SettingInt skdel = 60000;
    SettingInt snden = 0;
    SettingInt popup = 0;
    SettingInt shutd = 0;
    SettingInt sddel = 45;
    SettingInt readburst = 0;
    SettingInt writeburst = 0;
    SettingInt parcopy = 0;
    SettingInt resfsz = 0;
    SettingInt hist = 1;
    SettingInt resume = 0;
    std::string Skin = "Default";
    std::string Lngname = "english.lng";
    // Read by the job thread when the job completes, while the settings dialog may change it.
    SettingText sndpath;

    // The folder that holds language files, skins and the sound.
    std::string InstallPath;
    // "local" or "network".
    std::string profile = "local";
    // Recent destination folders, oldest first.
    std::vector<std::string> recentFolders;
    // This job's number in the resume store, -1 when it has none.
    int32_t resumeSlot = -1;

    StoredPlacement progressPlacement;  // "F2_*"
    StoredPlacement chooserPlacement;   // "F1_*"
    // Set when the stored placements were incomplete: the chooser is then centred.
    bool centerChooser = false;
};

}  // namespace rd
