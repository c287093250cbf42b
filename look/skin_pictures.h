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

#include "look/skin_description.h"
#include "look/skin_picture_check.h"

namespace rd {

// Whether a skin's pictures are decoded, or only checked: a job that shows no window reads no
// pixels, but is still told what is wrong with its skin.
enum class SkinRead { kPictures, kChecksOnly };

// The picture at `path` ("*.bmp" read as a BMP, anything else as a JPEG), decoded only after
// its header has been checked against its file size, against kMaxSkinPictureSide and against
// what `budget` has left, which then gives up the picture's pixels. True with a null `picture`
// when there is no such file (silently) or with kChecksOnly; false with `why` when the picture
// is refused, broken or empty.
bool ReadSkinPicture(const QString& path, SkinRead read, SkinPixelBudget& budget, QImage& picture,
                     QString& why);

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
    // Everything found wrong, for one message; pictures refused for one reason share an entry
    // ("1.bmp, 2.bmp: the header claims ...").
    QStringList problems;
};

// Reads the skin `skin` along the data search path of `installFolder`. A file the skin lacks is
// left null, and the windows keep their look for it; a refused or broken one is left null too
// and noted in `problems`. The pictures of one skin together take at most kSkinPixelBudget
// pixels. With kChecksOnly every picture stays null: only the description is read, and the
// pictures' headers are checked.
SkinPictures LoadSkin(const std::string& installFolder, const std::string& skin,
                      SkinRead read = SkinRead::kPictures);

}  // namespace rd
