#include "app/console_prompts.h"

#include <cctype>

#include "engine/prompts.h"
#include "platform/message_texts.h"

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
PromptKey<Answer> Incorrect(char typed, const PromptTexts& texts) {
    PromptKey<Answer> key;
    key.echo = FillIn(texts.incorrect, {std::string_view(&typed, 1)}) + " \r\n";
    return key;
}

// The caption, the message and the question, then a line for each of `keys` that has a text.
std::string Listing(const std::string& message, const PromptTexts& texts, std::string_view keys) {
    std::string out = texts.caption + "\r\n" + message + "\r\n" + texts.question + "\r\n";
    for (const char key : keys) {
        const auto text = texts.keys.find(key);
        if (text != texts.keys.end())
            out += std::string("[") + key + "] - " + text->second + "\r\n";
    }
    return out + texts.choice + " ";
}

}  // namespace

const PromptTexts& BuiltInErrorTexts() {
    static const PromptTexts texts{"Copy process error",
                                   "What RedoDori should do with this problem?",
                                   {{'A', "Abort copy process"},
                                    {'H', "Bypass corrupted regions"},
                                    {'R', "Retry operation"},
                                    {'E', "Retry all"},
                                    {'S', "Skip this file"},
                                    {'K', "Skip all"}},
                                   "Your choice:",
                                   "Incorrect choice - [%s], please retry:"};
    return texts;
}

const PromptTexts& BuiltInExistsTexts() {
    static const PromptTexts texts{"File already exists",
                                   "What RedoDori should do now?",
                                   {{'A', "Abort copy process"},
                                    {'R', "Resume copy process"},
                                    {'U', "Resume all"},
                                    {'O', "Overwrite existing file"},
                                    {'E', "Overwrite all"},
                                    {'S', "Skip this file"},
                                    {'K', "Skip all"},
                                    {'N', "Rename old file"},
                                    {'M', "Rename all"}},
                                   "Your choice:",
                                   "Incorrect choice - [%s], please retry:"};
    return texts;
}

const PromptTexts& BuiltInNamesTexts() {
    static const PromptTexts texts{"Names the destination cannot take",
                                   "Rename them, skip them, or abort the job?",
                                   {{'R', "Rename"}, {'S', "Skip those"}, {'A', "Abort"}},
                                   "Your choice:",
                                   "Incorrect choice - [%s], please retry:"};
    return texts;
}

std::string ErrorPromptListing(const std::string& message, bool healEnabled,
                               const PromptTexts& texts) {
    return Listing(message, texts, healEnabled ? "AHRESK" : "ARESK");
}

PromptKey<ErrorAnswer> ErrorPromptKey(char typed, bool healEnabled, bool abortReturns,
                                      const PromptTexts& texts) {
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
            return healEnabled ? Given('H', ErrorAnswer::Heal)
                               : Incorrect<ErrorAnswer>(typed, texts);
        case 'r': return Given('R', ErrorAnswer::Retry);
        case 'e': return Given('E', ErrorAnswer::Retry, ErrorPolicy::Retry);
        case 's': return Given('S', ErrorAnswer::Skip);
        case 'k': return Given('K', ErrorAnswer::Skip, ErrorPolicy::Skip);
        default: return Incorrect<ErrorAnswer>(typed, texts);
    }
}

std::string ExistsPromptListing(const std::string& message, uintptr_t flags,
                                const PromptTexts& texts) {
    std::string keys = "A";
    if (flags & promptflag::kResumePossible)
        keys += "RU";
    keys += "OESK";
    if (flags & promptflag::kRenamePossible)
        keys += "N";
    return Listing(message, texts, keys + "M");
}

PromptKey<ExistsAnswer> ExistsPromptKey(char typed, uintptr_t flags, const PromptTexts& texts) {
    const bool resume = flags & promptflag::kResumePossible;
    const bool rename = flags & promptflag::kRenamePossible;
    switch (std::tolower(static_cast<unsigned char>(typed))) {
        case 'a': {
            PromptKey<ExistsAnswer> key;
            key.echo = "[A]\r\n";
            key.endJob = true;
            return key;
        }
        case 'r':
            return resume ? Given('R', ExistsAnswer::Resume)
                          : Incorrect<ExistsAnswer>(typed, texts);
        case 'u':
            return resume ? Given('U', ExistsAnswer::Resume, ExistsPolicy::TryResume)
                          : Incorrect<ExistsAnswer>(typed, texts);
        case 'o': return Given('O', ExistsAnswer::Overwrite);
        case 'e': return Given('E', ExistsAnswer::Overwrite, ExistsPolicy::Overwrite);
        case 's': return Given('S', ExistsAnswer::Skip);
        case 'k': return Given('K', ExistsAnswer::Skip, ExistsPolicy::Skip);
        case 'n':
            return rename ? Given('N', ExistsAnswer::RenameOld)
                          : Incorrect<ExistsAnswer>(typed, texts);
        case 'm': return Given('M', ExistsAnswer::RenameOld, ExistsPolicy::RenameOld);
        default: return Incorrect<ExistsAnswer>(typed, texts);
    }
}

std::string NamesPromptListing(const std::string& message, const PromptTexts& texts) {
    return Listing(message, texts, "RSA");
}

PromptKey<NamesAnswer> NamesPromptKey(char typed, const PromptTexts& texts) {
    switch (std::tolower(static_cast<unsigned char>(typed))) {
        case 'a': {
            PromptKey<NamesAnswer> key;
            key.echo = "[A]\r\n";
            key.endJob = true;
            return key;
        }
        case 'r': return Given('R', NamesAnswer::Rename);
        case 's': return Given('S', NamesAnswer::Skip);
        default: return Incorrect<NamesAnswer>(typed, texts);
    }
}

}  // namespace rd
