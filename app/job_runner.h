// Runs a job line to its end without windows: the intake, the engine and the end of the job.
// Questions get their preset answers (Skip), and stderr says so.
#pragma once

#include <string>

namespace rd {

class Store;

// Runs the job `line` asks for with the settings of `store`, and ends the process when the job
// ends (exit code 0, as every end of a job). Returns only for lines it cannot run here, with
// the exit status for them.
int RunJobWithoutWindows(const std::string& line, Store& store);

}  // namespace rd
