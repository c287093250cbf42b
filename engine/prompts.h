// Asking the user through the progress window's prompts, and the texts the questions use.
#pragma once

#include <cstdint>
#include <string>

namespace rd {

struct EngineContext;

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

// Asks the error prompt and waits for the answer. The speed sample starts over afterwards, so
// the time the question was up is not counted as copy time.
intptr_t AskErrorPrompt(EngineContext& ctx, uintptr_t flags, const std::string& message);

// Asks the existing-file prompt; the answer holds the `onexist` bits 1, 2, 4 or 8.
intptr_t AskExistsPrompt(EngineContext& ctx, uintptr_t flags, const std::string& message);

// A writer-side answer of 64 or more stops the writers (`Terminating`), asks the window to end
// the job with code answer - 64 and is then taken as Retry.
intptr_t SettleWriterAbort(EngineContext& ctx, intptr_t answer);

// The error setting as the engine acts on it: 1 retry, 2 skip, 0 ask (also for a value it does
// not know, which would otherwise be asked again and again without an answer).
intptr_t ErrorPolicy(const EngineContext& ctx);

// True when the retry time-out is on and more than `skdel` ms passed since `start`.
bool RetryTimedOut(const EngineContext& ctx, uint64_t start);

}  // namespace rd
