#pragma once
// A stand-in for libftdi1 and the libusb calls the libftdi backend makes, linked in
// their place. Chips sit on a fake bus in enumeration order and behave as an FT232R:
//  - the serial side takes bytes at the chip's baud into a 256-byte receive FIFO; a
//    byte that finds it full is lost, and the next packet's line status carries the
//    overrun bit;
//  - a pending bulk IN transfer gets 64-byte packets, each led by two status bytes: a
//    full one as soon as 62 bytes are held, a short one when the latency timer
//    (restarted by every packet) runs out; a short packet or a full buffer ends the
//    transfer, so does its time-out, with what it got by then;
//  - a bulk OUT transfer that times out has taken whole packets only;
//  - ftdi_read_data is libftdi 1.5's loop: transfers while each brings data, status
//    bytes taken off, the rest of the last transfer kept for the next call, and a
//    transfer that times out an error whose bytes are gone;
//  - ftdi_usb_get_strings2 reads the strings in order and stops at the first one missing.
// Asynchronous transfers are handed over in the thread that handles events. Everything
// runs on the bus's clock; see BusClock for virtual time.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace zns::sim::ftdi {

struct Xfer;

struct Chip {
    uint16_t vendorId = 0x0403, productId = 0x6001;
    std::string manufacturer = "FTDI", description = "Logger", serial = "QK-12345678";
    bool mayOpen = true;        // false: the user has no permission on the device node
    bool latencyFails = false;  // the latency request fails; the timer keeps its 16 ms
    int baud = 62500;
    // The logger behind the chip: bytes it has ready now, and bytes the PC sent.
    // Without loggerRead the chip receives an endless count 0, 1, 2, ... at its baud.
    std::function<size_t(uint8_t*, size_t)> loggerRead;
    std::function<void(const uint8_t*, size_t)> loggerWrite;

    void Unplug();
    void Replug();
    // The next `count` bulk OUT transfers (negative: all, until called with 0) time out
    // after taking `packets` 64-byte packets.
    void TimeOutWrites(int count, int packets = 0);

    // Observations.
    std::atomic<int> opens{0};            // ftdi_usb_open_dev calls (claims the interface)
    std::atomic<int> stringReads{0};      // ftdi_usb_get_strings2 calls (each opens the device node)
    std::atomic<int> controlRequests{0};  // latency, flush and reset requests
    std::atomic<int64_t> received{0};     // bytes the chip's serial side has taken in
    std::atomic<int64_t> overrun{0};      // of them, lost to a full FIFO while the device was open
    // Longest time with the device open and no IN transfer pending (ms).
    double LongestIdleMs();
    // Zeroes `overrun` and the longest idle time.
    void ResetObservations();
    std::vector<uint8_t> Written();

    // ---- inside the stand-in (under mu) ----
    static constexpr double kNever = std::numeric_limits<double>::infinity();
    std::mutex mu;
    std::condition_variable cv;  // a transfer ended or was handed over
    bool plugged = true;
    int generation = 0;  // handles of an earlier plug-in are gone
    uint8_t address = 0; // on bus 1; each plug-in gets the next one, as the kernel gives them
    int handles = 0;
    int latencyMs = 16;
    int timeOutWrites = 0, timeOutPackets = 0;
    double at = 0.0;          // simulated up to here
    std::deque<uint8_t> wire, fifo;
    double wireAt = kNever;   // arrival of the next wire byte
    double lastArrival = 0.0;
    uint8_t count = 0;
    double timerFrom = 0.0;   // latency timer start
    bool overrunFlag = false;
    std::deque<Xfer*> pending, completed;
    int delivering = 0;       // completions being handed over
    double idleFrom = kNever, maxIdle = 0.0;
    std::vector<uint8_t> written;
};

// The bus the stand-in enumerates; the clock every transfer runs on.
void Reset(zns::IClock& clock);
void Plug(std::shared_ptr<Chip> chip);

// Virtual time for tests. A sleep moves time on in 1 ms steps; each step ends only
// once every chip is simulated up to it and the asynchronous transfers it ended have
// been handed over to the thread that handles events, so that a driver's own reader
// keeps up with time as it does on the real clock, whatever the machine's speed. As
// with FakeClock, sleeps of several threads add up.
class BusClock final : public zns::IClock {
public:
    int64_t NowSteadyMs() const override { return m_fake.NowSteadyMs(); }
    void SleepMs(int64_t ms) override;
    zns::LocalTime NowLocal() const override { return m_fake.NowLocal(); }

private:
    zns::FakeClock m_fake;
};

}  // namespace zns::sim::ftdi
