#pragma once
// Test doubles and frame builders for the link tests.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/LinkReport.h"
#include "records/SharedRecords.h"
#include "platform/Clock.h"

namespace linktest {

using Bytes = std::vector<uint8_t>;

// Records every report; safe to call from the link's threads while a test reads.
class RecordingReport : public ILinkReport {
public:
    struct Row {
        double depth = 0.0;
        std::vector<int16_t> trace[3];
    };

    explicit RecordingReport(SharedData* shared = nullptr) : m_shared(shared) {}

    void StatusBarText(int part, const std::string& text) override {
        std::lock_guard<std::mutex> g(m_mu);
        texts.emplace_back(part, text);
    }
    void OnLinkStatus(int code) override {
        std::lock_guard<std::mutex> g(m_mu);
        ++linkStatus[code];
    }
    void ShowAlert(int code) override {
        std::lock_guard<std::mutex> g(m_mu);
        alerts.push_back(code);
    }
    void OnNewFrame(const int16_t* rx1, const int16_t* rx2, const int16_t* rx3, double depth) override {
        Row row;
        row.depth = depth;
        if (m_shared) {
            // Valid samples follow SondeStatus, which only the calling thread writes.
            const SondeStatus s = m_shared->SnapshotSonde();
            const int16_t* t[3] = {rx1, rx2, rx3};
            for (int rx = 0; rx < 3; ++rx) row.trace[rx].assign(t[rx], t[rx] + s.TraceBytes[rx] / 2);
        }
        std::lock_guard<std::mutex> g(m_mu);
        rows.push_back(std::move(row));
    }
    void MessageBox(const std::string& text, LinkBoxIcon) override {
        std::lock_guard<std::mutex> g(m_mu);
        boxes.push_back(text);
        textsAtBox.push_back(texts.size());
    }
    void Beep(int hz, int ms) override {
        std::lock_guard<std::mutex> g(m_mu);
        beeps.emplace_back(hz, ms);
    }
    void PowerOffLostLink() override {
        std::lock_guard<std::mutex> g(m_mu);
        ++powerOffs;
    }
    void ResetStatusTick() override {
        std::lock_guard<std::mutex> g(m_mu);
        ++statusTickResets;
    }
    void LoggerIdentity(const std::string& d, const std::string& s) override {
        std::lock_guard<std::mutex> g(m_mu);
        identity = {d, s};
    }
    void RecordingFailed(const std::string& message) override {
        std::lock_guard<std::mutex> g(m_mu);
        failures.push_back(message);
    }

    // Copies, taken under the lock.
    template <class F>
    auto With(F f) const {
        std::lock_guard<std::mutex> g(m_mu);
        return f(*this);
    }
    int LinkStatusCount(int code) const {
        return With([code](const RecordingReport& r) {
            auto it = r.linkStatus.find(code);
            return it == r.linkStatus.end() ? 0 : it->second;
        });
    }
    size_t RowCount() const { return With([](const RecordingReport& r) { return r.rows.size(); }); }
    std::vector<Row> Rows() const { return With([](const RecordingReport& r) { return r.rows; }); }
    std::vector<std::string> Boxes() const { return With([](const RecordingReport& r) { return r.boxes; }); }
    std::vector<std::string> TextsOf(int part) const {
        return With([part](const RecordingReport& r) {
            std::vector<std::string> out;
            for (const auto& [p, t] : r.texts)
                if (p == part) out.push_back(t);
            return out;
        });
    }
    std::string LastTextOf(int part) const {
        auto v = TextsOf(part);
        return v.empty() ? std::string() : v.back();
    }
    int PowerOffs() const { return With([](const RecordingReport& r) { return r.powerOffs; }); }
    std::vector<std::pair<int, int>> Beeps() const { return With([](const RecordingReport& r) { return r.beeps; }); }
    std::vector<int> Alerts() const { return With([](const RecordingReport& r) { return r.alerts; }); }
    std::vector<std::string> Failures() const { return With([](const RecordingReport& r) { return r.failures; }); }
    void ClearRows() {
        std::lock_guard<std::mutex> g(m_mu);
        rows.clear();
    }

    std::vector<std::pair<int, std::string>> texts;
    std::map<int, int> linkStatus;
    std::vector<int> alerts;
    std::vector<Row> rows;
    std::vector<std::string> boxes;
    std::vector<size_t> textsAtBox;  // status-bar texts written before each box
    std::vector<std::pair<int, int>> beeps;
    int powerOffs = 0;
    int statusTickResets = 0;
    std::pair<std::string, std::string> identity;
    std::vector<std::string> failures;

private:
    SharedData* m_shared;
    mutable std::mutex m_mu;
};

// Error-log entries (key, text).
class ErrorLogSink {
public:
    void Write(const std::string& key, const std::string& text) {
        std::lock_guard<std::mutex> g(m_mu);
        m_entries.emplace_back(key, text);
    }
    std::vector<std::pair<std::string, std::string>> Entries() const {
        std::lock_guard<std::mutex> g(m_mu);
        return m_entries;
    }

private:
    mutable std::mutex m_mu;
    std::vector<std::pair<std::string, std::string>> m_entries;
};

// ---- answer bodies with correct sums ------------------------------------------------

inline void Put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v & 0xFF);
    b[at + 1] = uint8_t(v >> 8);
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
inline uint16_t SumOf(const Bytes& b, size_t from, size_t to) {
    unsigned s = 0;
    for (size_t i = from; i < to; ++i) s += b[i];
    return uint16_t(s & 0xFFFF);
}

struct StatusFields {
    uint8_t mode = 0;
    uint8_t upGain = 5, downDrive = 6;
    uint16_t step = 0;
    int32_t counter = 0;
    int16_t rate = 0;
    uint8_t value1 = 0, value2 = 0;
    uint8_t status = 1;
};

inline Bytes StatusBody(const StatusFields& f) {
    Bytes b(16, 0);
    b[0] = f.mode;
    b[1] = f.upGain;
    b[2] = f.downDrive;
    Put16(b, 3, f.step);
    Put32(b, 5, uint32_t(f.counter));
    Put16(b, 9, uint16_t(f.rate));
    b[11] = f.value1;
    b[12] = f.value2;
    b[13] = f.status;
    Put16(b, 14, SumOf(b, 0, 14));
    return b;
}

struct ConfigFields {
    uint8_t mode = 0;
    uint16_t c1500 = 1500, scale = 20480;
    uint8_t voltage = 90, upGain = 5, downDrive = 6;
    uint16_t step = 0;
    int32_t counter = 0;
    int16_t rate = 0;
    uint8_t value1 = 0, value2 = 0;
};

inline Bytes ConfigBody(const ConfigFields& f) {
    Bytes b(20, 0);
    b[0] = f.mode;
    Put16(b, 1, f.c1500);
    Put16(b, 3, f.scale);
    b[5] = f.voltage;
    b[6] = f.upGain;
    b[7] = f.downDrive;
    Put16(b, 8, f.step);
    Put32(b, 10, uint32_t(f.counter));
    Put16(b, 14, uint16_t(f.rate));
    b[16] = f.value1;
    b[17] = f.value2;
    Put16(b, 18, SumOf(b, 0, 18));
    return b;
}

struct WaveFields {
    uint8_t mode = 12;
    uint8_t upGain = 5, downDrive = 6;
    uint8_t stepCm = 0, stepCount = 0;
    int32_t counter = 0;
    int16_t rate = 0;
    uint8_t value1 = 0, value2 = 0;
    uint16_t gamma = 0;
    uint8_t gain[3] = {0, 0, 0};
    uint8_t baud = 10, upDrive = 6;
    uint8_t traceByte = 0;
    uint8_t status = 1;
    // Sample i of receiver rx; unset gives zeros.
    std::function<int16_t(int rx, int i)> sample;
};

inline int TraceBytesOf(uint8_t traceByte, int rx) {
    const int c = (traceByte >> (2 * rx)) & 3;
    return c == 0 ? 0 : c == 1 ? 512 : 1024;
}

// Head, traces, tail (without the end byte), as dispatched.
inline Bytes WaveBody(const WaveFields& f) {
    int total = 0;
    for (int rx = 0; rx < 3; ++rx) total += TraceBytesOf(f.traceByte, rx);
    Bytes b(size_t(22 + total + 5), 0);
    b[0] = f.mode;
    b[1] = f.upGain;
    b[2] = f.downDrive;
    b[3] = f.stepCm;
    b[4] = f.stepCount;
    Put32(b, 5, uint32_t(f.counter));
    Put16(b, 9, uint16_t(f.rate));
    b[11] = f.value1;
    b[12] = f.value2;
    Put16(b, 13, f.gamma);
    for (int rx = 0; rx < 3; ++rx) b[size_t(15 + rx)] = f.gain[rx];
    b[19] = f.baud;
    b[20] = f.upDrive;
    b[21] = f.traceByte;
    size_t at = 22;
    for (int rx = 0; rx < 3; ++rx) {
        const int n = TraceBytesOf(f.traceByte, rx) / 2;
        for (int i = 0; i < n; ++i, at += 2) Put16(b, at, uint16_t(f.sample ? f.sample(rx, i) : 0));
    }
    b[at + 2] = f.status;
    Put16(b, at + 3, SumOf(b, 0, at + 3));
    return b;
}

// Virtual time that may be held to a pace: each sleep also waits 1/speedup of
// its length in real time (0: no real wait at all), so that a test can act
// between two rounds of the link watch.
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

// ---- files and waiting ----------------------------------------------------------------

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zns-link-XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        const char* d = ::mkdtemp(buf.data());
        m_path = d ? d : "";
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

// Polls `done` until it holds or `realMs` of real time have passed.
inline bool WaitUntil(const std::function<bool()>& done, int realMs = 20000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace linktest
