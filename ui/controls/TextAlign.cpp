#include "ui/controls/TextAlign.h"

#include <QFontMetrics>
#include <QPainter>

namespace zns::ui {

namespace {

// Offset of the cell's left edge from the reference point along the baseline.
int HorizontalShift(unsigned align, int width) {
    switch (align & TA_CENTER) {
        case TA_CENTER: return -width / 2;
        case TA_RIGHT: return -width;
        default: return 0;
    }
}

// Offset of the cell's top edge from the reference point.
int VerticalShift(unsigned align, const QFontMetrics& fm) {
    if ((align & TA_BASELINE) == TA_BASELINE) return -fm.ascent();
    if (align & TA_BOTTOM) return -fm.height();
    return 0;
}

}  // namespace

void TextOutAligned(QPainter& p, int x, int y, const QString& text, unsigned align, const QColor* opaque) {
    const QFontMetrics fm(p.font());
    const int w = fm.horizontalAdvance(text);
    const int left = x + HorizontalShift(align, w);
    const int top = y + VerticalShift(align, fm);
    if (opaque) p.fillRect(left, top, w, fm.height(), *opaque);
    p.drawText(left, top + fm.ascent(), text);
}

void TextOutTurned(QPainter& p, int x, int y, const QString& text, unsigned align) {
    const QFontMetrics fm(p.font());
    const int w = fm.horizontalAdvance(text);
    // In the turned frame "right" is up the screen and "down" is to the right.
    const int along = HorizontalShift(align, w);  // along the baseline
    const int across = VerticalShift(align, fm);  // across it
    p.save();
    p.translate(x, y);
    p.rotate(-90.0);
    p.drawText(along, across + fm.ascent(), text);
    p.restore();
}

int TextWidth(const QPainter& p, const QString& text) { return QFontMetrics(p.font()).horizontalAdvance(text); }

}  // namespace zns::ui
