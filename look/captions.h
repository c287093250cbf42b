// Applies a language to the windows: captions and hints by the component-name rule, and single
// texts by key. A key the language does not give brings back the control's built-in text, so a
// language that lacks a key, or a file that is broken, never leaves a control without its text.
#pragma once

#include <QString>
#include <string_view>

class QMenu;
class QMessageBox;
class QWidget;
class QObject;

namespace rd {

class Language;
class MessageTable;

// Re-captions `container` and each of its direct children (windows of their own and unnamed
// widgets aside) from `section`: the container's own caption ("Form_c", or its name and "_c"
// for a group box), each child's caption when its name asks for one, and each child's hint.
// Children of children are left alone. Does nothing without a language.
void TranslateWindow(QWidget& container, std::string_view section, const Language& language);

// Re-captions every item of `menu` from `section` (the item's name and "_c"). A separator given
// a text other than "-" becomes an item with that text; "-" makes it a separator again. Does
// nothing without a language.
void TranslateMenu(QMenu& menu, std::string_view section, const Language& language);

// The language's text for `key`, else `builtIn`.
QString LanguageText(const Language& language, std::string_view section, std::string_view key,
                     const QString& builtIn);

// The text `object` had before any language was applied to it: `current` the first time, and
// what was remembered then every later time. `slot` names the text ("caption", "hint").
QString BuiltInText(QObject& object, const char* slot, const QString& current);

// The Yes, No, OK and Cancel buttons of `box` in the language of `messages`.
void CaptionButtons(QMessageBox& box, const MessageTable& messages);

QString FromUtf8(std::string_view text);

}  // namespace rd
