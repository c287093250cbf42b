#include "look/skin_pictures.h"

#include <QBitmap>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/ini_file.h"

namespace rd {

bool ReadSkinPicture(const QString& path, SkinRead read, SkinPixelBudget& budget, QImage& picture,
                     QString& why) {
    picture = QImage();
    const QFileInfo info(path);
    if (!info.exists())
        return true;
    if (!info.isFile() || info.size() > kMaxSkinPictureBytes) {
        why = "not a picture file of at most 32 MB";
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        why = "cannot be opened: " + file.errorString();
        return false;
    }
    // The header is checked and the picture decoded from the same open file.
    const bool bmp = path.endsWith(".bmp", Qt::CaseInsensitive);
    QImageReader reader(&file, bmp ? "bmp" : "jpeg");
    reader.setAutoDetectImageFormat(false);
    PictureSize size;
    if (bmp) {
        const QByteArray head = file.read(kBmpHeadBytes);
        std::string reason;
        const std::optional<PictureSize> checked =
            CheckBmpHeader(std::string_view(head.constData(), static_cast<size_t>(head.size())),
                           static_cast<uint64_t>(file.size()), reason);
        if (!checked) {
            why = QString::fromStdString(reason);
            return false;
        }
        if (!file.seek(0)) {
            why = "cannot be read: " + file.errorString();
            return false;
        }
        size = *checked;
    } else {
        // Qt's reader would complain of any other file on stderr by itself.
        const QSize header = file.peek(3) == "\xFF\xD8\xFF" ? reader.size() : QSize();
        if (!header.isValid()) {
            why = "not a JPEG picture";
            return false;
        }
        size = {header.width(), header.height()};
    }
    if (size.width > kMaxSkinPictureSide || size.height > kMaxSkinPictureSide) {
        why = QStringLiteral("larger than %1 pixels on a side (%2x%3)")
                  .arg(kMaxSkinPictureSide)
                  .arg(size.width)
                  .arg(size.height);
        return false;
    }
    if (!budget.Take(size)) {
        why = QStringLiteral("%1x%2 pixels would take the skin's pictures past %3 pixels together")
                  .arg(size.width)
                  .arg(size.height)
                  .arg(kSkinPixelBudget);
        return false;
    }
    if (read == SkinRead::kChecksOnly)
        return true;
    // A second fence: no picture within the budget needs more, at 4 bytes a pixel.
    reader.setAllocationLimit(static_cast<int>(kSkinPixelBudget * 4 >> 20));
    picture = reader.read();
    if (picture.isNull() || picture.width() == 0 || picture.height() == 0) {
        why = "cannot be read: " + reader.errorString();
        picture = QImage();
        return false;
    }
    return true;
}

QRegion OutlineFromPicture(const QImage& picture, std::optional<QColor> key) {
    if (picture.isNull())
        return {};
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb cut = (key ? key->rgb() : rgb.pixel(BottomLeft(rgb))) & 0xFFFFFF;
    const int width = rgb.width();
    // The pixels that stay, one rectangle per run in each row: the rows come in order and the
    // runs of a row from the left, as a region's rectangles must. `each` is called with every
    // run; the runs are counted first, so that the list is allocated once, at its size.
    const auto runs = [&](auto each) {
        for (int y = 0; y < rgb.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            int x = 0;
            while (x < width) {
                const bool isCut = (row[x] & 0xFFFFFF) == cut;
                int end = x;
                while (end < width && ((row[end] & 0xFFFFFF) == cut) == isCut)
                    ++end;
                if (!isCut)
                    each(x, y, end - x);
                x = end;
            }
        }
    };
    size_t count = 0;
    runs([&count](int, int, int) { ++count; });
    std::vector<QRect> kept;
    kept.reserve(count);
    runs([&kept](int x, int y, int length) { kept.emplace_back(x, y, length, 1); });
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

SkinPictures LoadSkin(const std::string& installFolder, const std::string& skin, SkinRead read) {
    SkinPictures s;
    s.folder = QString::fromStdString(FindSkinFolder(installFolder, skin));
    if (s.folder.isEmpty()) {
        s.problems << "the skin is not installed";
        return s;
    }
    SkinPixelBudget budget;
    // The reasons pictures were refused for, in the order met, each with its pictures.
    std::vector<std::pair<QString, QStringList>> refused;
    auto load = [&](const QString& file) {
        QImage picture;
        QString why;
        if (ReadSkinPicture(s.folder + "/" + file, read, budget, picture, why))
            return picture;
        auto same = std::find_if(refused.begin(), refused.end(),
                                 [&why](const auto& entry) { return entry.first == why; });
        if (same == refused.end())
            refused.emplace_back(why, QStringList{file});
        else
            same->second << file;
        return picture;
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
        // The list draws the texture from its file; it is read here only to be checked.
        if (!load("queue_texture.jpg").isNull())
            s.queueTexture = s.folder + "/queue_texture.jpg";
    }
    // A forged skin may have every picture refused for one reason: a few names tell which.
    constexpr int kNamed = 6;
    for (const auto& [why, files] : refused)
        s.problems << (files.size() <= kNamed + 1
                           ? files.join(", ")
                           : QStringList(files.mid(0, kNamed)).join(", ") +
                                 QStringLiteral(" and %1 more").arg(files.size() - kNamed)) +
                          ": " + why;
    return s;
}

}  // namespace rd
