#pragma once
// The toolkit-free rules of the "Logger Setup" dialog and its winch and
// acquisition pages: the wheel/encoder checks, the read-back comparisons and
// resend counting, the time-sampling bounds, the receiver texts and the state
// timer's enabling table. The pages only move values between these rules and
// their controls.
#include <cstdint>
#include <string>

#include "records/SharedRecords.h"

namespace zns::setup {

// ---- winch -----------------------------------------------------------------

inline constexpr int kMinResolution = 500;
inline constexpr int kMaxResolution = 10000;
inline constexpr double kMinCircumference = 250.0;  // mm
inline constexpr double kMaxCircumference = 1500.0;
inline constexpr double kMinQ = 150.0;
inline constexpr double kMaxQ = 3000.0;
inline constexpr double kMinFactor = 10.0;   // counts per cm, exclusive
inline constexpr double kMaxFactor = 510.0;  // exclusive

enum class WinchCheck { Ok, OutOfRange, TooHigh, TooLow, BadCombination };

struct WinchResult {
    WinchCheck check = WinchCheck::Ok;
    int32_t f256 = 0;  // depth factor x 256 when accepted
};

// A typed circumference W (mm) with the stored resolution N.
WinchResult CheckCircumference(double w, int n);
// A typed resolution N with the circumference in tenths of mm.
WinchResult CheckResolution(int n, int32_t w10);
// The arrows' only check: q = 3000 W / N within 150..3000.
bool CombinationInRange(double w, int n);
// What an arrow step may take: q within 150..3000 and the depth factor within
// 10..510 (exclusive), beyond which the halved scale no longer fits command 1.
bool ArrowStepAllowed(double w, int n);
// RoundHalfAway(40 N / W x 256), saturating; 0 for a wheel without circumference.
int32_t DepthFactor256For(int n, double w);
// The report of a refused check ("" for Ok).
std::string WinchMessage(WinchCheck check, bool circumference);

// True when the configuration answer echoes what command 1 sent for `s`.
bool WinchEchoMatches(const AcquisitionSettings& s, const SondeStatus& echo);

// ---- read-back resend counting -----------------------------------------------

// Counts the resends that follow one change. A mismatch below the limit asks for
// a resend; the mismatch after `limit` resends asks for the one warning and
// starts counting again.
class ReadBackCounter {
public:
    enum class Action { Done, Resend, Warn };
    explicit ReadBackCounter(int limit) : m_limit(limit) {}
    Action OnMatch() {
        m_retries = 0;
        return Action::Done;
    }
    Action OnMismatch() {
        if (m_retries >= m_limit) {
            m_retries = 0;
            return Action::Warn;
        }
        ++m_retries;
        return Action::Resend;
    }
    int Retries() const { return m_retries; }
    void Reset() { m_retries = 0; }

private:
    int m_limit;
    int m_retries = 0;
};

inline constexpr int kWinchResends = 5;
inline constexpr int kAcquisitionResends = 10;

// ---- acquisition -------------------------------------------------------------

inline constexpr int kMaxTimeSampling = 5000;  // ms

// Smallest time interval the link carries for these settings (at least 250 ms)
// and the baud text of the divisor ("none" for a divisor not in the table).
int MinTimeSampling(const AcquisitionSettings& s, std::string* baudText = nullptr);
// "TIME SAMPLING : %d\nBad entered value\n(MIN %d- MAX 5000) at <baud> baud."
std::string TimeSamplingMessage(int value, int minimum, const std::string& baudText);

// The code byte command 8 asks for: (Rx3 x 4 + Rx2) x 4 + Rx1, 8 bits.
uint8_t ExpectedTraceByte(const AcquisitionSettings& s);
// True when the waveform echo differs from the settings (the interval only in Time mode).
bool AcquisitionEchoMismatch(const AcquisitionSettings& s, const SondeStatus& echo);
// The echo may be compared: no frame-status bit besides bit 0.
inline bool EchoStatusClean(uint8_t frameStatus) { return (frameStatus & 0xFE) == 0; }

// Sample period of a trace-length code: "---", "4 µs", "4 µs", "8 µs" (1252 bytes).
std::string SamplePeriodText(int code);
// Trace length of a replayed record's code: "-", "1 mSec", "2 mSec", "4 mSec".
std::string ReplayTraceText(int code);
// Blanks trimmed on both sides.
std::string Trim(const std::string& s);
// A receiver name centred for the display lists: (15 - length) / 2 leading blanks.
std::string PaddedName(const std::string& name);

// What the sampling read-back statics show: time (1630) and depth (1631).
struct SamplingTexts {
    std::string time;
    std::string depth;
};
// Live: by the low nibble of the echoed mode byte.
SamplingTexts LiveSamplingTexts(uint8_t mode, uint16_t step, bool scaleHalved);
// Replay: by the header's LogMode.
SamplingTexts ReplaySamplingTexts(int headerLogMode, int replayTimeStepMs, int headerStep);

// ---- setup dialog state timer ------------------------------------------------

struct SetupState {
    bool powered = false;
    int linkState = 0;
    bool commCheck = false;
    bool replayLoaded = false;  // SessionState byte 0
    bool playerRuns = false;    // SessionState byte 1
    bool recording = false;     // SessionState byte 4 is 1
    int rxNumber = 0;           // selected sonde's receivers
    bool headerGamma = false;   // replayed header's Natural_Gamma
    bool sondeGamma = false;    // selected sonde's Natural_Gamma
};

struct SetupEnables {
    bool winch = false;
    bool probeSet = false;
    bool probeControls = false;
    bool sampling = false;
    bool traceList[3] = {false, false, false};
    bool traceStatics = false;  // statics shown, lists hidden
    bool comm = false;
    bool gammaShown = false;
};

SetupEnables ComputeEnables(const SetupState& st);

}  // namespace zns::setup
