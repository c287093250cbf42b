// The names a destination takes in place of the ones it refuses: look-alike characters for the
// refused ones, and a number for a name that its file system would take for another one.
#pragma once

#include <string>
#include <string_view>

namespace rd {

struct VolumeRules;

// `name` with every character `rules` refuses written as its full-width look-alike (":" as
// U+FF1A, "?" as U+FF1F, "*" as U+FF0A ...), a control character as its picture (U+2401 ...), a
// refused trailing dot as U+FF0E and a refused trailing space as U+2420; where only ASCII is
// taken, each of them and each character beyond ASCII as "_". A name the rules take comes back
// as it is.
std::string LookAlikeName(std::string_view name, const VolumeRules& rules);

// The key two names share when a file system that ignores case takes them for one: each
// letter in lower case (ASCII and the rest of Unicode as the C library's UTF-8 locale folds
// it). Bytes that are not UTF-8 are kept.
std::string FoldedName(std::string_view name);

// `name` with " (n)" before its extension ("photo.jpg" -> "photo (2).jpg"); a folder's name,
// or a name without an extension or only a leading dot, takes it at its end.
std::string NumberedName(std::string_view name, int n, bool folder);

}  // namespace rd
