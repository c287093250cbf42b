// Asks for the user name and password a host wants before it lists its shares.
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "platform/smb_client.h"

class QWidget;

namespace rd {

class Language;
class MessageTable;

// The dialog's texts; "%s" in the first three stands for the host.
struct CredentialsTexts {
    QString caption = "Connect to %s";
    QString ask = "%s wants a user name and password:";
    QString refused = "%s refused the user name or password. Try again:";
    QString user = "User name:";
    QString password = "Password:";
    QString ok = "OK";
    QString cancel = "Cancel";
};
// The texts of the "Credentials" section of `language`, and its OK and Cancel from `messages`.
CredentialsTexts CredentialsTextsOf(const Language& language, const MessageTable& messages);

// `refused`: the host turned the last ones down, which the dialog says. Nothing when the user
// cancels.
std::optional<smb::Credentials> AskCredentials(QWidget* parent, const std::string& host,
                                               bool refused, const CredentialsTexts& texts = {});

}  // namespace rd
