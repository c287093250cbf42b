// The skinned queue window's frame: four corners and four edge tiles, the outline they give the
// window, and where the list sits inside them.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <algorithm>
#include <array>
#include <vector>

class QPainter;

namespace rd {

struct SkinPictures;

class QueueFrame {
public:
    // Takes the pieces `skin` has; a piece it lacks keeps its previous picture. The corner
    // outlines are built anew, all cut by the transparent colour of the first corner built.
    void Load(const SkinPictures& skin);
    // Drops every piece: the window is plain again.
    void Clear();

    // The list's place in a window of `size`: inside the edges.
    QRect ListRect(QSize size) const;
    // The edge strips, `list` and the corner outlines.
    QRegion Outline(QSize size, const QRect& list) const;
    // Edges tiled, then the corners over them.
    void Paint(QPainter& painter, QSize size) const;

    // Widths change in whole top tiles and heights in whole left tiles.
    int WidthStep() const { return std::max(1, up_.width()); }
    int HeightStep() const { return std::max(1, left_.height()); }
    // The top-right corner: a press in it closes the window.
    QSize CloseCorner() const { return rightUp_.size(); }

    // The offsets a tile of `step` pixels is drawn at along `extent`: 0, step, ... while below
    // `extent` rounded up to a whole step.
    static std::vector<int> TileOffsets(int extent, int step);
    // `wanted` rounded down to whole `step`s; `current` when that is 20 pixels or less.
    static int SteppedExtent(int current, int wanted, int step);

private:
    // Where the corners' top-left pixels go: bottom-left, bottom-right, top-left, top-right.
    std::array<QPoint, 4> CornerPlaces(QSize size) const;

    QImage leftUp_, rightUp_, leftDown_, rightDown_, left_, right_, up_, down_;
    // Bottom-left, bottom-right, top-left, top-right.
    std::array<QRegion, 4> corners_;
};

}  // namespace rd
