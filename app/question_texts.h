// The texts of the engine's questions, made from their facts and the language's messages, and
// the choices each question offers.
#pragma once

#include <cstdint>
#include <string>

#include "engine/questions.h"

namespace rd {

class MessageTable;

std::string ErrorQuestionText(const ErrorFacts& facts, const MessageTable& texts);
// The error prompt's flags for the question: Heal offered, Abort given back to the asker.
uintptr_t ErrorQuestionFlags(const ErrorFacts& facts);

std::string ExistsQuestionText(const ExistsFacts& facts, const MessageTable& texts);
// The existing-file prompt's flags: resume and rename possible.
uintptr_t ExistsQuestionFlags(const ExistsFacts& facts);

// The findings of the whole-job question about names, one a line ("\r\n" between them) under
// a first line, each kept on its line as the failure report keeps its entries; sizes in human
// units. A last line counts those not listed.
std::string NamesQuestionText(const NamesFacts& facts, const MessageTable& texts);

}  // namespace rd
