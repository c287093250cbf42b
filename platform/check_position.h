// How far a check of one checksum manifest got, and what it found there, with the text form in
// which it is kept between runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rd {

enum class CheckFindingKind : uint8_t {
    Mismatch,
    Missing,
    // `error` is the errno; 0: the name is not a regular file.
    Unreadable,
};

// A listed file that did not check out.
struct CheckFinding {
    CheckFindingKind kind = CheckFindingKind::Mismatch;
    int error = 0;
    // The entry's number in its manifest (from 0) and its path as the manifest gives it.
    uint64_t entry = 0;
    std::string path;

    bool operator==(const CheckFinding&) const = default;
};

// The first `doneEntries` entries of the manifest are checked, and `findings` are what they
// found.
struct CheckPosition {
    uint64_t doneEntries = 0;
    std::vector<CheckFinding> findings;

    bool operator==(const CheckPosition&) const = default;
};

// "done <n>\n", then a line per finding: "mismatch|missing|unreadable <errno> <entry> <path>",
// the path in hex so that any name a file system allows comes back byte for byte.
std::string CheckPositionText(const CheckPosition& position);
// Nothing for a text that is not such a position (damaged, or of another version).
std::optional<CheckPosition> ParseCheckPosition(std::string_view text);

}  // namespace rd
