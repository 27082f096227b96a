// The simulated logger behind the driver calls. The logger model is thread-safe on its
// own; the device adds only the "gone" state and the waits on the injected clock.
#include <algorithm>
#include <mutex>

#include "platform/Clock.h"
#include "platform/d2xx/DriverBase.h"
#include "sim/SimDriver.h"
#include "sim/SimLogger.h"

namespace zns::d2xx {
namespace {

using detail::Device;
using detail::Selector;

struct SimShared {
    SimShared(zns::sim::SimLogger& l, IClock& c, SimIdentity id)
        : logger(l), clock(c), identity(std::move(id)) {}
    zns::sim::SimLogger& logger;
    IClock& clock;
    SimIdentity identity;
    std::mutex mu;
    bool open = false;  // one handle at a time, as with the real chip
};

class SimDevice final : public Device {
public:
    explicit SimDevice(std::shared_ptr<SimShared> s) : m_s(std::move(s)) {}
    ~SimDevice() override {
        std::lock_guard lk(m_s->mu);
        m_s->open = false;
    }

    FT_STATUS Identity(FT_PROGRAM_DATA* out) override {
        if (Gone()) return FT_IO_ERROR;
        out->VendorId = m_s->identity.VendorId;
        out->ProductId = m_s->identity.ProductId;
        out->Description = m_s->identity.Description;
        out->SerialNumber = m_s->identity.SerialNumber;
        return FT_OK;
    }
    FT_STATUS Reset() override { return Gone() ? FT_IO_ERROR : FT_OK; }
    FT_STATUS QueueStatus(uint32_t* count) override {
        if (Gone()) return FT_IO_ERROR;
        *count = static_cast<uint32_t>(std::min<size_t>(m_s->logger.HostAvailable(), UINT32_MAX));
        return FT_OK;
    }
    FT_STATUS Read(uint8_t* dst, uint32_t n, uint32_t* got, uint32_t timeoutMs,
                   const std::atomic<bool>& cancel) override {
        IClock& clock = m_s->clock;
        const int64_t start = clock.NowSteadyMs();
        uint32_t have = 0;
        for (;;) {
            if (Gone()) {
                *got = have;
                return FT_IO_ERROR;
            }
            have += static_cast<uint32_t>(m_s->logger.HostRead(dst + have, n - have));
            if (have == n || cancel) break;
            int64_t step = std::max<int64_t>(1, m_latencyMs.load());
            if (timeoutMs != 0) {
                int64_t left = start + timeoutMs - clock.NowSteadyMs();
                if (left <= 0) break;
                step = std::min(step, left);
            }
            // The chip hands over what it holds once per latency period.
            clock.SleepMs(step);
        }
        *got = have;
        return FT_OK;
    }
    FT_STATUS Write(const uint8_t* src, uint32_t n, uint32_t* put, uint32_t,
                    const std::atomic<bool>& cancel) override {
        while (m_s->logger.WritesHeld() && !cancel && !Gone()) m_s->clock.SleepMs(1);
        if (Gone()) return FT_IO_ERROR;
        m_s->logger.HostWrite(src, n);
        *put = n;
        return FT_OK;
    }
    FT_STATUS PurgeRx() override {
        if (Gone()) return FT_IO_ERROR;
        m_s->logger.Purge();
        return FT_OK;
    }
    FT_STATUS PurgeTx() override { return Gone() ? FT_IO_ERROR : FT_OK; }
    FT_STATUS SetLatency(uint8_t ms) override {
        if (Gone()) return FT_IO_ERROR;
        m_latencyMs = ms;
        return FT_OK;
    }

private:
    // Once unplugged the handle stays dead, even if the logger is plugged back in.
    bool Gone() {
        if (m_gone) return true;
        if (!m_s->logger.Plugged()) m_gone = true;
        return m_gone;
    }

    std::shared_ptr<SimShared> m_s;
    std::atomic<bool> m_gone{false};
    std::atomic<int> m_latencyMs{kDefaultLatencyMs};
};

class SimDriver final : public detail::DriverBase {
public:
    SimDriver(zns::sim::SimLogger& logger, IClock& clock, SimIdentity identity)
        : m_s(std::make_shared<SimShared>(logger, clock, std::move(identity))) {}
    ~SimDriver() override { CloseAll(); }

    std::string Name() const override { return "sim"; }

protected:
    FT_STATUS Enumerate(std::vector<DeviceListEntry>* out) override {
        if (m_s->logger.Plugged()) out->push_back(Entry());
        return FT_OK;
    }
    FT_STATUS OpenDevice(const Selector& sel, std::unique_ptr<Device>* out) override {
        if (!m_s->logger.Plugged() || !sel.Matches(0, Entry())) return FT_DEVICE_NOT_FOUND;
        std::lock_guard lk(m_s->mu);
        if (m_s->open) return FT_DEVICE_NOT_OPENED;
        m_s->open = true;
        *out = std::make_unique<SimDevice>(m_s);
        return FT_OK;
    }

private:
    DeviceListEntry Entry() const {
        DeviceListEntry e;
        e.VendorId = m_s->identity.VendorId;
        e.ProductId = m_s->identity.ProductId;
        e.Description = m_s->identity.Description;
        e.SerialNumber = m_s->identity.SerialNumber;
        return e;
    }

    std::shared_ptr<SimShared> m_s;
};

}  // namespace

std::shared_ptr<ID2xx> MakeSimDriver(zns::sim::SimLogger& logger, IClock& clock,
                                     SimIdentity identity) {
    return std::make_shared<SimDriver>(logger, clock, std::move(identity));
}

zns::sim::SimLogger& ProcessSimLogger() {
    // The program's stand-in logger: the sonde is on the move, so that the formation
    // changes under it in time mode too, and it goes the way the operator logs.
    static zns::sim::SimLogger logger(DefaultClock(), [] {
        zns::sim::SimConfig c;
        c.winchSpeedMpm = 3.0;
        c.winchFollowsMode = true;
        // Mounted so that the shipped configuration's encoder-direction bit counts down as depth.
        c.encoderInverted = true;
        return c;
    }());
    return logger;
}

}  // namespace zns::d2xx
