// The two questions of a job as a console wrapper shows them: the listing, and what a key does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/job_policy.h"
#include "engine/questions.h"

namespace rd {

// The policy an "… all" answer sets for the rest of the job.
template <typename Answer>
struct AllAnswerPolicy;
template <>
struct AllAnswerPolicy<ErrorAnswer> {
    using type = ErrorPolicy;
};
template <>
struct AllAnswerPolicy<ExistsAnswer> {
    using type = ExistsPolicy;
};

// What a key typed at a question does.
template <typename Answer>
struct PromptKey {
    // The line sent back to the console.
    std::string echo;
    // The question is answered with this; none while the question stays open.
    std::optional<Answer> answer;
    // The job is to end at once (an abort the question itself carries out), with `endCode`.
    bool endJob = false;
    int endCode = 0;
    // An "all" answer: the policy takes this value for the rest of the job.
    std::optional<typename AllAnswerPolicy<Answer>::type> newPolicy;
};

// The error question: caption, the message, the question and the keys, ending "Your choice: ".
std::string ErrorPromptListing(const std::string& message, bool healEnabled);
// `abortReturns`: an abort is given back to the asker instead of ending the job here.
PromptKey<ErrorAnswer> ErrorPromptKey(char key, bool healEnabled, bool abortReturns);

// The existing-file question; `flags` bit 0: resume possible, bit 1: rename possible.
std::string ExistsPromptListing(const std::string& message, uintptr_t flags);
// Besides the keys of the window's buttons, "n" renames the old file (this one only).
PromptKey<ExistsAnswer> ExistsPromptKey(char key, uintptr_t flags);

}  // namespace rd
