#include "settings/WindowLayout.h"

#include <cstdio>
#include <cstring>

namespace zns {

namespace {

void PutU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void PutI32(uint8_t* p, int32_t v) { PutU32(p, static_cast<uint32_t>(v)); }
int32_t GetI32(const uint8_t* p) { return static_cast<int32_t>(GetU32(p)); }

void EncodePlacement(const WindowPlacement& w, uint8_t* p) {
    PutU32(p + 0, w.length);
    PutU32(p + 4, w.flags);
    PutU32(p + 8, w.showCmd);
    PutI32(p + 12, w.minX);
    PutI32(p + 16, w.minY);
    PutI32(p + 20, w.maxX);
    PutI32(p + 24, w.maxY);
    PutI32(p + 28, w.left);
    PutI32(p + 32, w.top);
    PutI32(p + 36, w.right);
    PutI32(p + 40, w.bottom);
}

WindowPlacement DecodePlacement(const uint8_t* p) {
    WindowPlacement w;
    w.length = GetU32(p + 0);
    w.flags = GetU32(p + 4);
    w.showCmd = GetU32(p + 8);
    w.minX = GetI32(p + 12);
    w.minY = GetI32(p + 16);
    w.maxX = GetI32(p + 20);
    w.maxY = GetI32(p + 24);
    w.left = GetI32(p + 28);
    w.top = GetI32(p + 32);
    w.right = GetI32(p + 36);
    w.bottom = GetI32(p + 40);
    return w;
}

}  // namespace

std::array<uint8_t, kLayoutFileSize> EncodeWindowLayout(const WindowLayout& layout) {
    std::array<uint8_t, kLayoutFileSize> out{};
    out[0] = layout.mark;
    std::memcpy(out.data() + 1, layout.reserved, sizeof layout.reserved);
    for (int i = 0; i < LAYOUT_SLOTS; ++i) EncodePlacement(layout.placement[i], out.data() + PlacementOffset(i));
    return out;
}

WindowLayout DecodeWindowLayout(const uint8_t* bytes, size_t count) {
    std::array<uint8_t, kLayoutFileSize> img{};
    if (bytes != nullptr) std::memcpy(img.data(), bytes, count < kLayoutFileSize ? count : kLayoutFileSize);
    WindowLayout layout;
    layout.mark = img[0];
    std::memcpy(layout.reserved, img.data() + 1, sizeof layout.reserved);
    for (int i = 0; i < LAYOUT_SLOTS; ++i) layout.placement[i] = DecodePlacement(img.data() + PlacementOffset(i));
    return layout;
}

LayoutReadResult ReadLayoutFile(const std::string& path, WindowLayout& layout) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return LayoutReadResult::Missing;
    uint8_t buf[kLayoutFileSize];
    const size_t n = std::fread(buf, 1, sizeof buf, f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        layout = WindowLayout{};
        return LayoutReadResult::ReadError;
    }
    layout = DecodeWindowLayout(buf, n);
    return LayoutReadResult::Ok;
}

ReplaceResult WriteLayoutFile(const std::string& path, const WindowLayout& layout) {
    const std::array<uint8_t, kLayoutFileSize> img = EncodeWindowLayout(layout);
    return ReplaceFile(path, std::string_view(reinterpret_cast<const char*>(img.data()), img.size()));
}

}  // namespace zns
