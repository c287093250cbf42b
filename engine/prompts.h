// The choices the question windows and the console wrapper offer, and the error text they
// show.
#pragma once

#include <cstdint>
#include <string>

namespace rd {

// Flags of the error prompt request.
namespace promptflag {
// An abort comes back to the asker as its answer instead of ending the job in the prompt.
constexpr uintptr_t kAbortReturns = 1;
// The Heal button is offered (read errors).
constexpr uintptr_t kHealAllowed = 256;
// Exists prompt: resume and rename are possible.
constexpr uintptr_t kResumePossible = 1;
constexpr uintptr_t kRenamePossible = 2;
}  // namespace promptflag

// The error number in decimal, then " - " and the system's text for it when there is one, in
// the language of `locale` when the C library has it (platform/system_error_text.h).
std::string ErrorText(int error, const std::string& locale = {});

}  // namespace rd
