// Paints the pictures of the shipped skins, "Default" and "Midnight", into FOLDER/<skin>/. The
// description files (skin.ini) are written by hand beside them; scripts/paint_skins.sh runs
// this program over data/skins.
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <cmath>
#include <cstdio>
#include <functional>

#include "ui/progress/built_in_pictures.h"

using rd::DrawGlyph;
using rd::Glyph;

namespace {

// The colour cut out of outlines and drawn transparent: it is never used in a picture itself.
const QColor kKey(255, 0, 255);

QString g_folder;
bool g_failed = false;

void Save(const QImage& picture, const QString& name) {
    const QString path = g_folder + "/" + name;
    if (!picture.convertToFormat(QImage::Format_RGB888).save(path)) {
        std::fprintf(stderr, "redodori-skin-painter: cannot write %s\n", qPrintable(path));
        g_failed = true;
    }
}

QImage Canvas(int width, int height, const QColor& fill = kKey) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(fill);
    return picture;
}

const struct {
    Glyph glyph;
    const char* button;
    const char* entry;
} kGlyphFiles[] = {
    {Glyph::Minimise, "minimize_btn.bmp", "minimize.bmp"},
    {Glyph::Abort, "abort_btn.bmp", "abort.bmp"},
    {Glyph::Pause, "pause_btn.bmp", "pause.bmp"},
    {Glyph::Resume, "resume_btn.bmp", "resume.bmp"},
    {Glyph::Skip, "skip_btn.bmp", "skip.bmp"},
    {Glyph::Settings, "settings_btn.bmp", "settings.bmp"},
};

// The glyphs: one picture of `size` on `ground` (its bottom-left pixel, the transparent
// colour), or four side by side for the states up, disabled, hot and pressed. The list
// entries are 16 x 16 on the key colour, which their bottom-right pixel shows.
void PaintGlyphs(int size, const QColor& ground, const QColor& ink, const QColor& alarm,
                 bool fourStates) {
    for (const auto& file : kGlyphFiles) {
        QImage button = Canvas(fourStates ? 4 * size : size, size, ground);
        QPainter p(&button);
        if (fourStates) {
            const QColor disabled(128, 128, 128);
            const QColor hot = ink.lighter(140);
            const QColor states[] = {ink, disabled, hot, hot};
            for (int state = 0; state < 4; ++state) {
                if (state >= 2) {
                    p.setPen(QPen(hot, 1));
                    p.setBrush(Qt::NoBrush);
                    p.drawRoundedRect(QRectF(state * size + 1.5, 1.5, size - 3, size - 3), 4, 4);
                }
                const double shift = state == 3 ? 1 : 0;
                DrawGlyph(p, file.glyph, QPointF(state * size + shift, shift), size, states[state],
                          state == 1 ? disabled : alarm);
            }
        } else {
            DrawGlyph(p, file.glyph, QPointF(0, 0), size, ink, alarm);
        }
        // The transparent colour is taken from here: it stays the ground.
        button.setPixelColor(0, size - 1, ground);
        p.end();
        Save(button, file.button);

        QImage entry = Canvas(16, 16);
        QPainter e(&entry);
        DrawGlyph(e, file.glyph, QPointF(-1, -1), 18, QColor(40, 52, 80), QColor(170, 30, 30));
        e.end();
        entry.setPixelColor(15, 15, kKey);
        Save(entry, file.entry);
    }
}

// The tray's 32 steps: a frame filling from the left in `fill`.
void PaintTray(const QColor& frame, const QColor& trough, const QColor& fill) {
    for (int n = 1; n <= 32; ++n) {
        QImage picture = Canvas(16, 16);
        QPainter p(&picture);
        p.setPen(frame);
        p.setBrush(trough);
        p.drawRect(0, 2, 15, 11);
        p.fillRect(1, 3, (n * 14 + 31) / 32, 10, fill);
        p.end();
        Save(picture, QString::number(n) + ".bmp");
    }
}

// A bar picture: a gradient in a rounded shape whose corners are the key colour, so that the
// bottom-left pixel names it.
QImage Bar(int width, int height, const QColor& from, const QColor& to, bool vertical) {
    QImage picture = Canvas(width, height);
    QPainter p(&picture);
    QLinearGradient shade(0, 0, vertical ? width : 0, vertical ? 0 : height);
    shade.setColorAt(0, from);
    shade.setColorAt(1, to);
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawRect(1, 0, width - 2, height);
    p.drawRect(0, 1, width, height - 2);
    return picture;
}

// The queue frame: corners and edge tiles of a window of `edge` colour with a title band;
// the top-right corner carries the close cross.
void PaintQueueFrame(const QColor& edge, const QColor& band, const QColor& light,
                     const QColor& cross) {
    constexpr int kTop = 14, kSide = 6, kBottom = 6, kCornerWidth = 16;
    auto corner = [&](int height, bool top, bool left) {
        QImage picture = Canvas(kCornerWidth, height);
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(Qt::NoPen);
        p.setBrush(top ? band : edge);
        QPainterPath shape;
        const QRectF whole(left ? 0 : -12, top ? 0 : -12, kCornerWidth + 12, height + 12);
        shape.addRoundedRect(whole, 7, 7);
        p.drawPath(shape);
        p.setPen(light);
        if (top)
            p.drawLine(left ? 4 : 0, 0, left ? kCornerWidth : kCornerWidth - 5, 0);
        if (top && !left) {
            p.setPen(QPen(cross, 2));
            p.drawLine(4, 3, 10, 9);
            p.drawLine(10, 3, 4, 9);
        }
        p.end();
        // The key colour survives in the rounded-off corner: the bottom-left pixel of the
        // first corner built (the bottom-left one) names it for all four.
        picture.setPixelColor(left ? 0 : kCornerWidth - 1, top ? 0 : height - 1, kKey);
        return picture;
    };
    Save(corner(kTop, true, true), "queue_leftup.bmp");
    Save(corner(kTop, true, false), "queue_rightup.bmp");
    Save(corner(kBottom + 2, false, true), "queue_leftdown.bmp");
    Save(corner(kBottom + 2, false, false), "queue_rightdown.bmp");
    Save(Canvas(kSide, 16, edge), "queue_left.bmp");
    Save(Canvas(kSide, 16, edge), "queue_right.bmp");
    QImage up = Canvas(16, kTop, band);
    for (int x = 0; x < 16; ++x)
        up.setPixelColor(x, 0, light);
    Save(up, "queue_up.bmp");
    Save(Canvas(16, kBottom, edge), "queue_down.bmp");
}

void PaintTexture(const QColor& ground, const QColor& line) {
    QImage texture(64, 64, QImage::Format_RGB32);
    texture.fill(ground);
    QPainter p(&texture);
    p.setPen(line);
    for (int at = -64; at < 64; at += 8)
        p.drawLine(at, 64, at + 64, 0);
    p.end();
    const QString path = g_folder + "/queue_texture.jpg";
    if (!texture.save(path, "JPG", 90)) {
        std::fprintf(stderr, "redodori-skin-painter: cannot write %s\n", qPrintable(path));
        g_failed = true;
    }
}

void PaintDefault() {
    // The built-in look: a light rounded panel with two bars across its top.
    QImage main = Canvas(297, 137);
    {
        QPainter p(&main);
        QLinearGradient shade(0, 0, 0, 137);
        shade.setColorAt(0, QColor(236, 240, 246));
        shade.setColorAt(1, QColor(206, 214, 226));
        QPainterPath outline;
        outline.addRoundedRect(QRectF(0, 0, 297, 137), 8, 8);
        p.fillPath(outline, shade);
        p.setPen(QColor(96, 110, 140));
        p.setBrush(Qt::NoBrush);
        p.drawPath(outline);
        p.setPen(QColor(150, 160, 180));
        p.setBrush(QColor(250, 251, 253));
        for (int top : {8, 24})
            p.drawRect(15, top - 1, 210, 14);
        p.setPen(QColor(180, 188, 204));
        p.drawLine(10, 115, 286, 115);
    }
    main.setPixelColor(0, 136, kKey);
    Save(main, "main.bmp");
    Save(Bar(209, 13, QColor(120, 170, 240), QColor(30, 80, 180), false), "progback.bmp");
    Save(Bar(209, 13, QColor(140, 220, 140), QColor(30, 140, 60), false), "progfore.bmp");
    PaintGlyphs(21, QColor(228, 233, 241), QColor(40, 52, 80), QColor(170, 30, 30), false);
    PaintTray(QColor(40, 40, 90), QColor(230, 230, 240), QColor(30, 150, 60));
    PaintQueueFrame(QColor(150, 160, 180), QColor(96, 110, 140), QColor(200, 208, 222),
                    QColor(240, 240, 250));
    PaintTexture(QColor(246, 248, 252), QColor(236, 240, 246));
}

void PaintMidnight() {
    // A dark panel with cut corners and a tab at the top, two upright bars at its left.
    QImage main = Canvas(320, 150);
    {
        QPainter p(&main);
        const QPolygon outline({{18, 8},
                                {120, 8},
                                {128, 0},
                                {200, 0},
                                {208, 8},
                                {301, 8},
                                {319, 26},
                                {319, 131},
                                {300, 149},
                                {18, 149},
                                {0, 131},
                                {0, 26}});
        QLinearGradient shade(0, 0, 0, 150);
        shade.setColorAt(0, QColor(38, 44, 66));
        shade.setColorAt(1, QColor(16, 18, 30));
        p.setPen(QColor(90, 110, 170));
        p.setBrush(shade);
        p.drawPolygon(outline);
        p.setPen(QColor(70, 80, 120));
        p.setBrush(QColor(10, 12, 20));
        p.drawRect(13, 19, 13, 105);
        p.drawRect(31, 19, 13, 105);
        p.setBrush(QColor(6, 8, 16));
        p.drawRect(55, 83, 191, 31);
    }
    main.setPixelColor(0, 149, kKey);
    Save(main, "main.bmp");
    Save(Bar(12, 104, QColor(60, 220, 255), QColor(20, 90, 200), true), "progback.bmp");
    Save(Bar(12, 104, QColor(255, 200, 80), QColor(230, 90, 40), true), "progfore.bmp");
    PaintGlyphs(22, QColor(31, 36, 55), QColor(170, 200, 255), QColor(255, 110, 90), true);
    PaintTray(QColor(90, 110, 170), QColor(16, 18, 30), QColor(60, 220, 255));
    PaintQueueFrame(QColor(38, 44, 66), QColor(54, 64, 100), QColor(90, 110, 170),
                    QColor(255, 110, 90));
    PaintTexture(QColor(22, 26, 40), QColor(30, 35, 54));
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "Usage: redodori-skin-painter FOLDER\n");
        return 2;
    }
    const std::pair<const char*, std::function<void()>> skins[] = {
        {"Default", PaintDefault},
        {"Midnight", PaintMidnight},
    };
    for (const auto& [name, paint] : skins) {
        g_folder = QString::fromLocal8Bit(argv[1]) + "/" + name;
        if (!QDir().mkpath(g_folder)) {
            std::fprintf(stderr, "redodori-skin-painter: cannot make %s\n", qPrintable(g_folder));
            return 1;
        }
        paint();
    }
    return g_failed ? 1 : 0;
}
