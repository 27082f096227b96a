#pragma once
// A scripted D2XX driver with one device: identity, open and write results,
// bytes waiting to be read, and the entry points it lacks are set by the test.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/d2xx/D2xx.h"

namespace linktest {

namespace d2 = zns::d2xx;

class ScriptDriver : public d2::ID2xx {
public:
    struct Call {
        std::string name;
        uint32_t a = 0, b = 0;
    };

    // ---- script ----
    d2::FT_PROGRAM_DATA identity{0x0403, 0x6001, "Maker", "Logger", "QK-12345678"};
    std::atomic<bool> present{true};
    std::atomic<d2::FT_STATUS> writeStatus{d2::FT_OK};
    std::atomic<d2::FT_STATUS> openStatus{d2::FT_OK};  // e.g. FT_DEVICE_NOT_OPENED: no permission
    std::atomic<d2::FT_STATUS> queueStatus{d2::FT_OK};
    std::set<std::string> missing;

    void AddIncoming(const std::vector<uint8_t>& bytes) {
        std::lock_guard<std::mutex> g(m_mu);
        m_in.insert(m_in.end(), bytes.begin(), bytes.end());
    }
    std::vector<std::vector<uint8_t>> Written() const {
        std::lock_guard<std::mutex> g(m_mu);
        return m_written;
    }
    std::vector<Call> Calls() const {
        std::lock_guard<std::mutex> g(m_mu);
        return m_calls;
    }
    bool IsOpen() const {
        std::lock_guard<std::mutex> g(m_mu);
        return m_open;
    }
    size_t Incoming() const {
        std::lock_guard<std::mutex> g(m_mu);
        return m_in.size();
    }

    // ---- ID2xx ----
    std::string Name() const override { return "script"; }
    bool HasEntryPoint(std::string_view name) const override {
        return d2::IsKnownEntryPoint(name) && missing.count(std::string(name)) == 0;
    }
    void SetLossSink(d2::RxLossSink sink) override {
        std::lock_guard<std::mutex> g(m_mu);
        m_lossSink = std::move(sink);
    }
    void TellLoss(d2::RxLoss what) {
        std::lock_guard<std::mutex> g(m_mu);
        if (m_lossSink) m_lossSink(what);
    }
    d2::FT_STATUS Open(int index, d2::FT_HANDLE* h) override {
        Log("Open", uint32_t(index));
        return OpenIf(index == 0, h);
    }
    d2::FT_STATUS OpenEx(const std::string& arg, uint32_t flags, d2::FT_HANDLE* h) override {
        Log("OpenEx", flags);
        const bool match = (flags == d2::FT_OPEN_BY_DESCRIPTION && arg == identity.Description) ||
                           (flags == d2::FT_OPEN_BY_SERIAL_NUMBER && arg == identity.SerialNumber);
        return OpenIf(match, h);
    }
    d2::FT_STATUS ListDevices(std::vector<d2::DeviceListEntry>* out) override {
        if (present) out->push_back({identity.VendorId, identity.ProductId, identity.Description, identity.SerialNumber});
        return d2::FT_OK;
    }
    d2::FT_STATUS CountDevices(uint32_t* n) override {
        *n = present ? 1 : 0;
        return d2::FT_OK;
    }
    d2::FT_STATUS Close(d2::FT_HANDLE h) override {
        Log("Close");
        std::lock_guard<std::mutex> g(m_mu);
        if (!Valid(h)) return d2::FT_INVALID_HANDLE;
        m_open = false;
        return d2::FT_OK;
    }
    d2::FT_STATUS Read(d2::FT_HANDLE h, void* buf, uint32_t count, uint32_t* read) override {
        uint32_t n = 0;
        {
            std::lock_guard<std::mutex> g(m_mu);
            if (m_calls.size() < 10000) m_calls.push_back({"Read", count, 0});
            if (!Valid(h)) return d2::FT_INVALID_HANDLE;
            n = std::min<uint32_t>(count, static_cast<uint32_t>(m_in.size()));
            std::copy_n(m_in.begin(), n, static_cast<uint8_t*>(buf));
            m_in.erase(m_in.begin(), m_in.begin() + n);
        }
        // Nothing came: the time-out passes (briefly, in real time).
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        *read = n;
        return d2::FT_OK;
    }
    d2::FT_STATUS Write(d2::FT_HANDLE h, const void* buf, uint32_t count, uint32_t* written) override {
        std::lock_guard<std::mutex> g(m_mu);
        m_calls.push_back({"Write", count, 0});
        if (!Valid(h)) return d2::FT_INVALID_HANDLE;
        if (const d2::FT_STATUS w = writeStatus.load(); w != d2::FT_OK) return w;
        const auto* p = static_cast<const uint8_t*>(buf);
        m_written.emplace_back(p, p + count);
        *written = count;
        return d2::FT_OK;
    }
    d2::FT_STATUS ResetDevice(d2::FT_HANDLE h) override { return Simple("ResetDevice", h); }
    d2::FT_STATUS Purge(d2::FT_HANDLE h, uint32_t mask) override {
        Log("Purge", mask);
        std::lock_guard<std::mutex> g(m_mu);
        if (!Valid(h)) return d2::FT_INVALID_HANDLE;
        if (mask & d2::FT_PURGE_RX) m_in.clear();
        return d2::FT_OK;
    }
    d2::FT_STATUS SetTimeouts(d2::FT_HANDLE h, uint32_t r, uint32_t w) override {
        Log("SetTimeouts", r, w);
        std::lock_guard<std::mutex> g(m_mu);
        return Valid(h) ? d2::FT_OK : d2::FT_INVALID_HANDLE;
    }
    d2::FT_STATUS GetQueueStatus(d2::FT_HANDLE h, uint32_t* count) override {
        std::lock_guard<std::mutex> g(m_mu);
        if (!Valid(h)) return d2::FT_INVALID_HANDLE;
        if (const d2::FT_STATUS q = queueStatus.load(); q != d2::FT_OK) return q;
        *count = static_cast<uint32_t>(m_in.size());
        return d2::FT_OK;
    }
    d2::FT_STATUS EE_Read(d2::FT_HANDLE h, d2::FT_PROGRAM_DATA* data) override {
        std::lock_guard<std::mutex> g(m_mu);
        if (!Valid(h)) return d2::FT_INVALID_HANDLE;
        *data = identity;
        return d2::FT_OK;
    }
    d2::FT_STATUS SetLatencyTimer(d2::FT_HANDLE h, uint8_t ms) override {
        Log("SetLatencyTimer", ms);
        std::lock_guard<std::mutex> g(m_mu);
        return Valid(h) ? d2::FT_OK : d2::FT_INVALID_HANDLE;
    }
    d2::FT_STATUS GetLatencyTimer(d2::FT_HANDLE h, uint8_t* ms) override {
        *ms = 2;
        return d2::FT_OK;
    }

private:
    d2::FT_HANDLE Handle() const { return reinterpret_cast<d2::FT_HANDLE>(const_cast<int*>(&m_token)); }
    bool Valid(d2::FT_HANDLE h) const { return m_open && h == Handle(); }
    d2::FT_STATUS OpenIf(bool match, d2::FT_HANDLE* h) {
        std::lock_guard<std::mutex> g(m_mu);
        if (!present || !match) return d2::FT_DEVICE_NOT_FOUND;
        if (m_open || openStatus != d2::FT_OK) return d2::FT_DEVICE_NOT_OPENED;
        m_open = true;
        *h = Handle();
        return d2::FT_OK;
    }
    d2::FT_STATUS Simple(const char* name, d2::FT_HANDLE h) {
        Log(name);
        std::lock_guard<std::mutex> g(m_mu);
        return Valid(h) ? d2::FT_OK : d2::FT_INVALID_HANDLE;
    }
    void Log(const char* name, uint32_t a = 0, uint32_t b = 0) {
        std::lock_guard<std::mutex> g(m_mu);
        if (m_calls.size() < 10000) m_calls.push_back({name, a, b});
    }

    mutable std::mutex m_mu;
    int m_token = 0;
    bool m_open = false;
    std::deque<uint8_t> m_in;
    std::vector<std::vector<uint8_t>> m_written;
    std::vector<Call> m_calls;
    d2::RxLossSink m_lossSink;
};

}  // namespace linktest
