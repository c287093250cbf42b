#include "ui/chooser/chooser_images.h"

#include <QApplication>
#include <QStyle>

#include "app/chooser_model.h"

namespace rd {

QIcon ChooserImage(int index) {
    using namespace chooser_image;
    QStyle::StandardPixmap pixmap = QStyle::SP_DriveHDIcon;
    switch (index) {
        case kWindow: pixmap = QStyle::SP_DirOpenIcon; break;
        case kFolder: pixmap = QStyle::SP_DirIcon; break;
        case kRemovable: pixmap = QStyle::SP_DriveFDIcon; break;
        case kOptical: pixmap = QStyle::SP_DriveCDIcon; break;
        case kNetworkDrive:
        case kShare: pixmap = QStyle::SP_DriveNetIcon; break;
        case kNetworkRoot:
        case kHost: pixmap = QStyle::SP_ComputerIcon; break;
        case kFavourite: pixmap = QStyle::SP_DirLinkIcon; break;
        default: break;  // the other drives
    }
    return QApplication::style()->standardIcon(pixmap);
}

}  // namespace rd
