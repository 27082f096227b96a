#pragma once
// The USB serial driver the logger link talks to: a D2XX-style call set (status codes,
// opaque handles, blocking reads with a read time-out) over three backends.
//
//   ZNS_LOGGER unset      real USB through libftdi1
//   ZNS_LOGGER=sim        the simulated logger, in process, on the real clock
//   ZNS_LOGGER=tty:PATH   a serial tty (the kernel's FTDI driver, /dev/ttyUSB0) or a pty
//
// The simulated backend and the choice by ZNS_LOGGER live with the simulator
// (sim/SimDriver.h, sim/LoadBackend.h); this layer knows nothing of the product.
//
// Which device is the logger: its chip keeps the FTDI defaults, vendor 0x0403 and
// product 0x6001, description "Logger". We do not program a product id of our own;
// kLoggerProductId is the one place to change if the loggers ever get one. The libftdi
// backend lists every FTDI chip with a default product id (0x6001, 0x6010, 0x6011,
// 0x6014, 0x6015) so that a wrong chip at index 0 is seen by the identity check
// instead of looking like no device at all. It opens no chip whose descriptor and
// strings do not say logger (another instrument would lose its serial port): Open of
// such a chip by index gives a handle whose EE_Read reports the listed identity and
// whose other calls are FT_DEVICE_NOT_OPENED. A chip with the logger's ids whose strings
// cannot be read (no permission) is FT_DEVICE_NOT_OPENED.
//
// Threads. Every call may come from any thread. Per handle:
//  - Read and GetQueueStatus are serialised with each other (one reader at a time),
//    Write with Write; a Read waiting for its time-out never holds up a Write, so the
//    receive thread can read while the send thread writes.
//  - Purge, ResetDevice, EE_Read, SetLatencyTimer wait for the calls they would race.
//  - Close may come while another thread reads or writes: the waiting call ends at
//    once with FT_INVALID_HANDLE, the device is released before Close returns, and the
//    handle is never valid again (handles are not reused).
// A device that disappears (unplugged, tty hung up, simulated unplug) makes every later
// call on its handle fail with FT_IO_ERROR, GetQueueStatus first of all, until it is
// closed; it must then be opened again.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zns {
class IClock;
}

namespace zns::d2xx {

using FT_STATUS = uint32_t;

// Status codes, with the driver's numbers (the error log texts depend on them).
inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INSUFFICIENT_RESOURCES = 5;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED_FOR_ERASE = 8;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED_FOR_WRITE = 9;
inline constexpr FT_STATUS FT_FAILED_TO_WRITE_DEVICE = 10;
inline constexpr FT_STATUS FT_EEPROM_READ_FAILED = 11;
inline constexpr FT_STATUS FT_EEPROM_WRITE_FAILED = 12;
inline constexpr FT_STATUS FT_EEPROM_ERASE_FAILED = 13;
inline constexpr FT_STATUS FT_EEPROM_NOT_PRESENT = 14;
inline constexpr FT_STATUS FT_EEPROM_NOT_PROGRAMMED = 15;
inline constexpr FT_STATUS FT_INVALID_ARGS = 16;
inline constexpr FT_STATUS FT_NOT_SUPPORTED = 17;
inline constexpr FT_STATUS FT_OTHER_ERROR = 18;

// OpenEx flags.
inline constexpr uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr uint32_t FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr uint32_t FT_OPEN_BY_LOCATION = 4;  // not supported: FT_INVALID_PARAMETER

// Purge mask bits.
inline constexpr uint32_t FT_PURGE_RX = 1;
inline constexpr uint32_t FT_PURGE_TX = 2;

inline constexpr uint16_t kFtdiVendorId = 0x0403;
inline constexpr uint16_t kLoggerProductId = 0x6001;
inline constexpr const char* kLoggerDescription = "Logger";

// Latency timer of a freshly opened chip (ms).
inline constexpr uint8_t kDefaultLatencyMs = 16;

// Opaque; null is never a valid handle.
struct FtHandle;
using FT_HANDLE = FtHandle*;

// The identity part of the chip's EEPROM (what the chip reports as its USB identity).
struct FT_PROGRAM_DATA {
    uint16_t VendorId = 0;
    uint16_t ProductId = 0;
    std::string Manufacturer;
    std::string Description;
    std::string SerialNumber;
};

// One row of the device list.
struct DeviceListEntry {
    uint16_t VendorId = 0;
    uint16_t ProductId = 0;
    std::string Description;
    std::string SerialNumber;
};

// Every entry point name a complete driver exports, in the order the link resolves
// them when it loads the driver.
inline constexpr const char* kEntryPoints[21] = {
    "FT_Write",     "FT_Read",        "FT_Open",       "FT_OpenEx",
    "FT_ListDevices", "FT_Close",     "FT_ResetDevice", "FT_Purge",
    "FT_SetTimeouts", "FT_GetQueueStatus", "FT_SetBreakOn", "FT_SetBreakOff",
    "FT_GetStatus", "FT_SetEventNotification", "FT_EE_Read", "FT_EE_Program",
    "FT_EE_UARead", "FT_EE_UAWrite", "FT_EE_UASize", "FT_GetLatencyTimer",
    "FT_SetLatencyTimer",
};
bool IsKnownEntryPoint(std::string_view name);

// Bytes lost on the way in that only a driver reading the chip on its own sees: the
// chip's buffer overran (the overrun bit of its status bytes), or the driver's own
// receive buffer was full.
enum class RxLoss { ChipOverrun, BufferFull };
using RxLossSink = std::function<void(RxLoss)>;

// The driver. Out-parameters are pointers as in the library; a null one is
// FT_INVALID_PARAMETER. An unknown or closed handle is FT_INVALID_HANDLE.
class ID2xx {
public:
    virtual ~ID2xx() = default;

    // "libftdi1", "sim", "tty:/dev/ttyUSB0"; for messages and logs.
    virtual std::string Name() const = 0;

    // Whether the driver exports this entry point. Our backends stand for a complete
    // driver: true for every name of kEntryPoints, although only the calls below exist.
    // A test double can drop a name to exercise the link's loading messages.
    virtual bool HasEntryPoint(std::string_view name) const { return IsKnownEntryPoint(name); }

    // Where receive losses are told, once per run of them, from the driver's own thread
    // (the sink must return at once). Devices opened afterwards use it.
    virtual void SetLossSink(RxLossSink) {}

    // Device `index` of the list. A device already open: FT_DEVICE_NOT_OPENED.
    virtual FT_STATUS Open(int index, FT_HANDLE* handle) = 0;
    // By exact serial number or description (flags FT_OPEN_BY_SERIAL_NUMBER /
    // FT_OPEN_BY_DESCRIPTION).
    virtual FT_STATUS OpenEx(const std::string& arg, uint32_t flags, FT_HANDLE* handle) = 0;
    virtual FT_STATUS ListDevices(std::vector<DeviceListEntry>* devices) = 0;
    virtual FT_STATUS CountDevices(uint32_t* count) = 0;
    virtual FT_STATUS Close(FT_HANDLE handle) = 0;

    // Waits until `count` bytes have arrived or the read time-out has passed (0: no
    // time-out, as the library's default); FT_OK with *read possibly below count.
    virtual FT_STATUS Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) = 0;
    // Waits for room up to the write time-out (0: none); FT_OK with *written.
    virtual FT_STATUS Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                            uint32_t* written) = 0;
    virtual FT_STATUS ResetDevice(FT_HANDLE handle) = 0;
    virtual FT_STATUS Purge(FT_HANDLE handle, uint32_t mask) = 0;
    virtual FT_STATUS SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) = 0;
    // Bytes waiting to be read; fails once the device has gone.
    virtual FT_STATUS GetQueueStatus(FT_HANDLE handle, uint32_t* count) = 0;
    virtual FT_STATUS EE_Read(FT_HANDLE handle, FT_PROGRAM_DATA* data) = 0;
    // 1..255 ms; 0 is FT_INVALID_PARAMETER.
    virtual FT_STATUS SetLatencyTimer(FT_HANDLE handle, uint8_t ms) = 0;
    virtual FT_STATUS GetLatencyTimer(FT_HANDLE handle, uint8_t* ms) = 0;
};

// ---- Backends ----------------------------------------------------------------------

// Real USB through libftdi1; its waits (read time-outs) run on `clock`, null being the
// real clock. Null when libusb cannot start (no USB subsystem).
std::shared_ptr<ID2xx> MakeFtdiDriver(zns::IClock* clock = nullptr);

struct TtyOptions {
    std::string sysfsRoot = "/sys";  // where the tty's USB identity is looked up
};
// One device: the tty at `path`, opened raw; its speed is left as the port has it
// (set it with stty beforehand if the logger needs another one). Identity from sysfs
// (idVendor, idProduct, serial, product of the USB device above the tty); without one
// (a pty) it is taken as the logger: 0x0403, 0x6001, "Logger", serial made of the name.
std::shared_ptr<ID2xx> MakeTtyDriver(const std::string& path, TtyOptions options = {});

}  // namespace zns::d2xx
