// Asks for the user name and password a host wants before it lists its shares.
#pragma once

#include <optional>
#include <string>

#include "platform/smb_client.h"

class QWidget;

namespace rd {

// `refused`: the host turned the last ones down, which the dialog says. Nothing when the user
// cancels.
std::optional<smb::Credentials> AskCredentials(QWidget* parent, const std::string& host,
                                               bool refused);

}  // namespace rd
