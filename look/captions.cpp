#include "look/captions.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QVariant>
#include <QWidget>

#include "look/language.h"

namespace rd {

namespace {

QString CaptionOf(const QWidget& widget) {
    if (auto* label = qobject_cast<const QLabel*>(&widget))
        return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(&widget))
        return button->text();
    if (auto* group = qobject_cast<const QGroupBox*>(&widget))
        return group->title();
    return widget.windowTitle();
}

void SetCaption(QWidget& widget, const QString& caption) {
    if (auto* label = qobject_cast<QLabel*>(&widget))
        label->setText(caption);
    else if (auto* button = qobject_cast<QAbstractButton*>(&widget))
        button->setText(caption);
    else if (auto* group = qobject_cast<QGroupBox*>(&widget))
        group->setTitle(caption);
    else
        widget.setWindowTitle(caption);
}

// The caption from `key`, else the built-in one.
void Caption(QWidget& widget, const std::string& key, std::string_view section,
             const Language& language) {
    const QString builtIn = BuiltInText(widget, "caption", CaptionOf(widget));
    SetCaption(widget, LanguageText(language, section, key, builtIn));
}

}  // namespace

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString BuiltInText(QObject& object, const char* slot, const QString& current) {
    const QByteArray property = QByteArray("rdBuiltIn_") + slot;
    const QVariant remembered = object.property(property.constData());
    if (remembered.isValid())
        return remembered.toString();
    object.setProperty(property.constData(), current);
    return current;
}

QString LanguageText(const Language& language, std::string_view section, std::string_view key,
                     const QString& builtIn) {
    const std::optional<std::string> value = language.Value(section, key);
    return value ? FromUtf8(*value) : builtIn;
}

void CaptionButtons(QMessageBox& box, const MessageTable& messages) {
    const std::pair<QMessageBox::StandardButton, int> buttons[] = {
        {QMessageBox::Yes, text_slot::kYes},
        {QMessageBox::No, text_slot::kNo},
        {QMessageBox::Ok, text_slot::kOk},
        {QMessageBox::Cancel, text_slot::kCancel}};
    for (auto [which, slot] : buttons)
        if (QAbstractButton* button = box.button(which))
            button->setText(FromUtf8(messages.Text(slot)));
}

void TranslateWindow(QWidget& container, std::string_view section, const Language& language) {
    if (!language.Active())
        return;
    const std::string own = ContainerKey(container.objectName().toStdString());
    if (!own.empty())
        Caption(container, own, section, language);
    for (QObject* object : container.children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (!child || child->isWindow() || child->objectName().isEmpty())
            continue;
        const std::string name = child->objectName().toStdString();
        if (const std::string key = CaptionKey(name); !key.empty())
            Caption(*child, key, section, language);
        const QString builtInHint = BuiltInText(*child, "hint", child->toolTip());
        child->setToolTip(LanguageText(language, section, HintKey(name), builtInHint));
    }
}

void TranslateMenu(QMenu& menu, std::string_view section, const Language& language) {
    if (!language.Active())
        return;
    for (QAction* item : menu.actions()) {
        if (item->objectName().isEmpty())
            continue;
        const std::string key = item->objectName().toStdString() + "_c";
        const bool separator =
            BuiltInText(*item, "separator", item->isSeparator() ? "-" : "") == "-";
        const QString builtIn = BuiltInText(*item, "caption", separator ? "-" : item->text());
        const QString caption = LanguageText(language, section, key, builtIn);
        item->setSeparator(caption == "-");
        if (caption != "-")
            item->setText(caption);
    }
}

}  // namespace rd
