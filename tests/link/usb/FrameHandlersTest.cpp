// The frame handlers of CToolsStream, one frame at a time, without threads.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>

#include "LinkTestSupport.h"
#include "link/CommandFrames.h"
#include "link/Picker.h"
#include "link/ToolsStream.h"
#include "settings/Ini.h"

using namespace linktest;

namespace {

class FrameHandlersTest : public ::testing::Test {
protected:
    void SetUp() override {
        AcquisitionSettings& s = shared.settings;
        s.PulsResolution = 1000;
        s.PulleysCircumference = 5000;  // 500 mm wheel: 80 counts per cm
        s.DepthFactor256 = DepthFactor256(s);
        s.DepthFactor = s.DepthFactor256 / 256.0;
        s.RecordingMode = RECMODE_DOWN;
        for (auto& fa : s.FA) fa = {1, 100, 1500, 1};
        stream.SetFrameHooks({&report, [this] {
                                  ++resends;
                                  return true;
                              }});
    }

    void Status(const StatusFields& f) {
        Bytes b = StatusBody(f);
        stream.OnStatusFrame(std::span<const uint8_t, 16>(b.data(), 16));
    }
    void Config(const ConfigFields& f) {
        Bytes b = ConfigBody(f);
        stream.OnConfigFrame(std::span<const uint8_t, 20>(b.data(), 20));
    }
    void Wave(const WaveFields& f) {
        Bytes b = WaveBody(f);
        stream.OnWaveFrame(b);
    }
    // Counter of a depth in metres with 80 counts per cm.
    static int32_t Counter(double m) { return static_cast<int32_t>(std::lround(m * 8000.0)); }
    // Rate word of a speed in m/min (counts per minute / 80).
    static int16_t Rate(double mpm) { return static_cast<int16_t>(std::lround(mpm * 100.0)); }

    void StartRecording() {
        ASSERT_TRUE(writer.Open(dir.File("log.zne"), dir.File("log.hed")));
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.Recording = 1;
    }
    std::vector<zns::DataFileRecord> ReadBack() {
        std::vector<zns::DataFileRecord> out;
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(dir.File("log.zne").c_str(), "rb"), &std::fclose);
        if (!f) return out;
        zns::DataFileRecord r;
        while (zns::ReadRecord(f.get(), r) == zns::RecordStatus::Ok) out.push_back(r);
        return out;
    }
    std::vector<double> RowDepths() const {
        std::vector<double> d;
        for (const auto& r : report.Rows()) d.push_back(r.depth);
        return d;
    }

    TempDir dir;
    SharedData shared;
    HeaderRecord header;
    zns::FakeClock clock{1000};
    zns::DataFileWriter writer;
    CToolsStream stream{shared, header, writer, {}, clock};
    RecordingReport report{&shared};
    int resends = 0;
};

// A smooth pulse arriving at `atUs` on a 4 us grid.
int16_t Pulse(int i, double atUs, double amp = 3000.0) {
    const double t = i * 4.0 - atUs;
    if (t < 0.0) return 0;
    return static_cast<int16_t>(std::lround(amp * std::sin(t / 40.0) * std::exp(-t / 200.0)));
}

}  // namespace

// ---- conversions -----------------------------------------------------------

TEST_F(FrameHandlersTest, DepthAndSpeedFollowTheWheel) {
    const AcquisitionSettings s = shared.SnapshotSettings();
    EXPECT_DOUBLE_EQ(CToolsStream::DepthFromCounter(s, 800000), 100.0);
    EXPECT_DOUBLE_EQ(CToolsStream::SpeedFromRate(s, 1250), 12.5);
    EXPECT_DOUBLE_EQ(CToolsStream::SpeedFromRate(s, -125), -1.25);
    // Nothing configured: no division by zero, no infinite depth.
    AcquisitionSettings none;
    EXPECT_EQ(CToolsStream::DepthFromCounter(none, 800000), 0.0);
    EXPECT_EQ(CToolsStream::SpeedFromRate(none, 1250), 0.0);
    // Halved encoder scale: head byte 3 carries the doubled interval.
    EXPECT_DOUBLE_EQ(CToolsStream::StepMetres(20, true), 0.10);
    EXPECT_DOUBLE_EQ(CToolsStream::StepMetres(10, false), 0.10);
}

// ---- configuration answer ----------------------------------------------------

TEST_F(FrameHandlersTest, AnswerMatchingCommandOneSendsNothing) {
    ASSERT_TRUE(QueueCommand(shared, CMD_1, 93));
    const auto c1 = shared.m_pCmd1Frame;
    shared.m_bNewData[0] = true;
    ConfigFields f;
    f.mode = 0x2C;
    f.scale = uint16_t(c1[4] | (c1[5] << 8));
    f.voltage = 93;
    f.counter = Counter(250.0);
    f.rate = Rate(-3.0);
    f.value1 = 91;
    f.value2 = 7;
    Config(f);

    EXPECT_EQ(resends, 0);
    EXPECT_EQ(report.LinkStatusCount(LINK_STATUS_STATE), 1);
    const SondeStatus s = shared.SnapshotSonde();
    EXPECT_EQ(s.FrameStatus, 1);
    EXPECT_EQ(s.Echo1500, 1500);
    EXPECT_EQ(s.VoltageEcho, 93);
    EXPECT_FALSE(shared.m_bNewData[0]);
    EXPECT_TRUE(shared.m_bNewData[1]);
    const LiveValues v = shared.SnapshotLive();
    EXPECT_DOUBLE_EQ(v.Depth, 250.0);
    EXPECT_DOUBLE_EQ(v.Speed, -3.0);
    EXPECT_EQ(v.Value1Text, "91");
    EXPECT_EQ(v.Value2Text, "7");
    EXPECT_EQ(shared.SnapshotLogger().FrameStatus, 0);
    EXPECT_EQ(shared.g_nWaveHeadFlag.load(), -1);
}

TEST_F(FrameHandlersTest, EachDifferingAnswerSendsCommandOneAgain) {
    ASSERT_TRUE(QueueCommand(shared, CMD_1, 90));
    const auto c1 = shared.m_pCmd1Frame;
    ConfigFields f;
    f.scale = uint16_t(c1[4] | (c1[5] << 8));
    f.voltage = 91;  // voltage echo differs
    Config(f);
    Config(f);
    EXPECT_EQ(resends, 2);
    f.voltage = 90;
    f.c1500 = 1501;
    Config(f);
    EXPECT_EQ(resends, 3);
}

TEST_F(FrameHandlersTest, AnswerWithBadSumOnlyReportsTheError) {
    Bytes b = ConfigBody({});
    b[19] ^= 1;
    stream.OnConfigFrame(std::span<const uint8_t, 20>(b.data(), 20));
    EXPECT_EQ(shared.SnapshotLogger().FrameStatus, 8);
    EXPECT_EQ(report.LinkStatusCount(LINK_STATUS_STATE), 1);
    EXPECT_EQ(shared.SnapshotSonde().Echo1500, 0);
    EXPECT_EQ(resends, 0);
}

TEST_F(FrameHandlersTest, AnswerAlarmBitsRaiseAlerts) {
    ASSERT_TRUE(QueueCommand(shared, CMD_1, 90));
    const auto c1 = shared.m_pCmd1Frame;
    ConfigFields f;
    f.scale = uint16_t(c1[4] | (c1[5] << 8));
    f.mode = 0xC0;
    Config(f);
    EXPECT_EQ(report.Alerts(), (std::vector<int>{0, 1}));
}

// ---- status frames -------------------------------------------------------------

TEST_F(FrameHandlersTest, StatusAlarmBitsRaiseOneAlertEachPerFrame) {
    Status({.mode = 0x40 | 12, .status = 1});
    EXPECT_EQ(report.Alerts(), std::vector<int>{0});
    Status({.mode = 0x80 | 12, .status = 1});
    EXPECT_EQ(report.Alerts(), (std::vector<int>{0, 1}));
    EXPECT_EQ(report.LinkStatusCount(LINK_STATUS_STATE), 2);
    EXPECT_TRUE(shared.m_bNewData[0]);
    EXPECT_TRUE(shared.m_bNewData[1]);
}

TEST_F(FrameHandlersTest, StatusWithBadSumChangesNothing) {
    Bytes b = StatusBody({.mode = 12, .counter = Counter(50.0), .status = 1});
    b[14] ^= 0x10;
    stream.OnStatusFrame(std::span<const uint8_t, 16>(b.data(), 16));
    EXPECT_EQ(shared.SnapshotLive().Depth, 0.0);
    EXPECT_EQ(report.LinkStatusCount(LINK_STATUS_STATE), 0);
    EXPECT_FALSE(shared.m_bNewData[1]);
}

TEST_F(FrameHandlersTest, UpLogWaitsForTheLastRecordedDepth) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.RecordingMode = RECMODE_UP;
        shared.session.Recording = 1;
    }
    shared.m_bDownDirection = false;
    shared.g_dLastDepth2 = 120.0;
    // Moving up, still below the last record: wait for it.
    Status({.mode = 10, .counter = Counter(121.0), .rate = Rate(-6.0), .status = 1});
    EXPECT_TRUE(shared.g_bBadDirection);
    EXPECT_TRUE(shared.g_bWaitLastDepth);

    shared.g_bBadDirection = false;
    Status({.mode = 10, .counter = Counter(119.0), .rate = Rate(-6.0), .status = 1});
    EXPECT_FALSE(shared.g_bBadDirection);
    EXPECT_FALSE(shared.g_bWaitLastDepth);

    // Moving down in an up log: wrong way, but not waiting.
    Status({.mode = 10, .counter = Counter(119.0), .rate = Rate(+6.0), .status = 1});
    EXPECT_TRUE(shared.g_bBadDirection);
    EXPECT_FALSE(shared.g_bWaitLastDepth);
}

TEST_F(FrameHandlersTest, StandingStillStopsTheRecordClockOnlyInDepthLogs) {
    shared.m_ftLastRecordMs = 0;
    Status({.mode = 11, .counter = Counter(10.0), .rate = 0, .status = 1});
    EXPECT_EQ(shared.m_ftLastRecordMs.load(), clock.NowSteadyMs());

    shared.m_ftLastRecordMs = 0;
    Status({.mode = 12, .counter = Counter(10.0), .rate = 0, .status = 1});
    EXPECT_EQ(shared.m_ftLastRecordMs.load(), 0);
}

TEST_F(FrameHandlersTest, HeaderlessStatusGivesAnEmptyRowAtThePreviousDepth) {
    Wave({.mode = 11, .counter = Counter(100.0), .rate = Rate(5.0), .traceByte = 0x01, .status = 1,
          .sample = [](int, int i) { return int16_t(i + 1); }});
    ASSERT_EQ(report.RowCount(), 1u);
    ASSERT_EQ(shared.m_nStatusOneFrames.load(), 1);

    Status({.mode = 11, .counter = Counter(100.05), .rate = Rate(5.0), .status = 0x81});
    const auto rows = report.Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_DOUBLE_EQ(rows[1].depth, 100.0);
    for (int16_t v : rows[1].trace[0]) ASSERT_EQ(v, 0);
    EXPECT_EQ(shared.m_nOtherFrames.load(), 1);
    EXPECT_EQ(report.LinkStatusCount(LINK_STATUS_VALUES), 2);
    EXPECT_DOUBLE_EQ(stream.PreviousDepth(), 100.05);
    EXPECT_EQ(shared.SnapshotSonde().TravelTime[0], kNoPick);
}

TEST_F(FrameHandlersTest, StatusFramesFillStepsTheSondeHasPassedOnce) {
    stream.SetPreviousDepth(50.0);
    Wave({.mode = 11, .stepCm = 10, .stepCount = 2, .counter = Counter(50.31), .rate = Rate(20.0), .status = 1});
    ASSERT_EQ(report.RowCount(), 3u);  // two steps and the frame

    report.ClearRows();
    Status({.mode = 11, .counter = Counter(50.45), .rate = Rate(20.0), .status = 1});
    EXPECT_EQ(shared.SnapshotLogger().StepFlag, 1);
    Status({.mode = 11, .counter = Counter(50.9), .rate = Rate(20.0), .status = 1});
    Status({.mode = 11, .counter = Counter(51.0), .rate = Rate(20.0), .status = 1});
    auto d = RowDepths();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_NEAR(d[0], 50.4, 1e-9);
    EXPECT_NEAR(d[1], 50.5, 1e-9);

    // The next frame's own steps over the same depths are not drawn twice.
    report.ClearRows();
    Wave({.mode = 11, .stepCm = 10, .stepCount = 2, .counter = Counter(50.61), .rate = Rate(20.0), .status = 1});
    d = RowDepths();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_NEAR(d[0], 50.6, 1e-9);
    // A time frame's bytes 3-4 are its 500 ms interval: no steps after it, no overrun.
    Wave({.mode = 12, .stepCm = 0xF4, .stepCount = 1, .counter = Counter(50.61), .status = 1});
    Status({.mode = 11, .counter = Counter(53.1), .rate = Rate(20.0), .status = 1});
    EXPECT_EQ(shared.SnapshotLogger().StepFlag, 0);
    EXPECT_EQ(report.RowCount(), 1u);
}

// ---- waveform frames -------------------------------------------------------------

TEST_F(FrameHandlersTest, DownStepsFillTheRowsBeforeTheFrame) {
    stream.SetPreviousDepth(100.0);
    Wave({.mode = 11, .stepCm = 10, .stepCount = 2, .counter = Counter(100.32), .rate = Rate(8.0), .status = 1});
    const auto d = RowDepths();
    ASSERT_EQ(d.size(), 3u);
    EXPECT_NEAR(d[0], 100.10, 1e-9);
    EXPECT_NEAR(d[1], 100.20, 1e-9);
    EXPECT_NEAR(d[2], 100.30, 1e-9);
    EXPECT_NEAR(stream.PreviousDepth(), 100.30, 1e-9);
    EXPECT_NEAR(shared.g_dLastDepth.load(), 100.30, 1e-9);
    EXPECT_EQ(shared.SnapshotLogger().StepFlag, 1);
    EXPECT_EQ(shared.m_nStatusOneFrames.load(), 1);
}

TEST_F(FrameHandlersTest, StepsStopAtTheDepthTheFrameReports) {
    stream.SetPreviousDepth(100.0);
    // Two steps of 10 cm announced, but the sonde is only 12 cm further.
    Wave({.mode = 11, .stepCm = 10, .stepCount = 2, .counter = Counter(100.12), .rate = Rate(8.0), .status = 1});
    const auto d = RowDepths();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_NEAR(d[0], 100.10, 1e-9);
    EXPECT_NEAR(d[1], 100.12, 1e-9);
    EXPECT_NEAR(stream.PreviousDepth(), 100.12, 1e-9);
}

TEST_F(FrameHandlersTest, UpStepsGoUpAndHalvedScaleHalvesTheStep) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        AcquisitionSettings& s = shared.settings;
        s.RecordingMode = RECMODE_UP;
        s.PulsResolution = 4000;  // 320 counts per cm: the scale sent is halved
        s.DepthFactor256 = DepthFactor256(s);
        s.DepthFactor = s.DepthFactor256 / 256.0;
        ASSERT_TRUE(IsEncoderScaleHalved(s));
    }
    stream.SetPreviousDepth(80.0);
    // The logger steps in doubled centimetres: byte 3 is 2 x 5 cm.
    Wave({.mode = 10, .stepCm = 10, .stepCount = 1, .counter = int32_t(79.89 * 32000), .rate = -500, .status = 1});
    const auto d = RowDepths();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_NEAR(d[0], 79.95, 1e-9);
    EXPECT_NEAR(d[1], 79.90, 1e-9);
}

TEST_F(FrameHandlersTest, NoStepsBeforeTheFirstFrame) {
    Wave({.mode = 11, .stepCm = 10, .stepCount = 3, .counter = Counter(100.0), .rate = Rate(8.0), .status = 1});
    const auto d = RowDepths();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_DOUBLE_EQ(d[0], 100.0);
}

TEST_F(FrameHandlersTest, FrameWithoutTracesHasNoPicks) {
    Wave({.mode = 12, .traceByte = 0, .status = 1});
    const SondeStatus s = shared.SnapshotSonde();
    for (int rx = 0; rx < 3; ++rx) {
        EXPECT_EQ(s.TravelTime[rx], kNoPick);
        EXPECT_EQ(s.TraceBytes[rx], 0);
    }
}

TEST_F(FrameHandlersTest, TracesArePickedWithEachReceiversSettings) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.RecordingMode = RECMODE_TIME;
        shared.settings.FA[2].Use = 0;
    }
    const double at[3] = {300.0, 400.0, 500.0};
    WaveFields f{.mode = 12, .gamma = 321, .gain = {6, 12, 18}, .baud = 0x84, .traceByte = 0x39, .status = 1};
    f.sample = [&](int rx, int i) { return Pulse(i, at[rx]); };
    Wave(f);

    const SondeStatus s = shared.SnapshotSonde();
    EXPECT_EQ(s.Code[0], 1);
    EXPECT_EQ(s.Code[1], 2);
    EXPECT_EQ(s.Code[2], 3);
    EXPECT_EQ(s.TraceBytes[0], 512);
    EXPECT_EQ(s.Gamma, 321);
    EXPECT_EQ(s.Gain[2], 18);
    EXPECT_EQ(shared.g_nWaveHeadFlag.load(), 1);
    // Rx1 and Rx2 sampled every 4 us, picked at the zero crossing before the pulse.
    EXPECT_NEAR(s.TravelTime[0], 300, 4);
    EXPECT_NEAR(s.TravelTime[1], 400, 4);
    EXPECT_EQ(s.TravelTime[2], kNoPick);  // its pick is off
    int16_t t[512];
    shared.SnapshotTrace(1, t, 512);
    EXPECT_EQ(t[150], Pulse(150, 400.0));
    EXPECT_EQ(report.LinkStatusCount(LINK_STATUS_VALUES), 1);
}

TEST_F(FrameHandlersTest, WaveWithBadSumStoresNothing) {
    Bytes b = WaveBody({.mode = 12, .counter = Counter(42.0), .traceByte = 0x15, .status = 1});
    b[30] ^= 0x01;  // a trace byte
    stream.OnWaveFrame(b);
    const SondeStatus s = shared.SnapshotSonde();
    EXPECT_EQ(s.TraceByte, 0);
    EXPECT_EQ(s.TraceBytes[0], 0);
    EXPECT_EQ(shared.SnapshotLive().Depth, 0.0);
    EXPECT_EQ(report.RowCount(), 0u);
    EXPECT_FALSE(shared.m_bNewData[2]);

    // A body shorter than its trace byte announces is dropped too.
    Bytes shortBody(40, 0);
    shortBody[21] = 0x3F;
    stream.OnWaveFrame(shortBody);
    EXPECT_EQ(report.RowCount(), 0u);
}

TEST_F(FrameHandlersTest, OtherFrameStatusClearsTracesAndPicks) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.RecordingMode = RECMODE_TIME;
    }
    WaveFields f{.mode = 12, .traceByte = 0x01, .status = 1};
    f.sample = [](int, int i) { return Pulse(i, 300.0); };
    Wave(f);
    ASSERT_NE(shared.SnapshotSonde().TravelTime[0], kNoPick);

    f.status = 0x08;
    Wave(f);
    int16_t t[512];
    shared.SnapshotTrace(0, t, 512);
    for (int16_t v : t) ASSERT_EQ(v, 0);
    EXPECT_EQ(shared.SnapshotSonde().TravelTime[0], kNoPick);
    EXPECT_EQ(report.RowCount(), 1u);  // not recording: no row
    EXPECT_EQ(shared.m_nOtherFrames.load(), 1);
}

TEST_F(FrameHandlersTest, WrongWayOrWrongModeMakesNoRow) {
    Wave({.mode = 11, .counter = Counter(10.0), .rate = Rate(-2.0), .status = 1});
    EXPECT_EQ(report.RowCount(), 0u);
    EXPECT_TRUE(shared.g_bBadDirection);

    shared.g_bBadDirection = false;
    Wave({.mode = 10, .counter = Counter(10.0), .rate = Rate(-2.0), .status = 1});  // settings say Down
    EXPECT_EQ(report.RowCount(), 0u);

    Wave({.mode = 11, .counter = Counter(10.0), .rate = Rate(2.0), .status = 0x20});
    EXPECT_EQ(report.RowCount(), 1u);
    EXPECT_TRUE(report.Alerts().empty());
}

// ---- records ---------------------------------------------------------------------

TEST_F(FrameHandlersTest, RecordingWritesOneRecordPerRowAfterTheArmingFrame) {
    StartRecording();
    shared.g_bFirstRecordPending = true;
    WaveFields f{.mode = 11, .rate = Rate(6.0), .gamma = 77, .gain = {3, 4, 5}, .traceByte = 0x05, .status = 1};
    for (int k = 0; k < 4; ++k) {
        f.counter = Counter(200.0 + 0.05 * k);
        f.sample = [k](int rx, int i) { return int16_t(1000 * k + 100 * rx + i % 50); };
        clock.Advance(100);
        Wave(f);
    }
    writer.Close();

    const auto recs = ReadBack();
    ASSERT_EQ(recs.size(), 3u);  // the first frame only arms
    const auto rows = report.Rows();
    ASSERT_EQ(rows.size(), 4u);
    for (size_t i = 0; i < recs.size(); ++i) {
        const auto& r = recs[i];
        const auto& row = rows[i + 1];
        EXPECT_EQ(r.depthMm, static_cast<int32_t>(std::trunc(row.depth * 1000.0)));
        EXPECT_EQ(r.speed, 600);
        EXPECT_EQ(r.gamma, 77);
        EXPECT_EQ(r.traceByte, 0x05);
        for (int rx = 0; rx < 2; ++rx) {
            ASSERT_EQ(r.SampleCount(rx), static_cast<int>(row.trace[rx].size()));
            for (int s = 0; s < r.SampleCount(rx); ++s) ASSERT_EQ(r.trace[rx][size_t(s)], row.trace[rx][size_t(s)]);
        }
    }
    writer.HeaderKeys().Flush();
    CIni ini(dir.File("log.hed"), "WellInfo", TRUE);
    EXPECT_EQ(ini.GetInt("Startdepth", -1), recs[0].depthMm);
    EXPECT_FALSE(shared.g_bFirstRecordPending);
}

TEST_F(FrameHandlersTest, StartingRecordWritesNothing) {
    StartRecording();
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.StartingRecord = 1;
    }
    Wave({.mode = 11, .counter = Counter(10.0), .rate = Rate(2.0), .status = 1});
    Wave({.mode = 11, .counter = Counter(10.1), .rate = Rate(2.0), .status = 1});
    writer.Close();
    EXPECT_TRUE(ReadBack().empty());
    EXPECT_TRUE(shared.g_bBadDirection);
}

TEST_F(FrameHandlersTest, WriteFailureIsReportedOnceAndStopsWriting) {
    zns::DataFileWriter failing([](int, const void*, size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    });
    CToolsStream s2(shared, header, failing, {}, clock);
    s2.SetFrameHooks({&report, {}});
    ASSERT_TRUE(failing.Open(dir.File("full.zne"), ""));
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.Recording = 1;
    }
    for (int k = 0; k < 3; ++k) {
        Bytes b = WaveBody({.mode = 11, .counter = Counter(5.0 + 0.1 * k), .rate = Rate(2.0), .status = 1});
        s2.OnWaveFrame(b);
    }
    EXPECT_EQ(report.Failures().size(), 1u);
    EXPECT_FALSE(failing.IsOpen());
    EXPECT_EQ(report.RowCount(), 3u);  // the display goes on
}
