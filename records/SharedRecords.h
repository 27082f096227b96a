#pragma once
// The records, buffers and flags that every part of the program shares. One
// SharedData object (owned by the application object) holds all of them.
//
// Threads: flags and counters are atomics. The records (settings, sonde and
// logger status, live values, the last traces) are written whole under
// acqMutex; readers on other threads copy them under the same lock (the
// Snapshot helpers). New-data flags are set and cleared with atomic exchange.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "records/CommandQueue.h"

// Trace-length code of one receiver: 2 bits per receiver in the trace-length byte.
enum TraceLengthCode : int { TLC_NONE = 0, TLC_256_4US = 1, TLC_512_4US = 2, TLC_512_8US = 3 };

// Bytes of one trace for a trace-length code (0, 512, 1024, 1024).
int TraceBytesForCode(int code);
// Samples of one trace for a trace-length code (0, 256, 512, 512).
int TraceSamplesForCode(int code);
// Sample step in microseconds (4 or 8; 0 for no trace).
int SampleStepUsForCode(int code);
// Code of receiver rx (0..2) inside a trace-length byte.
inline int TraceCodeOf(uint8_t traceByte, int rx) { return (traceByte >> (2 * rx)) & 3; }

// Recording modes of AcquisitionSettings::RecordingMode.
enum : int { RECMODE_UP = 10, RECMODE_DOWN = 11, RECMODE_TIME = 12 };

// Link state codes (m_nLinkState).
enum : int {
    LINK_IDLE = 1,
    LINK_CHECKING = 2,
    LINK_RX_ERROR = 4,
    LINK_ANSWER = 16,
    LINK_STATUS = 32,
    LINK_WAVES = 255,
};

// Receiver ids (window ids of the wide views, channel ids of the scopes).
enum : int { RX1_ID = 2001, RX2_ID = 2002, RX3_ID = 2003 };

// Above this encoder scale the scale sent to the logger is halved.
inline constexpr uint16_t g_nDepthFactorLimit = 250;

struct FirstArrivalSettings {
    int32_t Threshold = 0;    // "RxNFAThreshold"
    int32_t StartWindow = 0;  // µs, "RxNStartWindow"
    int32_t EndWindow = 0;    // µs, "RxNEndWindow"
    int32_t Use = 0;          // "RxNUseFA"
};

struct AcquisitionSettings {
    uint8_t PulleyDir = 0;             // adds 0x20 to the cable byte of commands 0, 1, 8
    int32_t DepthFactor256 = 0;        // F256 = trunc(PulsResolution / (PulleysCircumference / 10.0) * 40 * 256)
    int32_t PulsResolution = 0;        // encoder pulses per wheel turn
    int32_t PulleysCircumference = 0;  // 0.1 mm
    int32_t Const1500 = 0;             // set by the command-1 builder
    int32_t CableType = 0;             // 0 four conductors, 1 mono cable
    double Const1500d = 0.0;           // set by the command-1 builder
    double DepthFactor = 0.0;          // encoder counts per cm = F256 / 256
    int32_t UpGain = 0;                // uphole receiver gain ("UpGain" of the sonde)
    int32_t BaudDivisor = 0;           // baud = 625000 / divisor
    int32_t DownDrive = 0;             // downhole communication data drive
    int32_t UpDrive = 0;               // uphole pulse width
    FirstArrivalSettings FA[3];        // Rx1..Rx3 first-arrival pick
    int32_t GammaViewMode = 0;         // 0..2
    int32_t GammaMax = 0;              // 100..65000
    int32_t GammaIsAverage = 0;
    int32_t GammaFilter = 0;
    int32_t VScale = 0;                // 25, 50, 100, 200, 500
    double DepthDatum = 0.0;           // m, preset by command 2
    uint16_t TimeInterval = 0;         // ms, time mode
    uint16_t DepthInterval = 0;        // cm, depth modes
    int32_t RecordingMode = RECMODE_TIME;
    int32_t ZNSModus_Rx1 = 0, ZNSModus_Rx2 = 0, ZNSModus_Rx3 = 0;  // TraceLengthCode per receiver
    int32_t GainRx1 = 0, GainRx2 = 0, GainRx3 = 0;                 // dB, 0..36
    int32_t AGC_Rx1 = 0, AGC_Rx2 = 0, AGC_Rx3 = 0;                 // non-zero sends gain 255
    int32_t RxLeftView = 0, RxRightView = 0;
    int32_t ChnBlanking = 0;

    int32_t& ZNSModus(int rx) { return rx == 0 ? ZNSModus_Rx1 : rx == 1 ? ZNSModus_Rx2 : ZNSModus_Rx3; }
    int32_t ZNSModus(int rx) const { return rx == 0 ? ZNSModus_Rx1 : rx == 1 ? ZNSModus_Rx2 : ZNSModus_Rx3; }
    int32_t& GainRx(int rx) { return rx == 0 ? GainRx1 : rx == 1 ? GainRx2 : GainRx3; }
    int32_t GainRx(int rx) const { return rx == 0 ? GainRx1 : rx == 1 ? GainRx2 : GainRx3; }
    int32_t& AGC_Rx(int rx) { return rx == 0 ? AGC_Rx1 : rx == 1 ? AGC_Rx2 : AGC_Rx3; }
    int32_t AGC_Rx(int rx) const { return rx == 0 ? AGC_Rx1 : rx == 1 ? AGC_Rx2 : AGC_Rx3; }
};

// Recorder, player and display choices.
struct SessionState {
    uint8_t ReplayLoaded = 0;    // a data file is loaded for replay
    uint8_t Running = 0;         // player or recorder running
    uint8_t SondeReported = 0;   // sonde reported powered (power panel's display timer)
    uint8_t Paused = 0;
    uint8_t Recording = 0;
    uint8_t StartingRecord = 0;  // from record start until the recorder has opened the file
    uint8_t NewLogSet = 0;       // set by New log
    int32_t BlackAndWhite = 0;   // trace-image palette: 0 grey, 1 blue-white-red, 2 rainbow
    uint32_t GammaColor = 0;     // COLORREF 0x00BBGGRR
    uint32_t FA_LeftColor = 0;
    uint32_t FA_RightColor = 0;
};

// Values of the current frame for the panels.
struct LiveValues {
    double Depth = 0.0;  // m
    double Speed = 0.0;  // m/min
    std::string ClearedText;
    std::string Value1Text;  // "%d"
    std::string Value2Text;  // "%d"
    std::string TimeText;    // HH:MM:SS
    uint8_t Flags[4] = {0, 0, 0, 0};
    int32_t Value1 = 0;
    int32_t Value2 = 0;
    std::string ExtraText1;
    std::string ExtraText2;
};

// The sonde's last reported state.
struct SondeStatus {
    uint8_t Mode = 0;            // byte 0: low nibble mode (0 off, 10, 11, 12), bit 6 alarm 0, bit 7 alarm 1
    uint16_t Echo1500 = 0;       // configuration answer
    uint16_t EchoScale = 0;      // configuration answer
    uint8_t VoltageEcho = 0;     // configuration answer
    uint8_t UpGainEcho = 0;      // all three frames
    uint8_t BaudEcho = 0;        // waveform head byte 19
    uint8_t UpDriveEcho = 0;     // waveform head byte 20
    uint8_t DownDriveEcho = 0;   // all three frames
    uint16_t Step = 0;           // step word
    uint16_t Gamma = 0;          // waveform head
    uint8_t FrameStatus = 0;     // status byte 13; 1 for an answer; waveform tail byte 2
    uint8_t TraceByte = 0;       // waveform head byte 21
    uint8_t Code[3] = {0, 0, 0};
    uint8_t Gain[3] = {0, 0, 0};
    uint16_t TraceBytes[3] = {0, 0, 0};
    uint16_t TravelTime[3] = {65535, 65535, 65535};  // µs, 65535 = none
};

// The current record, live or replayed.
struct LoggerStatus {
    uint16_t Gamma = 0;          // gamma count of the replayed record
    uint8_t FrameStatus = 0;     // 0 ok, 8 checksum error of an answer, else the frame's status byte
    uint8_t StepFlag = 0;        // the frame carried depth steps
    double LiveDepth = 0.0;      // m
    double ReplayDepth = 0.0;    // m
    uint8_t Mode = 0;            // byte 0 of the last frame, or from the header in replay
    int32_t StepSize = 0;        // cm, waveform head byte 3
    int32_t StepCount = 0;       // head byte 4
    int32_t ReplayStep = 0;
    int32_t Gain[3] = {0, 0, 0};
    uint8_t TraceByte = 0;
    int32_t Code[3] = {0, 0, 0};
    uint16_t TravelTime[3] = {65535, 65535, 65535};
};

inline constexpr size_t kTraceSamples = 8192;  // 16 KiB of signed 16-bit samples
using TraceBuffer = std::array<int16_t, kTraceSamples>;

struct SharedData {
    SharedData();
    SharedData(const SharedData&) = delete;
    SharedData& operator=(const SharedData&) = delete;

    // Guards every record below that is not atomic.
    mutable std::mutex acqMutex;

    AcquisitionSettings settings;
    SessionState session;
    LiveValues live;
    SondeStatus sonde;
    LoggerStatus logger;
    TraceBuffer m_pTraceRx[3]{};  // last trace of Rx1..Rx3, live or replayed

    // Copies taken under the lock, for readers on other threads.
    AcquisitionSettings SnapshotSettings() const { std::lock_guard<std::mutex> g(acqMutex); return settings; }
    SessionState SnapshotSession() const { std::lock_guard<std::mutex> g(acqMutex); return session; }
    LiveValues SnapshotLive() const { std::lock_guard<std::mutex> g(acqMutex); return live; }
    SondeStatus SnapshotSonde() const { std::lock_guard<std::mutex> g(acqMutex); return sonde; }
    LoggerStatus SnapshotLogger() const { std::lock_guard<std::mutex> g(acqMutex); return logger; }
    // Copies at most out.size() samples of receiver rx's last trace.
    void SnapshotTrace(int rx, int16_t* out, size_t count) const;

    // Command frames as last built (GUI thread builds, send queue carries copies).
    std::array<uint8_t, 3> m_pCmd0Frame{};
    std::array<uint8_t, 8> m_pCmd1Frame{};
    std::array<uint8_t, 6> m_pCmd2Frame{};
    std::array<uint8_t, 4> m_pCmd3Frame{};
    std::array<uint8_t, 15> m_pCmd8Frame{};
    std::array<uint8_t, 6> m_pCmd9Frame{};
    std::array<uint8_t, 5> m_pCmd10Frame{};

    // Frame images kept by the receive thread (only that thread touches them).
    std::array<uint8_t, 20> m_pAnswerFrame{};
    std::array<uint8_t, 16> m_pStatusFrame{};
    std::array<uint8_t, 22> m_pWaveHead{};
    std::array<uint8_t, 5> m_pWaveTail{};

    // Whole frames waiting for the send thread; its PendingBytes() is m_nTxLength.
    CommandQueue txQueue;
    int TxLength() const { return txQueue.PendingBytes(); }

    // Run flags and shared values.
    std::atomic<int> m_nLinkState{LINK_IDLE};
    std::atomic<bool> m_bSondePowered{false};
    std::atomic<bool> m_bExiting{false};
    std::atomic<bool> m_bUsbLoaded{false};
    std::atomic<bool> m_bLinkUp{false};
    // The last open found a logger it may not have (no access, held by another program).
    std::atomic<bool> m_bLoggerNoAccess{false};
    std::atomic<bool> m_bLinkWatchRunning{false};
    std::atomic<bool> m_bReceiveRun{false};
    std::atomic<bool> m_bReceiveRunning{false};
    std::atomic<bool> m_bSendRunning{false};
    std::atomic<bool> m_bPlayerRunning{false};
    std::atomic<bool> m_bRxActivity{false};
    std::atomic<bool> m_bTxActivity{false};
    std::atomic<bool> m_bCommCheck{false};
    std::atomic<bool> m_bDownDirection{true};
    std::atomic<bool> g_bFirstRecordPending{false};
    std::atomic<bool> g_bBadDirection{false};
    std::atomic<bool> g_bWaitLastDepth{false};
    std::atomic<bool> g_bGammaCoefEditing{false};
    std::atomic<int> g_nWaveHeadFlag{-1};
    std::atomic<double> g_dLastDepth{0.0};
    std::atomic<double> g_dLastDepth2{0.0};
    std::atomic<int64_t> m_ftLastRecordMs{0};  // steady ms of the last written record or last stop
    std::atomic<int> m_pRecordCount{0};        // elapsed ms of the recording
    std::atomic<int> m_nStatusOneFrames{0};
    std::atomic<int> m_nOtherFrames{0};

    // New-data flags of SondeStatus: [0] status and waveform frames (cleared by an
    // answer), [1] all three frame kinds, [2] waveform frames.
    std::atomic<bool> m_bNewData[3]{};
    bool TakeNewData(int i) { return m_bNewData[i].exchange(false); }

    // Display gains of the scopes and the trace image (1, 2, 4 ... 64).
    std::atomic<int> g_nDisplayGainRx[3]{1, 1, 1};
};
