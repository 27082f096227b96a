#include "platform/ui/Draw.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

#include "platform/ui/UiText.h"

namespace zns::ui {

QImage MakeBitmap(int width, int height) {
    QImage img(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32);
    img.fill(0xFFFFFFFFu);
    return img;
}

void StretchBlt(QPainter& p, const QRect& dst, const QImage& src, const QRect& srcRect) {
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(dst, src, srcRect);
    p.restore();
}

void DrawRotatedText(QPainter& p, int x, int y, const std::string& text, int tenthsOfDegree) {
    p.save();
    p.translate(x, y);
    p.rotate(-tenthsOfDegree / 10.0);
    p.drawText(0, p.fontMetrics().ascent(), ToQ(text));
    p.restore();
}

QColor FromColorRef(uint32_t colorRef) {
    return QColor(static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
                  static_cast<int>((colorRef >> 16) & 0xFF));
}

uint32_t ToColorRef(const QColor& c) {
    return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
           static_cast<uint32_t>(c.blue()) << 16;
}

QFont MakeFont(const std::string& face, int heightPx, int weight) {
    QFont f(ToQ(face));
    if (heightPx != 0) f.setPixelSize(std::abs(heightPx));
    // 100..900 map straight onto Qt's weights.
    const int w = std::clamp(weight <= 0 ? 400 : weight, 100, 900);
    f.setWeight(static_cast<QFont::Weight>(w));
    return f;
}

}  // namespace zns::ui
