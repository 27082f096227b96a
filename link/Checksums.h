#pragma once
// The three sums of the link and the data file. All are plain additions: no
// carry-in, no complement.
//
//  - command sum: last byte of every command frame = sum mod 256 of the bytes before it;
//  - answer sum: u16 little-endian after a received body = sum mod 65536 of the body
//    bytes before it;
//  - record sum of the data file: each multi-byte field adds the 8-bit sum of its
//    own bytes (ByteSum16 / ByteSum32), each single byte its value.
#include <cstddef>
#include <cstdint>
#include <span>

// ---- command sum (8 bits) ----

uint8_t CmdSum8(const uint8_t* bytes, size_t count);

// One setter and one checker per frame length; the number is the count of summed
// bytes, i.e. the index of the sum byte.
void SetCmdChecksum2(std::span<uint8_t, 3> frame);    // command 0
bool CheckCmdChecksum2(std::span<const uint8_t, 3> frame);
void SetCmdChecksum7(std::span<uint8_t, 8> frame);    // command 1
bool CheckCmdChecksum7(std::span<const uint8_t, 8> frame);
void SetCmdChecksum5(std::span<uint8_t, 6> frame);    // command 2
bool CheckCmdChecksum5(std::span<const uint8_t, 6> frame);
void SetCmdChecksum3(std::span<uint8_t, 4> frame);    // command 3
bool CheckCmdChecksum3(std::span<const uint8_t, 4> frame);
void SetCmdChecksum14(std::span<uint8_t, 15> frame);  // command 8
bool CheckCmdChecksum14(std::span<const uint8_t, 15> frame);
void SetCmdChecksum5b(std::span<uint8_t, 6> frame);   // command 9
bool CheckCmdChecksum5b(std::span<const uint8_t, 6> frame);
void SetCmdChecksum4(std::span<uint8_t, 5> frame);    // command 10
bool CheckCmdChecksum4(std::span<const uint8_t, 5> frame);

// ---- answer sum (16 bits) ----

uint16_t Sum16(const uint8_t* bytes, size_t count);
// Continues a running sum over more bytes.
uint16_t AddSum16(uint16_t partial, const uint8_t* bytes, size_t count);
inline uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// 20-byte configuration answer: bytes 0..17 against the u16 at [18].
bool CheckRecordSum18(std::span<const uint8_t, 20> body);
// 16-byte status body: bytes 0..13 against the u16 at [14].
bool CheckRecordSum14(std::span<const uint8_t, 16> body);
// Sum of the 22-byte waveform head: the start of a waveform frame's running sum.
uint16_t SumRecord22(std::span<const uint8_t, 22> head);
// Adds the first three tail bytes to `partial` (head + all trace bytes) and
// compares with the tail's u16 at [3].
bool CheckRecordSum3(uint16_t partial, std::span<const uint8_t, 5> tail);

// ---- record sum of the data file ----

// Sum mod 256 of the two low bytes of a value.
uint8_t ByteSum16(uint32_t value);
// Sum mod 256 of the four bytes of a value.
uint8_t ByteSum32(uint32_t value);
