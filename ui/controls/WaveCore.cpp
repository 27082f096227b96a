#include "ui/controls/WaveCore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zns {

namespace {

int TruncSat(double x) {
    if (std::isnan(x)) return 0;
    if (x >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (x <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(x);
}

double RoundAway(double x) { return x >= 0.0 ? std::floor(x + 0.5) : std::ceil(x - 0.5); }

}  // namespace

int ScopeTimeFactor(int code) {
    switch (code) {
        case 2: return 2;
        case 3: return 4;
        default: return 1;
    }
}

int ScopeSamplePeriodUs(int code) { return code == 3 ? 8 : 4; }

std::string ScopeTimeLabel(int code, int i) {
    if (i == 0) return "0\xB5s";
    if (i < 1 || i > 4 || code < 1 || code > 3) return {};
    static const char* const kLabels[3][4] = {
        {"250\xB5s", "500\xB5s", "750\xB5s", "1000\xB5s"},
        {"500\xB5s", "1000\xB5s", "1500\xB5s", "2000\xB5s"},
        {"1000\xB5s", "2000\xB5s", "3000\xB5s", "4000\xB5s"},
    };
    return kLabels[code - 1][i - 1];
}

double ScopeTimeStep(int width) { return static_cast<double>(width) / 512.0 * 500.0 * 0.25; }

std::array<int, 3> ScopeHorizontalGrid(int height) {
    return {TruncSat(height * 0.25), TruncSat(height * 0.5), TruncSat(height * 0.75)};
}

std::vector<int> ScopeVerticalGrid(int width, int height, int code) {
    std::vector<int> xs;
    if (code == 0 || width <= 0) return xs;
    if (code >= 1 && code <= 3) {
        const double step = ScopeTimeStep(width);
        for (int i = 1; i <= 4; ++i) xs.push_back(TruncSat(i * step));
        return xs;
    }
    // A client under 4 rows high has no quarter to divide by.
    const int quarter = height / 4;
    if (quarter <= 0) return xs;
    const int n = TruncSat(RoundAway(static_cast<double>(width) / quarter));
    if (n <= 0) return xs;
    for (int k = 0; k < n; ++k) xs.push_back(static_cast<int>(static_cast<long long>(k) * width / n));
    return xs;
}

int ScopeLabelX(int width, int i) {
    if (i == 0) return 10;
    return TruncSat(i * ScopeTimeStep(width) + 4);
}

int ClampScopeGain(int gain) { return std::clamp(gain, 1, kScopeMaxGain); }

double ScopeThresholdY(int height, int gain, int level) {
    const int q = 65536 / ClampScopeGain(gain);
    return static_cast<double>(height) / q * (q / 2 - 64.0 * (static_cast<double>(level) - 127.0));
}

bool ScopeThresholdVisible(double y, int height) { return y > 0.0 && y < height; }

int ScopeTimeX(int width, int us, int code) {
    const int f = ScopeTimeFactor(code);
    return TruncSat(static_cast<double>(width) / 1024.0 * (us / f));
}

bool ScopePickDrawn(int t) { return t > 0 && t < 65535; }

int ScopeTraceX(int width, int count, int i) {
    if (count <= 0) return 0;
    return TruncSat(static_cast<double>(width) / count * i);
}

int ScopeTraceY(int height, int sample, int gain) {
    long long v = sample;
    if (gain > 1) v *= std::min(gain, kScopeMaxGain);
    v = std::clamp<long long>(v, -32767, 32767);
    const double h2 = height - 2;
    return TruncSat(h2 - (static_cast<double>(v) + 32768.0) * h2 / 65535.0 + 1.0);
}

}  // namespace zns
