// The job's final sync of one destination: the file system's sync blocks on a helper thread,
// while the job thread tells how much is left and stays free to leave when the job is aborted.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace rd {

// How often the caller hears how long a sync has taken.
constexpr uint64_t kSyncTellMs = 500;
// A sync shorter than this passes without a word.
constexpr uint64_t kSyncQuietMs = 1000;

// Syncs the file system that holds the folder `root` and returns the errno of the sync (0: all
// on the disk). `waited` hears every kSyncTellMs the milliseconds since the sync began. Returns
// none when `stop` turned true first: the sync then goes on alone and touches nothing of the
// caller's.
std::optional<int> SyncFileSystem(const std::string& root, const std::function<bool()>& stop,
                                  const std::function<void(uint64_t ms)>& waited);

// "Writing to <device>… N MiB left", with the bytes left in whole MiB.
std::string WritingText(const std::string& device, uint64_t leftBytes);

}  // namespace rd
