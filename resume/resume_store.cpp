#include "resume/resume_store.h"

#include <ctime>
#include <optional>
#include <string_view>
#include <system_error>

#include "platform/fs.h"
#include "platform/literal_list.h"
#include "platform/path_parts.h"
#include "platform/paths.h"
#include "platform/private_folder.h"
#include "platform/store.h"
#include "platform/text.h"
#include "resume/switch_tokens.h"
#include "settings/job_settings.h"
#include "settings/store_keys.h"

namespace rd {

namespace {

constexpr char kStateFolderRole[] = "state folder";

std::string ListName(int32_t slot) {
    return "vnfrm" + std::to_string(slot) + ".lst";
}

std::string TargetListName(int32_t slot) {
    return "vnto" + std::to_string(slot) + ".lst";
}

// Writes the list `name` of the state folder; false with `error` when it cannot be.
bool WriteList(const std::string& name, const std::string& bytes, std::string& error) {
    const std::string folder = paths::StateDir();
    if (!fs::PreparePrivateFolder(folder, kStateFolderRole, error))
        return false;
    const int failed = fs::ReplaceFileAtomically(folder, name, bytes);
    if (failed)
        error =
            "cannot write " + folder + "/" + name + ": " + std::system_category().message(failed);
    return !failed;
}

// The record's target field, before `switches`: the destinations themselves when the job line
// can carry them, else a literal target list of the state folder, which adds switch "f" to
// `switches`. False with `error` when neither can.
bool WriteTargetField(const ResumeJob& job, std::string& switches, std::string& field,
                      std::string& error) {
    if (const std::optional<std::string> carried = text::InlineTargetField(job.targets, switches)) {
        field = *carried;
        return true;
    }
    field = paths::StateDir() + "/" + TargetListName(job.slot);
    switches += 'f';
    if (field.find('|') != std::string::npos || !text::TargetFieldKeepsProfile(field, switches)) {
        error = "the destinations cannot stand in the record, and the name of the state folder " +
                paths::StateDir() + " cannot either (a '|', or a 'q' read as the profile)";
        return false;
    }
    return WriteList(TargetListName(job.slot), text::LiteralListBytes(job.targets), error);
}

}  // namespace

std::string ResumeSwitches(const ResumeJob& job) {
    // Of the existing-file letters only the last of "u", "w", "k", "o" counts, with an "i" after
    // it; "w" and "I" say again what "uw" says.
    char policy = 0;
    bool older = false;
    std::string kept;
    for (const std::string_view s : SwitchTokens(job.switches)) {
        switch (s[0]) {
            case 'u':
            case 'w':
            case 'k':
            case 'o':
                policy = s[0] == 'w' ? 0 : s[0];
                older = false;
                break;
            case 'i': older = true; break;
            case 'I': older = false; break;
            case 'L':
                // The speed limit, the buffer, a preset answer to the names question and the
                // checksum manifest; a wrapper's thread is the resumed job's own.
                if (s.size() > 2 && std::string_view("kpcbnh").find(s[1]) != std::string_view::npos)
                    kept += s;
                break;
            default:
                if (std::string_view("vVzZtTchHDGjJ").find(s[0]) != std::string_view::npos)
                    kept += s;
                break;
        }
    }
    std::string out = "uw";
    if (policy)
        out += policy;
    if (older)
        out += 'i';
    if (job.onerror == 1)
        out += "r";
    else if (job.onerror == 2)
        out += "s";
    if (mode::IsDelete(job.modeWord))
        out += "M";
    else if (mode::IsMove(job.modeWord))
        out += "m";
    out += kept;
    out += job.profile == "local" ? "q2" : "q1";
    return out;
}

std::string ResumeListPath(int32_t slot) {
    return paths::StateDir() + "/" + ListName(slot);
}

std::string ResumeListBytes(const std::vector<std::string>& sources) {
    return text::LiteralListBytes(sources);
}

bool WriteResumeRecord(Store& store, const ResumeJob& job, int mode, std::string& error) {
    if (job.slot < 0)
        return true;
    StoreKey key(store, StoreRoot::CurrentUser, std::string(kResumeKey));
    const std::string n = std::to_string(job.slot);
    const std::string list = ResumeListPath(job.slot);
    std::string why, targetField, switches = ResumeSwitches(job);
    if (mode != 0 && WriteList(ListName(job.slot), ResumeListBytes(job.sources), why) &&
        WriteTargetField(job, switches, targetField, why)) {
        const time_t now = std::time(nullptr);
        tm local{};
        localtime_r(&now, &local);
        key.WriteText(n, job.programPath + " |" + list + "|" + targetField + "|" + switches);
        key.WriteText("f_" + n, job.sources.empty() ? std::string() : DirPart(job.sources.front()));
        key.WriteText("t_" + n,
                      text::Format("%u-%02u-%02u %02u:%02u", local.tm_year + 1900, local.tm_mon + 1,
                                   local.tm_mday, local.tm_hour, local.tm_min));
        if (mode == 2)
            key.WriteText("d_" + n, "x");
        store.Flush();
        return true;
    }
    for (const std::string& name : {n, "f_" + n, "t_" + n, "d_" + n})
        key.DeleteValue(name);
    // Only a list in the user's own private folder is ours to remove.
    std::string ignored;
    if (fs::CheckPrivateFolder(paths::StateDir(), kStateFolderRole, ignored)) {
        fs::RemoveFile(list);
        fs::RemoveFile(paths::StateDir() + "/" + TargetListName(job.slot));
    }
    store.Flush();
    if (mode == 0)
        return true;
    error = "the job cannot be kept for resume: " + why;
    return false;
}

}  // namespace rd
