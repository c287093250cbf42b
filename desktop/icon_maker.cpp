// redodori-icon-maker: draws RedoDori's icon from one set of shapes, as an SVG file and as PNG
// files of the sizes asked for: "redodori-icon-maker FOLDER SIZE...".
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cstdio>
#include <vector>

namespace {

constexpr double kCanvas = 256;

// A rounded rectangle or, with `points`, a closed polygon, on a 256 x 256 canvas.
struct Shape {
    QRectF box;
    double radius;
    std::vector<QPointF> points;
    const char* colour;
};

// A blue tile, two sheets and an arrow that carries the back sheet onto the front one.
const std::vector<Shape> kShapes = {
    {{16, 16, 224, 224}, 44, {}, "#2a6fb8"},
    {{48, 44, 100, 128}, 12, {}, "#bcd4ee"},
    {{108, 84, 100, 128}, 12, {}, "#ffffff"},
    {{},
     0,
     {{40, 170}, {118, 170}, {118, 146}, {170, 188}, {118, 230}, {118, 206}, {40, 206}},
     "#f28c28"},
};

QString Svg() {
    QString text = QString(
                       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                       "viewBox=\"0 0 %1 %1\">\n")
                       .arg(kCanvas);
    for (const Shape& shape : kShapes) {
        if (shape.points.empty()) {
            text += QString(
                        "  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" "
                        "fill=\"%6\"/>\n")
                        .arg(shape.box.x())
                        .arg(shape.box.y())
                        .arg(shape.box.width())
                        .arg(shape.box.height())
                        .arg(shape.radius)
                        .arg(shape.colour);
            continue;
        }
        QString points;
        for (const QPointF& point : shape.points)
            points += QString("%1,%2 ").arg(point.x()).arg(point.y());
        text +=
            QString("  <polygon points=\"%1\" fill=\"%2\"/>\n").arg(points.trimmed(), shape.colour);
    }
    return text + "</svg>\n";
}

QImage Png(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kCanvas, size / kCanvas);
    painter.setPen(Qt::NoPen);
    for (const Shape& shape : kShapes) {
        painter.setBrush(QColor(shape.colour));
        if (shape.points.empty())
            painter.drawRoundedRect(shape.box, shape.radius, shape.radius);
        else
            painter.drawPolygon(
                QPolygonF(QList<QPointF>(shape.points.begin(), shape.points.end())));
    }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("Usage: redodori-icon-maker FOLDER SIZE...\n", stderr);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QFile svg(folder + "/redodori.svg");
    bool ok = QDir().mkpath(folder) && svg.open(QIODevice::WriteOnly | QIODevice::Truncate);
    ok = ok && svg.write(Svg().toUtf8()) >= 0 && svg.flush();
    for (int i = 2; ok && i < argc; ++i) {
        const int size = QString(argv[i]).toInt();
        ok = size > 0 && Png(size).save(QString("%1/redodori-%2.png").arg(folder).arg(size));
    }
    if (!ok)
        std::fprintf(stderr, "redodori-icon-maker: cannot write the icons into %s\n", argv[1]);
    return ok ? 0 : 1;
}
