#pragma once
// Shared helpers of the display tests: synthetic sonic traces, pixel probes and
// the artifact folder for screenshots.
#include <QImage>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zns::test {

// A sonic-like trace: silence, then a decaying burst starting at `arrivalUs`
// (first swing positive), with a later, slower arrival.
inline std::vector<int16_t> SonicTrace(int count, int stepUs, int arrivalUs, double amplitude) {
    std::vector<int16_t> s(static_cast<size_t>(count), 0);
    const double kPi = 3.14159265358979323846;
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) * stepUs;
        double v = 0.0;
        if (t >= arrivalUs) {
            const double u = t - arrivalUs;
            v += amplitude * std::exp(-u / 250.0) * std::sin(2.0 * kPi * u / 80.0);
        }
        if (t >= arrivalUs * 1.8) {
            const double u = t - arrivalUs * 1.8;
            v += amplitude * 0.7 * std::exp(-u / 400.0) * std::sin(2.0 * kPi * u / 130.0);
        }
        s[static_cast<size_t>(i)] = static_cast<int16_t>(std::clamp(v, -32767.0, 32767.0));
    }
    return s;
}

// 0xFFRRGGBB of a COLORREF.
inline QRgb RgbOf(uint32_t colorRef) {
    return qRgb(static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
                static_cast<int>((colorRef >> 16) & 0xFF));
}

inline QRgb Pixel(const QImage& img, int x, int y) { return img.pixel(x, y) | 0xFF000000u; }

inline int CountColor(const QImage& img, const QRect& r, QRgb color) {
    int n = 0;
    const QRect c = r.intersected(img.rect());
    for (int y = c.top(); y <= c.bottom(); ++y)
        for (int x = c.left(); x <= c.right(); ++x)
            if ((img.pixel(x, y) | 0xFF000000u) == (color | 0xFF000000u)) ++n;
    return n;
}

inline std::string ArtifactPath(const std::string& name) {
#ifdef ZNS_ARTIFACT_DIR
    const std::filesystem::path dir(ZNS_ARTIFACT_DIR);
#else
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zns-artifacts";
#endif
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

}  // namespace zns::test
