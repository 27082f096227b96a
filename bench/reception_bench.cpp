// Reception state machine plus dispatch on a realistic logger stream: waveform
// frames of three 512-sample traces with a status frame after each, fed in the
// 24-byte reads of the receive thread. The link's fastest rate is 156250 baud,
// about 15.6 kB/s; the machine has to keep far ahead of it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "link/Checksums.h"
#include "link/FrameReceiver.h"
#include "records/SharedRecords.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Close(Bytes& body) {
    const uint16_t s = Sum16(body.data(), body.size());
    body.push_back(static_cast<uint8_t>(s & 0xFF));
    body.push_back(static_cast<uint8_t>(s >> 8));
    body.push_back(0x99);
}

void AppendFramed(Bytes& out, int seq, const Bytes& body) {
    const int total = static_cast<int>(body.size()) + 7;
    const uint8_t head[7] = {0x55, 0xAA, 0x5A, 0xA5, static_cast<uint8_t>(seq), static_cast<uint8_t>(total & 0xFF),
                             static_cast<uint8_t>(total >> 8)};
    out.insert(out.end(), head, head + 7);
    out.insert(out.end(), body.begin(), body.end());
}

Bytes MakeStream(int pairs) {
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0.0, 150.0);
    Bytes out;
    int seq = 0;
    for (int f = 0; f < pairs; ++f) {
        Bytes wave(22, 0);
        wave[0] = 11;
        wave[3] = 10;
        wave[4] = 1;
        wave[21] = 0x2A;  // code 2 for Rx1..Rx3: 512 samples at 4 µs each
        for (int rx = 0; rx < 3; ++rx) {
            const double arrival = 80.0 + 25.0 * rx + (f % 7);
            for (int i = 0; i < 512; ++i) {
                double v = noise(rng);
                if (i > arrival) v += 20000.0 * std::exp(-(i - arrival) / 60.0) * std::sin((i - arrival) * 0.35);
                const int16_t s = static_cast<int16_t>(std::lround(std::fmax(-32767.0, std::fmin(32767.0, v))));
                wave.push_back(static_cast<uint8_t>(s & 0xFF));
                wave.push_back(static_cast<uint8_t>((static_cast<uint16_t>(s) >> 8) & 0xFF));
            }
        }
        wave.push_back(0);
        wave.push_back(0);
        wave.push_back(1);  // frame status
        Close(wave);
        AppendFramed(out, seq++ & 0xFF, wave);

        Bytes status(14, 0);
        status[0] = 11;
        status[5] = static_cast<uint8_t>(f);
        status[13] = 1;
        Close(status);
        AppendFramed(out, seq++ & 0xFF, status);
    }
    return out;
}

class CountingSink : public IFrameSink {
public:
    void OnStatusFrame(std::span<const uint8_t, 16> b) override { touched += b[13]; ++frames; }
    void OnConfigFrame(std::span<const uint8_t, 20> b) override { touched += b[0]; ++frames; }
    void OnWaveFrame(std::span<const uint8_t> b) override { touched += b[b.size() - 3]; ++frames; }
    void OnStatusText(int part, const std::string& text) override { touched += text.size(); }
    uint64_t touched = 0;
    int64_t frames = 0;
};

void Run(benchmark::State& state, size_t readSize) {
    const Bytes stream = MakeStream(200);
    SharedData shared;
    CountingSink sink;
    FrameReceiver rx(shared, sink);
    int64_t bytes = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < stream.size(); i += readSize) {
            const size_t n = std::min(readSize, stream.size() - i);
            rx.OnRead(stream.data() + i, n);
        }
        bytes += static_cast<int64_t>(stream.size());
        benchmark::DoNotOptimize(sink.touched);
    }
    if (sink.frames != 400 * static_cast<int64_t>(state.iterations())) state.SkipWithError("frames lost");
    state.SetBytesProcessed(bytes);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(sink.frames), benchmark::Counter::kIsRate);
}

void BM_Reception24ByteReads(benchmark::State& state) { Run(state, FrameReceiver::kReadBlock); }
void BM_Reception4KReads(benchmark::State& state) { Run(state, 4096); }

}  // namespace

BENCHMARK(BM_Reception24ByteReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reception4KReads)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
