#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>
#include <vector>

#include "link/ToolsStream.h"
#include "platform/FileReplace.h"
#include "platform/IniFile.h"
#include "settings/Ini.h"

namespace {

using zns::DataFileRecord;
using zns::RecordStatus;

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

DataFileRecord MakeRecord(uint8_t traceByte, int seed) {
    DataFileRecord r;
    r.depthMm = -123456 + seed * 1000;
    r.speed = static_cast<int16_t>(-125 + seed);
    r.elapsedMs = 0x01020304u + static_cast<uint32_t>(seed);
    r.travelTime[0] = 0x01FF;
    r.travelTime[1] = 65535;
    r.travelTime[2] = static_cast<uint16_t>(300 + seed);
    r.gamma = static_cast<uint16_t>(4000 + seed);
    r.gain[0] = 12;
    r.gain[1] = 255;
    r.gain[2] = static_cast<uint8_t>(seed);
    r.traceByte = traceByte;
    for (int rx = 0; rx < 3; ++rx)
        for (int i = 0; i < r.SampleCount(rx); ++i)
            r.trace[rx][static_cast<size_t>(i)] = static_cast<int16_t>((i * 977 + rx * 31 + seed) * (i % 2 ? -1 : 1));
    return r;
}

void ExpectSameRecord(const DataFileRecord& a, const DataFileRecord& b) {
    EXPECT_EQ(a.depthMm, b.depthMm);
    EXPECT_EQ(a.speed, b.speed);
    EXPECT_EQ(a.elapsedMs, b.elapsedMs);
    for (int rx = 0; rx < 3; ++rx) {
        EXPECT_EQ(a.travelTime[rx], b.travelTime[rx]);
        EXPECT_EQ(a.gain[rx], b.gain[rx]);
    }
    EXPECT_EQ(a.zero, b.zero);
    EXPECT_EQ(a.gamma, b.gamma);
    ASSERT_EQ(a.traceByte, b.traceByte);
    for (int rx = 0; rx < 3; ++rx)
        for (int i = 0; i < a.SampleCount(rx); ++i)
            ASSERT_EQ(a.trace[rx][static_cast<size_t>(i)], b.trace[rx][static_cast<size_t>(i)]) << rx << " " << i;
}

std::string Encoded(const DataFileRecord& r) {
    uint8_t buf[zns::kRecordMaxBytes];
    size_t n = zns::EncodeRecord(r, buf);
    return std::string(reinterpret_cast<char*>(buf), n);
}

class RecordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zns_records_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        data = dir + "/log.zne";
        header = dir + "/log.hed";
        WriteAll(header, "[General]\r\nScale=100\r\n\r\n[WellInfo]\r\nStartdepth=0\r\nstep=5\r\n");
    }
    void TearDown() override {
        zns::IniFlushCache();
        std::string cmd = "rm -rf '" + dir + "'";
        (void)std::system(cmd.c_str());
    }

    ToolsStreamSources Sources() {
        ToolsStreamSources s;
        s.dataFilePath = [this] { return data; };
        s.showError = [this](const std::string& t) { errors.push_back(t); };
        return s;
    }

    // The live values the receive thread would hold for a waveform frame.
    void SetLive(uint8_t traceByte, double speed) {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.live.Speed = speed;
        shared.sonde.TraceByte = traceByte;
        shared.sonde.TravelTime[0] = 100;
        shared.sonde.TravelTime[1] = 200;
        shared.sonde.TravelTime[2] = 65535;
        shared.sonde.Gamma = 77;
        shared.sonde.Gain[0] = 1;
        shared.sonde.Gain[1] = 2;
        shared.sonde.Gain[2] = 3;
        for (int rx = 0; rx < 3; ++rx)
            for (size_t i = 0; i < 512; ++i) shared.m_pTraceRx[rx][i] = static_cast<int16_t>(rx * 1000 + i);
    }

    std::vector<DataFileRecord> ReadAllRecords(RecordStatus* last) {
        std::vector<DataFileRecord> out;
        std::FILE* f = std::fopen(data.c_str(), "rb");
        if (!f) {
            *last = RecordStatus::IoError;
            return out;
        }
        for (;;) {
            DataFileRecord r;
            RecordStatus st = zns::ReadRecord(f, r);
            if (st != RecordStatus::Ok) {
                *last = st;
                break;
            }
            out.push_back(r);
        }
        std::fclose(f);
        return out;
    }

    std::string dir, data, header;
    SharedData shared;
    HeaderRecord head;
    zns::FakeClock clock{1000};
    std::vector<std::string> errors, damage;
};

// ---- record bytes --------------------------------------------------------

TEST_F(RecordsTest, FieldsAreLittleEndianAtTheirOffsets) {
    DataFileRecord r;
    ASSERT_TRUE(zns::DepthToRecord(123.4567, r.depthMm));
    EXPECT_EQ(r.depthMm, 123456);
    ASSERT_TRUE(zns::DepthToRecord(-0.0019, r.depthMm));
    EXPECT_EQ(r.depthMm, -1);  // toward zero
    ASSERT_TRUE(zns::DepthToRecord(123.4567, r.depthMm));
    r.speed = zns::SpeedToRecord(-1.25);
    EXPECT_EQ(r.speed, -125);
    r.elapsedMs = 0xA1B2C3D4u;
    r.travelTime[0] = 0x01FF;
    r.travelTime[1] = 0x0203;
    r.travelTime[2] = 65535;
    r.gamma = 0x1234;
    r.gain[0] = 0xFE;
    r.gain[1] = 7;
    r.gain[2] = 0;
    r.traceByte = 0;
    std::string b = Encoded(r);
    ASSERT_EQ(b.size(), 28u);
    auto u = [&](size_t i) { return static_cast<unsigned>(static_cast<uint8_t>(b[i])); };
    // 123456 = 0x0001E240
    EXPECT_EQ(u(0), 0x40u);
    EXPECT_EQ(u(1), 0xE2u);
    EXPECT_EQ(u(2), 0x01u);
    EXPECT_EQ(u(3), 0x00u);
    EXPECT_EQ(u(4), 0x83u);  // -125 = 0xFF83
    EXPECT_EQ(u(5), 0xFFu);
    EXPECT_EQ(u(6), 0xD4u);
    EXPECT_EQ(u(9), 0xA1u);
    EXPECT_EQ(u(10), 0xFFu);
    EXPECT_EQ(u(11), 0x01u);
    EXPECT_EQ(u(16), 0u);
    EXPECT_EQ(u(17), 0u);
    EXPECT_EQ(u(18), 0x34u);
    EXPECT_EQ(u(20), 0xFEu);
    EXPECT_EQ(u(23), 0u);
    // Check by hand: each multi-byte field adds its own byte sum modulo 256.
    uint32_t check = ((0x40 + 0xE2 + 0x01 + 0x00) & 0xFF)   // depth: 0x123 -> 0x23
                     + ((0x83 + 0xFF) & 0xFF)               // speed: 0x182 -> 0x82
                     + ((0xD4 + 0xC3 + 0xB2 + 0xA1) & 0xFF)  // elapsed
                     + 0                                    // 0x01FF: 0xFF + 0x01 = 256 -> 0
                     + ((0x03 + 0x02) & 0xFF)                // 0x0203
                     + ((0xFF + 0xFF) & 0xFF)                // 65535 -> 0xFE
                     + 0                                    // zero word
                     + ((0x34 + 0x12) & 0xFF)                // gamma
                     + 0xFE + 7 + 0 + 0;                     // single bytes at full value
    uint32_t stored = u(24) | (u(25) << 8) | (u(26) << 16) | (u(27) << 24);
    EXPECT_EQ(stored, check);
}

TEST_F(RecordsTest, SampleBytesAddAtFullValue) {
    DataFileRecord r;
    r.traceByte = 0x01;  // Rx1 code 1: 512 bytes
    for (size_t i = 0; i < 256; ++i) r.trace[0][i] = static_cast<int16_t>(0xFFFF);
    std::string b = Encoded(r);
    ASSERT_EQ(b.size(), 540u);
    uint32_t head = ((0xFF + 0xFF) & 0xFF) * 3 + 1;  // three "none" travel times and the trace byte
    uint32_t expected = head + 512u * 0xFF;           // far beyond 16 bits: no modulo for samples
    EXPECT_EQ(zns::RecordCheck(reinterpret_cast<const uint8_t*>(b.data()), 536), expected);
}

TEST_F(RecordsTest, RecordSizesFollowTheTraceCodes) {
    EXPECT_EQ(zns::RecordSize(0x00), 28u);
    EXPECT_EQ(zns::RecordSize(0x15), 1564u);  // codes 1, 1, 1
    EXPECT_EQ(zns::RecordSize(0x3F), 3100u);
    EXPECT_EQ(zns::RecordSize(0x02), 1052u);
    EXPECT_EQ(zns::RecordSize(0xC0), 28u);  // bits 6-7 carry no trace
}

TEST_F(RecordsTest, EveryTraceLengthCombinationRoundTrips) {
    zns::DataFileWriter w;
    ASSERT_TRUE(w.Open(data, header));
    std::vector<DataFileRecord> written;
    for (int tb = 0; tb < 64; ++tb) {
        written.push_back(MakeRecord(static_cast<uint8_t>(tb), tb));
        std::string b = Encoded(written.back());
        ASSERT_EQ(b.size(), zns::RecordSize(static_cast<uint8_t>(tb)));
        ASSERT_TRUE(w.Append(reinterpret_cast<const uint8_t*>(b.data()), b.size()));
    }
    w.Close();
    RecordStatus last = RecordStatus::Ok;
    std::vector<DataFileRecord> back = ReadAllRecords(&last);
    EXPECT_EQ(last, RecordStatus::EndOfFile);
    ASSERT_EQ(back.size(), written.size());
    for (size_t i = 0; i < back.size(); ++i) {
        SCOPED_TRACE(i);
        ExpectSameRecord(back[i], written[i]);
    }
}

// ---- readers -------------------------------------------------------------

TEST_F(RecordsTest, ReaderLeavesOutputsAloneAtEndOfFile) {
    WriteAll(data, Encoded(MakeRecord(0x00, 1)));
    zns::DataFileWriter w;
    CToolsStream ts(shared, head, w, Sources(), clock);
    std::FILE* f = std::fopen(data.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    double depth = -9;
    int speed = -9, tt1 = -9, tt2 = -9, tt3 = -9, zero = -9, gamma = -9, g1 = -9, g2 = -9, g3 = -9, code = -9;
    int c1 = -9, c2 = -9, c3 = -9;
    uint32_t elapsed = 9;
    EXPECT_EQ(ts.ReadRecordFromFile(f, depth, speed, elapsed, tt1, tt2, tt3, zero, gamma, g1, g2, g3, code, nullptr,
                                    nullptr, nullptr, c1, c2, c3),
              28);
    EXPECT_EQ(speed, -124);  // sign-extended
    EXPECT_EQ(tt1, 0x01FF);
    EXPECT_EQ(ts.m_posReplay.load(), 28);
    depth = -9;
    speed = -9;
    EXPECT_EQ(ts.ReadRecordFromFile(f, depth, speed, elapsed, tt1, tt2, tt3, zero, gamma, g1, g2, g3, code, nullptr,
                                    nullptr, nullptr, c1, c2, c3),
              -1);
    EXPECT_EQ(ts.LastReadStatus(), RecordStatus::EndOfFile);
    EXPECT_EQ(depth, -9);
    EXPECT_EQ(speed, -9);
    std::fclose(f);
}

TEST_F(RecordsTest, TruncationAtEveryByteKeepsTheWholeRecordsBefore) {
    std::vector<DataFileRecord> recs = {MakeRecord(0x00, 1), MakeRecord(0x01, 2), MakeRecord(0x00, 3),
                                        MakeRecord(0x04, 4)};
    std::string file;
    std::vector<size_t> ends;
    for (const auto& r : recs) {
        file += Encoded(r);
        ends.push_back(file.size());
    }
    for (size_t cut = 0; cut <= file.size(); ++cut) {
        SCOPED_TRACE(cut);
        WriteAll(data, file.substr(0, cut));
        size_t whole = 0;
        while (whole < ends.size() && ends[whole] <= cut) ++whole;
        const bool atBoundary = cut == 0 || (whole > 0 && ends[whole - 1] == cut);

        RecordStatus last = RecordStatus::Ok;
        std::vector<DataFileRecord> back = ReadAllRecords(&last);
        ASSERT_EQ(back.size(), whole);
        EXPECT_EQ(last, atBoundary ? RecordStatus::EndOfFile : RecordStatus::Truncated);

        // The replay entry walks the same records and names the damage.
        damage.clear();
        zns::DataFileWriter w;
        CToolsStream ts(shared, head, w, Sources(), clock);
        size_t shown = 0;
        int64_t pos = 0;
        while (ts.ReadDataLineInFileZne(pos)) {
            ++shown;
            pos = ts.m_posReplay.load();
        }
        if (const std::string d = ts.ReplayDamage(pos); !d.empty()) damage.push_back(d);
        EXPECT_EQ(shown, whole);
        EXPECT_EQ(damage.size(), atBoundary ? 0u : 1u);
        if (!atBoundary && !damage.empty()) {
            EXPECT_NE(damage[0].find("byte " + std::to_string(whole ? ends[whole - 1] : 0)), std::string::npos)
                << damage[0];
        }
    }
}

TEST_F(RecordsTest, BadCheckIsReportedNotShown) {
    std::string a = Encoded(MakeRecord(0x01, 1));
    std::string b = Encoded(MakeRecord(0x01, 2));
    b[100] = static_cast<char>(b[100] ^ 0x01);  // one sample bit
    WriteAll(data, a + b);
    zns::DataFileWriter w;
    CToolsStream ts(shared, head, w, Sources(), clock);
    ASSERT_TRUE(ts.ReadDataLineInFileZne(0));
    LoggerStatus first = shared.SnapshotLogger();
    int16_t sample = shared.m_pTraceRx[0][0];
    EXPECT_FALSE(ts.ReadDataLineInFileZne(ts.m_posReplay.load()));
    EXPECT_EQ(ts.LastReadStatus(), RecordStatus::BadCheck);
    EXPECT_NE(ts.ReplayDamage(ts.m_posReplay.load()).find("check sum"), std::string::npos);
    LoggerStatus after = shared.SnapshotLogger();
    EXPECT_EQ(after.ReplayDepth, first.ReplayDepth);
    EXPECT_EQ(after.Gain[2], first.Gain[2]);
    EXPECT_EQ(shared.m_pTraceRx[0][0], sample);
}

TEST_F(RecordsTest, ReplayFillsLoggerStatusAndLiveValues) {
    DataFileRecord a = MakeRecord(0x09, 0);  // codes 1, 2, 0
    a.speed = -125;
    a.elapsedMs = 3599999;
    DataFileRecord b = MakeRecord(0x00, 1);
    b.elapsedMs = 3601500;
    WriteAll(data, Encoded(a) + Encoded(b));
    head.LogMode = HEADER_LOG_UP;
    head.step = 20;
    zns::DataFileWriter w;
    CToolsStream ts(shared, head, w, Sources(), clock);
    std::vector<int16_t> t1(512, 0), t2(512, 0), t3(512, 0);
    ASSERT_TRUE(ts.ReadDataLineInFileZne(0, t1.data(), t2.data(), t3.data()));
    LoggerStatus L = shared.SnapshotLogger();
    EXPECT_DOUBLE_EQ(L.ReplayDepth, a.depthMm / 1000.0);
    EXPECT_EQ(L.Mode, RECMODE_UP);
    EXPECT_EQ(L.ReplayStep, 20);
    EXPECT_EQ(L.TraceByte, 0x09);
    EXPECT_EQ(L.Code[0], 1);
    EXPECT_EQ(L.Code[1], 2);
    EXPECT_EQ(L.Code[2], 0);
    EXPECT_EQ(L.TravelTime[0], 0x01FF);
    EXPECT_EQ(L.Gamma, a.gamma);
    EXPECT_EQ(t1[255], a.trace[0][255]);
    EXPECT_EQ(t2[511], a.trace[1][511]);
    EXPECT_EQ(t1[256], 0);
    LiveValues live = shared.SnapshotLive();
    EXPECT_DOUBLE_EQ(live.Speed, -1.25);  // not +655 m/min
    EXPECT_DOUBLE_EQ(live.Depth, a.depthMm / 1000.0);
    EXPECT_EQ(live.TimeText, "00:59:59");  // 3599.999 s is not "60" seconds
    EXPECT_EQ(ts.ReplayTimeStepMs(), 0);

    head.LogMode = HEADER_LOG_TIME;
    shared.m_nLinkState = LINK_STATUS;  // a logger is connected: live values stay its own
    ASSERT_TRUE(ts.ReadDataLineInFileZne(ts.m_posReplay.load()));
    L = shared.SnapshotLogger();
    EXPECT_EQ(L.Mode, RECMODE_TIME);
    EXPECT_EQ(L.ReplayStep, 5);
    EXPECT_EQ(ts.ReplayTimeStepMs(), 1501);
    EXPECT_DOUBLE_EQ(shared.SnapshotLive().Speed, -1.25);
    EXPECT_EQ(shared.SnapshotLive().TimeText, "01:00:01");
}

TEST_F(RecordsTest, MissingDataFileShowsTheOpenError) {
    data = dir + "/none.zne";
    zns::DataFileWriter w;
    CToolsStream ts(shared, head, w, Sources(), clock);
    EXPECT_FALSE(ts.ReadDataLineInFileZne(0));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Trouble opening file.");
}

TEST_F(RecordsTest, TimeTextCountsWholeSecondsAndKeepsHours) {
    EXPECT_EQ(zns::ElapsedText(0), "00:00:00");
    EXPECT_EQ(zns::ElapsedText(59999), "00:00:59");
    EXPECT_EQ(zns::ElapsedText(61000), "00:01:01");
    EXPECT_EQ(zns::ElapsedText(3600000u * 100u), "100:00:00");
    EXPECT_EQ(zns::ElapsedText(0xFFFFFFFFu), "1193:02:47");
    zns::DataFileWriter w;
    CToolsStream ts(shared, head, w, Sources(), clock);
    ts.FormatDepthTime(7322999);
    EXPECT_EQ(shared.SnapshotLive().TimeText, "02:02:02");
}

// ---- writer --------------------------------------------------------------

// A disk that takes its time over a header file or the data file's own sync:
// the records go on meanwhile, and the data file is synced while it is open.
std::atomic<bool> g_syncHeld{false};
std::atomic<bool> g_syncEntered{false};
std::atomic<int> g_dataSyncs{0};
std::string g_dataPath;

TEST_F(RecordsTest, RecordsNeverWaitForAHeaderWriteOrASync) {
    g_syncHeld = true;
    g_syncEntered = false;
    g_dataPath = data;
    zns::detail::SetSyncHook([](int fd) {
        g_syncEntered = true;
        while (g_syncHeld.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        g_dataSyncs += std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd)) == g_dataPath;
        return 0;
    });
    zns::DataFileWriter w;
    ASSERT_TRUE(w.Open(data, header));
    CToolsStream ts(shared, head, w, Sources(), clock);
    SetLive(0x05, 1.0);
    shared.g_bFirstRecordPending = true;
    std::atomic<int> written{0};
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::thread rx([&] {
        ts.WriteDataFile(10.0);  // arms
        if (ts.WriteDataFile(10.1) == CToolsStream::WriteResult::Written) ++written;  // "Startdepth"
        // The header write is held on disk while the next records go in.
        while (!g_syncEntered.load() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (int i = 2; i <= 5; ++i)
            if (ts.WriteDataFile(10.0 + i * 0.1) == CToolsStream::WriteResult::Written) ++written;
    });
    while (written.load() < 5 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(written.load(), 5);
    EXPECT_TRUE(g_syncEntered.load());
    EXPECT_TRUE(g_syncHeld.load());
    g_syncHeld = false;
    rx.join();
    while (g_dataSyncs.load() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const int whileOpen = g_dataSyncs.load();
    w.Close();
    w.HeaderKeys().Flush();
    zns::detail::SetSyncHook(nullptr);
    EXPECT_GE(whileOpen, 1);
    EXPECT_GT(g_dataSyncs.load(), whileOpen);  // and once more when it is closed
    EXPECT_EQ(CIni(header, "WellInfo", TRUE).GetInt("Startdepth", 0), 10100);
}

TEST_F(RecordsTest, AFailedSyncOfTheDataFileIsToldOnceAnOpening) {
    std::vector<std::string> told;
    zns::DataFileWriter w;
    w.HeaderKeys().OnDataSyncFailure([&](const std::string& t) { told.push_back(t); });
    g_dataSyncs = 0;  // the first fails a periodic sync too; each new log under the name is told anew
    for (const bool fails : {true, true, false, true, false}) {
        zns::detail::SetSyncHook(fails ? +[](int) { return ++g_dataSyncs, errno = EIO, -1; } : nullptr);
        ASSERT_TRUE(w.Open(data, header));
        for (int i = 0; !g_dataSyncs && i < 20000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        w.Close(), w.HeaderKeys().Flush();  // synced once more as it closes
    }
    EXPECT_EQ(told, std::vector(3, zns::HeaderKeyWriter::DataSyncFailureText(data, EIO)));
}

TEST_F(RecordsTest, FirstCallArmsSecondWritesStartdepth) {
    zns::DataFileWriter w;
    ASSERT_TRUE(w.Open(data, header));
    CToolsStream ts(shared, head, w, Sources(), clock);
    SetLive(0x05, -1.25);  // codes 1, 1, 0
    shared.g_bFirstRecordPending = true;
    shared.m_pRecordCount = 0;

    EXPECT_EQ(ts.WriteDataFile(10.0), CToolsStream::WriteResult::Armed);
    EXPECT_EQ(w.Size(), 0);
    EXPECT_TRUE(shared.g_bFirstRecordPending.load());

    clock.Advance(700);
    EXPECT_EQ(ts.WriteDataFile(10.1239), CToolsStream::WriteResult::Written);
    EXPECT_FALSE(shared.g_bFirstRecordPending.load());
    w.HeaderKeys().Flush();  // handed to the header writer, not written on this thread
    EXPECT_EQ(CIni(header, "WellInfo", TRUE).GetInt("Startdepth", 0), 10123);
    EXPECT_DOUBLE_EQ(shared.g_dLastDepth2.load(), 10.1239);

    clock.Advance(1500);
    EXPECT_EQ(ts.WriteDataFile(10.2), CToolsStream::WriteResult::Written);
    EXPECT_EQ(shared.SnapshotLive().TimeText, "00:00:01");
    // A stop moves the stamp: the standing time does not count.
    clock.Advance(60000);
    shared.m_ftLastRecordMs = clock.NowSteadyMs();
    clock.Advance(250);
    EXPECT_EQ(ts.WriteDataFile(10.3), CToolsStream::WriteResult::Written);
    w.Close();

    RecordStatus last;
    std::vector<DataFileRecord> back = ReadAllRecords(&last);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(last, RecordStatus::EndOfFile);
    EXPECT_EQ(back[0].depthMm, 10123);
    EXPECT_EQ(back[0].elapsedMs, 0u);
    EXPECT_EQ(back[1].elapsedMs, 1500u);
    EXPECT_EQ(back[2].elapsedMs, 1750u);
    EXPECT_EQ(back[0].speed, -125);
    EXPECT_EQ(back[0].traceByte, 0x05);
    EXPECT_EQ(back[0].travelTime[1], 200);
    EXPECT_EQ(back[0].travelTime[2], 65535);
    EXPECT_EQ(back[0].gamma, 77);
    EXPECT_EQ(back[0].gain[2], 3);
    EXPECT_EQ(back[0].trace[1][255], 1255);
    EXPECT_EQ(shared.m_pRecordCount.load(), 1750);
}

TEST_F(RecordsTest, NonFiniteValuesAndClosedFilesWriteNothing) {
    zns::DataFileWriter w;
    CToolsStream ts(shared, head, w, Sources(), clock);
    SetLive(0x00, 1.0);
    EXPECT_EQ(ts.WriteDataFile(5.0), CToolsStream::WriteResult::NotOpen);

    ASSERT_TRUE(w.Open(data, header));
    EXPECT_EQ(ts.WriteDataFile(std::numeric_limits<double>::quiet_NaN()), CToolsStream::WriteResult::Skipped);
    EXPECT_EQ(ts.WriteDataFile(std::numeric_limits<double>::infinity()), CToolsStream::WriteResult::Skipped);
    EXPECT_EQ(ts.WriteDataFile(3e6), CToolsStream::WriteResult::Skipped);  // beyond the i32 millimetres
    SetLive(0x00, std::numeric_limits<double>::infinity());
    EXPECT_EQ(ts.WriteDataFile(5.0), CToolsStream::WriteResult::Skipped);
    EXPECT_EQ(w.Size(), 0);
    SetLive(0x00, 500.0);  // beyond the i16 speed word: saturates
    EXPECT_EQ(ts.WriteDataFile(5.0), CToolsStream::WriteResult::Written);
    w.Close();
    EXPECT_EQ(ts.WriteDataFile(5.0), CToolsStream::WriteResult::NotOpen);
    RecordStatus last;
    std::vector<DataFileRecord> back = ReadAllRecords(&last);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].speed, 32767);
}

TEST_F(RecordsTest, FailedWriteCutsBackToTheLastWholeRecord) {
    // The disk fills up part-way through the third record.
    std::atomic<int> calls{0};
    zns::DataFileWriter w([&](int fd, const void* p, size_t n) -> ssize_t {
        if (++calls < 3) return ::write(fd, p, n);
        if (calls == 3) return ::write(fd, p, std::min<size_t>(n, 100));
        errno = ENOSPC;
        return -1;
    });
    ASSERT_TRUE(w.Open(data, header));
    CToolsStream ts(shared, head, w, Sources(), clock);
    SetLive(0x01, 2.0);
    EXPECT_EQ(ts.WriteDataFile(1.0), CToolsStream::WriteResult::Written);
    EXPECT_EQ(ts.WriteDataFile(1.1), CToolsStream::WriteResult::Written);
    EXPECT_EQ(ts.WriteDataFile(1.2), CToolsStream::WriteResult::Failed);
    EXPECT_FALSE(w.IsOpen());
    EXPECT_NE(w.LastError().find("No space left"), std::string::npos) << w.LastError();
    EXPECT_EQ(ts.WriteDataFile(1.3), CToolsStream::WriteResult::NotOpen);
    EXPECT_EQ(ReadAll(data).size(), 2u * 540u);
    RecordStatus last;
    EXPECT_EQ(ReadAllRecords(&last).size(), 2u);
    EXPECT_EQ(last, RecordStatus::EndOfFile);
}

TEST_F(RecordsTest, FullDeviceFailsTheRecord) {
    zns::DataFileWriter w;
    if (!w.Open("/dev/full", "")) GTEST_SKIP() << "/dev/full not available";
    CToolsStream ts(shared, head, w, Sources(), clock);
    SetLive(0x00, 0.0);
    EXPECT_EQ(ts.WriteDataFile(1.0), CToolsStream::WriteResult::Failed);
    EXPECT_FALSE(w.LastError().empty());
}

TEST_F(RecordsTest, ReopeningAppendsAfterTheRecordsThere) {
    WriteAll(data, Encoded(MakeRecord(0x00, 1)));
    zns::DataFileWriter w;
    ASSERT_TRUE(w.Open(data, header));
    EXPECT_EQ(w.Size(), 28);
    EXPECT_EQ(w.HeaderPath(), header);
    EXPECT_FALSE(w.Open(dir + "/no/such/dir.zne", header));
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(w.LastError().empty());
}

// The recorder closes the file on the GUI thread while the receive thread
// is writing: every record in the file is whole and nothing crashes.
TEST_F(RecordsTest, CloseWhileTheReceiveThreadWrites) {
    zns::DataFileWriter w;
    ASSERT_TRUE(w.Open(data, header));
    CToolsStream ts(shared, head, w, Sources(), zns::DefaultClock());
    SetLive(0x15, 1.0);
    std::atomic<bool> run{true};
    std::atomic<int> written{0};
    std::thread rx([&] {
        double depth = 0.0;
        while (run.load()) {
            if (ts.WriteDataFile(depth) == CToolsStream::WriteResult::Written) ++written;
            depth += 0.01;
            std::lock_guard<std::mutex> g(shared.acqMutex);
            shared.sonde.Gamma++;
        }
    });
    while (written.load() < 20) std::this_thread::yield();
    w.Close();
    run = false;
    rx.join();
    RecordStatus last;
    std::vector<DataFileRecord> back = ReadAllRecords(&last);
    EXPECT_EQ(last, RecordStatus::EndOfFile);
    EXPECT_EQ(static_cast<int>(back.size()), written.load());
    EXPECT_EQ(ReadAll(data).size(), back.size() * 1564u);
}

}  // namespace
