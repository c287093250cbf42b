// The questions of a job as a console wrapper shows them: the listing, and what a key does.
#pragma once

#include <cstdint>
#include <map>
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
// The names question is asked once for the whole job: it has no "… all" answer.
template <>
struct AllAnswerPolicy<NamesAnswer> {
    using type = NamesPolicy;
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

// The texts of one question's listing, in the job's language (the prompt's section of the
// language file): its caption and question, the text after each key ("[A] - Abort copy
// process"), the last line without its trailing space and the wrong key's line with "%s" for
// the key, also without it.
struct PromptTexts {
    std::string caption;
    std::string question;
    std::map<char, std::string> keys;
    std::string choice;
    std::string incorrect;
};

// The built-in English texts of the questions.
const PromptTexts& BuiltInErrorTexts();
const PromptTexts& BuiltInExistsTexts();
const PromptTexts& BuiltInNamesTexts();

// The questions' texts, as the job's language gives them.
struct ConsolePromptTexts {
    PromptTexts error = BuiltInErrorTexts();
    PromptTexts exists = BuiltInExistsTexts();
    PromptTexts names = BuiltInNamesTexts();
};

// The error question: caption, the message, the question and the keys, ending "Your choice: ".
std::string ErrorPromptListing(const std::string& message, bool healEnabled,
                               const PromptTexts& texts = BuiltInErrorTexts());
// `abortReturns`: an abort is given back to the asker instead of ending the job here.
PromptKey<ErrorAnswer> ErrorPromptKey(char key, bool healEnabled, bool abortReturns,
                                      const PromptTexts& texts = BuiltInErrorTexts());

// The existing-file question; `flags` bit 0: resume possible, bit 1: rename possible.
std::string ExistsPromptListing(const std::string& message, uintptr_t flags,
                                const PromptTexts& texts = BuiltInExistsTexts());
// Besides the keys of the window's buttons, "n" renames the old file (this one only).
PromptKey<ExistsAnswer> ExistsPromptKey(char key, uintptr_t flags,
                                        const PromptTexts& texts = BuiltInExistsTexts());

// The question about what the destinations cannot take: rename, skip those, or abort.
std::string NamesPromptListing(const std::string& message,
                               const PromptTexts& texts = BuiltInNamesTexts());
// "a" ends the job, as the other questions' abort does.
PromptKey<NamesAnswer> NamesPromptKey(char key, const PromptTexts& texts = BuiltInNamesTexts());

}  // namespace rd
