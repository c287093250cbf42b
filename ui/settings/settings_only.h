// The settings-only start: `redodori` without a job shows the settings dialog alone.
#pragma once

#include <string>

namespace rd {

// Holds SIGTERM and SIGINT back until RunSettingsOnly can take them, so that an early one
// closes the dialog instead of killing the program. Called first thing, before any thread.
void HoldCloseSignals();

// Shows the settings dialog of the line's profile without OK until it is hidden; SIGTERM and
// SIGINT close it as its Cancel does (off screen that is the only way to close it). Needs the
// application object; returns the exit status, 0.
int RunSettingsOnly(const std::string& line);

}  // namespace rd
