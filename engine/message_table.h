// The 63 message texts of the current language ("In code" section of a language file).
#pragma once

#include <array>
#include <string>

namespace rd {

class MessageTable {
public:
    static constexpr int kSlots = 63;

    // Fills slots 1 to 63 from the "In code" section of the language file at `path`: slot n
    // from key "v" + n, a missing key leaving the slot empty. Returns false, leaving the table
    // as it was, when the file cannot be read.
    bool Load(const std::string& path);

    // Language text n (1 to 63); empty for other numbers.
    const std::string& Text(int n) const;

private:
    std::array<std::string, kSlots + 1> slots_;
};

}  // namespace rd
