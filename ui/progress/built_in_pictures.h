// The progress window's pictures before a skin gives its own: background, bars and glyphs.
#pragma once

#include <QPixmap>

namespace rd {

enum class Glyph { Minimise, Abort, Pause, Resume, Skip, Settings };

// The background of the built-in layout, 297 x 137, with the bars' troughs drawn in.
QPixmap BuiltInBackground();
// The total (first) and current-file (second) bar pictures.
QPixmap BuiltInBar(bool total);
// A button glyph of 21 x 21 pixels in one state.
QPixmap BuiltInGlyph(Glyph glyph);

}  // namespace rd
