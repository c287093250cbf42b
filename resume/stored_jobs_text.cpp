#include "resume/stored_jobs_text.h"

#include <optional>

#include "platform/text.h"

namespace rd {

std::string StoredJobsText(const std::vector<ResumeRecord>& records) {
    std::string text = records.empty() ? "No stored jobs.\n" : "";
    for (const ResumeRecord& record : records) {
        const RecordColumns columns = ColumnsOf(record);
        text += "Job " + std::to_string(record.n) + ", saved " + columns.time +
                ", resumes at login: " + (record.autostart ? "yes" : "no") + "\n";
        std::vector<std::string> sources;
        std::string problem;
        const std::optional<StoredCommand> command = SplitStoredCommand(record.command);
        if (command && ReadResumeList(BetweenBars(command->argument, 1), sources, problem)) {
            for (const std::string& source : sources)
                text += "  source: " + text::EscapeControls(source) + "\n";
        } else {
            text +=
                "  sources: unknown (" + (command ? problem : "the job holds no command") + ")\n";
        }
        for (const std::string& destination : RecordDestinations(record))
            text += "  destination: " + text::EscapeControls(destination) + "\n";
    }
    return text;
}

}  // namespace rd
