#include "platform/language_facts.h"

#include <array>

#include "platform/ini_file.h"
#include "platform/text.h"

namespace rd {

namespace {

struct KnownLanguage {
    std::string_view file;
    std::string_view name;
    std::string_view locale;
    std::string_view thousands;
};

// The languages shipped with the program.
constexpr std::array<KnownLanguage, 2> kKnown = {{
    {"english.lng", "English", "", ","},
    {"german.lng", "Deutsch", "de_DE.UTF-8", "."},
}};

}  // namespace

LanguageFacts ReadLanguageFacts(const IniFile& file, std::string_view fileName) {
    LanguageFacts facts;
    facts.name = fileName;
    const std::string lower = text::LowerAscii(fileName);
    for (const KnownLanguage& known : kKnown) {
        if (known.file == lower)
            facts = {std::string(known.name), std::string(known.locale),
                     std::string(known.thousands)};
    }
    if (const auto name = file.Value("Language", "Name"); name && !name->empty())
        facts.name = *name;
    if (const auto locale = file.Value("Language", "Locale"))
        facts.locale = *locale;
    if (const auto thousands = file.Value("Language", "Thousands"))
        facts.thousands = *thousands;
    return facts;
}

}  // namespace rd
