#include "ui/progress/tray_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace rd {

QVector<QIcon> BuiltInTrayImages() {
    QVector<QIcon> images;
    for (int index = 0; index <= 32; ++index) {
        QPixmap picture(16, 16);
        picture.fill(Qt::transparent);
        QPainter p(&picture);
        p.setPen(QColor(40, 40, 90));
        p.setBrush(QColor(230, 230, 240));
        p.drawRect(0, 2, 15, 11);
        if (index > 0) {
            // 14 pixels of bar for 32 steps: the bar grows by one pixel every two or three.
            const int width = (index * 14 + 31) / 32;
            p.fillRect(1, 3, width, 10, QColor(30, 150, 60));
        } else {
            p.setPen(QColor(30, 90, 200));
            p.drawLine(4, 7, 11, 7);
            p.drawLine(8, 4, 11, 7);
            p.drawLine(8, 10, 11, 7);
        }
        p.end();
        images.push_back(QIcon(picture));
    }
    return images;
}

TrayIcon::TrayIcon(QObject* parent) {
    // Without a notification area no image is ever seen, so a job without a display draws none.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        icon_ = new QSystemTrayIcon(parent);
        images_ = BuiltInTrayImages();
    }
}

bool TrayIcon::Set(int index) {
    if (index < 0) {
        if (icon_)
            icon_->hide();
        return icon_ != nullptr;
    }
    index_ = index;
    if (!icon_ || index >= images_.size())
        return false;
    icon_->setIcon(images_[index]);
    icon_->setToolTip(tip_);
    icon_->show();
    return true;
}

void TrayIcon::SetTip(const QString& tip) {
    tip_ = tip;
    Set(index_);
}

}  // namespace rd
