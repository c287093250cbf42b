#include "ui/system_power.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QtGlobal>

namespace rd {

bool PowerOff() {
    // Set at all, even to nothing, the variable keeps the real power-off out of reach.
    if (qEnvironmentVariableIsSet("REDODORI_FAKE_POWEROFF")) {
        QFile file(QFile::decodeName(qgetenv("REDODORI_FAKE_POWEROFF")));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const QByteArray text("poweroff\n");
        return file.write(text) == text.size();
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "PowerOff");
    // Not interactive: no authentication dialog; logind decides from the session's rights.
    call << false;
    return bus.call(call).type() == QDBusMessage::ReplyMessage;
}

}  // namespace rd
