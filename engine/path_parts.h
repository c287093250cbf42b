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

}  // namespace rd
