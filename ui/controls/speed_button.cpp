#include "ui/controls/speed_button.h"

#include <qdrawutil.h>
#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace rd {

namespace {

// Frame and padding around the content on each side; the raised frame is two pixels wide.
constexpr int kMargin = 3;
// Between glyph and caption.
constexpr int kSpacing = 4;

QImage WithBottomLeftTransparent(QImage image) {
    const QRgb key = image.pixel(0, image.height() - 1) & RGB_MASK;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & RGB_MASK) == key) {
                line[x] = 0;
            }
        }
    }
    return image;
}

// A light grey picture of the glyph's shape, for a one-picture glyph on a disabled button.
QImage Greyed(QImage image) {
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 128 + qGray(line[x]) / 2;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
        }
    }
    return image;
}

}  // namespace

TSpeedButton::TSpeedButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    // A focused button would take the window's keys (Space pauses the job) for itself.
    setFocusPolicy(Qt::NoFocus);
}

void TSpeedButton::SetGlyph(const QPixmap& glyph, int states) {
    glyph_ = glyph;
    states_ = states == 4 ? 4 : 1;
    parts_ = {};
    if (!glyph.isNull()) {
        QImage image = glyph.toImage().convertToFormat(QImage::Format_ARGB32);
        if (!glyph.hasAlphaChannel()) {
            image = WithBottomLeftTransparent(std::move(image));
        }
        const int width = std::max(1, image.width() / states_);
        for (int state = Up; state <= Exclusive; ++state) {
            const int left = states_ == 4 ? state * width : 0;
            parts_[state] = QPixmap::fromImage(image.copy(left, 0, width, image.height()));
        }
        if (states_ == 1) {
            parts_[Disabled] = QPixmap::fromImage(Greyed(image));
        }
    }
    updateGeometry();
    update();
}

void TSpeedButton::SetFlat(bool flat) {
    flat_ = flat;
    update();
}

TSpeedButton::GlyphState TSpeedButton::CurrentState() const {
    if (!isEnabled()) {
        return Disabled;
    }
    if (isDown() || isChecked()) {
        return Exclusive;
    }
    return hot_ ? Hot : Up;
}

QSize TSpeedButton::GlyphSize() const {
    return parts_[Up].isNull() ? QSize(0, 0) : parts_[Up].deviceIndependentSize().toSize();
}

QSize TSpeedButton::TextSize() const {
    return text().isEmpty() ? QSize(0, 0) : fontMetrics().size(Qt::TextShowMnemonic, text());
}

QSize TSpeedButton::sizeHint() const {
    const QSize glyph = GlyphSize();
    const QSize caption = TextSize();
    const int spacing = glyph.isEmpty() || caption.isEmpty() ? 0 : kSpacing;
    return QSize(glyph.width() + spacing + caption.width() + 2 * kMargin,
                 std::max(glyph.height(), caption.height()) + 2 * kMargin);
}

void TSpeedButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const GlyphState state = CurrentState();
    const bool pressed = state == Exclusive;
    if (!flat_) {
        qDrawWinButton(&p, rect(), palette(), pressed);
    } else if (pressed || state == Hot) {
        qDrawShadePanel(&p, rect(), palette(), pressed, 1);
    }

    // A pressed button's content sinks by one pixel with its frame.
    const QRect area = rect()
                           .adjusted(kMargin, kMargin, -kMargin, -kMargin)
                           .translated(pressed ? QPoint(1, 1) : QPoint(0, 0));
    const QSize glyph = GlyphSize();
    const QSize caption = TextSize();
    const Qt::LayoutDirection ltr = Qt::LeftToRight;
    QRect glyphRect;
    QRect textRect = area;
    if (!glyph.isEmpty() && caption.isEmpty()) {
        glyphRect = QStyle::alignedRect(ltr, Qt::AlignCenter, glyph, area);
    } else if (!glyph.isEmpty()) {
        // Beside the glyph when the caption fits there, else under it.
        const int besideWidth = glyph.width() + kSpacing + caption.width();
        if (area.width() >= besideWidth) {
            const QSize block(besideWidth, std::max(glyph.height(), caption.height()));
            const QRect blockRect = QStyle::alignedRect(ltr, Qt::AlignCenter, block, area);
            glyphRect =
                QStyle::alignedRect(ltr, Qt::AlignLeft | Qt::AlignVCenter, glyph, blockRect);
            textRect =
                QStyle::alignedRect(ltr, Qt::AlignRight | Qt::AlignVCenter, caption, blockRect);
        } else {
            const QSize block(std::max(glyph.width(), caption.width()),
                              glyph.height() + kSpacing + caption.height());
            const QRect blockRect = QStyle::alignedRect(ltr, Qt::AlignCenter, block, area);
            glyphRect = QStyle::alignedRect(ltr, Qt::AlignTop | Qt::AlignHCenter, glyph, blockRect);
            textRect =
                QStyle::alignedRect(ltr, Qt::AlignBottom | Qt::AlignHCenter, caption, blockRect);
        }
    }
    if (!glyphRect.isNull()) {
        p.drawPixmap(glyphRect.topLeft(), parts_[state]);
    }
    if (!caption.isEmpty()) {
        style()->drawItemText(&p, textRect, Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                              isEnabled(), text(), foregroundRole());
    }
}

void TSpeedButton::enterEvent(QEnterEvent* event) {
    hot_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TSpeedButton::leaveEvent(QEvent* event) {
    hot_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

}  // namespace rd
