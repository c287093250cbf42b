#include "ui/progress/queue_frame.h"

#include <QPainter>
#include <optional>

#include "look/skin_pictures.h"

namespace rd {

namespace {

// The smallest width or height the mouse may give the window.
constexpr int kMinExtent = 20;

}  // namespace

void QueueFrame::Load(const SkinPictures& skin) {
    QImage* pieces[] = {&leftUp_, &rightUp_, &leftDown_, &rightDown_,
                        &left_,   &right_,   &up_,       &down_};
    for (size_t i = 0; i < std::size(pieces); ++i)
        if (!skin.queueFrame[i].isNull())
            *pieces[i] = skin.queueFrame[i];
    std::optional<QColor> key;
    const QImage* corners[] = {&leftDown_, &rightDown_, &leftUp_, &rightUp_};
    for (size_t i = 0; i < corners_.size(); ++i) {
        corners_[i] = QRegion();
        const QImage& corner = *corners[i];
        if (corner.isNull())
            continue;
        if (!key)
            key = corner.pixelColor(BottomLeft(corner));
        corners_[i] = OutlineFromPicture(corner, key);
    }
}

void QueueFrame::Clear() {
    *this = QueueFrame();
}

QRect QueueFrame::ListRect(QSize size) const {
    return QRect(left_.width(), up_.height(), size.width() - left_.width() - right_.width(),
                 size.height() - up_.height() - down_.height());
}

std::array<QPoint, 4> QueueFrame::CornerPlaces(QSize size) const {
    const int w = size.width(), h = size.height();
    return {QPoint(0, h - leftDown_.height()),
            QPoint(w - rightDown_.width(), h - rightDown_.height()), QPoint(0, 0),
            QPoint(w - rightUp_.width(), 0)};
}

QRegion QueueFrame::Outline(QSize size, const QRect& list) const {
    const int w = size.width(), h = size.height();
    QRegion outline(QRect(QPoint(leftUp_.width(), 0), QPoint(w - rightUp_.width(), up_.height()))
                        .adjusted(0, 0, -1, -1));
    outline +=
        QRect(QPoint(leftDown_.width(), h - down_.height()), QPoint(w - rightDown_.width(), h))
            .adjusted(0, 0, -1, -1);
    outline += QRect(QPoint(0, leftUp_.height()), QPoint(left_.width(), h - leftDown_.height()))
                   .adjusted(0, 0, -1, -1);
    outline +=
        QRect(QPoint(w - right_.width(), rightUp_.height()), QPoint(w, h - rightDown_.height()))
            .adjusted(0, 0, -1, -1);
    outline += list;
    const std::array<QPoint, 4> places = CornerPlaces(size);
    for (size_t i = 0; i < corners_.size(); ++i)
        outline += corners_[i].translated(places[i]);
    return outline;
}

// Every piece sits where the outline has it, so that the outline's last column and row are
// painted too; a corner is drawn within its own outline, without its key-coloured pixels.
void QueueFrame::Paint(QPainter& painter, QSize size) const {
    const int w = size.width(), h = size.height();
    if (left_.height() > 0)
        for (int y : TileOffsets(h, left_.height())) {
            painter.drawImage(0, y, left_);
            painter.drawImage(w - right_.width(), y, right_);
        }
    if (up_.width() > 0)
        for (int x : TileOffsets(w, up_.width())) {
            painter.drawImage(x, 0, up_);
            painter.drawImage(x, h - down_.height(), down_);
        }
    const QImage* pictures[] = {&leftDown_, &rightDown_, &leftUp_, &rightUp_};
    const std::array<QPoint, 4> places = CornerPlaces(size);
    for (size_t i = 0; i < corners_.size(); ++i) {
        painter.save();
        painter.setClipRegion(corners_[i].translated(places[i]));
        painter.drawImage(places[i], *pictures[i]);
        painter.restore();
    }
}

std::vector<int> QueueFrame::TileOffsets(int extent, int step) {
    std::vector<int> offsets;
    if (step <= 0)
        return offsets;
    const int end = (extent + step - 1) / step * step;
    for (int at = 0; at < end; at += step)
        offsets.push_back(at);
    return offsets;
}

int QueueFrame::SteppedExtent(int current, int wanted, int step) {
    const int stepped = wanted / std::max(1, step) * std::max(1, step);
    return stepped > kMinExtent ? stepped : current;
}

}  // namespace rd
