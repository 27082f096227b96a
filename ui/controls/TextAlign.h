#pragma once
// TextOut as the ported drawing code expects it: a reference point plus the
// window system's alignment flags, optionally over an opaque text cell.
#include <QColor>
#include <QString>

class QPainter;

namespace zns::ui {

inline constexpr unsigned TA_LEFT = 0;
inline constexpr unsigned TA_RIGHT = 2;
inline constexpr unsigned TA_CENTER = 6;
inline constexpr unsigned TA_TOP = 0;
inline constexpr unsigned TA_BOTTOM = 8;
inline constexpr unsigned TA_BASELINE = 24;

// Draws `text` with the painter's font and pen; (x, y) is the reference point
// chosen by `align`. With `opaque` the text cell is first filled with that colour.
void TextOutAligned(QPainter& p, int x, int y, const QString& text, unsigned align, const QColor* opaque = nullptr);

// The same for text turned 90 degrees counter-clockwise (it reads upwards); the
// alignment applies to the turned cell as it does to a plain one (TA_BOTTOM puts
// the cell's bottom edge, now on the right, at x).
void TextOutTurned(QPainter& p, int x, int y, const QString& text, unsigned align);

// Width of `text` along its baseline in the painter's font.
int TextWidth(const QPainter& p, const QString& text);

}  // namespace zns::ui
