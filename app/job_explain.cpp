#include "app/job_explain.h"

#include "app/command_line.h"
#include "app/settings_policy.h"
#include "app/settings_summary.h"
#include "app/source_reader.h"
#include "engine/dest_table.h"
#include "engine/source_queue.h"
#include "platform/text.h"
#include "settings/settings_reader.h"

namespace rd {

namespace {

// The summary is written for a console that understands "\r"; here each line ends in "\n".
std::string ForTerminal(const std::string& summary) {
    std::string out;
    for (size_t i = 0; i < summary.size(); ++i) {
        if (summary[i] == '\r') {
            out += '\n';
            if (i + 1 < summary.size() && summary[i + 1] == '\n')
                ++i;
        } else {
            out += summary[i];
        }
    }
    return out;
}

const char* YesNo(bool v) {
    return v ? "yes" : "no";
}

std::string ModeText(JobMode mode, const JobFlags& flags) {
    if (flags.TreeLink)
        return "link every source into each destination (hard links for files, symbolic links "
               "for folders); nothing is copied";
    std::string text;
    if (IsDelete(mode))
        text = "delete the sources; nothing is copied";
    else if (IsMove(mode))
        text = "move (copy, then remove the sources)";
    else
        text = "copy";
    if (flags.PerFileLink)
        text += ", hard-linking each file instead of copying it";
    if (RemovesSources(mode)) {
        if (int passes = WipePasses(mode))
            text += text::Format(", overwriting each removed file %d times first", passes);
    }
    return text;
}

// What the job would do with a list file it read.
std::string ListFileFate(const char* kind, const ListFile& list) {
    if (list.removable)
        return text::Format("The %s list file %s would be removed once it is read.\n", kind,
                            list.path.c_str());
    return text::Format(
        "The %s list file %s would be kept: only lists in the temporary folder or in RedoDori's "
        "own list folder are removed.\n",
        kind, list.path.c_str());
}

// The job's own flags as the line sets them, one a line.
std::string FlagsText(const JobFlags& flags) {
    std::string out = "Per-job flags:\n";
    const std::pair<const char*, bool> shown[] = {
        {"SourceIsListFile", flags.SourceIsListFile},
        {"TargetIsListFile", flags.TargetIsListFile},
        {"DeleteListFiles", flags.DeleteListFiles},
        {"AttachToRunning", flags.AttachToRunning},
        {"WaitForOtherJobs", flags.WaitForOtherJobs},
        {"ShowProgressWindow", flags.ShowProgressWindow},
        {"KeepFileTimes", flags.KeepFileTimes},
        {"TreeLink", flags.TreeLink},
        {"PerFileLink", flags.PerFileLink},
        {"StartPaused", flags.StartPaused},
    };
    for (const auto& [name, value] : shown)
        out += text::Format("  %-19s %s\n", name, YesNo(value));
    out += text::Format("  %-19s %u\n", "ConsoleThreadId", flags.ConsoleThreadId);
    return out + "\n";
}

}  // namespace

bool ExplainJob(std::string_view line, Store& store, std::string& out) {
    JobSettings settings;
    settings.profile = ScanProfile(line).value_or("local");
    if (!HoldsJob(line)) {
        out +=
            "This line holds no job: RedoDori would open its settings dialog for the profile \"" +
            settings.profile + "\".\n";
        return true;
    }
    ReadAllSettings(store, settings);
    JobPolicy policy = PolicyOf(settings);
    JobFlags flags;
    ResetJobState(policy, flags);
    const LineFields fields = SplitFields(line);
    ApplySwitches(fields.switches, policy, flags);

    out += "Profile: " + settings.profile + "\n";
    out += "Job: " + ModeText(policy.mode, flags) + "\n\n";
    out += ForTerminal(SettingsBlock(policy)) + "\n\n";

    out += FlagsText(flags);

    if (fields.source.empty()) {
        out += "No source is given: the job would end at once.\n";
        return true;
    }
    SourceQueue queue;
    ListFile sourceList;
    std::string error;
    bool literal = false;
    if (!ReadSources(fields.source, flags, queue, sourceList, literal, error)) {
        out += error + "\n";
        return false;
    }
    ExpandWildcards(queue, literal);
    out += text::Format("Sources (%d):\n", queue.Count());
    for (int i = 0; i < queue.Count(); ++i)
        out += "  " + queue.EntryPath(i) + "\n";
    if (literal)
        out += "The source list is a literal list: each source is taken as it is written.\n";
    if (flags.SourceIsListFile && flags.DeleteListFiles)
        out += ListFileFate("source", sourceList);
    out += "\n";

    if (fields.target.empty() && !IsDelete(policy.mode)) {
        out += "No destination is given: the destination chooser would open.\n";
        return true;
    }
    std::vector<std::string> folders;
    ListFile targetList;
    if (!ReadTargets(fields.target, flags, folders, targetList, error)) {
        out += error + "\n";
        return false;
    }
    const SplitTargets targets = SplitDestinations(folders);
    out += text::Format("Destinations (%zu):\n", targets.roots.size());
    for (const std::string& root : targets.roots)
        out += "  " + (root.empty() ? std::string("/") : root) + "\n";
    if (targets.dropped)
        out += text::Format("%u more destinations would be skipped: at most 4096 are allowed.\n",
                            targets.dropped);
    if (flags.TargetIsListFile && flags.DeleteListFiles)
        out += ListFileFate("target", targetList);
    return true;
}

}  // namespace rd
