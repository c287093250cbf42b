#include "resume/resume_attempt.h"

#include <sys/stat.h>

#include "platform/store.h"
#include "resume/resume_records.h"
#include "resume/resume_slot.h"
#include "settings/store_keys.h"

namespace rd {

AttemptResult AttemptResume(Store& store, int32_t n, const std::string& ownProgram,
                            const ResumeLauncher& launch) {
    StoreKey key(store, StoreRoot::CurrentUser, std::string(kResumeKey));
    const std::string name = std::to_string(n);
    ResumeSlot slot;
    std::string why;
    switch (slot.Take(n, why)) {
        case ResumeSlot::Lock::Taken: break;
        case ResumeSlot::Lock::Running:
            return {1, false, "stored job " + name + " is still running", true};
        case ResumeSlot::Lock::Failed:
            return {1, false, "cannot tell whether stored job " + name + " still runs: " + why};
    }
    const std::string from = key.ReadText("f_" + name).value_or("");
    if (from.empty())
        return {1, false, key.ValueExists(name) ? "the record names no source folder" : ""};
    // The folder without its closing slash; "/" stays itself.
    const std::string folder = from.size() > 1 ? from.substr(0, from.size() - 1) : from;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {0, false, "the source folder " + folder + " is not reachable"};

    const std::optional<std::string> command = key.ReadText(name);
    if (!command)
        return {1, false, ""};
    StoredCommand split;
    std::string problem;
    if (!CheckStoredCommand(*command, ownProgram, split, problem))
        return {1, false, problem};
    if (StartMinimized(store))
        split.argument += "n";
    // Whoever deletes the value runs the command: a second manager finds it gone.
    if (!key.DeleteValue(name))
        return {1, false, ""};
    if (!launch(ownProgram, split.argument, problem)) {
        key.WriteText(name, *command);
        store.Flush();
        return {1, false, "the program could not be started: " + problem};
    }
    for (const std::string& value : {"t_" + name, "f_" + name, "d_" + name})
        key.DeleteValue(value);
    store.Flush();
    return {1, true, ""};
}

}  // namespace rd
