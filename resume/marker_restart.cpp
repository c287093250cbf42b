#include "resume/marker_restart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/fs.h"
#include "platform/literal_list.h"
#include "platform/paths.h"
#include "platform/private_folder.h"
#include "platform/text.h"

namespace rd {

namespace {

constexpr char kSuffix[] = ".RedoDori";
constexpr size_t kMostText = 8160;

// The next NUL-terminated UTF-16LE string of `units` from `at`, as UTF-8.
std::string NextString(const std::u16string& units, size_t& at) {
    const size_t end = std::min(units.find(u'\0', at), units.size());
    std::string out = text::Utf16ToUtf8(std::u16string_view(units).substr(at, end - at));
    at = end + 1;
    return out;
}

}  // namespace

std::string EditMarkerSwitches(std::string switches) {
    if (const size_t f = switches.find('f'); f != std::string::npos)
        switches.erase(f, 1);
    for (size_t lt = switches.find("Lt"); lt != std::string::npos; lt = switches.find("Lt", lt)) {
        size_t end = lt + 2;
        while (end < switches.size() && switches[end] >= '0' && switches[end] <= '9')
            ++end;
        switches.erase(lt, end - lt);
    }
    if (switches.find('e') == std::string::npos)
        switches += 'e';
    if (switches.find('u') == std::string::npos)
        switches += 'u';
    return switches;
}

bool ReadResumeMarker(const std::string& given, MarkerJob& job, std::string& error) {
    const std::string path =
        given.empty() || given[0] == '/' ? given : fs::CurrentFolder() + "/" + given;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open the resume marker " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    std::string bytes(kMostText, '\0');
    ssize_t got = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 8)
        got = ::pread(fd, bytes.data(), bytes.size(), 8);
    const int readError = errno;
    ::close(fd);
    if (!S_ISREG(st.st_mode)) {
        error = "the resume marker " + path + " is not a regular file";
        return false;
    }
    if (st.st_size <= 8) {
        error = "the resume marker " + path + " holds 8 bytes or less: no file to restart";
        return false;
    }
    if (got < 0) {
        error = "cannot read the resume marker " + path + ": " + std::strerror(readError);
        return false;
    }
    std::u16string units;
    for (ssize_t i = 0; i + 1 < got; i += 2)
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              static_cast<unsigned char>(bytes[i + 1]) << 8));
    size_t at = 0;
    job.source = NextString(units, at);
    job.switches = EditMarkerSwitches(at < units.size() ? NextString(units, at) : std::string());
    job.folder = path.substr(0, path.rfind('/') + 1);
    const std::string name = path.substr(job.folder.size());
    const std::string sourceName = job.source.substr(job.source.rfind('/') + 1);
    if (job.source.empty() || job.source[0] != '/') {
        error = "the resume marker " + path + " names a source that cannot be restarted: \"" +
                job.source + "\"";
        return false;
    }
    if (name != sourceName + kSuffix) {
        error = "the resume marker " + path + " does not stand beside a copy of its source " +
                job.source;
        return false;
    }
    return true;
}

bool MarkerJobLine(const MarkerJob& job, std::string& line, std::vector<std::string>& lists,
                   std::string& error) {
    const std::string folder = paths::StateDir();
    const std::string stem = "marker-" + std::to_string(::getpid());
    const auto write = [&](std::string_view suffix, const std::string& entry) {
        const std::string list =
            fs::CreateListFile(folder, stem, suffix, text::LiteralListBytes({entry}), error);
        if (!list.empty())
            lists.push_back(list);
        return list;
    };
    // The lists are the program's own: the job takes its source from one (no "e"), its folder
    // from the other only when it is written (no "f" but the one added below), and removes them
    // once read (no "x").
    std::string switches;
    for (size_t i = 0; i < job.switches.size(); ++i) {
        // "L", its type letter and digits stay whole: the letter is no switch of its own.
        if (job.switches[i] == 'L') {
            size_t end = std::min(i + 2, job.switches.size());
            while (end < job.switches.size() && job.switches[end] >= '0' &&
                   job.switches[end] <= '9')
                ++end;
            switches += job.switches.substr(i, end - i);
            i = end - 1;
        } else if (job.switches[i] != 'e' && job.switches[i] != 'f' && job.switches[i] != 'x') {
            switches += job.switches[i];
        }
    }
    // "|" would end a field.
    if (folder.find('|') != std::string::npos) {
        error = "the list folder " + folder + " holds a '|', so " + job.source +
                " cannot be named to the job";
        return false;
    }
    const std::string sourceList = write(".lst", job.source);
    if (sourceList.empty())
        return false;
    std::string target = text::InlineTargetField({job.folder}, switches).value_or("");
    if (target.empty()) {
        target = write(".dst", job.folder);
        if (target.empty())
            return false;
        switches += 'f';
        if (!text::TargetFieldKeepsProfile(target, switches)) {
            error = "the list folder " + folder + " holds a 'q' that the job would read as " +
                    "its profile, so " + job.folder + " cannot be named to the job";
            return false;
        }
    }
    line = "|" + sourceList + "|" + target + "|" + switches;
    return true;
}

}  // namespace rd
