// How the progress window fits its figures into its labels, bars and tray icon.
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>
#include <functional>

namespace rd {

// The file name as it fits `fits`: the name up to and including its first "/" after the
// second character (or up to its third-last character when there is none), then "....", then
// as much of its end as fits, never fewer than four characters.
QString ShortenFileName(const QString& name, const std::function<bool(const QString&)>& fits);

// The tray tip: at most 63 characters, the first 15 and the last 48 of a longer title.
QString ShortenTip(const QString& title);

// The tray image for the job's progress: 1 to 32.
int TrayImageIndex(uint64_t done, uint64_t listed);

// The visible share of a bar picture `size` pixels long: size x done / listed, at most the
// picture itself.
int BarExtent(int size, uint64_t done, uint64_t listed);

// The layout and the skins name Windows fonts ("Arial", "MS Sans Serif"); they are drawn with
// fonts of the same widths where the system has them, so that texts fit their labels.
void InstallFontSubstitutes();

// A colour value with red in its low byte; 0x80 in the high byte names a system colour (its
// low byte the index: 5 window background, 8 window text).
QColor ColorFromValue(uint32_t value);

}  // namespace rd
