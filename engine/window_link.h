// How engine threads reach the progress window: a synchronous send that waits for the
// window thread's answer, and a post that does not wait.
#pragma once

#include <cstdint>
#include <string>

namespace rd {

class WindowLink {
public:
    virtual ~WindowLink() = default;
    // Handled on the window thread; the caller waits for the result. Called on the window
    // thread itself it runs directly.
    virtual intptr_t Send(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
    virtual void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
};

// Lines for an attached console wrapper; does nothing when none is attached.
class ConsoleSink {
public:
    virtual ~ConsoleSink() = default;
    virtual bool Attached() const = 0;
    // A line of at most 79 characters; with `newLine` it stays, without it the next one
    // overwrites it.
    virtual void Line(const std::string& text, bool newLine) = 0;
};

}  // namespace rd
