#include "link/Checksums.h"

namespace {

template <size_t N>
void SetLast(std::span<uint8_t, N> f) {
    f[N - 1] = CmdSum8(f.data(), N - 1);
}

template <size_t N>
bool CheckLast(std::span<const uint8_t, N> f) {
    return f[N - 1] == CmdSum8(f.data(), N - 1);
}

}  // namespace

uint8_t CmdSum8(const uint8_t* bytes, size_t count) {
    unsigned s = 0;
    for (size_t i = 0; i < count; ++i) s += bytes[i];
    return static_cast<uint8_t>(s);
}

void SetCmdChecksum2(std::span<uint8_t, 3> f) { SetLast(f); }
bool CheckCmdChecksum2(std::span<const uint8_t, 3> f) { return CheckLast(f); }
void SetCmdChecksum7(std::span<uint8_t, 8> f) { SetLast(f); }
bool CheckCmdChecksum7(std::span<const uint8_t, 8> f) { return CheckLast(f); }
void SetCmdChecksum5(std::span<uint8_t, 6> f) { SetLast(f); }
bool CheckCmdChecksum5(std::span<const uint8_t, 6> f) { return CheckLast(f); }
void SetCmdChecksum3(std::span<uint8_t, 4> f) { SetLast(f); }
bool CheckCmdChecksum3(std::span<const uint8_t, 4> f) { return CheckLast(f); }
void SetCmdChecksum14(std::span<uint8_t, 15> f) { SetLast(f); }
bool CheckCmdChecksum14(std::span<const uint8_t, 15> f) { return CheckLast(f); }
void SetCmdChecksum5b(std::span<uint8_t, 6> f) { SetLast(f); }
bool CheckCmdChecksum5b(std::span<const uint8_t, 6> f) { return CheckLast(f); }
void SetCmdChecksum4(std::span<uint8_t, 5> f) { SetLast(f); }
bool CheckCmdChecksum4(std::span<const uint8_t, 5> f) { return CheckLast(f); }

uint16_t AddSum16(uint16_t partial, const uint8_t* bytes, size_t count) {
    // 32-bit accumulation cannot overflow for any block the link carries (< 16 MiB).
    uint32_t s = partial;
    for (size_t i = 0; i < count; ++i) s += bytes[i];
    return static_cast<uint16_t>(s);
}

uint16_t Sum16(const uint8_t* bytes, size_t count) { return AddSum16(0, bytes, count); }

bool CheckRecordSum18(std::span<const uint8_t, 20> b) { return Sum16(b.data(), 18) == ReadU16(b.data() + 18); }

bool CheckRecordSum14(std::span<const uint8_t, 16> b) { return Sum16(b.data(), 14) == ReadU16(b.data() + 14); }

uint16_t SumRecord22(std::span<const uint8_t, 22> head) { return Sum16(head.data(), head.size()); }

bool CheckRecordSum3(uint16_t partial, std::span<const uint8_t, 5> tail) {
    return AddSum16(partial, tail.data(), 3) == ReadU16(tail.data() + 3);
}

uint8_t ByteSum16(uint32_t v) { return static_cast<uint8_t>((v & 0xFF) + ((v >> 8) & 0xFF)); }

uint8_t ByteSum32(uint32_t v) {
    return static_cast<uint8_t>((v & 0xFF) + ((v >> 8) & 0xFF) + ((v >> 16) & 0xFF) + ((v >> 24) & 0xFF));
}
