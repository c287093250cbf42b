#include "program/console_prompt_texts.h"

#include <string>

namespace rd {

namespace {

PromptTexts TextsOf(const Language& language, std::string_view section, PromptTexts texts) {
    texts.caption = language.Text(section, "Form_c", texts.caption);
    texts.question = language.Text(section, "Label1_c", texts.question);
    for (auto& [key, text] : texts.keys)
        text = language.Text(section, std::string("Console") + key + "_c", text);
    texts.choice = language.Text(section, "ConsoleChoice_c", texts.choice);
    texts.incorrect = language.Text(section, "ConsoleIncorrect_c", texts.incorrect);
    return texts;
}

}  // namespace

ConsolePromptTexts ConsolePromptTextsOf(const Language& language) {
    return {TextsOf(language, section::kErrorPrompt, BuiltInErrorTexts()),
            TextsOf(language, section::kExistsPrompt, BuiltInExistsTexts()),
            TextsOf(language, section::kNamesPrompt, BuiltInNamesTexts())};
}

}  // namespace rd
