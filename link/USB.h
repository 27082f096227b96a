#pragma once
// CUSB: the connection to the surface logger through the D2XX-style driver.
//
// Threads and the device handle:
//  - the link watch (normal priority) retries every 250 ms until the logger is
//    open, then hands the open device to the receive thread and ends;
//  - the receive thread owns the device while it runs; on a link error it
//    starts the link watch again as its last act, handing the device back;
//  - the send thread runs from Init to Shutdown and writes the command FIFO
//    (SharedData::txQueue) frame by frame under the device lock, which is the
//    lock under which the handle is opened and closed.
// Only the thread that owns the device opens, closes and reads it. Every wait
// goes through the injected clock. Nothing here waits for the GUI: reports go
// through ILinkReport, whose calls return at once.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "link/FrameReceiver.h"
#include "link/LinkReport.h"
#include "records/SharedRecords.h"
#include "platform/Clock.h"
#include "platform/d2xx/D2xx.h"
#include "sim/LoadBackend.h"

class CToolsStream;
struct SettingsData;

// What CUSB takes from its surroundings besides the records.
struct UsbOptions {
    // The driver; unset resolves it by ZNS_LOGGER (zns::d2xx::LoadBackend).
    std::function<zns::d2xx::LoadResult()> loadDriver;
    // Error log (key, text); unset writes CPreferences::WriteErrorLog.
    std::function<void(const std::string& key, const std::string& text)> errorLog;
    // Clock of every wait; null is the real clock.
    zns::IClock* clock = nullptr;
};

class CUSB : private IFrameSink {
public:
    using FT_STATUS = zns::d2xx::FT_STATUS;
    using FT_HANDLE = zns::d2xx::FT_HANDLE;

    // Open modes.
    enum : int { OPEN_BY_DESCRIPTION = 0, OPEN_BY_SERIAL = 1, OPEN_INDEX_CHECKED = 2 };
    // Error-log locations of ReportError.
    // 1050: command 0 written at the link check; 1051: a device that cannot be opened
    // (no permission, in use); 1052: a read; 1053, 1054, 1055: data lost on the way in (the
    // chip overran, the driver's buffer was full, the link was lost while a log recorded);
    // 5550: the queue status (link lost); 5570: a command written by the send thread.
    enum : int {
        LOC_CHECK_WRITE = 1050, LOC_OPEN = 1051, LOC_READ = 1052, LOC_OVERRUN = 1053, LOC_RX_FULL = 1054,
        LOC_LINK_GAP = 1055, LOC_QUEUE = 5550, LOC_WRITE = 5570
    };
    // Thread exit codes.
    enum : int {
        EXIT_LINKWATCH_DONE = 1,
        EXIT_EXITING = 69,
        EXIT_SEND_DONE = 4,
        EXIT_RX_STOPPED = 1000,
        EXIT_RX_EXITING = 1001,
        EXIT_RX_LINK_ERROR = 1128,
        EXIT_RX_ALREADY = 1256,
    };

    static constexpr int kLinkWatchPeriodMs = 250;
    static constexpr int kLostRoundsBeforeBox = 35;   // the box comes on the 35th failed round
    static constexpr int kAfterCmd0Ms = 500;
    static constexpr int kAfterCmd1Ms = 300;
    static constexpr int kFailedReadPauseMs = 20;    // a failing read is retried no faster than this
    static constexpr uint32_t kCheckTimeoutMs = 3000;
    static constexpr uint32_t kIdleTimeoutMs = 3;
    static constexpr uint32_t kStartReadTimeoutMs = 1500;
    static constexpr uint32_t kReadTimeoutMs = 300;
    static constexpr uint32_t kWriteTimeoutMs = 100;
    static constexpr uint16_t kUnknownChipProductId = 0x6010;
    // A command frame not written whole is written again, whole, up to this many times in all.
    static constexpr int kWriteTries = 3;
    // Status-bar texts (parts 1 and 2) of a logger that is there but may not be opened.
    static constexpr const char* kNoAccessText = kLinkNoAccessText;
    static constexpr const char* kNoAccessHint = "udev rule: see README";

    static constexpr const char* kDefaultDescription = "Logger";
    static constexpr const char* kDefaultSerial = "QK-00000000";

    using Options = UsbOptions;

    // `settings` gives the selected sonde's supply voltage (commands 1 and 8);
    // null sends the default voltage.
    CUSB(SharedData& shared, CToolsStream& stream, ILinkReport& report, SettingsData* settings = nullptr,
         Options options = {});
    // Shuts down (joins every thread) when still running.
    virtual ~CUSB();
    CUSB(const CUSB&) = delete;
    CUSB& operator=(const CUSB&) = delete;

    // ---- driver ------------------------------------------------------------
    // Resolves the driver and its entry points; false with the box of what is missing.
    bool LoadDriver();

    // Wrappers: the driver call with the member handle, its status returned.
    // Without the entry point, a box "<name> is not valid!" and 1.
    FT_STATUS Open(int index);
    FT_STATUS OpenEx(const std::string& name, uint32_t flags);
    FT_STATUS Close();
    FT_STATUS Read(void* buffer, uint32_t count, uint32_t* read);
    FT_STATUS Write(const void* buffer, uint32_t count, uint32_t* written);
    FT_STATUS ResetDevice();
    FT_STATUS Purge(uint32_t mask);
    FT_STATUS SetTimeouts(uint32_t readMs, uint32_t writeMs);
    FT_STATUS GetQueueStatus(uint32_t* count);
    FT_STATUS EERead(zns::d2xx::FT_PROGRAM_DATA* data);
    FT_STATUS SetLatencyTimer(uint8_t ms);

    // ---- link --------------------------------------------------------------
    // GUI thread, once: loads the driver and starts the link watch and the send
    // thread. False (status "USB not installed.") without a driver.
    bool Init();
    // One try of the link watch: open, identify, prepare the device. Leaves
    // m_bReceiveRun set when the logger was found; the link watch then starts
    // the receive thread.
    FT_STATUS CheckLink();
    FT_STATUS OpenByIndexChecked();
    FT_STATUS OpenByName();
    // Error-log entry "err<location>" = the status text; nothing for status 0.
    void ReportError(FT_STATUS status, int location);
    static std::string StatusText(FT_STATUS status);
    // Status text to status-bar part 1.
    void PostStatus();
    // "Packet size %d Bytes" in part 2, "%d" in the others.
    void PostCounter(int value, int part);
    std::string GetSerialNumber() const;
    std::string GetDescription() const;
    std::string GetStatusText() const;

    void SetOpenMode(int mode) { m_openMode.store(mode); }
    int OpenMode() const { return m_openMode.load(); }
    void SetDescription(const std::string& text);
    void SetSerialNumber(const std::string& text);

    // Starts the link watch unless it runs already, a receive loop owns the
    // device, or shutdown has begun.
    bool StartLinkWatch();
    // Stops every thread (at most one read time-out and one link-watch step
    // each), closes the device and drops pending commands. Sets m_bExiting.
    void Shutdown();

    // ---- commands ----------------------------------------------------------
    // Build the command from the settings, keep it in its own buffer and queue
    // it for the send thread. False when its check fails or the queue is full.
    // Command 8's `ticket` learns whether it was written or given up; its sender
    // waits for that and tells the operator itself (one box, after what it undoes),
    // so the send thread tells nothing of it.
    bool sendF0();
    bool sendF1();
    bool sendF2();
    bool sendF3();
    bool sendF8(CommandQueue::Ticket ticket = nullptr);
    bool sendF9();
    bool sendF10();

    // ---- state, for the windows and tests ----------------------------------
    bool DeviceFound() const { return m_deviceFound.load(); }
    bool LinkWasUp() const { return m_linkWasUp.load(); }
    int FailureCount() const { return m_failCount.load(); }
    int LastLinkWatchExit() const { return m_linkWatchExit.load(); }
    int LastReceiveExit() const { return m_receiveExit.load(); }
    int LastSendExit() const { return m_sendExit.load(); }
    int ReceiveStarts() const { return m_receiveStarts.load(); }
    int PacketCount() const { return m_receiver.PacketCount(); }
    int LostFrames() const { return m_receiver.LostFrames(); }
    int RejectedFrames() const { return m_receiver.RejectedFrames(); }
    static std::string IoErrorText(double depth);
    // The box of a command the logger did not get.
    static std::string NotSentText(int code);
    // The box of bytes lost on the way in; `recording`: a log is being recorded.
    static std::string RxLossText(zns::d2xx::RxLoss what, bool recording);
    // The same of a link lost and found again while a log records: told once a loss.
    static std::string LinkGapText();
    // Each kind of loss is told once a run. A run ends once the link has been whole this
    // long with its receive buffer caught up, or when a log starts recording.
    static constexpr int64_t kRxWholeMs = 10000;

private:
    enum EntryPoint : int {
        EP_Write, EP_Read, EP_Open, EP_OpenEx, EP_ListDevices, EP_Close, EP_ResetDevice, EP_Purge,
        EP_SetTimeouts, EP_GetQueueStatus, EP_SetBreakOn, EP_SetBreakOff, EP_GetStatus,
        EP_SetEventNotification, EP_EE_Read, EP_EE_Program, EP_EE_UARead, EP_EE_UAWrite, EP_EE_UASize,
        EP_GetLatencyTimer, EP_SetLatencyTimer, EP_Count
    };

    // IFrameSink: the receiver's frames go to the handlers, its texts to the status bar.
    void OnStatusFrame(std::span<const uint8_t, 16> body) override;
    void OnConfigFrame(std::span<const uint8_t, 20> body) override;
    void OnWaveFrame(std::span<const uint8_t> body) override;
    void OnStatusText(int part, const std::string& text) override;
    void OnRestoreLinkText() override;

    int LinkWatchThread();
    int ReceiveThread();
    int SendThread();
    int ReceiveError(FT_STATUS status);
    FT_STATUS OpenedOrLogged(FT_STATUS st);
    bool StartReceive();
    bool Spawn(std::thread& slot, std::function<void()> body);

    bool Loaded(EntryPoint ep) const;
    FT_STATUS NotValid(EntryPoint ep);
    bool Send(int code, CommandQueue::Ticket ticket = nullptr);
    // Writes a command frame whole, trying again; a frame that cannot be written is told
    // on screen, once until a frame goes out again (a `waited` one never: its sender tells).
    bool WriteFrame(const uint8_t* frame, size_t size, int location, bool waited = false);
    void WriteCommand0Now();
    void ErrorLog(int location, const std::string& text);
    // Error log of every loss the driver told; on screen once a run (receive thread).
    void TellRxLosses(uint32_t queued);
    void SetStatus(const std::string& text);
    void Text(int part, const std::string& text);
    void Tone(int hz, int ms);
    // Sleeps in short slices so that shutdown is not held up.
    void Pause(int ms);
    uint8_t SupplyVoltage() const;

    SharedData& m_shared;
    CToolsStream& m_stream;
    ILinkReport& m_report;
    SettingsData* m_settings;
    Options m_opts;
    zns::IClock& m_clock;

    mutable std::mutex m_textMu;     // the three texts below
    std::string m_strStatus;
    std::string m_strDescription = kDefaultDescription;
    std::string m_strSerial = kDefaultSerial;
    std::atomic<int> m_openMode{OPEN_INDEX_CHECKED};

    std::shared_ptr<zns::d2xx::ID2xx> m_driver;
    std::array<bool, EP_Count> m_entry{};
    std::mutex m_devMutex;           // open, close and write of the handle
    std::atomic<FT_HANDLE> m_ftHandle{nullptr};

    FrameReceiver m_receiver;

    std::atomic<bool> m_deviceFound{false};   // the last open found the logger
    std::atomic<bool> m_linkWasUp{false};     // the receive thread started since the last give-up
    std::atomic<int> m_failCount{0};          // failed link-watch rounds since the link was up
    std::atomic<bool> m_powerOffSent{false};  // power-off asked for this loss
    std::atomic<bool> m_lostRecording{false}; // the link was lost while a log recorded
    int m_dots = 0;                           // link watch only
    FT_STATUS m_openFailLogged = 0;           // link watch only: a failing open is logged once
    std::atomic<bool> m_receiveLoop{false};   // a receive loop runs
    std::atomic<bool> m_notSentTold{false};   // a frame that could not be written was told
    // Bits 1 << RxLoss told by the driver, for the receive thread's error log; shared with
    // the driver's sink, which may outlive this object.
    std::shared_ptr<std::atomic<unsigned>> m_rxLosses = std::make_shared<std::atomic<unsigned>>(0);
    // Receive thread only: the kinds told on screen in this run, when the last loss came,
    // and whether a log was recording when last looked.
    unsigned m_rxLossesTold = 0;
    int64_t m_lastRxLossMs = 0;
    bool m_rxLossRecording = false;

    std::atomic<int> m_linkWatchExit{0};
    std::atomic<int> m_receiveExit{0};
    std::atomic<int> m_sendExit{0};
    std::atomic<int> m_receiveStarts{0};

    std::mutex m_threadMu;                    // the thread slots and m_shutdown
    bool m_shutdown = false;
    std::thread m_linkWatchThread;
    std::thread m_receiveThread;
    std::thread m_sendThread;
};
