#include "ui/dialogs/FirstArrivalCursorCore.h"

#include <algorithm>
#include <cmath>

namespace zns {

namespace {

// The edits hold whatever was typed; steps on saturated values must not overflow.
long long Wide(int v) { return static_cast<long long>(v); }

}  // namespace

int FaHoldThreshold(long long value) {
    value = std::clamp<long long>(value, -kFaThresholdMax, kFaThresholdMax);
    return value == 0 ? 1 : static_cast<int>(value);
}

int FaThresholdFromEdit(double value) {
    if (std::isnan(value)) return 1;
    const double t = std::trunc(std::clamp(value, -double(kFaThresholdMax), double(kFaThresholdMax)));
    return FaHoldThreshold(static_cast<long long>(t));
}

bool FaCommitStart(FaCursor& c, int value) {
    value = std::clamp(value, kFaStartMin, kFaStartMax);
    bool endMoved = false;
    if (Wide(value) > Wide(c.end) - kFaMinGap) {
        c.end = value + kFaMinGap;
        endMoved = true;
    }
    c.start = value;
    return endMoved;
}

bool FaCommitEnd(FaCursor& c, int value) {
    value = std::clamp(value, kFaEndMin, kFaEndMax);
    bool startMoved = false;
    if (Wide(value) < Wide(c.start) + kFaMinGap) {
        c.start = value - kFaMinGap;
        startMoved = true;
    }
    c.end = value;
    return startMoved;
}

int FaThresholdLineUp(int shown) {
    const long long v = std::min<long long>(Wide(shown) + 1, kFaThresholdMax);
    return v == 0 ? 1 : static_cast<int>(v);
}

int FaThresholdLineDown(int shown) {
    const long long v = std::max<long long>(Wide(shown) - 1, -kFaThresholdMax);
    return v == 0 ? -1 : static_cast<int>(v);
}

int FaStartLineDown(int shown) {
    return static_cast<int>(std::max<long long>(Wide(shown) - kFaWindowStep, kFaStartMin));
}

int FaEndLineUp(int shown) { return static_cast<int>(std::min<long long>(Wide(shown) + kFaWindowStep, kFaEndMax)); }

int FaStartLineUp(FaCursor& c, int shown, bool* endMoved) {
    const int value = static_cast<int>(std::min<long long>(Wide(shown) + kFaWindowStep, kFaStartMax));
    const bool moved = Wide(value) > Wide(c.end) - kFaMinGap;
    if (moved) c.end = value + kFaMinGap;
    if (endMoved) *endMoved = moved;
    return value;
}

int FaEndLineDown(FaCursor& c, int shown, bool* startMoved) {
    const int value = static_cast<int>(std::max<long long>(Wide(shown) - kFaWindowStep, kFaEndMin));
    const bool moved = Wide(value) < Wide(c.start) + kFaMinGap;
    if (moved) c.start = value - kFaMinGap;
    if (startMoved) *startMoved = moved;
    return value;
}

}  // namespace zns
