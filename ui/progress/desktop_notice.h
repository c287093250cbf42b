// The desktop's own notification (freedesktop notifications over D-Bus) at the end of a job,
// which stays on the desktop after the process has gone.
#pragma once

#include <QString>

namespace rd {

// Sends `text` (its first line the summary, the rest the body) to the notification server of
// the session bus. False when there is none, or it did not answer within two seconds.
bool SendDesktopNotice(const QString& text, bool warning);

}  // namespace rd
