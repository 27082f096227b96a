// CUSB: driver loading and wrappers, the link watch, the link check, the
// receive thread and the send thread.
#include "link/USB.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "link/CommandFrames.h"
#include "link/Picker.h"
#include "link/ToolsStream.h"
#include "platform/NumText.h"
#include "settings/Preferences.h"
#include "settings/SondeDatabase.h"

namespace d2 = zns::d2xx;

namespace {

constexpr int kPauseSliceMs = 50;
constexpr int kIdleSendWaitMs = 1000;  // the send thread's wait for a frame; Shutdown wakes it
constexpr const char* kLogGap = "\nThe log being recorded has a gap.";

}  // namespace

CUSB::CUSB(SharedData& shared, CToolsStream& stream, ILinkReport& report, SettingsData* settings, Options options)
    : m_shared(shared),
      m_stream(stream),
      m_report(report),
      m_settings(settings),
      m_opts(std::move(options)),
      m_clock(m_opts.clock ? *m_opts.clock : zns::DefaultClock()),
      m_receiver(shared, *this) {
    m_stream.SetFrameHooks({&m_report, [this] { return sendF1(); }});
}

CUSB::~CUSB() { Shutdown(); }

// ---------------------------------------------------------------------------
// Driver and wrappers

bool CUSB::LoadDriver() {
    d2::LoadResult r = m_opts.loadDriver ? m_opts.loadDriver() : d2::LoadBackend();
    if (!r) {
        m_report.MessageBox("USB driver not installed.", LinkBoxIcon::Error);
        return false;
    }
    std::array<bool, EP_Count> entry{};
    for (int i = 0; i < EP_Count; ++i) {
        const std::string name = d2::kEntryPoints[i];
        if (!r.driver->HasEntryPoint(name)) {
            if (i == EP_Write || i == EP_Read)
                m_report.MessageBox("Error:\n Can't Find " + name + " \n Install the last version USB FTDI driver",
                                    LinkBoxIcon::Error);
            else
                m_report.MessageBox("Error: Can't Find " + name + " \n Install the last version USB FTDI driver",
                                    LinkBoxIcon::Error);
            return false;
        }
        entry[static_cast<size_t>(i)] = true;
    }
    m_driver = std::move(r.driver);
    m_entry = entry;
    m_driver->SetLossSink([losses = m_rxLosses](d2::RxLoss what) {
        losses->fetch_or(1u << static_cast<unsigned>(what));
    });
    return true;
}

bool CUSB::Loaded(EntryPoint ep) const { return m_driver && m_entry[static_cast<size_t>(ep)]; }

CUSB::FT_STATUS CUSB::NotValid(EntryPoint ep) {
    m_report.MessageBox(std::string(d2::kEntryPoints[ep]) + " is not valid!", LinkBoxIcon::Error);
    return d2::FT_INVALID_HANDLE;
}

CUSB::FT_STATUS CUSB::Open(int index) {
    if (!Loaded(EP_Open)) return NotValid(EP_Open);
    std::lock_guard<std::mutex> g(m_devMutex);
    FT_HANDLE h = nullptr;
    const FT_STATUS st = m_driver->Open(index, &h);
    if (st == d2::FT_OK) {
        if (FT_HANDLE old = m_ftHandle.exchange(h)) m_driver->Close(old);
    }
    return st;
}

CUSB::FT_STATUS CUSB::OpenEx(const std::string& name, uint32_t flags) {
    if (!Loaded(EP_OpenEx)) return NotValid(EP_OpenEx);
    std::lock_guard<std::mutex> g(m_devMutex);
    FT_HANDLE h = nullptr;
    const FT_STATUS st = m_driver->OpenEx(name, flags, &h);
    if (st == d2::FT_OK) {
        if (FT_HANDLE old = m_ftHandle.exchange(h)) m_driver->Close(old);
    }
    return st;
}

CUSB::FT_STATUS CUSB::Close() {
    if (!Loaded(EP_Close)) return NotValid(EP_Close);
    std::lock_guard<std::mutex> g(m_devMutex);
    FT_HANDLE h = m_ftHandle.exchange(nullptr);
    return h ? m_driver->Close(h) : d2::FT_INVALID_HANDLE;
}

CUSB::FT_STATUS CUSB::Read(void* buffer, uint32_t count, uint32_t* read) {
    if (!Loaded(EP_Read)) return NotValid(EP_Read);
    return m_driver->Read(m_ftHandle.load(), buffer, count, read);
}

CUSB::FT_STATUS CUSB::Write(const void* buffer, uint32_t count, uint32_t* written) {
    if (!Loaded(EP_Write)) return NotValid(EP_Write);
    std::lock_guard<std::mutex> g(m_devMutex);
    return m_driver->Write(m_ftHandle.load(), buffer, count, written);
}

CUSB::FT_STATUS CUSB::ResetDevice() {
    if (!Loaded(EP_ResetDevice)) return NotValid(EP_ResetDevice);
    return m_driver->ResetDevice(m_ftHandle.load());
}

CUSB::FT_STATUS CUSB::Purge(uint32_t mask) {
    if (!Loaded(EP_Purge)) return NotValid(EP_Purge);
    return m_driver->Purge(m_ftHandle.load(), mask);
}

CUSB::FT_STATUS CUSB::SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    if (!Loaded(EP_SetTimeouts)) return NotValid(EP_SetTimeouts);
    return m_driver->SetTimeouts(m_ftHandle.load(), readMs, writeMs);
}

CUSB::FT_STATUS CUSB::GetQueueStatus(uint32_t* count) {
    if (!Loaded(EP_GetQueueStatus)) return NotValid(EP_GetQueueStatus);
    return m_driver->GetQueueStatus(m_ftHandle.load(), count);
}

CUSB::FT_STATUS CUSB::EERead(d2::FT_PROGRAM_DATA* data) {
    if (!Loaded(EP_EE_Read)) return NotValid(EP_EE_Read);
    return m_driver->EE_Read(m_ftHandle.load(), data);
}

CUSB::FT_STATUS CUSB::SetLatencyTimer(uint8_t ms) {
    if (!Loaded(EP_SetLatencyTimer)) return NotValid(EP_SetLatencyTimer);
    return m_driver->SetLatencyTimer(m_ftHandle.load(), ms);
}

// ---------------------------------------------------------------------------
// Texts

std::string CUSB::StatusText(FT_STATUS status) {
    switch (status) {
        case 1: return "Invalid handle";
        case 2: return "Device not found:";
        case 3: return "Device not opened";
        case 4: return "IO Error";
        case 5: return "Insufficient ressources";
        case 6: return "invalid parameter send";
        case 8: return "New Time mode";
        case 20: return "CheckHeaderUSBTrame recept";
        default: return std::string();
    }
}

void CUSB::ReportError(FT_STATUS status, int location) {
    if (status != d2::FT_OK) ErrorLog(location, StatusText(status));
}

void CUSB::ErrorLog(int location, const std::string& text) {
    const std::string key = zns::Format("err%d", location);
    if (m_opts.errorLog)
        m_opts.errorLog(key, text);
    else
        CPreferences::WriteErrorLog(key, text);
}

void CUSB::TellRxLosses(uint32_t queued) {
    const unsigned bits = m_rxLosses->exchange(0);
    if (bits == 0 && m_rxLossesTold == 0) return;
    const int64_t now = m_clock.NowSteadyMs();
    const bool recording = m_shared.SnapshotSession().Recording != 0;
    // Caught up and quiet for a while, the link is whole again; a new log hears of its own gaps.
    if ((queued == 0 && now - m_lastRxLossMs >= kRxWholeMs) || (recording && !m_rxLossRecording))
        m_rxLossesTold = 0;
    m_rxLossRecording = recording;
    if (bits) m_lastRxLossMs = now;
    for (const d2::RxLoss what : {d2::RxLoss::ChipOverrun, d2::RxLoss::BufferFull}) {
        const unsigned bit = 1u << static_cast<unsigned>(what);
        if (!(bits & bit)) continue;
        if (what == d2::RxLoss::ChipOverrun)
            ErrorLog(LOC_OVERRUN, "Receive overrun");
        else
            ErrorLog(LOC_RX_FULL, "Receive buffer full");
        if ((m_rxLossesTold & bit) || m_shared.m_bExiting.load()) continue;
        m_rxLossesTold |= bit;
        m_report.MessageBox(RxLossText(what, recording), LinkBoxIcon::Error);
    }
}

std::string CUSB::RxLossText(d2::RxLoss what, bool recording) {
    const std::string text =
        what == d2::RxLoss::ChipOverrun
            ? "USB receive error.\nThe USB chip overran: data sent by the logger were lost."
            : "USB receive error.\nThe program fell behind the logger and its receive buffer overflowed: data sent "
              "by the logger were lost.";
    return recording ? text + kLogGap : text;
}

std::string CUSB::LinkGapText() {
    return std::string("USB receive error.\nThe link to the logger was lost: data sent by the logger were lost.") +
           kLogGap;
}

std::string CUSB::IoErrorText(double depth) {
    const std::string where = std::isfinite(depth) ? zns::Format("%#.2f", depth) : std::string(" --- ");
    return "I/O USB error.\nApplication stopped at " + where + "m.";
}

std::string CUSB::NotSentText(int code) {
    return zns::Format("USB write error.\nCommand %d did not reach the logger.", code);
}

void CUSB::Text(int part, const std::string& text) {
    if (!m_shared.m_bExiting.load()) m_report.StatusBarText(part, text);
}

void CUSB::SetStatus(const std::string& text) {
    std::lock_guard<std::mutex> g(m_textMu);
    m_strStatus = text;
}

void CUSB::PostStatus() { Text(SB_PART_LINK, GetStatusText()); }

void CUSB::PostCounter(int value, int part) {
    Text(part, part == SB_PART_HARDWARE ? zns::Format("Packet size %d Bytes", value) : zns::Format("%d", value));
}

std::string CUSB::GetSerialNumber() const {
    std::lock_guard<std::mutex> g(m_textMu);
    return m_strSerial;
}

std::string CUSB::GetDescription() const {
    std::lock_guard<std::mutex> g(m_textMu);
    return m_strDescription;
}

std::string CUSB::GetStatusText() const {
    std::lock_guard<std::mutex> g(m_textMu);
    return m_strStatus;
}

void CUSB::SetDescription(const std::string& text) {
    std::lock_guard<std::mutex> g(m_textMu);
    m_strDescription = text;
}

void CUSB::SetSerialNumber(const std::string& text) {
    std::lock_guard<std::mutex> g(m_textMu);
    m_strSerial = text;
}

void CUSB::Tone(int hz, int ms) {
    // A tone holds up the thread that sounds it for its length, as the second
    // tone must follow the first.
    m_report.Beep(hz, ms);
    Pause(ms);
}

void CUSB::Pause(int ms) {
    while (ms > 0 && !m_shared.m_bExiting.load()) {
        const int slice = std::min(ms, kPauseSliceMs);
        m_clock.SleepMs(slice);
        ms -= slice;
    }
}

uint8_t CUSB::SupplyVoltage() const {
    if (m_settings == nullptr) return static_cast<uint8_t>(kSondeDefaultVoltage);
    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    return static_cast<uint8_t>(zns::HoldSondeVoltage(m_settings->sondeDb.Voltage));
}

// ---------------------------------------------------------------------------
// Commands

bool CUSB::Send(int code, CommandQueue::Ticket ticket) {
    const uint8_t volts = (code == CMD_1 || code == CMD_8) ? SupplyVoltage() : 0;
    const bool queued = QueueCommand(m_shared, code, volts, std::move(ticket));
    // Without a driver no send thread runs: nothing stays pending.
    if (!m_shared.m_bUsbLoaded.load()) m_shared.txQueue.Clear();
    return queued;
}

bool CUSB::sendF0() { return Send(CMD_0); }
bool CUSB::sendF1() { return Send(CMD_1); }
bool CUSB::sendF2() { return Send(CMD_2); }
bool CUSB::sendF3() { return Send(CMD_3); }
bool CUSB::sendF8(CommandQueue::Ticket ticket) { return Send(CMD_8, std::move(ticket)); }
bool CUSB::sendF9() { return Send(CMD_9); }
bool CUSB::sendF10() { return Send(CMD_10); }

void CUSB::WriteCommand0Now() {
    // Command 0 goes out at once, ahead of anything queued while the link was down.
    std::array<uint8_t, 3> frame{};
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        frame = BuildCmd0(m_shared.settings);
        m_shared.m_pCmd0Frame = frame;
    }
    if (!CheckCommandFrame(frame.data(), frame.size())) return;
    WriteFrame(frame.data(), frame.size(), LOC_CHECK_WRITE);
    m_shared.m_bTxActivity.store(true);
}

bool CUSB::WriteFrame(const uint8_t* frame, size_t size, int location, bool waited) {
    for (int i = 0; i < kWriteTries && !m_shared.m_bExiting.load(); ++i) {
        uint32_t written = 0;
        FT_STATUS st = Write(frame, static_cast<uint32_t>(size), &written);
        if (st == d2::FT_OK && written == size) {
            m_notSentTold.store(false);
            return true;
        }
        // A write time-out keeps the link. The logger drops a frame cut short by its sum:
        // it goes again whole.
        if (st == d2::FT_OK) st = d2::FT_IO_ERROR;
        ReportError(st, location);
    }
    if (!m_shared.m_bExiting.load() && !waited && !m_notSentTold.exchange(true))
        m_report.MessageBox(NotSentText(frame[0]), LinkBoxIcon::Error);
    return false;
}

// ---------------------------------------------------------------------------
// Threads

bool CUSB::Spawn(std::thread& slot, std::function<void()> body) {
    std::lock_guard<std::mutex> g(m_threadMu);
    if (m_shutdown) return false;
    // The previous run of this thread has ended or is returning: it handed over
    // before it started us.
    if (slot.joinable()) slot.join();
    slot = std::thread(std::move(body));
    return true;
}

bool CUSB::StartLinkWatch() {
    // While a receive loop runs the device is its own; it starts the link watch itself when it ends.
    if (m_shared.m_bExiting.load() || m_receiveLoop.load()) return false;
    bool idle = false;
    if (!m_shared.m_bLinkWatchRunning.compare_exchange_strong(idle, true)) {
        m_linkWatchExit.store(EXIT_LINKWATCH_DONE);  // already runs
        return false;
    }
    if (Spawn(m_linkWatchThread, [this] { m_linkWatchExit.store(LinkWatchThread()); })) return true;
    m_shared.m_bLinkWatchRunning.store(false);
    return false;
}

bool CUSB::StartReceive() {
    return Spawn(m_receiveThread, [this] { m_receiveExit.store(ReceiveThread()); });
}

bool CUSB::Init() {
    m_deviceFound.store(false);
    m_shared.m_bReceiveRunning.store(false);
    m_shared.m_bReceiveRun.store(false);
    {
        std::lock_guard<std::mutex> g(m_textMu);
        m_strDescription = kDefaultDescription;
        m_strSerial = kDefaultSerial;
    }
    m_openMode.store(OPEN_INDEX_CHECKED);

    if (!LoadDriver()) {
        SetStatus("USB not installed.");
        PostStatus();
        m_shared.m_bUsbLoaded.store(false);
        m_shared.txQueue.Clear();
        return false;
    }
    SetStatus("Checking USB status.");
    PostStatus();
    m_shared.m_bUsbLoaded.store(true);
    Spawn(m_sendThread, [this] { m_sendExit.store(SendThread()); });
    StartLinkWatch();
    return true;
}

int CUSB::LinkWatchThread() {
    while (m_shared.m_bLinkWatchRunning.load()) {
        if (m_shared.m_bExiting.load()) break;

        m_shared.m_nLinkState.store(LINK_CHECKING);
        Close();
        CheckLink();
        PostStatus();
        m_shared.m_nLinkState.store(LINK_IDLE);

        if (m_deviceFound.load()) {
            m_receiver.ResetPacketCount();
            PostCounter(0, SB_PART_COUNTER);
            m_powerOffSent.store(false);
            m_shared.m_bLinkWatchRunning.store(false);
            // Last act: the device now belongs to the receive thread.
            if (m_shared.m_bReceiveRun.load() && !m_shared.m_bExiting.load()) StartReceive();
            return EXIT_LINKWATCH_DONE;
        }
        if (m_shared.m_bExiting.load()) break;

        Text(SB_PART_HARDWARE, m_shared.m_bLoggerNoAccess.load() ? kNoAccessHint : "Not hardware detected.");
        m_report.ResetStatusTick();
        m_shared.m_bLinkUp.store(false);
        m_report.OnLinkStatus(LINK_STATUS_SENT);
        if (m_linkWasUp.load()) {
            if (m_failCount.fetch_add(1) + 1 >= kLostRoundsBeforeBox) {
                m_linkWasUp.store(false);
                m_report.MessageBox(IoErrorText(m_shared.SnapshotLive().Depth), LinkBoxIcon::Error);
            }
        } else {
            // Never up (or given up): a sonde still marked powered is switched off, once.
            if (m_shared.m_bSondePowered.load()) {
                if (!m_powerOffSent.exchange(true)) m_report.PowerOffLostLink();
            } else {
                m_powerOffSent.store(false);
            }
            m_failCount.store(0);
        }
        Pause(kLinkWatchPeriodMs);
    }
    Close();
    m_shared.m_bLinkWatchRunning.store(false);
    return EXIT_EXITING;
}

CUSB::FT_STATUS CUSB::CheckLink() {
    m_dots = m_dots % 9 + 1;
    SetStatus("Checking USB Link " + std::string(static_cast<size_t>(m_dots), '.'));

    // A failed open must not pass for the previous connection's success.
    m_deviceFound.store(false);
    if (m_openMode.load() == OPEN_INDEX_CHECKED)
        OpenByIndexChecked();
    else
        OpenByName();

    if (m_deviceFound.load()) {
        ResetDevice();
        SetTimeouts(kCheckTimeoutMs, kCheckTimeoutMs);
        uint32_t waiting = 0;
        if (GetQueueStatus(&waiting) == d2::FT_OK && waiting > 0) {
            std::vector<uint8_t> junk(waiting, 0);
            uint32_t got = 0;
            Read(junk.data(), waiting, &got);
        }
        Purge(d2::FT_PURGE_RX);
        if (m_shared.m_bSondePowered.load()) {
            Tone(300, 100);
            Tone(1200, 200);
        }
        if (!m_linkWasUp.load()) {
            WriteCommand0Now();
            Pause(kAfterCmd0Ms);
        }
        SetStatus("USB link connected");
        m_shared.m_bReceiveRun.store(true);
    }
    SetTimeouts(kIdleTimeoutMs, kIdleTimeoutMs);
    return SetLatencyTimer(2);
}

CUSB::FT_STATUS CUSB::OpenedOrLogged(FT_STATUS st) {
    // A logger that is there but cannot be had says so, and why in the error log, once a
    // streak: most often the udev rule is missing.
    m_shared.m_bLoggerNoAccess.store(st == d2::FT_DEVICE_NOT_OPENED);
    if (st == d2::FT_DEVICE_NOT_OPENED) {
        SetStatus(kNoAccessText);
        if (m_openFailLogged != st) ReportError(st, LOC_OPEN);
    }
    m_openFailLogged = st;
    return st;
}

CUSB::FT_STATUS CUSB::OpenByIndexChecked() {
    FT_STATUS st = OpenedOrLogged(Open(0));
    if (st != d2::FT_OK) return st;
    d2::FT_PROGRAM_DATA data;
    st = EERead(&data);
    if (st != d2::FT_OK) return st;
    // Another instrument's chip may keep the FTDI ids: the description tells the logger.
    if (data.VendorId == d2::kFtdiVendorId &&
        (data.ProductId == 0x6001 || data.ProductId == d2::kLoggerProductId) &&
        data.Description == GetDescription()) {
        m_deviceFound.store(true);
        SetSerialNumber(data.SerialNumber);
        return d2::FT_OK;
    }
    m_deviceFound.store(false);
    SetStatus("USB unknown");
    return d2::FT_DEVICE_NOT_FOUND;
}

CUSB::FT_STATUS CUSB::OpenByName() {
    const FT_STATUS st = OpenedOrLogged(m_openMode.load() == OPEN_BY_SERIAL
                                            ? OpenEx(GetSerialNumber(), d2::FT_OPEN_BY_SERIAL_NUMBER)
                                            : OpenEx(GetDescription(), d2::FT_OPEN_BY_DESCRIPTION));
    if (st != d2::FT_OK) return st;
    d2::FT_PROGRAM_DATA data;
    const FT_STATUS ee = EERead(&data);
    if (ee == d2::FT_OK) SetSerialNumber(data.SerialNumber);
    m_deviceFound.store(true);
    return ee;
}

int CUSB::ReceiveThread() {
    if (m_shared.m_bExiting.load()) {
        m_shared.m_bReceiveRunning.store(false);
        return EXIT_RX_EXITING;
    }
    m_shared.m_bReceiveRunning.store(true);
    if (m_receiveLoop.exchange(true)) return EXIT_RX_ALREADY;
    m_receiveStarts.fetch_add(1);
    m_shared.m_bLinkUp.store(true);

    SetTimeouts(kStartReadTimeoutMs, kWriteTimeoutMs);
    if (SetLatencyTimer(1) == d2::FT_OK) m_report.LoggerIdentity(GetDescription(), GetSerialNumber());
    if (!m_linkWasUp.load()) {
        sendF1();
        Pause(kAfterCmd1Ms);
        m_linkWasUp.store(true);
    }
    m_failCount.store(0);
    m_receiver.Reset();
    // A log that recorded on through the loss has a hole there, told as lost bytes are.
    if (m_lostRecording.exchange(false) && m_shared.SnapshotSession().Recording) {
        ErrorLog(LOC_LINK_GAP, "Link lost while recording");
        if (!m_shared.m_bExiting.load()) m_report.MessageBox(LinkGapText(), LinkBoxIcon::Error);
    }

    uint8_t block[FrameReceiver::kReadBlock];
    for (;;) {
        uint32_t queued = 0;
        const FT_STATUS qs = GetQueueStatus(&queued);
        if (qs != d2::FT_OK) return ReceiveError(qs);
        TellRxLosses(queued);
        SetTimeouts(kReadTimeoutMs, kWriteTimeoutMs);

        uint32_t got = 0;
        const FT_STATUS rs = Read(block, sizeof block, &got);
        if (rs != d2::FT_OK) {
            ReportError(rs, LOC_READ);
            Pause(kFailedReadPauseMs);
        } else if (m_receiver.OnRead(block, got) == FrameReceiver::ReadResult::DataWait) {
            m_clock.SleepMs(FrameReceiver::kDataWaitSleepMs);
            PumpMessages();
        }

        if (m_shared.m_bExiting.load()) {
            m_receiveLoop.store(false);
            m_shared.m_bReceiveRunning.store(false);
            return EXIT_RX_STOPPED;
        }
    }
}

int CUSB::ReceiveError(FT_STATUS status) {
    if (m_shared.m_bSondePowered.load()) {
        Tone(1200, 100);
        Tone(300, 200);
    }
    ReportError(status, LOC_QUEUE);
    m_lostRecording.store(m_shared.SnapshotSession().Recording != 0);
    m_shared.m_bReceiveRun.store(false);
    m_shared.m_nLinkState.store(LINK_RX_ERROR);
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.live.Value1Text.clear();
        m_shared.live.Value2Text.clear();
    }
    m_report.OnLinkStatus(LINK_STATUS_VALUES);
    m_receiveLoop.store(false);
    m_shared.m_bReceiveRunning.store(false);
    // Last act: the device goes back to the link watch.
    StartLinkWatch();
    return EXIT_RX_LINK_ERROR;
}

int CUSB::SendThread() {
    std::vector<uint8_t> frame;
    for (;;) {
        if (m_shared.m_bExiting.load()) break;
        bool waited = false;
        if (!m_shared.txQueue.Front(frame, &waited)) {
            m_shared.txQueue.WaitForFrame(kIdleSendWaitMs);
            continue;
        }
        if (!m_shared.m_bUsbLoaded.load()) {
            m_shared.txQueue.Clear();
            continue;
        }
        m_shared.m_bSendRunning.store(true);
        const bool written = WriteFrame(frame.data(), frame.size(), LOC_WRITE, waited);
        m_report.OnLinkStatus(LINK_STATUS_SENT);
        m_shared.txQueue.PopFront(written);
        m_shared.m_bTxActivity.store(true);
        m_shared.m_bSendRunning.store(false);
    }
    // Nothing stays pending for the pages that wait on it.
    m_shared.txQueue.Clear();
    m_shared.m_bSendRunning.store(false);
    return EXIT_EXITING;
}

void CUSB::Shutdown() {
    m_shared.m_bExiting.store(true);
    {
        std::lock_guard<std::mutex> g(m_threadMu);
        m_shutdown = true;
    }
    m_shared.txQueue.Wake();
    for (;;) {
        std::thread a, b, c;
        {
            std::lock_guard<std::mutex> g(m_threadMu);
            a = std::move(m_linkWatchThread);
            b = std::move(m_receiveThread);
            c = std::move(m_sendThread);
        }
        if (!a.joinable() && !b.joinable() && !c.joinable()) break;
        for (std::thread* t : {&a, &b, &c})
            if (t->joinable()) t->join();
    }
    if (m_driver) Close();
    m_shared.txQueue.Clear();
    m_shared.m_bLinkWatchRunning.store(false);
}

// ---------------------------------------------------------------------------
// Frames from the receiver

void CUSB::OnStatusFrame(std::span<const uint8_t, 16> body) { m_stream.OnStatusFrame(body); }
void CUSB::OnConfigFrame(std::span<const uint8_t, 20> body) { m_stream.OnConfigFrame(body); }
void CUSB::OnWaveFrame(std::span<const uint8_t> body) { m_stream.OnWaveFrame(body); }
void CUSB::OnStatusText(int part, const std::string& text) { Text(part, text); }
void CUSB::OnRestoreLinkText() { PostStatus(); }
