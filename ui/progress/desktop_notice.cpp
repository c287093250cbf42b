#include "ui/progress/desktop_notice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace rd {

namespace {

constexpr int kAnswerWaitMs = 2000;
// The urgency hint's levels.
constexpr uchar kNormal = 1;
constexpr uchar kLow = 0;

}  // namespace

bool SendDesktopNotice(const QString& text, bool warning) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications",
                                                       "/org/freedesktop/Notifications",
                                                       "org.freedesktop.Notifications", "Notify");
    QVariantMap hints;
    hints["urgency"] = QVariant::fromValue(warning ? kNormal : kLow);
    hints["desktop-entry"] = QString("redodori");
    call << QString("RedoDori") << 0u << QString(warning ? "dialog-warning" : "redodori")
         << text.section('\n', 0, 0) << text.section('\n', 1) << QStringList() << hints << -1;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kAnswerWaitMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace rd
