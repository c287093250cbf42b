// The texts of the questions a console wrapper lists, taken from the job's language file: the
// prompts' sections give the captions, the questions and the lines of the keys.
#pragma once

#include "app/console_prompts.h"
#include "look/language.h"

namespace rd {

// What `language` gives of the questions' texts; each text it lacks stays the built-in one.
ConsolePromptTexts ConsolePromptTextsOf(const Language& language);

}  // namespace rd
