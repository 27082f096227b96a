// The receive path over the libftdi backend at the link's real byte rate: CUSB and its
// threads, the libftdi backend linked against the stand-in chip (sim/ftdi/StandInFtdi.h)
// whose serial side is the simulated logger, all on the real clock. An Up
// log at 10 m/min with a 5 cm step: the logger makes a record every 300 ms when the
// link can carry it.
//
// The program records the log to a data file; with a stall, each record's write holds
// the receive thread 150 ms (a card under writeback pressure).
//
// Counters: logger_ms_per_record, the logger's own cadence over the run;
// ms_between_records and max_ms_between, the cadence at which the program shows them;
// lag_m, how far the depth shown trails the sonde at the end; lost_bytes, bytes the chip
// dropped while the device was open; max_ms_unread, the longest time the chip had no
// transfer pending; loss_reports, receive losses the driver told the error log.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/ftdi/StandInFtdi.h"
#include "link/CommandFrames.h"
#include "link/LinkReport.h"
#include "link/ToolsStream.h"
#include "link/USB.h"
#include "sim/SimLogger.h"

namespace {

constexpr int kMeasureMs = 6000;

class RowTimes : public NullLinkReport {
public:
    void OnNewFrame(const int16_t*, const int16_t*, const int16_t*, double) override {
        std::lock_guard<std::mutex> g(mu);
        at.push_back(zns::DefaultClock().NowSteadyMs());
    }
    std::vector<int64_t> Since(int64_t t0) {
        std::lock_guard<std::mutex> g(mu);
        std::vector<int64_t> r;
        for (int64_t t : at)
            if (t >= t0) r.push_back(t);
        return r;
    }
    std::mutex mu;
    std::vector<int64_t> at;
};

bool WaitFor(const std::function<bool()>& ok, int ms) {
    for (int i = 0; i < ms / 5 && !ok(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return ok();
}

void UpLog(benchmark::State& state) {
    const int divisor = static_cast<int>(state.range(0));
    const int stallMs = static_cast<int>(state.range(1));
    char dirName[] = "/tmp/zns-ftdi-bench-XXXXXX";
    if (!::mkdtemp(dirName)) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const std::string dir = dirName;
    zns::IClock& clock = zns::DefaultClock();
    zns::sim::ftdi::Reset(clock);
    zns::sim::SimConfig cfg;
    cfg.winchSpeedMpm = 10.0;
    cfg.winchDown = false;
    cfg.fastestBaudDivisor = 4;
    zns::sim::SimLogger logger(clock, cfg);
    auto chip = std::make_shared<zns::sim::ftdi::Chip>();
    chip->baud = 625000 / divisor;
    chip->loggerRead = [&](uint8_t* p, size_t n) { return logger.HostRead(p, n); };
    chip->loggerWrite = [&](const uint8_t* p, size_t n) { logger.HostWrite(p, n); };
    zns::sim::ftdi::Plug(chip);

    SharedData shared;
    {
        AcquisitionSettings& s = shared.settings;
        s.PulsResolution = 1000;
        s.PulleysCircumference = 5000;
        s.DepthFactor256 = DepthFactor256(s);
        s.DepthFactor = s.DepthFactor256 / 256.0;
        s.UpGain = 15;
        s.DownDrive = 27;
        s.BaudDivisor = static_cast<uint8_t>(divisor);
        s.UpDrive = 20;
        s.GainRx1 = 6;
        s.GainRx2 = 12;
        s.GainRx3 = 18;
        s.ZNSModus_Rx1 = s.ZNSModus_Rx2 = s.ZNSModus_Rx3 = TLC_256_4US;
        s.DepthInterval = 5;
        s.RecordingMode = RECMODE_UP;
        for (auto& fa : s.FA) fa = {4, 100, 1500, 1};
    }
    shared.m_bDownDirection = false;
    SettingsData settings;
    settings.sondeDb.Voltage = 90;
    HeaderRecord header;
    zns::DataFileWriter writer([stallMs](int fd, const void* p, size_t n) -> ssize_t {
        if (stallMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
        return ::write(fd, p, n);
    });
    CToolsStream tools(shared, header, writer, {}, clock);
    RowTimes report;
    CUSB::Options opts;
    opts.loadDriver = [] {
        zns::d2xx::LoadResult r;
        r.driver = zns::d2xx::MakeFtdiDriver();
        return r;
    };
    std::atomic<int> lossReports{0};
    opts.errorLog = [&](const std::string& key, const std::string&) {
        lossReports += key == "err1053" || key == "err1054";
    };
    CUSB usb(shared, tools, report, &settings, opts);

    for (auto _ : state) {
        if (!usb.Init() || !WaitFor([&] { return shared.SnapshotSonde().Echo1500 == 1500; }, 10000)) {
            state.SkipWithError("the link did not come up");
            break;
        }
        shared.m_bSondePowered = true;
        usb.sendF8();
        if (!WaitFor([&] { return logger.Snapshot().mode == 10; }, 5000)) {
            state.SkipWithError("the logger did not start the Up log");
            break;
        }
        if (!writer.Open(dir + "/up.zne", dir + "/up.hed")) {
            state.SkipWithError("the data file did not open");
            break;
        }
        shared.g_bFirstRecordPending = true;
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            shared.session.Recording = 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // settle
        chip->ResetObservations();
        lossReports = 0;
        const int64_t t0 = clock.NowSteadyMs();
        const uint64_t made0 = logger.Snapshot().waveFrames;
        std::this_thread::sleep_for(std::chrono::milliseconds(kMeasureMs));
        const zns::sim::SimSnapshot end = logger.Snapshot();
        const double shown = shared.SnapshotLive().Depth;
        const std::vector<int64_t> rows = report.Since(t0);
        state.counters["lost_bytes"] = static_cast<double>(chip->overrun.load());
        state.counters["max_ms_unread"] = chip->LongestIdleMs();
        state.counters["loss_reports"] = lossReports.load();
        usb.Shutdown();
        writer.Close();

        const double made = static_cast<double>(end.waveFrames - made0);
        state.counters["logger_ms_per_record"] = made > 0 ? kMeasureMs / made : 0.0;
        // Rows shown together (the depth stepped by more than one interval) came with one frame.
        int64_t maxGap = 0, frames = 0;
        for (size_t i = 1; i < rows.size(); ++i) {
            maxGap = std::max(maxGap, rows[i] - rows[i - 1]);
            frames += rows[i] - rows[i - 1] > 1;
        }
        state.counters["ms_between_records"] =
            frames > 0 ? static_cast<double>(rows.back() - rows.front()) / static_cast<double>(frames) : 0.0;
        state.counters["max_ms_between"] = static_cast<double>(maxGap);
        state.counters["lag_m"] = shown - end.trueDepthM;
    }
    usb.Shutdown();
    writer.Close();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace

// Divisor 4 is 156 kbaud, 10 is 62.5 kbaud, 20 is 31.25 kbaud; no stall, or 150 ms per record.
BENCHMARK(UpLog)
    ->ArgNames({"divisor", "stall_ms"})
    ->ArgsProduct({{4, 10, 20}, {0, 150}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
