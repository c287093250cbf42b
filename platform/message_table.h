// The 64 message texts of the current language ("In code" section of a language file).
#pragma once

#include <array>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/language_facts.h"

namespace rd {

class IniFile;

class MessageTable {
public:
    static constexpr int kSlots = 65;
    // Texts for the slots a language file does not give; index 0 is not used.
    using Texts = std::array<std::string_view, kSlots + 1>;

    // Fills slots 1 to 63 from the "In code" section of the language file at `path`: slot n
    // from key "v" + n, a missing key leaving the slot empty. Returns false, leaving the table
    // as it was, when the file cannot be read.
    bool Load(const std::string& path);

    // Fills every slot from `file`; a slot the file does not give takes `fallback`'s text, or
    // none. A key given with an empty value empties its slot either way.
    void Fill(const IniFile& file, const Texts* fallback = nullptr);

    // Language text n (1 to 63); empty for other numbers. Safe from any thread, also while the
    // window thread fills the table anew.
    std::string Text(int n) const;

    // Whether the table was filled at least once.
    bool Filled() const;

    // The facts of the language the texts are in; English ones until set. Safe from any thread.
    void SetFacts(LanguageFacts facts);
    LanguageFacts Facts() const;

private:
    mutable std::mutex lock_;
    std::array<std::string, kSlots + 1> slots_;
    bool filled_ = false;
    LanguageFacts facts_;
};

}  // namespace rd
