// The progress window's pictures before a skin gives its own: background, bars and glyphs.
#pragma once

#include <QColor>
#include <QPointF>

#include <QPixmap>

class QPainter;

namespace rd {

enum class Glyph { Minimise, Abort, Pause, Resume, Skip, Settings };

// The background of the built-in layout, 297 x 137, with the bars' troughs drawn in.
QPixmap BuiltInBackground();
// The total (first) and current-file (second) bar pictures.
QPixmap BuiltInBar(bool total);
// A button glyph of 21 x 21 pixels in one state.
QPixmap BuiltInGlyph(Glyph glyph);
// Draws `glyph` into a square of `size` pixels at `at`: in `ink`, the abort cross in `alarm`.
// The skins' pictures are painted from the same drawing.
void DrawGlyph(QPainter& p, Glyph glyph, QPointF at, double size, const QColor& ink,
               const QColor& alarm);

}  // namespace rd
