#include "ui/controls/CounterCore.h"

#include <cmath>
#include <cstring>

#include "platform/NumText.h"

namespace zns {

double CounterFontScale(int mode) {
    switch (mode) {
        case 0: return kCounterSmallFont;
        case 1: return 0.8;
        case 3: return 1.4;
        case 4: return 2.0;
        default: return 1.0;
    }
}

CounterFont CounterFontFor(int clientHeight, double scale) {
    CounterFont f;
    if (scale == kCounterSmallFont) {
        f.height = 14;
        f.width = 5;
        f.weight = 400;
        f.offset = (14 - clientHeight) / 2;
        return f;
    }
    f.height = static_cast<int>(1.2 * clientHeight);
    f.width = static_cast<int>(f.height / 3.0 * scale);
    f.weight = 700;
    f.offset = (f.height - clientHeight) / 2;
    return f;
}

CounterPlacement PlaceCounterText(int sizeMode, int left, int right, int chars, int fontWidth) {
    CounterPlacement p;
    const int w = chars * fontWidth;
    switch (sizeMode) {
        case COUNTER_RIGHT:
            p.rightAligned = true;
            p.x = right;
            p.sizeMode = sizeMode;
            break;
        case COUNTER_CENTRED:
            p.rightAligned = true;
            p.x = right - ((right - left) - w) / 2;
            p.sizeMode = sizeMode;
            break;
        case COUNTER_LEFT:
            p.rightAligned = false;
            p.x = left;
            p.sizeMode = sizeMode;
            break;
        default:
            p.rightAligned = true;
            p.x = right;
            p.sizeMode = COUNTER_RIGHT;
            break;
    }
    if (right - left < static_cast<int>(w * 1.1)) {
        p.rightAligned = false;
        p.x = left;
    }
    return p;
}

unsigned BlinkPeriodMs(int speed) {
    switch (speed) {
        case 0: return 2000;
        case 1: return 1000;
        case 2: return 500;
        default: return speed < 10 ? 10u : static_cast<unsigned>(speed);
    }
}

bool IsDoubleFormat(const char* format) {
    if (!format) return false;
    int conversions = 0;
    for (const char* s = format; *s; ++s) {
        if (*s != '%') continue;
        ++s;
        if (*s == '%') continue;
        while (*s && std::strchr("-+ #0", *s)) ++s;
        // Width and precision of at most two digits: nothing a read-out needs is wider.
        int digits = 0;
        while (*s >= '0' && *s <= '9') ++s, ++digits;
        if (digits > 2) return false;
        if (*s == '.') {
            ++s;
            digits = 0;
            while (*s >= '0' && *s <= '9') ++s, ++digits;
            if (digits > 2) return false;
        }
        if (*s == 'l') ++s;
        if (!*s || !std::strchr("fFeEgGaA", *s)) return false;
        ++conversions;
    }
    return conversions == 1;
}

std::string FormatCounterValue(double value, const char* format) {
    if (!std::isfinite(value)) value = 0.0;
    if (!IsDoubleFormat(format)) format = "%.2f";
    // The format was checked above: one double conversion and literal text.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::string text = Format(format, value);
#pragma GCC diagnostic pop
    if (text.size() > static_cast<size_t>(kCounterTextMax)) text.resize(kCounterTextMax);
    return text;
}

}  // namespace zns
