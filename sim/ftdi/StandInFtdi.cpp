#include "sim/ftdi/StandInFtdi.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

using zns::sim::ftdi::Chip;

struct libusb_device {
    std::shared_ptr<Chip> chip;
};
struct libusb_device_handle {
    std::shared_ptr<Chip> chip;
};

namespace zns::sim::ftdi {
namespace {

struct Bus {
    std::mutex mu;
    std::vector<std::shared_ptr<Chip>> chips;
    zns::IClock* clock = nullptr;
};
Bus& TheBus() {
    static Bus bus;
    return bus;
}
int64_t Now() { return TheBus().clock->NowSteadyMs(); }

// Brings the chip's wire up to `now` (chip locked).
void Advance(Chip& c, int64_t now) {
    const double byteMs = 10000.0 / c.baud;
    if (c.wire.empty()) c.wireFreeAt = std::max(c.wireFreeAt, static_cast<double>(c.lastLook));
    if (c.loggerRead) {
        uint8_t buf[4096];
        size_t n;
        while ((n = c.loggerRead(buf, sizeof buf)) > 0) c.wire.insert(c.wire.end(), buf, buf + n);
    } else {
        while (c.wireFreeAt + byteMs * static_cast<double>(c.wire.size()) <= static_cast<double>(now))
            c.wire.push_back(c.count++);
    }
    while (!c.wire.empty() && c.wireFreeAt + byteMs <= static_cast<double>(now)) {
        c.fifo.push_back(c.wire.front());
        c.wire.pop_front();
        c.wireFreeAt += byteMs;
        c.received.fetch_add(1);
    }
    c.lastLook = now;
}

// One bulk read: the chip answers after its latency time with what it has.
int ReadTransfer(Chip& c, uint8_t* dst, int max) {
    int latency;
    {
        std::lock_guard lk(c.mu);
        if (!c.plugged) return LIBUSB_ERROR_NO_DEVICE;
        latency = c.latencyMs;
    }
    TheBus().clock->SleepMs(latency);
    std::lock_guard lk(c.mu);
    if (!c.plugged) return LIBUSB_ERROR_NO_DEVICE;
    Advance(c, Now());
    const int n = static_cast<int>(std::min<size_t>(c.fifo.size(), static_cast<size_t>(max)));
    std::copy_n(c.fifo.begin(), n, dst);
    c.fifo.erase(c.fifo.begin(), c.fifo.begin() + n);
    return n;
}

bool Copy(char* dst, int len, const std::string& s) {
    if (!dst || len <= 0) return true;
    if (s.empty()) return false;  // no such string descriptor
    std::snprintf(dst, static_cast<size_t>(len), "%s", s.c_str());
    return true;
}

}  // namespace

void Reset(zns::IClock& clock) {
    std::lock_guard lk(TheBus().mu);
    TheBus().chips.clear();
    TheBus().clock = &clock;
}

void Plug(std::shared_ptr<Chip> chip) {
    chip->lastLook = Now();
    chip->wireFreeAt = static_cast<double>(chip->lastLook);
    std::lock_guard lk(TheBus().mu);
    TheBus().chips.push_back(std::move(chip));
}

void Chip::Unplug() {
    std::lock_guard lk(mu);
    plugged = false;
    wire.clear();
    fifo.clear();
}

void Chip::Replug() {
    std::lock_guard lk(mu);
    plugged = true;
    latencyMs = 16;
    lastLook = Now();
    wireFreeAt = static_cast<double>(lastLook);
}

void Chip::StallWritesAfter(int accept) {
    std::lock_guard lk(mu);
    stall = accept;
}

std::vector<uint8_t> Chip::Written() {
    std::lock_guard lk(mu);
    return written;
}

}  // namespace zns::sim::ftdi

// ---- the calls the backend makes ---------------------------------------------------

extern "C" {

ftdi_context* ftdi_new(void) {
    auto* c = new ftdi_context{};
    c->readbuffer_chunksize = 4096;
    c->writebuffer_chunksize = 4096;
    c->readbuffer = new unsigned char[c->readbuffer_chunksize];
    c->max_packet_size = 64;
    c->in_ep = 0x02;
    c->out_ep = 0x81;
    c->usb_read_timeout = c->usb_write_timeout = 5000;
    return c;
}

int ftdi_usb_close(ftdi_context* c) {
    delete c->usb_dev;
    c->usb_dev = nullptr;
    return 0;
}

void ftdi_free(ftdi_context* c) {
    ftdi_usb_close(c);
    delete[] c->readbuffer;
    delete c;
}

int ftdi_usb_find_all(ftdi_context*, ftdi_device_list** list, int, int) {
    auto& bus = zns::sim::ftdi::TheBus();
    std::lock_guard lk(bus.mu);
    ftdi_device_list** tail = list;
    *list = nullptr;
    int n = 0;
    for (auto& chip : bus.chips) {
        std::lock_guard ck(chip->mu);
        const uint16_t p = chip->productId;
        if (!chip->plugged || chip->vendorId != 0x0403 ||
            (p != 0x6001 && p != 0x6010 && p != 0x6011 && p != 0x6014 && p != 0x6015))
            continue;
        *tail = new ftdi_device_list{nullptr, new libusb_device{chip}};
        tail = &(*tail)->next;
        ++n;
    }
    return n;
}

void ftdi_list_free(ftdi_device_list** list) {
    for (ftdi_device_list* d = *list; d;) {
        ftdi_device_list* next = d->next;
        delete d->dev;
        delete d;
        d = next;
    }
    *list = nullptr;
}

int libusb_get_device_descriptor(libusb_device* dev, libusb_device_descriptor* desc) {
    *desc = {};
    desc->idVendor = dev->chip->vendorId;
    desc->idProduct = dev->chip->productId;
    return 0;
}

// Opens the device node for the strings only: no claim, the kernel driver stays.
int ftdi_usb_get_strings2(ftdi_context*, libusb_device* dev, char* manufacturer, int mnf_len,
                          char* description, int desc_len, char* serial, int serial_len) {
    Chip& c = *dev->chip;
    std::lock_guard lk(c.mu);
    if (!c.plugged || !c.mayOpen) return -4;
    using zns::sim::ftdi::Copy;
    if (!Copy(manufacturer, mnf_len, c.manufacturer) || !Copy(description, desc_len, c.description) ||
        !Copy(serial, serial_len, c.serial))
        return -9;
    return 0;
}

int ftdi_usb_open_dev(ftdi_context* ctx, libusb_device* dev) {
    Chip& c = *dev->chip;
    c.opens.fetch_add(1);
    std::lock_guard lk(c.mu);
    if (!c.plugged || !c.mayOpen) return -8;
    ctx->usb_dev = new libusb_device_handle{dev->chip};
    return 0;
}

static int Control(ftdi_context* ctx, void (*act)(Chip&, ftdi_context*)) {
    if (!ctx->usb_dev) return -2;
    Chip& c = *ctx->usb_dev->chip;
    c.controlRequests.fetch_add(1);
    std::lock_guard lk(c.mu);
    if (!c.plugged) return -1;
    act(c, ctx);
    return 0;
}

int ftdi_usb_reset(ftdi_context* ctx) {
    return Control(ctx, [](Chip&, ftdi_context* x) { x->readbuffer_remaining = x->readbuffer_offset = 0; });
}
int ftdi_tciflush(ftdi_context* ctx) {
    return Control(ctx, [](Chip& c, ftdi_context* x) {
        c.fifo.clear();
        x->readbuffer_remaining = x->readbuffer_offset = 0;
    });
}
int ftdi_tcoflush(ftdi_context* ctx) { return Control(ctx, [](Chip&, ftdi_context*) {}); }

int ftdi_set_latency_timer(ftdi_context* ctx, unsigned char latency) {
    if (latency < 1 || !ctx->usb_dev) return -1;
    Chip& c = *ctx->usb_dev->chip;
    std::lock_guard lk(c.mu);
    c.latencyMs = latency;
    c.controlRequests.fetch_add(1);
    return c.plugged ? 0 : -1;
}

// As libftdi 1.5: bytes left from the last transfer first, then transfers for as long
// as each brings data, until the size is filled; the excess stays for the next call.
int ftdi_read_data(ftdi_context* ctx, unsigned char* buf, int size) {
    if (!ctx->usb_dev) return -666;
    Chip& c = *ctx->usb_dev->chip;
    int offset = 0;
    if (size <= static_cast<int>(ctx->readbuffer_remaining)) {
        std::memcpy(buf, ctx->readbuffer + ctx->readbuffer_offset, static_cast<size_t>(size));
        ctx->readbuffer_remaining -= static_cast<unsigned>(size);
        ctx->readbuffer_offset += static_cast<unsigned>(size);
        return size;
    }
    if (ctx->readbuffer_remaining != 0) {
        std::memcpy(buf, ctx->readbuffer + ctx->readbuffer_offset, ctx->readbuffer_remaining);
        offset = static_cast<int>(ctx->readbuffer_remaining);
    }
    const int payload = static_cast<int>(ctx->readbuffer_chunksize - 2 * (ctx->readbuffer_chunksize / ctx->max_packet_size));
    int transfers = 0;
    while (offset < size) {
        ctx->readbuffer_remaining = ctx->readbuffer_offset = 0;
        const int n = zns::sim::ftdi::ReadTransfer(c, ctx->readbuffer, payload);
        ++transfers;
        int seen = c.maxTransfersPerRead.load();
        while (transfers > seen && !c.maxTransfersPerRead.compare_exchange_weak(seen, transfers)) {}
        if (n < 0) return n;
        if (n == 0) return offset;
        const int take = std::min(n, size - offset);
        std::memcpy(buf + offset, ctx->readbuffer, static_cast<size_t>(take));
        offset += take;
        if (take < n) {
            ctx->readbuffer_offset = static_cast<unsigned>(take);
            ctx->readbuffer_remaining = static_cast<unsigned>(n - take);
        }
    }
    return offset;
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* h, unsigned char endpoint, unsigned char* data,
                                     int length, int* actual, unsigned int timeout) {
    Chip& c = *h->chip;
    *actual = 0;
    {
        std::lock_guard lk(c.mu);
        if (!c.plugged) return LIBUSB_ERROR_NO_DEVICE;
        int n = c.stall < 0 ? length : std::min(length, c.stall);
        if (c.stall >= 0) c.stall -= n;
        c.written.insert(c.written.end(), data, data + n);
        if (c.loggerWrite) c.loggerWrite(data, static_cast<size_t>(n));
        *actual = n;
        if (n == length) return 0;
    }
    zns::sim::ftdi::TheBus().clock->SleepMs(timeout);
    return LIBUSB_ERROR_TIMEOUT;
}

// libftdi 1.5's write: any failed transfer, a time-out too, is -1.
int ftdi_write_data(ftdi_context* ctx, const unsigned char* buf, int size) {
    if (!ctx->usb_dev) return -666;
    int offset = 0;
    while (offset < size) {
        int len = std::min(size - offset, static_cast<int>(ctx->writebuffer_chunksize)), actual = 0;
        if (libusb_bulk_transfer(ctx->usb_dev, static_cast<unsigned char>(ctx->in_ep),
                                 const_cast<unsigned char*>(buf + offset), len, &actual,
                                 static_cast<unsigned>(ctx->usb_write_timeout)) < 0)
            return -1;
        offset += actual;
    }
    return offset;
}

}  // extern "C"
