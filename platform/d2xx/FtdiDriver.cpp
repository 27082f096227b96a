// Real USB through libftdi1. libftdi's reads return at once with whatever the chip
// held, so the device keeps its own receive buffer and polls it until the read time-out.
// One libftdi context per open device; every libftdi call on it is serialised by one
// mutex (libftdi promises nothing about concurrent calls on a context). The chip answers
// a bulk read within its latency time, so a write never waits long behind a read.
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

struct FtdiList {
    ftdi_context* ctx = nullptr;
    ftdi_device_list* list = nullptr;
    ~FtdiList() {
        if (list) ftdi_list_free(&list);
        if (ctx) ftdi_free(ctx);
    }
};

// Every FTDI chip with a default product id, each with its identity.
FT_STATUS FindAll(FtdiList* out, std::vector<std::pair<libusb_device*, DeviceListEntry>>* devs) {
    out->ctx = ftdi_new();
    if (!out->ctx) return FT_INSUFFICIENT_RESOURCES;
    int n = ftdi_usb_find_all(out->ctx, &out->list, 0, 0);
    if (n < 0) return FT_IO_ERROR;
    for (ftdi_device_list* d = out->list; d; d = d->next) {
        DeviceListEntry e;
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(d->dev, &desc) == 0) {
            e.VendorId = desc.idVendor;
            e.ProductId = desc.idProduct;
        }
        char manu[128] = {}, descr[128] = {}, serial[128] = {};
        // Fails without permission on the device: it stays in the list without strings.
        if (ftdi_usb_get_strings2(out->ctx, d->dev, manu, sizeof manu, descr, sizeof descr,
                                  serial, sizeof serial) == 0) {
            e.Description = descr;
            e.SerialNumber = serial;
        }
        devs->emplace_back(d->dev, std::move(e));
    }
    return FT_OK;
}

class FtdiDevice final : public Device {
public:
    FtdiDevice(ftdi_context* ctx, DeviceListEntry id, std::string manufacturer)
        : m_ctx(ctx), m_id(std::move(id)), m_manufacturer(std::move(manufacturer)) {}
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
        return ftdi_usb_reset(m_ctx) == 0 ? FT_OK : Fail();
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
        std::lock_guard lk(m_usb);
        m_ctx->usb_write_timeout = timeoutMs == 0 ? kUsbWriteTimeoutMs : static_cast<int>(timeoutMs);
        int r = ftdi_write_data(m_ctx, src, static_cast<int>(n));
        if (r < 0) return Fail();
        *put = static_cast<uint32_t>(r);
        return FT_OK;
    }
    FT_STATUS PurgeRx() override {
        if (m_lost) return FT_IO_ERROR;
        std::lock_guard lk(m_usb);
        m_rx.clear();
        return ftdi_tciflush(m_ctx) == 0 ? FT_OK : Fail();
    }
    FT_STATUS PurgeTx() override {
        if (m_lost) return FT_IO_ERROR;
        std::lock_guard lk(m_usb);
        return ftdi_tcoflush(m_ctx) == 0 ? FT_OK : Fail();
    }
    FT_STATUS SetLatency(uint8_t ms) override {
        if (m_lost) return FT_IO_ERROR;
        std::lock_guard lk(m_usb);
        return ftdi_set_latency_timer(m_ctx, ms) == 0 ? FT_OK : Fail();
    }

private:
    FT_STATUS Fail() {
        m_lost = true;
        return FT_IO_ERROR;
    }
    // Moves what the chip holds into the receive buffer.
    FT_STATUS Pull() {
        if (m_lost) return FT_IO_ERROR;
        if (m_rx.size() >= kRxLimit) return FT_OK;
        uint8_t buf[4096];
        int r;
        {
            std::lock_guard lk(m_usb);
            r = ftdi_read_data(m_ctx, buf, static_cast<int>(std::min(sizeof buf, kRxLimit - m_rx.size())));
        }
        if (r < 0) return Fail();
        m_rx.insert(m_rx.end(), buf, buf + r);
        return FT_OK;
    }

    ftdi_context* m_ctx;
    DeviceListEntry m_id;
    std::string m_manufacturer;
    std::mutex m_usb;
    std::deque<uint8_t> m_rx;  // under the handle's read lock
    std::atomic<bool> m_lost{false};
};

class FtdiDriver final : public detail::DriverBase {
public:
    ~FtdiDriver() override { CloseAll(); }
    std::string Name() const override { return "libftdi1"; }

protected:
    FT_STATUS Enumerate(std::vector<DeviceListEntry>* out) override {
        FtdiList hold;
        std::vector<std::pair<libusb_device*, DeviceListEntry>> devs;
        FT_STATUS st = FindAll(&hold, &devs);
        if (st != FT_OK) return st;
        for (auto& d : devs) out->push_back(std::move(d.second));
        return FT_OK;
    }
    FT_STATUS OpenDevice(const Selector& sel, std::unique_ptr<Device>* out) override {
        std::lock_guard lk(m_openMu);
        FtdiList hold;
        std::vector<std::pair<libusb_device*, DeviceListEntry>> devs;
        FT_STATUS st = FindAll(&hold, &devs);
        if (st != FT_OK) return st;
        for (size_t i = 0; i < devs.size(); ++i) {
            if (!sel.Matches(static_cast<int>(i), devs[i].second)) continue;
            char manu[128] = {};
            ftdi_usb_get_strings2(hold.ctx, devs[i].first, manu, sizeof manu, nullptr, 0, nullptr, 0);
            // Open on the enumeration's own context, which the device then keeps.
            if (ftdi_usb_open_dev(hold.ctx, devs[i].first) < 0) return FT_DEVICE_NOT_OPENED;
            hold.ctx->usb_read_timeout = kUsbReadTimeoutMs;
            ftdi_list_free(&hold.list);
            ftdi_context* ctx = std::exchange(hold.ctx, nullptr);
            *out = std::make_unique<FtdiDevice>(ctx, devs[i].second, manu);
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
