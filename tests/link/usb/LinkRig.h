#pragma once
// A whole link: records, frame handlers, a recording data-file writer and CUSB,
// over a driver the test chooses. Records appended to the data file are also
// kept in memory so that a test can compare the file with what was written.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "LinkTestSupport.h"
#include "link/CommandFrames.h"
#include "link/Picker.h"
#include "link/ToolsStream.h"
#include "link/USB.h"
#include "settings/Preferences.h"

namespace linktest {

struct LinkRig {
    explicit LinkRig(zns::IClock& clk) : clock(clk) {
        AcquisitionSettings& s = shared.settings;
        s.PulsResolution = 1000;
        s.PulleysCircumference = 5000;  // 80 counts per cm, as the simulated wheel
        s.DepthFactor256 = DepthFactor256(s);
        s.DepthFactor = s.DepthFactor256 / 256.0;
        s.CableType = 0;
        s.UpGain = 15;
        s.DownDrive = 27;
        s.BaudDivisor = 10;
        s.UpDrive = 20;
        s.GainRx1 = 6;
        s.GainRx2 = 12;
        s.GainRx3 = 18;
        s.ZNSModus_Rx1 = s.ZNSModus_Rx2 = s.ZNSModus_Rx3 = TLC_256_4US;
        s.TimeInterval = 500;
        s.DepthInterval = 5;
        s.RecordingMode = RECMODE_TIME;
        // Threshold 4: samples of 255 and more, well above the noise at these gains.
        for (auto& fa : s.FA) fa = {4, 100, 1500, 1};
        settings.sondeDb.Voltage = 90;
    }
    ~LinkRig() {
        if (usb) usb->Shutdown();
    }

    void Make(std::function<zns::d2xx::LoadResult()> load) {
        CUSB::Options o;
        o.loadDriver = std::move(load);
        o.errorLog = [this](const std::string& k, const std::string& t) { errors.Write(k, t); };
        o.clock = &clock;
        usb = std::make_unique<CUSB>(shared, stream, report, &settings, o);
    }

    // Settings change as a page makes it: under the lock.
    template <class F>
    void Settings(F f) {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        f(shared.settings);
    }
    void SetRecording(bool on) {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.Recording = on ? 1 : 0;
    }

    bool StartLog(const std::string& data, const std::string& hed) {
        if (!writer.Open(data, hed)) return false;
        shared.g_bFirstRecordPending = true;
        SetRecording(true);
        return true;
    }
    void StopLog() {
        SetRecording(false);
        writer.Close();
        writer.HeaderKeys().Flush();  // the header keys land on the writer's thread
    }

    size_t AppendedCount() const {
        std::lock_guard<std::mutex> g(appendMu);
        return appended.size();
    }
    std::vector<Bytes> Appended() const {
        std::lock_guard<std::mutex> g(appendMu);
        return appended;
    }

    zns::IClock& clock;
    SharedData shared;
    SettingsData settings;
    HeaderRecord header;
    mutable std::mutex appendMu;
    std::vector<Bytes> appended;
    std::atomic<int> writeStallMs{0};  // each record write holds the receive thread this long (a slow disk)
    zns::DataFileWriter writer{[this](int fd, const void* p, size_t n) -> ssize_t {
        if (writeStallMs > 0) clock.SleepMs(writeStallMs);
        const ssize_t w = ::write(fd, p, n);
        if (w > 0) {
            std::lock_guard<std::mutex> g(appendMu);
            appended.emplace_back(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + w);
        }
        return w;
    }};
    CToolsStream stream{shared, header, writer, {}, clock};
    RecordingReport report{&shared};
    ErrorLogSink errors;
    std::unique_ptr<CUSB> usb;
};

// Reads a data file back record for record and checks it against what was
// appended and against the rows shown: same bytes, same depths, same traces,
// picks that the settings give for those traces.
inline void ExpectLogReadsBack(const LinkRig& rig, const std::string& path, int direction /* +1 down, -1 up, 0 time */) {
    const auto appended = rig.Appended();
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    ASSERT_TRUE(f);
    const AcquisitionSettings set = rig.shared.SnapshotSettings();
    const auto rows = rig.report.Rows();
    size_t i = 0;
    size_t rowAt = 0;
    zns::DataFileRecord prev;
    for (;; ++i) {
        zns::DataFileRecord r;
        size_t size = 0;
        const zns::RecordStatus st = zns::ReadRecord(f.get(), r, &size);
        if (st == zns::RecordStatus::EndOfFile) break;
        ASSERT_EQ(st, zns::RecordStatus::Ok) << "record " << i;
        ASSERT_LT(i, appended.size());
        // The bytes on disk are the bytes written.
        uint8_t enc[zns::kRecordMaxBytes];
        ASSERT_EQ(zns::EncodeRecord(r, enc), size);
        ASSERT_EQ(Bytes(enc, enc + size), appended[i]) << "record " << i;

        // Each record is a row that was shown, in order.
        while (rowAt < rows.size() &&
               static_cast<int32_t>(std::trunc(rows[rowAt].depth * 1000.0)) != r.depthMm)
            ++rowAt;
        ASSERT_LT(rowAt, rows.size()) << "no row at " << r.depthMm << " mm";
        const auto& row = rows[rowAt++];
        for (int rx = 0; rx < 3; ++rx) {
            ASSERT_EQ(static_cast<size_t>(r.SampleCount(rx)), row.trace[rx].size());
            for (int s = 0; s < r.SampleCount(rx); ++s) ASSERT_EQ(r.trace[rx][size_t(s)], row.trace[rx][size_t(s)]);
            const int code = r.Code(rx);
            const uint16_t pick =
                code ? PickTravelTime(set, r.trace[rx].data(), TraceBytesForCode(code), SampleStepUsForCode(code), rx + 1)
                     : kNoPick;
            EXPECT_EQ(r.travelTime[rx], pick) << "record " << i << " rx " << rx + 1;
        }
        if (i > 0) {
            EXPECT_GE(r.elapsedMs, prev.elapsedMs);
            if (direction > 0) {
                EXPECT_GT(r.depthMm, prev.depthMm);
            } else if (direction < 0) {
                EXPECT_LT(r.depthMm, prev.depthMm);
            }
        }
        prev = r;
    }
    EXPECT_EQ(i, appended.size());
}

}  // namespace linktest
