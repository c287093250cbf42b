// What a language file says of its language beside its texts: its own name for the settings
// dialog's list, the C library's locale that gives the system's error texts in it, and how it
// groups the digits of a large number.
#pragma once

#include <string>
#include <string_view>

namespace rd {

class IniFile;

struct LanguageFacts {
    std::string name;             // "Deutsch"; the file name when nothing names it
    std::string locale;           // "de_DE.UTF-8"; empty for the C library's own (English)
    std::string thousands = ",";  // between groups of three digits
    bool operator==(const LanguageFacts&) const = default;
};

// The facts of the language file `fileName` ("german.lng"), read from its section "Language"
// (keys "Name", "Locale" and "Thousands"). What the file does not give comes from the known
// languages by file name, which lets files written before the section still load; a language
// unknown by both keeps the file name, English system texts and ",".
LanguageFacts ReadLanguageFacts(const IniFile& file, std::string_view fileName);

}  // namespace rd
