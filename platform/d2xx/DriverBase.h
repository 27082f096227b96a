#pragma once
// Shared part of the backends: handles, argument checks, per-handle locks and
// time-outs. A backend supplies the device list and one Device object per open device.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/d2xx/D2xx.h"

namespace zns::d2xx::detail {

// One open device. The driver calls Read and QueueStatus under the handle's read lock,
// Write under its write lock and the rest under its control lock (Reset and PurgeRx also
// under the read lock, PurgeTx also under the write lock), so a backend only has to
// make a read, a write and one control call safe against each other.
class Device {
public:
    virtual ~Device() = default;  // releases the device
    virtual FT_STATUS Identity(FT_PROGRAM_DATA* out) = 0;
    virtual FT_STATUS Reset() = 0;
    virtual FT_STATUS QueueStatus(uint32_t* count) = 0;
    // Up to n bytes; returns when n have come, timeoutMs has passed (0: no limit), the
    // device is gone (FT_IO_ERROR, *got still valid) or cancel is set.
    virtual FT_STATUS Read(uint8_t* dst, uint32_t n, uint32_t* got, uint32_t timeoutMs,
                           const std::atomic<bool>& cancel) = 0;
    virtual FT_STATUS Write(const uint8_t* src, uint32_t n, uint32_t* put, uint32_t timeoutMs,
                            const std::atomic<bool>& cancel) = 0;
    virtual FT_STATUS PurgeRx() = 0;
    virtual FT_STATUS PurgeTx() = 0;
    virtual FT_STATUS SetLatency(uint8_t ms) = 0;
    // From Close, before it takes the locks: cut short any wait (cancel is already set).
    virtual void Wake() {}
};

struct Selector {
    enum class By { Index, Serial, Description };
    By by = By::Index;
    int index = 0;
    std::string text;
    bool Matches(int position, const DeviceListEntry& e) const;
};

class DriverBase : public ID2xx {
public:
    ~DriverBase() override;

    FT_STATUS Open(int index, FT_HANDLE* handle) final;
    FT_STATUS OpenEx(const std::string& arg, uint32_t flags, FT_HANDLE* handle) final;
    FT_STATUS ListDevices(std::vector<DeviceListEntry>* devices) final;
    FT_STATUS CountDevices(uint32_t* count) final;
    FT_STATUS Close(FT_HANDLE handle) final;
    FT_STATUS Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) final;
    FT_STATUS Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                    uint32_t* written) final;
    FT_STATUS ResetDevice(FT_HANDLE handle) final;
    FT_STATUS Purge(FT_HANDLE handle, uint32_t mask) final;
    FT_STATUS SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) final;
    FT_STATUS GetQueueStatus(FT_HANDLE handle, uint32_t* count) final;
    FT_STATUS EE_Read(FT_HANDLE handle, FT_PROGRAM_DATA* data) final;
    FT_STATUS SetLatencyTimer(FT_HANDLE handle, uint8_t ms) final;
    FT_STATUS GetLatencyTimer(FT_HANDLE handle, uint8_t* ms) final;
    void SetLossSink(RxLossSink sink) final;

protected:
    virtual FT_STATUS Enumerate(std::vector<DeviceListEntry>* out) = 0;
    // Opens the device the selector names: FT_DEVICE_NOT_FOUND when none matches,
    // FT_DEVICE_NOT_OPENED when it cannot be had (already open, no permission).
    virtual FT_STATUS OpenDevice(const Selector& sel, std::unique_ptr<Device>* out) = 0;
    // Backends call this from their destructor so that devices go before the backend.
    void CloseAll();
    RxLossSink LossSink();

private:
    struct Entry {
        std::unique_ptr<Device> dev;
        std::mutex rx, tx, ctl;  // taken in this order
        std::atomic<bool> closed{false};
        std::atomic<uint32_t> readTimeoutMs{0};
        std::atomic<uint32_t> writeTimeoutMs{0};
        std::atomic<uint8_t> latencyMs{kDefaultLatencyMs};
    };

    FT_STATUS OpenSelected(const Selector& sel, FT_HANDLE* handle);
    std::shared_ptr<Entry> Find(FT_HANDLE handle);
    static void Shut(Entry& e);

    std::mutex m_tableMu;
    std::map<uintptr_t, std::shared_ptr<Entry>> m_table;
    uintptr_t m_nextId = 1;
    RxLossSink m_lossSink;  // under m_tableMu
};

}  // namespace zns::d2xx::detail
