#pragma once
// Dialog units of the templates' 8-point "MS Shell Dlg" (6 x 13 base units) to
// pixels, for dialogs laid out by hand from their template coordinates.
#include <QFont>
#include <QRect>

#include "platform/ui/Draw.h"

namespace zns::ui {

// The templates' font: 8 points at 96 dpi.
inline QFont TemplateFont() { return MakeFont("MS Shell Dlg", -11, 400); }

constexpr int DluX(int x) { return (x * 6 + 2) / 4; }
constexpr int DluY(int y) { return (y * 13 + 4) / 8; }
inline QRect DluRect(int x, int y, int w, int h) { return QRect(DluX(x), DluY(y), DluX(w), DluY(h)); }

}  // namespace zns::ui
