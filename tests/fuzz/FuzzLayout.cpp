// The layout file "HxZn.dat" decoded from any bytes.
//
// Decoding is total: the record encodes back to the file's first 281 bytes
// (a shorter file padded with zeros), and the reader agrees with the decoder.
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "settings/WindowLayout.h"

namespace {

fuzz::ScratchDir& Scratch() {
    static fuzz::ScratchDir dir;
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const WindowLayout w = zns::DecodeWindowLayout(data, size);
    const auto img = zns::EncodeWindowLayout(w);
    const size_t n = size < kLayoutFileSize ? size : kLayoutFileSize;
    FUZZ_CHECK(std::memcmp(img.data(), data, n) == 0, "the layout does not encode back to its bytes");
    for (size_t i = n; i < kLayoutFileSize; ++i) FUZZ_CHECK(img[i] == 0, "byte %zu beyond the file is not zero", i);
    for (int s = 0; s < LAYOUT_SLOTS; ++s)
        FUZZ_CHECK(w.placement[s].IsPresent() == (w.placement[s].length >= 1 && w.placement[s].length <= 999));

    // Through the file: the same record, and a write of it gives the 281 bytes.
    const std::string path = Scratch().File("HxZn.dat");
    fuzz::WriteFile(path, data, size);
    WindowLayout r;
    r.mark = 0x77;
    FUZZ_CHECK(zns::ReadLayoutFile(path, r) == zns::LayoutReadResult::Ok);
    FUZZ_CHECK(zns::EncodeWindowLayout(r) == img, "the reader and the decoder disagree");
    FUZZ_CHECK(zns::WriteLayoutFile(path, r));
    const std::string back = fuzz::ReadFile(path);
    FUZZ_CHECK(back.size() == kLayoutFileSize && std::memcmp(back.data(), img.data(), kLayoutFileSize) == 0);
    return 0;
}
