#include "ui/progress/report_notice.h"

#include <QDesktopServices>
#include <QEventLoop>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include "ui/progress/tray_icon.h"

namespace rd {

bool ShowReportNotice(TrayIcon& tray, const QString& text, const QString& reportPath) {
    QSystemTrayIcon* icon = tray.Icon();
    if (!icon || !QSystemTrayIcon::supportsMessages())
        return false;
    // The job's icon went with its end; the message needs an icon to come from, and its tip
    // tells the same as the message once that has gone.
    tray.SetTip(text);
    tray.Set(0);
    // The job is over and its windows are hidden: what this loop serves meanwhile can no
    // longer change the job.
    QEventLoop wait;
    QObject::connect(icon, &QSystemTrayIcon::messageClicked, &wait, [&wait, reportPath] {
        if (!reportPath.isEmpty())
            QDesktopServices::openUrl(QUrl::fromLocalFile(reportPath));
        wait.quit();
    });
    QTimer::singleShot(kReportNoticeMs, &wait, &QEventLoop::quit);
    icon->showMessage(
        "RedoDori", text,
        reportPath.isEmpty() ? QSystemTrayIcon::Information : QSystemTrayIcon::Warning,
        kReportNoticeMs);
    wait.exec();
    tray.Set(-1);
    return true;
}

}  // namespace rd
