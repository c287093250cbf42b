#include "resume/stored_jobs_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/literal_list.h"
#include "test_support.h"

namespace rd {
namespace {

ResumeRecord Record(int32_t n, const std::string& command, const std::string& time,
                    bool autostart) {
    ResumeRecord record;
    record.n = n;
    record.command = command;
    record.time = time;
    record.autostart = autostart;
    return record;
}

TEST(StoredJobsText, NoRecordsSaySo) {
    EXPECT_EQ(StoredJobsText({}), "No stored jobs.\n");
}

TEST(StoredJobsText, EachJobWithItsSourcesAndDestinations) {
    test::TempDir dir;
    const std::string list = dir / "vnfrm3.lst";
    test::WriteFile(list, text::LiteralListBytes({"/src/a", "/src/b\x1b[2J"}));
    const std::vector<ResumeRecord> records = {
        Record(3, "/usr/bin/redodori |" + list + "|/d1/?/d2/?|uwq2", "2026-03-07 09:05", false),
        Record(7, "/usr/bin/redodori |" + list + "|/d3/?|uwq2", "", true)};
    EXPECT_EQ(StoredJobsText(records),
              "Job 3, saved 2026-03-07 09:05, resumes at login: no\n"
              "  source: /src/a\n"
              "  source: /src/b\\x1b[2J\n"
              "  destination: /d1/\n"
              "  destination: /d2/\n"
              "Job 7, saved Unknown, resumes at login: yes\n"
              "  source: /src/a\n"
              "  source: /src/b\\x1b[2J\n"
              "  destination: /d3/\n");
}

TEST(StoredJobsText, SourcesThatCannotBeReadAreUnknownWithTheReason) {
    test::TempDir dir;
    const std::string missing = dir / "vnfrm4.lst";
    const std::vector<ResumeRecord> records = {
        Record(4, "/usr/bin/redodori |" + missing + "|/d/?|uwq2", "t", true),
        Record(5, "no command here", "t", true)};
    EXPECT_EQ(StoredJobsText(records),
              "Job 4, saved t, resumes at login: yes\n"
              "  sources: unknown (the record's list file " +
                  missing +
                  " is missing)\n"
                  "  destination: /d/\n"
                  "Job 5, saved t, resumes at login: yes\n"
                  "  sources: unknown (the job holds no command)\n");
}

}  // namespace
}  // namespace rd
