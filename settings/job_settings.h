// The settings of a profile as the store keeps them, with the codes of its values, and the
// program's window state. A job runs on the engine's policy made from these values; the settings
// dialog, the progress window's menu and the questions' "... all" answers change that policy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rd {

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

// `onerror` values.
namespace onerror {
constexpr int32_t kPrompt = 0;
constexpr int32_t kRetry = 1;
constexpr int32_t kSkip = 2;
}  // namespace onerror

// `names` values: what a name, size or link a destination cannot take does.
namespace names {
constexpr int32_t kAsk = 0;
constexpr int32_t kRename = 1;
constexpr int32_t kSkip = 2;
}  // namespace names

// `manifest` values: the checksum manifest each destination of a copy or move gets.
namespace manifest {
constexpr int32_t kNone = 0;
constexpr int32_t kXxh128 = 1;
constexpr int32_t kSha256 = 2;
}  // namespace manifest

// `limtip` values.
namespace limit_unit {
constexpr int32_t kKbps = 0;
constexpr int32_t kPercent = 1;
constexpr int32_t kBps = 2;
}  // namespace limit_unit

// The highest `splim` and `bufsz` position; for the speed limit it means no limit.
constexpr int32_t kLastLimitPosition = 10;

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
    // The profile's job values, as read: a running job's are in its policy. The job mode word
    // (`delmode`): move, delete and wipe passes.
    int32_t delmode = 0;
    int32_t encrc = 0;
    int32_t onerror = 0;
    int32_t onexist = 0;
    int32_t names = names::kAsk;
    int32_t manifest = manifest::kNone;
    int32_t limtip = 1;
    int32_t splim = 10;
    int32_t bufsz = 6;
    int32_t rtdel = 0;
    int32_t enskdel = 0;
    int32_t skdel = 60000;
    int32_t snden = 0;
    int32_t popup = 0;
    int32_t shutd = 0;
    int32_t sddel = 45;
    int32_t readburst = 0;
    int32_t writeburst = 0;
    int32_t parcopy = 0;
    int32_t resfsz = 0;
    int32_t hist = 1;
    int32_t resume = 0;
    std::string sndpath;
    // The windows' look: the dialog's OK changes these for the running program.
    std::string Skin = "Default";
    std::string Lngname = "english.lng";

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
