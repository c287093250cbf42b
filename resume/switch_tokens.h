// The switch field of a job line cut into whole switches, as the job line reads them, so that a
// switch can be kept or dropped with its digits.
#pragma once

#include <string_view>
#include <vector>

namespace rd {

// "L" with its type letter and digits, "T" or "t" with a "1" or "2" after it, and "q" with the
// "1" or "2" after it (the profile) are one switch each; every other character is one.
std::vector<std::string_view> SwitchTokens(std::string_view switches);

}  // namespace rd
