// The program's own lines on stderr.
#pragma once

#include <string_view>

namespace rd {

// Prints `text` on stderr, each of its lines (ended by "\r\n" or "\n") after "redodori: ", with
// every control character in it written as \xHH: names may hold escape sequences, which would
// otherwise drive the terminal.
void SayOnStderr(std::string_view text);

}  // namespace rd
