#pragma once
// A stand-in for libftdi1 and the few libusb calls the libftdi backend makes, linked in
// their place. Chips sit on a fake bus in enumeration order. A chip's serial side runs
// at its baud rate on the clock given to the bus: each bulk read is one transfer that
// lasts the chip's latency time and brings what crossed the wire meanwhile, and
// ftdi_read_data loops as libftdi 1.5's does (transfers while each brings data, until
// the size is filled; the rest of the last transfer stays in the context's buffer).
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace zns::sim::ftdi {

struct Chip {
    uint16_t vendorId = 0x0403, productId = 0x6001;
    std::string manufacturer = "FTDI", description = "Logger", serial = "QK-12345678";
    bool mayOpen = true;  // false: the user has no permission on the device node
    int baud = 62500;
    // The logger behind the chip: bytes it has ready now, and bytes the PC sent.
    // Without loggerRead the chip receives an endless count 0, 1, 2, ... at its baud.
    std::function<size_t(uint8_t*, size_t)> loggerRead;
    std::function<void(const uint8_t*, size_t)> loggerWrite;

    void Unplug();
    void Replug();
    // Writes time out once `accept` more bytes have gone; a negative count lifts it.
    void StallWritesAfter(int accept);

    // Observations.
    std::atomic<int> opens{0};            // ftdi_usb_open_dev calls (claims the interface)
    std::atomic<int> controlRequests{0};  // latency, flush and reset requests
    std::atomic<int> maxTransfersPerRead{0};  // most bulk reads one ftdi_read_data issued
    std::atomic<int64_t> received{0};     // bytes the chip's serial side has taken in
    std::vector<uint8_t> Written();

    // ---- inside the stand-in ----
    std::mutex mu;
    bool plugged = true;
    int latencyMs = 16;
    int stall = -1;
    std::deque<uint8_t> wire, fifo;
    double wireFreeAt = 0.0;
    int64_t lastLook = 0;
    uint8_t count = 0;
    std::vector<uint8_t> written;
};

// The bus the stand-in enumerates; the clock every transfer runs on.
void Reset(zns::IClock& clock);
void Plug(std::shared_ptr<Chip> chip);

}  // namespace zns::sim::ftdi
