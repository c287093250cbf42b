#include "console/console_screen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rd {
namespace {

constexpr char kErase[] = "\r\x1b[K";

// What a screen writes for a sequence of steps: job text, or "?" / "!" to open / answer a
// question, "=" for the job's result.
std::string Shown(const ConsoleScreenOptions& options, const std::vector<std::string>& steps) {
    ConsoleScreen screen(options);
    std::string out;
    for (const std::string& step : steps) {
        if (step == "?" || step == "!")
            screen.QuestionOpen(step == "?");
        else if (step == "=")
            screen.JobEnded();
        else
            out += screen.Text(step);
    }
    return out + screen.CloseLine();
}

TEST(ConsoleScreen, LinesProgressAndQuestions) {
    const ConsoleScreenOptions tty{true, false, false, 20};
    const ConsoleScreenOptions wide{true, false, false, 80};
    const ConsoleScreenOptions file{false, false, false, 80};
    const ConsoleScreenOptions quiet{true, true, false, 80};
    const ConsoleScreenOptions verbose{true, false, true, 80};
    const std::string settings =
        "RedoDori v2.83 loaded by console wrapper\r\n***Current settings***\r\nSpeed limit:  "
        "None\r\n\r\n**********************\r\nPreparing filelist...\r";
    const struct {
        const char* what;
        ConsoleScreenOptions options;
        std::vector<std::string> steps;
        std::string expected;
    } cases[] = {
        {"padding goes, CR LF becomes LF", tty, {"File: a   \r\n"}, "File: a\n"},
        {"a progress line is redrawn in place and cut to the width",
         tty,
         {"Total 1%\r", "Total 2% of 12345678901234567890\r", "done\r\n"},
         std::string(kErase) + "Total 1%" + kErase + "Total 2% of 1234567" + kErase + "done\n"},
        {"no progress line in a file", file, {"Total 1%\r", "done\r\n"}, "done\n"},
        {"quiet: no progress and no file lines",
         quiet,
         {"File: a\r\n", "Total 1%\r", "x\r\n"},
         "x\n"},
        {"the settings summary is left out",
         wide,
         {settings, "File: a\r\n"},
         std::string(kErase) + "Preparing filelist..." + kErase + "File: a\n"},
        {"verbose shows it",
         verbose,
         {"RedoDori v2.83 loaded by console wrapper\r\n"},
         "RedoDori v2.83 loaded by console wrapper\n"},
        {"nothing is drawn over a question; held lines follow its answer",
         tty,
         {"Total 1%\r", "Copy process error\r\nYour choice: ", "?", "Total 2%\r", "File: b\r\n",
          "!", "[S]\r\n"},
         std::string(kErase) + "Total 1%" + kErase +
             "Copy process error\nYour choice: [S]\nFile: b\n"},
        {"no progress line after the result",
         tty,
         {"=", "Copy finished: 1 of 1\r\n", "Total\r", "File: a\r\n"},
         "Copy finished: 1 of 1\n"},
        {"control characters are shown escaped",
         file,
         {"File: a\x1b]0;x\x07\xc2\x9b"
          "b\x7f\r\n"},
         "File: a\\x1b]0;x\\x07\\xc2\\x9bb\\x7f\n"},
        {"bytes that are not UTF-8 are shown escaped, UTF-8 as it is",
         file,
         {"File: caf\xe9 \xff\xfe gr\xc3\xbc\xc3\x9f"
          "e \xe2\x82\r\n"},
         "File: caf\\xe9 \\xff\\xfe gr\xc3\xbc\xc3\x9f"
         "e \\xe2\\x82\n"},
        {"an open prompt is ended at the close", file, {"Your choice: "}, "Your choice: \n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Shown(c.options, c.steps), c.expected) << c.what;
}

}  // namespace
}  // namespace rd
