// Qt's own texts in the chosen language: the names of keys in the menus' shortcuts ("Strg+R"),
// the standard dialogs' buttons. They come from Qt's translations ("qtbase_de.qm").
#pragma once

#include "platform/language_facts.h"

namespace rd {

// Replaces the Qt translation installed before by the one for the language's locale; English
// (none) when the locale is empty or Qt has no translation for it. True when one was installed.
bool InstallQtTranslations(const LanguageFacts& facts);

}  // namespace rd
