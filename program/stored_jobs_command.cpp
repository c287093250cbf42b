#include "program/stored_jobs_command.h"

#include <charconv>
#include <cstdio>
#include <string_view>

#include "app/command_line.h"
#include "app/console_channel.h"
#include "app/stderr_lines.h"
#include "platform/bus.h"
#include "platform/console_packet.h"
#include "platform/messages.h"
#include "platform/store.h"
#include "resume/resume_attempt.h"
#include "resume/resume_records.h"
#include "resume/stored_jobs_text.h"
#include "settings/store_keys.h"

namespace rd {

namespace {

constexpr int kRefused = 1;

template <typename T>
std::optional<T> Number(std::string_view text) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Says why no job runs: to the console wrapper as its own note, then the result "nothing" and
// the final status, so that it ends as it does for any job that could not run; else on stderr.
int Refuse(uint32_t wrapper, const std::string& why) {
    if (!wrapper) {
        SayOnStderr(why);
        return kRefused;
    }
    ConsoleChannel channel(wrapper, [wrapper](const Chunk& chunk) {
        return bus::PostToThread(wrapper, {msg::WMU_COMMAND, chunk.first, chunk.second});
    });
    channel.Send(packet::kNote, why);
    channel.Send(packet::kResult, "nothing");
    bus::PostToThread(wrapper, {msg::WM_QUIT, 0, 0});
    return kRefused;
}

// The console wrapper's thread id after "--resume N --console"; 0 without "--console", nothing
// when the arguments are not of that form.
std::optional<uint32_t> Wrapper(int argc, char** argv) {
    if (argc == 3)
        return 0u;
    if (argc == 5 && std::string_view(argv[3]) == "--console")
        return Number<uint32_t>(argv[4]);
    return std::nullopt;
}

// Takes stored job `n` as the resume manager would, but at once: a source folder that is not
// reachable is reported, not waited for.
std::optional<int> ResumeHere(int32_t n, uint32_t wrapper, std::string& line) {
    Store& store = Store::Default();
    const std::string name = std::to_string(n);
    if (!store.ValueExists(StoreRoot::CurrentUser, kResumeKey, name))
        return Refuse(wrapper, "there is no stored job " + name + " (--resume-list lists them)");
    std::string program;
    std::string argument;
    // This process goes on as the job: the record's program is this one, as the attempt checked.
    const AttemptResult result =
        AttemptResume(store, n, OwnProgramPath(),
                      [&](const std::string& own, const std::string& taken, std::string&) {
                          program = own;
                          argument = taken;
                          return true;
                      });
    if (result.running)
        return Refuse(wrapper, result.problem);
    if (!result.started)
        return Refuse(wrapper, "stored job " + name + " was not resumed: " +
                                   (result.problem.empty() ? "another resume took it"
                                                           : result.problem + "; it stays stored"));
    if (wrapper)
        argument = WithConsoleSwitch(argument, wrapper);
    const char* const args[] = {program.c_str(), argument.c_str()};
    line = BuildCommandLine(2, args);
    return std::nullopt;
}

}  // namespace

std::optional<int> RunStoredJobsCommand(int argc, char** argv, std::string& line) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "--resume-list") {
        if (argc != 2) {
            SayOnStderr("--resume-list takes no other argument");
            return kRefused;
        }
        const std::string text = StoredJobsText(ReadResumeRecords(Store::Default()));
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    if (mode != "--resume")
        return std::nullopt;
    const std::optional<int32_t> n = argc > 2 ? Number<int32_t>(argv[2]) : std::nullopt;
    const std::optional<uint32_t> wrapper = Wrapper(argc, argv);
    if (!n || *n < 0 || *n >= kResumeSlots || !wrapper) {
        SayOnStderr("--resume takes a stored job's number from 0 to " +
                    std::to_string(kResumeSlots - 1) +
                    ", then optionally --console and a thread id");
        return kRefused;
    }
    return ResumeHere(*n, *wrapper, line);
}

}  // namespace rd
