// What the console wrapper writes for the job's console text: whole lines ending in a line feed,
// the progress line redrawn in place on a terminal only, no progress line over an open
// question or under the job's summary, and control characters and bytes that are not UTF-8 in
// names made visible.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rd {

struct ConsoleScreenOptions {
    bool terminal = false;  // stdout is a terminal: the progress line is drawn and redrawn
    bool quiet = false;     // no progress line and no "File:" lines
    bool verbose = false;   // the settings summary the job sends at its start is shown
    size_t width = 80;      // the terminal's columns
};

class ConsoleScreen {
public:
    explicit ConsoleScreen(const ConsoleScreenOptions& options) : options_(options) {}

    // The bytes to write for one text packet of the job.
    std::string Text(std::string_view text);

    // A question waits for its answer: progress lines are left out, and other lines are held
    // back until the answer's echo has been shown under it.
    void QuestionOpen(bool open) { questionOpen_ = open; }

    // The job has sent its result: what follows is its summary, and no progress line.
    void JobEnded() { ended_ = true; }

    // Ends the line on screen, if one is open, before something else is written (a note on
    // stderr, the shell's prompt).
    std::string CloseLine();

private:
    std::string Render(std::string_view text);
    std::string Line(std::string_view line, bool stays);
    std::string Partial(std::string_view text);

    ConsoleScreenOptions options_;
    std::string held_;
    bool questionOpen_ = false;
    bool ended_ = false;
    bool progressShown_ = false;  // a progress line is on screen without its line end
    bool partialOpen_ = false;    // text without a line end is on screen (a question's prompt)
    bool inSettings_ = false;     // inside the settings summary
    bool showingHeld_ = false;    // the held lines are shown: their progress lines are stale
};

}  // namespace rd
