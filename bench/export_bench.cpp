// The two log exports beside a plain sequential read of the same data file:
// a down log of 30,000 records with three 512-sample traces each (3100 bytes a
// record, about 93 MB), generated into a temporary folder at start and removed
// at the end. The LAS export writes every channel; the SEG-2 export takes
// "All" (16383 traces per receiver, three files). The read is timed twice:
// as plain 64 KB blocks and record by record as the exports decode and check
// them. The floor that durability sets for each export is timed too: the log
// read once, and the same output bytes written with one large write per file,
// then synced. After the runs the program prints each export's time as a
// multiple of each read's and of its floor.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "export/LasConversion.h"
#include "export/Seg2Export.h"
#include "link/ToolsStream.h"
#include "settings/Header.h"
#include "settings/Preferences.h"

namespace {

constexpr int kRecords = 30000;
constexpr int kSamples = 512;
constexpr int32_t kFirstDepthMm = 100000;
constexpr int32_t kStepMm = 50;

struct BenchLog {
    std::string dir;
    std::string data;
    std::string header;
    HeaderRecord record;
    bool ok = false;

    BenchLog() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zns_export_bench_XXXXXX";
        if (!::mkdtemp(pattern.data())) return;
        dir = pattern;
        data = dir + "/bench.zne";
        header = dir + "/bench.hed";
        ok = WriteHeader() && WriteData();
    }
    ~BenchLog() {
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
    BenchLog(const BenchLog&) = delete;
    BenchLog& operator=(const BenchLog&) = delete;

    bool WriteHeader() {
        record.LogMode = HEADER_LOG_DOWN;
        record.step = 5;
        record.SondeLength = 204;
        record.RXNumber = 3;
        record.OffsetRx1 = 50;
        record.OffsetRx2 = 100;
        record.OffsetRx3 = 150;
        record.OffsetGamma = 180;
        record.Natural_Gamma = TRUE;
        record.GammaCoef = 1.5;
        std::FILE* f = std::fopen(header.c_str(), "wb");
        if (!f) return false;
        const char text[] =
            "[General]\r\nSondeLength=204\r\nRXNumber=3\r\nOffsetRx1=50\r\nOffsetRx2=100\r\nOffsetRx3=150\r\n"
            "OffsetGamma=180\r\nGammaCoef=1.5\r\nNatural_Gamma=yes\r\n\r\n[WellInfo]\r\nCompany=Bench\r\n"
            "LogDatum=07 December 2026\r\nstep=5\r\nLogMode=12\r\n";
        const bool written = std::fwrite(text, 1, sizeof text - 1, f) == sizeof text - 1;
        return std::fclose(f) == 0 && written;
    }

    // Sonic-like traces: noise, then a decaying arrival that moves a little from record to record.
    bool WriteData() {
        std::FILE* f = std::fopen(data.c_str(), "wb");
        if (!f) return false;
        std::mt19937 rng(7);
        std::normal_distribution<double> noise(0.0, 150.0);
        std::vector<uint8_t> buf(zns::kRecordMaxBytes);
        bool written = true;
        for (int i = 0; i < kRecords && written; ++i) {
            zns::DataFileRecord r;
            r.depthMm = kFirstDepthMm + i * kStepMm;
            r.speed = static_cast<int16_t>(300 + i % 40);
            r.elapsedMs = static_cast<uint32_t>(i) * 100u;
            r.gamma = static_cast<uint16_t>(300 + i % 200);
            r.traceByte = 0x2A;  // code 2 for every receiver: 512 samples at 4 us
            for (int rx = 0; rx < 3; ++rx) {
                const double arrival = 60.0 + 20.0 * rx + (i % 11);
                r.travelTime[rx] = static_cast<uint16_t>(4 * arrival);
                r.gain[rx] = static_cast<uint8_t>(20 + rx);
                for (int s = 0; s < kSamples; ++s) {
                    double v = noise(rng);
                    if (s > arrival) v += 20000.0 * std::exp(-(s - arrival) / 60.0) * std::sin((s - arrival) * 0.35);
                    r.trace[rx][static_cast<size_t>(s)] =
                        static_cast<int16_t>(std::lround(std::fmax(-32767.0, std::fmin(32767.0, v))));
                }
            }
            const size_t n = zns::EncodeRecord(r, buf.data());
            written = std::fwrite(buf.data(), 1, n, f) == n;
        }
        return std::fclose(f) == 0 && written;
    }
};

BenchLog& Log() {
    static BenchLog log;
    return log;
}

void BM_SequentialRead(benchmark::State& state) {
    BenchLog& log = Log();
    if (!log.ok) return state.SkipWithError("the log could not be generated");
    std::vector<char> buf(1 << 16);
    int64_t bytes = 0;
    for (auto _ : state) {
        std::FILE* f = std::fopen(log.data.c_str(), "rb");
        if (!f) return state.SkipWithError("cannot open the log");
        size_t n = 0;
        unsigned sum = 0;
        while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
            sum += static_cast<unsigned char>(buf[n - 1]);
            bytes += static_cast<int64_t>(n);
        }
        std::fclose(f);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(bytes);
}

// The same file record by record, decoded and checked as the exports read it.
void BM_SequentialReadRecords(benchmark::State& state) {
    BenchLog& log = Log();
    if (!log.ok) return state.SkipWithError("the log could not be generated");
    for (auto _ : state) {
        std::FILE* f = std::fopen(log.data.c_str(), "rb");
        if (!f) return state.SkipWithError("cannot open the log");
        zns::DataFileRecord r;
        int records = 0;
        while (zns::ReadRecord(f, r) == zns::RecordStatus::Ok) ++records;
        std::fclose(f);
        if (records != kRecords) return state.SkipWithError("short read");
        benchmark::DoNotOptimize(r);
    }
}

void BM_ExportLas(benchmark::State& state) {
    BenchLog& log = Log();
    if (!log.ok) return state.SkipWithError("the log could not be generated");
    for (auto _ : state) {
        zns::LasConverter conv;
        conv.SetInput(log.data, log.dir + "/");
        if (conv.LoadLog(log.record) != zns::LasConverter::Load::Ok) return state.SkipWithError("load failed");
        conv.channels.speed = conv.channels.gamma = true;
        for (int rx = 0; rx < 3; ++rx) conv.channels.gain[rx] = conv.channels.travelTime[rx] = true;
        if (conv.GenerateFile() != zns::LasConverter::Result::Completed) return state.SkipWithError("export failed");
        benchmark::DoNotOptimize(conv.LinesWritten());
    }
}

void BM_ExportSeg2(benchmark::State& state) {
    BenchLog& log = Log();
    if (!log.ok) return state.SkipWithError("the log could not be generated");
    for (auto _ : state) {
        SettingsData settings;
        HeaderRecord header;
        double first = 0, last = 0, step = 0;
        zns::SetFixedField(settings.files.szProgramDir, log.dir + "/");
        zns::Seg2Exporter ex(settings, header, first, last, step, nullptr, {});  // no range dialog: "All"
        ex.ExportDataFile(log.data);
        if (ex.TracesWritten(2) != zns::kSeg2MaxTraces) return state.SkipWithError("export failed");
    }
}

// What each export writes, taken from one run of it.
std::vector<std::string> ExportOutput(bool las) {
    BenchLog& log = Log();
    std::vector<std::string> out;
    std::vector<std::string> paths;
    if (las) {
        zns::LasConverter conv;
        conv.SetInput(log.data, log.dir + "/");
        if (conv.LoadLog(log.record) != zns::LasConverter::Load::Ok) return out;
        conv.channels.speed = conv.channels.gamma = true;
        for (int rx = 0; rx < 3; ++rx) conv.channels.gain[rx] = conv.channels.travelTime[rx] = true;
        if (conv.GenerateFile() == zns::LasConverter::Result::Completed) paths.push_back(conv.outputPath);
    } else {
        SettingsData settings;
        HeaderRecord header;
        double first = 0, last = 0, step = 0;
        zns::SetFixedField(settings.files.szProgramDir, log.dir + "/");
        zns::Seg2Exporter ex(settings, header, first, last, step, nullptr, {});
        ex.ExportDataFile(log.data);
        for (int rx = 0; rx < 3; ++rx) paths.push_back(ex.OutputPath(rx));
    }
    for (const std::string& p : paths) {
        std::FILE* f = std::fopen(p.c_str(), "rb");
        if (!f) return {};
        std::string bytes(static_cast<size_t>(std::filesystem::file_size(p)), '\0');
        const bool read = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
        std::fclose(f);
        if (!read) return {};
        out.push_back(std::move(bytes));
    }
    return out;
}

void Floor(benchmark::State& state, bool las) {
    BenchLog& log = Log();
    const std::vector<std::string> outputs = log.ok ? ExportOutput(las) : std::vector<std::string>{};
    if (outputs.empty()) return state.SkipWithError("no export to measure against");
    std::vector<char> buf(1 << 16);
    for (auto _ : state) {
        std::FILE* in = std::fopen(log.data.c_str(), "rb");
        if (!in) return state.SkipWithError("cannot open the log");
        unsigned sum = 0;
        for (size_t n = 0; (n = std::fread(buf.data(), 1, buf.size(), in)) > 0;)
            sum += static_cast<unsigned char>(buf[n - 1]);
        std::fclose(in);
        benchmark::DoNotOptimize(sum);
        for (size_t i = 0; i < outputs.size(); ++i) {
            const std::string path = log.dir + "/floor" + std::to_string(i);
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            const bool done = fd >= 0 && ::write(fd, outputs[i].data(), outputs[i].size()) ==
                                             static_cast<ssize_t>(outputs[i].size()) && ::fsync(fd) == 0;
            if (fd >= 0) ::close(fd);
            if (!done) return state.SkipWithError("cannot write the floor's files");
        }
    }
}

void BM_FloorLas(benchmark::State& state) { Floor(state, true); }
void BM_FloorSeg2(benchmark::State& state) { Floor(state, false); }

BENCHMARK(BM_SequentialRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SequentialReadRecords)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportLas)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportSeg2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FloorLas)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FloorSeg2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The console report, keeping each benchmark's real time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // One run per benchmark, or the median of its repetitions.
        for (const Run& r : runs)
            if (!r.error_occurred && (r.run_type == Run::RT_Iteration || r.aggregate_name == "median"))
                times[r.run_name.function_name] = r.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;  // plain text: the ratios follow the table
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ratio = [&](const char* name, const char* base) {
        const auto it = reporter.times.find(name), read = reporter.times.find(base);
        if (it != reporter.times.end() && read != reporter.times.end() && read->second > 0)
            std::printf("%s / %s: %.2f\n", name, base, it->second / read->second);
    };
    for (const char* base : {"BM_SequentialRead", "BM_SequentialReadRecords"})
        for (const char* name : {"BM_ExportLas", "BM_ExportSeg2"}) ratio(name, base);
    ratio("BM_ExportLas", "BM_FloorLas");
    ratio("BM_ExportSeg2", "BM_FloorSeg2");
    benchmark::Shutdown();
    return 0;
}
