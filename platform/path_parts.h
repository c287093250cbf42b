// Splitting paths into their folder and name parts.
#pragma once

#include <string>
#include <string_view>

namespace rd {

// The folder part of `path` up to and including its last "/"; `path` itself when it has none.
inline std::string DirPart(std::string_view path) {
    auto pos = path.rfind('/');
    if (pos == std::string_view::npos)
        return std::string(path);
    return std::string(path.substr(0, pos + 1));
}

// The part of `path` after its last "/"; `path` itself when it has none.
inline std::string NamePart(std::string_view path) {
    auto pos = path.rfind('/');
    if (pos == std::string_view::npos)
        return std::string(path);
    return std::string(path.substr(pos + 1));
}

// `path` with "." components and repeated "/" dropped and each ".." taking away the component
// before it, read from the text alone (links are not looked up); no trailing "/" but on "/"
// itself. A relative path stays relative; ".." that climbs above its start is kept, and ".."
// above "/" is "/". An empty path stays empty.
std::string NormalizePath(std::string_view path);

}  // namespace rd
