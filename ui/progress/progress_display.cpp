#include "ui/progress/progress_display.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QStringList>
#include <algorithm>

namespace rd {

QString ShortenFileName(const QString& name, const std::function<bool(const QString&)>& fits) {
    if (fits(name) || name.size() < 3)
        return name;
    qsizetype at = name.indexOf('/', 2);
    if (at < 0)
        at = std::max<qsizetype>(name.size() - 3, 0);
    const qsizetype afterDots = at + 1 + 4;
    QString shown = name;
    shown.insert(at + 1, QStringLiteral("...."));
    while (shown.size() > afterDots + 4 && !fits(shown))
        shown.remove(afterDots, 1);
    return shown;
}

QString ShortenTip(const QString& title) {
    constexpr qsizetype kTipLength = 63;
    constexpr qsizetype kHead = 15;
    if (title.size() <= kTipLength)
        return title;
    return title.left(kHead) + title.right(kTipLength - kHead);
}

int TrayImageIndex(uint64_t done, uint64_t listed) {
    if (listed == 0)
        return 1;
    const uint64_t index = 31 * std::min(done, listed) / listed + 1;
    return static_cast<int>(std::clamp<uint64_t>(index, 1, 32));
}

int BarExtent(int size, uint64_t done, uint64_t listed) {
    if (listed == 0 || size <= 0)
        return 0;
    const uint64_t extent = static_cast<uint64_t>(size) * std::min(done, listed) / listed;
    return static_cast<int>(extent);
}

void InstallFontSubstitutes() {
    const QStringList sameWidths = {"Liberation Sans", "Arimo", "Helvetica", "DejaVu Sans"};
    for (const char* name : {"Arial", "MS Sans Serif", "Microsoft Sans Serif", "Tahoma"})
        if (QFont::substitutes(name).isEmpty())
            QFont::insertSubstitutions(name, sameWidths);
}

QColor ColorFromValue(uint32_t value) {
    if ((value >> 24) == 0x80) {
        const QPalette palette = QApplication::palette();
        switch (value & 0xFF) {
            case 5: return palette.color(QPalette::Base);
            case 8: return palette.color(QPalette::WindowText);
            case 15: return palette.color(QPalette::Button);
            default: return palette.color(QPalette::WindowText);
        }
    }
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

}  // namespace rd
