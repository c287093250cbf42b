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
    outline += corners_[0].translated(0, h - leftDown_.height());
    outline += corners_[1].translated(w - rightDown_.width(), h - rightDown_.height());
    outline += corners_[2];
    outline += corners_[3].translated(w - rightUp_.width(), 0);
    return outline;
}

void QueueFrame::Paint(QPainter& painter, QSize size) const {
    const int w = size.width(), h = size.height();
    if (left_.height() > 0)
        for (int y : TileOffsets(h, left_.height())) {
            painter.drawImage(0, y, left_);
            painter.drawImage(w - right_.width() - 1, y, right_);
        }
    if (up_.width() > 0)
        for (int x : TileOffsets(w, up_.width())) {
            painter.drawImage(x, 0, up_);
            painter.drawImage(x, h - down_.height() - 1, down_);
        }
    painter.drawImage(0, 0, leftUp_);
    painter.drawImage(w - rightUp_.width() - 1, 0, rightUp_);
    painter.drawImage(0, h - leftDown_.height() - 1, leftDown_);
    painter.drawImage(w - rightDown_.width() - 1, h - rightDown_.height() - 1, rightDown_);
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
