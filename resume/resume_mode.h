// The resume manager's forms of the command line. Each is an argument of its own, so that a
// job whose paths hold "/vnresume" is still a job.
#pragma once

#include <string>

namespace rd {

struct ResumeMode {
    enum Kind {
        None,     // not the resume manager
        Window,   // "/vnresume": the list window
        Startup,  // "/vnresume" and "/startup": resume the records marked for it
        Marker,   // "/vnresume=PATH": restart one file copy from its marker
    } kind = None;
    std::string markerPath;
};

ResumeMode ParseResumeMode(int argc, const char* const* argv);

}  // namespace rd
