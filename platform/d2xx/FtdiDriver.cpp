// Real USB through libftdi1. One libftdi context per open device.
//
// Reading: ftdi_read_data keeps issuing bulk transfers while each brings data and returns
// only when the requested size is filled or a transfer comes back empty, so on a live
// link a large request waits for that many bytes at the link rate. A pull therefore asks
// for one byte, which takes exactly one transfer, and collects the rest of that transfer
// from libftdi's own buffer; the device keeps its receive buffer and polls it until the
// read time-out. Reads and control calls share one mutex (libftdi promises nothing about
// concurrent calls on a context); it is held for one transfer at a time.
//
// Writing goes to the bulk endpoint directly, outside that mutex (libusb takes transfers on
// both endpoints at once); ftdi_write_data would turn a time-out into -1 and
// forget what was written. A time-out is success with the bytes written so far; a failed
// write is reported but does not lose the device. Only a vanished device or a failed read
// does.
//
// Opening: nothing is opened that its descriptor and strings do not call the logger.
// ftdi_usb_get_strings2 reads the strings without claiming the interface or detaching the
// kernel's driver; another chip gets a handle that gives its listed identity and touches
// nothing, so that the link can tell it is not the logger.
#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/d2xx/DriverBase.h"

namespace zns::d2xx {
namespace {

using detail::Device;
using detail::Selector;

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

constexpr size_t kRxLimit = 1 << 20;      // beyond this the bytes wait in the chip
constexpr int kUsbReadTimeoutMs = 500;    // a bulk read normally ends within the latency
constexpr int kUsbWriteTimeoutMs = 5000;  // write time-out 0 ("none") still ends here

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

// Every FTDI chip with a default product id, each with its identity.
FT_STATUS FindAll(FtdiList* out, std::vector<Listed>* devs) {
    out->ctx = ftdi_new();
    if (!out->ctx) return FT_INSUFFICIENT_RESOURCES;
    int n = ftdi_usb_find_all(out->ctx, &out->list, 0, 0);
    if (n < 0) return FT_IO_ERROR;
    for (ftdi_device_list* d = out->list; d; d = d->next) {
        Listed e;
        e.dev = d->dev;
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(d->dev, &desc) == 0) {
            e.id.VendorId = desc.idVendor;
            e.id.ProductId = desc.idProduct;
        }
        // One string per call: a chip without a serial-number (or maker) string fails a
        // call that asks for it. Without permission on the device it stays in the list
        // without strings.
        char descr[128] = {}, serial[128] = {};
        ftdi_context* c = out->ctx;
        if (ftdi_usb_get_strings2(c, d->dev, nullptr, 0, descr, sizeof descr, nullptr, 0) == 0) {
            e.id.Description = descr;
            e.strings = true;
            if (ftdi_usb_get_strings2(c, d->dev, nullptr, 0, nullptr, 0, serial, sizeof serial) == 0)
                e.id.SerialNumber = serial;
        }
        devs->push_back(std::move(e));
    }
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

class FtdiDevice final : public Device {
public:
    FtdiDevice(ftdi_context* ctx, DeviceListEntry id, std::string manufacturer)
        : m_ctx(ctx), m_id(std::move(id)), m_manufacturer(std::move(manufacturer)),
          m_chunk(std::max(1u, ctx->readbuffer_chunksize)) {}
    ~FtdiDevice() override {
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
    FT_STATUS Reset() override {
        if (m_lost) return FT_IO_ERROR;
        std::lock_guard lk(m_usb);
        m_rx.clear();
        return Control(ftdi_usb_reset(m_ctx));
    }
    FT_STATUS QueueStatus(uint32_t* count) override {
        // Asking the chip is also how a vanished device shows.
        if (Pull() != FT_OK) return FT_IO_ERROR;
        *count = static_cast<uint32_t>(m_rx.size());
        return FT_OK;
    }
    FT_STATUS Read(uint8_t* dst, uint32_t n, uint32_t* got, uint32_t timeoutMs,
                   const std::atomic<bool>& cancel) override {
        const int64_t end = NowMs() + timeoutMs;
        uint32_t have = 0;
        FT_STATUS st = FT_OK;
        for (;;) {
            uint32_t take = static_cast<uint32_t>(std::min<size_t>(n - have, m_rx.size()));
            std::copy_n(m_rx.begin(), take, dst + have);
            m_rx.erase(m_rx.begin(), m_rx.begin() + take);
            have += take;
            if (have == n || cancel) break;
            size_t before = m_rx.size();
            if ((st = Pull()) != FT_OK) break;
            if (m_rx.size() > before) continue;
            if (timeoutMs != 0 && NowMs() >= end) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
            if (r == LIBUSB_ERROR_NO_DEVICE) return Fail();
            if (r < 0) {
                *put = done;
                return FT_IO_ERROR;
            }
        }
        *put = done;
        return FT_OK;
    }
    FT_STATUS PurgeRx() override {
        if (m_lost) return FT_IO_ERROR;
        std::lock_guard lk(m_usb);
        m_rx.clear();
        return Control(ftdi_tciflush(m_ctx));
    }
    FT_STATUS PurgeTx() override {
        if (m_lost) return FT_IO_ERROR;
        std::lock_guard lk(m_usb);
        return Control(ftdi_tcoflush(m_ctx));
    }
    FT_STATUS SetLatency(uint8_t ms) override {
        if (m_lost) return FT_IO_ERROR;
        std::lock_guard lk(m_usb);
        return Control(ftdi_set_latency_timer(m_ctx, ms));
    }

private:
    FT_STATUS Fail() {
        m_lost = true;
        return FT_IO_ERROR;
    }
    // A failed control request does not lose the device: a chip that has gone shows at
    // the next read.
    static FT_STATUS Control(int r) { return r >= 0 ? FT_OK : FT_IO_ERROR; }
    // Moves what one USB transfer brings into the receive buffer.
    FT_STATUS Pull() {
        if (m_lost) return FT_IO_ERROR;
        if (m_rx.size() >= kRxLimit) return FT_OK;
        std::lock_guard lk(m_usb);
        m_buf.resize(m_chunk);
        int r = ftdi_read_data(m_ctx, m_buf.data(), 1);
        if (r == LIBUSB_ERROR_TIMEOUT) return FT_OK;  // the chip did not answer in time: nothing came
        if (r < 0) return Fail();
        int more = static_cast<int>(std::min<size_t>(m_ctx->readbuffer_remaining, m_buf.size() - 1));
        if (r == 1 && more > 0) {  // the rest of the transfer, from libftdi's buffer
            int s = ftdi_read_data(m_ctx, m_buf.data() + 1, more);
            if (s < 0) return Fail();
            r += s;
        }
        m_rx.insert(m_rx.end(), m_buf.begin(), m_buf.begin() + r);
        return FT_OK;
    }

    ftdi_context* m_ctx;
    DeviceListEntry m_id;
    std::string m_manufacturer;
    const size_t m_chunk;
    std::mutex m_usb;
    std::vector<uint8_t> m_buf;  // under m_usb
    std::deque<uint8_t> m_rx;    // under the handle's read lock
    std::atomic<bool> m_lost{false};
};

class FtdiDriver final : public detail::DriverBase {
public:
    ~FtdiDriver() override { CloseAll(); }
    std::string Name() const override { return "libftdi1"; }

protected:
    FT_STATUS Enumerate(std::vector<DeviceListEntry>* out) override {
        FtdiList hold;
        std::vector<Listed> devs;
        FT_STATUS st = FindAll(&hold, &devs);
        if (st != FT_OK) return st;
        for (auto& d : devs) out->push_back(std::move(d.id));
        return FT_OK;
    }
    FT_STATUS OpenDevice(const Selector& sel, std::unique_ptr<Device>* out) override {
        std::lock_guard lk(m_openMu);
        FtdiList hold;
        std::vector<Listed> devs;
        FT_STATUS st = FindAll(&hold, &devs);
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
            hold.ctx->usb_read_timeout = kUsbReadTimeoutMs;
            ftdi_list_free(&hold.list);
            ftdi_context* ctx = std::exchange(hold.ctx, nullptr);
            *out = std::make_unique<FtdiDevice>(ctx, devs[i].id, manu);
            return FT_OK;
        }
        return FT_DEVICE_NOT_FOUND;
    }

private:
    std::mutex m_openMu;
};

}  // namespace

std::shared_ptr<ID2xx> MakeFtdiDriver() {
    // libusb must start (it does not without a USB subsystem); the driver then opens
    // one context per use.
    ftdi_context* probe = ftdi_new();
    if (!probe) return nullptr;
    ftdi_free(probe);
    return std::make_shared<FtdiDriver>();
}

}  // namespace zns::d2xx
