// How the chooser's tree items carry their node records: an item without kKindRole has none (a
// placeholder or a folder not yet listed).
#pragma once

#include <QString>
#include <Qt>

namespace rd::chooser_node {

enum Role {
    kNameRole = Qt::UserRole,  // QByteArray: a root's mount point or name, else the own name
    kKindRole,                 // kLocal, kNetwork or kFavourite
    kWritableRole,             // -1 not tested, 0, 1
    kFreeRole,                 // roots: free bytes of the volume, kUnknownFree before measured
};
inline constexpr int kLocal = 1;
inline constexpr int kNetwork = 2;
inline constexpr int kFavourite = 3;
inline const QString kPlaceholder = QStringLiteral("-");

}  // namespace rd::chooser_node
