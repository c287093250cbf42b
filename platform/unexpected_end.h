// The way out for an error nothing in the program expected: an exception that reached the top
// of the program's entry, of its event loop's handlers or of the job's thread. It is said on
// stderr, an attached console wrapper gets the final status 3, and the process ends at once
// with exit code 1, so that a script that runs the program itself sees the failure too; the
// job's other threads are not waited for, and a job kept for resume on crash stays stored as
// after a crash.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace rd::unexpected {

// The console wrapper's thread that is told; 0: none.
void SetWrapper(uint32_t threadId);

[[noreturn]] void End(const std::string& what);

// Runs `body`; an exception that leaves it ends the process as above.
template <typename Body>
void Guarded(Body&& body) {
    try {
        body();
    } catch (const std::exception& error) {
        End(error.what());
    } catch (...) {
        End("an exception of an unknown kind");
    }
}

}  // namespace rd::unexpected
