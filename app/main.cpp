// redodori: the program's entry.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/job_explain.h"
#include "app/job_runner.h"
#include "platform/store.h"

namespace {

const char kUsage[] =
    "Usage: redodori '|SOURCE|TARGET|SWITCHES'\n"
    "       redodori --explain '|SOURCE|TARGET|SWITCHES'\n"
    "       redodori --help | --version\n"
    "\n"
    "A job is one argument of fields separated by '|':\n"
    "  SOURCE    a source list file (one path a line, UTF-8 or UTF-16LE with a byte-order\n"
    "            mark; lines end at a carriage return), or with switch e the sources\n"
    "            themselves, separated by '?'; a '*' in a name matches files\n"
    "  TARGET    the destination folders, each followed by '?', or with switch f a target\n"
    "            list file\n"
    "  SWITCHES  letters, later ones winning:\n"
    "    m move            M delete           j link tree       J hard-link each file\n"
    "    w overwrite       k skip existing    o rename old      u try resume\n"
    "    i overwrite older I not older        r retry errors    s skip errors\n"
    "    h give up retrying after the delay   H keep retrying\n"
    "    v verify          V no verify        z reserve space   Z no reserve\n"
    "    t burst (t1 read, t2 write)          T no burst (T1, T2)\n"
    "    d shut down when done                D no shut-down\n"
    "    c keep no times   p start paused     n no progress window\n"
    "    e inline sources  f target list file x keep list files\n"
    "    g attach to a running job            G wait for running jobs\n"
    "    q1 network profile, q2 local profile\n"
    "    Lk<n> Lp<n> Lc<n> speed limit index 0-10 in Kbps, percent or bps (10: none)\n"
    "    Lb<n> buffer size index 0-10         Lt<n> console wrapper id\n"
    "\n"
    "--explain prints the job a line turns into (settings, flags, sources, destinations)\n"
    "without running it.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc > 1 && !std::strcmp(argv[1], "--version")) {
        std::puts("RedoDori 2.83");
        return 0;
    }
    if (argc > 1 && !std::strcmp(argv[1], "--explain")) {
        // The line as the program would see it without "--explain".
        std::vector<const char*> args(argv, argv + argc);
        args.erase(args.begin() + 1);
        const std::string line = rd::BuildCommandLine(static_cast<int>(args.size()), args.data());
        std::string text;
        bool ok = rd::ExplainJob(line, rd::Store::Default(), text);
        std::fputs(text.c_str(), stdout);
        return ok ? 0 : 1;
    }
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return rd::RunJobWithoutWindows(rd::BuildCommandLine(argc, argv), rd::Store::Default());
}
