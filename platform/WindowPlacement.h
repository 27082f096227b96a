#pragma once
// A window's placement as the layout file stores it: 11 little-endian 32-bit
// fields, 44 bytes (length, flags, show state, minimised position, maximised
// position, normal rectangle). Qt-free, so the settings code can read and write
// the records without the window layer.
#include <array>
#include <cstddef>
#include <cstdint>

namespace zns {

struct WindowPlacement {
    static constexpr size_t kBytes = 44;

    uint32_t length = 0;
    uint32_t flags = 0;
    uint32_t showCmd = 0;
    int32_t minX = 0, minY = 0;
    int32_t maxX = 0, maxY = 0;
    int32_t left = 0, top = 0, right = 0, bottom = 0;

    // A stored placement counts only when its length field is 1..999.
    bool IsPresent() const { return length >= 1 && length <= 999; }
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }

    void Encode(uint8_t* out) const {
        const uint32_t v[11] = {length,
                                flags,
                                showCmd,
                                static_cast<uint32_t>(minX),
                                static_cast<uint32_t>(minY),
                                static_cast<uint32_t>(maxX),
                                static_cast<uint32_t>(maxY),
                                static_cast<uint32_t>(left),
                                static_cast<uint32_t>(top),
                                static_cast<uint32_t>(right),
                                static_cast<uint32_t>(bottom)};
        for (int i = 0; i < 11; ++i) {
            out[i * 4 + 0] = static_cast<uint8_t>(v[i]);
            out[i * 4 + 1] = static_cast<uint8_t>(v[i] >> 8);
            out[i * 4 + 2] = static_cast<uint8_t>(v[i] >> 16);
            out[i * 4 + 3] = static_cast<uint8_t>(v[i] >> 24);
        }
    }

    std::array<uint8_t, kBytes> ToBytes() const {
        std::array<uint8_t, kBytes> b{};
        Encode(b.data());
        return b;
    }

    static WindowPlacement Decode(const uint8_t* in) {
        uint32_t v[11];
        for (int i = 0; i < 11; ++i)
            v[i] = static_cast<uint32_t>(in[i * 4]) | static_cast<uint32_t>(in[i * 4 + 1]) << 8 |
                   static_cast<uint32_t>(in[i * 4 + 2]) << 16 | static_cast<uint32_t>(in[i * 4 + 3]) << 24;
        WindowPlacement p;
        p.length = v[0];
        p.flags = v[1];
        p.showCmd = v[2];
        p.minX = static_cast<int32_t>(v[3]);
        p.minY = static_cast<int32_t>(v[4]);
        p.maxX = static_cast<int32_t>(v[5]);
        p.maxY = static_cast<int32_t>(v[6]);
        p.left = static_cast<int32_t>(v[7]);
        p.top = static_cast<int32_t>(v[8]);
        p.right = static_cast<int32_t>(v[9]);
        p.bottom = static_cast<int32_t>(v[10]);
        return p;
    }

    bool operator==(const WindowPlacement&) const = default;
};

}  // namespace zns
