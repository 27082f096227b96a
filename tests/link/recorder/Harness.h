#pragma once
// A logger on virtual time for the power, recorder and player tests: the
// simulated logger, the frame receiver and the program's frame handlers (which
// write the records while recording), and a panel whose timers fire on the
// same virtual clock.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/CommandFrames.h"
#include "link/FrameReceiver.h"
#include "link/LinkReport.h"
#include "link/Player.h"
#include "link/PowerControl.h"
#include "link/Recorder.h"
#include "link/ToolsStream.h"
#include "platform/Clock.h"
#include "settings/Header.h"
#include "settings/Preferences.h"
#include "sim/SimLogger.h"

namespace rectest {

inline uint16_t U16(const uint8_t* b) { return static_cast<uint16_t>(b[0] | (b[1] << 8)); }
inline int32_t I32(const uint8_t* b) {
    return static_cast<int32_t>(uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) |
                                (uint32_t(b[3]) << 24));
}

class TempFolder {
public:
    TempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zns_power_XXXXXX").string();
        if (mkdtemp(tmpl.data())) m_path = tmpl;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Acquisition settings the simulated link carries without faults.
inline void WorkingSettings(AcquisitionSettings& a) {
    a.PulsResolution = 1000;
    a.PulleysCircumference = 5000;  // 80 counts per cm, as the simulated encoder
    a.CableType = 0;
    a.UpGain = 15;
    a.BaudDivisor = 10;
    a.DownDrive = 20;
    a.UpDrive = 10;
    a.VScale = 100;
    a.TimeInterval = 500;
    a.DepthInterval = 5;
    a.RecordingMode = RECMODE_TIME;
    a.ZNSModus_Rx1 = 1;
    a.ZNSModus_Rx2 = 1;
    a.ZNSModus_Rx3 = 0;
    a.GainRx1 = 6;
    a.GainRx2 = 12;
    a.GainRx3 = 18;
}

// The frames go to the program's own handlers; what they report is counted.
class StreamSink : public IFrameSink {
public:
    explicit StreamSink(CToolsStream& stream) : m_stream(stream) {}
    void OnStatusFrame(std::span<const uint8_t, 16> b) override {
        ++frames;
        m_stream.OnStatusFrame(b);
    }
    void OnConfigFrame(std::span<const uint8_t, 20> b) override {
        ++frames;
        m_stream.OnConfigFrame(b);
    }
    void OnWaveFrame(std::span<const uint8_t> b) override {
        ++frames;
        m_stream.OnWaveFrame(b);
    }
    int frames = 0;

private:
    CToolsStream& m_stream;
};

class RigReport : public NullLinkReport {
public:
    void OnNewFrame(const int16_t*, const int16_t*, const int16_t*, double) override { ++rows; }
    // The main window's link-status update shows the panel's status line.
    void OnLinkStatus(int) override {
        if (onLinkStatus) onLinkStatus();
    }
    void RecordingFailed(const std::string& m) override { failures.push_back(m); }
    int rows = 0;
    std::vector<std::string> failures;
    std::function<void()> onLinkStatus;
};

// A panel whose timers run on the virtual clock.
class VirtualPanel : public IPowerPanel {
public:
    VirtualPanel(zns::FakeClock& clock, SharedData& shared, SettingsData& settings)
        : m_clock(clock), m_shared(shared), m_settings(settings) {}

    void SetTimer(unsigned id, unsigned ms) override { due[id] = m_clock.NowSteadyMs() + ms; }
    void KillTimer(unsigned id) override { due.erase(id); }
    bool IsTimerSet(unsigned id) const override { return due.count(id) != 0; }
    bool SendCommand(int code) override {
        sends.push_back({code, m_clock.NowSteadyMs()});
        return QueueCommand(m_shared, code, static_cast<uint8_t>(zns::HoldSondeVoltage(m_settings.sondeDb.Voltage)));
    }
    int MessageBox(const std::string& text, unsigned type) override {
        boxes.push_back(text);
        return IDOK;
    }
    void Beep(unsigned, unsigned) override { ++beeps; }
    void SetStatusLine(const std::string& text, int cls) override {
        statusText = text;
        if (cls >= 0) statusClass = cls;
        statusHistory.push_back(text);
    }
    void SetStatusLineBlack() override { statusClass = STATUS_PLAIN; }
    void SetPowerIcon(int icon) override { powerIcon = icon; }
    void CloseRecordFile() override {
        if (recorder) recorder->CloseRecordFile();
    }
    void ResetAcquisition(bool) override { ++resets; }
    void StatusBarText(int part, const std::string& text) override { statusBar[part] = text; }
    void AcquisitionStateChanged() override { ++stateChanged; }
    void SetCounterBlink(int id, bool on) override { blink[id] = on; }
    void PressStopForPower() override { ++stops; }

    std::map<unsigned, int64_t> due;
    struct Send {
        int code;
        int64_t atMs;
    };
    std::vector<Send> sends;
    std::vector<std::string> boxes;
    std::vector<std::string> statusHistory;
    std::string statusText;
    int statusClass = -1;
    int powerIcon = 0;
    int beeps = 0;
    int resets = 0;
    int stops = 0;
    int stateChanged = 0;
    std::map<int, std::string> statusBar;
    std::map<int, bool> blink;
    CRecorder* recorder = nullptr;

    int Sent(int code) const {
        int n = 0;
        for (const auto& s : sends) n += s.code == code;
        return n;
    }

private:
    zns::FakeClock& m_clock;
    SharedData& m_shared;
    SettingsData& m_settings;
};

// Everything together: one virtual millisecond at a time, the command queue
// goes to the simulated logger, its answers through the receiver, then the
// panel's timers that are due fire.
class Rig {
public:
    explicit Rig(zns::sim::SimConfig cfg = {})
        : sim(clock, cfg),
          stream(shared, header, writer, Sources()),
          sink(stream),
          receiver(shared, sink),
          panel(clock, shared, settings),
          power(shared, settings, header, panel, &confirmed),
          recorder(shared, settings, header, writer, clock) {
        panel.recorder = &recorder;
        WorkingSettings(shared.settings);
        settings.sondeDb.SerialNumber = 1234;
        settings.sondeDb.RX_Number = 2;
        settings.sondeDb.Voltage = 90;
        zns::SetFixedField(settings.files.szDataFile, folder / "log.zne");
        zns::SetFixedField(settings.files.szLastFile, folder / "log.hed");
        header.LogMode = HEADER_LOG_TIME;
        report.onLinkStatus = [this] { power.ShowStatus(); };
        CToolsStream::FrameHooks hooks;
        hooks.report = &report;
        hooks.sendF1 = [this] {
            return QueueCommand(shared, CMD_1, static_cast<uint8_t>(settings.sondeDb.Voltage));
        };
        stream.SetFrameHooks(std::move(hooks));
    }

    // Whole records in the data file (all of one size: the trace lengths stay).
    int RecordsWritten() {
        const size_t size = zns::RecordSize(TraceLengthByte(shared.SnapshotSettings()));
        return static_cast<int>(writer.Size() / static_cast<int64_t>(size));
    }

    // The link comes up as the link watch and the receive thread bring it up:
    // command 0, then command 1, and frames flowing.
    void LinkUp() {
        shared.m_bLinkUp.store(true);
        shared.m_nLinkState.store(LINK_STATUS);
        QueueCommand(shared, CMD_0);
        QueueCommand(shared, CMD_1, static_cast<uint8_t>(settings.sondeDb.Voltage));
        Run(600);
    }

    void Pump() {
        std::vector<uint8_t> f;
        while (shared.txQueue.Front(f)) {
            sim.HostWrite(f.data(), f.size());
            shared.txQueue.PopFront();
        }
        uint8_t buf[4096];
        for (size_t n; (n = sim.HostRead(buf, sizeof buf)) > 0;) receiver.Feed(buf, n);
    }

    void FireDue() {
        for (;;) {
            const int64_t now = clock.NowSteadyMs();
            unsigned id = 0;
            int64_t best = 0;
            for (const auto& [tid, at] : panel.due)
                if (at <= now && (id == 0 || at < best)) {
                    id = tid;
                    best = at;
                }
            if (id == 0) return;
            panel.due.erase(id);
            if (id == ID_TIMER_DISPLAY) {
                lastView = power.DisplayTick(paused, &recorder);
                panel.SetTimer(ID_TIMER_DISPLAY, CPowerControl::kDisplayMs);
            } else {
                power.OnTimer(id);
            }
        }
    }

    void Run(int64_t ms) {
        for (int64_t i = 0; i < ms; ++i) {
            clock.Advance(1);
            Pump();
            FireDue();
        }
    }
    // Runs until `done` holds (checked each virtual ms), at most `limitMs`.
    template <class F>
    bool RunUntil(F done, int64_t limitMs) {
        for (int64_t i = 0; i < limitMs; ++i) {
            if (done()) return true;
            Run(1);
        }
        return done();
    }

    uint8_t SondeMode() { return static_cast<uint8_t>(shared.SnapshotSonde().Mode & 0x0F); }

    ToolsStreamSources Sources() {
        ToolsStreamSources s;
        s.dataFilePath = [this] { return zns::FixedFieldText(settings.files.szDataFile); };
        s.showError = [this](const std::string& t) { errors.push_back(t); };
        return s;
    }

    TempFolder folder;
    zns::FakeClock clock{1000};
    zns::sim::SimLogger sim;
    SharedData shared;
    SettingsData settings;
    HeaderRecord header;
    zns::DataFileWriter writer;
    std::vector<std::string> errors;
    CToolsStream stream;
    StreamSink sink;
    FrameReceiver receiver;
    RigReport report;
    VirtualPanel panel;
    std::atomic<bool> confirmed{false};
    CPowerControl power;
    CRecorder recorder;
    bool paused = false;
    PanelView lastView;
};

// Every record of a data file, in order; stops at the first that does not read.
inline std::vector<zns::DataFileRecord> ReadAllRecords(const std::string& path, zns::RecordStatus* last = nullptr) {
    std::vector<zns::DataFileRecord> out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    for (;;) {
        auto rec = std::make_unique<zns::DataFileRecord>();
        const zns::RecordStatus st = zns::ReadRecord(f, *rec);
        if (st != zns::RecordStatus::Ok) {
            if (last) *last = st;
            break;
        }
        out.push_back(*rec);
    }
    std::fclose(f);
    return out;
}

}  // namespace rectest
