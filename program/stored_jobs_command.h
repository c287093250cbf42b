// "--resume-list" and "--resume N": the stored jobs from a terminal. redodori-console reaches
// the stored jobs only through these.
#pragma once

#include <optional>
#include <string>

namespace rd {

// Runs "--resume-list" and "--resume N [--console ID]" and returns the exit status. Nothing when
// the command line asks for neither, and nothing when stored job N was taken: `line` is then the
// job's line (with the wrapper's switch "Lt<ID>" when --console gave one), which this process
// runs like any other job.
std::optional<int> RunStoredJobsCommand(int argc, char** argv, std::string& line);

}  // namespace rd
