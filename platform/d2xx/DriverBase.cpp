#include "platform/d2xx/DriverBase.h"

#include <algorithm>
#include <utility>

namespace zns::d2xx {

bool IsKnownEntryPoint(std::string_view name) {
    return std::any_of(std::begin(kEntryPoints), std::end(kEntryPoints),
                       [&](const char* n) { return name == n; });
}

namespace detail {

bool Selector::Matches(int position, const DeviceListEntry& e) const {
    switch (by) {
    case By::Index: return position == index;
    case By::Serial: return e.SerialNumber == text;
    case By::Description: return e.Description == text;
    }
    return false;
}

DriverBase::~DriverBase() { CloseAll(); }

void DriverBase::CloseAll() {
    std::map<uintptr_t, std::shared_ptr<Entry>> all;
    {
        std::lock_guard lk(m_tableMu);
        all.swap(m_table);
    }
    for (auto& [id, e] : all) Shut(*e);
}

void DriverBase::SetLossSink(RxLossSink sink) {
    std::lock_guard lk(m_tableMu);
    m_lossSink = std::move(sink);
}

RxLossSink DriverBase::LossSink() {
    std::lock_guard lk(m_tableMu);
    return m_lossSink;
}

void DriverBase::Shut(Entry& e) {
    e.closed = true;
    if (e.dev) e.dev->Wake();
    std::scoped_lock lk(e.rx, e.tx, e.ctl);
    e.dev.reset();
}

std::shared_ptr<DriverBase::Entry> DriverBase::Find(FT_HANDLE handle) {
    std::lock_guard lk(m_tableMu);
    auto it = m_table.find(reinterpret_cast<uintptr_t>(handle));
    return it == m_table.end() ? nullptr : it->second;
}

FT_STATUS DriverBase::OpenSelected(const Selector& sel, FT_HANDLE* handle) {
    if (!handle) return FT_INVALID_PARAMETER;
    *handle = nullptr;
    std::unique_ptr<Device> dev;
    FT_STATUS st = OpenDevice(sel, &dev);
    if (st != FT_OK) return st;
    if (!dev) return FT_DEVICE_NOT_OPENED;
    auto e = std::make_shared<Entry>();
    e->dev = std::move(dev);
    std::lock_guard lk(m_tableMu);
    uintptr_t id = m_nextId++;
    m_table.emplace(id, std::move(e));
    *handle = reinterpret_cast<FT_HANDLE>(id);
    return FT_OK;
}

FT_STATUS DriverBase::Open(int index, FT_HANDLE* handle) {
    if (handle) *handle = nullptr;
    if (index < 0) return handle ? FT_DEVICE_NOT_FOUND : FT_INVALID_PARAMETER;
    Selector sel;
    sel.by = Selector::By::Index;
    sel.index = index;
    return OpenSelected(sel, handle);
}

FT_STATUS DriverBase::OpenEx(const std::string& arg, uint32_t flags, FT_HANDLE* handle) {
    if (handle) *handle = nullptr;
    Selector sel;
    if (flags == FT_OPEN_BY_SERIAL_NUMBER) {
        sel.by = Selector::By::Serial;
    } else if (flags == FT_OPEN_BY_DESCRIPTION) {
        sel.by = Selector::By::Description;
    } else {
        return FT_INVALID_PARAMETER;
    }
    sel.text = arg;
    return OpenSelected(sel, handle);
}

FT_STATUS DriverBase::ListDevices(std::vector<DeviceListEntry>* devices) {
    if (!devices) return FT_INVALID_PARAMETER;
    devices->clear();
    return Enumerate(devices);
}

FT_STATUS DriverBase::CountDevices(uint32_t* count) {
    if (!count) return FT_INVALID_PARAMETER;
    std::vector<DeviceListEntry> list;
    FT_STATUS st = Enumerate(&list);
    *count = st == FT_OK ? static_cast<uint32_t>(list.size()) : 0;
    return st;
}

FT_STATUS DriverBase::Close(FT_HANDLE handle) {
    std::shared_ptr<Entry> e;
    {
        std::lock_guard lk(m_tableMu);
        auto it = m_table.find(reinterpret_cast<uintptr_t>(handle));
        if (it == m_table.end()) return FT_INVALID_HANDLE;
        e = std::move(it->second);
        m_table.erase(it);
    }
    Shut(*e);
    return FT_OK;
}

FT_STATUS DriverBase::Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) {
    if (read) *read = 0;
    auto e = Find(handle);
    if (!e) return FT_INVALID_HANDLE;
    if (!read || (!buffer && count > 0)) return FT_INVALID_PARAMETER;
    std::lock_guard lk(e->rx);
    if (e->closed) return FT_INVALID_HANDLE;
    if (count == 0) return FT_OK;
    FT_STATUS st = e->dev->Read(static_cast<uint8_t*>(buffer), count, read,
                                e->readTimeoutMs.load(), e->closed);
    return e->closed ? FT_INVALID_HANDLE : st;
}

FT_STATUS DriverBase::Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                            uint32_t* written) {
    if (written) *written = 0;
    auto e = Find(handle);
    if (!e) return FT_INVALID_HANDLE;
    if (!written || (!buffer && count > 0)) return FT_INVALID_PARAMETER;
    std::lock_guard lk(e->tx);
    if (e->closed) return FT_INVALID_HANDLE;
    if (count == 0) return FT_OK;
    FT_STATUS st = e->dev->Write(static_cast<const uint8_t*>(buffer), count, written,
                                 e->writeTimeoutMs.load(), e->closed);
    return e->closed ? FT_INVALID_HANDLE : st;
}

FT_STATUS DriverBase::ResetDevice(FT_HANDLE handle) {
    auto e = Find(handle);
    if (!e) return FT_INVALID_HANDLE;
    std::scoped_lock lk(e->rx, e->tx, e->ctl);
    if (e->closed) return FT_INVALID_HANDLE;
    return e->dev->Reset();
}

FT_STATUS DriverBase::Purge(FT_HANDLE handle, uint32_t mask) {
    auto e = Find(handle);
    if (!e) return FT_INVALID_HANDLE;
    if (mask & ~(FT_PURGE_RX | FT_PURGE_TX)) return FT_INVALID_PARAMETER;
    FT_STATUS st = FT_OK;
    if (mask & FT_PURGE_RX) {
        std::scoped_lock lk(e->rx, e->ctl);
        if (e->closed) return FT_INVALID_HANDLE;
        st = e->dev->PurgeRx();
    }
    if (st == FT_OK && (mask & FT_PURGE_TX)) {
        std::scoped_lock lk(e->tx, e->ctl);
        if (e->closed) return FT_INVALID_HANDLE;
        st = e->dev->PurgeTx();
    }
    return st;
}

FT_STATUS DriverBase::SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) {
    auto e = Find(handle);
    if (!e) return FT_INVALID_HANDLE;
    e->readTimeoutMs = readMs;
    e->writeTimeoutMs = writeMs;
    return FT_OK;
}

FT_STATUS DriverBase::GetQueueStatus(FT_HANDLE handle, uint32_t* count) {
    if (count) *count = 0;
    auto e = Find(handle);
    if (!e) return FT_INVALID_HANDLE;
    if (!count) return FT_INVALID_PARAMETER;
    std::lock_guard lk(e->rx);
    if (e->closed) return FT_INVALID_HANDLE;
    return e->dev->QueueStatus(count);
}

FT_STATUS DriverBase::EE_Read(FT_HANDLE handle, FT_PROGRAM_DATA* data) {
    auto e = Find(handle);
    if (!e) return FT_INVALID_HANDLE;
    if (!data) return FT_INVALID_PARAMETER;
    std::lock_guard lk(e->ctl);
    if (e->closed) return FT_INVALID_HANDLE;
    FT_PROGRAM_DATA d;
    FT_STATUS st = e->dev->Identity(&d);
    if (st == FT_OK) *data = std::move(d);
    return st;
}

FT_STATUS DriverBase::SetLatencyTimer(FT_HANDLE handle, uint8_t ms) {
    auto e = Find(handle);
    if (!e) return FT_INVALID_HANDLE;
    if (ms == 0) return FT_INVALID_PARAMETER;
    std::lock_guard lk(e->ctl);
    if (e->closed) return FT_INVALID_HANDLE;
    FT_STATUS st = e->dev->SetLatency(ms);
    if (st == FT_OK) e->latencyMs = ms;
    return st;
}

FT_STATUS DriverBase::GetLatencyTimer(FT_HANDLE handle, uint8_t* ms) {
    auto e = Find(handle);
    if (!e) return FT_INVALID_HANDLE;
    if (!ms) return FT_INVALID_PARAMETER;
    *ms = e->latencyMs.load();
    return FT_OK;
}

}  // namespace detail
}  // namespace zns::d2xx
