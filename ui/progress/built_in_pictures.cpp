#include "ui/progress/built_in_pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace rd {

namespace {

constexpr int kBarLeft = 16;
constexpr int kBarWidth = 209;
constexpr int kBarHeight = 13;
constexpr int kTotalTop = 8;
constexpr int kCurrentTop = 24;

}  // namespace

QPixmap BuiltInBackground() {
    QPixmap picture(297, 137);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient shade(0, 0, 0, 137);
    shade.setColorAt(0, QColor(236, 240, 246));
    shade.setColorAt(1, QColor(206, 214, 226));
    QPainterPath outline;
    outline.addRoundedRect(QRectF(0.5, 0.5, 296, 136), 8, 8);
    p.fillPath(outline, shade);
    p.setPen(QPen(QColor(96, 110, 140), 1));
    p.drawPath(outline);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(150, 160, 180));
    p.setBrush(QColor(250, 251, 253));
    for (int top : {kTotalTop, kCurrentTop})
        p.drawRect(kBarLeft - 1, top - 1, kBarWidth + 1, kBarHeight + 1);
    // The band of the small figures at the bottom.
    p.setPen(QColor(180, 188, 204));
    p.drawLine(10, 115, 286, 115);
    return picture;
}

QPixmap BuiltInBar(bool total) {
    QPixmap picture(kBarWidth, kBarHeight);
    QPainter p(&picture);
    QLinearGradient shade(0, 0, 0, kBarHeight);
    if (total) {
        shade.setColorAt(0, QColor(120, 170, 240));
        shade.setColorAt(1, QColor(30, 80, 180));
    } else {
        shade.setColorAt(0, QColor(140, 220, 140));
        shade.setColorAt(1, QColor(30, 140, 60));
    }
    p.fillRect(picture.rect(), shade);
    return picture;
}

void DrawGlyph(QPainter& p, Glyph glyph, QPointF at, double size, const QColor& ink,
               const QColor& alarm) {
    p.save();
    p.translate(at);
    p.scale(size / 21.0, size / 21.0);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(ink);
    switch (glyph) {
        case Glyph::Minimise: p.drawLine(5, 15, 16, 15); break;
        case Glyph::Abort:
            p.setPen(QPen(alarm, 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(6, 6, 15, 15);
            p.drawLine(15, 6, 6, 15);
            break;
        case Glyph::Pause:
            p.drawRect(6, 5, 3, 11);
            p.drawRect(12, 5, 3, 11);
            break;
        case Glyph::Resume: {
            const QPointF play[] = {{7, 5}, {16, 10.5}, {7, 16}};
            p.drawPolygon(play, 3);
            break;
        }
        case Glyph::Skip: {
            const QPointF first[] = {{4, 5}, {10, 10.5}, {4, 16}};
            const QPointF second[] = {{10, 5}, {16, 10.5}, {10, 16}};
            p.drawPolygon(first, 3);
            p.drawPolygon(second, 3);
            break;
        }
        case Glyph::Settings:
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(10.5, 10.5), 3, 3);
            for (int i = 0; i < 8; ++i) {
                p.save();
                p.translate(10.5, 10.5);
                p.rotate(45.0 * i);
                p.drawLine(QPointF(0, -5), QPointF(0, -7.5));
                p.restore();
            }
            break;
    }
    p.restore();
}

QPixmap BuiltInGlyph(Glyph glyph) {
    QPixmap picture(21, 21);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    DrawGlyph(p, glyph, {0, 0}, 21, QColor(40, 52, 80), QColor(170, 30, 30));
    return picture;
}

}  // namespace rd
