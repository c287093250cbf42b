#include "ui/chooser/credentials_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "look/captions.h"
#include "look/language.h"

namespace rd {

namespace {

QString WithHost(const QString& pattern, const QString& host) {
    return FromUtf8(FillIn(pattern.toStdString(), {host.toStdString()}));
}

}  // namespace

CredentialsTexts CredentialsTextsOf(const Language& language, const MessageTable& messages) {
    CredentialsTexts texts;
    using section::kCredentials;
    texts.caption = LanguageText(language, kCredentials, "Form_c", texts.caption);
    texts.ask = LanguageText(language, kCredentials, "Ask_c", texts.ask);
    texts.refused = LanguageText(language, kCredentials, "Refused_c", texts.refused);
    texts.user = LanguageText(language, kCredentials, "User_c", texts.user);
    texts.password = LanguageText(language, kCredentials, "Password_c", texts.password);
    texts.ok = FromUtf8(MessageText(messages, text_slot::kOk));
    texts.cancel = FromUtf8(MessageText(messages, text_slot::kCancel));
    return texts;
}

std::optional<smb::Credentials> AskCredentials(QWidget* parent, const std::string& host,
                                               bool refused, const CredentialsTexts& texts) {
    QDialog dialog(parent);
    dialog.setObjectName("CredentialsDialog");
    const QString name = QString::fromStdString(host);
    dialog.setWindowTitle(WithHost(texts.caption, name));
    auto* text = new QLabel(WithHost(refused ? texts.refused : texts.ask, name), &dialog);
    auto* user = new QLineEdit(&dialog);
    user->setObjectName("User");
    auto* password = new QLineEdit(&dialog);
    password->setObjectName("Password");
    password->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(texts.ok);
    buttons->button(QDialogButtonBox::Cancel)->setText(texts.cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout;
    form->addRow(texts.user, user);
    form->addRow(texts.password, password);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addLayout(form);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return smb::Credentials{user->text().toStdString(), password->text().toStdString()};
}

}  // namespace rd
