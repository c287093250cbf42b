// The lines of a checksum manifest as `sha256sum` and `xxhsum -H2` write and read them: the hash,
// two spaces (or a space and "*" for binary mode), and the path relative to the manifest. A path
// with a backslash or a line break is written escaped ("\\", "\n") behind a leading backslash,
// as coreutils does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rd {

// The largest manifest read, and the longest line taken from one.
inline constexpr uint64_t kMaxManifestBytes = uint64_t{1} << 30;
inline constexpr size_t kMaxManifestLine = 64 * 1024;

// One line, with its line feed.
std::string ManifestLine(std::string_view hexHash, std::string_view relativePath);

struct ManifestEntry {
    // Lower case.
    std::string hash;
    // Relative to the manifest's folder; never absolute, never with a ".." component.
    std::string path;
    size_t line = 0;
};

// A line that was named and left out, and why.
struct ManifestSkip {
    size_t line = 0;
    std::string why;
};

struct ManifestReading {
    std::vector<ManifestEntry> entries;
    std::vector<ManifestSkip> skipped;
    // Set when the manifest cannot be used at all (too large); then nothing else is.
    std::string refused;
};

// Reads a manifest's text whose hashes have `hexLength` digits. Empty lines are passed over; a
// line that is malformed, too long, holds a NUL byte, or names a path outside the manifest's
// folder is skipped and named.
ManifestReading ReadManifest(std::string_view text, size_t hexLength);

}  // namespace rd
