#include "ui/skin_pictures.h"

#include <QBitmap>
#include <QFileInfo>
#include <QImageReader>
#include <vector>

#include "platform/ini_file.h"

namespace rd {

QImage LoadSkinPicture(const QString& path, QStringList& problems) {
    const QFileInfo file(path);
    if (!file.exists())
        return {};
    const QString name = file.fileName();
    if (!file.isFile() || file.size() > kMaxSkinPictureBytes) {
        problems << name + " is not a picture file of at most 32 MB";
        return {};
    }
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.width() > kMaxSkinPictureSide || size.height() > kMaxSkinPictureSide) {
        problems << QStringLiteral("%1 is larger than %2 pixels on a side")
                        .arg(name)
                        .arg(kMaxSkinPictureSide);
        return {};
    }
    const QImage picture = reader.read();
    if (picture.isNull() || picture.width() == 0 || picture.height() == 0) {
        problems << name + " cannot be read: " + reader.errorString();
        return {};
    }
    return picture;
}

QRegion OutlineFromPicture(const QImage& picture, std::optional<QColor> key) {
    if (picture.isNull())
        return {};
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb cut = (key ? key->rgb() : rgb.pixel(BottomLeft(rgb))) & 0xFFFFFF;
    const int width = rgb.width();
    // The pixels that stay, one rectangle per run in each row: the rows come in order and the
    // runs of a row from the left, as a region's rectangles must.
    std::vector<QRect> kept;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        int x = 0;
        while (x < width) {
            const bool isCut = (row[x] & 0xFFFFFF) == cut;
            int end = x;
            while (end < width && ((row[end] & 0xFFFFFF) == cut) == isCut)
                ++end;
            if (!isCut)
                kept.emplace_back(x, y, end - x, 1);
            x = end;
        }
    }
    QRegion outline;
    outline.setRects(kept.data(), static_cast<int>(kept.size()));
    return outline;
}

QPoint BottomLeft(const QImage& picture) {
    return {0, picture.height() - 1};
}

QPoint BottomRight(const QImage& picture) {
    return {picture.width() - 1, picture.height() - 1};
}

QPixmap KeyedPixmap(const QImage& picture, QPoint keyPixel) {
    if (picture.isNull())
        return {};
    QPixmap pixmap = QPixmap::fromImage(picture.convertToFormat(QImage::Format_RGB32));
    const QColor key = picture.pixelColor(keyPixel);
    pixmap.setMask(pixmap.createMaskFromColor(key, Qt::MaskInColor));
    return pixmap;
}

SkinPictures LoadSkin(const std::string& installFolder, const std::string& skin) {
    SkinPictures s;
    s.folder = QString::fromStdString(FindSkinFolder(installFolder, skin));
    if (s.folder.isEmpty()) {
        s.problems << "the skin is not installed";
        return s;
    }
    auto load = [&s](const QString& file) {
        return LoadSkinPicture(s.folder + "/" + file, s.problems);
    };
    for (int n = 1; n <= 32; ++n)
        s.tray[n] = load(QString::number(n) + ".bmp");
    IniFile ini;
    if (ini.Read((s.folder + "/skin.ini").toStdString())) {
        s.description = ReadSkinDescription(ini);
        for (const std::string& problem : s.description.problems)
            s.problems << QString::fromStdString(problem);
    } else {
        s.problems << "skin.ini cannot be read";
    }
    const char* glyphs[] = {"minimize_btn.bmp", "abort_btn.bmp", "skip_btn.bmp",
                            "settings_btn.bmp", "pause_btn.bmp", "resume_btn.bmp"};
    for (size_t i = 0; i < s.glyphs.size(); ++i)
        s.glyphs[i] = load(glyphs[i]);
    const char* entries[] = {"settings.bmp", "minimize.bmp", "pause.bmp",
                             "resume.bmp",   "skip.bmp",     "abort.bmp"};
    for (size_t i = 0; i < s.listEntries.size(); ++i)
        s.listEntries[i] = load(entries[i]);
    s.progback = load("progback.bmp");
    s.progfore = load("progfore.bmp");
    s.main = load("main.bmp");
    if (s.description.queue.skinned) {
        const char* pieces[] = {"queue_leftup.bmp",    "queue_rightup.bmp", "queue_leftdown.bmp",
                                "queue_rightdown.bmp", "queue_left.bmp",    "queue_right.bmp",
                                "queue_up.bmp",        "queue_down.bmp"};
        for (size_t i = 0; i < s.queueFrame.size(); ++i)
            s.queueFrame[i] = load(pieces[i]);
        const QString texture = s.folder + "/queue_texture.jpg";
        if (!LoadSkinPicture(texture, s.problems).isNull())
            s.queueTexture = texture;
    }
    return s;
}

}  // namespace rd
