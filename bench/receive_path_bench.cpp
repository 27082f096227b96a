// The receive path from the logger's bytes to records on disk: 24-byte reads
// through frame reassembly, the frame handlers (picks, rows) and the data-file
// writer. The byte stream is a minute of the simulated logger at the fastest
// baud (divisor 4, 156250 baud), made once before timing.
//
// Counters: frames/s and bytes/s of processing, and cpu_ms_per_live_s, the CPU
// time this path costs per second of live acquisition at that baud.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "link/CommandFrames.h"
#include "link/FrameReceiver.h"
#include "link/LinkReport.h"
#include "link/ToolsStream.h"
#include "platform/Clock.h"
#include "sim/SimLogger.h"

namespace {

constexpr int kLiveSeconds = 60;

struct Stream {
    std::vector<uint8_t> bytes;
    double liveSeconds = 0.0;
};

AcquisitionSettings Settings(int mode) {
    AcquisitionSettings s;
    s.PulsResolution = 1000;
    s.PulleysCircumference = 5000;
    s.UpGain = 18;
    s.DownDrive = 27;
    s.BaudDivisor = 4;  // 156250 baud
    s.UpDrive = 16;
    s.GainRx1 = 6;
    s.GainRx2 = 12;
    s.GainRx3 = 18;
    s.ZNSModus_Rx1 = s.ZNSModus_Rx2 = s.ZNSModus_Rx3 = TLC_512_4US;  // the longest frames
    s.TimeInterval = 250;
    s.DepthInterval = 5;
    s.RecordingMode = mode;
    for (auto& fa : s.FA) fa = {4, 100, 1500, 1};
    return s;
}

// A minute of what the logger sends after command 1 and command 8.
Stream MakeStream(int mode) {
    zns::FakeClock clock(0);
    zns::sim::SimConfig cfg;
    cfg.fastestBaudDivisor = 4;
    cfg.winchSpeedMpm = 18.0;  // the link's limit for 5 cm at this frame size
    cfg.winchDown = mode != RECMODE_UP;
    zns::sim::SimLogger logger(clock, cfg);
    AcquisitionSettings s = Settings(mode);
    const auto c1 = BuildCmd1(s, 90);
    logger.HostWrite(c1.data(), c1.size());
    const auto c8 = BuildCmd8(s, 90);
    logger.HostWrite(c8.data(), c8.size());

    Stream out;
    uint8_t buf[4096];
    for (int ms = 0; ms < kLiveSeconds * 1000; ++ms) {
        clock.Advance(1);
        size_t n;
        while ((n = logger.HostRead(buf, sizeof buf)) > 0) out.bytes.insert(out.bytes.end(), buf, buf + n);
    }
    out.liveSeconds = kLiveSeconds;
    return out;
}

const Stream& StreamFor(int mode) {
    static const Stream time = MakeStream(RECMODE_TIME);
    static const Stream down = MakeStream(RECMODE_DOWN);
    return mode == RECMODE_TIME ? time : down;
}

class Sink : public IFrameSink {
public:
    explicit Sink(CToolsStream& s) : m_s(s) {}
    void OnStatusFrame(std::span<const uint8_t, 16> b) override { m_s.OnStatusFrame(b); }
    void OnConfigFrame(std::span<const uint8_t, 20> b) override { m_s.OnConfigFrame(b); }
    void OnWaveFrame(std::span<const uint8_t> b) override { m_s.OnWaveFrame(b); }

private:
    CToolsStream& m_s;
};

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

void ReceivePath(benchmark::State& state, int mode, bool recording) {
    const Stream& stream = StreamFor(mode);
    const std::string path = "/tmp/zns_receive_bench_" + std::to_string(::getpid()) + ".zne";

    SharedData shared;
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings = Settings(mode);
        BuildCmd1(shared.settings, 90);  // the depth factor, and the command the answer echoes
        shared.m_pCmd1Frame = BuildCmd1(shared.settings, 90);
        shared.session.Recording = recording ? 1 : 0;
    }
    shared.m_bDownDirection = mode != RECMODE_UP;
    HeaderRecord header;
    zns::FakeClock clock(0);
    zns::DataFileWriter writer;
    CToolsStream tools(shared, header, writer, {}, clock);
    NullLinkReport report;
    tools.SetFrameHooks({&report, [] { return true; }});
    Sink sink(tools);
    FrameReceiver receiver(shared, sink);

    double cpu = 0.0, live = 0.0;
    int64_t frames = 0, bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::remove(path.c_str());
        if (recording && !writer.Open(path, "")) {
            state.SkipWithError("cannot open the data file");
            break;
        }
        receiver.Reset();
        receiver.ResetPacketCount();
        state.ResumeTiming();

        const double c0 = ThreadCpuSeconds();
        const uint8_t* p = stream.bytes.data();
        size_t left = stream.bytes.size();
        while (left > 0) {
            const size_t n = left < FrameReceiver::kReadBlock ? left : FrameReceiver::kReadBlock;
            receiver.OnRead(p, n);
            p += n;
            left -= n;
        }
        writer.Close();
        cpu += ThreadCpuSeconds() - c0;
        live += stream.liveSeconds;
        frames += receiver.PacketCount();
        bytes += static_cast<int64_t>(stream.bytes.size());
    }
    std::remove(path.c_str());
    state.SetBytesProcessed(bytes);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_live_s"] = live > 0.0 ? 1000.0 * cpu / live : 0.0;
    state.counters["records_MB"] = static_cast<double>(writer.Size()) / 1e6;
}

void BM_ReceiveTimeModeRecording(benchmark::State& st) { ReceivePath(st, RECMODE_TIME, true); }
void BM_ReceiveDepthModeRecording(benchmark::State& st) { ReceivePath(st, RECMODE_DOWN, true); }
void BM_ReceiveTimeModeDisplayOnly(benchmark::State& st) { ReceivePath(st, RECMODE_TIME, false); }

}  // namespace

BENCHMARK(BM_ReceiveTimeModeRecording)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveDepthModeRecording)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveTimeModeDisplayOnly)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
