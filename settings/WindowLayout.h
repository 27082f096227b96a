#pragma once
// The window-layout record and its file "HxZn.dat": 281 bytes, no header,
// little-endian, written field by field.
//   0      mark (1 on every save, ignored on load)
//   1..16  reserved (written as held)
//   17     six window placements of 44 bytes each: main window, depth
//          magnifier, wide views of Rx1, Rx2, Rx3, Logger Setup dialog
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/FileReplace.h"
#include "platform/WindowPlacement.h"

inline constexpr size_t kLayoutFileSize = 281;
inline constexpr size_t kPlacementSize = 44;
inline constexpr size_t kPlacementsOffset = 17;

enum LayoutSlot : int {
    LAYOUT_MAIN = 0,
    LAYOUT_MAGNIFIER = 1,
    LAYOUT_WIDE_RX1 = 2,
    LAYOUT_WIDE_RX2 = 3,
    LAYOUT_WIDE_RX3 = 4,
    LAYOUT_SETUP = 5,
    LAYOUT_SLOTS = 6,
};

// One saved window placement: the same 44-byte record the window layer reads and writes.
using WindowPlacement = zns::WindowPlacement;

struct WindowLayout {
    uint8_t mark = 0;
    uint8_t reserved[16] = {};
    WindowPlacement placement[LAYOUT_SLOTS]{};
};

namespace zns {

// Offset of a placement in the file (17, 61, 105, 149, 193, 237).
constexpr size_t PlacementOffset(int slot) { return kPlacementsOffset + static_cast<size_t>(slot) * kPlacementSize; }

std::array<uint8_t, kLayoutFileSize> EncodeWindowLayout(const WindowLayout& layout);
// The first `count` bytes (at most 281) decoded; bytes beyond them read as zero.
WindowLayout DecodeWindowLayout(const uint8_t* bytes, size_t count);

enum class LayoutReadResult { Missing, ReadError, Ok };
// Reads up to 281 bytes of the file. Missing: the file does not open (the
// record is untouched); ReadError: the read failed (the record is cleared);
// Ok: the record holds what the file held, a short file as far as it goes.
LayoutReadResult ReadLayoutFile(const std::string& path, WindowLayout& layout);
// Replaces the file with the whole record (platform/FileReplace.h).
ReplaceResult WriteLayoutFile(const std::string& path, const WindowLayout& layout);

}  // namespace zns
