// The texts of the engine's questions, made from their facts and the language's messages, and
// the question windows' answer codes turned into the engine's answers.
#pragma once

#include <cstdint>
#include <string>

#include "engine/questions.h"

namespace rd {

class MessageTable;

std::string ErrorQuestionText(const ErrorFacts& facts, const MessageTable& texts);
// The error prompt's flags for the question: Heal offered, Abort given back to the asker.
uintptr_t ErrorQuestionFlags(const ErrorFacts& facts);
// An answer code of the error prompt (1 retry, 2 skip, 4 heal, 64 + end code abort).
ErrorAnswer ErrorAnswerFromCode(intptr_t code);

std::string ExistsQuestionText(const ExistsFacts& facts, const MessageTable& texts);
// The existing-file prompt's flags: resume and rename possible.
uintptr_t ExistsQuestionFlags(const ExistsFacts& facts);
// The `onexist` bits the existing-file prompt answers with; 64 and more end the job.
ExistsAnswer ExistsAnswerFromBits(intptr_t bits);

}  // namespace rd
