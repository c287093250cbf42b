#include "ui/chooser/credentials_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace rd {

std::optional<smb::Credentials> AskCredentials(QWidget* parent, const std::string& host,
                                               bool refused) {
    QDialog dialog(parent);
    dialog.setObjectName("CredentialsDialog");
    const QString name = QString::fromStdString(host);
    dialog.setWindowTitle("Connect to " + name);
    auto* text = new QLabel(refused ? name + " refused the user name or password. Try again:"
                                    : name + " wants a user name and password:",
                            &dialog);
    auto* user = new QLineEdit(&dialog);
    user->setObjectName("User");
    auto* password = new QLineEdit(&dialog);
    password->setObjectName("Password");
    password->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout;
    form->addRow("User name:", user);
    form->addRow("Password:", password);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addLayout(form);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return smb::Credentials{user->text().toStdString(), password->text().toStdString()};
}

}  // namespace rd
