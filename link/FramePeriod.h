#pragma once
// The frame period of the current settings and the logging speed it allows.
// Header-only so that the panels and setup pages can use it without linking
// the application; the main window exposes it as its static ComputeFramePeriod.
#include <cmath>
#include <string>

#include "records/SharedRecords.h"

namespace zns {

inline constexpr int kMinFramePeriodMs = 250;

// Baud text of a divisor ("156250" .. "31250"); nullptr for a divisor the
// logger does not know.
inline const char* BaudLabelForDivisor(int divisor) {
    switch (divisor) {
        case 4: return "156250";
        case 5: return "125000";
        case 6: return "104167";
        case 7: return "89286";
        case 8: return "78125";
        case 9: return "69444";
        case 10: return "62500";
        case 12: return "52083";
        case 15: return "41667";
        case 20: return "31250";
        default: return nullptr;
    }
}

// Milliseconds one waveform frame of these settings takes on the link, plus
// the logger's 16 ms; not floored. 0 when the divisor cannot carry anything.
inline double RawFramePeriodMs(const AcquisitionSettings& s) {
    if (s.BaudDivisor <= 0) return 0.0;
    const double bytesPerSecond = 625000.0 / s.BaudDivisor / 10.0;
    double frameBytes = 13.0;
    for (int rx = 0; rx < 3; ++rx) {
        const int code = s.ZNSModus(rx);
        frameBytes += code == 1 ? 512.0 : (code == 2 || code == 3) ? 1024.0 : 0.0;
    }
    return frameBytes / bytesPerSecond * 1000.0 + 16.0;
}

// `periodMs`: the frame period, at least 250 ms, truncated. `baudLabel`: the
// divisor's baud text (left as it is for an unknown divisor). `maxSpeed`: the
// highest logging speed in m/min at which every depth interval gets its own
// frame, from the frame period (before the 250 ms floor) when `fromPeriod`,
// else from the time interval; 0.0 when that time is not positive. Any
// output may be null.
inline void ComputeFramePeriod(const AcquisitionSettings& s, int* periodMs, std::string* baudLabel,
                               double* maxSpeed, bool fromPeriod) {
    const double p = RawFramePeriodMs(s);
    if (periodMs) *periodMs = static_cast<int>(std::trunc(std::fmax(p, kMinFramePeriodMs)));
    if (baudLabel) {
        if (const char* label = BaudLabelForDivisor(s.BaudDivisor)) *baudLabel = label;
    }
    if (maxSpeed) {
        *maxSpeed = 0.0;
        const double t = fromPeriod ? p : static_cast<double>(s.TimeInterval);
        if (t > 0.0) *maxSpeed = s.DepthInterval * 600.0 / t;
    }
}

}  // namespace zns
