// The codes the question windows and the console wrapper answer with, and the error text they
// show.
#pragma once

#include <cstdint>
#include <string>

namespace rd {

// Answers of the error prompt.
namespace answer {
constexpr intptr_t kRetry = 1;
constexpr intptr_t kSkip = 2;
constexpr intptr_t kHeal = 4;
constexpr intptr_t kAbort = 64;
constexpr intptr_t kAbortAndKeep = 66;
}  // namespace answer

// Flags of the error prompt request.
namespace promptflag {
// An abort comes back to the asker as 64 + end code instead of ending the job in the prompt.
constexpr uintptr_t kAbortReturns = 1;
// The Heal button is offered (read errors).
constexpr uintptr_t kHealAllowed = 256;
// Exists prompt: resume and rename are possible.
constexpr uintptr_t kResumePossible = 1;
constexpr uintptr_t kRenamePossible = 2;
}  // namespace promptflag

// The error number in decimal, then " - " and the system's text for it when there is one.
std::string ErrorText(int error);

}  // namespace rd
