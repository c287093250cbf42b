// Asks for a password on a terminal without showing what is typed, and for the other answers of
// a login as they are typed.
#pragma once

#include <optional>
#include <string>

namespace rd {

// Writes `prompt` to `out`, reads one line from the terminal `in` with its echo off, restores
// the terminal as it was and ends the line on `out`. Nothing when `in` is not a terminal or the
// input ends before a line does.
std::optional<std::string> AskPassword(int in, int out, const std::string& prompt);

// Writes `prompt` to `out` and reads one line from the terminal `in`, shown as it is typed.
// Nothing when `in` is not a terminal or the input ends before a line does.
std::optional<std::string> AskLine(int in, int out, const std::string& prompt);

}  // namespace rd
