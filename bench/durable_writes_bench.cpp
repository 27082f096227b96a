// Durable writes on a slow disk: every sync of a file or a folder takes 20 ms
// here (an SD card or a busy disk), through the program's own sync seam.
//
// RecordWrite/*: the receive path appends records while the header keys of the
// running log are written at the same time ("Startdepth" of the first record,
// "EndDepth" from the GUI side, posted every 50 ms: far more often than the
// recorder does) and the data file is synced about once a second. Counters:
// the longest and the mean time one record write took, the header files
// written and the syncs of the data file meanwhile. The variant
// "HeaderUnderWriterLock" writes each header key under the record writer's
// lock, as the recorder used to, for comparison.
//
// PdfPage/*: one printed page (a 100 KiB PDF) put in place as a new file, the
// name taken by the pages before it ("Placed": through the replace unit, whole
// and synced; "Plain": opened and written under its name, as pages used to be).
//
// SaveConfig/*: one settings save that changes every key, with the syncs of
// files and of folders per save. "PerKey" writes the same keys one at a time,
// as the save used to.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "records/SharedRecords.h"
#include "link/ToolsStream.h"
#include "platform/FileReplace.h"
#include "platform/IniFile.h"
#include "settings/Ini.h"
#include "settings/Preferences.h"

namespace {

constexpr int kSlowSyncMs = 20;
std::atomic<int> g_syncs{0}, g_folderSyncs{0}, g_dataSyncs{0};
std::atomic<ino_t> g_dataFile{0};

int SlowSync(int fd) {
    struct stat st {};
    ::fstat(fd, &st);
    (S_ISDIR(st.st_mode) ? g_folderSyncs : st.st_ino == g_dataFile.load() ? g_dataSyncs : g_syncs).fetch_add(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(kSlowSyncMs));
    return ::fsync(fd);
}

struct SlowDisk {
    SlowDisk() { zns::detail::SetSyncHook(SlowSync); }
    ~SlowDisk() { zns::detail::SetSyncHook(nullptr); }
};

std::string TempDir() {
    char tmpl[] = "/tmp/zns_bench_XXXXXX";
    const char* d = ::mkdtemp(tmpl);
    return d ? std::string(d) + "/" : std::string();
}

void RemoveDir(const std::string& dir) {
    if (dir.find("zns_bench_") != std::string::npos) std::system(("rm -rf '" + dir + "'").c_str());
}

// ---------------------------------------------------------------------------

void RecordWrite(benchmark::State& state, bool underWriterLock) {
    const std::string dir = TempDir();
    const std::string data = dir + "log.zne", hed = dir + "log.hed";
    zns::IniWriteString(hed, "WellInfo", "Startdepth", "0");
    SlowDisk slow;

    SharedData shared;
    HeaderRecord head;
    zns::DataFileWriter writer;
    writer.Open(data, hed);
    struct stat st {};
    ::stat(data.c_str(), &st);
    g_dataFile = st.st_ino;
    g_dataSyncs = 0;
    CToolsStream stream(shared, head, writer);
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.sonde.TraceByte = 0x15;  // three receivers of 256 samples
    }
    shared.g_bFirstRecordPending = true;

    // The GUI side: "EndDepth" every 50 ms while the records go in.
    std::atomic<bool> stop{false};
    std::atomic<int> headerWrites{0};
    std::thread gui([&] {
        for (int mm = 0; !stop.load(); mm += 10) {
            const std::vector<zns::IniEdit> key{{"WellInfo", "EndDepth", std::to_string(mm)}};
            if (underWriterLock) {
                auto lock = writer.Lock();
                zns::IniWriteBatch(hed, key);
                headerWrites.fetch_add(1);
            } else {
                writer.HeaderKeys().Post(hed, key);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });

    double depth = 100.0, worstUs = 0.0, sumUs = 0.0;
    int64_t records = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(stream.WriteDataFile(depth));
        const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
        worstUs = std::max(worstUs, us);
        sumUs += us;
        ++records;
        depth += 0.05;
        // A frame every 2 ms: the records of a fast link.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop = true;
    gui.join();
    writer.HeaderKeys().Flush();
    writer.Close();
    state.counters["record_max_ms"] = worstUs / 1000.0;
    state.counters["record_mean_ms"] = records ? sumUs / records / 1000.0 : 0.0;
    state.counters["header_files_written"] =
        underWriterLock ? headerWrites.load() : writer.HeaderKeys().FilesWritten();
    state.counters["data_file_syncs"] = g_dataSyncs.load();
    g_dataFile = 0;
    RemoveDir(dir);
}

void BM_RecordWrite_HeaderKeyThread(benchmark::State& state) { RecordWrite(state, false); }
void BM_RecordWrite_HeaderUnderWriterLock(benchmark::State& state) { RecordWrite(state, true); }
BENCHMARK(BM_RecordWrite_HeaderKeyThread)->Iterations(500)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RecordWrite_HeaderUnderWriterLock)->Iterations(500)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---------------------------------------------------------------------------

void BM_SaveConfig(benchmark::State& state) {
    const std::string dir = TempDir();
    SharedData shared;
    SettingsData data;
    PreferencesHooks hooks;
    hooks.programDir = dir;
    hooks.registryPath = dir + "registry";
    CPreferences prefs(shared, data, hooks);
    prefs.LoadConfig();
    prefs.SaveConfig();
    SlowDisk slow;
    int flip = 0;
    g_syncs = g_folderSyncs = 0;
    for (auto _ : state) {
        // A change of every key, so that nothing is skipped as unchanged.
        flip ^= 1;
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            AcquisitionSettings& s = shared.settings;
            s.PulleyDir = flip;
            s.CableType = flip;
            s.PulleysCircumference = 5000 + flip;
            s.PulsResolution = 1000 + flip;
            s.GammaViewMode = flip;
            s.GammaMax = 2000 + flip;
            s.GammaIsAverage = flip;
            s.GammaFilter = 20 + flip;
            s.TimeInterval = static_cast<uint16_t>(500 + flip);
            s.DepthInterval = static_cast<uint16_t>(5 + flip);
            s.VScale = flip ? 200 : 100;
            s.RxLeftView = 1 + flip;
            s.RxRightView = 2 + flip;
            s.ChnBlanking = flip;
            for (int rx = 0; rx < 3; ++rx) {
                s.GainRx(rx) = 5 + flip;
                s.AGC_Rx(rx) = flip;
                s.ZNSModus(rx) = flip;
                s.FA[rx] = {10 + flip, 100 + flip, 200 + flip, flip};
            }
            shared.session.FA_LeftColor = 0xFFFFFFu - static_cast<uint32_t>(flip);
            shared.session.FA_RightColor = 0xFFFFFFu - static_cast<uint32_t>(flip);
            data.sondeDb.nSelected = 0;
        }
        data.m_strPrinterUsed = flip ? "Office" : "none";
        prefs.SaveConfig();
    }
    state.counters["file_syncs_per_save"] = benchmark::Counter(g_syncs.load(), benchmark::Counter::kAvgIterations);
    state.counters["folder_syncs_per_save"] =
        benchmark::Counter(g_folderSyncs.load(), benchmark::Counter::kAvgIterations);
    RemoveDir(dir);
}
BENCHMARK(BM_SaveConfig)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same keys one at a time: the save before it was batched.
void BM_SaveConfig_PerKey(benchmark::State& state) {
    const std::string dir = TempDir();
    const std::string cfg = dir + "HxZn.cfg";
    SlowDisk slow;
    int flip = 0;
    g_syncs = g_folderSyncs = 0;
    for (auto _ : state) {
        flip ^= 1;
        for (int k = 0; k < 38; ++k)
            zns::IniWriteString(cfg, "BrannicLogger", "Key" + std::to_string(k), std::to_string(flip));
    }
    state.counters["file_syncs_per_save"] = benchmark::Counter(g_syncs.load(), benchmark::Counter::kAvgIterations);
    state.counters["folder_syncs_per_save"] =
        benchmark::Counter(g_folderSyncs.load(), benchmark::Counter::kAvgIterations);
    RemoveDir(dir);
}
BENCHMARK(BM_SaveConfig_PerKey)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// `links`: false puts pages in place as on a file system with neither hard
// links nor an exclusive rename (a FAT stick through FUSE).
void PdfPage(benchmark::State& state, bool placed, bool links = true) {
    const std::string dir = TempDir();
    const std::string page(100 << 10, '%');
    SlowDisk slow;
    zns::detail::SetNoLinksHook(links ? 0 : EPERM, links ? 0 : EINVAL);
    g_syncs = g_folderSyncs = 0;
    for (auto _ : state) {
        const auto name = [&](int copy) { return dir + "log-1 (" + std::to_string(copy) + ").pdf"; };
        if (placed) {
            zns::ReplacingFile f(name(1), zns::ReplacingFile::NewFile);
            std::fwrite(page.data(), 1, page.size(), f.File());
            std::string at;
            f.CommitNew(name, at);
        } else {
            int copy = 1;
            while (::access(name(copy).c_str(), F_OK) == 0) ++copy;
            if (std::FILE* f = std::fopen(name(copy).c_str(), "wb")) std::fwrite(page.data(), 1, page.size(), f), std::fclose(f);
        }
    }
    state.counters["syncs_per_page"] =
        benchmark::Counter(g_syncs.load() + g_folderSyncs.load(), benchmark::Counter::kAvgIterations);
    zns::detail::SetNoLinksHook(0, 0);
    RemoveDir(dir);
}
void BM_PdfPage_Placed(benchmark::State& state) { PdfPage(state, true); }
void BM_PdfPage_PlacedWithoutLinks(benchmark::State& state) { PdfPage(state, true, false); }
void BM_PdfPage_Plain(benchmark::State& state) { PdfPage(state, false); }
BENCHMARK(BM_PdfPage_Placed)->Iterations(50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PdfPage_PlacedWithoutLinks)->Iterations(50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PdfPage_Plain)->Iterations(50)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
