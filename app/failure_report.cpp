#include "app/failure_report.h"

#include <cerrno>
#include <system_error>

#include "platform/fs.h"
#include "platform/human_units.h"
#include "platform/private_folder.h"
#include "platform/text.h"

namespace rd {

namespace {

// Reports of one second past this number mean something is wrong with the folder, not that
// so many jobs ended at once.
constexpr int kMaxNumber = 1000;

std::string SystemText(int error) {
    return std::system_category().message(error);
}

}  // namespace

size_t FailureFacts::UnnamedSkips() const {
    // The log counts every skip and failure; the skip counter leaves out a copy that lacks only
    // its metadata. Beyond the kept ones such copies cannot be told apart, so the difference
    // may come out a little small, never too large.
    size_t named = counted;
    for (const NodeOutcome& outcome : kept)
        if (outcome.cause == OutcomeCause::MetadataNotKept && named > 0)
            --named;
    return skips > named ? skips - named : 0;
}

std::string FailureReportText(const FailureFacts& facts) {
    std::string text = facts.summary + "\n";
    for (const NodeOutcome& outcome : facts.kept)
        text += text::EscapeAsOneLine(std::string(OutcomeWord(outcome.kind)) + " " +
                                      Describe(outcome)) +
                "\n";
    if (facts.counted > facts.kept.size())
        text += text::Format("and %zu more not listed\n", facts.counted - facts.kept.size());
    if (const size_t unnamed = facts.UnnamedSkips())
        text += text::Format("%zu %s counted without naming a file\n", unnamed,
                             unnamed == 1 ? "skip was" : "skips were");
    return text;
}

std::string ReportStem(const tm& localTime) {
    return text::Format("%04d-%02d-%02d-%02d%02d%02d", localTime.tm_year + 1900,
                        localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour,
                        localTime.tm_min, localTime.tm_sec);
}

std::string WriteFailureReport(const std::string& dataDir, const tm& localTime,
                               const std::string& text, std::string& error) {
    const std::string folder = dataDir + "/reports";
    // The report names the user's files: no one else may read it or plant one in its place.
    if (!fs::PreparePrivateFolder(folder, "reports folder", error))
        return {};
    const std::string stem = ReportStem(localTime);
    for (int number = 1; number <= kMaxNumber; ++number) {
        const std::string name =
            number == 1 ? stem + ".txt" : stem + "-" + std::to_string(number) + ".txt";
        const int failed = fs::CreateNewFile(folder, name, text);
        if (failed == EEXIST)
            continue;
        if (failed != 0) {
            error = "cannot write the report " + folder + "/" + name + ": " + SystemText(failed);
            return {};
        }
        return folder + "/" + name;
    }
    error = text::Format("cannot write a report in %s: the names %s.txt to %s-%d.txt are taken",
                         folder.c_str(), stem.c_str(), stem.c_str(), kMaxNumber);
    return {};
}

std::string EndNotice(const std::string& ended, uint64_t files, uint64_t bytes,
                      uint64_t copyTimeMs) {
    if (copyTimeMs < kEndNoticeAfterMs)
        return {};
    return text::Format("%s: %Lu %s, %s in %s", ended.c_str(),
                        static_cast<unsigned long long>(files), files == 1 ? "file" : "files",
                        HumanBytes(bytes).c_str(), HumanDuration(copyTimeMs).c_str());
}

std::string ReportNotice(const std::string& ended, size_t total, const std::string& reportPath) {
    return text::Format("%s with %zu %s.\nClick here to open the report %s", ended.c_str(), total,
                        total == 1 ? "skip or failure" : "skips or failures", reportPath.c_str());
}

}  // namespace rd
