// The frame handlers of CToolsStream: what a configuration answer, a status
// frame and a waveform frame change in the shared records, which depths become
// trace-image rows and data records, and what the main window is told.
// One unit with ToolsStreamRecords.cpp (the data-file records), split for length.
#include <algorithm>
#include <cmath>

#include "link/Checksums.h"
#include "link/CommandFrames.h"
#include "link/LinkReport.h"
#include "link/Picker.h"
#include "link/ToolsStream.h"
#include "platform/NumText.h"

namespace {

inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline int16_t I16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }
inline int32_t I32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

constexpr uint8_t kModeUp = RECMODE_UP;
constexpr uint8_t kModeDown = RECMODE_DOWN;
constexpr uint8_t kModeTime = RECMODE_TIME;
constexpr uint8_t kStatusValid = 0x01;       // uphole data valid
constexpr uint8_t kStatusSettingUpd = 0x20;  // first frames after a command 8
constexpr uint8_t kStatusConverted = 0x80;   // status block that came without its head
constexpr uint8_t kAlarm0 = 0x40;
constexpr uint8_t kAlarm1 = 0x80;
constexpr size_t kClearedSamples = 2048;     // the first 4096 bytes of a trace buffer
constexpr int kWaveHead = 22;
constexpr int kWaveTail = 5;

// Movement against the recording direction, or a stop: not counted as recording time.
constexpr double kWrongWaySpeed = 0.5;  // m/min
constexpr double kStandingSpeed = 0.1;  // m/min
// Depths closer than this are the same row (sums of steps carry rounding).
constexpr double kDepthEps = 1e-6;      // m

}  // namespace

void CToolsStream::SetFrameHooks(FrameHooks hooks) { m_hooks = std::move(hooks); }

double CToolsStream::StepMetres(int stepByte, bool scaleHalved) {
    // A fine encoder (more counts per cm than the scale word holds) is sent at half
    // scale with a doubled interval: the logger then counts in half centimetres, and
    // the step it reports (the interval it was given) is in those units too. Halving
    // it here brings it back to centimetres; read as it stands, every filled row
    // would land one whole interval too far.
    const double cm = scaleHalved ? stepByte / 2.0 : static_cast<double>(stepByte);
    return cm / 100.0;
}

double CToolsStream::DepthFromCounter(const AcquisitionSettings& s, int32_t counter) {
    // Counts per cm; without one (no wheel configured) there is no depth to show.
    const double f = s.DepthFactor;
    if (!(f > 0.0) || !std::isfinite(f)) return 0.0;
    return counter / (f * 100.0);
}

double CToolsStream::SpeedFromRate(const AcquisitionSettings& s, int16_t rate) {
    if (s.PulsResolution <= 0) return 0.0;
    return rate * (2.0 * (s.PulleysCircumference / 10.0) / s.PulsResolution) / 100.0;
}

uint16_t CToolsStream::PickTravelTime(const int16_t* samples, int byteCount, int step, int receiver) {
    const AcquisitionSettings s = m_shared.SnapshotSettings();
    return ::PickTravelTime(s, samples, byteCount, step, receiver);
}

bool CToolsStream::FillAllowed(double depth, int mode) const {
    if (!m_lastRowValid) return true;
    return mode == kModeUp ? depth < m_lastRowDepth : depth > m_lastRowDepth;
}

void CToolsStream::NoteMode(int mode) {
    if (mode != m_lastMode) m_lastRowValid = false;
    m_lastMode = mode;
}

void CToolsStream::Row(double depth) {
    m_lastRowDepth = depth;
    m_lastRowValid = true;
    if (m_hooks.report)
        m_hooks.report->OnNewFrame(m_rowTrace[0].data(), m_rowTrace[1].data(), m_rowTrace[2].data(), depth);
}

void CToolsStream::Record(double depth) {
    if (WriteDataFile(depth) == WriteResult::Failed && m_hooks.report)
        m_hooks.report->RecordingFailed(m_writer.LastError());
}

void CToolsStream::ClearTraces() {
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        for (auto& t : m_shared.m_pTraceRx) std::fill_n(t.begin(), kClearedSamples, int16_t{0});
        // The picks belonged to the traces just cleared.
        for (auto& tt : m_shared.sonde.TravelTime) tt = kNoPick;
    }
    for (auto& t : m_rowTrace) t.fill(0);
}

void CToolsStream::Alerts(uint8_t mode) {
    if (!m_hooks.report) return;
    if (mode & kAlarm0) m_hooks.report->ShowAlert(LINK_ALERT_0);
    if (mode & kAlarm1) m_hooks.report->ShowAlert(LINK_ALERT_1);
}

// ---------------------------------------------------------------------------

void CToolsStream::OnConfigFrame(std::span<const uint8_t, 20> body) {
    const uint8_t* b = body.data();
    std::copy(body.begin(), body.end(), m_shared.m_pAnswerFrame.begin());
    m_shared.g_bWaitLastDepth.store(false);
    m_shared.g_nWaveHeadFlag.store(-1);

    const bool sumOk = CheckRecordSum18(body);
    const uint8_t mode = b[0];
    bool differs = false;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        LoggerStatus& L = m_shared.logger;
        L.StepFlag = 0;
        if (!sumOk) {
            L.FrameStatus = 8;  // checksum error
        } else {
            SondeStatus& S = m_shared.sonde;
            S.FrameStatus = 1;
            S.Mode = mode;
            S.Echo1500 = U16(b + 1);
            S.EchoScale = U16(b + 3);
            S.VoltageEcho = b[5];
            S.UpGainEcho = b[6];
            S.DownDriveEcho = b[7];
            S.Step = U16(b + 8);

            // The echoes of the last command 1 as it was built.
            const auto& c1 = m_shared.m_pCmd1Frame;
            differs = S.Echo1500 != U16(&c1[2]) || S.EchoScale != U16(&c1[4]) || S.VoltageEcho != c1[6];

            const AcquisitionSettings& set = m_shared.settings;
            const double depth = DepthFromCounter(set, I32(b + 10));
            L.LiveDepth = depth;
            LiveValues& V = m_shared.live;
            V.Depth = depth;
            V.Speed = SpeedFromRate(set, I16(b + 14));
            V.ClearedText.clear();
            V.Value1 = b[16];
            V.Value2 = b[17];
            V.Value1Text = zns::Format("%d", V.Value1);
            V.Value2Text = zns::Format("%d", V.Value2);
            L.Mode = mode;
            L.FrameStatus = 0;
        }
    }
    if (sumOk) {
        m_shared.m_bNewData[0].store(false);
        m_shared.m_bNewData[1].store(true);
    }
    if (m_hooks.report) m_hooks.report->OnLinkStatus(LINK_STATUS_STATE);
    if (!sumOk) return;
    if (differs && m_hooks.sendF1) m_hooks.sendF1();
    Alerts(mode);
}

// ---------------------------------------------------------------------------

void CToolsStream::OnStatusFrame(std::span<const uint8_t, 16> body) {
    const uint8_t* b = body.data();
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.logger.StepFlag = 0;
    }
    std::copy(body.begin(), body.end(), m_shared.m_pStatusFrame.begin());
    if (!CheckRecordSum14(body)) return;

    const uint8_t mode = b[0];
    const int nibble = mode & 0x0F;
    const uint8_t status = b[13];
    const int64_t now = m_clock.NowSteadyMs();
    NoteMode(nibble);

    double depth = 0.0, speed = 0.0;
    bool recording = false, starting = false, halved = false;
    int stepSize = 0, stepCount = 0;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        const AcquisitionSettings& set = m_shared.settings;
        LoggerStatus& L = m_shared.logger;
        SondeStatus& S = m_shared.sonde;
        L.FrameStatus = status;
        S.FrameStatus = status;
        S.Mode = mode;
        S.UpGainEcho = b[1];
        S.DownDriveEcho = b[2];
        S.Step = U16(b + 3);

        depth = DepthFromCounter(set, I32(b + 5));
        speed = SpeedFromRate(set, I16(b + 9));
        L.LiveDepth = depth;
        LiveValues& V = m_shared.live;
        V.Depth = depth;
        V.Speed = speed;
        V.ClearedText.clear();
        V.Value1 = b[11];
        V.Value2 = b[12];
        V.Value1Text = zns::Format("%d", V.Value1);
        V.Value2Text = zns::Format("%d", V.Value2);
        L.Mode = mode;

        recording = m_shared.session.Recording != 0;
        starting = m_shared.session.StartingRecord != 0;
        // Steps are those of the last waveform frame.
        stepSize = L.StepSize;
        stepCount = L.StepCount;
        halved = IsEncoderScaleHalved(set);
        if ((nibble == kModeUp || nibble == kModeDown) && stepCount > 0) L.StepFlag = 1;
    }
    m_shared.m_bNewData[0].store(true);
    m_shared.m_bNewData[1].store(true);

    // Direction test.
    bool inOrder = true;
    if (nibble == kModeTime) {
        m_shared.g_bBadDirection.store(false);
    } else if (!starting) {
        inOrder = m_shared.m_bDownDirection.load() ? speed > -kWrongWaySpeed : speed < kWrongWaySpeed;
        if (!inOrder) m_shared.g_bBadDirection.store(true);
    } else {
        m_shared.g_bBadDirection.store(false);
        inOrder = false;
    }
    // Stops and wrong-way movement do not count as recording time of a depth
    // log; a time log counts its time standing.
    if (!inOrder || (nibble != kModeTime && speed > -kStandingSpeed && speed < kStandingSpeed))
        m_shared.m_ftLastRecordMs.store(now);

    if (m_hooks.report) m_hooks.report->OnLinkStatus(LINK_STATUS_STATE);
    Alerts(mode);
    m_shared.g_nWaveHeadFlag.store(-1);

    const bool depthMode = nibble == kModeUp || nibble == kModeDown;
    const bool recordNow = recording && !starting;

    // Last-depth test: the sonde must come back past the last row (or record).
    if (depthMode) {
        const double ref = recordNow ? m_shared.g_dLastDepth2.load() : m_shared.g_dLastDepth.load();
        if (nibble == kModeUp ? depth > ref : depth < ref) m_shared.g_bBadDirection.store(true);
        m_shared.g_bWaitLastDepth.store(m_shared.g_bBadDirection.load() && inOrder);
    }

    if (depthMode && stepCount > 0) {
        if (!inOrder) return;
        // The steps of the last waveform frame continue past it. Only those the
        // sonde has reached are filled, and none twice: a fill ahead of the
        // sonde would put the next frame's row behind it.
        if (!m_shared.g_bBadDirection.load() && m_prevDepthValid) {
            const bool up = nibble == kModeUp;
            const double step = StepMetres(stepSize, halved) * (up ? -1.0 : 1.0);
            double value = m_prevDepth + step;
            for (int i = 0; i < stepCount; ++i, value += step) {
                if (up ? value < depth - kDepthEps : value > depth + kDepthEps) break;
                if (!FillAllowed(value, nibble)) continue;
                if (recordNow && m_shared.g_bFirstRecordPending.load()) {
                    m_shared.g_dLastDepth.store(value);
                    continue;
                }
                if (recordNow) Record(value);
                Row(value);
                m_shared.g_dLastDepth.store(value);
            }
        }
    }

    if (!inOrder || !(status & kStatusConverted)) return;

    // A status block that came without its head stands for a lost waveform
    // frame: an empty row at the previous depth.
    ClearTraces();
    if (!m_prevDepthValid) {
        // No frame yet to stand for: nothing to draw or record at depth 0.
    } else if (recordNow && !m_shared.g_bFirstRecordPending.load()) {
        Record(m_prevDepth);
        Row(m_prevDepth);
        m_shared.m_nOtherFrames.fetch_add(1);
        m_shared.g_dLastDepth.store(m_prevDepth);
    } else if (!recording && m_shared.m_nStatusOneFrames.load() > 0) {
        Row(m_prevDepth);
        m_shared.m_nOtherFrames.fetch_add(1);
        m_shared.g_dLastDepth.store(m_prevDepth);
    }
    if (m_hooks.report) m_hooks.report->OnLinkStatus(LINK_STATUS_VALUES);
    m_prevDepth = depth;
    m_prevDepthValid = true;
}

// ---------------------------------------------------------------------------

void CToolsStream::OnWaveFrame(std::span<const uint8_t> body) {
    if (body.size() < static_cast<size_t>(kWaveHead + kWaveTail)) return;
    const uint8_t* head = body.data();
    std::copy_n(head, kWaveHead, m_shared.m_pWaveHead.begin());

    const uint8_t traceByte = head[21];
    int code[3], bytes[3], stepUs[3];
    int traceTotal = 0;
    for (int rx = 0; rx < 3; ++rx) {
        code[rx] = TraceCodeOf(traceByte, rx);
        bytes[rx] = TraceBytesForCode(code[rx]);
        stepUs[rx] = SampleStepUsForCode(code[rx]);
        traceTotal += bytes[rx];
    }
    if (body.size() < static_cast<size_t>(kWaveHead + traceTotal + kWaveTail)) return;
    const uint8_t* traces = head + kWaveHead;
    const uint8_t* tailPtr = traces + traceTotal;
    std::copy_n(tailPtr, kWaveTail, m_shared.m_pWaveTail.begin());

    // Nothing of a frame whose sum fails reaches the records.
    uint16_t partial = SumRecord22(std::span<const uint8_t, 22>(head, 22));
    partial = AddSum16(partial, traces, static_cast<size_t>(traceTotal));
    if (!CheckRecordSum3(partial, std::span<const uint8_t, 5>(tailPtr, 5))) return;

    const uint8_t mode = head[0];
    const int nibble = mode & 0x0F;
    const uint8_t status = tailPtr[2];
    // Head bytes 3-4 are a step size and count only in a depth frame; a time
    // frame carries its 16-bit interval there, and no steps.
    const bool depthFrame = nibble == kModeUp || nibble == kModeDown;
    const int stepSize = depthFrame ? head[3] : 0;
    const int stepCount = depthFrame ? head[4] : 0;
    const int64_t now = m_clock.NowSteadyMs();
    NoteMode(nibble);

    double depth = 0.0, speed = 0.0;
    bool recording = false, starting = false, halved = false;
    int recordingMode = RECMODE_TIME;
    AcquisitionSettings settings;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        settings = m_shared.settings;
        SondeStatus& S = m_shared.sonde;
        LoggerStatus& L = m_shared.logger;
        S.TraceByte = traceByte;
        for (int rx = 0; rx < 3; ++rx) {
            S.Code[rx] = static_cast<uint8_t>(code[rx]);
            S.TraceBytes[rx] = static_cast<uint16_t>(bytes[rx]);
            S.Gain[rx] = head[15 + rx];
        }
        L.FrameStatus = status;
        S.FrameStatus = status;
        S.Mode = mode;
        S.UpGainEcho = head[1];
        S.DownDriveEcho = head[2];
        S.BaudEcho = head[19];
        S.UpDriveEcho = head[20];
        S.Gamma = U16(head + 13);
        S.Step = U16(head + 3);
        L.StepSize = stepSize;
        L.StepCount = stepCount;

        depth = DepthFromCounter(settings, I32(head + 5));
        speed = SpeedFromRate(settings, I16(head + 9));
        L.LiveDepth = depth;
        L.Mode = mode;
        LiveValues& V = m_shared.live;
        V.Depth = depth;
        V.Speed = speed;
        V.Value1 = head[11];
        V.Value2 = head[12];
        V.Value1Text = zns::Format("%d", V.Value1);
        V.Value2Text = zns::Format("%d", V.Value2);

        recording = m_shared.session.Recording != 0;
        starting = m_shared.session.StartingRecord != 0;
        recordingMode = settings.RecordingMode;
        halved = IsEncoderScaleHalved(settings);
    }
    m_shared.g_bWaitLastDepth.store(false);
    m_shared.g_nWaveHeadFlag.store((head[19] & 0x80) ? 1 : 0);
    for (auto& f : m_shared.m_bNewData) f.store(true);

    // Direction test.
    bool inOrder = true;
    if (nibble != kModeTime) {
        if (!starting) {
            inOrder = nibble == kModeDown ? speed > -kWrongWaySpeed : speed < kWrongWaySpeed;
            if (!inOrder) m_shared.g_bBadDirection.store(true);
        } else {
            m_shared.g_bBadDirection.store(true);
            inOrder = false;
        }
    }
    if (nibble != recordingMode) inOrder = false;
    if (!inOrder || (nibble != kModeTime && speed > -kStandingSpeed && speed < kStandingSpeed))
        m_shared.m_ftLastRecordMs.store(now);

    const bool recordNow = recording && !starting;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.logger.StepFlag = stepCount > 0 ? 1 : 0;
    }

    double position = depth;
    if (status == kStatusValid || status == kStatusSettingUpd) {
        // Steps: rows for the intervals the sonde passed while the link was busy,
        // the frame one step after them. Without an earlier frame there is
        // nothing to fill from; and nothing is placed beyond the depth the
        // frame itself reports, where the sonde has not been yet.
        if (stepCount > 0 && inOrder && m_prevDepthValid) {
            const bool up = nibble == kModeUp;
            const double step = StepMetres(stepSize, halved) * (up ? -1.0 : 1.0);
            auto beyond = [&](double v) { return up ? v < depth - kDepthEps : v > depth + kDepthEps; };
            double value = m_prevDepth + step;
            for (int i = 0; i < stepCount && !beyond(value); ++i, value += step) {
                if (!FillAllowed(value, nibble)) continue;  // a status frame filled it already
                Row(value);
                m_shared.g_dLastDepth.store(value);
                if (recordNow) Record(value);
            }
            position = beyond(value) ? depth : value;
        }

        // Traces and their picks, stored together.
        uint16_t pick[3];
        for (int rx = 0, off = 0; rx < 3; off += bytes[rx], ++rx) {
            auto& row = m_rowTrace[rx];
            const int samples = bytes[rx] / 2;
            for (int i = 0; i < samples; ++i) row[static_cast<size_t>(i)] = I16(traces + off + 2 * i);
            pick[rx] = bytes[rx] > 0 ? ::PickTravelTime(settings, row.data(), bytes[rx], stepUs[rx], rx + 1) : kNoPick;
        }
        {
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            for (int rx = 0; rx < 3; ++rx) {
                std::copy_n(m_rowTrace[rx].begin(), bytes[rx] / 2, m_shared.m_pTraceRx[rx].begin());
                m_shared.sonde.TravelTime[rx] = pick[rx];
            }
        }

        if (status == kStatusValid) {
            m_shared.m_nStatusOneFrames.fetch_add(1);
            Alerts(mode);
        } else if (m_shared.m_nStatusOneFrames.load() > 0) {
            m_shared.m_nOtherFrames.fetch_add(1);
        }
        if (inOrder) {
            Row(position);
            m_shared.g_dLastDepth.store(position);
            if (recordNow) Record(position);
        }
    } else {
        ClearTraces();
        if (inOrder && recordNow) {
            Row(position);
            Record(position);
        }
        if (m_shared.m_nStatusOneFrames.load() > 0) m_shared.m_nOtherFrames.fetch_add(1);
    }

    if (m_hooks.report) m_hooks.report->OnLinkStatus(LINK_STATUS_VALUES);
    m_prevDepth = position;
    m_prevDepthValid = true;
}
