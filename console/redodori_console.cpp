// redodori-console: runs one RedoDori job from a terminal or a script. It starts the program
// with its own thread endpoint on the job line, prints what the job sends, passes keys to the
// job's questions and buttons, and ends with the job's final status.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "console/console_screen.h"
#include "console/rate_limit.h"
#include "console/share_login.h"
#include "platform/bus.h"
#include "platform/console_packet.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "platform/literal_list.h"
#include "platform/smb_credentials.h"
#include "platform/smb_url.h"
#include "platform/text.h"
#include "settings/store_keys.h"

extern char** environ;

namespace {

constexpr char kName[] = "redodori-console";
constexpr char kProgram[] = "redodori";
constexpr char kWindowClass[] = "TRedoDoriWnd";

constexpr uint32_t kWmQuit = 18;
constexpr uint32_t kWmuControl = 2238;
constexpr uint32_t kWmuCommand = 2239;
constexpr uint64_t kKeyCommand = 2;

constexpr int64_t kControlAbort = 1;
constexpr int64_t kControlSkip = 2;
constexpr int64_t kControlPause = 3;
// Save the job for resume, then abort (programs that do not know it ignore it).
constexpr int64_t kControlSaveAndAbort = 4;

// Exit statuses, for scripts.
constexpr int kDone = 0;         // all done, or handed to a running job
constexpr int kWithSkips = 1;    // done, with skips or failures
constexpr int kAborted = 2;      // aborted, or left running with a second Ctrl+C
constexpr int kNothingToDo = 3;  // a command line not understood, or no job that could run
constexpr int kError = 4;        // the wrapper or the program failed

// The program's final status when an error it did not expect ended it.
constexpr int64_t kUnexpectedError = 3;

// The program's final status (WM_QUIT) and the result it sent before it, as an exit status.
int ExitStatus(int64_t finalStatus, const std::optional<std::string>& result) {
    switch (finalStatus) {
        case 0:
            if (!result || *result == "done")
                return kDone;
            return *result == "nothing" ? kNothingToDo : kWithSkips;
        case 1: return kAborted;
        case 2: return kDone;
        default: return kError;
    }
}

constexpr int kTickMs = 200;
constexpr auto kChildGrace = std::chrono::seconds(10);

const char kUsage[] =
    "Usage: redodori-console [OPTIONS] SOURCE... DESTINATION\n"
    "   or: redodori-console [OPTIONS] --to DIR [--to DIR]... SOURCE...\n"
    "   or: redodori-console [OPTIONS] --delete SOURCE...\n"
    "   or: redodori-console [OPTIONS] --check MANIFEST...\n"
    "   or: redodori-console --raw LINE\n"
    "\n"
    "Runs one RedoDori job from a terminal or a script: copies the SOURCE files and folders\n"
    "into the destination folders (or moves, deletes or links them), shows the job's messages\n"
    "and progress here and asks its questions here. Relative paths are taken from the current\n"
    "folder. Options may stand anywhere; \"--\" ends them. Later options win over earlier ones.\n"
    "A path starting with smb:// is a network share's address, never a local path: a\n"
    "destination or source smb://[user@]host[:port]/share/folder is written or read straight\n"
    "through the server, logged on with --credentials; without it, when the server wants a\n"
    "login and stdin is a terminal, the user name and password are asked there (three tries;\n"
    "else as a guest). A share's files are copied or moved, never deleted or linked.\n"
    "\n"
    "As with cp, the destination is a folder: when it does not exist the job creates it (and\n"
    "says so); a destination that is a file is refused, and so is a single file given a new\n"
    "name (the job copies into folders and never renames: write the name with a trailing '/'\n"
    "to make it a new folder). Folders are always copied whole, with their times and modes:\n"
    "-r, -R and -a are accepted and change nothing.\n"
    "\n"
    "Destinations:\n"
    "  --to DIR             a destination folder; repeat it for several destinations. With\n"
    "                       --to every path is a source; without it the last path is the\n"
    "                       destination.\n"
    "\n"
    "What to do:\n"
    "  --move               move: copy, then remove the sources\n"
    "  --delete             delete the sources (no destination)\n"
    "  --link               hard-link each file instead of copying it (folders are created)\n"
    "  --link-tree          link each source into each destination: a file as a hard link,\n"
    "                       a folder as a symbolic link; nothing is copied\n"
    "  --check              the paths are checksum manifests (.sha256, .sha512, .sha1, .md5\n"
    "                       as sha256sum and the others write them, .xxh128 as xxhsum -H2):\n"
    "                       every file a manifest lists is read from the disk, not from the\n"
    "                       system cache, and its hash compared; no destination. Only files\n"
    "                       below a manifest's folder are read. A check cut short (aborted,\n"
    "                       killed, a power loss) goes on where it stopped when the same\n"
    "                       manifests are checked again. Exit status: 0 all good; 1 files\n"
    "                       mismatched, missing or unreadable, or lines skipped; 2 aborted;\n"
    "                       3 a manifest that cannot be used\n"
    "\n"
    "Existing files:\n"
    "  --overwrite          overwrite them\n"
    "  --skip-existing      skip them\n"
    "  --rename-old         rename the existing file, then copy\n"
    "  --resume             continue a partial destination file where possible\n"
    "  --overwrite-older    overwrite an existing file that is older than the new one\n"
    "                       (give it after the three above)\n"
    "\n"
    "  Without one of these, the stored setting applies (by default: ask).\n"
    "\n"
    "Names, sizes and links the destinations cannot take (a name with ':' on a FAT stick,\n"
    "README beside readme where case is ignored, a file over the largest size, a symbolic\n"
    "link, more than the free room), found before the first byte is copied:\n"
    "  --names=rename       rename the names the destination refuses or folds together;\n"
    "                       skip the rest of them\n"
    "  --names=skip         leave them all out\n"
    "  --names=ask          ask once for the whole job\n"
    "\n"
    "  Without it, the stored setting applies (by default: ask).\n"
    "\n"
    "Checksums:\n"
    "  --manifest[=xxh128|sha256]\n"
    "                       write a manifest of every copied file beside each destination\n"
    "                       (sha256sum -c or xxhsum -c can check it later); without a\n"
    "                       value: xxh128\n"
    "  --no-manifest        write none\n"
    "\n"
    "  Without them, the stored setting applies (by default: none).\n"
    "\n"
    "Errors:\n"
    "  --retry              retry a failing operation\n"
    "  --skip-errors        skip a file whose operation fails\n"
    "  --give-up-after      stop retrying after the retry time of the settings (skdel, in\n"
    "                       ms) and skip the file\n"
    "\n"
    "  Without one of these, the stored setting applies (by default: ask).\n"
    "\n"
    "Copying:\n"
    "  --verify             check every block read and written\n"
    "  --no-verify          no checks\n"
    "  --limit RATE         speed limit in bytes per second with its unit, such as 500K,\n"
    "                       8M or 1G (K, M and G are powers of 1024: KiB/s, MiB/s, GiB/s);\n"
    "                       0 or none: no limit. The job limits in steps: 16, 32, 128,\n"
    "                       256, 512 KiB/s, 1, 2, 4, 8, 16 MiB/s, and the same steps in\n"
    "                       bytes per second below 16 KiB/s. A rate between two steps\n"
    "                       runs at the step below it, a rate above 16 MiB/s without a\n"
    "                       limit; either is said before the job starts. A number without\n"
    "                       a unit is refused.\n"
    "  --limit-step N       speed limit as the index 0-10 of the unit's steps (10: no\n"
    "                       limit), as the job line's L switch: kbps: 16 32 128 256 512\n"
    "                       1024 2048 4096 8192 16384 KiB/s; percent: 10 20 30 40 50 60\n"
    "                       70 80 90 95 %; bps: as kbps in B/s\n"
    "  --limit-unit UNIT    the unit of --limit-step: kbps (the default), percent or bps\n"
    "  --buffer N           buffer size index 0-10: 512 bytes, 4K, 32K, 128K, 256K, 512K,\n"
    "                       1M, 2M, 4M, 16M, 32M\n"
    "  --burst              read and write without the system cache\n"
    "  --reserve            reserve the free space of each file before writing it\n"
    "  --no-times           do not keep the modification times\n"
    "  --paused             start the job paused (press p to start it)\n"
    "  --profile local|network  use the settings of this profile (default: local)\n"
    "  --no-window          the job's windows stay hidden (no progress window)\n"
    "  --credentials FILE   the user, password and domain for network shares, in smbclient's\n"
    "                       authentication file format ('username = ', 'password = ',\n"
    "                       'domain = ' lines); the file must be yours and private (chmod 600)\n"
    "  Parallel reading and writing has no option: it comes from the settings, e.g.\n"
    "    redodori-reg set-int 'SOFTWARE\\DiraRedi\\RedoDori\\local' parcopy 1\n"
    "\n"
    "Other jobs:\n"
    "  --attach             hand the sources to a job that is already running, if any\n"
    "  --wait               wait until no other job runs, then start\n"
    "\n"
    "  --raw LINE           run the job line LINE as given ('|SOURCE|TARGET|SWITCHES', see\n"
    "                       redodori --help); the wrapper adds its own switch to it. No\n"
    "                       other option or path goes with it.\n"
    "\n"
    "Interrupted jobs (resume on crash, or saved with x):\n"
    "  --resume-list        list the stored jobs: number, time, sources, destinations,\n"
    "                       and whether they resume by themselves at login\n"
    "  --resume N           resume stored job N here, showing its progress like any job\n"
    "                       (alone on the line; with paths --resume is the option above)\n"
    "\n"
    "Output:\n"
    "  -q, --quiet          no progress line and no \"File:\" lines: questions, problems and\n"
    "                       the summary only\n"
    "  -v, --verbose        also the settings the job runs with\n"
    "  --help               show this text\n"
    "  --version            show the version\n"
    "On a terminal the progress line (done, size, speed, elapsed and remaining time) is\n"
    "redrawn in place and never over a question; elsewhere it is left out. The summary comes\n"
    "last, with the elapsed time and the average speed, which never exceeds the limit;\n"
    "speeds are in powers of 1024 (KiB/s, MiB/s) as --limit takes them. Control characters\n"
    "and bytes that are not UTF-8 in names are shown as \\xHH.\n"
    "\n"
    "Keys while the job runs:\n"
    "  p or space           pause or resume\n"
    "  s                    skip the current file\n"
    "  a                    abort the job\n"
    "  x                    save the job for resume, then abort (the resume manager or\n"
    "                       the stored command finishes it later)\n"
    "  Ctrl+C               abort the job; a second Ctrl+C leaves at once and lets the job\n"
    "                       go on\n"
    "Keys when the job asks (the letter is shown in brackets in the question):\n"
    "  error:               a abort, h bypass unreadable regions (when offered), r retry,\n"
    "                       e retry all, s skip this file, k skip all\n"
    "  existing file:       a abort, r resume and u resume all (when offered), o overwrite,\n"
    "                       e overwrite all, s skip this file, k skip all, n rename the old\n"
    "                       file (this one; when offered), m rename all\n"
    "  names:               r rename, s skip those, a abort\n"
    "Input from a pipe is read as it arrives, like typed keys: write an answer once its\n"
    "question has appeared. Line breaks and spaces are not answers. Once standard input has\n"
    "ended, questions are answered with s (skip), as the program does when no one can be\n"
    "asked.\n"
    "\n"
    "Keys typed ahead while a question waits (say a wrong key and then the right one) answer\n"
    "it and the questions after it in turn.\n"
    "\n"
    "The program is $REDODORI when set, else redodori beside this wrapper, else redodori on\n"
    "the PATH. Without a DISPLAY or WAYLAND_DISPLAY that can be reached it runs with\n"
    "QT_QPA_PLATFORM=offscreen.\n"
    "The sources go to the program in a literal list redodori-console-<pid>.lst in $TMPDIR\n"
    "(else /tmp), which the program removes once read: every name is taken as it is\n"
    "written, never as a pattern ('*') and never split ('?', line breaks). Destinations\n"
    "whose names the job line cannot carry ('?', '|', 'q') go the same way in\n"
    "redodori-console-<pid>.dst.\n"
    "\n"
    "Exit status: 0 everything was done (or the job was handed to a running one); 1 done,\n"
    "with skips or failures (each named at the end); 2 aborted, or left running with a\n"
    "second Ctrl+C; 3 the command line was not understood, or there was no job the program\n"
    "could run (an empty or unreadable list, no destination); 4 the program failed (it\n"
    "could not be started, an unexpected error ended it, or it ended without a final\n"
    "status).\n";

// ---------------------------------------------------------------------------------------------
// Messages

void WriteAll(int fd, std::string_view text, bool& broken) {
    while (!broken && !text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            broken = true;
            return;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
}

// The job's text goes to stdout through the screen, which draws the progress line in place on
// a terminal and leaves it out elsewhere; the wrapper's own notes go to stderr on a line of
// their own.
class Output {
public:
    void Configure(const rd::ConsoleScreenOptions& options) {
        screen_ = rd::ConsoleScreen(options);
    }

    void Job(std::string_view text) { Write(screen_.Text(text)); }

    // A question waits for its answer, or no longer.
    void Question(bool open) { screen_.QuestionOpen(open); }

    void JobEnded() { screen_.JobEnded(); }

    // Names in a note are shown as the job's lines show them.
    void Note(const std::string& text) {
        bool ignored = false;
        Write(screen_.CloseLine());
        WriteAll(STDERR_FILENO,
                 std::string(kName) + ": " + rd::text::EscapeControlsAndBytes(text) + "\n",
                 ignored);
    }

    // The last line is ended, so that the shell's prompt starts clean.
    void Finish() { Write(screen_.CloseLine()); }

private:
    void Write(const std::string& bytes) { WriteAll(STDOUT_FILENO, bytes, stdoutBroken_); }

    rd::ConsoleScreen screen_{rd::ConsoleScreenOptions{}};
    bool stdoutBroken_ = false;
};

Output out;

int Usage(const std::string& problem) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kName, problem.c_str(), kName);
    return kNothingToDo;
}

// ---------------------------------------------------------------------------------------------
// Command line

struct Request {
    std::string switches;
    std::vector<std::string> paths;
    std::vector<std::string> to;
    std::optional<std::string> raw;
    bool jobOption = false;  // any option that shapes the job, which --raw does not take
    bool del = false;
    bool move = false;
    bool link = false;
    // The paths are checksum manifests whose files the job checks.
    bool check = false;
    bool quiet = false;
    bool verbose = false;
    // What the wrapper says about the options before the job starts.
    std::vector<std::string> notes;
    // The destination is the last path, as with cp, rather than given with --to.
    bool lastPathIsDestination = false;
    // The file --credentials named, checked; the program reads it for the shares it writes to.
    std::optional<std::string> credentialsFile;
};

struct FlagOption {
    const char* name;
    const char* switches;
};

constexpr FlagOption kFlagOptions[] = {
    {"move", "m"},          {"delete", "M"},      {"verify", "v"},
    {"no-verify", "V"},     {"overwrite", "w"},   {"skip-existing", "k"},
    {"rename-old", "o"},    {"resume", "u"},      {"overwrite-older", "i"},
    {"retry", "r"},         {"skip-errors", "s"}, {"give-up-after", "h"},
    {"no-times", "c"},      {"paused", "p"},      {"reserve", "z"},
    {"burst", "t"},         {"attach", "g"},      {"wait", "G"},
    {"link", "J"},          {"link-tree", "j"},   {"no-window", "n"},
    {"no-manifest", "Lh0"},
    {"check", "K"},
};

// cp's and rsync's "-r", "-R" and "-a" (alone or together): the job always goes down into
// folders and keeps times and modes.
bool CopyHabit(std::string_view arg) {
    return arg.size() > 1 && arg[0] == '-' &&
           arg.find_first_not_of("rRa", 1) == std::string_view::npos;
}

std::optional<int> Index(std::string_view text) {
    int value = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > 10)
        return std::nullopt;
    return value;
}

enum class Parsed { kRun, kHelp, kVersion, kBad };

// The speed limit as the options give it; it becomes a switch once every option is read, since
// --limit-unit may come before or after --limit-step. The later of --limit and --limit-step
// wins.
struct LimitRequest {
    rd::LimitChoice rate;     // from --limit
    std::optional<int> step;  // from --limit-step
    std::string unit;
};

const FlagOption* FindFlag(std::string_view name) {
    for (const FlagOption& option : kFlagOptions) {
        if (name == option.name)
            return &option;
    }
    return nullptr;
}

// The options that take a value, given after "=" or as the next argument.
bool TakesValue(std::string_view name) {
    return name == "to" || name == "limit" || name == "limit-step" || name == "limit-unit" ||
           name == "buffer" || name == "profile" || name == "names" || name == "raw" ||
           name == "credentials";
}

// The helpers below return false once they have told the problem.

bool ApplyFlag(const FlagOption& flag, const std::string& name, bool hasValue, Request& request) {
    if (hasValue) {
        Usage("option '--" + name + "' takes no value");
        return false;
    }
    request.switches += flag.switches;
    request.jobOption = true;
    request.del |= name == "delete";
    request.move |= name == "move";
    request.link |= name == "link" || name == "link-tree";
    request.check |= name == "check";
    return true;
}

bool ApplyValueOption(const std::string& name, const std::string& value, Request& request,
                      LimitRequest& limit) {
    if (name == "raw") {
        request.raw = value;
        return true;
    }
    request.jobOption = true;
    if (name == "to") {
        request.to.push_back(value);
    } else if (name == "credentials") {
        rd::smb::Credentials credentials;
        std::string problem;
        if (!rd::smb::ReadCredentialsFile(value, credentials, problem)) {
            Usage(problem);
            return false;
        }
        request.credentialsFile = value;
    } else if (name == "limit") {
        limit.rate = rd::ChooseLimit(value);
        limit.step.reset();
        if (!limit.rate.problem.empty()) {
            Usage(limit.rate.problem);
            return false;
        }
    } else if (name == "limit-step") {
        limit.step = Index(value);
        limit.rate = {};
        if (!limit.step) {
            Usage("--limit-step takes a step index from 0 to 10, not '" + value + "'");
            return false;
        }
    } else if (name == "limit-unit") {
        if (value != "kbps" && value != "percent" && value != "bps") {
            Usage("--limit-unit takes kbps, percent or bps, not '" + value + "'");
            return false;
        }
        limit.unit = value;
    } else if (name == "buffer") {
        const std::optional<int> buffer = Index(value);
        if (!buffer) {
            Usage("--buffer takes an index from 0 to 10, not '" + value + "'");
            return false;
        }
        request.switches += "Lb" + std::to_string(*buffer);
    } else if (name == "names") {
        const int choice = value == "ask" ? 0 : value == "rename" ? 1 : value == "skip" ? 2 : -1;
        if (choice < 0) {
            Usage("--names takes rename, skip or ask, not '" + value + "'");
            return false;
        }
        request.switches += "Ln" + std::to_string(choice);
    } else if (value == "local" || value == "network") {
        // The program reads the profile from the first "q" after the source field, so the
        // profile switch leads the switch field.
        request.switches.insert(0, value == "local" ? "q2" : "q1");
    } else {
        Usage("--profile takes local or network, not '" + value + "'");
        return false;
    }
    return true;
}

// --manifest takes its value only after "=": the next argument is a path.
bool ApplyManifest(const std::optional<std::string>& value, Request& request) {
    const std::string kind = value.value_or("xxh128");
    if (kind != "xxh128" && kind != "sha256") {
        Usage("--manifest takes xxh128 or sha256, not '" + kind + "'");
        return false;
    }
    request.switches += kind == "xxh128" ? "Lh1" : "Lh2";
    request.jobOption = true;
    return true;
}

// One option other than --help and --version; a value taken from the next argument moves `i`
// past it.
bool ParseOption(const std::string& arg, int argc, char** argv, int& i, Request& request,
                 LimitRequest& limit) {
    if (CopyHabit(arg))
        return true;
    if (arg == "--quiet" || arg == "-q" || arg == "--verbose" || arg == "-v") {
        (arg == "--quiet" || arg == "-q" ? request.quiet : request.verbose) = true;
        return true;
    }
    if (arg.compare(0, 2, "--") != 0) {
        Usage("unknown option '" + arg + "'");
        return false;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> inlineValue;
    if (const size_t eq = name.find('='); eq != std::string::npos) {
        inlineValue = name.substr(eq + 1);
        name.resize(eq);
    }
    if (const FlagOption* flag = FindFlag(name))
        return ApplyFlag(*flag, name, inlineValue.has_value(), request);
    if (name == "manifest")
        return ApplyManifest(inlineValue, request);
    if (!TakesValue(name)) {
        Usage(name == "parallel"
                  ? "there is no option '--parallel': parallel reading and writing comes "
                    "from the settings (see --help)"
                  : "unknown option '" + arg + "'");
        return false;
    }
    if (!inlineValue && i + 1 >= argc) {
        Usage("option '--" + name + "' needs a value");
        return false;
    }
    const std::string value = inlineValue ? *inlineValue : argv[++i];
    return ApplyValueOption(name, value, request, limit);
}

bool ApplyLimit(const LimitRequest& limit, Request& request) {
    if (!limit.unit.empty() && !limit.step) {
        Usage(limit.rate.switches.empty() ? "--limit-unit goes with --limit-step"
                                          : "--limit-unit goes with --limit-step, not with a rate");
        return false;
    }
    if (limit.step) {
        const char type = limit.unit == "percent" ? 'p' : limit.unit == "bps" ? 'c' : 'k';
        request.switches += std::string("L") + type + std::to_string(*limit.step);
    }
    request.switches += limit.rate.switches;
    if (!limit.rate.note.empty())
        request.notes.push_back(limit.rate.note);
    return true;
}

// The checks that need the whole command line; without --to the last path is the destination.
Parsed CheckRequest(Request& request) {
    if (request.raw) {
        if (request.jobOption || !request.paths.empty()) {
            Usage("--raw takes no other option and no path");
            return Parsed::kBad;
        }
        return Parsed::kRun;
    }
    if (request.check) {
        if (request.del || request.move || request.link || !request.to.empty()) {
            Usage("--check takes manifests only: no destination, and no --move, --delete or link");
            return Parsed::kBad;
        }
        if (request.paths.empty()) {
            Usage("no manifest given to --check");
            return Parsed::kBad;
        }
        return Parsed::kRun;
    }
    if (request.del && (request.move || request.link)) {
        Usage("--delete goes with neither --move nor a link option");
        return Parsed::kBad;
    }
    if (request.del && !request.to.empty()) {
        Usage("--delete takes no destination");
        return Parsed::kBad;
    }
    if (!request.del && request.to.empty()) {
        if (request.paths.size() < 2) {
            Usage(request.paths.empty() ? "no source and no destination given"
                                        : "no destination given (the last path is the "
                                          "destination, or use --to)");
            return Parsed::kBad;
        }
        request.to.push_back(request.paths.back());
        request.paths.pop_back();
        request.lastPathIsDestination = true;
    }
    if (request.paths.empty()) {
        Usage("no source given");
        return Parsed::kBad;
    }
    return Parsed::kRun;
}

// An smb:// address is never taken for a relative local path: it must be a usable address, and
// a share's files are copied or moved, never deleted or linked from here.
bool RefuseShareAddresses(const Request& request) {
    const size_t count = request.paths.size() + request.to.size();
    for (size_t i = 0; i < count; ++i) {
        const bool listed = i < request.paths.size();
        const std::string& path = listed ? request.paths[i] : request.to[i - request.paths.size()];
        if (!rd::smb::IsUrl(path))
            continue;
        // Without --to the last path is the destination.
        const bool destination =
            !listed || (request.to.empty() && !request.del && i + 1 == request.paths.size());
        std::string problem;
        if (!rd::smb::ParseUrl(path, problem))
            Usage("'" + path + "' is not a usable network share address: " + problem);
        else if (!destination && (request.del || request.link || request.check))
            Usage("'" + path + "' is a network share: its files can be copied or moved, but not " +
                  (request.del    ? "deleted"
                   : request.link ? "linked"
                                  : "checked") +
                  " from here");
        else
            continue;
        return false;
    }
    return true;
}

Parsed ParseCommandLine(int argc, char** argv, Request& request) {
    LimitRequest limit;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            request.paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h")
            return Parsed::kHelp;
        if (arg == "--version")
            return Parsed::kVersion;
        if (!ParseOption(arg, argc, argv, i, request, limit))
            return Parsed::kBad;
    }
    if (!ApplyLimit(limit, request) || !RefuseShareAddresses(request))
        return Parsed::kBad;
    return CheckRequest(request);
}

// An absolute path without "." and ".." parts and without a trailing slash (but "/" itself).
bool Absolute(const std::string& path, const std::string& cwd, std::string& result) {
    if (path.empty()) {
        Usage("an empty path was given");
        return false;
    }
    if (path[0] != '/' && cwd.empty()) {
        Usage("the current folder cannot be read, so '" + path + "' cannot be used");
        return false;
    }
    result =
        std::filesystem::path(path[0] == '/' ? path : cwd + "/" + path).lexically_normal().string();
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return true;
}

// Absolute for a local path; a share's address is the server's, its folders not this machine's
// to resolve: only its trailing slashes go.
bool Resolved(const std::string& path, const std::string& cwd, std::string& result) {
    if (!rd::smb::IsUrl(path))
        return Absolute(path, cwd, result);
    result = path;
    while (result.size() > std::string_view("smb://").size() && result.back() == '/')
        result.pop_back();
    return true;
}

// cp's manners before anything starts: a destination that is a file is refused; one that does
// not exist is created by the job once it has something to put there, and said so; a single
// file given a name that does not exist is refused, since a job copies into folders and cannot
// give a file a new name. The exit status when the job must not start.
std::optional<int> CheckDestinations(const Request& request, const std::string& firstSource,
                                     const std::vector<std::string>& sources,
                                     const std::vector<std::string>& destinations) {
    bool anySource = false;
    for (const std::string& source : sources) {
        struct stat st {};
        // A share's source is found by the job, on the server.
        anySource = anySource || rd::smb::IsUrl(source) || ::lstat(source.c_str(), &st) == 0;
    }
    for (size_t i = 0; i < destinations.size(); ++i) {
        const std::string& given = request.to[i];
        if (rd::smb::IsUrl(given))
            continue;
        struct stat st {};
        if (::stat(destinations[i].c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode))
                continue;
            out.Note("the destination '" + given +
                     "' is a file, not a folder; nothing was started");
            return kNothingToDo;
        }
        if (errno != ENOENT)
            continue;
        struct stat source {};
        if (request.lastPathIsDestination && request.paths.size() == 1 && given.back() != '/' &&
            ::stat(firstSource.c_str(), &source) == 0 && !S_ISDIR(source.st_mode)) {
            out.Note("'" + given +
                     "' does not exist, and a file is copied into a folder, never "
                     "to a new name. To copy '" +
                     request.paths[0] + "' into a new folder '" + given + "', write '" + given +
                     "/'");
            return kNothingToDo;
        }
        if (!request.quiet && anySource)
            out.Note("the destination folder " + destinations[i] +
                     " does not exist; the job creates it");
    }
    return std::nullopt;
}

// The job line's fields, with the list files that the wrapper wrote for it.
struct JobLine {
    std::string line;  // without the wrapper's own switch
    std::vector<std::string> listFiles;
};

// The folder of the list files: $TMPDIR, else /tmp. A "|" in it would cut the job line, and a
// "q" in the target list's path would be read as the profile switch.
std::string ListFolder() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp && tmp[0] == '/' ? tmp : "/tmp";
    return folder.find_first_of("|q") == std::string::npos ? folder : "/tmp";
}

// Writes a new list file, readable by this user only; a file of that name left by an earlier
// wrapper with the same process id is replaced.
bool WriteListFile(const std::string& path, const std::string& data) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(path.c_str(), kFlags, 0600);
    if (fd < 0 && errno == EEXIST && ::unlink(path.c_str()) == 0)
        fd = ::open(path.c_str(), kFlags, 0600);
    bool failed = fd < 0;
    WriteAll(fd, data, failed);
    int error = errno;
    if (fd >= 0 && ::close(fd) != 0 && !failed) {
        failed = true;
        error = errno;
    }
    if (!failed)
        return true;
    if (fd >= 0)
        ::unlink(path.c_str());
    out.Note("cannot write the list file " + path + ": " + std::strerror(error));
    return false;
}

// Builds the line and writes its list files; the exit status when that fails.
std::optional<int> BuildJobLine(const Request& request, JobLine& job) {
    if (request.raw) {
        job.line = *request.raw;
        int separators = 0;
        for (const char c : job.line)
            separators += c == '|';
        job.line.append(separators < 3 ? 3 - separators : 0, '|');
        // A line with "|||" only opens the settings, which cannot be shown here.
        if (job.line.find("|||") != std::string::npos)
            return Usage("--raw: the line '" + *request.raw + "' holds no job");
        return std::nullopt;
    }
    const std::string cwd = rd::fs::CurrentFolder();
    std::vector<std::string> sources;
    for (const std::string& path : request.paths) {
        std::string full;
        if (!Resolved(path, cwd, full))
            return kNothingToDo;
        sources.push_back(full);
    }
    std::vector<std::string> destinations;
    for (const std::string& path : request.to) {
        std::string full;
        if (!Resolved(path, cwd, full))
            return kNothingToDo;
        destinations.push_back(full);
    }
    std::string firstSource;
    if (!request.paths.empty() && !Resolved(request.paths.front(), cwd, firstSource))
        return kNothingToDo;
    if (const std::optional<int> refused =
            request.check ? std::nullopt
                          : CheckDestinations(request, firstSource, sources, destinations))
        return refused;
    const std::string folder = ListFolder();
    const std::string stem = folder + "/" + kName + "-" + std::to_string(::getpid());
    // Literal lists: every name goes to the program as it is, never as a pattern, never split.
    const std::string sourceList = stem + ".lst";
    if (!WriteListFile(sourceList, rd::text::LiteralListBytes(sources)))
        return kError;
    job.listFiles.push_back(sourceList);
    std::string switches = request.switches;
    // Each named as a folder, as the job shows it in its history.
    std::vector<std::string> folders;
    for (const std::string& destination : destinations)
        folders.push_back(destination == "/" ? destination : destination + "/");
    std::optional<std::string> targets = rd::text::InlineTargetField(folders, switches);
    if (!targets) {
        const std::string targetList = stem + ".dst";
        if (!WriteListFile(targetList, rd::text::LiteralListBytes(folders)))
            return kError;
        job.listFiles.push_back(targetList);
        targets = targetList;
        switches += 'f';
    }
    job.line = "|" + sourceList + "|" + *targets + "|" + switches;
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Signals and the terminal

int signalPipe[2] = {-1, -1};

void OnSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCHLD};

bool InstallSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kHandledSignals)
        ::sigaction(signal, &action, nullptr);
    // A closed stdout must not end the wrapper before it has restored the terminal, and
    // restoring it must not stop a wrapper that was sent to the background.
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGTTOU, SIG_IGN);
    return true;
}

void SetDefault(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

// Keys are read one by one and not echoed while the wrapper runs in the foreground; the
// terminal's own settings come back on every way out.
class Terminal {
public:
    Terminal() : tty_(::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved_) == 0) {}
    ~Terminal() { Restore(); }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    bool IsTty() const { return tty_; }

    // A background job that touched the terminal would be stopped by it; a terminal that is not
    // this session's own has no foreground to ask for.
    bool Foreground() const {
        const pid_t group = ::tcgetpgrp(STDIN_FILENO);
        return group < 0 || group == ::getpgrp();
    }

    // Switches to key-by-key mode once the wrapper is in the foreground.
    void Sync() {
        if (!tty_ || raw_ || !Foreground())
            return;
        termios keys = saved_;
        keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        keys.c_cc[VMIN] = 1;
        keys.c_cc[VTIME] = 0;
        raw_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &keys) == 0;
    }

    void Restore() {
        if (raw_)
            ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
        raw_ = false;
    }

    bool Raw() const { return raw_; }

private:
    termios saved_{};  // before tty_, which fills it
    bool tty_;
    bool raw_ = false;
};

// ---------------------------------------------------------------------------------------------
// The program

std::string OwnFolder() {
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size())
        return {};
    buffer.resize(static_cast<size_t>(n));
    return buffer.substr(0, buffer.rfind('/'));
}

std::string ProgramPath() {
    if (const char* set = std::getenv("REDODORI"); set && set[0])
        return set;
    const std::string folder = OwnFolder();
    if (!folder.empty()) {
        const std::string beside = folder + "/" + kProgram;
        if (::access(beside.c_str(), X_OK) == 0)
            return beside;
    }
    return kProgram;
}

std::string CannotStart(const std::string& program, int error) {
    return "cannot start the program " + program + ": " + std::strerror(error) +
           (error == ENOENT ? " (set REDODORI to the program's path)" : "");
}

// Names the pipe `login` (-1: none) to the program, which inherits it; no value of the variable
// from elsewhere reaches the program, which would read whatever file has that number.
bool PassLogin(int login) {
    if (login < 0)
        return ::unsetenv(rd::smb::kCredentialsFdVariable) == 0;
    return ::fcntl(login, F_SETFD, 0) == 0 &&
           ::setenv(rd::smb::kCredentialsFdVariable, std::to_string(login).c_str(), 1) == 0;
}

// Starts the program in a process group of its own, so that keys meant for the wrapper
// (Ctrl+C, Ctrl+Z, Ctrl+\) do not reach it, with stdin from /dev/null: keys are the wrapper's.
// It inherits the pipe `login` (-1: none), which is closed here.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   int login = -1) {
    // A display that cannot be reached would end the program at its start.
    if (!rd::display::Reachable()) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
    }
    const bool passed = PassLogin(login);
    if (login >= 0 && !passed)
        ::close(login);
    if (!passed) {
        out.Note(std::string("cannot pass the login to the program: ") + std::strerror(errno));
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTTOU);
    for (const int signal : kHandledSignals)
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<std::string> strings{program};
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> args;
    for (std::string& arg : strings)
        args.push_back(arg.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    const int error =
        posix_spawnp(&pid, program.c_str(), &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (login >= 0)
        ::close(login);
    if (error != 0) {
        out.Note(CannotStart(program, error));
        return -1;
    }
    return pid;
}

std::string DescribeEnd(int waitStatus) {
    if (WIFEXITED(waitStatus))
        return "with exit code " + std::to_string(WEXITSTATUS(waitStatus));
    if (WIFSIGNALED(waitStatus))
        return std::string("by signal ") + std::to_string(WTERMSIG(waitStatus)) + " (" +
               strsignal(WTERMSIG(waitStatus)) + ")";
    return "";
}

// ---------------------------------------------------------------------------------------------
// The session

struct Outcome {
    int status = kError;
    int signal = 0;  // a signal that ended the wrapper, raised again once all is restored
};

class Session {
public:
    Session(rd::bus::Endpoint& endpoint, Terminal& terminal, pid_t child)
        : endpoint_(endpoint), terminal_(terminal), child_(child) {}

    bool ChildRunning() const { return child_ > 0; }

    Outcome Run() {
        for (;;) {
            terminal_.Sync();
            pollfd fds[3] = {{endpoint_.Fd(), POLLIN, 0},
                             {signalPipe[0], POLLIN, 0},
                             {ReadingKeys() ? STDIN_FILENO : -1, POLLIN, 0}};
            if (::poll(fds, 3, kTickMs) < 0 && errno != EINTR) {
                out.Note(std::string("cannot wait for the job: ") + std::strerror(errno));
                return {kError, 0};
            }
            if (std::optional<Outcome> outcome = Signals())
                return *outcome;
            ServePackets();
            if (fds[2].revents & POLLNVAL)
                stdinOpen_ = false;
            else if (fds[2].revents & (POLLIN | POLLHUP | POLLERR))
                ReadKeys();
            if (std::optional<Outcome> outcome = CheckEnd())
                return *outcome;
        }
    }

private:
    bool ReadingKeys() const { return stdinOpen_ && (!terminal_.IsTty() || terminal_.Raw()); }

    std::optional<Outcome> Signals() {
        char signals[32];
        ssize_t n;
        while ((n = ::read(signalPipe[0], signals, sizeof signals)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                const int signal = static_cast<unsigned char>(signals[i]);
                switch (signal) {
                    case SIGINT:
                        if (++interrupts_ >= 2) {
                            out.Note("left; the job goes on" + ChildNote());
                            return Outcome{kAborted, 0};
                        }
                        out.Note("aborting the job (Ctrl+C again leaves it running)");
                        Control(kControlAbort);
                        break;
                    case SIGTSTP: Suspend(); break;
                    case SIGCHLD: break;
                    default: return Outcome{kError, signal};
                }
            }
        }
        return std::nullopt;
    }

    std::string ChildNote() const {
        return child_ > 0 ? " (process " + std::to_string(child_) + ")" : "";
    }

    // Ctrl+Z: the terminal gets its settings back while the wrapper is stopped.
    void Suspend() {
        terminal_.Restore();
        SetDefault(SIGTSTP);
        ::raise(SIGTSTP);
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTSTP, &action, nullptr);
    }

    void ServePackets() {
        rd::bus::Packet packet;
        while (endpoint_.Receive(packet)) {
            if (packet.msg == kWmQuit) {
                if (!status_) {
                    status_ = ExitStatus(packet.lParam, result_);
                    if (packet.lParam == kUnexpectedError)
                        out.Note("the program failed: an unexpected error ended it");
                }
                continue;
            }
            if (packet.msg != kWmuCommand)
                continue;
            uint8_t kind;
            std::string text;
            if (reader_.Add({packet.wParam, packet.lParam}, kind, text))
                OnPacket(kind, text);
        }
    }

    static uint32_t Handle(const std::string& text) {
        uint32_t handle = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), handle);
        return ec == std::errc() && end == text.data() + text.size() ? handle : 0;
    }

    void OnPacket(uint8_t kind, const std::string& text) {
        if (answerSent_)
            AnswerOutcome(kind, text);
        switch (kind) {
            case rd::packet::kText: out.Job(text); break;
            case rd::packet::kWindowHandle:
                window_ = Handle(text);
                if (window_) {
                    for (const int64_t control : pendingControls_)
                        Control(control);
                    pendingControls_.clear();
                }
                break;
            case rd::packet::kPromptHandle:
                prompt_ = Handle(text);
                answerSent_ = false;
                if (prompt_) {
                    out.Question(true);
                    AnswerFromTypedKeys();
                }
                break;
            case rd::packet::kResult:
                result_ = text;
                out.JobEnded();
                break;
            case rd::packet::kNote: out.Note(text); break;
            default: break;
        }
    }

    // After an answer the job echoes it: "[X]" when it took it; otherwise it asks again with
    // a new prompt packet.
    void AnswerOutcome(uint8_t kind, const std::string& text) {
        if (kind == rd::packet::kText && !echoSeen_) {
            echoSeen_ = true;
            if (text.starts_with("["))
                answerSent_ = false;
            return;
        }
        if (kind != rd::packet::kPromptHandle)
            answerSent_ = false;
    }

    // The waiting question takes the first key typed ahead; once input has ended and none is
    // left, it is answered s (skip).
    void AnswerFromTypedKeys() {
        while (prompt_ && !typed_.empty()) {
            const unsigned char key = typed_.front();
            typed_.pop_front();
            // Only visible characters are answers: line breaks from a pipe and the parts of
            // other keys' sequences are not.
            if (key > ' ' && key < 0x7f)
                SendKey(key);
        }
        if (prompt_ && !stdinOpen_) {
            out.Note("no more input to answer with: answered s (skip)");
            SendKey('s');
        }
    }

    void SendKey(unsigned char key) {
        const uint32_t prompt = prompt_;
        prompt_ = 0;
        answerSent_ = true;
        echoSeen_ = false;
        out.Question(false);
        rd::bus::PostToWindow(kWindowClass, prompt, {kWmuCommand, kKeyCommand, key});
    }

    // Controls given before the job told its window wait for it.
    void Control(int64_t control) {
        if (!window_) {
            pendingControls_.push_back(control);
            return;
        }
        rd::bus::PostToWindow(kWindowClass, window_, {kWmuControl, 0, control});
    }

    void ReadKeys() {
        unsigned char keys[256];
        const ssize_t n = ::read(STDIN_FILENO, keys, sizeof keys);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (n <= 0) {
            stdinOpen_ = false;
            AnswerFromTypedKeys();
            return;
        }
        for (ssize_t i = 0; i < n; ++i)
            Key(keys[i]);
        AnswerFromTypedKeys();
    }

    // Keys typed while a question waits, or while its answer is on its way, are answers and
    // wait for their question; the others control the job.
    void Key(unsigned char key) {
        if (prompt_ || answerSent_) {
            typed_.push_back(key);
            return;
        }
        switch (std::tolower(key)) {
            case 'p':
            case ' ': Control(kControlPause); break;
            case 's': Control(kControlSkip); break;
            case 'a': Control(kControlAbort); break;
            case 'x': Control(kControlSaveAndAbort); break;
            default: break;
        }
    }

    std::optional<Outcome> CheckEnd() {
        if (child_ > 0) {
            int waitStatus = 0;
            const pid_t ended = ::waitpid(child_, &waitStatus, WNOHANG);
            if (ended == child_ || (ended < 0 && errno == ECHILD)) {
                child_ = -1;
                // The final status is posted before the program ends: take what is left.
                ServePackets();
                if (!status_) {
                    out.Note("the program ended " + DescribeEnd(waitStatus) +
                             " without a final status");
                    return Outcome{kError, 0};
                }
            }
        }
        if (!status_)
            return std::nullopt;
        if (child_ > 0) {
            const auto now = std::chrono::steady_clock::now();
            if (!quitAt_)
                quitAt_ = now;
            if (now - *quitAt_ < kChildGrace)
                return std::nullopt;
            out.Note("the program has not ended " +
                     std::to_string(std::chrono::seconds(kChildGrace).count()) +
                     " s after its final status; leaving it" + ChildNote());
        }
        return Outcome{*status_, 0};
    }

    rd::bus::Endpoint& endpoint_;
    Terminal& terminal_;
    pid_t child_;
    rd::PacketReader reader_;
    uint32_t window_ = 0;
    uint32_t prompt_ = 0;      // the question waiting for a key, 0 when none waits
    bool answerSent_ = false;  // a key went to the question; whether it took it is not known yet
    bool echoSeen_ = false;
    std::deque<unsigned char> typed_;  // keys typed ahead for questions
    std::vector<int64_t> pendingControls_;
    int interrupts_ = 0;
    bool stdinOpen_ = true;
    std::optional<int> status_;
    std::optional<std::string> result_;
    std::optional<std::chrono::steady_clock::time_point> quitAt_;
};

// ---------------------------------------------------------------------------------------------
// Logins for shares

constexpr int kLoginTimeoutMs = 10000;
// A login larger than a pipe holds at once could not be written before the program starts.
constexpr size_t kLargestLogin = 4096;

// A pipe holding `credentials` for the program: its read end, or -1.
int LoginPipe(const rd::smb::Credentials& credentials) {
    const std::string text = rd::smb::CredentialsText(credentials);
    int ends[2];
    if (text.size() > kLargestLogin) {
        out.Note("the user name and password are too long to pass on");
        return -1;
    }
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        out.Note(std::string("cannot pass the login to the program: ") + std::strerror(errno));
        return -1;
    }
    bool broken = false;
    WriteAll(ends[1], text, broken);
    ::close(ends[1]);
    if (!broken)
        return ends[0];
    ::close(ends[0]);
    out.Note("cannot pass the login to the program");
    return -1;
}

// What the first share among `shares` that wants a login says of the login asked on
// `tty`: one login serves every share of the job, as a --credentials file does.
rd::ShareLogin AskFirstLogin(const std::vector<std::string>& shares, int tty, std::string& asked) {
    std::set<std::string> servers;
    for (const std::string& path : shares) {
        std::string problem;
        const std::optional<rd::smb::Url> url =
            rd::smb::IsUrl(path) ? rd::smb::ParseUrl(path, problem) : std::nullopt;
        if (!url || !servers.insert(url->Server()).second)
            continue;
        rd::ShareLogin login =
            rd::AskShareLogin(*url, tty, rd::ShareLoginTry(*url, kLoginTimeoutMs));
        if (login.kind != rd::ShareLogin::Kind::kGuest) {
            asked = path;
            return login;
        }
    }
    return {};
}

// When a share among `shares` wants a login, asks for it on the terminal (when stdin is
// one): `login` is then a pipe holding it, else -1. The exit status when the job must not start.
std::optional<int> AskLogins(const std::vector<std::string>& shares, int& login) {
    login = -1;
    const int tty = ::isatty(STDIN_FILENO) ? ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    std::string asked;
    const rd::ShareLogin answer = AskFirstLogin(shares, tty, asked);
    if (tty >= 0)
        ::close(tty);
    switch (answer.kind) {
        case rd::ShareLogin::Kind::kGuest: return std::nullopt;
        case rd::ShareLogin::Kind::kGiven:
            login = LoginPipe(answer.credentials);
            return login < 0 ? std::optional<int>(kError) : std::nullopt;
        case rd::ShareLogin::Kind::kRefused:
            out.Note(asked + ": the user name or password was refused " +
                     std::to_string(rd::kLoginTries) + " times; the job was not started");
            return kNothingToDo;
        case rd::ShareLogin::Kind::kNoAnswer:
            out.Note(asked + ": no user name and password were given; the job was not started");
            return kNothingToDo;
    }
    return kError;
}

// What `redodori --resume-list` prints; empty when the program cannot be started.
std::string StoredJobsListing() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    const std::string program = ProgramPath();
    const char* const args[] = {program.c_str(), "--resume-list", nullptr};
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, program.c_str(), &actions, nullptr,
                                   const_cast<char* const*>(args), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got = 1; error == 0 && got != 0;) {
        got = ::read(ends[0], buffer, sizeof buffer);
        if (got > 0)
            text.append(buffer, static_cast<size_t>(got));
        else if (got < 0 && errno != EINTR)
            break;
    }
    ::close(ends[0]);
    while (error == 0 && ::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return text;
}

// The destinations and sources of stored job `n` as the program lists them, where a share that
// wants a login is found: after its line "Job N, saved ...", its lines "  destination: ..." and
// "  source: ...". None when it cannot tell.
std::vector<std::string> StoredShares(int32_t n) {
    const std::string text = StoredJobsListing();
    const std::string job = "Job " + std::to_string(n) + ", ";
    const std::string destination = "  destination: ";
    const std::string source = "  source: ";
    std::vector<std::string> named;
    bool ours = false;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.starts_with("Job "))
            ours = line.starts_with(job);
        else if (ours && line.starts_with(destination))
            named.push_back(line.substr(destination.size()));
        else if (ours && line.starts_with(source))
            named.push_back(line.substr(source.size()));
    }
    return named;
}

// The stored jobs are the program's to list: it prints them here.
int ListStoredJobs() {
    const std::string program = ProgramPath();
    const char* const args[] = {program.c_str(), "--resume-list", nullptr};
    ::execvp(program.c_str(), const_cast<char* const*>(args));
    out.Note(CannotStart(program, errno));
    return kError;
}

// Has the program resume stored job `number` here and at once, reporting to this wrapper as a
// job does: why it was not resumed comes back as a note.
Outcome ResumeStoredJob(const std::string& number, Terminal& terminal) {
    int32_t n = -1;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), n);
    if (ec != std::errc() || end != number.data() + number.size() || n < 0 || n >= rd::kResumeSlots)
        return {Usage("--resume takes a stored job's number from 0 to " +
                      std::to_string(rd::kResumeSlots - 1) + ", not '" + number + "'"),
                0};
    std::string error;
    std::unique_ptr<rd::bus::Endpoint> endpoint = rd::bus::Endpoint::CreateThread(error);
    if (!endpoint) {
        out.Note(error);
        return {kError, 0};
    }
    // The stored job keeps no password: it is asked again for a share that wants one.
    int login = -1;
    if (const std::optional<int> refused = AskLogins(StoredShares(n), login))
        return {*refused, 0};
    const pid_t child = StartProgram(
        ProgramPath(), {"--resume", std::to_string(n), "--console", std::to_string(endpoint->Id())},
        login);
    if (child < 0) {
        out.Note("stored job " + std::to_string(n) +
                 " was not resumed: the program could not be started: the start failed; it "
                 "stays stored");
        return {kNothingToDo, 0};
    }
    Session session(*endpoint, terminal, child);
    return session.Run();
}

// Names the --credentials file to the program, by its full path; no other value of the
// variable reaches it.
bool SetCredentialsFile(const Request& request) {
    if (!request.credentialsFile) {
        ::unsetenv(rd::smb::kCredentialsVariable);
        return true;
    }
    std::string full;
    return Absolute(*request.credentialsFile, rd::fs::CurrentFolder(), full) &&
           ::setenv(rd::smb::kCredentialsVariable, full.c_str(), 1) == 0;
}

Outcome RunJob(const Request& request, Terminal& terminal, std::vector<std::string>& listFiles,
               bool& jobLeftRunning) {
    if (!request.quiet) {
        for (const std::string& note : request.notes)
            out.Note(note);
    }
    JobLine job;
    const std::optional<int> failed = BuildJobLine(request, job);
    listFiles = job.listFiles;
    if (failed)
        return {*failed, 0};
    std::string error;
    std::unique_ptr<rd::bus::Endpoint> endpoint = rd::bus::Endpoint::CreateThread(error);
    if (!endpoint) {
        out.Note(error);
        return {kError, 0};
    }
    // The program reads the credentials itself: the password never passes through a list, a
    // command line, the environment or the bus.
    if (!SetCredentialsFile(request))
        return {kNothingToDo, 0};
    int login = -1;
    if (!request.credentialsFile) {
        std::vector<std::string> shares = request.to;
        shares.insert(shares.end(), request.paths.begin(), request.paths.end());
        if (const std::optional<int> refused = AskLogins(shares, login))
            return {*refused, 0};
    }
    const pid_t child =
        StartProgram(ProgramPath(), {rd::WithConsoleSwitch(job.line, endpoint->Id())}, login);
    if (child < 0)
        return {kError, 0};
    Session session(*endpoint, terminal, child);
    const Outcome outcome = session.Run();
    jobLeftRunning = session.ChildRunning();
    return outcome;
}

}  // namespace

int main(int argc, char** argv) {
    // A closed standard descriptor would be taken by the wrapper's own pipe or socket, and keys
    // would then be read from it.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0)
            ::open("/dev/null", O_RDWR);
    }
    // "--resume N" alone resumes a stored job; among paths "--resume" is an existing-file option.
    std::optional<std::string> storedJob;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--resume-list")) {
            if (argc != 2)
                return Usage("--resume-list takes no other option and no path");
            return ListStoredJobs();
        }
    }
    if (argc == 3 && !std::strcmp(argv[1], "--resume"))
        storedJob = argv[2];
    else if (argc == 2 && !std::strncmp(argv[1], "--resume=", 9))
        storedJob = argv[1] + 9;
    Request request;
    switch (storedJob ? Parsed::kRun : ParseCommandLine(argc, argv, request)) {
        case Parsed::kHelp: std::fputs(kUsage, stdout); return kDone;
        case Parsed::kVersion: std::puts("redodori-console 2.83"); return kDone;
        case Parsed::kBad: return kNothingToDo;
        case Parsed::kRun: break;
    }
    rd::ConsoleScreenOptions screen;
    screen.terminal = ::isatty(STDOUT_FILENO);
    screen.quiet = request.quiet;
    screen.verbose = request.verbose;
    if (winsize size{}; ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        screen.width = size.ws_col;
    out.Configure(screen);
    if (!InstallSignals()) {
        out.Note(std::string("cannot set up signal handling: ") + std::strerror(errno));
        return kError;
    }
    Outcome outcome;
    {
        Terminal terminal;
        std::vector<std::string> listFiles;
        bool jobLeftRunning = false;
        outcome = storedJob ? ResumeStoredJob(*storedJob, terminal)
                            : RunJob(request, terminal, listFiles, jobLeftRunning);
        // A program that still runs may not have read its list yet; it removes it itself.
        if (!jobLeftRunning) {
            for (const std::string& path : listFiles)
                ::unlink(path.c_str());
        }
        out.Finish();
    }
    if (outcome.signal) {
        SetDefault(outcome.signal);
        ::raise(outcome.signal);
    }
    return outcome.status;
}
