#include "sim/SimLogger.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sim/SimSignal.h"

namespace zns::sim {

namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
constexpr uint8_t kSync[4] = {0x55, 0xAA, 0x5A, 0xA5};
constexpr uint8_t kEnd = 0x99;
constexpr int64_t kPartialCommandTimeoutMs = 100;
constexpr size_t kLogLimit = 10000;

enum Kind { kStatus = 0, kConfig = 1, kWave = 2 };

// Length of a command frame by its code; 0 for an unknown code.
size_t CommandLength(uint8_t code) {
    switch (code) {
    case 0: return 3;
    case 1: return 8;
    case 2: return 6;
    case 3: return 4;
    case 8: return 15;
    case 9: return 6;
    case 10: return 5;
    default: return 0;
    }
}

uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

void PutU16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

void PutI32(std::vector<uint8_t>& b, size_t at, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>((u >> (8 * i)) & 0xFF);
}

// Closes a body: the 16-bit sum of everything before the sum word.
void PutSum(std::vector<uint8_t>& body) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 2 < body.size(); ++i) sum += body[i];
    PutU16(body, body.size() - 2, sum & 0xFFFF);
}

int TraceBytes(int code) { return code == 0 ? 0 : (code == 1 ? 512 : 1024); }

int Idx(EchoField f) { return static_cast<int>(f); }

}  // namespace

SimLogger::SimLogger(IClock& clock, SimConfig config)
    : m_clock(clock), m_cfg(config), m_rng(config.seed) {
    const int64_t now = m_clock.NowSteadyMs();
    m_now = now;
    m_lastDelivery = now;
    m_linkFreeAt = now;
    m_lastTrigger = now;
    m_winchT = now;
    m_speedMpm = std::max(0.0, m_cfg.winchSpeedMpm);
    m_down = m_cfg.winchDown;
    m_depth0 = m_cfg.startDepthM;
    ResetRegistersLocked();
    // The counter starts where the sonde is, as if preset by the operator.
    m_counts0 = m_cfg.startDepthM * 100.0 * m_cfg.encoderCountsPerCm;
    m_lastFiredCounts = m_counts0;
}

void SimLogger::ResetRegistersLocked() {
    SimSnapshot r;
    r.plugged = m_plugged;
    r.statusFrames = m_reg.statusFrames;
    r.configFrames = m_reg.configFrames;
    r.waveFrames = m_reg.waveFrames;
    r.overflowFrames = m_reg.overflowFrames;
    r.synthesizedFrames = m_reg.synthesizedFrames;
    r.droppedFrames = m_reg.droppedFrames;
    r.unknownBytes = m_reg.unknownBytes;
    m_reg = r;
    m_gainEcho = r.upGain;
    for (int& v : m_misEcho) v = 0;
    m_settingUpdateLeft = 0;
    m_paramUpdateLeft = 0;
}

// ---------------------------------------------------------------------------
// Winch and encoder

double SimLogger::CountVelocityPerMs() const {
    // The encoder-direction bit reverses the count; it exists to undo a reversed encoder.
    const bool reversed = ((m_reg.cableBits & 0x20) != 0) != m_cfg.encoderInverted;
    const double sign = (m_down ? 1.0 : -1.0) * (reversed ? -1.0 : 1.0);
    return sign * WinchSpeedLocked() / 60000.0 * 100.0 * m_cfg.encoderCountsPerCm;
}

// An operator who follows the logging mode keeps the winch still while the sonde is off.
double SimLogger::WinchSpeedLocked() const {
    const bool logging = m_reg.mode == 10 || m_reg.mode == 11 || m_reg.mode == 12;
    return m_cfg.winchFollowsMode && !logging ? 0.0 : m_speedMpm;
}

double SimLogger::CountsAt(int64_t t) const {
    return m_counts0 + CountVelocityPerMs() * static_cast<double>(t - m_winchT);
}

double SimLogger::TrueDepthAt(int64_t t) const {
    return m_depth0 + (m_down ? 1.0 : -1.0) * WinchSpeedLocked() / 60000.0 * static_cast<double>(t - m_winchT);
}

// The counter as the frames carry it: behind the sonde by the configured lag, so that
// a frame may report less depth than the interval marks it has passed.
int32_t SimLogger::ReportedCounterLocked(int64_t t) const {
    const double v = CountVelocityPerMs();
    const double lag = m_cfg.counterLagCm * m_cfg.encoderCountsPerCm;
    const double c = CountsAt(t) - (v > 0.0 ? lag : v < 0.0 ? -lag : 0.0);
    return static_cast<int32_t>(std::floor(c));
}

void SimLogger::RebaseWinchLocked(int64_t t) {
    m_counts0 = CountsAt(t);
    m_depth0 = TrueDepthAt(t);
    m_winchT = t;
}

// Depth interval in encoder counts, from the logger's own idea of a centimetre (the
// scale received with command 1).
double SimLogger::IntervalCountsLocked() const {
    const double perCm = m_reg.scale > 0 ? m_reg.scale / 256.0 : m_cfg.encoderCountsPerCm;
    return m_reg.interval * perCm;
}

// ---------------------------------------------------------------------------
// Public interface

void SimLogger::HostWrite(const uint8_t* data, size_t n) {
    std::lock_guard lock(m_mu);
    const int64_t now = m_clock.NowSteadyMs();
    AdvanceLocked(now);
    if (!m_plugged || data == nullptr || n == 0) return;
    if (!m_rxBytes.empty() && now - m_rxLastMs > kPartialCommandTimeoutMs) {
        // A frame started long ago and never finished: the logger forgets it.
        m_reg.unknownBytes += m_rxBytes.size();
        m_rxBytes.clear();
    }
    m_rxBytes.insert(m_rxBytes.end(), data, data + n);
    m_rxLastMs = now;
    ParseCommandsLocked(now);
    AdvanceLocked(now);
}

size_t SimLogger::HostRead(uint8_t* dst, size_t max) {
    std::lock_guard lock(m_mu);
    const int64_t now = m_clock.NowSteadyMs();
    AdvanceLocked(now);
    if (!m_plugged || dst == nullptr) return 0;
    size_t done = 0;
    while (done < max && !m_fifo.empty() && m_fifo.front().releaseAt <= now) {
        Segment& s = m_fifo.front();
        const size_t take = std::min(max - done, s.bytes.size() - m_headOffset);
        std::copy_n(s.bytes.begin() + static_cast<ptrdiff_t>(m_headOffset), take, dst + done);
        done += take;
        m_headOffset += take;
        m_fifoBytes -= take;
        if (m_headOffset == s.bytes.size()) {
            m_fifo.pop_front();
            m_headOffset = 0;
        }
    }
    return done;
}

size_t SimLogger::ReadyBytesLocked(int64_t now) const {
    size_t n = 0;
    for (const Segment& s : m_fifo) {
        if (s.releaseAt > now) break;
        n += s.bytes.size();
    }
    return n - m_headOffset;
}

size_t SimLogger::HostAvailable() {
    std::lock_guard lock(m_mu);
    const int64_t now = m_clock.NowSteadyMs();
    AdvanceLocked(now);
    return m_plugged ? ReadyBytesLocked(now) : 0;
}

void SimLogger::Purge() {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_fifo.clear();
    m_fifoBytes = 0;
    m_headOffset = 0;
}

bool SimLogger::Plugged() {
    std::lock_guard lock(m_mu);
    return m_plugged;
}

void SimLogger::HoldWrites(bool held) {
    std::lock_guard lock(m_mu);
    m_writesHeld = held;
}

bool SimLogger::WritesHeld() {
    std::lock_guard lock(m_mu);
    return m_writesHeld;
}

void SimLogger::SetWinchSpeed(double metresPerMinute) {
    std::lock_guard lock(m_mu);
    const int64_t now = m_clock.NowSteadyMs();
    AdvanceLocked(now);
    RebaseWinchLocked(now);
    m_speedMpm = std::isfinite(metresPerMinute) ? std::max(0.0, metresPerMinute) : 0.0;
}

void SimLogger::SetWinchDirection(bool down) {
    std::lock_guard lock(m_mu);
    const int64_t now = m_clock.NowSteadyMs();
    AdvanceLocked(now);
    RebaseWinchLocked(now);
    m_down = down;
}

void SimLogger::SetScenario(Scenario s) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_cfg.scenario = s;
}

void SimLogger::SetReplyDelayMs(int ms) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_cfg.replyDelayMs = std::max(0, ms);
}

void SimLogger::RefuseNext(int code, int count) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_refuseCode = code;
    m_refuseCount = std::max(0, count);
}

void SimLogger::MisEchoNext(int code, int count) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_misCode = code;
    m_misCount = std::max(0, count);
}

void SimLogger::SetEchoOffset(EchoField field, int delta) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_echoOffset[Idx(field)] = delta;
}

void SimLogger::SetSplitReads(int maxPiece) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_splitMax = std::max(0, maxPiece);
}

void SimLogger::InjectGarbage(size_t bytes) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_garbage += bytes;
}

void SimLogger::InjectFalseSync(int count) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_falseSyncs += std::max(0, count);
}

void SimLogger::CorruptNext(FrameFault fault, int count) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    for (int i = 0; i < count; ++i) {
        if (fault == FrameFault::Headerless || fault == FrameFault::HeaderlessLong)
            m_headerless.push_back(fault);
        else
            m_faults.push_back(fault);
    }
}

void SimLogger::SkipSequence(int n) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_seqSkip += n;
}

void SimLogger::InjectFrameStatus(uint8_t bits, int frames) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_statusBits = bits;
    m_statusBitsFrames = std::max(0, frames);
}

void SimLogger::SetSilent(bool silent) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_silent = silent;
}

void SimLogger::SilenceFor(int64_t ms) {
    std::lock_guard lock(m_mu);
    const int64_t now = m_clock.NowSteadyMs();
    AdvanceLocked(now);
    m_silentUntil = std::max(m_silentUntil, now + std::max<int64_t>(0, ms));
}

void SimLogger::SetEncoderError(bool on) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_encoderError = on;
}

void SimLogger::SetSupplyDrop(int volts) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_supplyDrop = volts;
}

void SimLogger::SetCurrentMa(int mA) {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_currentMa = mA;
}

void SimLogger::Unplug() {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    m_plugged = false;
    m_fifo.clear();
    m_fifoBytes = 0;
    m_headOffset = 0;
    m_rxBytes.clear();
}

void SimLogger::Replug(bool powerCycled) {
    std::lock_guard lock(m_mu);
    const int64_t now = m_clock.NowSteadyMs();
    AdvanceLocked(now);
    m_plugged = true;
    m_writesHeld = false;
    if (powerCycled) {
        RebaseWinchLocked(now);
        m_outgoing.clear();
        m_pending.clear();
        ResetRegistersLocked();
        m_linkFreeAt = now;
        m_lastTrigger = now;
        m_lastDelivery = now;
    }
}

std::vector<CommandRecord> SimLogger::CommandLog() {
    std::lock_guard lock(m_mu);
    AdvanceLocked(m_clock.NowSteadyMs());
    return m_log;
}

void SimLogger::ClearCommandLog() {
    std::lock_guard lock(m_mu);
    m_log.clear();
}

SimSnapshot SimLogger::Snapshot() {
    std::lock_guard lock(m_mu);
    const int64_t now = m_clock.NowSteadyMs();
    AdvanceLocked(now);
    SimSnapshot s = m_reg;
    s.plugged = m_plugged;
    s.depthCounter = static_cast<int32_t>(std::floor(CountsAt(now)));
    s.rate = static_cast<int16_t>(std::clamp(std::round(CountVelocityPerMs() * 750.0), -32768.0, 32767.0));
    s.trueDepthM = TrueDepthAt(now);
    return s;
}

// ---------------------------------------------------------------------------
// Command reception

void SimLogger::ParseCommandsLocked(int64_t rxMs) {
    size_t pos = 0;
    while (pos < m_rxBytes.size()) {
        const uint8_t code = m_rxBytes[pos];
        const size_t len = CommandLength(code);
        if (len == 0) {
            ++m_reg.unknownBytes;
            ++pos;
            continue;
        }
        if (m_rxBytes.size() - pos < len) break;  // wait for the rest
        uint32_t sum = 0;
        for (size_t i = 0; i + 1 < len; ++i) sum += m_rxBytes[pos + i];
        std::vector<uint8_t> frame(m_rxBytes.begin() + static_cast<ptrdiff_t>(pos),
                                   m_rxBytes.begin() + static_cast<ptrdiff_t>(pos + len));
        if ((sum & 0xFF) != frame[len - 1]) {
            // Not a frame after all: drop its first byte and look again from the next.
            CommandRecord rec;
            rec.rxMs = rec.applyMs = rxMs;
            rec.code = code;
            rec.bytes = std::move(frame);
            rec.outcome = CommandOutcome::BadChecksum;
            if (m_log.size() >= kLogLimit) m_log.erase(m_log.begin());
            m_log.push_back(std::move(rec));
            ++pos;
            continue;
        }
        Pending p;
        p.rxMs = rxMs;
        p.applyAt = rxMs + m_cfg.replyDelayMs;
        if (!m_pending.empty()) p.applyAt = std::max(p.applyAt, m_pending.back().applyAt);
        p.bytes = std::move(frame);
        m_pending.push_back(std::move(p));
        pos += len;
    }
    m_rxBytes.erase(m_rxBytes.begin(), m_rxBytes.begin() + static_cast<ptrdiff_t>(pos));
}

void SimLogger::ApplyLocked(const Pending& p, int64_t t) {
    const std::vector<uint8_t>& b = p.bytes;
    const uint8_t code = b[0];
    CommandRecord rec;
    rec.rxMs = p.rxMs;
    rec.applyMs = t;
    rec.code = code;
    rec.bytes = b;
    auto log = [&](CommandOutcome o) {
        rec.outcome = o;
        if (m_log.size() >= kLogLimit) m_log.erase(m_log.begin());
        m_log.push_back(rec);
    };

    if (m_refuseCount > 0 && (m_refuseCode == -1 || m_refuseCode == code)) {
        --m_refuseCount;
        log(CommandOutcome::Refused);
        return;
    }
    // Values the logger cannot take: a mode other than up, down or time, a baud
    // divisor it cannot clock.
    if (code == 8) {
        const int mode = b[1] & 0x0F;
        if ((mode != 10 && mode != 11 && mode != 12) || b[11] < 4) {
            log(CommandOutcome::Rejected);
            return;
        }
    }
    if (code == 10 && b[1] < 4) {
        log(CommandOutcome::Rejected);
        return;
    }

    const bool mis = m_misCount > 0 && (m_misCode == -1 || m_misCode == code);
    if (mis) --m_misCount;
    const int wrong = mis ? 1 : 0;
    auto carry = [&](EchoField f) { m_misEcho[Idx(f)] = wrong; };

    // Anything that moves the encoder's reference or sign is applied on a fresh base.
    RebaseWinchLocked(t);
    // Depth triggers fall on multiples of the interval; the reference is the multiple
    // last passed in the direction of travel.
    auto realign = [&]() {
        const double ic = IntervalCountsLocked();
        const double c = CountsAt(t);
        if (ic <= 0.0) m_lastFiredCounts = c;
        else if (CountVelocityPerMs() < 0.0) m_lastFiredCounts = std::ceil(c / ic) * ic;
        else m_lastFiredCounts = std::floor(c / ic) * ic;
    };

    switch (code) {
    case 0:  // power the sonde down
        RebaseWinchLocked(t);  // the counter keeps what it counted under the old bits and speed
        m_reg.cableBits = b[1] & 0x30;
        m_reg.mode = 0;
        m_settingUpdateLeft = 0;
        m_paramUpdateLeft = 0;
        break;
    case 1:  // winch and supply settings; answered by a configuration frame
        RebaseWinchLocked(t);
        m_reg.cableBits = b[1] & 0x30;
        m_reg.const1500 = U16(b, 2);
        m_reg.scale = U16(b, 4);
        m_reg.voltage = b[6];
        carry(EchoField::Const1500);
        carry(EchoField::Scale);
        carry(EchoField::Voltage);
        realign();
        {
            Outgoing answer;
            answer.deliverAt = t + std::max(0, m_cfg.configAnswerDelayMs);
            answer.kind = kConfig;
            QueueFrameLocked(std::move(answer));
        }
        break;
    case 2: {  // depth counter preset
        const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(b[1]) | (static_cast<uint32_t>(b[2]) << 8) |
                                               (static_cast<uint32_t>(b[3]) << 16) |
                                               (static_cast<uint32_t>(b[4]) << 24));
        m_counts0 = static_cast<double>(v);
        realign();
        break;
    }
    case 3:  // uphole gain and downhole drive
        m_reg.upGain = b[1];
        m_reg.downDrive = b[2];
        if (m_cfg.scenario != Scenario::GainEchoStuck) m_gainEcho = b[1];
        carry(EchoField::UpGain);
        carry(EchoField::DownDrive);
        m_framesSinceSettings = 0;
        m_paramUpdateLeft = m_cfg.parameterUpdateFrames;
        break;
    case 8: {  // complete settings; powers the sonde in the given mode
        // A logger keeps streaming while it takes new settings: only a sonde that was
        // not already in time mode starts a new cycle; otherwise frames keep their period.
        if (m_reg.mode != 12) m_lastTrigger = t;
        RebaseWinchLocked(t);  // the counter keeps what it counted under the old bits and speed
        m_reg.cableBits = b[1] & 0x30;
        m_reg.mode = b[1] & 0x0F;
        // The operator at the winch: logging up pulls the sonde up, logging down lowers it.
        if (m_cfg.winchFollowsMode && (m_reg.mode == 10 || m_reg.mode == 11)) m_down = m_reg.mode == 11;
        m_reg.interval = U16(b, 2);
        m_reg.voltage = b[4];
        m_reg.upGain = b[5];
        m_gainEcho = b[5];
        m_reg.downDrive = b[6];
        m_reg.rxGain[0] = b[7];
        m_reg.rxGain[1] = b[8];
        m_reg.rxGain[2] = b[9];
        m_reg.blanking = b[10];
        m_reg.baudDivisor = b[11];
        m_reg.upDrive = b[12];
        // A sonde that misreads the trace lengths really sends what it understood.
        m_reg.traceByte = static_cast<uint8_t>((b[13] & 0x3F) ^ (mis ? 0x01 : 0x00));
        for (EchoField f : {EchoField::Voltage, EchoField::UpGain, EchoField::DownDrive, EchoField::Interval,
                            EchoField::RxGains, EchoField::BaudDivisor, EchoField::UpDrive})
            carry(f);
        m_framesSinceSettings = 0;
        m_settingUpdateLeft = m_cfg.settingUpdateFrames;
        realign();
        break;
    }
    case 9:  // receiver gains
        m_reg.rxGain[0] = b[1];
        m_reg.rxGain[1] = b[2];
        m_reg.rxGain[2] = b[3];
        m_reg.blanking = b[4];
        carry(EchoField::RxGains);
        m_framesSinceSettings = 0;
        m_paramUpdateLeft = m_cfg.parameterUpdateFrames;
        break;
    case 10:  // baud, uphole drive, trace lengths
        m_reg.baudDivisor = b[1];
        m_reg.upDrive = b[2];
        m_reg.traceByte = static_cast<uint8_t>((b[3] & 0x3F) ^ (mis ? 0x01 : 0x00));
        carry(EchoField::BaudDivisor);
        carry(EchoField::UpDrive);
        m_framesSinceSettings = 0;
        m_paramUpdateLeft = m_cfg.parameterUpdateFrames;
        break;
    default:
        break;
    }
    log(mis ? CommandOutcome::MisEchoed : CommandOutcome::Applied);
}

// ---------------------------------------------------------------------------
// Time

void SimLogger::AdvanceLocked(int64_t now) {
    if (now < m_now) now = m_now;  // time never runs backwards for the model
    for (;;) {
        const int64_t tCmd = m_pending.empty() ? kNever : m_pending.front().applyAt;
        const int64_t tOut = m_outgoing.empty() ? kNever : m_outgoing.front().deliverAt;
        const int64_t tWave = NextWaveTriggerLocked();
        const int64_t tStatus = m_reg.mode == 0 && !m_cfg.idleStatusFrames
                                    ? kNever
                                    : m_lastDelivery + std::max(1, m_cfg.statusPeriodMs);
        const int64_t t = std::max(m_now, std::min({tCmd, tOut, tWave, tStatus}));
        if (t > now) break;
        m_now = t;
        if (tCmd <= t) {
            Pending p = std::move(m_pending.front());
            m_pending.pop_front();
            ApplyLocked(p, t);
        } else if (tOut <= t) {
            Outgoing f = std::move(m_outgoing.front());
            m_outgoing.pop_front();
            DeliverLocked(f, t);
        } else if (tWave <= t) {
            TriggerWaveLocked(t);
        } else {
            // The logger's own status frame goes out at once.
            Outgoing f;
            f.deliverAt = t;
            f.kind = kStatus;
            DeliverLocked(f, t);
        }
    }
    m_now = now;
}

int64_t SimLogger::TxTimeMsLocked(size_t bytes) const {
    const int d = std::max<int>(4, m_reg.baudDivisor);
    const double bytesPerSec = 625000.0 / d / 10.0;
    const auto ms = static_cast<int64_t>(std::ceil(static_cast<double>(bytes) * 1000.0 / bytesPerSec));
    return std::max<int64_t>(1, ms);
}

int64_t SimLogger::NextWaveTriggerLocked() const {
    const int mode = m_reg.mode;
    if (mode == 12) {
        const int64_t interval = std::max<int64_t>(1, m_reg.interval);
        return std::max({m_lastTrigger + interval, m_linkFreeAt, m_now});
    }
    if (mode != 10 && mode != 11) return kNever;
    const double ic = IntervalCountsLocked();
    if (ic <= 0.0) return kNever;
    const double pos = CountsAt(m_now);
    if (std::abs(pos - m_lastFiredCounts) >= ic) return std::max(m_now, m_linkFreeAt);
    const double v = CountVelocityPerMs();
    if (v == 0.0) return kNever;
    const double target = m_lastFiredCounts + (v > 0.0 ? ic : -ic);
    const double dt = (target - m_counts0) / v;  // from m_winchT
    const double tc = std::ceil(static_cast<double>(m_winchT) + dt);
    if (tc > 9.0e15) return kNever;
    return std::max({static_cast<int64_t>(tc), m_linkFreeAt, m_now});
}

// ---------------------------------------------------------------------------
// Frames

uint8_t SimLogger::MeasuredVoltageLocked() const {
    if (m_reg.mode == 0) return 0;
    return static_cast<uint8_t>(std::clamp(static_cast<int>(m_reg.voltage) - m_supplyDrop, 0, 255));
}

uint8_t SimLogger::MeasuredCurrentLocked() const {
    if (m_reg.mode == 0) return 0;
    const int mA = m_currentMa >= 0 ? m_currentMa : m_cfg.sondeCurrentMa;
    return static_cast<uint8_t>(std::clamp(mA, 0, 255));
}

uint8_t SimLogger::ModeByteLocked() const {
    uint8_t b = static_cast<uint8_t>((m_reg.mode & 0x0F) | (m_reg.cableBits & 0x30));
    if (m_encoderError) b |= 0x40;
    if (m_reg.mode != 0 && MeasuredVoltageLocked() < m_cfg.lowVoltageAlarmV) b |= 0x80;
    return b;
}

int SimLogger::EchoLocked(EchoField f, int value) const {
    return value + m_echoOffset[Idx(f)] + m_misEcho[Idx(f)];
}

uint8_t SimLogger::FrameStatusLocked(int64_t t) {
    uint8_t st = 0;
    if (m_reg.mode != 0) {
        st = LinkStatus(m_cfg, m_cfg.scenario, m_reg.downDrive, m_reg.upGain, m_reg.upDrive,
                        m_reg.baudDivisor);
        if (m_cfg.scenario == Scenario::FinalCheckFails && ++m_framesSinceSettings > m_cfg.linkHoldFrames)
            st = 0x08;
        if (st == 0x01) {
            if (m_settingUpdateLeft > 0) {
                --m_settingUpdateLeft;
                st = 0x20;
            } else if (m_paramUpdateLeft > 0) {
                --m_paramUpdateLeft;
                st = 0x10;
            }
        }
    }
    if (m_statusBitsFrames > 0) {
        --m_statusBitsFrames;
        st |= m_statusBits;
    }
    return st;
}

std::vector<uint8_t> SimLogger::StatusBodyLocked(int64_t t) {
    std::vector<uint8_t> b(16, 0);
    b[0] = ModeByteLocked();
    b[1] = static_cast<uint8_t>(EchoLocked(EchoField::UpGain, m_gainEcho));
    b[2] = static_cast<uint8_t>(EchoLocked(EchoField::DownDrive, m_reg.downDrive));
    PutU16(b, 3, static_cast<uint32_t>(EchoLocked(EchoField::Interval, m_reg.interval)));
    PutI32(b, 5, ReportedCounterLocked(t));
    PutU16(b, 9, static_cast<uint16_t>(static_cast<int16_t>(
                     std::clamp(std::round(CountVelocityPerMs() * 750.0), -32768.0, 32767.0))));
    b[11] = MeasuredVoltageLocked();
    b[12] = MeasuredCurrentLocked();
    b[13] = FrameStatusLocked(t);
    PutSum(b);
    return b;
}

std::vector<uint8_t> SimLogger::ConfigBodyLocked(int64_t t) {
    std::vector<uint8_t> b(20, 0);
    b[0] = ModeByteLocked();
    PutU16(b, 1, static_cast<uint32_t>(EchoLocked(EchoField::Const1500, m_reg.const1500)));
    PutU16(b, 3, static_cast<uint32_t>(EchoLocked(EchoField::Scale, m_reg.scale)));
    b[5] = static_cast<uint8_t>(EchoLocked(EchoField::Voltage, m_reg.voltage));
    b[6] = static_cast<uint8_t>(EchoLocked(EchoField::UpGain, m_gainEcho));
    b[7] = static_cast<uint8_t>(EchoLocked(EchoField::DownDrive, m_reg.downDrive));
    PutU16(b, 8, static_cast<uint32_t>(EchoLocked(EchoField::Interval, m_reg.interval)));
    PutI32(b, 10, ReportedCounterLocked(t));
    PutU16(b, 14, static_cast<uint16_t>(static_cast<int16_t>(
                      std::clamp(std::round(CountVelocityPerMs() * 750.0), -32768.0, 32767.0))));
    b[16] = MeasuredVoltageLocked();
    b[17] = MeasuredCurrentLocked();
    PutSum(b);
    return b;
}

void SimLogger::TriggerWaveLocked(int64_t t) {
    const bool depthMode = m_reg.mode == 10 || m_reg.mode == 11;
    int steps = 0;
    if (depthMode) {
        const double ic = IntervalCountsLocked();
        const double pos = CountsAt(t);
        const double moved = pos - m_lastFiredCounts;
        const auto n = static_cast<int64_t>(std::floor(std::abs(moved) / ic));
        if (n <= 0) {
            // Rounding put the trigger a hair early; try again a millisecond later.
            m_linkFreeAt = std::max(m_linkFreeAt, t + 1);
            return;
        }
        m_lastFiredCounts += (moved > 0 ? 1.0 : -1.0) * static_cast<double>(n) * ic;
        // The sonde outran the link: the intervals it skipped are counted as steps.
        steps = static_cast<int>(std::min<int64_t>(n - 1, 255));
    } else {
        m_lastTrigger = t;
    }

    const uint8_t traceByte = m_reg.traceByte & 0x3F;
    int traceBytes = 0;
    for (int r = 0; r < 3; ++r) traceBytes += TraceBytes((traceByte >> (2 * r)) & 3);

    std::vector<uint8_t> b(22 + static_cast<size_t>(traceBytes) + 5, 0);
    const uint8_t status = FrameStatusLocked(t);
    const double depthM = TrueDepthAt(t);
    detail::Noise noise(m_rng() ^ (static_cast<uint64_t>(m_rng()) << 32));

    b[0] = ModeByteLocked();
    b[1] = static_cast<uint8_t>(EchoLocked(EchoField::UpGain, m_gainEcho));
    b[2] = static_cast<uint8_t>(EchoLocked(EchoField::DownDrive, m_reg.downDrive));
    const int intervalEcho = EchoLocked(EchoField::Interval, m_reg.interval);
    if (depthMode) {
        b[3] = static_cast<uint8_t>(intervalEcho);  // depth step, cm
        b[4] = static_cast<uint8_t>(steps);
    } else {
        PutU16(b, 3, static_cast<uint32_t>(intervalEcho));
    }
    PutI32(b, 5, ReportedCounterLocked(t));
    PutU16(b, 9, static_cast<uint16_t>(static_cast<int16_t>(
                     std::clamp(std::round(CountVelocityPerMs() * 750.0), -32768.0, 32767.0))));
    b[11] = MeasuredVoltageLocked();
    b[12] = MeasuredCurrentLocked();
    PutU16(b, 13, detail::GammaCount(depthM, noise));

    Outgoing f;
    f.kind = kWave;
    // Data from the sonde only when it answered (possibly with an update flag).
    f.synth = (status & 0x31) != 0 && (status & 0xCE) == 0;
    f.slowness = FormationSlowness(depthM);
    f.noiseSeed = noise.Next();
    for (int r = 0; r < 3; ++r) {
        const int asked = m_reg.rxGain[r];
        int applied = std::min(asked, 60);
        if (asked == 255) {
            detail::TraceParams tp = TraceParamsFor(r, (traceByte >> (2 * r)) & 3, f.slowness, 0);
            applied = detail::AutoGainDb(tp);
        }
        f.gainDb[r] = applied;
        b[15 + r] = static_cast<uint8_t>(EchoLocked(EchoField::RxGains, applied));
    }
    b[18] = m_reg.blanking;
    b[19] = static_cast<uint8_t>((EchoLocked(EchoField::BaudDivisor, m_reg.baudDivisor) & 0x7F) |
                                 (DownholeReaches(m_cfg, m_cfg.scenario, m_reg.downDrive) ? 0x00 : 0x80));
    b[20] = static_cast<uint8_t>(EchoLocked(EchoField::UpDrive, m_reg.upDrive));
    b[21] = traceByte;
    b[b.size() - 3] = status;  // tail bytes 0 and 1 stay 0
    PutSum(b);

    const int64_t tx = TxTimeMsLocked(b.size() + 1);
    m_linkFreeAt = t + tx;
    f.deliverAt = t + tx;
    f.body = std::move(b);
    QueueFrameLocked(std::move(f));
}

detail::TraceParams SimLogger::TraceParamsFor(int rx, int code, double slowness, int gainDb) const {
    detail::TraceParams tp;
    tp.samples = code == 0 ? 0 : (code == 1 ? 256 : 512);
    tp.stepUs = code == 3 ? 8.0 : 4.0;
    tp.offsetM = m_cfg.rxOffsetM[rx];
    tp.nearOffsetM = m_cfg.rxOffsetM[0];
    tp.slowness = slowness;
    tp.baseAmplitude = rx < m_cfg.rxCount ? m_cfg.baseAmplitude : 0.0;  // missing receiver: noise only
    tp.noiseAmplitude = m_cfg.noiseAmplitude;
    tp.toolDelayUs = m_cfg.toolDelayUs;
    tp.gainDb = gainDb;
    return tp;
}

void SimLogger::SynthesizeTracesLocked(Outgoing& f) const {
    std::vector<uint8_t>& b = f.body;
    const uint8_t traceByte = b[21];
    detail::Noise noise(f.noiseSeed);
    size_t at = 22;
    std::vector<int16_t> s;
    for (int r = 0; r < 3; ++r) {
        const detail::TraceParams tp = TraceParamsFor(r, (traceByte >> (2 * r)) & 3, f.slowness, f.gainDb[r]);
        if (tp.samples == 0) continue;
        s.assign(static_cast<size_t>(tp.samples), 0);
        detail::SynthesizeTrace(tp, noise, s.data());
        for (int16_t v : s) {
            const auto u = static_cast<uint16_t>(v);
            b[at++] = static_cast<uint8_t>(u & 0xFF);
            b[at++] = static_cast<uint8_t>(u >> 8);
        }
    }
    PutSum(b);
    f.synth = false;
}

void SimLogger::QueueFrameLocked(Outgoing f) {
    auto it = m_outgoing.end();
    while (it != m_outgoing.begin() && std::prev(it)->deliverAt > f.deliverAt) --it;
    m_outgoing.insert(it, std::move(f));
}

void SimLogger::DeliverLocked(Outgoing& f, int64_t t) {
    m_lastDelivery = t;
    if (f.kind == kStatus) f.body = StatusBodyLocked(t);
    else if (f.kind == kConfig) f.body = ConfigBodyLocked(t);

    if (!m_plugged || m_silent || t < m_silentUntil) {
        ++m_reg.droppedFrames;
        return;
    }
    const bool fits = m_fifoBytes + f.body.size() + 8 + m_garbage + 12 * static_cast<size_t>(m_falseSyncs) <=
                      m_cfg.hostBufferLimit;
    if (f.synth && fits) {
        SynthesizeTracesLocked(f);
        ++m_reg.synthesizedFrames;
    }
    std::vector<uint8_t>& body = f.body;

    std::vector<uint8_t> out;
    for (; m_garbage > 0; --m_garbage) out.push_back(static_cast<uint8_t>(m_rng()));
    for (; m_falseSyncs > 0; --m_falseSyncs) {
        // A sync word that heads nothing: a plausible head, then a few stray bytes.
        out.insert(out.end(), std::begin(kSync), std::end(kSync));
        out.push_back(static_cast<uint8_t>(m_reg.nextSequence + m_seqSkip));
        out.push_back(24);
        out.push_back(0);
        for (int i = 0; i < 5; ++i) out.push_back(static_cast<uint8_t>(m_rng()));
    }

    if (f.kind == kStatus && !m_headerless.empty()) {
        const FrameFault h = m_headerless.front();
        m_headerless.pop_front();
        if (h == FrameFault::HeaderlessLong) {
            // A longer form: one more byte before the frame status, the sum over all.
            std::vector<uint8_t> longer(body.begin(), body.begin() + 13);
            longer.push_back(0x00);
            longer.push_back(body[13]);
            longer.push_back(0);
            longer.push_back(0);
            PutSum(longer);
            body = std::move(longer);
        }
        out.insert(out.end(), body.begin(), body.end());
        out.push_back(kEnd);
        ++m_reg.statusFrames;
        PushBytesLocked(std::move(out), t, true);
        return;
    }

    FrameFault fault{};
    bool faulty = false;
    if (!m_faults.empty()) {
        fault = m_faults.front();
        m_faults.pop_front();
        faulty = true;
    }
    const auto seq = static_cast<uint8_t>(m_reg.nextSequence + m_seqSkip);
    m_seqSkip = 0;
    m_reg.nextSequence = static_cast<uint8_t>(seq + 1);

    uint32_t length = static_cast<uint32_t>(7 + body.size() + 1);
    if (faulty && fault == FrameFault::BadSum) body[body.size() - 2] = static_cast<uint8_t>(body[body.size() - 2] + 1);
    if (faulty && fault == FrameFault::BadLength) length += 5;
    const size_t start = out.size();
    out.insert(out.end(), std::begin(kSync), std::end(kSync));
    out.push_back(seq);
    out.push_back(static_cast<uint8_t>(length & 0xFF));
    out.push_back(static_cast<uint8_t>((length >> 8) & 0xFF));
    out.insert(out.end(), body.begin(), body.end());
    out.push_back(faulty && fault == FrameFault::BadEnd ? 0x66 : kEnd);

    if (m_fifoBytes + out.size() > m_cfg.hostBufferLimit) {
        ++m_reg.overflowFrames;
        out.resize(start);  // the frame is lost; injected bytes before it still go
        if (out.empty()) return;
    } else if (f.kind == kStatus) {
        ++m_reg.statusFrames;
    } else if (f.kind == kConfig) {
        ++m_reg.configFrames;
    } else {
        ++m_reg.waveFrames;
    }
    PushBytesLocked(std::move(out), t, true);
}

void SimLogger::PushBytesLocked(std::vector<uint8_t> bytes, int64_t t, bool splittable) {
    if (bytes.empty()) return;
    int64_t release = t;
    if (!m_fifo.empty()) release = std::max(release, m_fifo.back().releaseAt);
    m_fifoBytes += bytes.size();
    if (!splittable || m_splitMax <= 0) {
        m_fifo.push_back({release, std::move(bytes)});
        return;
    }
    std::uniform_int_distribution<int> piece(1, m_splitMax);
    size_t pos = 0;
    bool first = true;
    while (pos < bytes.size()) {
        const size_t n = std::min(bytes.size() - pos, static_cast<size_t>(piece(m_rng)));
        if (!first) release += std::max(0, m_cfg.splitGapMs);
        first = false;
        m_fifo.push_back({release, std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(pos),
                                                        bytes.begin() + static_cast<ptrdiff_t>(pos + n))});
        pos += n;
    }
}

}  // namespace zns::sim
