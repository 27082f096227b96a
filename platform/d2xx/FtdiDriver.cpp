// Real USB through libftdi1. One libftdi context per open device.
//
// Reading: the D2XX driver the link was written for reads the chip into a buffer of its
// own whatever the program does, and the chip holds only 256 bytes (16-41 ms of the
// link). libftdi reads only inside ftdi_read_data, and drops what a transfer that timed
// out had brought. So while a device is open, an event thread of its own keeps
// kTransfers bulk IN transfers pending (libusb's asynchronous calls), takes the two
// status bytes off each packet and fills a bounded receive buffer, which queue status and
// reads are served from. Nothing the program does (beeps, the disk, the GUI) leaves the
// chip unread. An overrun bit in the status bytes, or a full buffer, goes to the loss
// sink once per run. Purge and reset hold the reader (its transfers cancelled and back)
// while they empty the chip and the buffer; close stops it first.
//
// Writing goes to the bulk endpoint directly: ftdi_write_data would turn a time-out into
// -1 and forget what was written. A time-out is success with the bytes written so far; a
// failed write is reported but does not lose the device. Only a vanished device or a
// failed transfer does.
//
// Opening: nothing is opened that its descriptor and strings do not call the logger.
// ftdi_usb_get_strings2 reads the strings without claiming the interface or detaching the
// kernel's driver; another chip gets a handle that gives its listed identity and touches
// nothing, so that the link can tell it is not the logger. Each read opens the device
// node, and the link watch lists the bus four times a second: a chip's strings are read
// once while it stays at the same bus and address (a replugged chip gets a new address).
#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/Clock.h"
#include "platform/d2xx/DriverBase.h"

namespace zns::d2xx {
namespace {

using detail::Device;
using detail::Selector;

constexpr size_t kTransfers = 4;           // always pending while the device is open
constexpr int kPacketsPerTransfer = 4;     // ends within 40 ms at 62.5 kbaud even at latency 16
constexpr size_t kRxBufferBytes = 64 * 1024;
constexpr uint8_t kOverrunBit = 0x02;      // of the line status, the second status byte
constexpr int kUsbWriteTimeoutMs = 5000;   // write time-out 0 ("none") still ends here

struct Listed {
    libusb_device* dev = nullptr;
    DeviceListEntry id;
    bool strings = false;  // false: the strings could not be read (no permission, busy)
};

bool LoggerIds(const DeviceListEntry& e) {
    return e.VendorId == kFtdiVendorId && (e.ProductId == 0x6001 || e.ProductId == kLoggerProductId);
}
// The serial number may be missing; the description may not.
bool IsLogger(const Listed& d) { return d.strings && LoggerIds(d.id) && d.id.Description == kLoggerDescription; }

struct FtdiList {
    ftdi_context* ctx = nullptr;
    ftdi_device_list* list = nullptr;
    ~FtdiList() {
        if (list) ftdi_list_free(&list);
        if (ctx) ftdi_free(ctx);
    }
};

// Strings read while their chip stays plugged in, by bus and address.
struct KnownStrings {
    uint16_t vendorId = 0, productId = 0;
    std::string description, serial;
};
using StringCache = std::map<std::pair<int, int>, KnownStrings>;

// Both strings in one opening of the device node. A chip without a serial-number string
// fails a call that asks for it (-9) and is asked for its description alone. Without
// permission on the device nothing is read.
bool ReadStrings(ftdi_context* c, libusb_device* dev, KnownStrings* out) {
    char descr[128] = {}, serial[128] = {};
    const int r = ftdi_usb_get_strings2(c, dev, nullptr, 0, descr, sizeof descr, serial, sizeof serial);
    if (r != 0) {
        serial[0] = 0;
        if (r != -9 || ftdi_usb_get_strings2(c, dev, nullptr, 0, descr, sizeof descr, nullptr, 0) != 0) return false;
    }
    out->description = descr;
    out->serial = serial;
    return true;
}

// Every FTDI chip with a default product id, each with its identity. The cache keeps the
// strings of the chips listed now; what could not be read is tried again next time.
FT_STATUS FindAll(FtdiList* out, std::vector<Listed>* devs, StringCache* cache) {
    out->ctx = ftdi_new();
    if (!out->ctx) return FT_INSUFFICIENT_RESOURCES;
    int n = ftdi_usb_find_all(out->ctx, &out->list, 0, 0);
    if (n < 0) return FT_IO_ERROR;
    StringCache listed;
    for (ftdi_device_list* d = out->list; d; d = d->next) {
        Listed e;
        e.dev = d->dev;
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(d->dev, &desc) == 0) {
            e.id.VendorId = desc.idVendor;
            e.id.ProductId = desc.idProduct;
        }
        const std::pair<int, int> at{libusb_get_bus_number(d->dev), libusb_get_device_address(d->dev)};
        const auto k = cache->find(at);
        KnownStrings s;
        s.vendorId = desc.idVendor;
        s.productId = desc.idProduct;
        bool have = k != cache->end() && k->second.vendorId == s.vendorId && k->second.productId == s.productId;
        if (have)
            s = k->second;
        else
            have = ReadStrings(out->ctx, d->dev, &s);
        if (have) {
            e.strings = true;
            e.id.Description = s.description;
            e.id.SerialNumber = s.serial;
            listed[at] = std::move(s);
        }
        devs->push_back(std::move(e));
    }
    *cache = std::move(listed);
    return FT_OK;
}

// A chip that is not the logger: its identity as listed, and nothing else.
class ListedDevice final : public Device {
public:
    explicit ListedDevice(DeviceListEntry id) : m_id(std::move(id)) {}
    FT_STATUS Identity(FT_PROGRAM_DATA* out) override {
        out->VendorId = m_id.VendorId;
        out->ProductId = m_id.ProductId;
        out->Description = m_id.Description;
        out->SerialNumber = m_id.SerialNumber;
        return FT_OK;
    }
    FT_STATUS Reset() override { return FT_DEVICE_NOT_OPENED; }
    FT_STATUS QueueStatus(uint32_t*) override { return FT_DEVICE_NOT_OPENED; }
    FT_STATUS Read(uint8_t*, uint32_t, uint32_t*, uint32_t, const std::atomic<bool>&) override {
        return FT_DEVICE_NOT_OPENED;
    }
    FT_STATUS Write(const uint8_t*, uint32_t, uint32_t*, uint32_t, const std::atomic<bool>&) override {
        return FT_DEVICE_NOT_OPENED;
    }
    FT_STATUS PurgeRx() override { return FT_DEVICE_NOT_OPENED; }
    FT_STATUS PurgeTx() override { return FT_DEVICE_NOT_OPENED; }
    FT_STATUS SetLatency(uint8_t) override { return FT_DEVICE_NOT_OPENED; }

private:
    DeviceListEntry m_id;
};

// The bytes between the reader and the reads; bounded.
class Ring {
public:
    explicit Ring(size_t capacity) : m_buf(capacity) {}
    size_t Size() const { return m_size; }
    void Clear() { m_head = m_size = 0; }
    size_t Push(const uint8_t* src, size_t n) {
        n = std::min(n, m_buf.size() - m_size);
        for (size_t done = 0; done < n;) {
            const size_t at = (m_head + m_size) % m_buf.size();
            const size_t k = std::min(n - done, m_buf.size() - at);
            std::memcpy(m_buf.data() + at, src + done, k);
            done += k;
            m_size += k;
        }
        return n;
    }
    size_t Pop(uint8_t* dst, size_t n) {
        n = std::min(n, m_size);
        for (size_t done = 0; done < n;) {
            const size_t k = std::min(n - done, m_buf.size() - m_head);
            std::memcpy(dst + done, m_buf.data() + m_head, k);
            done += k;
            m_head = (m_head + k) % m_buf.size();
            m_size -= k;
        }
        return n;
    }

private:
    std::vector<uint8_t> m_buf;
    size_t m_head = 0, m_size = 0;
};

class FtdiDevice final : public Device {
public:
    FtdiDevice(ftdi_context* ctx, DeviceListEntry id, std::string manufacturer, zns::IClock& clock,
               RxLossSink sink)
        : m_ctx(ctx), m_id(std::move(id)), m_manufacturer(std::move(manufacturer)), m_clock(clock),
          m_sink(std::move(sink)), m_packet(ctx->max_packet_size > 2 ? static_cast<int>(ctx->max_packet_size) : 64),
          m_rx(kRxBufferBytes) {
        std::lock_guard lk(m_mu);
        for (Slot& s : m_slots) {
            s.buf.resize(static_cast<size_t>(kPacketsPerTransfer * m_packet));
            s.t = libusb_alloc_transfer(0);
            if (!s.t) {
                m_lost = true;
                continue;
            }
            libusb_fill_bulk_transfer(s.t, m_ctx->usb_dev, static_cast<unsigned char>(m_ctx->out_ep), s.buf.data(),
                                      static_cast<int>(s.buf.size()), &FtdiDevice::Done, this, 0);
        }
        SubmitIdle();
        m_events = std::thread([this] { Events(); });
    }
    ~FtdiDevice() override {
        {
            std::unique_lock lk(m_mu);
            m_stop = true;
            Hold(lk);
        }
        m_cv.notify_all();
        m_events.join();
        for (Slot& s : m_slots)
            if (s.t) libusb_free_transfer(s.t);
        ftdi_usb_close(m_ctx);
        ftdi_free(m_ctx);
    }

    FT_STATUS Identity(FT_PROGRAM_DATA* out) override {
        if (m_lost) return FT_IO_ERROR;
        // The chip reports its EEPROM identity as its USB descriptors, read at open.
        out->VendorId = m_id.VendorId;
        out->ProductId = m_id.ProductId;
        out->Manufacturer = m_manufacturer;
        out->Description = m_id.Description;
        out->SerialNumber = m_id.SerialNumber;
        return FT_OK;
    }
    FT_STATUS Reset() override { return Emptied(ftdi_usb_reset); }
    FT_STATUS QueueStatus(uint32_t* count) override {
        std::lock_guard lk(m_mu);
        if (m_lost) return FT_IO_ERROR;
        *count = static_cast<uint32_t>(m_rx.Size());
        return FT_OK;
    }
    FT_STATUS Read(uint8_t* dst, uint32_t n, uint32_t* got, uint32_t timeoutMs,
                   const std::atomic<bool>& cancel) override {
        const int64_t end = m_clock.NowSteadyMs() + timeoutMs;
        uint32_t have = 0;
        FT_STATUS st = FT_OK;
        for (;;) {
            {
                std::lock_guard lk(m_mu);
                have += static_cast<uint32_t>(m_rx.Pop(dst + have, n - have));
                if (have < n && m_lost) st = FT_IO_ERROR;
            }
            if (have == n || st != FT_OK || cancel) break;
            if (timeoutMs != 0 && m_clock.NowSteadyMs() >= end) break;
            m_clock.SleepMs(1);
        }
        *got = have;
        return st;
    }
    FT_STATUS Write(const uint8_t* src, uint32_t n, uint32_t* put, uint32_t timeoutMs,
                    const std::atomic<bool>&) override {
        if (m_lost) return FT_IO_ERROR;
        const unsigned timeout = timeoutMs == 0 ? kUsbWriteTimeoutMs : timeoutMs;
        const uint32_t chunk = std::max(1u, m_ctx->writebuffer_chunksize);
        uint32_t done = 0;
        while (done < n) {
            int len = static_cast<int>(std::min(chunk, n - done)), actual = 0;
            int r = libusb_bulk_transfer(m_ctx->usb_dev, static_cast<unsigned char>(m_ctx->in_ep),
                                         const_cast<uint8_t*>(src + done), len, &actual, timeout);
            done += static_cast<uint32_t>(std::max(0, actual));
            if (r == LIBUSB_ERROR_TIMEOUT) break;
            if (r == LIBUSB_ERROR_NO_DEVICE) {
                m_lost = true;
                *put = done;
                return FT_IO_ERROR;
            }
            if (r < 0) {
                *put = done;
                return FT_IO_ERROR;
            }
        }
        *put = done;
        return FT_OK;
    }
    FT_STATUS PurgeRx() override { return Emptied(ftdi_tciflush); }
    FT_STATUS PurgeTx() override {
        if (m_lost) return FT_IO_ERROR;
        return Control(ftdi_tcoflush(m_ctx));
    }
    FT_STATUS SetLatency(uint8_t ms) override {
        if (m_lost) return FT_IO_ERROR;
        return Control(ftdi_set_latency_timer(m_ctx, ms));
    }

private:
    struct Slot {
        libusb_transfer* t = nullptr;
        std::vector<uint8_t> buf;
        bool busy = false;
    };

    // A failed control request does not lose the device: a chip that has gone shows at
    // the reader.
    static FT_STATUS Control(int r) { return r >= 0 ? FT_OK : FT_IO_ERROR; }

    // A request that empties the chip's receive side, with the reader held so that no
    // byte from before it arrives after it; then the buffer goes too.
    FT_STATUS Emptied(int (*request)(ftdi_context*)) {
        std::unique_lock lk(m_mu);
        if (m_lost) return FT_IO_ERROR;
        Hold(lk);
        const int r = request(m_ctx);
        m_rx.Clear();
        m_stale = true;
        m_holding = false;
        SubmitIdle();
        m_cv.notify_all();
        return Control(r);
    }

    // Cancels the transfers in flight and waits until every one is back (m_mu held).
    void Hold(std::unique_lock<std::mutex>& lk) {
        m_holding = true;
        for (Slot& s : m_slots)
            if (s.busy) libusb_cancel_transfer(s.t);
        m_cv.wait(lk, [&] { return m_inFlight == 0; });
    }

    void SubmitIdle() {
        for (Slot& s : m_slots) {
            if (s.busy || !s.t || m_lost) continue;
            if (libusb_submit_transfer(s.t) != 0) {
                m_lost = true;
                continue;
            }
            s.busy = true;
            ++m_inFlight;
        }
    }

    void Events() {
        std::unique_lock lk(m_mu);
        for (;;) {
            m_cv.wait(lk, [&] { return m_inFlight > 0 || m_stop; });
            if (m_inFlight == 0) return;
            lk.unlock();
            timeval tv{0, 100 * 1000};
            libusb_handle_events_timeout_completed(m_ctx->usb_ctx, &tv, nullptr);
            lk.lock();
        }
    }

    static void LIBUSB_CALL Done(libusb_transfer* t) { static_cast<FtdiDevice*>(t->user_data)->OnDone(t); }

    void OnDone(libusb_transfer* t) {
        std::lock_guard lk(m_mu);
        switch (t->status) {
            case LIBUSB_TRANSFER_COMPLETED:
            case LIBUSB_TRANSFER_TIMED_OUT:  // what it brought is kept
            case LIBUSB_TRANSFER_CANCELLED:
                if (!m_holding) Take(t->buffer, t->actual_length);
                break;
            default:  // gone, or the endpoint failed
                m_lost = true;
        }
        if (!m_holding && !m_lost) {
            if (libusb_submit_transfer(t) == 0) return;
            m_lost = true;
        }
        for (Slot& s : m_slots)
            if (s.t == t) s.busy = false;
        --m_inFlight;
        m_cv.notify_all();
    }

    // Packets of m_packet bytes, each led by the modem and line status bytes.
    void Take(const uint8_t* buf, int len) {
        for (int off = 0; off + 2 <= len; off += m_packet) {
            // The first packet after open or a purge tells of bytes from before it.
            Run(m_overrunRun, (buf[off + 1] & kOverrunBit) != 0 && !m_stale, RxLoss::ChipOverrun);
            m_stale = false;
            const size_t data = static_cast<size_t>(std::min(m_packet, len - off) - 2);
            if (data > 0) Run(m_fullRun, m_rx.Push(buf + off + 2, data) < data, RxLoss::BufferFull);
        }
    }
    void Run(bool& run, bool now, RxLoss what) {
        if (now && !run && m_sink) m_sink(what);
        run = now;
    }

    ftdi_context* m_ctx;
    DeviceListEntry m_id;
    std::string m_manufacturer;
    zns::IClock& m_clock;
    const RxLossSink m_sink;
    const int m_packet;

    std::mutex m_mu;               // everything below
    std::condition_variable m_cv;  // a transfer came back; the reader may go on or must stop
    std::array<Slot, kTransfers> m_slots;
    size_t m_inFlight = 0;
    bool m_holding = false, m_stop = false;
    bool m_overrunRun = false, m_fullRun = false, m_stale = true;
    Ring m_rx;
    std::atomic<bool> m_lost{false};
    std::thread m_events;
};

class FtdiDriver final : public detail::DriverBase {
public:
    explicit FtdiDriver(zns::IClock& clock) : m_clock(clock) {}
    ~FtdiDriver() override { CloseAll(); }
    std::string Name() const override { return "libftdi1"; }

protected:
    FT_STATUS Enumerate(std::vector<DeviceListEntry>* out) override {
        FtdiList hold;
        std::vector<Listed> devs;
        FT_STATUS st = List(&hold, &devs);
        if (st != FT_OK) return st;
        for (auto& d : devs) out->push_back(std::move(d.id));
        return FT_OK;
    }
    FT_STATUS OpenDevice(const Selector& sel, std::unique_ptr<Device>* out) override {
        std::lock_guard lk(m_openMu);
        FtdiList hold;
        std::vector<Listed> devs;
        FT_STATUS st = List(&hold, &devs);
        if (st != FT_OK) return st;
        for (size_t i = 0; i < devs.size(); ++i) {
            if (!sel.Matches(static_cast<int>(i), devs[i].id)) continue;
            if (!IsLogger(devs[i])) {
                // With the logger's ids but unreadable strings it may be the logger we may
                // not open (no udev rule); anything else is left alone.
                if (LoggerIds(devs[i].id) && !devs[i].strings) return FT_DEVICE_NOT_OPENED;
                if (sel.by != Selector::By::Index) continue;
                *out = std::make_unique<ListedDevice>(devs[i].id);
                return FT_OK;
            }
            char manu[128] = {};
            ftdi_usb_get_strings2(hold.ctx, devs[i].dev, manu, sizeof manu, nullptr, 0, nullptr, 0);
            // Open on the enumeration's own context, which the device then keeps.
            if (ftdi_usb_open_dev(hold.ctx, devs[i].dev) < 0) return FT_DEVICE_NOT_OPENED;
            ftdi_list_free(&hold.list);
            ftdi_context* ctx = std::exchange(hold.ctx, nullptr);
            *out = std::make_unique<FtdiDevice>(ctx, devs[i].id, manu, m_clock, LossSink());
            return FT_OK;
        }
        return FT_DEVICE_NOT_FOUND;
    }

private:
    FT_STATUS List(FtdiList* out, std::vector<Listed>* devs) {
        std::lock_guard lk(m_listMu);
        return FindAll(out, devs, &m_strings);
    }

    zns::IClock& m_clock;
    std::mutex m_openMu;
    std::mutex m_listMu;  // m_strings; taken after m_openMu
    StringCache m_strings;
};

}  // namespace

std::shared_ptr<ID2xx> MakeFtdiDriver(zns::IClock* clock) {
    // libusb must start (it does not without a USB subsystem); the driver then opens
    // one context per use.
    ftdi_context* probe = ftdi_new();
    if (!probe) return nullptr;
    ftdi_free(probe);
    return std::make_shared<FtdiDriver>(clock ? *clock : zns::DefaultClock());
}

}  // namespace zns::d2xx
