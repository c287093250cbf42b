#include "ui/chooser/chooser_images.h"

#include <QApplication>
#include <QStyle>
#include <map>

#include "app/chooser_model.h"

namespace rd {

namespace {

std::map<int, QIcon>& SkinImages() {
    static std::map<int, QIcon> images;
    return images;
}

}  // namespace

void SetChooserImage(int index, const QIcon& icon) {
    SkinImages()[index] = icon;
}

bool ChooserImageFromSkin(int index) {
    return SkinImages().contains(index);
}

QIcon ChooserImage(int index) {
    using namespace chooser_image;
    if (const auto skinned = SkinImages().find(index); skinned != SkinImages().end())
        return skinned->second;
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
