// Where the program's values live in the settings store.
#pragma once

#include <string>
#include <string_view>

namespace rd {

// The program's own key: window positions, recent folders (current user); the installation
// folder (machine).
inline constexpr std::string_view kBaseKey = "SOFTWARE\\DiraRedi\\RedoDori";
// The stored jobs that can be resumed.
inline constexpr std::string_view kResumeKey = "Software\\DIRAREDI\\RedoDori\\Resume";
// The number of resume slots; a job's slot is 0 to kResumeSlots - 1.
inline constexpr int kResumeSlots = 999;

// The key of a settings profile ("local" or "network").
inline std::string ProfileKey(std::string_view profile) {
    return std::string(kBaseKey) + "\\" + std::string(profile);
}

}  // namespace rd
