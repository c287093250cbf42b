// The desktop autostart entry that resumes interrupted jobs when the user logs in: it runs
// "<program> /vnresume /startup". It exists while resume on crash is on in either settings
// profile, and is removed when it is off in both.
#pragma once

#include <string>

namespace rd {

class Store;

// paths::AutostartDir() + "/redodori-resume.desktop".
std::string AutostartEntryPath();

// The entry's text for `program`, quoted as desktop entries want it; empty for a path that an
// entry cannot carry (a control character in it).
std::string AutostartEntryText(const std::string& program);

// Writes the entry for `program` (when it is missing or different) or removes it. The
// autostart folder is made when missing (0700); the entry is replaced in one step, never
// written through a link. False with `error` when that fails.
bool SetResumeAutostart(bool on, const std::string& program, std::string& error);

// True when resume on crash ("resume") is on in the local or the network profile.
bool ResumeOnCrashAnywhere(Store& store);

// SetResumeAutostart(ResumeOnCrashAnywhere(store), program): called whenever the setting may
// have changed.
bool UpdateResumeAutostart(Store& store, const std::string& program, std::string& error);

// After the user switched resume on crash to `on` for the running job or a stored profile: the
// entry is there while it is on for the job or in either stored profile.
bool AutostartAfterChoice(bool on, Store& store, const std::string& program, std::string& error);

}  // namespace rd
