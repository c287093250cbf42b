// The end-of-job notice sent to the desktop's notification server: on a private session bus, a
// stand-in server (on a thread of its own, since the sender waits for its answer) records what
// it got; without a server the sender says so.
#include <QDBusConnection>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include "ui/progress/desktop_notice.h"

namespace rd {

class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList got;  // app, icon, summary, body, urgency

public slots:
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int) {
        got = {app, icon, summary, body, QString::number(hints.value("urgency").toUInt())};
        return 7;
    }
};

class DesktopNoticeTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!bus_.waitForStarted())
            QSKIP("needs dbus-daemon (scripts/setup.sh installs dbus)");
        QVERIFY(bus_.waitForReadyRead());
        const QByteArray address = bus_.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        server_.moveToThread(&thread_);
        thread_.start();
        QDBusConnection connection = QDBusConnection::connectToBus(QString(address), "server");
        QVERIFY(connection.registerObject("/org/freedesktop/Notifications", &server_,
                                          QDBusConnection::ExportAllSlots));
        QVERIFY(connection.registerService("org.freedesktop.Notifications"));
    }

    void NoticeReachesTheServer() {
        QVERIFY(SendDesktopNotice("Copy finished with 2 skips.\nClick here", true));
        QCOMPARE(server_.got, QStringList({"RedoDori", "dialog-warning",
                                           "Copy finished with 2 skips.", "Click here", "1"}));
        QVERIFY(SendDesktopNotice("Copy finished: 3 files", false));
        QCOMPARE(server_.got,
                 QStringList({"RedoDori", "redodori", "Copy finished: 3 files", "", "0"}));
    }

    void NoServerNoNotice() {
        QVERIFY(QDBusConnection(QStringLiteral("server"))
                    .unregisterService("org.freedesktop.Notifications"));
        QVERIFY(!SendDesktopNotice("Copy finished: 3 files", false));
    }

    void cleanupTestCase() {
        thread_.quit();
        thread_.wait();
        bus_.kill();
        bus_.waitForFinished();
    }

private:
    QProcess bus_;
    QThread thread_;
    NotificationServer server_;
};

}  // namespace rd

QTEST_MAIN(rd::DesktopNoticeTest)
#include "desktop_notice_test.moc"
