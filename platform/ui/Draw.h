#pragma once
// Drawing helpers for windows that paint into memory images.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <cstdint>
#include <string>

class QPainter;

namespace zns::ui {

// A memory bitmap: 0xFFRRGGBB pixels.
QImage MakeBitmap(int width, int height);

// Copies `src` (part `srcRect`) stretched onto `dst`, pixel for pixel, without smoothing.
void StretchBlt(QPainter& p, const QRect& dst, const QImage& src, const QRect& srcRect);

// Text turned by `tenthsOfDegree` counter-clockwise (900: read bottom to top) about
// (x, y), the top-left corner of the text as written unturned.
void DrawRotatedText(QPainter& p, int x, int y, const std::string& text, int tenthsOfDegree = 900);

// COLORREF (0x00BBGGRR) to and from QColor.
QColor FromColorRef(uint32_t colorRef);
uint32_t ToColorRef(const QColor& c);

// A font asked for by face name with a height in pixels (cell height when
// negative, as a logical font gives it) and a weight on the 0..1000 scale (400 normal, 700 bold).
QFont MakeFont(const std::string& face, int heightPx, int weight = 400);

}  // namespace zns::ui
