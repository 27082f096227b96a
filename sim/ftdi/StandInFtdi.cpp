#include "sim/ftdi/StandInFtdi.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

using zns::sim::ftdi::Chip;

struct libusb_device {
    std::shared_ptr<Chip> chip;
    uint8_t address = 0;
};
struct libusb_device_handle {
    std::shared_ptr<Chip> chip;
    int generation = 0;
};
struct libusb_context {
    std::shared_ptr<Chip> chip;  // of the device opened on it
};

namespace zns::sim::ftdi {

// One pending bulk IN transfer.
struct Xfer {
    unsigned char* buf = nullptr;
    int length = 0;
    int actual = 0;
    double deadline = Chip::kNever;
    libusb_transfer* async = nullptr;  // null: its caller waits for it
    libusb_transfer_status status = LIBUSB_TRANSFER_COMPLETED;
    bool done = false;
};

namespace {

constexpr double kNever = Chip::kNever;
constexpr size_t kFifoBytes = 256;
constexpr int kPacket = 64;
constexpr int kPayload = kPacket - 2;
constexpr uint8_t kModemStatus = 0x01, kLineStatus = 0x60, kOverrunBit = 0x02;
constexpr auto kHandOverBound = std::chrono::seconds(20);  // a stuck event thread, not a speed

struct Bus {
    std::mutex mu;
    std::vector<std::shared_ptr<Chip>> chips;
    zns::IClock* clock = nullptr;
    std::atomic<bool> lockstep{false};  // the clock is a BusClock
    std::atomic<int> plugIns{0};
};
Bus& TheBus() {
    static Bus bus;
    return bus;
}
double Now() { return static_cast<double>(TheBus().clock->NowSteadyMs()); }
double ByteMs(const Chip& c) { return 10000.0 / c.baud; }

bool Usable(const libusb_device_handle* h) { return h->chip->plugged && h->generation == h->chip->generation; }

// Addresses 2-127 in turn (1 is the root hub's).
uint8_t NextAddress() { return static_cast<uint8_t>(2 + TheBus().plugIns.fetch_add(1) % 126); }

void StartWire(Chip& c, double t) {
    c.lastArrival = t;
    c.timerFrom = t;
    c.at = t;
    c.wireAt = c.loggerRead ? kNever : t + ByteMs(c);
}

// What the logger has ready goes onto the wire behind what is already there.
void PullLogger(Chip& c) {
    if (!c.loggerRead) return;
    uint8_t buf[4096];
    size_t n;
    while ((n = c.loggerRead(buf, sizeof buf)) > 0) {
        if (c.wire.empty()) c.wireAt = std::max(c.lastArrival, c.at) + ByteMs(c);
        c.wire.insert(c.wire.end(), buf, buf + n);
    }
}

void Arrive(Chip& c) {
    uint8_t b;
    if (c.loggerRead) {
        b = c.wire.front();
        c.wire.pop_front();
    } else {
        b = c.count++;
    }
    c.lastArrival = c.wireAt;
    c.wireAt = c.loggerRead && c.wire.empty() ? kNever : c.lastArrival + ByteMs(c);
    c.received.fetch_add(1);
    if (c.fifo.size() < kFifoBytes) {
        c.fifo.push_back(b);
    } else {
        if (c.handles > 0) c.overrun.fetch_add(1);
        c.overrunFlag = true;
    }
}

void NoteIdle(Chip& c, double until) {
    if (c.idleFrom < kNever) c.maxIdle = std::max(c.maxIdle, until - c.idleFrom);
}

void Finish(Chip& c, Xfer* x, libusb_transfer_status status) {
    c.pending.erase(std::find(c.pending.begin(), c.pending.end(), x));
    x->status = status;
    if (x->async)
        c.completed.push_back(x);
    else
        x->done = true;
    if (c.pending.empty() && c.handles > 0) c.idleFrom = c.at;
    c.cv.notify_all();
}

void Submit(Chip& c, Xfer* x) {
    NoteIdle(c, c.at);
    c.idleFrom = kNever;
    c.pending.push_back(x);
}

void Packet(Chip& c, Xfer* x) {
    const int n = static_cast<int>(std::min<size_t>(kPayload, c.fifo.size()));
    unsigned char* p = x->buf + x->actual;
    p[0] = kModemStatus;
    p[1] = static_cast<unsigned char>(kLineStatus | (c.overrunFlag ? kOverrunBit : 0));
    c.overrunFlag = false;
    std::copy_n(c.fifo.begin(), n, p + 2);
    c.fifo.erase(c.fifo.begin(), c.fifo.begin() + n);
    x->actual += 2 + n;
    c.timerFrom = c.at;
    if (n < kPayload || x->length - x->actual < kPacket) Finish(c, x, LIBUSB_TRANSFER_COMPLETED);
}

// Runs the chip up to `until`, event by event. On the bus clock it stops early at an
// asynchronous transfer that has ended: time goes on only once its owner has it (and
// may have submitted it again at the moment it ended). On the real clock the owner
// takes as long as it takes.
void Simulate(Chip& c, double until) {
    if (!c.plugged) {
        c.at = std::max(c.at, until);
        return;
    }
    PullLogger(c);
    const bool lockstep = TheBus().lockstep.load();
    while (!lockstep || (c.completed.empty() && c.delivering == 0)) {
        Xfer* x = c.pending.empty() ? nullptr : c.pending.front();
        double tPacket = kNever, tOut = kNever;
        if (x) {
            tPacket = c.fifo.size() >= static_cast<size_t>(kPayload) ? c.at : std::max(c.at, c.timerFrom + c.latencyMs);
            tOut = x->deadline;
        }
        const double t = std::min({c.wireAt, tPacket, tOut});
        if (t > until) {
            c.at = std::max(c.at, until);
            return;
        }
        c.at = std::max(c.at, t);
        if (c.wireAt <= t)
            Arrive(c);
        else if (tPacket <= t)
            Packet(c, x);
        else
            Finish(c, x, LIBUSB_TRANSFER_TIMED_OUT);
    }
}

// Brings the chip up to the clock, waiting for ended transfers to be handed over.
void CatchUp(Chip& c) {
    std::unique_lock lk(c.mu);
    const auto bound = std::chrono::steady_clock::now() + kHandOverBound;
    for (;;) {
        const double now = Now();
        Simulate(c, now);
        if (c.completed.empty() && c.delivering == 0 && c.at >= now) return;
        if (c.cv.wait_until(lk, bound) == std::cv_status::timeout) return;
    }
}

bool Copy(char* dst, int len, const std::string& s) {
    if (!dst || len <= 0) return true;
    if (s.empty()) return false;  // no such string descriptor
    std::snprintf(dst, static_cast<size_t>(len), "%s", s.c_str());
    return true;
}

int Status(libusb_transfer_status s) {
    switch (s) {
        case LIBUSB_TRANSFER_COMPLETED: return 0;
        case LIBUSB_TRANSFER_TIMED_OUT: return LIBUSB_ERROR_TIMEOUT;
        case LIBUSB_TRANSFER_NO_DEVICE: return LIBUSB_ERROR_NO_DEVICE;
        default: return LIBUSB_ERROR_IO;
    }
}

// A synchronous bulk IN transfer: pending from now until the chip ends it.
int ReadTransfer(libusb_device_handle* h, unsigned char* data, int length, int* actual, unsigned timeout) {
    Chip& c = *h->chip;
    std::unique_lock lk(c.mu);
    if (!Usable(h)) return LIBUSB_ERROR_NO_DEVICE;
    Simulate(c, Now());
    Xfer x;
    x.buf = data;
    x.length = length;
    x.deadline = timeout ? c.at + timeout : kNever;
    Submit(c, &x);
    while (!x.done) {
        lk.unlock();
        TheBus().clock->SleepMs(1);
        lk.lock();
        Simulate(c, Now());
    }
    *actual = x.actual;
    return Status(x.status);
}

}  // namespace

void Reset(zns::IClock& clock) {
    std::lock_guard lk(TheBus().mu);
    TheBus().chips.clear();
    TheBus().clock = &clock;
    TheBus().lockstep = dynamic_cast<BusClock*>(&clock) != nullptr;
}

void Plug(std::shared_ptr<Chip> chip) {
    {
        std::lock_guard ck(chip->mu);
        chip->address = NextAddress();
        StartWire(*chip, Now());
    }
    std::lock_guard lk(TheBus().mu);
    TheBus().chips.push_back(std::move(chip));
}

void BusClock::SleepMs(int64_t ms) {
    for (; ms > 0; --ms) {
        m_fake.Advance(1);
        std::vector<std::shared_ptr<Chip>> chips;
        {
            std::lock_guard lk(TheBus().mu);
            chips = TheBus().chips;
        }
        for (auto& c : chips) CatchUp(*c);
    }
}

void Chip::Unplug() {
    std::lock_guard lk(mu);
    Simulate(*this, Now());
    plugged = false;
    wire.clear();
    fifo.clear();
    while (!pending.empty()) Finish(*this, pending.front(), LIBUSB_TRANSFER_NO_DEVICE);
}

void Chip::Replug() {
    std::lock_guard lk(mu);
    plugged = true;
    ++generation;
    address = NextAddress();
    latencyMs = 16;
    overrunFlag = false;
    StartWire(*this, Now());
}

void Chip::TimeOutWrites(int n, int packets) {
    std::lock_guard lk(mu);
    timeOutWrites = n;
    timeOutPackets = packets;
}

double Chip::LongestIdleMs() {
    std::lock_guard lk(mu);
    return std::max(maxIdle, idleFrom < kNever ? at - idleFrom : 0.0);
}

void Chip::ResetObservations() {
    std::lock_guard lk(mu);
    overrun = 0;
    maxIdle = 0.0;
    if (idleFrom < kNever) idleFrom = at;
}

std::vector<uint8_t> Chip::Written() {
    std::lock_guard lk(mu);
    return written;
}

}  // namespace zns::sim::ftdi

// ---- the calls the backend makes ---------------------------------------------------

using zns::sim::ftdi::Xfer;
namespace sf = zns::sim::ftdi;

extern "C" {

ftdi_context* ftdi_new(void) {
    auto* c = new ftdi_context{};
    c->usb_ctx = new libusb_context{};
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
    if (libusb_device_handle* h = c->usb_dev) {
        Chip& chip = *h->chip;
        std::lock_guard lk(chip.mu);
        sf::NoteIdle(chip, chip.at);
        chip.idleFrom = Chip::kNever;
        --chip.handles;
        delete h;
    }
    c->usb_dev = nullptr;
    return 0;
}

void ftdi_free(ftdi_context* c) {
    ftdi_usb_close(c);
    delete c->usb_ctx;
    delete[] c->readbuffer;
    delete c;
}

int ftdi_usb_find_all(ftdi_context*, ftdi_device_list** list, int, int) {
    auto& bus = sf::TheBus();
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
        *tail = new ftdi_device_list{nullptr, new libusb_device{chip, chip->address}};
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

uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device*) { return 1; }
uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* dev) { return dev->address; }

// Opens the device node for the strings only: no claim, the kernel driver stays.
int ftdi_usb_get_strings2(ftdi_context*, libusb_device* dev, char* manufacturer, int mnf_len,
                          char* description, int desc_len, char* serial, int serial_len) {
    Chip& c = *dev->chip;
    c.stringReads.fetch_add(1);
    std::lock_guard lk(c.mu);
    if (!c.plugged || !c.mayOpen) return -4;
    if (!sf::Copy(manufacturer, mnf_len, c.manufacturer) || !sf::Copy(description, desc_len, c.description) ||
        !sf::Copy(serial, serial_len, c.serial))
        return -9;
    return 0;
}

int ftdi_usb_open_dev(ftdi_context* ctx, libusb_device* dev) {
    Chip& c = *dev->chip;
    c.opens.fetch_add(1);
    std::lock_guard lk(c.mu);
    if (!c.plugged || !c.mayOpen) return -8;
    sf::Simulate(c, sf::Now());
    ctx->usb_dev = new libusb_device_handle{dev->chip, c.generation};
    ctx->usb_ctx->chip = dev->chip;
    if (++c.handles == 1 && c.pending.empty()) c.idleFrom = c.at;
    return 0;
}

static int Control(ftdi_context* ctx, void (*act)(Chip&, ftdi_context*)) {
    if (!ctx->usb_dev) return -2;
    Chip& c = *ctx->usb_dev->chip;
    c.controlRequests.fetch_add(1);
    std::lock_guard lk(c.mu);
    if (!sf::Usable(ctx->usb_dev)) return -1;
    sf::Simulate(c, sf::Now());
    act(c, ctx);
    return 0;
}

int ftdi_usb_reset(ftdi_context* ctx) {
    return Control(ctx, [](Chip& c, ftdi_context* x) {
        c.fifo.clear();
        c.overrunFlag = false;
        x->readbuffer_remaining = x->readbuffer_offset = 0;
    });
}
int ftdi_tciflush(ftdi_context* ctx) {
    return Control(ctx, [](Chip& c, ftdi_context* x) {
        c.fifo.clear();
        c.overrunFlag = false;
        x->readbuffer_remaining = x->readbuffer_offset = 0;
    });
}
int ftdi_tcoflush(ftdi_context* ctx) { return Control(ctx, [](Chip&, ftdi_context*) {}); }

int ftdi_set_latency_timer(ftdi_context* ctx, unsigned char latency) {
    if (latency < 1) return -1;
    if (!ctx->usb_dev) return -3;
    Chip& c = *ctx->usb_dev->chip;
    c.controlRequests.fetch_add(1);
    std::lock_guard lk(c.mu);
    if (!sf::Usable(ctx->usb_dev) || c.latencyFails) return -2;
    sf::Simulate(c, sf::Now());
    c.latencyMs = latency;
    return 0;
}

// libftdi 1.5's loop: bytes left from the last transfer first, then transfers for as
// long as each brings data, the status bytes of every packet taken off, until the size
// is filled; the rest stays for the next call. A failed transfer, a time-out too, is
// returned as it is and what it brought is lost.
int ftdi_read_data(ftdi_context* ftdi, unsigned char* buf, int size) {
    if (!ftdi || !ftdi->usb_dev) return -666;
    const int packet = static_cast<int>(ftdi->max_packet_size);
    if (packet == 0) return -1;
    int offset = 0, actual = 1;
    if (size <= static_cast<int>(ftdi->readbuffer_remaining)) {
        std::memcpy(buf, ftdi->readbuffer + ftdi->readbuffer_offset, static_cast<size_t>(size));
        ftdi->readbuffer_remaining -= static_cast<unsigned>(size);
        ftdi->readbuffer_offset += static_cast<unsigned>(size);
        return size;
    }
    if (ftdi->readbuffer_remaining != 0) {
        std::memcpy(buf, ftdi->readbuffer + ftdi->readbuffer_offset, ftdi->readbuffer_remaining);
        offset += static_cast<int>(ftdi->readbuffer_remaining);
    }
    while (offset < size && actual > 0) {
        ftdi->readbuffer_remaining = 0;
        ftdi->readbuffer_offset = 0;
        const int ret = sf::ReadTransfer(ftdi->usb_dev, ftdi->readbuffer, static_cast<int>(ftdi->readbuffer_chunksize),
                                         &actual, static_cast<unsigned>(ftdi->usb_read_timeout));
        if (ret < 0) return ret;
        if (actual <= 2) return offset;
        const int chunks = actual / packet, rest = actual % packet;
        ftdi->readbuffer_offset += 2;
        actual -= 2;
        if (actual > packet - 2) {
            unsigned char* data = ftdi->readbuffer + ftdi->readbuffer_offset;
            int i = 1;
            for (; i < chunks; i++) std::memmove(data + (packet - 2) * i, data + packet * i, static_cast<size_t>(packet - 2));
            if (rest > 2) {
                std::memmove(data + (packet - 2) * i, data + packet * i, static_cast<size_t>(rest - 2));
                actual -= 2 * chunks;
            } else {
                actual -= 2 * (chunks - 1) + rest;
            }
        }
        if (offset + actual <= size) {
            std::memcpy(buf + offset, ftdi->readbuffer + ftdi->readbuffer_offset, static_cast<size_t>(actual));
            offset += actual;
            if (offset == size) return offset;
        } else {
            const int part = size - offset;
            std::memcpy(buf + offset, ftdi->readbuffer + ftdi->readbuffer_offset, static_cast<size_t>(part));
            ftdi->readbuffer_offset += static_cast<unsigned>(part);
            ftdi->readbuffer_remaining = static_cast<unsigned>(actual - part);
            return offset + part;
        }
    }
    return offset;
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* h, unsigned char endpoint, unsigned char* data,
                                     int length, int* actual, unsigned int timeout) {
    *actual = 0;
    if (endpoint & 0x80) return sf::ReadTransfer(h, data, length, actual, timeout);
    Chip& c = *h->chip;
    {
        std::lock_guard lk(c.mu);
        if (!sf::Usable(h)) return LIBUSB_ERROR_NO_DEVICE;
        const int packets = (length + sf::kPacket - 1) / sf::kPacket;
        const bool stall = c.timeOutWrites != 0 && packets > c.timeOutPackets;
        const int n = stall ? std::min(length, c.timeOutPackets * sf::kPacket) : length;
        if (stall && c.timeOutWrites > 0) --c.timeOutWrites;
        c.written.insert(c.written.end(), data, data + n);
        if (c.loggerWrite && n > 0) c.loggerWrite(data, static_cast<size_t>(n));
        *actual = n;
        if (!stall) return 0;
    }
    sf::TheBus().clock->SleepMs(timeout);
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

libusb_transfer* LIBUSB_CALL libusb_alloc_transfer(int) {
    return static_cast<libusb_transfer*>(std::calloc(1, sizeof(libusb_transfer)));
}

void LIBUSB_CALL libusb_free_transfer(libusb_transfer* t) { std::free(t); }

int LIBUSB_CALL libusb_submit_transfer(libusb_transfer* t) {
    Chip& c = *t->dev_handle->chip;
    std::lock_guard lk(c.mu);
    if (!sf::Usable(t->dev_handle)) return LIBUSB_ERROR_NO_DEVICE;
    if (!(t->endpoint & 0x80) || t->type != LIBUSB_TRANSFER_TYPE_BULK) return LIBUSB_ERROR_NOT_SUPPORTED;
    sf::Simulate(c, sf::Now());
    auto* x = new Xfer;
    x->buf = t->buffer;
    x->length = t->length;
    x->deadline = t->timeout ? c.at + t->timeout : Chip::kNever;
    x->async = t;
    sf::Submit(c, x);
    c.cv.notify_all();
    return 0;
}

int LIBUSB_CALL libusb_cancel_transfer(libusb_transfer* t) {
    Chip& c = *t->dev_handle->chip;
    std::lock_guard lk(c.mu);
    sf::Simulate(c, sf::Now());
    for (Xfer* x : c.pending)
        if (x->async == t) {
            sf::Finish(c, x, LIBUSB_TRANSFER_CANCELLED);
            return 0;
        }
    return LIBUSB_ERROR_NOT_FOUND;
}

// Hands over the transfers the chip has ended, or waits (in real time) up to tv for one.
int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context* ctx, struct timeval* tv, int*) {
    using namespace std::chrono;
    const auto until = steady_clock::now() + seconds(tv ? tv->tv_sec : 0) + microseconds(tv ? tv->tv_usec : 0);
    if (!ctx->chip) {
        std::this_thread::sleep_until(until);
        return 0;
    }
    Chip& c = *ctx->chip;
    std::unique_lock lk(c.mu);
    for (;;) {
        sf::Simulate(c, sf::Now());
        if (!c.completed.empty()) {
            std::deque<Xfer*> done;
            done.swap(c.completed);
            c.delivering += static_cast<int>(done.size());
            lk.unlock();
            for (Xfer* x : done) {
                x->async->status = x->status;
                x->async->actual_length = x->actual;
                x->async->callback(x->async);
                delete x;
            }
            lk.lock();
            c.delivering -= static_cast<int>(done.size());
            c.cv.notify_all();
            return 0;
        }
        if (steady_clock::now() >= until) return 0;
        c.cv.wait_for(lk, microseconds(200));
    }
}

}  // extern "C"
