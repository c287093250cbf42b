// Asks for a password on a terminal without showing what is typed.
#pragma once

#include <optional>
#include <string>

namespace rd {

// Writes `prompt` to `out`, reads one line from the terminal `in` with its echo off, restores
// the terminal as it was and ends the line on `out`. Nothing when `in` is not a terminal or the
// input ends before a line does.
std::optional<std::string> AskPassword(int in, int out, const std::string& prompt);

// The same on the process's controlling terminal (/dev/tty), for a password the server asks for
// when no credentials file was given.
std::optional<std::string> AskPasswordOnTerminal(const std::string& prompt);

}  // namespace rd
