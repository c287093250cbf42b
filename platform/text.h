// Text encodings and formatting shared by every layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rd::text {

// Converts UTF-8 to UTF-16. Bytes that are not valid UTF-8 become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
// The value of a hexadecimal digit, or -1 for any other character.
int HexDigit(char c);

// Converts UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Whether `utf8` is well-formed UTF-8: no stray or missing continuation bytes, no overlong
// forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view utf8);

// The length of the well-formed UTF-8 character that begins at byte `i` of `text` (1 to 4), or
// 0 when the bytes there are none.
size_t Utf8Length(std::string_view text, size_t i);

// `text` with the ASCII capitals A to Z in lower case; every other byte is kept.
std::string LowerAscii(std::string_view text);

// Splits the contents of a list file into its items. A literal list (platform/literal_list.h)
// gives its entries as they are. Data of at least three bytes that begins with the byte-order
// mark FF FE is UTF-16LE; anything else is 8-bit text (UTF-8 here), kept
// byte for byte. Lines end at a carriage return, and any run of carriage returns and line
// feeds after it is skipped; a line feed alone does not end a line. The last line counts even
// without a closing line break. Empty lines and lines beginning with a zero character are not
// items, and an item ends at its first zero character.
std::vector<std::string> SplitListFile(std::string_view data);

// `text` with every control character written as \xHH (C0 controls, DEL, and the C1 controls
// of UTF-8), so that a name printed on a terminal can never drive it.
std::string EscapeControls(std::string_view text);
// The same, and every byte that is not part of well-formed UTF-8 written as \xHH too, so that a
// terminal shows it instead of garbling the line around it.
std::string EscapeControlsAndBytes(std::string_view text);

// `line` kept on one line as coreutils' checksum lines are: a line that holds a backslash, a
// control character or a byte that is not UTF-8 begins with a backslash, and in it a backslash
// is written "\\", a line feed "\n", a carriage return "\r", a tab "\t" and any other such
// byte "\xHH".
std::string EscapeAsOneLine(std::string_view line);

// Writes a number with `separator` between groups of three digits: 1234567 -> "1,234,567".
std::string GroupThousands(uint64_t value, std::string_view separator = ",");

// printf-style formatting into a std::string. "%Li", "%Lu" and "%Ld" take a 64-bit integer,
// as the program's message formats write them.
std::string Format(const char* format, ...);

}  // namespace rd::text
