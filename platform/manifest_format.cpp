#include "platform/manifest_format.h"

#include <cctype>

namespace rd {

namespace {

bool IsHex(std::string_view text) {
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return !text.empty();
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The path with its escapes undone; false for an escape coreutils does not write.
bool Unescape(std::string_view escaped, std::string& path) {
    path.clear();
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\') {
            path += escaped[i];
            continue;
        }
        if (++i == escaped.size())
            return false;
        switch (escaped[i]) {
            case '\\': path += '\\'; break;
            case 'n': path += '\n'; break;
            case 'r': path += '\r'; break;
            default: return false;
        }
    }
    return true;
}

// Why `path` may not be read for a manifest in its folder; empty when it may.
std::string Outside(std::string_view path) {
    if (path.empty())
        return "no path";
    if (path.front() == '/')
        return "an absolute path";
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = path.find('/', start);
        const std::string_view part = path.substr(
            start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (part == "..")
            return "a path that reaches outside the manifest's folder";
        if (slash == std::string_view::npos)
            break;
        start = slash + 1;
    }
    return {};
}

// Reads one line (without its line feed) into `entry`; the reason it cannot be read, or empty.
std::string ReadLine(std::string_view line, size_t hexLength, ManifestEntry& entry) {
    if (line.size() > kMaxManifestLine)
        return "a line longer than 64 KiB";
    if (line.find('\0') != std::string_view::npos)
        return "a NUL byte";
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const bool escaped = !line.empty() && line.front() == '\\';
    if (escaped)
        line.remove_prefix(1);
    if (line.size() < hexLength + 3 || !IsHex(line.substr(0, hexLength)) ||
        line[hexLength] != ' ' || (line[hexLength + 1] != ' ' && line[hexLength + 1] != '*'))
        return "not a checksum line";
    const std::string_view name = line.substr(hexLength + 2);
    std::string path(name);
    if (escaped && !Unescape(name, path))
        return "an escape that is not \\\\, \\n or \\r";
    if (std::string why = Outside(path); !why.empty())
        return why;
    entry.hash = Lower(line.substr(0, hexLength));
    entry.path = std::move(path);
    return {};
}

}  // namespace

std::string ManifestLine(std::string_view hexHash, std::string_view relativePath) {
    std::string path;
    bool escaped = false;
    for (const char c : relativePath) {
        if (c == '\\' || c == '\n' || c == '\r') {
            escaped = true;
            path += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : "\\r";
        } else {
            path += c;
        }
    }
    return (escaped ? "\\" : "") + std::string(hexHash) + "  " + path + "\n";
}

ManifestReading ReadManifest(std::string_view text, size_t hexLength) {
    ManifestReading reading;
    if (text.size() > kMaxManifestBytes) {
        reading.refused = "larger than 1 GiB";
        return reading;
    }
    size_t number = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        const std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        start = end == std::string_view::npos ? text.size() : end + 1;
        ++number;
        if (line.empty() || line == "\r")
            continue;
        ManifestEntry entry;
        entry.line = number;
        if (std::string why = ReadLine(line, hexLength, entry); !why.empty())
            reading.skipped.push_back({number, std::move(why)});
        else
            reading.entries.push_back(std::move(entry));
    }
    return reading;
}

}  // namespace rd
