#include "resume/resume_mode.h"

#include <string_view>

namespace rd {

ResumeMode ParseResumeMode(int argc, const char* const* argv) {
    constexpr std::string_view kResume = "/vnresume";
    ResumeMode mode;
    bool startup = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "/startup")
            startup = true;
        else if (arg == kResume && mode.kind == ResumeMode::None)
            mode.kind = ResumeMode::Window;
        else if (arg.size() > kResume.size() && arg.starts_with(kResume) &&
                 arg[kResume.size()] == '=') {
            mode.kind = ResumeMode::Marker;
            mode.markerPath = arg.substr(kResume.size() + 1);
        }
    }
    if (mode.kind == ResumeMode::Window && startup)
        mode.kind = ResumeMode::Startup;
    return mode;
}

}  // namespace rd
