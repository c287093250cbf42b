// What a destination's file system takes: which names, how large a file, links, owners and
// permissions, and how much room. Measured where a probe can tell, from a table by type where it
// cannot.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rd {

inline constexpr uint64_t kNoFileSizeLimit = UINT64_MAX;

struct VolumeRules {
    // The mount table's type ("ext4", "vfat", "fuseblk", "fuse.fusefat", "cifs").
    std::string type;
    // Names that differ only in case are one name there.
    bool foldsCase = false;
    // The characters a name cannot hold there (each one byte: the printable ones a probe tries,
    // and \x01 standing for every control character).
    std::string refusedCharacters;
    // A name cannot end with a dot or with a space (refused, or cut off without a word).
    bool refusesTrailingDot = false;
    bool refusesTrailingSpace = false;
    // Only ASCII names are taken (some FAT drivers have no long Unicode names).
    bool asciiOnly = false;
    uint64_t largestFile = kNoFileSizeLimit;
    bool symbolicLinks = true;
    bool owners = true;
    bool permissions = true;
    // The bytes the user may still write there, and the unit each file's room is taken in; -1
    // when unknown.
    int64_t freeBytes = -1;
    uint64_t blockSize = 4096;
    // The names and links were measured by probes; false: the table for `type` says them.
    bool probed = false;

    // Whether `name` (one component) can be created there as it is.
    bool TakesName(std::string_view name) const;
    // Whether anything about names needs a look at each source.
    bool LimitsNames() const {
        return foldsCase || !refusedCharacters.empty() || refusesTrailingDot ||
               refusesTrailingSpace || asciiOnly;
    }
};

// The printable characters a probe tries, and the one standing for the control characters.
inline constexpr std::string_view kProbedCharacters = "\"*:<>?\\|\x01";

// What the type alone says: FAT's, exFAT's, NTFS's and SMB's names, FAT's largest file, links
// and owners. A type without rules of its own takes every name and every size.
VolumeRules RulesOfType(std::string_view type);

// Whether a type's names are worth probing: local file systems of this system take every name.
bool NamesNeedProbing(std::string_view type);

// The rules of the file system `folder` is on: the table's for its type, then what probes in a
// private folder made and removed in `folder` (or its nearest existing parent) find. The free
// space is always measured.
VolumeRules ReadVolumeRules(const std::string& folder);

}  // namespace rd
