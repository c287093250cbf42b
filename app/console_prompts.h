// The two questions of a job as a console wrapper shows them: the listing, and what a key does.
#pragma once

#include <cstdint>
#include <string>

namespace rd {

// What a key typed at a question does.
struct PromptKey {
    // The line sent back to the console.
    std::string echo;
    // The question is answered with `answer`.
    bool answered = false;
    intptr_t answer = 0;
    // The job is to end at once (an abort the question itself carries out), with `endCode`.
    bool endJob = false;
    int endCode = 0;
    // An "all" answer: the setting takes this value for the rest of the job (-1: none).
    int32_t newPolicy = -1;
};

// The error question: caption, the message, the question and the keys, ending "Your choice: ".
std::string ErrorPromptListing(const std::string& message, bool healEnabled);
// `abortReturns`: an abort is given back to the asker as 64 instead of ending the job here.
PromptKey ErrorPromptKey(char key, bool healEnabled, bool abortReturns);

// The existing-file question; `flags` bit 0: resume possible, bit 1: rename possible.
std::string ExistsPromptListing(const std::string& message, uintptr_t flags);
// Besides the keys of the window's buttons, "n" renames the old file (this one only).
PromptKey ExistsPromptKey(char key, uintptr_t flags);

}  // namespace rd
