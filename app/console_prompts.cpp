#include "app/console_prompts.h"

#include <cctype>

#include "engine/prompts.h"

namespace rd {

namespace {

template <typename Answer>
PromptKey<Answer> Given(char shown, Answer answer,
                        std::optional<typename AllAnswerPolicy<Answer>::type> newPolicy = {}) {
    PromptKey<Answer> key;
    key.echo = std::string("[") + shown + "]\r\n";
    key.answer = answer;
    key.newPolicy = newPolicy;
    return key;
}

template <typename Answer>
PromptKey<Answer> Incorrect(char typed) {
    PromptKey<Answer> key;
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

PromptKey<ErrorAnswer> ErrorPromptKey(char typed, bool healEnabled, bool abortReturns) {
    switch (std::tolower(static_cast<unsigned char>(typed))) {
        case 'a': {
            PromptKey<ErrorAnswer> key = Given('A', ErrorAnswer::Abort);
            if (!abortReturns) {
                key.answer.reset();
                key.endJob = true;
            }
            return key;
        }
        case 'h':
            // Typing H at the console is the confirmation the window asks for.
            return healEnabled ? Given('H', ErrorAnswer::Heal) : Incorrect<ErrorAnswer>(typed);
        case 'r': return Given('R', ErrorAnswer::Retry);
        case 'e': return Given('E', ErrorAnswer::Retry, ErrorPolicy::Retry);
        case 's': return Given('S', ErrorAnswer::Skip);
        case 'k': return Given('K', ErrorAnswer::Skip, ErrorPolicy::Skip);
        default: return Incorrect<ErrorAnswer>(typed);
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

PromptKey<ExistsAnswer> ExistsPromptKey(char typed, uintptr_t flags) {
    const bool resume = flags & promptflag::kResumePossible;
    const bool rename = flags & promptflag::kRenamePossible;
    switch (std::tolower(static_cast<unsigned char>(typed))) {
        case 'a': {
            PromptKey<ExistsAnswer> key;
            key.echo = "[A]\r\n";
            key.endJob = true;
            return key;
        }
        case 'r': return resume ? Given('R', ExistsAnswer::Resume) : Incorrect<ExistsAnswer>(typed);
        case 'u':
            return resume ? Given('U', ExistsAnswer::Resume, ExistsPolicy::TryResume)
                          : Incorrect<ExistsAnswer>(typed);
        case 'o': return Given('O', ExistsAnswer::Overwrite);
        case 'e': return Given('E', ExistsAnswer::Overwrite, ExistsPolicy::Overwrite);
        case 's': return Given('S', ExistsAnswer::Skip);
        case 'k': return Given('K', ExistsAnswer::Skip, ExistsPolicy::Skip);
        case 'n':
            return rename ? Given('N', ExistsAnswer::RenameOld) : Incorrect<ExistsAnswer>(typed);
        case 'm': return Given('M', ExistsAnswer::RenameOld, ExistsPolicy::RenameOld);
        default: return Incorrect<ExistsAnswer>(typed);
    }
}

}  // namespace rd
