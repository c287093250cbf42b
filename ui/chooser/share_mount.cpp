#include "ui/chooser/share_mount.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "platform/mounts.h"

namespace rd {

namespace {

QString GvfsFolder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QString base = runtime.isEmpty() ? QString("/run/user/%1").arg(::getuid())
                                           : QString::fromLocal8Bit(runtime);
    return base + "/gvfs";
}

// GVfs escapes some characters of its folder names; they are compared decoded and in lower case.
QString FindGvfsMount(const ShareLocation& location) {
    const QString wanted = QString::fromStdString(GvfsFolderName(location));
    const QDir folder(GvfsFolder());
    for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QUrl::fromPercentEncoding(name.toUtf8()).toLower() == wanted.toLower())
            return folder.filePath(name);
    }
    return {};
}

ShareFolder Below(const std::string& folder, const ShareLocation& location) {
    return {folder + "/" + location.rest, {}};
}

}  // namespace

ShareFolder LocalFolderOf(const ShareLocation& location, const smb::Credentials& credentials) {
    const std::string point = mounts::PointOf(mounts::Table(), CifsSource(location));
    if (!point.empty())
        return Below(point, location);
    QString mounted = FindGvfsMount(location);
    if (!mounted.isEmpty())
        return Below(mounted.toStdString(), location);

    const QString url = QString::fromStdString(ShareUrl(location.host, location.share));
    QProcess gio;
    QStringList arguments = {"mount"};
    if (credentials.user.empty())
        arguments << "--anonymous";
    arguments << url;
    gio.start("gio", arguments);
    if (!gio.waitForStarted(5000))
        return {{}, url.toStdString() + " is not mounted, and gio cannot be started to mount it"};
    // gio asks for the user, the domain and the password, in that order.
    if (!credentials.user.empty())
        gio.write(
            QByteArray::fromStdString(credentials.user + "\n\n" + credentials.password + "\n"));
    gio.closeWriteChannel();
    if (!gio.waitForFinished(30000)) {
        gio.kill();
        gio.waitForFinished(1000);
        return {{}, url.toStdString() + " could not be mounted within 30 seconds"};
    }
    mounted = FindGvfsMount(location);
    if (gio.exitCode() != 0 || mounted.isEmpty()) {
        // gio's own verdict, not the warnings of the volume monitors before it.
        const QString said =
            QString::fromLocal8Bit(gio.readAllStandardOutput() + gio.readAllStandardError());
        // Asked for credentials once more: the ones given were turned down.
        QString why = said.count("Authentication Required") > 1
                          ? "the user name or password was refused"
                          : "gio mount failed";
        for (const QString& line : said.split('\n')) {
            if (line.startsWith("gio:"))
                why = line.mid(4).trimmed();
        }
        return {{}, url.toStdString() + " could not be mounted: " + why.toStdString()};
    }
    return Below(mounted.toStdString(), location);
}

}  // namespace rd
