// A skin's pictures read from its folder, and how pictures become window outlines and pictures
// with a transparent colour.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QRegion>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <string>

#include "app/skin_description.h"

namespace rd {

// Larger pictures are refused before they are decoded: no skin needs them, and a forged header
// must not make the program allocate gigabytes.
constexpr int kMaxSkinPictureSide = 4096;
constexpr qint64 kMaxSkinPictureBytes = 32 << 20;

// The picture at `path`; a null image when there is no such file (silently) or when it is
// broken, too large or empty (with a note in `problems`).
QImage LoadSkinPicture(const QString& path, QStringList& problems);

// The outline of `picture`: its rectangle less every pixel of the key colour (red, green and
// blue compared), the colour of its bottom-left pixel when no key is given.
QRegion OutlineFromPicture(const QImage& picture, std::optional<QColor> key = std::nullopt);

// `picture` with the pixels of the colour at `keyPixel` made transparent.
QPixmap KeyedPixmap(const QImage& picture, QPoint keyPixel);
// The bottom-left and bottom-right pixels of `picture`.
QPoint BottomLeft(const QImage& picture);
QPoint BottomRight(const QImage& picture);

// The glyphs, in the order of the buttons' files.
enum class SkinGlyph { Minimise, Abort, Skip, Settings, Pause, Resume, Count };

struct SkinPictures {
    QString folder;  // empty when the skin is not installed
    SkinDescription description = DefaultSkinDescription();
    // 1 to 32: the tray's progress steps; 0 stays null.
    std::array<QImage, 33> tray;
    std::array<QImage, static_cast<int>(SkinGlyph::Count)> glyphs;
    // The chooser's list entries "settings", "minimize", "pause", "resume", "skip", "abort".
    std::array<QImage, 6> listEntries;
    QImage progback, progfore, main;
    // The queue frame: top-left, top-right, bottom-left and bottom-right corners, then the
    // left, right, top and bottom edges.
    std::array<QImage, 8> queueFrame;
    QString queueTexture;  // the path of "queue_texture.jpg" when the skin has it
    // Everything found wrong, for one message.
    QStringList problems;
};

// Reads the skin `skin` along the data search path of `installFolder`. A file the skin lacks is
// left null, and the windows keep their look for it; a broken or unreadable one is also noted
// in `problems`.
SkinPictures LoadSkin(const std::string& installFolder, const std::string& skin);

}  // namespace rd
