// The resume manager mode of the program: the list window, the start-up resume, or the
// restart of one file copy from its resume marker.
#pragma once

#include "resume/resume_mode.h"

namespace rd {

// Runs `mode` (not ResumeMode::None) to its end and returns the exit code. The window and the
// start-up resume end once their window is closed and every pop-up has gone; without a
// `display` the window, which nobody could close, is not shown.
int RunResumeManager(int argc, char** argv, const ResumeMode& mode, bool display);

// Starts this program detached with `argument`, without a shell, so that it outlives the
// manager and leaves no zombie behind.
bool LaunchDetached(const std::string& program, const std::string& argument, std::string& error);

}  // namespace rd
