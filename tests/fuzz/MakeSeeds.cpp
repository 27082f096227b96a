// Writes the seed corpora of the fuzz targets: streams taken from the simulated
// logger, and files as the program itself writes them. Run once after a format
// changes: zns_fuzz_seeds <repo>/tests/fuzz/corpus
// Each seed stays small (a few KB per target in all).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "link/Checksums.h"
#include "records/SharedRecords.h"
#include "link/ToolsStream.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "settings/Header.h"
#include "settings/Preferences.h"
#include "settings/WindowLayout.h"
#include "sim/SimLogger.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

fs::path g_out;

void Seed(const std::string& target, const std::string& name, const Bytes& bytes) {
    fs::create_directories(g_out / target);
    std::FILE* f = std::fopen((g_out / target / name).c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::perror(name.c_str());
        std::exit(1);
    }
}

Bytes FileBytes(const fs::path& p) {
    Bytes b;
    if (std::FILE* f = std::fopen(p.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) b.push_back(static_cast<uint8_t>(c));
        std::fclose(f);
    }
    return b;
}

Bytes Cmd(Bytes f) {
    unsigned sum = 0;
    for (uint8_t b : f) sum += b;
    f.push_back(static_cast<uint8_t>(sum));
    return f;
}

// Time-mode logging with one receiver of 256 samples: status, configuration
// answer and waveform frames.
Bytes SimStream(size_t limit, void (*faults)(zns::sim::SimLogger&)) {
    zns::FakeClock clock;
    zns::sim::SimConfig cfg;
    cfg.seed = 7;
    zns::sim::SimLogger sim(clock, cfg);
    auto send = [&](const Bytes& f) { sim.HostWrite(f.data(), f.size()); };
    send(Cmd({1, 0, 0xDC, 0x05, 0x00, 0x50, 90}));
    send(Cmd({8, 12, 250, 0, 90, 15, 27, 6, 12, 18, 0, 10, 20, 0x01}));
    if (faults) faults(sim);
    Bytes out;
    uint8_t buf[256];
    for (int t = 0; t < 4000 && out.size() < limit; t += 5) {
        clock.Advance(5);
        size_t n;
        while ((n = sim.HostRead(buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
    }
    if (out.size() > limit) out.resize(limit);
    return out;
}

Bytes WithPrefix(uint8_t mode, const Bytes& rest) {
    Bytes b = {mode, 0x11, 0x22, 0x33, 0x44};
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

void FrameSeeds() {
    Seed("fuzz_frame_receiver", "sim_log", WithPrefix(0, SimStream(1400, nullptr)));
    Seed("fuzz_frame_receiver", "sim_faults", WithPrefix(0, SimStream(1400, [](zns::sim::SimLogger& s) {
             s.CorruptNext(zns::sim::FrameFault::BadSum);
             s.CorruptNext(zns::sim::FrameFault::Headerless);
             s.InjectGarbage(40);
             s.InjectFalseSync(2);
             s.SkipSequence(3);
             s.CorruptNext(zns::sim::FrameFault::BadLength);
             s.CorruptNext(zns::sim::FrameFault::HeaderlessLong);
         })));
    // Scripts: tag, sequence, then the tag's bytes (see FuzzFrameReceiver.cpp).
    Bytes script = {0, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14,       // status
                    1, 2, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18,  // answer
                    4, 0, 20, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,  // garbage
                    5, 0, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4,            // headless status
                    2, 3, 0x01};                                                // waveform, Rx1 256 samples
    for (int i = 0; i < 22 + 2 + 3; ++i) script.push_back(static_cast<uint8_t>(i * 7));
    Bytes tail = {6, 4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 5,  // bad sum
                  0, 5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14,     // status after it
                  3, 9, 1, 30, 0, 1, 2, 3,                                 // odd length
                  8, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 9};  // cut at the end
    script.insert(script.end(), tail.begin(), tail.end());
    Seed("fuzz_frame_receiver", "script", WithPrefix(1, script));
}

// Scripts of the handlers' target (see FuzzToolsStream.cpp): settings, then frames.
void HandlerSeeds() {
    auto settings = [](uint8_t flags, Bytes& b) {
        b.push_back(flags);
        b.insert(b.end(), {0xE8, 0x03, 0x88, 0x13});  // 1000 pulses, 500 mm wheel
        for (int rx = 0; rx < 3; ++rx) b.insert(b.end(), {1, 10, 100, 0, 0xD0, 0x07});  // pick on, 100..2000 us
    };
    auto status = [](Bytes& b, uint8_t mode, int32_t counter) {
        b.insert(b.end(), {0, mode, 15, 27, 5, 0});
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(counter >> (8 * i)));
        b.insert(b.end(), {0x20, 0x00, 40, 41, 0x01});
    };
    auto wave = [](Bytes& b, uint8_t mode, int32_t counter, uint8_t traceByte) {
        b.insert(b.end(), {2, traceByte, mode, 15, 27, 5, 1});
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(counter >> (8 * i)));
        b.insert(b.end(), {0x20, 0x00, 40, 41, 0x30, 0x00, 6, 12, 18, 0, 10, 20, traceByte});
        for (int rx = 0; rx < 3; ++rx)
            if (TraceCodeOf(traceByte, rx)) b.insert(b.end(), {static_cast<uint8_t>(0x40 | (8 + 4 * rx)), 0x12, 0x34});
        b.insert(b.end(), {0, 0, 0x01});
    };
    Bytes timeLog;
    settings(0x41, timeLog);  // recording, time mode
    timeLog.insert(timeLog.end(), {1, 12, 0xDC, 0x05, 0x00, 0x50, 90, 15, 27, 0, 0, 0, 0, 0, 0, 0, 0, 40, 41});
    for (int i = 0; i < 4; ++i) {
        wave(timeLog, 12, 80000 + 40 * i, 0x15);
        timeLog.insert(timeLog.end(), {6, 0xFA, 0x00});
        status(timeLog, 12, 80000 + 40 * i + 20);
    }
    Seed("fuzz_tools_stream", "time_log", timeLog);

    Bytes depthLog;
    settings(0x29, depthLog);  // recording, down, first record pending off
    for (int i = 0; i < 4; ++i) {
        wave(depthLog, 11, 800000 + 400 * i, 0x01);
        status(depthLog, 11, 800000 + 400 * i + 200);
        // A status frame, a status block without its head, a status frame.
        depthLog.push_back(4);
        for (int k = 0; k < 3; ++k) {
            Bytes st;
            status(st, 11, 800000 + 400 * i + 250 + 20 * k);
            depthLog.insert(depthLog.end(), st.begin() + 1, st.end());
        }
    }
    depthLog.insert(depthLog.end(), {7, 0x00, 8, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    Seed("fuzz_tools_stream", "depth_log", depthLog);
}

void RecordSeeds(const fs::path& dir) {
    SharedData shared;
    HeaderRecord header;
    zns::DataFileWriter writer;
    CToolsStream ts(shared, header, writer);
    const std::string path = (dir / "seed.zne").string();
    fs::remove(path);
    writer.Open(path, "");
    const uint8_t bytes[] = {0x00, 0x01, 0x00};
    for (int i = 0; i < 3; ++i) {
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            shared.sonde.TraceByte = bytes[i];
            shared.sonde.Gamma = static_cast<uint16_t>(40 + i);
            shared.sonde.TravelTime[0] = static_cast<uint16_t>(310 + i);
            shared.sonde.Gain[0] = 12;
            shared.live.Speed = 6.5;
            for (int k = 0; k < 256; ++k) shared.m_pTraceRx[0][static_cast<size_t>(k)] = static_cast<int16_t>((k * 97) % 2001 - 1000);
        }
        ts.WriteDataFile(100.0 + 0.05 * i);
    }
    writer.Close();
    Bytes whole = FileBytes(path);
    Seed("fuzz_zne_records", "three_records", whole);
    Bytes cut(whole.begin(), whole.begin() + 28 + 300);
    Seed("fuzz_zne_records", "truncated", cut);
    Bytes bad(whole.begin(), whole.begin() + 28 * 2);
    bad[30] ^= 1;
    Seed("fuzz_zne_records", "bad_check", bad);
}

void IniSeeds(const fs::path& dir) {
    const std::string path = (dir / "seed.ini").string();
    fs::remove(path);
    zns::IniWriteString(path, "BrannicLogger", "VScale", "100");
    zns::IniWriteString(path, "BrannicLogger", "PrinterUsed", "none");
    zns::IniWriteString(path, "Sonde0", "Rx1_Name", " Near ");
    zns::IniWriteString(path, "[stamp]", "k", "a=b;c");
    Bytes file = FileBytes(path);
    file.insert(file.end(), {';', ' ', 'n', 'o', 't', 'e', '\n', 'x', '=', '1'});
    Bytes seed = {static_cast<uint8_t>(file.size() & 0xFF), static_cast<uint8_t>(file.size() >> 8)};
    seed.insert(seed.end(), file.begin(), file.end());
    // read, write, delete key, delete section, ensure, list, entries, buffer, rewrite
    const Bytes ops = {0, 3, 4, 2, 3, 4, 5, 'v', 'a', 'l', 'u', 'e', 4, 3, 4, 5, 7, 6, 161, 3, 'N', 'e', 'w',
                       8, 3, 9, 3, 4, 10, 10, 6, '[', 'a', ']', '\r', '\n', 'k', 5, 8, 0, 1, 1};
    seed.insert(seed.end(), ops.begin(), ops.end());
    Seed("fuzz_ini", "written", seed);
    Bytes crlf = {12, 0, '[', 'A', ']', '\r', '\n', 'a', '=', ' ', '1', ' ', '\n', ' ', 0, 0, 1, 1, 7};
    Seed("fuzz_ini", "small", crlf);
}

void SettingsSeeds(const fs::path& dir, const fs::path& repo) {
    // Sonde file: the one the program ships, and one the program wrote.
    Bytes tol = FileBytes(repo / "resources/Ressources/HxZNS.tol");
    tol.insert(tol.begin(), 3);  // selects slot 0
    Seed("fuzz_sonde_file", "shipped", tol);

    SharedData shared;
    SettingsData data;
    PreferencesHooks hooks;
    hooks.programDir = dir.string();
    hooks.registryPath = (dir / "registry").string();
    fs::create_directories(dir / "Ressources");
    fs::remove(dir / "Ressources/HxZNS.tol");
    fs::remove(dir / CPreferences::kConfigFile);
    {
        CPreferences prefs(shared, data, hooks);
        const std::string tolPath = (dir / CPreferences::kToolFile).string();
        fs::copy_file(repo / "resources/Ressources/HxZNS.tol", tolPath);
        zns::IniWriteString(tolPath, "Sonde2", "SerialNumber", "4711");
        zns::IniWriteString(tolPath, "Sonde2", "RX_Number", "2");
        zns::IniWriteString(tolPath, "Sonde2", "GammaCoef", "1.25");
        zns::IniWriteString(tolPath, "Sonde2", "Voltage", "300");
        data.sondeDb.nSelected = 2;
        prefs.LoadToolFile();
        prefs.SaveSondeComm();
        Bytes written = FileBytes(prefs.ToolFilePath());
        written.insert(written.begin(), 5);  // slot 2
        Seed("fuzz_sonde_file", "written", written);

        // Configuration as the program writes it.
        prefs.LoadConfig();
        prefs.SaveConfig();
        prefs.SaveAll();
        prefs.SaveLasParams();
        Seed("fuzz_config", "written", FileBytes(prefs.ConfigPath()));
        Seed("fuzz_config", "first_start", Bytes{'[', 'B', 'r', 'a', 'n', 'n', 'i', 'c', 'L', 'o', 'g', 'g', 'e', 'r', ']',
                                                 '\r', '\n', 'V', 'S', 'c', 'a', 'l', 'e', '=', '7', '\r', '\n'});
    }

    // Header: the golden file, and one written by CHeader.
    Seed("fuzz_header", "golden", FileBytes(repo / "tests/data/header/golden.hed"));
    {
        HeaderRecord rec;
        CHeader h(rec, shared, data, {}, hooks);
        h.ResetWellInfo();
        rec.Company = "Forage du Nord";
        rec.Wellname = "PZ-12";
        rec.KellyBushing = 3.25;
        rec.Startdepth = 100000;
        const std::string hed = (dir / "seed.hed").string();
        h.WriteHeaderFile(hed);
        Seed("fuzz_header", "written", FileBytes(hed));
    }

    // Layout: a saved one and a short one.
    WindowLayout w;
    w.mark = 1;
    w.placement[LAYOUT_MAIN] = WindowPlacement{44, 0, 1, -1, -1, -1, -1, 10, 10, 700, 500};
    w.placement[LAYOUT_SETUP] = WindowPlacement{44, 0, 1, 0, 0, 0, 0, 40, 40, 680, 520};
    const auto img = zns::EncodeWindowLayout(w);
    Seed("fuzz_layout", "saved", Bytes(img.begin(), img.end()));
    Seed("fuzz_layout", "short", Bytes(img.begin(), img.begin() + 70));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus dir> [repo dir]\n", argv[0]);
        return 2;
    }
    g_out = argv[1];
    const fs::path repo = argc > 2 ? fs::path(argv[2]) : g_out.parent_path().parent_path().parent_path();
    char tmpl[] = "/tmp/zns-seeds-XXXXXX";
    const fs::path dir = ::mkdtemp(tmpl);
    FrameSeeds();
    HandlerSeeds();
    RecordSeeds(dir);
    IniSeeds(dir);
    SettingsSeeds(dir, repo);
    fs::remove_all(dir);
    return 0;
}
