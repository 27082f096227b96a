#pragma once
// Simulated surface logger with its sonde and winch: a device model that speaks the
// logger's wire protocol (command frames in, answer frames out).
//
// It never runs a thread of its own. Every public call first brings the model up to
// clock.NowSteadyMs(): commands are applied, frames are generated and queued for the
// PC, all for the time that has elapsed. With a FakeClock a long scenario therefore
// runs as fast as the caller advances the clock. The other side of that coin: nothing
// happens while the clock stands still (a command takes effect replyDelayMs after it
// arrives, the pieces of a split frame arrive splitGapMs apart).
//
// Thread-safe: every public member takes one internal mutex.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace zns::sim {

namespace detail {
struct TraceParams;
}

// Behaviour of the logger-sonde telemetry link.
enum class Scenario {
    Normal,            // working ranges of drive, gain, uphole drive and baud exist
    SondeNeverAnswers, // every frame from a powered sonde reports "no response"
    NoPassingDrive,    // the downhole link needs a drive above 60
    GainEchoStuck,     // the uphole gain echo ignores command 3 (only command 8 sets it)
    FinalCheckFails,   // the link holds for linkHoldFrames frames after a settings command, then fails
};

// Ways to spoil the next frames on their way to the PC.
enum class FrameFault {
    BadSum,      // 16-bit sum off by one
    BadEnd,      // end byte not 0x99
    BadLength,   // length word in the head too large by 5
    Headerless,      // status frame sent as its 17-byte body without the 7-byte head
    HeaderlessLong,  // the same with one extra byte before the frame status (18 bytes)
};

// Echo registers that can be made to report a wrong value.
enum class EchoField {
    Const1500, Scale, Voltage, UpGain, DownDrive, Interval, BaudDivisor, UpDrive, RxGains,
};

struct SimConfig {
    uint32_t seed = 1;  // noise, garbage and split points are reproducible

    // Physical winch and encoder (what the wheel really does, whatever the PC believes).
    double encoderCountsPerCm = 80.0;  // 1000 pulses per turn, 500 mm wheel, x4
    bool encoderInverted = false;      // the PC corrects it with the encoder-direction bit
    double startDepthM = 100.0;        // true depth of the sonde at start
    double winchSpeedMpm = 0.0;        // magnitude, metres per minute
    bool winchDown = true;             // true: depth increases
    double counterLagCm = 0.0;         // frames carry the counter this far behind the sonde
    bool winchFollowsMode = false;     // command 8 in Up or Down mode turns the winch that way

    // Logger timing.
    int replyDelayMs = 5;          // reception of a command -> its effect
    int configAnswerDelayMs = 20;  // command 1 applied -> configuration answer sent
    int statusPeriodMs = 250;      // status frames fill any gap longer than this
    bool idleStatusFrames = true;  // false: with the sonde off, only configuration answers
    int settingUpdateFrames = 1;   // frames flagged 0x20 after a command 8
    int parameterUpdateFrames = 0; // frames flagged 0x10 after a command 3, 9 or 10
    size_t hostBufferLimit = 256 * 1024;  // USB-side FIFO; frames beyond it are lost
    int splitGapMs = 1;            // spacing of the pieces of a split frame

    // Sonde.
    int rxCount = 3;
    double rxOffsetM[3] = {0.91, 1.22, 1.52};
    double toolDelayUs = 60.0;       // mud path and electronics before the first arrival
    double baseAmplitude = 6000.0;   // amplitude scale at the near receiver, 0 dB
    double noiseAmplitude = 6.0;     // sample noise at 0 dB
    int sondeCurrentMa = 150;        // supply current while powered
    int lowVoltageAlarmV = 60;       // measured voltage below this raises alarm bit 7

    // Telemetry link model.
    Scenario scenario = Scenario::Normal;
    int downDriveMin = 10;           // downhole drives that reach the sonde
    int downDriveMax = 45;
    int fastestBaudDivisor = 6;      // fastest divisor with a usable gain window
    // FinalCheckFails only. Counted in frames, not time, so that whether a check
    // outlasts the hold does not depend on how fast the PC reads.
    int linkHoldFrames = 40;
};

// What became of one command frame received from the PC.
enum class CommandOutcome { Applied, MisEchoed, Refused, BadChecksum, Rejected };

struct CommandRecord {
    int64_t rxMs = 0;      // when its last byte arrived
    int64_t applyMs = 0;   // when it took effect (or was dropped)
    uint8_t code = 0;
    std::vector<uint8_t> bytes;  // the whole frame as received
    CommandOutcome outcome = CommandOutcome::Applied;
};

// The logger's registers and counters, for tests and tools.
struct SimSnapshot {
    bool plugged = true;
    uint8_t mode = 0;        // 0 off, 10 up, 11 down, 12 time
    uint8_t cableBits = 0;   // 0x10 mono cable, 0x20 encoder direction
    uint16_t const1500 = 0;
    uint16_t scale = 0;      // encoder scale received with command 1
    uint8_t voltage = 90;    // supply voltage set by commands 1 and 8
    uint8_t upGain = 5;
    uint8_t downDrive = 6;
    uint8_t rxGain[3] = {0, 0, 0};
    uint8_t blanking = 0;
    uint8_t baudDivisor = 10;
    uint8_t upDrive = 6;
    uint8_t traceByte = 0;
    uint16_t interval = 250;
    int32_t depthCounter = 0;
    int16_t rate = 0;
    double trueDepthM = 0.0;
    uint8_t nextSequence = 0;
    uint64_t statusFrames = 0, configFrames = 0, waveFrames = 0;  // delivered to the FIFO
    uint64_t overflowFrames = 0;  // lost because the FIFO was full
    uint64_t synthesizedFrames = 0;  // waveform frames whose traces were computed
    uint64_t droppedFrames = 0;   // not sent: silence or unplugged
    uint64_t unknownBytes = 0;    // command bytes that began no known frame
};

class SimLogger {
public:
    SimLogger(IClock& clock, SimConfig config = {});
    SimLogger(const SimLogger&) = delete;
    SimLogger& operator=(const SimLogger&) = delete;

    // --- USB side -------------------------------------------------------------
    // Bytes written by the PC. Ignored while unplugged.
    void HostWrite(const uint8_t* data, size_t n);
    // Bytes ready for the PC now (at most max); 0 while unplugged.
    size_t HostRead(uint8_t* dst, size_t max);
    // Bytes ready for the PC now.
    size_t HostAvailable();
    // Drops every byte waiting for the PC.
    void Purge();
    bool Plugged();

    // --- Winch ------------------------------------------------------------------
    void SetWinchSpeed(double metresPerMinute);  // magnitude; negative taken as 0
    void SetWinchDirection(bool down);           // true: going down (depth increasing)

    // --- Behaviour --------------------------------------------------------------
    void SetScenario(Scenario s);
    void SetReplyDelayMs(int ms);
    // The next `count` command frames with this code (-1: any code) are checked and
    // then ignored.
    void RefuseNext(int code = -1, int count = 1);
    // The next `count` command frames with this code (-1: any) are applied, but the
    // echoes of their fields read one too high until that field is set again.
    void MisEchoNext(int code = -1, int count = 1);
    // A lasting echo error of one field (0 removes it).
    void SetEchoOffset(EchoField field, int delta);

    // --- Faults -----------------------------------------------------------------
    // Frames are cut into random pieces (1..maxPiece bytes) that reach the PC
    // splitGapMs apart; 0 turns it off.
    void SetSplitReads(int maxPiece);
    void InjectGarbage(size_t bytes);          // random bytes before the next frame
    void InjectFalseSync(int count = 1);       // sync words heading nothing valid
    void CorruptNext(FrameFault fault, int count = 1);
    void SkipSequence(int n);                  // the next frame's number jumps by n
    void InjectFrameStatus(uint8_t bits, int frames);  // OR into the next frames' status
    void SetSilent(bool silent);               // the logger sends nothing
    void SilenceFor(int64_t ms);
    void SetEncoderError(bool on);             // alarm bit 6
    void SetSupplyDrop(int volts);             // measured voltage below the set one
    void SetCurrentMa(int mA);                 // measured current while powered
    void Unplug();                             // pending bytes lost; commands ignored
    void Replug(bool powerCycled = false);     // powerCycled: logger back in reset state; writes taken again
    // A wedged bus: each write from the PC neither completes nor times out until
    // released, or until the device goes.
    void HoldWrites(bool held);
    bool WritesHeld();

    // --- Observation ------------------------------------------------------------
    std::vector<CommandRecord> CommandLog();
    void ClearCommandLog();
    SimSnapshot Snapshot();

    // Formation model, exposed for tests: slowness (us/m) and gamma (API) at a depth.
    static double FormationSlowness(double depthM);
    static double FormationGammaApi(double depthM);

    // Frame status that the link model gives for these settings (no faults, no
    // update flags, no time dependence). Exposed for tests.
    static uint8_t LinkStatus(const SimConfig& cfg, Scenario s, int downDrive, int upGain,
                              int upDrive, int baudDivisor);

private:
    struct Pending {       // command waiting for its effect
        int64_t rxMs = 0;
        int64_t applyAt = 0;
        std::vector<uint8_t> bytes;
    };
    struct Outgoing {      // frame on its way to the PC
        int64_t deliverAt = 0;
        int kind = 0;      // 0 status, 1 configuration answer, 2 waveform
        std::vector<uint8_t> body;  // without the end byte
        // Waveforms: traces are synthesised on delivery, only for frames that are kept.
        bool synth = false;
        double slowness = 0.0;
        uint64_t noiseSeed = 0;
        int gainDb[3] = {0, 0, 0};
    };
    struct Segment {       // bytes waiting for their release time
        int64_t releaseAt = 0;
        std::vector<uint8_t> bytes;
    };

    void AdvanceLocked(int64_t now);
    void ParseCommandsLocked(int64_t rxMs);
    void ApplyLocked(const Pending& p, int64_t t);
    void QueueFrameLocked(Outgoing f);
    void DeliverLocked(Outgoing& f, int64_t t);
    void SynthesizeTracesLocked(Outgoing& f) const;
    detail::TraceParams TraceParamsFor(int rx, int code, double slowness, int gainDb) const;
    void PushBytesLocked(std::vector<uint8_t> bytes, int64_t t, bool splittable);
    double WinchSpeedLocked() const;
    void RebaseWinchLocked(int64_t t);
    double CountsAt(int64_t t) const;
    int32_t ReportedCounterLocked(int64_t t) const;
    double TrueDepthAt(int64_t t) const;
    double CountVelocityPerMs() const;
    double IntervalCountsLocked() const;
    int64_t NextWaveTriggerLocked() const;
    void TriggerWaveLocked(int64_t t);
    std::vector<uint8_t> StatusBodyLocked(int64_t t);
    std::vector<uint8_t> ConfigBodyLocked(int64_t t);
    uint8_t ModeByteLocked() const;
    uint8_t FrameStatusLocked(int64_t t);
    uint8_t MeasuredVoltageLocked() const;
    uint8_t MeasuredCurrentLocked() const;
    int64_t TxTimeMsLocked(size_t bytes) const;
    static bool DownholeReaches(const SimConfig& cfg, Scenario s, int downDrive);
    int EchoLocked(EchoField f, int value) const;
    void ResetRegistersLocked();
    size_t ReadyBytesLocked(int64_t now) const;

    IClock& m_clock;
    SimConfig m_cfg;
    std::mutex m_mu;
    std::mt19937 m_rng;

    // Registers of the logger.
    SimSnapshot m_reg;
    int m_echoOffset[9] = {};    // lasting offsets per EchoField
    int m_misEcho[9] = {};       // one-command offsets per EchoField
    uint8_t m_gainEcho = 5;      // uphole gain as echoed (differs under GainEchoStuck)
    bool m_encoderError = false;
    int m_supplyDrop = 0;
    int m_currentMa = -1;        // -1: the configured value

    // Winch: counts and true depth at m_winchT, moving at constant speed since then.
    int64_t m_winchT = 0;
    double m_counts0 = 0.0;
    double m_depth0 = 0.0;
    double m_speedMpm = 0.0;
    bool m_down = true;

    // Model time and schedules.
    int64_t m_now = 0;
    int64_t m_lastDelivery = 0;  // last frame sent (or due) towards the PC
    int64_t m_linkFreeAt = 0;    // telemetry busy with a sonde frame until then
    int64_t m_lastTrigger = 0;   // time-mode reference
    int m_framesSinceSettings = 0;  // status and waveform frames since a settings command
    double m_lastFiredCounts = 0.0;  // depth-mode trigger reference
    int m_settingUpdateLeft = 0;
    int m_paramUpdateLeft = 0;

    // Command reception.
    std::vector<uint8_t> m_rxBytes;
    int64_t m_rxLastMs = 0;
    std::deque<Pending> m_pending;
    int m_refuseCode = -2, m_refuseCount = 0;
    int m_misCode = -2, m_misCount = 0;
    std::vector<CommandRecord> m_log;

    // Frames in flight and the FIFO towards the PC.
    std::deque<Outgoing> m_outgoing;  // ordered by deliverAt
    std::deque<Segment> m_fifo;
    size_t m_fifoBytes = 0;
    size_t m_headOffset = 0;     // bytes already read from the first segment

    // Faults.
    int m_splitMax = 0;
    size_t m_garbage = 0;
    int m_falseSyncs = 0;
    std::deque<FrameFault> m_faults;      // for the next frames of any kind
    std::deque<FrameFault> m_headerless;  // for the next status frames
    int m_seqSkip = 0;
    uint8_t m_statusBits = 0;
    int m_statusBitsFrames = 0;
    bool m_silent = false;
    int64_t m_silentUntil = 0;
    bool m_plugged = true;
    bool m_writesHeld = false;
};

}  // namespace zns::sim
