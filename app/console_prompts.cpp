#include "app/console_prompts.h"

#include <cctype>

#include "engine/prompts.h"
#include "settings/job_settings.h"

namespace rd {

namespace {

PromptKey Answer(char shown, intptr_t answer, int32_t newPolicy = -1) {
    PromptKey key;
    key.echo = std::string("[") + shown + "]\r\n";
    key.answered = true;
    key.answer = answer;
    key.newPolicy = newPolicy;
    return key;
}

PromptKey Incorrect(char typed) {
    PromptKey key;
    key.echo = std::string("Incorrect choice - [") + typed + "], please retry: \r\n";
    return key;
}

}  // namespace

std::string ErrorPromptListing(const std::string& message, bool healEnabled) {
    std::string out = "Copy process error\r\n" + message +
                      "\r\nWhat RedoDori should do with this problem?\r\n"
                      "[A] - Abort copy process\r\n";
    if (healEnabled)
        out += "[H] - Bypass corrupted regions\r\n";
    out +=
        "[R] - Retry operation\r\n[E] - Retry all\r\n[S] - Skip this file\r\n[K] - Skip all\r\n"
        "Your choice: ";
    return out;
}

PromptKey ErrorPromptKey(char typed, bool healEnabled, bool abortReturns) {
    switch (std::tolower(static_cast<unsigned char>(typed))) {
        case 'a': {
            PromptKey key = Answer('A', answer::kAbort);
            if (!abortReturns) {
                key.answered = false;
                key.endJob = true;
            }
            return key;
        }
        case 'h':
            // Typing H at the console is the confirmation the window asks for.
            return healEnabled ? Answer('H', answer::kHeal) : Incorrect(typed);
        case 'r': return Answer('R', answer::kRetry);
        case 'e': return Answer('E', answer::kRetry, 1);
        case 's': return Answer('S', answer::kSkip);
        case 'k': return Answer('K', answer::kSkip, 2);
        default: return Incorrect(typed);
    }
}

std::string ExistsPromptListing(const std::string& message, uintptr_t flags) {
    std::string out = "File already exists\r\n" + message +
                      "\r\nWhat RedoDori should do now?\r\n[A] - Abort copy process\r\n";
    if (flags & promptflag::kResumePossible)
        out += "[R] - Resume copy process\r\n[U] - Resume all\r\n";
    out +=
        "[O] - Overwrite existing file\r\n[E] - Overwrite all\r\n[S] - Skip this file\r\n"
        "[K] - Skip all\r\n";
    if (flags & promptflag::kRenamePossible)
        out += "[N] - Rename old file\r\n";
    out += "[M] - Rename all\r\nYour choice: ";
    return out;
}

PromptKey ExistsPromptKey(char typed, uintptr_t flags) {
    const bool resume = flags & promptflag::kResumePossible;
    const bool rename = flags & promptflag::kRenamePossible;
    switch (std::tolower(static_cast<unsigned char>(typed))) {
        case 'a': {
            PromptKey key;
            key.echo = "[A]\r\n";
            key.endJob = true;
            return key;
        }
        case 'r': return resume ? Answer('R', onexist::kTryResume) : Incorrect(typed);
        case 'u':
            return resume ? Answer('U', onexist::kTryResume, onexist::kTryResume)
                          : Incorrect(typed);
        case 'o': return Answer('O', onexist::kOverwrite);
        case 'e': return Answer('E', onexist::kOverwrite, onexist::kOverwrite);
        case 's': return Answer('S', onexist::kSkip);
        case 'k': return Answer('K', onexist::kSkip, onexist::kSkip);
        case 'n': return rename ? Answer('N', onexist::kRenameOld) : Incorrect(typed);
        case 'm': return Answer('M', onexist::kRenameOld, onexist::kRenameOld);
        default: return Incorrect(typed);
    }
}

}  // namespace rd
