#include "ui/dialogs/SetupCore.h"

#include <cmath>
#include <limits>

#include "link/FramePeriod.h"
#include "link/CommandFrames.h"
#include "link/Picker.h"
#include "platform/NumText.h"

namespace zns::setup {

namespace {

WinchResult CheckCombination(double q, double f) {
    WinchResult r;
    // NaN (no resolution) falls through to the factor check and is refused there.
    if (q > kMaxQ) {
        r.check = WinchCheck::TooHigh;
    } else if (q < kMinQ) {
        r.check = WinchCheck::TooLow;
    } else if (!(f > kMinFactor && f < kMaxFactor)) {
        r.check = WinchCheck::BadCombination;
    } else {
        r.f256 = static_cast<int32_t>(RoundHalfAway(f * 256.0));
    }
    return r;
}

}  // namespace

WinchResult CheckCircumference(double w, int n) {
    if (!(w <= kMaxCircumference && w >= kMinCircumference)) return {WinchCheck::OutOfRange, 0};
    if (n <= 0) return {WinchCheck::TooHigh, 0};
    return CheckCombination(w / n * 3000.0, static_cast<double>(n) / w * 40.0);
}

WinchResult CheckResolution(int n, int32_t w10) {
    if (n > kMaxResolution || n < kMinResolution) return {WinchCheck::OutOfRange, 0};
    if (w10 <= 0) return {WinchCheck::TooLow, 0};
    const double w = w10 / 10.0;
    return CheckCombination(w / n * 3000.0, static_cast<double>(n) / w10 * 400.0);
}

bool CombinationInRange(double w, int n) {
    if (n <= 0) return false;
    const double q = w / n * 3000.0;
    return q >= kMinQ && q <= kMaxQ;
}

bool ArrowStepAllowed(double w, int n) {
    if (!CombinationInRange(w, n) || !(w > 0.0)) return false;
    const double f = 40.0 * n / w;
    return f > kMinFactor && f < kMaxFactor;
}

int32_t DepthFactor256For(int n, double w) {
    if (!(w > 0.0)) return 0;
    const double v = RoundHalfAway(40.0 * n / w * 256.0);
    if (!std::isfinite(v)) return 0;
    if (v >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    if (v <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

std::string WinchMessage(WinchCheck check, bool circumference) {
    switch (check) {
        case WinchCheck::Ok: return {};
        case WinchCheck::OutOfRange:
            return circumference ? "Bad entered value.\nMin 250 - Max 1500" : "Bad entered value.\nMin 500 - Max 10000";
        case WinchCheck::TooHigh: return "Too high wheel/encoder combination";
        case WinchCheck::TooLow: return "Too low wheel/encoder combination";
        case WinchCheck::BadCombination: return "Bad wheel/encoder combination";
    }
    return {};
}

bool WinchEchoMatches(const AcquisitionSettings& s, const SondeStatus& echo) {
    const int mode = s.CableType * 16 + (s.PulleyDir ? 32 : 0);
    if ((echo.Mode & 0x30) != mode) return false;
    if (echo.Echo1500 != kCmd1Constant) return false;
    // The same halving rule command 1 used when it was built.
    return echo.EchoScale == EncoderScaleWord(s);
}

int MinTimeSampling(const AcquisitionSettings& s, std::string* baudText) {
    int period = kMinFramePeriodMs;
    std::string baud = "none";
    ComputeFramePeriod(s, &period, &baud, nullptr, true);
    if (baudText) *baudText = baud;
    return period;
}

std::string TimeSamplingMessage(int value, int minimum, const std::string& baudText) {
    return Format("TIME SAMPLING : %d\nBad entered value\n(MIN %d- MAX 5000) at ", value, minimum) + baudText +
           " baud.";
}

uint8_t ExpectedTraceByte(const AcquisitionSettings& s) {
    return static_cast<uint8_t>((s.ZNSModus_Rx3 * 4 + s.ZNSModus_Rx2) * 4 + s.ZNSModus_Rx1);
}

bool AcquisitionEchoMismatch(const AcquisitionSettings& s, const SondeStatus& echo) {
    if (ExpectedTraceByte(s) != echo.TraceByte) return true;
    return s.RecordingMode == RECMODE_TIME && s.TimeInterval != echo.Step;
}

std::string SamplePeriodText(int code) {
    switch (code) {
        case 1:
        case 2: return "4 \xB5s";
        case 3: return "8 \xB5s";
        default: return "---";
    }
}

std::string ReplayTraceText(int code) {
    switch (code) {
        case 1: return "1 mSec";
        case 2: return "2 mSec";
        case 3: return "4 mSec";
        default: return "-";
    }
}

std::string Trim(const std::string& s) {
    const char* ws = " \t\r\n\v\f";
    const size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos) return {};
    const size_t e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

std::string PaddedName(const std::string& name) {
    const int pad = (15 - static_cast<int>(name.size())) / 2;
    return std::string(pad > 0 ? static_cast<size_t>(pad) : 0u, ' ') + name;
}

SamplingTexts LiveSamplingTexts(uint8_t mode, uint16_t step, bool scaleHalved) {
    const int m = mode & 0x0F;
    if (m == 0) return {"-", "-"};
    if (m == RECMODE_TIME) return {Format("%d", static_cast<int>(step)), "-"};
    int low = step & 0xFF;
    if (scaleHalved) low /= 2;
    return {"-", Format("%d", low)};
}

SamplingTexts ReplaySamplingTexts(int headerLogMode, int replayTimeStepMs, int headerStep) {
    if (headerLogMode == 10) return {Format("%d", replayTimeStepMs), "-"};
    if (headerLogMode == 11 || headerLogMode == 12) return {"-", Format("%d", headerStep)};
    return {"-", "-"};
}

SetupEnables ComputeEnables(const SetupState& st) {
    SetupEnables e;
    if (st.powered) {
        e.winch = false;
        e.probeSet = false;
        e.traceStatics = false;
        if (!st.recording) {
            e.traceList[0] = true;
            e.traceList[1] = st.rxNumber > 1;
            e.traceList[2] = st.rxNumber > 2;
            e.sampling = true;
            e.comm = !st.commCheck;
            e.probeControls = e.comm;
        }
    } else {
        e.winch = st.linkState >= LINK_ANSWER;
        e.probeSet = e.winch;
        e.probeControls = true;
        e.traceStatics = st.replayLoaded;
        e.comm = false;
    }
    e.gammaShown = st.playerRuns ? st.headerGamma : st.sondeGamma;
    return e;
}

}  // namespace zns::setup
