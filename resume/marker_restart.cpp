#include "resume/marker_restart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/fs.h"
#include "platform/literal_list.h"
#include "platform/paths.h"
#include "platform/private_folder.h"
#include "platform/text.h"
#include "resume/switch_tokens.h"

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

// Where a marker lies, and what was seen there before it is opened.
struct MarkerPlace {
    std::string folder;       // its folder with every link resolved, with a closing "/"
    std::string marker;       // folder + the marker's name
    std::string destination;  // the file beside it that it stands for; empty for none
    fs::FileId id;            // the marker as looked at
    MarkerFacts facts;
};

// Looks at the marker at `path` and around it, without opening it. 0, or the errno of a folder
// or a marker that is not there.
int LookAt(const std::string& path, MarkerPlace& place) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ENOENT;
    char* real = ::realpath(path.substr(0, slash + 1).c_str(), nullptr);
    if (!real)
        return errno;
    place.folder = real;
    std::free(real);
    if (place.folder.back() != '/')
        place.folder += '/';
    const std::string name = path.substr(slash + 1);
    place.marker = place.folder + name;
    struct stat seen {};
    struct stat folder {};
    if (::lstat(place.marker.c_str(), &seen) != 0 || ::stat(place.folder.c_str(), &folder) != 0)
        return errno;
    MarkerFacts& facts = place.facts;
    facts.user = ::geteuid();
    facts.link = S_ISLNK(seen.st_mode);
    facts.regular = S_ISREG(seen.st_mode);
    facts.owner = seen.st_uid;
    facts.folderMode = folder.st_mode;
    facts.folderOwner = folder.st_uid;
    place.id = {seen.st_dev, seen.st_ino};
    constexpr size_t kSuffixLength = sizeof kSuffix - 1;
    if (name.size() > kSuffixLength && name.ends_with(kSuffix)) {
        place.destination = place.folder + name.substr(0, name.size() - kSuffixLength);
        struct stat there {};
        if (::lstat(place.destination.c_str(), &there) == 0 && S_ISREG(there.st_mode)) {
            facts.destinationRegular = true;
            facts.destinationOwner = there.st_uid;
        }
    }
    return 0;
}

// True when JudgeMarker accepts the marker at `path`; else false with the reason in `error`.
bool Judged(const std::string& path, const MarkerPlace& place, const MarkerJob& job,
            std::string& error) {
    const std::string marker = "the resume marker " + path + " ";
    switch (JudgeMarker(place.facts)) {
        case MarkerVerdict::Accepted: return true;
        case MarkerVerdict::Link: error = marker + "is a symbolic link"; break;
        case MarkerVerdict::NotRegular: error = marker + "is not a regular file"; break;
        case MarkerVerdict::Replaced: error = marker + "was replaced while it was opened"; break;
        case MarkerVerdict::OtherOwner: error = marker + "belongs to another user"; break;
        case MarkerVerdict::OthersFolder:
            error = marker + "lies in a folder of another user";
            break;
        case MarkerVerdict::OpenFolder:
            error = marker + "lies in a folder that others can write to";
            break;
        case MarkerVerdict::SharedDestination:
            error = marker + "lies in a shared folder beside " + place.destination +
                    ", which belongs to another user";
            break;
        case MarkerVerdict::NotBeside:
            error = marker + "does not stand beside a copy of its source " + job.source;
            break;
        case MarkerVerdict::NoDestination:
            error = marker + "stands beside no copy of its source: " + place.destination +
                    " is missing or not a regular file";
            break;
    }
    return false;
}

}  // namespace

std::string EditMarkerSwitches(std::string switches) {
    std::string edited;
    bool listless = false;
    bool resumes = false;
    for (const std::string_view s : SwitchTokens(switches)) {
        if (s == "f" || s.starts_with("Lt") || s == "M" || s == "d" || s == "j" || s == "J")
            continue;
        listless = listless || s == "e";
        resumes = resumes || s == "u";
        edited += s;
    }
    if (!listless)
        edited += 'e';
    if (!resumes)
        edited += 'u';
    return edited;
}

bool MarkerMoves(const MarkerJob& job) {
    for (const std::string_view s : SwitchTokens(job.switches)) {
        if (s == "m")
            return true;
    }
    return false;
}

void CopyOnly(MarkerJob& job) {
    std::string copy;
    for (const std::string_view s : SwitchTokens(job.switches)) {
        if (s != "m")
            copy += s;
    }
    job.switches = copy;
}

MarkerVerdict JudgeMarker(const MarkerFacts& f) {
    if (f.link)
        return MarkerVerdict::Link;
    if (!f.regular)
        return MarkerVerdict::NotRegular;
    if (!f.openedIsLookedAt)
        return MarkerVerdict::Replaced;
    if (f.owner != f.user)
        return MarkerVerdict::OtherOwner;
    // The owner of a folder can rename and replace whatever lies in it.
    if (f.folderOwner != f.user && f.folderOwner != 0)
        return MarkerVerdict::OthersFolder;
    if (f.folderMode & (S_IWGRP | S_IWOTH)) {
        // Without the sticky bit anyone who can write there can replace the marker; with it,
        // others can still place a destination of their own beside a marker of the user's.
        if (!(f.folderMode & S_ISVTX))
            return MarkerVerdict::OpenFolder;
        if (f.destinationRegular && f.destinationOwner != f.user)
            return MarkerVerdict::SharedDestination;
    }
    if (!f.namedAfterSource)
        return MarkerVerdict::NotBeside;
    if (!f.destinationRegular)
        return MarkerVerdict::NoDestination;
    return MarkerVerdict::Accepted;
}

bool ReadResumeMarker(const std::string& given, MarkerJob& job, std::string& error) {
    const std::string path =
        given.empty() || given[0] == '/' ? given : fs::CurrentFolder() + "/" + given;
    MarkerPlace place;
    if (const int failed = LookAt(path, place)) {
        error = "cannot open the resume marker " + path + ": " + std::strerror(failed);
        return false;
    }
    MarkerFacts& facts = place.facts;
    if (!facts.regular)
        return Judged(path, place, job, error);
    const int fd = ::open(place.marker.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
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
    facts.openedIsLookedAt = st.st_dev == place.id.device && st.st_ino == place.id.inode;
    if (!facts.openedIsLookedAt)
        return Judged(path, place, job, error);
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
    job.folder = place.folder;
    const std::string name = place.marker.substr(job.folder.size());
    const std::string sourceName = job.source.substr(job.source.rfind('/') + 1);
    if (job.source.empty() || job.source[0] != '/') {
        error = "the resume marker " + path + " names a source that cannot be restarted: \"" +
                job.source + "\"";
        return false;
    }
    facts.namedAfterSource = name == sourceName + kSuffix;
    return Judged(path, place, job, error);
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
