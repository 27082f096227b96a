#pragma once
// What the fault scenarios share: a folder per test, a report that records what
// the link tells the main window, and a logging rig that runs the simulated
// logger on virtual time into the reception machine, the frame handlers and a
// data file, on the test's thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/CommandFrames.h"
#include "link/FrameReceiver.h"
#include "link/LinkReport.h"
#include "records/SharedRecords.h"
#include "link/ToolsStream.h"
#include "platform/Clock.h"
#include "settings/Header.h"
#include "sim/SimLogger.h"

namespace faults {

using Bytes = std::vector<uint8_t>;

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zns-faults-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) != nullptr) m_path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

inline Bytes ReadBytes(const std::string& path) {
    Bytes b;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
        std::fclose(f);
    }
    return b;
}

inline void WriteBytes(const std::string& path, const Bytes& b) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!b.empty()) { ASSERT_EQ(std::fwrite(b.data(), 1, b.size(), f), b.size()); }
    std::fclose(f);
}

// Every whole record of a data file from its start, and how the reading ended.
struct FileScan {
    std::vector<Bytes> records;
    zns::RecordStatus end = zns::RecordStatus::Ok;
};
inline FileScan ScanFile(const std::string& path) {
    FileScan s;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) {
        s.end = zns::RecordStatus::IoError;
        return s;
    }
    for (;;) {
        zns::DataFileRecord r;
        size_t size = 0;
        s.end = zns::ReadRecord(f.get(), r, &size);
        if (s.end != zns::RecordStatus::Ok) return s;
        uint8_t enc[zns::kRecordMaxBytes];
        s.records.emplace_back(enc, enc + zns::EncodeRecord(r, enc));
    }
}

// Polls `done` until it holds or `realMs` of real time have passed.
inline bool WaitUntil(const std::function<bool()>& done, int realMs = 30000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Virtual time that the link's own waits move; with a speed-up each wait also
// takes a little real time, so that the threads interleave as they would.
class PacedClock : public zns::IClock {
public:
    int64_t NowSteadyMs() const override { return m_fake.NowSteadyMs(); }
    void SleepMs(int64_t ms) override {
        if (ms <= 0) return;
        if (const int k = m_speedup.load(); k > 0) std::this_thread::sleep_for(std::chrono::microseconds(ms * 1000 / k));
        m_fake.SleepMs(ms);
    }
    zns::LocalTime NowLocal() const override { return m_fake.NowLocal(); }
    void SetSpeedup(int k) { m_speedup.store(k); }

private:
    zns::FakeClock m_fake{0};
    std::atomic<int> m_speedup{0};
};

// What the main window would be told; any thread.
class Report : public NullLinkReport {
public:
    void OnNewFrame(const int16_t*, const int16_t*, const int16_t*, double depth) override {
        std::lock_guard<std::mutex> g(m_mu);
        m_rows.push_back(depth);
    }
    void RecordingFailed(const std::string& message) override {
        std::lock_guard<std::mutex> g(m_mu);
        m_failures.push_back(message);
        if (onFailure) onFailure(message);
    }
    void MessageBox(const std::string& text, LinkBoxIcon) override {
        std::lock_guard<std::mutex> g(m_mu);
        m_boxes.push_back(text);
    }
    void StatusBarText(int part, const std::string& text) override {
        std::lock_guard<std::mutex> g(m_mu);
        m_texts.emplace_back(part, text);
    }
    size_t Rows() const {
        std::lock_guard<std::mutex> g(m_mu);
        return m_rows.size();
    }
    std::vector<std::string> Failures() const {
        std::lock_guard<std::mutex> g(m_mu);
        return m_failures;
    }
    std::vector<std::string> Boxes() const {
        std::lock_guard<std::mutex> g(m_mu);
        return m_boxes;
    }
    std::function<void(const std::string&)> onFailure;  // called with the report's lock held

private:
    mutable std::mutex m_mu;
    std::vector<double> m_rows;
    std::vector<std::string> m_failures;
    std::vector<std::string> m_boxes;
    std::vector<std::pair<int, std::string>> m_texts;
};

// Settings of a logging session against the simulated logger (80 counts per cm,
// three receivers, picks on).
inline void LoggingSettings(AcquisitionSettings& s, int mode) {
    s.PulsResolution = 1000;
    s.PulleysCircumference = 5000;
    s.DepthFactor256 = DepthFactor256(s);
    s.DepthFactor = s.DepthFactor256 / 256.0;
    s.UpGain = 15;
    s.DownDrive = 27;
    s.BaudDivisor = 10;
    s.UpDrive = 20;
    s.GainRx1 = 6;
    s.GainRx2 = 12;
    s.GainRx3 = 18;
    s.ZNSModus_Rx1 = TLC_256_4US;
    s.ZNSModus_Rx2 = TLC_512_4US;
    s.ZNSModus_Rx3 = TLC_NONE;
    s.TimeInterval = 250;
    s.DepthInterval = 5;
    s.RecordingMode = mode;
    for (auto& fa : s.FA) fa = {4, 100, 1500, 1};
}

// The simulated logger feeding the reception machine and the frame handlers on
// the test's own thread: no link threads, every step on virtual time.
class LogRig : private IFrameSink {
public:
    explicit LogRig(zns::DataFileWriter::WriteFn write = {}, int mode = RECMODE_TIME)
        : writer(std::move(write)), receiver(shared, *this) {
        cfg.winchSpeedMpm = 6.0;
        cfg.winchDown = true;
        cfg.startDepthM = 100.0;
        logger = std::make_unique<zns::sim::SimLogger>(clock, cfg);
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            LoggingSettings(shared.settings, mode);
        }
        shared.m_bDownDirection = mode != RECMODE_UP;
        CToolsStream::FrameHooks hooks;
        hooks.report = &report;
        stream.SetFrameHooks(hooks);
        // Command 1, then command 8 in the chosen mode.
        AcquisitionSettings s = shared.SnapshotSettings();
        shared.m_pCmd1Frame = BuildCmd1(s, 90);
        Send(shared.m_pCmd1Frame.data(), shared.m_pCmd1Frame.size());
        const auto c8 = BuildCmd8(s, 90);
        Send(c8.data(), c8.size());
        Run(500);
    }
    ~LogRig() override = default;

    void Send(const uint8_t* p, size_t n) { logger->HostWrite(p, n); }

    // Lets `ms` of virtual time pass in 5 ms reads.
    void Run(int64_t ms) {
        uint8_t buf[512];
        for (int64_t t = 0; t < ms; t += 5) {
            clock.Advance(5);
            size_t n;
            while ((n = logger->HostRead(buf, sizeof buf)) > 0) receiver.OnRead(buf, n);
        }
    }
    // Runs until `done` or `maxMs` of virtual time.
    bool RunUntil(const std::function<bool()>& done, int64_t maxMs = 600000) {
        for (int64_t t = 0; t < maxMs; t += 50) {
            if (done()) return true;
            Run(50);
        }
        return done();
    }

    bool StartLog(const std::string& data, const std::string& hed = "") {
        if (!writer.Open(data, hed)) return false;
        shared.g_bFirstRecordPending = true;
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.Recording = 1;
        return true;
    }
    void StopLog() {
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            shared.session.Recording = 0;
        }
        writer.Close();
    }

    zns::FakeClock clock;
    zns::sim::SimConfig cfg;
    std::unique_ptr<zns::sim::SimLogger> logger;
    SharedData shared;
    HeaderRecord header;
    zns::DataFileWriter writer;
    Report report;
    CToolsStream stream{shared, header, writer, {}, clock};
    FrameReceiver receiver;

private:
    void OnStatusFrame(std::span<const uint8_t, 16> b) override { stream.OnStatusFrame(b); }
    void OnConfigFrame(std::span<const uint8_t, 20> b) override { stream.OnConfigFrame(b); }
    void OnWaveFrame(std::span<const uint8_t> b) override { stream.OnWaveFrame(b); }
};

}  // namespace faults
