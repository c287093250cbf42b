// The notification-area icon of a job: an image of the progress window's list by index, and
// the window's title as its tip.
#pragma once

#include <QIcon>
#include <QString>
#include <QVector>

class QSystemTrayIcon;
class QObject;

namespace rd {

// The built-in images: 0 the idle picture, 1 to 32 a bar filling up with the job's progress.
QVector<QIcon> BuiltInTrayImages();

class TrayIcon {
public:
    // The built-in images are drawn only where there is a notification area to show them.
    explicit TrayIcon(QObject* parent);

    // Shows the image at `index`; -1 removes the icon. False when there is no notification area
    // or no such image.
    bool Set(int index);
    // The tip; the icon is refreshed with its current image.
    void SetTip(const QString& tip);
    int Index() const { return index_; }
    QSystemTrayIcon* Icon() const { return icon_; }
    // A skin's images replace the built-in ones.
    void SetImages(QVector<QIcon> images) { images_ = std::move(images); }
    const QVector<QIcon>& Images() const { return images_; }

private:
    QSystemTrayIcon* icon_ = nullptr;
    QVector<QIcon> images_;
    int index_ = 0;
    QString tip_ = "RedoDori";
};

}  // namespace rd
