// The player: its pace, one thread at a time, and a replay that gives back
// what was recorded, record for record.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Harness.h"

using namespace rectest;

namespace {

TEST(PlayerPace, FollowsSliderScaleAndStep) {
    // Slider 25 of 1..50 with a header step of 20 (a depth log): n = 26, F = 2.
    const double f = zns::PlayerFactor(20, HEADER_LOG_DOWN);
    EXPECT_DOUBLE_EQ(f, 2.0);
    EXPECT_EQ(zns::PlayerTicks(50, 25, 100), 26);
    EXPECT_EQ(zns::PlayerWaitMs(*zns::PlayerDue100ns(zns::PlayerTicks(50, 25, 100), f)), 260);
    EXPECT_EQ(zns::PlayerWaitMs(*zns::PlayerDue100ns(zns::PlayerTicks(50, 25, 500), f)), 130);
    EXPECT_EQ(zns::PlayerWaitMs(*zns::PlayerDue100ns(zns::PlayerTicks(50, 25, 25), f)), 780);
    EXPECT_EQ(zns::PlayerTicks(50, 25, 50), 52);
    EXPECT_EQ(zns::PlayerTicks(50, 25, 200), 26);
    EXPECT_EQ(zns::PlayerTicks(50, 50, 500), 1);  // n / 2, at least 1
    EXPECT_EQ(zns::PlayerTicks(50, 1, 100), 50);  // slowest
    // A time log plays at factor 1 whatever its step.
    EXPECT_DOUBLE_EQ(zns::PlayerFactor(500, HEADER_LOG_TIME), 1.0);
    EXPECT_DOUBLE_EQ(zns::PlayerFactor(7, HEADER_LOG_UP), 0.7);
    // Half milliseconds wait the whole one; no wait beyond 10 s.
    EXPECT_EQ(zns::PlayerWaitMs(*zns::PlayerDue100ns(1, 0.7)), 4);
    EXPECT_EQ(zns::PlayerWaitMs(*zns::PlayerDue100ns(150, 1000.0)), 10000);
    // A step of 0 or below still plays, one 5 ms tick per record.
    EXPECT_EQ(zns::PlayerDue100ns(26, 0.0), 50000);
    EXPECT_EQ(zns::PlayerDue100ns(26, -2.0), 50000);
    // Nothing to pace with.
    EXPECT_FALSE(zns::PlayerDue100ns(26, std::nan("")));
    EXPECT_FALSE(zns::PlayerDue100ns(26, 1e300));
}

// A file of `count` small records with depths 1000 + i mm.
void WriteFile(const std::string& path, int count) {
    zns::DataFileWriter w;
    ASSERT_TRUE(w.Open(path, ""));
    for (int i = 0; i < count; ++i) {
        auto r = std::make_unique<zns::DataFileRecord>();
        r->depthMm = 1000 + i;
        r->traceByte = 0x01;
        for (int k = 0; k < 256; ++k) r->trace[0][static_cast<size_t>(k)] = static_cast<int16_t>(i * 3 + k);
        uint8_t buf[zns::kRecordMaxBytes];
        ASSERT_TRUE(w.Append(buf, zns::EncodeRecord(*r, buf)));
    }
    w.Close();
}

// The player over a plain file with its own reader: depths of the records shown.
class PlayerFileTest : public ::testing::Test {
protected:
    PlayerHooks Hooks() {
        PlayerHooks h;
        h.readRecord = [this](int64_t pos) {
            std::FILE* f = std::fopen(path.c_str(), "rb");
            if (!f) return false;
            bool ok = std::fseek(f, static_cast<long>(pos), SEEK_SET) == 0;
            zns::DataFileRecord rec;
            size_t size = 0;
            ok = ok && zns::ReadRecord(f, rec, &size) == zns::RecordStatus::Ok;
            std::fclose(f);
            if (!ok) return false;
            position.store(pos + static_cast<int64_t>(size));
            std::lock_guard<std::mutex> g(m);
            depths.push_back(rec.depthMm);
            return true;
        };
        h.onPacingFailed = [this](const std::string& t) {
            std::lock_guard<std::mutex> g(m);
            failures.push_back(t);
        };
        return h;
    }
    std::vector<int32_t> Depths() {
        std::lock_guard<std::mutex> g(m);
        return depths;
    }
    bool Running() { return shared.SnapshotSession().Running != 0; }

    TempFolder folder;
    std::string path = folder / "p.zne";
    SharedData shared;
    std::atomic<int64_t> position{0};
    std::mutex m;
    std::vector<int32_t> depths;
    std::vector<std::string> failures;
};

TEST_F(PlayerFileTest, PlaysToTheEndThenStandsAtTheStart) {
    WriteFile(path, 40);
    zns::FakeClock clock;
    shared.settings.VScale = 100;
    CPlayer player(shared, position, clock, Hooks());
    player.SetSliderPos(50);
    ASSERT_TRUE(player.StartPlayer(1.0));
    player.Join();
    const auto d = Depths();
    ASSERT_EQ(d.size(), 40u);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(d[static_cast<size_t>(i)], 1000 + i);
    EXPECT_FALSE(Running());
    EXPECT_EQ(position.load(), 0);
    EXPECT_FALSE(shared.m_bPlayerRunning.load());
    EXPECT_EQ(player.LastExitCode(), CPlayer::EXIT_DONE);
    // 40 waits of 5 ms and the one that finds the end.
    EXPECT_EQ(clock.NowSteadyMs(), 41 * 5);
}

TEST_F(PlayerFileTest, AStepOfZeroOrBelowPlaysAtOneTickPerRecord) {
    WriteFile(path, 5);
    zns::FakeClock clock;
    int ended = 0;
    PlayerHooks h = Hooks();
    h.onEnded = [&] { ++ended; };
    CPlayer player(shared, position, clock, h);
    for (int step : {0, -20}) {
        ASSERT_TRUE(player.StartPlayer(zns::PlayerFactor(step, HEADER_LOG_DOWN)));
        player.Join();
        EXPECT_EQ(player.LastExitCode(), CPlayer::EXIT_DONE);
        EXPECT_FALSE(Running());
        EXPECT_TRUE(failures.empty());
    }
    EXPECT_EQ(Depths().size(), 10u);
    EXPECT_EQ(clock.NowSteadyMs(), 2 * 6 * 5);
    EXPECT_EQ(ended, 2);  // the end of the file tells the panel
    // A stop asked for is not an end by itself (on the real clock: 10 s before the first record).
    CPlayer slow(shared, position, zns::DefaultClock(), h);
    ASSERT_TRUE(slow.StartPlayer(1000.0));
    slow.Stop();
    EXPECT_EQ(ended, 2);
}

TEST_F(PlayerFileTest, QuickPausePlayNeverRunsTwoThreadsNorSkipsARecord) {
    WriteFile(path, 400);
    CPlayer player(shared, position, zns::DefaultClock(), Hooks());
    player.SetSliderPos(50);  // 5 ms a record
    shared.settings.VScale = 100;
    for (int i = 0; i < 60 && Depths().size() < 400; ++i) {
        player.StartPlayer(1.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 3 == 0 ? 0 : 7));
        player.RequestStop();  // Pause
        if (i % 4 == 0) std::this_thread::yield();
    }
    player.Stop();
    EXPECT_EQ(player.MaxConcurrentThreads(), 1);
    EXPECT_GT(player.ThreadsStarted(), 1);
    // Resumed where it paused: no record shown twice, none left out.
    const auto d = Depths();
    for (size_t i = 0; i < d.size(); ++i) ASSERT_EQ(d[i], 1000 + static_cast<int32_t>(i));
}

TEST_F(PlayerFileTest, StopEndsALongWaitAtOnce) {
    WriteFile(path, 3);
    CPlayer player(shared, position, zns::DefaultClock(), Hooks());
    player.SetSliderPos(1);
    shared.settings.VScale = 25;
    ASSERT_TRUE(player.StartPlayer(50.0));  // a wait of 10 s
    EXPECT_FALSE(player.StartPlayer(50.0));  // a second press starts nothing
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const auto t0 = std::chrono::steady_clock::now();
    player.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));  // half the wait
    EXPECT_TRUE(Depths().empty());
    EXPECT_FALSE(shared.m_bPlayerRunning.load());
    EXPECT_EQ(player.ThreadsStarted(), 1);
}

TEST_F(PlayerFileTest, ExitFlagEndsThePlayer) {
    WriteFile(path, 3);
    CPlayer player(shared, position, zns::DefaultClock(), Hooks());
    player.SetSliderPos(1);
    ASSERT_TRUE(player.StartPlayer(50.0));
    shared.m_bExiting.store(true);
    player.Join();
    EXPECT_TRUE(Depths().empty());
}

// ---------------------------------------------------------------------------
// Recorded from the simulated logger, then replayed through the replay entry of
// the data-file records at each pace.

struct Shown {
    int64_t atMs = 0;
    LoggerStatus logger;
    std::array<std::vector<int16_t>, 3> traces;
};

TEST(RecordAndReplay, ReplayGivesBackWhatWasRecordedAtEachPace) {
    Rig rig;
    rig.LinkUp();
    rig.power.OnBnClickedPower();
    ASSERT_TRUE(rig.RunUntil([&] { return !rig.power.Adjusting(); }, 20000));
    // The recording-mode dialog: a down log every 20 cm.
    {
        std::lock_guard<std::mutex> g(rig.shared.acqMutex);
        rig.shared.settings.RecordingMode = RECMODE_DOWN;
        rig.shared.settings.DepthInterval = 20;
        rig.shared.session.NewLogSet = 1;
    }
    QueueCommand(rig.shared, CMD_8, 90);
    rig.header.LogMode = zns::HeaderLogModeFromRecordingMode(RECMODE_DOWN);
    rig.sim.SetWinchDirection(true);
    rig.sim.SetWinchSpeed(30.0);
    rig.Run(1000);
    ASSERT_EQ(rig.recorder.StartRecordFile(rig.power.Powered()), CRecorder::StartResult::Started);
    ASSERT_EQ(rig.header.step, 20);
    ASSERT_TRUE(rig.RunUntil([&] { return rig.RecordsWritten() >= 300; }, 400000));
    ASSERT_TRUE(rig.recorder.CloseRecordFile());

    const auto recorded = ReadAllRecords(rig.folder / "log.zne");
    ASSERT_EQ(static_cast<int>(recorded.size()), rig.RecordsWritten());

    // Replay as "&Open" leaves it: a file loaded, at its first record.
    rig.shared.m_nLinkState.store(LINK_IDLE);
    const struct {
        int vscale;
        int64_t waitMs;
    } paces[] = {{100, 260}, {500, 130}, {25, 780}};
    for (const auto& pace : paces) {
        SCOPED_TRACE(pace.vscale);
        zns::FakeClock clock;
        std::vector<Shown> shown;
        PlayerHooks h;
        h.readRecord = [&](int64_t pos) { return rig.stream.ReadDataLineInFileZne(pos); };
        h.onRecord = [&] {
            Shown s;
            s.atMs = clock.NowSteadyMs();
            s.logger = rig.shared.SnapshotLogger();
            for (int rx = 0; rx < 3; ++rx) {
                s.traces[rx].resize(static_cast<size_t>(TraceSamplesForCode(s.logger.Code[rx])));
                rig.shared.SnapshotTrace(rx, s.traces[rx].data(), s.traces[rx].size());
            }
            shown.push_back(std::move(s));
        };
        {
            std::lock_guard<std::mutex> g(rig.shared.acqMutex);
            rig.shared.settings.VScale = pace.vscale;
            rig.shared.session.ReplayLoaded = 1;
        }
        rig.stream.m_posReplay.store(0);
        CPlayer player(rig.shared, rig.stream.m_posReplay, clock, h);
        player.SetSliderPos(25);
        ASSERT_TRUE(player.StartPlayer(zns::PlayerFactor(rig.header.step, rig.header.LogMode)));
        player.Join();

        ASSERT_EQ(shown.size(), recorded.size());
        for (size_t i = 0; i < shown.size(); ++i) {
            const Shown& s = shown[i];
            const zns::DataFileRecord& r = recorded[i];
            EXPECT_EQ(s.atMs, static_cast<int64_t>(i + 1) * pace.waitMs) << i;
            EXPECT_DOUBLE_EQ(s.logger.ReplayDepth, r.depthMm / 1000.0) << i;
            EXPECT_EQ(s.logger.Gamma, r.gamma) << i;
            EXPECT_EQ(s.logger.TraceByte, r.traceByte) << i;
            for (int rx = 0; rx < 3; ++rx) {
                EXPECT_EQ(s.logger.Gain[rx], r.gain[rx]) << i;
                EXPECT_EQ(s.logger.TravelTime[rx], r.travelTime[rx]) << i;
                ASSERT_EQ(static_cast<int>(s.traces[rx].size()), r.SampleCount(rx)) << i;
                for (size_t k = 0; k < s.traces[rx].size(); ++k)
                    ASSERT_EQ(s.traces[rx][k], r.trace[rx][k]) << i << " rx " << rx << " sample " << k;
            }
        }
        EXPECT_EQ(rig.shared.SnapshotSession().Running, 0);
        EXPECT_EQ(rig.stream.m_posReplay.load(), 0);
        EXPECT_TRUE(rig.errors.empty());
    }
}

}  // namespace
