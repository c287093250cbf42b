// An initialisation file, as language files are written: "[Section]" lines, then "key=value"
// lines. Section and key names are matched without regard to case; a value is the rest of its
// line after the first "=". Whatever a file gets wrong is left out line by line, never fatal:
// the caller then keeps its own text for what is missing.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rd {

class IniFile {
public:
    // A larger file is not read at all; a longer line is left out.
    static constexpr size_t kMaxFileBytes = 16u << 20;
    static constexpr size_t kMaxLineBytes = 4096;

    // Reads the file at `path`: false, leaving the contents empty, when it is not a readable
    // regular file of at most kMaxFileBytes.
    bool Read(const std::string& path);

    // Takes the file's bytes. UTF-8 (a byte-order mark is dropped) and UTF-16 with a byte-order
    // mark are understood. Left out: lines before the first section, lines without "=", lines
    // longer than kMaxLineBytes, lines holding a NUL byte or text that is not UTF-8, and every
    // repeat of a key already given in its section (the first one counts). Lines beginning with
    // ";" are comments. Blanks around section and key names do not count; values are kept
    // exactly, up to a carriage return that ends the line.
    void Parse(std::string_view bytes);

    // The value of `key` in `section`, or nothing when the file does not give one; a key given
    // with nothing after its "=" has the empty value.
    std::optional<std::string_view> Value(std::string_view section, std::string_view key) const;

    // Every section and key the file gives, as the file spells them, in file order.
    const std::vector<std::pair<std::string, std::string>>& Keys() const { return keys_; }

private:
    // Lower-cased section name, then lower-cased key name.
    std::map<std::string, std::map<std::string, std::string>, std::less<>> sections_;
    std::vector<std::pair<std::string, std::string>> keys_;
};

}  // namespace rd
