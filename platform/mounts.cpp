#include "platform/mounts.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace rd::mounts {

namespace {

// Mount points escape blanks, tabs, newlines and backslashes as three octal digits.
std::string Unescape(std::string_view field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](size_t at, char high) {
            return at < field.size() && field[at] >= '0' && field[at] <= high;
        };
        if (field[i] == '\\' && octal(i + 1, '3') && octal(i + 2, '7') && octal(i + 3, '7')) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t at = 0;
    while (at < line.size()) {
        const size_t end = std::min(line.find(' ', at), line.size());
        if (end > at)
            fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return fields;
}

bool Holds(std::string_view point, std::string_view path) {
    if (point == "/")
        return true;
    return path.starts_with(point) && (path.size() == point.size() || path[point.size()] == '/');
}

// The lines of a mountinfo table: "id parent major:minor root point options [optional…] -
// type source super-options".
struct Line {
    std::string point;
    std::string_view type;
    std::string source;
};
template <typename Visit>
void EachLine(std::string_view mountinfo, Visit visit) {
    while (!mountinfo.empty()) {
        const size_t end = std::min(mountinfo.find('\n'), mountinfo.size());
        const std::vector<std::string_view> fields = Fields(mountinfo.substr(0, end));
        mountinfo.remove_prefix(std::min(end + 1, mountinfo.size()));
        size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-")
            ++dash;
        if (fields.size() < 5 || dash + 1 >= fields.size())
            continue;
        visit(Line{Unescape(fields[4]), fields[dash + 1],
                   dash + 2 < fields.size() ? Unescape(fields[dash + 2]) : std::string()});
    }
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string PointOf(std::string_view mountinfo, std::string_view source) {
    std::string point;
    EachLine(mountinfo, [&](const Line& line) {
        if (point.empty() && SameIgnoringCase(line.source, source))
            point = line.point;
    });
    return point;
}

std::string Table() {
    std::ifstream table("/proc/self/mountinfo");
    std::ostringstream text;
    if (table)
        text << table.rdbuf();
    return text.str();
}

namespace {

// The line of the mount that holds `realPath`; false when none does.
bool HolderOf(std::string_view mountinfo, std::string_view realPath, std::string& type,
              std::string& point, std::string& source) {
    size_t best = 0;
    bool found = false;
    EachLine(mountinfo, [&](const Line& line) {
        // Later lines mount over earlier ones at the same point.
        if (Holds(line.point, realPath) && (!found || line.point.size() >= best)) {
            best = line.point.size();
            type = std::string(line.type);
            point = line.point;
            source = line.source;
            found = true;
        }
    });
    return found;
}

}  // namespace

std::string TypeIn(std::string_view mountinfo, std::string_view realPath) {
    std::string type, point, source;
    HolderOf(mountinfo, realPath, type, point, source);
    return type;
}

std::string DeviceIn(std::string_view mountinfo, std::string_view realPath) {
    std::string type, point, source;
    if (!HolderOf(mountinfo, realPath, type, point, source))
        return {};
    const bool namesPlace = source.find_first_of("/:") != std::string::npos;
    return namesPlace ? source : point;
}

std::string TypeOf(const std::string& path) {
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real))
        return {};
    return TypeIn(Table(), real);
}

std::string DeviceOf(const std::string& path) {
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real))
        return path;
    const std::string device = DeviceIn(Table(), real);
    return device.empty() ? path : device;
}

}  // namespace rd::mounts
