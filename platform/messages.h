// The numbered messages between processes (the bus and the console packets), which also name
// the progress window's cases in its own code.
#pragma once

#include <cstdint>

namespace rd::msg {

constexpr uint32_t WM_QUIT = 18;
constexpr uint32_t WMU_ENDJOB = 1524;
constexpr uint32_t WMU_DOCKQUEUE = 2035;
constexpr uint32_t WMU_JOBSTATS = 2036;
constexpr uint32_t WMU_HANDOFF = 2237;
constexpr uint32_t WMU_CONTROL = 2238;
constexpr uint32_t WMU_COMMAND = 2239;
constexpr uint32_t WMU_NEXTSOURCE = 2240;
// The end of a hand-off (number of sources, start time) and the running job's answer to it.
constexpr uint32_t WMU_HANDOFFEND = 2241;
constexpr uint32_t WMU_HANDOFFANSWER = 2242;
constexpr uint32_t WMU_TRAYICON = 2245;
constexpr uint32_t WMU_STARTUPIDLE = 2375;
constexpr uint32_t WMU_SETTEXT = 34125;
constexpr uint32_t WMU_COMPLETE = 34126;

// Sub-commands of WMU_COMMAND.
constexpr uintptr_t kCmdStartJob = 0;
constexpr uintptr_t kCmdPrepare = 1;
constexpr uintptr_t kCmdListComplete = 2;
constexpr uintptr_t kCmdLockOptions = 3;
constexpr uintptr_t kCmdParseDestinations = 4;

// wParam of WMU_SETTEXT.
constexpr uintptr_t kTextCurrentFile = 1;
constexpr uintptr_t kTextStatus = 2;

}  // namespace rd::msg
