#pragma once
// The seven command frames the PC sends to the logger, built from the
// acquisition settings and the selected sonde's supply voltage.
//
//  code len  bytes
//   0    3   0, cable byte, sum
//   1    8   1, cable byte, u16 1500, u16 encoder scale, voltage, sum
//   2    6   2, i32 depth counter preset, sum
//   3    4   3, uphole gain, downhole drive, sum
//   8   15   8, cable byte + mode, u16 interval, voltage, uphole gain, downhole drive,
//            gain Rx1..Rx3, blanking, baud divisor, uphole drive, trace byte, sum
//   9    6   9, gain Rx1..Rx3, blanking, sum
//  10    5   10, baud divisor, uphole drive, trace byte, sum
// Little-endian words; a byte field takes the low byte of its setting.
#include <array>
#include <cstddef>
#include <cstdint>

#include "records/SharedRecords.h"

enum : int { CMD_0 = 0, CMD_1 = 1, CMD_2 = 2, CMD_3 = 3, CMD_8 = 8, CMD_9 = 9, CMD_10 = 10 };

inline constexpr uint16_t kCmd1Constant = 1500;  // bytes [2..3] of command 1
inline constexpr uint8_t kAutoGain = 255;        // gain byte of a receiver on AGC

// Frame length of a command code (3, 8, 6, 4, 15, 6, 5); 0 for any other code.
size_t CommandFrameLength(int code);

// ---- field rules, shared with the pages that read echoes back ----

// CableType in the high nibble, plus 0x20 for the encoder direction.
uint8_t CableByte(const AcquisitionSettings& s);
// Encoder counts per cm x 256: trunc(PulsResolution / (PulleysCircumference / 10.0) x 40 x 256).
// A wheel without circumference (or any non-finite result) gives 0; the result saturates
// at the i32 range.
int32_t DepthFactor256(const AcquisitionSettings& s);
// The one halving rule: true when the depth factor F256 / 256 is above
// g_nDepthFactorLimit, in which case command 1 sends F256 / 2 and command 8 sends
// the depth interval doubled. Winch read-back must use it too.
bool IsEncoderScaleHalved(int32_t f256);
bool IsEncoderScaleHalved(const AcquisitionSettings& s);
// The u16 encoder scale command 1 sends for these settings.
uint16_t EncoderScaleWord(const AcquisitionSettings& s);
// The u16 interval command 8 sends: TimeInterval in Time mode, else DepthInterval,
// doubled (to 16 bits) when the encoder scale is halved.
uint16_t CommandInterval(const AcquisitionSettings& s);
// Depth counter preset of command 2: trunc(DepthFactor x 100 x DepthDatum), saturating.
int32_t DepthCounterPreset(const AcquisitionSettings& s);
// Gain byte of receiver rx (0..2): 255 on AGC, else the low byte of the gain.
uint8_t GainByte(const AcquisitionSettings& s, int rx);
// Three 2-bit trace-length codes: Rx1 bits 0-1, Rx2 bits 2-3, Rx3 bits 4-5.
uint8_t TraceLengthByte(const AcquisitionSettings& s);

// ---- builders: fill the frame and set its sum ----

std::array<uint8_t, 3> BuildCmd0(const AcquisitionSettings& s);
// Also stores F256, the depth factor and the two 1500 constants in the settings.
std::array<uint8_t, 8> BuildCmd1(AcquisitionSettings& s, uint8_t supplyVoltage);
std::array<uint8_t, 6> BuildCmd2(const AcquisitionSettings& s);
std::array<uint8_t, 4> BuildCmd3(const AcquisitionSettings& s);
std::array<uint8_t, 15> BuildCmd8(const AcquisitionSettings& s, uint8_t supplyVoltage);
std::array<uint8_t, 6> BuildCmd9(const AcquisitionSettings& s);
std::array<uint8_t, 5> BuildCmd10(const AcquisitionSettings& s);

// Checks a whole frame with the checker of its code; false for an unknown code or
// a length that does not match the code.
bool CheckCommandFrame(const uint8_t* frame, size_t len);

// ---- send path ----

// Checks `frame` and queues a copy on data.txQueue. False, with nothing queued,
// when the check fails or the queue refuses the frame.
bool PushCheckedFrame(SharedData& data, const uint8_t* frame, size_t len, CommandQueue::Ticket ticket = nullptr);

// Builds command `code` from data.settings under acqMutex (command 1 stores its
// side effects there), keeps it in the command's own buffer (m_pCmdNFrame) and
// queues it. The supply voltage is used by commands 1 and 8 only. False when the
// code is unknown, the frame fails its check or the queue is full; then nothing
// is queued. Takes acqMutex itself: never call it with acqMutex held. Lock order:
// acqMutex, then the queue's own lock. `ticket` is told what became of the frame.
bool QueueCommand(SharedData& data, int code, uint8_t supplyVoltage = 0, CommandQueue::Ticket ticket = nullptr);
