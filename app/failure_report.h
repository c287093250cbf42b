// The failure report of a job that skipped or failed anything: a text file of its own in the
// user's data folder, so that a long list outlives the terminal or the window that showed its
// first lines.
//
// Where: <data folder>/reports/<YYYY-MM-DD-hhmmss>.txt in local time; when that name is taken,
// -2, -3 ... go before ".txt". The reports folder is private (0700) and a report is created
// new (never over an existing name, never through a symbolic link), mode 0600.
//
// Format: lines ending in "\n".
//   <summary>               the job's last line, e.g. "Copy finished: 3 of 5 files, ..."
//   <word> <description>    one for each kept outcome, in the order they came: "skipped" or
//                           "failed", a space, then "<path>[ -> <destination>]: <what
//                           happened>[ (Error <n> - <text>)]"
//   and <n> more not listed when more were counted than kept
//   <n> skips were counted without naming a file
//                           when the job's skip counter holds more than the outcomes name
//                           ("1 skip was ...")
// An entry stays one line whatever its names hold, as in coreutils' checksum lines: a line that
// holds a backslash, a control character or a byte that is not UTF-8 begins with a backslash,
// and in it a backslash is written "\\", a line feed "\n", a carriage return "\r", a tab
// "\t" and any other such byte "\xHH". Every line but the first that does not begin with
// "skipped ", "failed ", "\skipped " or "\failed " is a note.
#pragma once

#include <time.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/outcome.h"

namespace rd {

// What a job left out, as its end sees it.
struct FailureFacts {
    // The job's summary line.
    std::string summary;
    // The skips and failures kept by the outcome log.
    std::vector<NodeOutcome> kept;
    // Every skip and failure the log counted, kept or not.
    size_t counted = 0;
    // The job's skip counter.
    uint32_t skips = 0;

    // Skips counted that no outcome names (a copy short only of its metadata is named without
    // being counted as a skip).
    size_t UnnamedSkips() const;
    // Skips and failures in all: what the report accounts for.
    size_t Total() const { return counted + UnnamedSkips(); }
};

// The report's text in the format above.
std::string FailureReportText(const FailureFacts& facts);

// "2026-12-08-153012": the report's name without its number or ".txt".
std::string ReportStem(const tm& localTime);

// Writes `text` as a new report named after `localTime` in `dataDir`/reports, making that
// folder when it is missing. Returns the report's path, or an empty string with `error` saying
// why nothing was written.
std::string WriteFailureReport(const std::string& dataDir, const tm& localTime,
                               const std::string& text, std::string& error);

// The tray message of a window job that left files out: how it ended ("Copy finished"), how
// many were left out, and the report a click opens.
std::string ReportNotice(const std::string& ended, size_t total, const std::string& reportPath);

// A window job that ran for this long says at its end that it is over, though nothing failed.
inline constexpr uint64_t kEndNoticeAfterMs = 5000;

// The desktop notice of such a job: "Copy finished: 12 files, 1.5 GiB in 0:47". Empty for a job
// that took less than kEndNoticeAfterMs.
std::string EndNotice(const std::string& ended, uint64_t files, uint64_t bytes,
                      uint64_t copyTimeMs);

}  // namespace rd
