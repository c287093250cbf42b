// The literal list: the form of every list the program writes for its own jobs. Its entries are
// paths taken exactly as written, never as patterns and never split, so that any name a file
// system allows can be carried.
//
// The list begins with kLiteralListHeader (a NUL byte, "RedoDori literal list", a line feed);
// every entry follows, each ended by one NUL byte. No path holds a NUL byte or begins with an
// empty name, and the line-based readers skip a line that begins with a NUL byte, so a list in
// the older line forms is never taken for this one, and an older reader finds no paths in it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rd::text {

inline constexpr std::string_view kLiteralListHeader{"\0RedoDori literal list\n", 23};

// True when `data` begins with kLiteralListHeader.
bool IsLiteralList(std::string_view data);

// The bytes of a literal list holding `entries` in order. An entry holds no NUL byte (no path
// does); empty entries are left out.
std::string LiteralListBytes(const std::vector<std::string>& entries);

// The entries of a literal list, in order; empty entries are skipped. Text after the last NUL
// byte is an entry cut short (a list not written in full) and is not taken; `whole` (when
// given) is then false.
std::vector<std::string> SplitLiteralList(std::string_view data, bool* whole = nullptr);

// Whether the job line's profile scan, which takes the profile from the first "q" after the
// source field ("q1" network, anything else local), reads the same profile from `field` + "|" +
// `switches` as from the switches alone: a "q" in the target field comes first.
bool TargetFieldKeepsProfile(std::string_view field, std::string_view switches);

// The job line's target field for `folders` ("a?b?"), when the line can carry them before
// `switches`: no folder holds a "?" (which separates them) or a "|" (which ends the field), and
// the field keeps the switches' profile (above). Empty folders are left out. Nothing otherwise:
// such folders go to the job in a literal target list.
std::optional<std::string> InlineTargetField(const std::vector<std::string>& folders,
                                             std::string_view switches);

}  // namespace rd::text
