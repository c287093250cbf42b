// Reads what lstat tells about an entry of a walk, with the walk's patience for slow devices.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/fs.h"

namespace rd {

// Reads the attributes of `name` in the folder open as `at` (AT_FDCWD: `name` is `full`), trying
// again 50 ms x attempt later after each failure, up to 10 attempts: a source on a slow or
// just-woken device may not answer at once. A path that does not exist, cannot be searched,
// loops or is too long never becomes reachable by waiting: it is given up at once, and `error`
// gets the errno. A walk being stopped (`stop`, from any thread) waits no longer.
std::optional<fs::Attributes> FindEntry(int at, const std::string& name, const std::string& full,
                                        int* error = nullptr,
                                        const std::function<bool()>& stop = {});

}  // namespace rd
