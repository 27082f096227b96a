#include "link/CommandFrames.h"

#include <cmath>
#include <limits>
#include <mutex>
#include <span>

#include "link/Checksums.h"

namespace {

int32_t SaturatingTrunc(double x) {
    if (!std::isfinite(x)) return 0;
    if (x >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    if (x <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(std::trunc(x));
}

uint8_t Low8(int32_t v) { return static_cast<uint8_t>(v & 0xFF); }

void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutI32(uint8_t* p, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(u >> (8 * i));
}

template <size_t N>
bool StoreAndPush(SharedData& data, std::array<uint8_t, N>& buffer, const std::array<uint8_t, N>& frame,
                  CommandQueue::Ticket ticket) {
    buffer = frame;
    return PushCheckedFrame(data, frame.data(), N, std::move(ticket));
}

}  // namespace

size_t CommandFrameLength(int code) {
    switch (code) {
        case CMD_0: return 3;
        case CMD_1: return 8;
        case CMD_2: return 6;
        case CMD_3: return 4;
        case CMD_8: return 15;
        case CMD_9: return 6;
        case CMD_10: return 5;
        default: return 0;
    }
}

uint8_t CableByte(const AcquisitionSettings& s) {
    return static_cast<uint8_t>((Low8(s.CableType) << 4) + (s.PulleyDir ? 0x20 : 0));
}

int32_t DepthFactor256(const AcquisitionSettings& s) {
    return SaturatingTrunc(s.PulsResolution / (s.PulleysCircumference / 10.0) * 40.0 * 256.0);
}

bool IsEncoderScaleHalved(int32_t f256) { return f256 * 0.00390625 > g_nDepthFactorLimit; }

bool IsEncoderScaleHalved(const AcquisitionSettings& s) { return IsEncoderScaleHalved(DepthFactor256(s)); }

uint16_t EncoderScaleWord(const AcquisitionSettings& s) {
    const int32_t f256 = DepthFactor256(s);
    return static_cast<uint16_t>(IsEncoderScaleHalved(f256) ? f256 / 2 : f256);
}

uint16_t CommandInterval(const AcquisitionSettings& s) {
    if (s.RecordingMode == RECMODE_TIME) return s.TimeInterval;
    return IsEncoderScaleHalved(s) ? static_cast<uint16_t>(s.DepthInterval * 2) : s.DepthInterval;
}

int32_t DepthCounterPreset(const AcquisitionSettings& s) {
    return SaturatingTrunc(s.DepthFactor * 100.0 * s.DepthDatum);
}

uint8_t GainByte(const AcquisitionSettings& s, int rx) {
    return s.AGC_Rx(rx) != 0 ? kAutoGain : Low8(s.GainRx(rx));
}

uint8_t TraceLengthByte(const AcquisitionSettings& s) {
    // Each code is held to its own two bits so that a bad value cannot spill into
    // the neighbouring receiver's code.
    return static_cast<uint8_t>(((s.ZNSModus_Rx3 & 3) << 4) | ((s.ZNSModus_Rx2 & 3) << 2) | (s.ZNSModus_Rx1 & 3));
}

std::array<uint8_t, 3> BuildCmd0(const AcquisitionSettings& s) {
    std::array<uint8_t, 3> f{CMD_0, CableByte(s), 0};
    SetCmdChecksum2(f);
    return f;
}

std::array<uint8_t, 8> BuildCmd1(AcquisitionSettings& s, uint8_t supplyVoltage) {
    const int32_t f256 = DepthFactor256(s);
    s.DepthFactor256 = f256;
    s.DepthFactor = f256 * 0.00390625;
    s.Const1500 = kCmd1Constant;
    s.Const1500d = 1500.0;
    std::array<uint8_t, 8> f{};
    f[0] = CMD_1;
    f[1] = CableByte(s);
    PutU16(&f[2], kCmd1Constant);
    PutU16(&f[4], static_cast<uint16_t>(IsEncoderScaleHalved(f256) ? f256 / 2 : f256));
    f[6] = supplyVoltage;
    SetCmdChecksum7(f);
    return f;
}

std::array<uint8_t, 6> BuildCmd2(const AcquisitionSettings& s) {
    std::array<uint8_t, 6> f{};
    f[0] = CMD_2;
    PutI32(&f[1], DepthCounterPreset(s));
    SetCmdChecksum5(f);
    return f;
}

std::array<uint8_t, 4> BuildCmd3(const AcquisitionSettings& s) {
    std::array<uint8_t, 4> f{CMD_3, Low8(s.UpGain), Low8(s.DownDrive), 0};
    SetCmdChecksum3(f);
    return f;
}

std::array<uint8_t, 15> BuildCmd8(const AcquisitionSettings& s, uint8_t supplyVoltage) {
    std::array<uint8_t, 15> f{};
    f[0] = CMD_8;
    f[1] = static_cast<uint8_t>(CableByte(s) + Low8(s.RecordingMode));
    PutU16(&f[2], CommandInterval(s));
    f[4] = supplyVoltage;
    f[5] = Low8(s.UpGain);
    f[6] = Low8(s.DownDrive);
    f[7] = GainByte(s, 0);
    f[8] = GainByte(s, 1);
    f[9] = GainByte(s, 2);
    f[10] = Low8(s.ChnBlanking);
    f[11] = Low8(s.BaudDivisor);
    f[12] = Low8(s.UpDrive);
    f[13] = TraceLengthByte(s);
    SetCmdChecksum14(f);
    return f;
}

std::array<uint8_t, 6> BuildCmd9(const AcquisitionSettings& s) {
    std::array<uint8_t, 6> f{CMD_9, GainByte(s, 0), GainByte(s, 1), GainByte(s, 2), Low8(s.ChnBlanking), 0};
    SetCmdChecksum5b(f);
    return f;
}

std::array<uint8_t, 5> BuildCmd10(const AcquisitionSettings& s) {
    std::array<uint8_t, 5> f{CMD_10, Low8(s.BaudDivisor), Low8(s.UpDrive), TraceLengthByte(s), 0};
    SetCmdChecksum4(f);
    return f;
}

bool CheckCommandFrame(const uint8_t* f, size_t len) {
    if (f == nullptr || len == 0 || len != CommandFrameLength(f[0])) return false;
    switch (f[0]) {
        case CMD_0: return CheckCmdChecksum2(std::span<const uint8_t, 3>(f, 3));
        case CMD_1: return CheckCmdChecksum7(std::span<const uint8_t, 8>(f, 8));
        case CMD_2: return CheckCmdChecksum5(std::span<const uint8_t, 6>(f, 6));
        case CMD_3: return CheckCmdChecksum3(std::span<const uint8_t, 4>(f, 4));
        case CMD_8: return CheckCmdChecksum14(std::span<const uint8_t, 15>(f, 15));
        case CMD_9: return CheckCmdChecksum5b(std::span<const uint8_t, 6>(f, 6));
        case CMD_10: return CheckCmdChecksum4(std::span<const uint8_t, 5>(f, 5));
        default: return false;
    }
}

bool PushCheckedFrame(SharedData& data, const uint8_t* frame, size_t len, CommandQueue::Ticket ticket) {
    if (!CheckCommandFrame(frame, len)) return false;
    return data.txQueue.Push(frame, len, std::move(ticket));
}

bool QueueCommand(SharedData& data, int code, uint8_t supplyVoltage, CommandQueue::Ticket ticket) {
    // Built and queued under one lock so that m_pCmdNFrame always holds the frame
    // queued last (the configuration-answer handler compares echoes with command 1).
    std::lock_guard<std::mutex> g(data.acqMutex);
    AcquisitionSettings& s = data.settings;
    switch (code) {
        case CMD_0: return StoreAndPush(data, data.m_pCmd0Frame, BuildCmd0(s), ticket);
        case CMD_1: return StoreAndPush(data, data.m_pCmd1Frame, BuildCmd1(s, supplyVoltage), ticket);
        case CMD_2: return StoreAndPush(data, data.m_pCmd2Frame, BuildCmd2(s), ticket);
        case CMD_3: return StoreAndPush(data, data.m_pCmd3Frame, BuildCmd3(s), ticket);
        case CMD_8: return StoreAndPush(data, data.m_pCmd8Frame, BuildCmd8(s, supplyVoltage), ticket);
        case CMD_9: return StoreAndPush(data, data.m_pCmd9Frame, BuildCmd9(s), ticket);
        case CMD_10: return StoreAndPush(data, data.m_pCmd10Frame, BuildCmd10(s), ticket);
        default: return false;
    }
}
