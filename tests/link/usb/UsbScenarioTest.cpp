// The whole link against the simulated logger on virtual time: connection,
// power on in each mode, frames, depth, speed and picks, a recorded log read
// back record for record, every fault the logger can inject, unplug and
// replug, shutdown.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "LinkRig.h"
#include "sim/SimDriver.h"
#include "sim/SimLogger.h"
#include "sim/SimSignal.h"

using namespace linktest;
namespace sim = zns::sim;

namespace {

class UsbScenarioTest : public ::testing::Test {
protected:
    void SetUp() override {
        cfg.winchSpeedMpm = 6.0;
        cfg.winchDown = true;
        cfg.startDepthM = 100.0;
        logger = std::make_unique<sim::SimLogger>(clock, cfg);
        driver = zns::d2xx::MakeSimDriver(*logger, clock);
        rig.Make([this] {
            zns::d2xx::LoadResult r;
            r.driver = driver;
            return r;
        });
    }
    void TearDown() override { rig.usb->Shutdown(); }

    std::vector<int> Codes() {
        std::vector<int> c;
        for (const auto& r : logger->CommandLog()) c.push_back(r.code);
        return c;
    }
    // Lets `ms` of virtual time pass (the link's own waits move the clock).
    bool Elapse(int64_t ms) {
        const int64_t until = clock.NowSteadyMs() + ms;
        return WaitUntil([&] { return clock.NowSteadyMs() >= until; });
    }
    uint64_t Delivered() {
        const sim::SimSnapshot s = logger->Snapshot();
        return s.statusFrames + s.configFrames + s.waveFrames;
    }
    // Silences the logger and waits until the link has taken every byte.
    void Drain() {
        logger->SetSilent(true);
        ASSERT_TRUE(WaitUntil([&] { return logger->HostAvailable() == 0; }));
        ASSERT_TRUE(Elapse(1500));
        ASSERT_EQ(logger->HostAvailable(), 0u);
    }
    // A logger of another make, before Connect().
    void Remake() {
        logger = std::make_unique<sim::SimLogger>(clock, cfg);
        driver = zns::d2xx::MakeSimDriver(*logger, clock);
    }
    // A down log at `speedMpm` (at 9 m/min the sonde outruns the link: steps in
    // the frames); the depths of its records in mm.
    std::vector<int32_t> RecordDownLog(const std::string& data, size_t records, double speedMpm) {
        logger->SetWinchSpeed(speedMpm);
        {
            std::lock_guard<std::mutex> g(rig.appendMu);
            rig.appended.clear();
        }
        EXPECT_TRUE(rig.StartLog(data, data + ".hed"));
        EXPECT_TRUE(WaitUntil([&] { return rig.AppendedCount() >= records; }, 60000));
        rig.StopLog();
        std::vector<int32_t> depths;
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(data.c_str(), "rb"), &std::fclose);
        zns::DataFileRecord r;
        while (f && zns::ReadRecord(f.get(), r) == zns::RecordStatus::Ok) depths.push_back(r.depthMm);
        return depths;
    }
    void PowerOnDownWithLongTraces() {
        rig.Settings([](AcquisitionSettings& s) {
            s.ZNSModus_Rx2 = TLC_512_4US;
            s.ZNSModus_Rx3 = TLC_512_8US;
        });
        PowerOn(RECMODE_DOWN);
    }
    void Connect() {
        ASSERT_TRUE(rig.usb->Init());
        ASSERT_TRUE(WaitUntil([&] { return rig.report.LinkStatusCount(LINK_STATUS_STATE) > 0; }));
        ASSERT_TRUE(WaitUntil([&] { return rig.shared.SnapshotSonde().Echo1500 == 1500; }));
    }
    void PowerOn(int mode) {
        rig.Settings([mode](AcquisitionSettings& s) { s.RecordingMode = mode; });
        rig.shared.m_bDownDirection = mode != RECMODE_UP;
        logger->SetWinchDirection(mode != RECMODE_UP);
        rig.shared.m_bSondePowered = true;
        ASSERT_TRUE(rig.usb->sendF8());
        ASSERT_TRUE(WaitUntil([&] { return logger->Snapshot().mode == mode; }));
    }
    void PowerOff() {
        ASSERT_TRUE(rig.usb->sendF0());
        ASSERT_TRUE(WaitUntil([&] { return logger->Snapshot().mode == 0; }));
        rig.shared.m_bSondePowered = false;
    }

    PacedClock clock;
    sim::SimConfig cfg;
    std::unique_ptr<sim::SimLogger> logger;
    std::shared_ptr<zns::d2xx::ID2xx> driver;
    LinkRig rig{clock};
    TempDir dir;
};

}  // namespace

TEST_F(UsbScenarioTest, ConnectsWithCommandZeroThenOne) {
    Connect();
    ASSERT_TRUE(WaitUntil([&] { return Codes().size() >= 2; }));
    const auto codes = Codes();
    EXPECT_EQ(codes[0], 0);
    EXPECT_EQ(codes[1], 1);
    for (const auto& c : logger->CommandLog()) EXPECT_EQ(c.outcome, sim::CommandOutcome::Applied);

    EXPECT_TRUE(rig.shared.m_bLinkUp);
    EXPECT_TRUE(rig.shared.m_bUsbLoaded);
    EXPECT_TRUE(rig.usb->LinkWasUp());
    EXPECT_EQ(rig.report.TextsOf(SB_PART_LINK).front(), "Checking USB status.");
    EXPECT_EQ(rig.report.TextsOf(SB_PART_LINK).back(), "USB link connected");
    EXPECT_EQ(rig.report.TextsOf(SB_PART_COUNTER).front(), "0");
    EXPECT_EQ(rig.report.With([](const RecordingReport& r) { return r.identity; }),
              (std::pair<std::string, std::string>{"Logger", "QK-00000001"}));

    // The answer echoed what was sent: no second command 1, the status frames flow.
    ASSERT_TRUE(Elapse(3000));
    EXPECT_EQ(Codes().size(), 2u);
    EXPECT_EQ(rig.shared.m_nLinkState.load(), LINK_STATUS);
    EXPECT_GT(rig.usb->PacketCount(), 5);
    EXPECT_EQ(rig.report.LastTextOf(SB_PART_HARDWARE), "Packet size 16 Bytes");
    EXPECT_TRUE(rig.errors.Entries().empty());
}

TEST_F(UsbScenarioTest, PowerOnInEachModeDecodesDepthSpeedAndPicks) {
    Connect();
    for (int mode : {RECMODE_TIME, RECMODE_DOWN, RECMODE_UP}) {
        SCOPED_TRACE(mode);
        PowerOn(mode);
        const size_t rows0 = rig.report.RowCount();
        ASSERT_TRUE(WaitUntil([&] { return rig.report.RowCount() >= rows0 + 8; }));
        EXPECT_GE(rig.shared.m_nLinkState.load(), LINK_STATUS);

        // Virtual time runs while the test looks: bracket the frame by the truth
        // before and after it, and read depth and picks in one go.
        const double before = logger->Snapshot().trueDepthM;
        LiveValues v;
        SondeStatus s;
        AcquisitionSettings settings;
        std::vector<int16_t> traces[3];
        {
            std::lock_guard<std::mutex> g(rig.shared.acqMutex);
            v = rig.shared.live;
            s = rig.shared.sonde;
            settings = rig.shared.settings;
            for (int rx = 0; rx < 3; ++rx) traces[rx].assign(rig.shared.m_pTraceRx[rx].begin(), rig.shared.m_pTraceRx[rx].begin() + 256);
        }
        const double after = logger->Snapshot().trueDepthM;
        EXPECT_GE(v.Depth, std::min(before, after) - 0.2);
        EXPECT_LE(v.Depth, std::max(before, after) + 0.2);
        EXPECT_NEAR(v.Speed, mode == RECMODE_UP ? -6.0 : 6.0, 0.02);
        EXPECT_EQ(s.Mode & 0x0F, mode);
        EXPECT_EQ(s.TraceByte, 0x15);
        EXPECT_EQ(s.Gain[0], 6);
        EXPECT_EQ(s.Gain[2], 18);
        for (int rx = 0; rx < 3; ++rx) {
            SCOPED_TRACE(rx + 1);
            // The pick is the one the stored trace gives: both come from one frame.
            EXPECT_EQ(s.TravelTime[rx], PickTravelTime(settings, traces[rx].data(), 512, 4, rx + 1));
            // The first sample past the threshold (255, which the noise never
            // reaches) sits at the formation's arrival. The pick itself is the zero
            // crossing before it, which white noise can hold many samples early.
            const auto past = std::find_if(traces[rx].begin(), traces[rx].end(), [](int16_t x) { return x >= 255; });
            ASSERT_NE(past, traces[rx].end());
            sim::detail::TraceParams p;
            p.offsetM = cfg.rxOffsetM[rx];
            p.slowness = sim::SimLogger::FormationSlowness(v.Depth);
            EXPECT_NEAR(4.0 * static_cast<double>(past - traces[rx].begin()), sim::detail::CompressionalArrivalUs(p), 40.0);
            EXPECT_LE(s.TravelTime[rx], 4 * (past - traces[rx].begin()));
        }
        // Rows follow the direction of the log.
        const auto rows = rig.report.Rows();
        const double d0 = rows[rows0 + 2].depth, d1 = rows.back().depth;
        if (mode == RECMODE_DOWN) {
            EXPECT_GT(d1, d0);
        } else if (mode == RECMODE_UP) {
            EXPECT_LT(d1, d0);
        }
        PowerOff();
    }
    EXPECT_GT(rig.shared.m_nStatusOneFrames.load(), 20);
    EXPECT_TRUE(rig.errors.Entries().empty());
}

TEST_F(UsbScenarioTest, RecordsALogThatReadsBackRecordForRecord) {
    Connect();
    rig.Settings([](AcquisitionSettings& s) {
        s.ZNSModus_Rx2 = TLC_512_4US;
        s.ZNSModus_Rx3 = TLC_512_8US;
    });
    PowerOn(RECMODE_DOWN);
    ASSERT_TRUE(WaitUntil([&] { return rig.report.RowCount() >= 3; }));
    // Faster than one frame per 5 cm: the logger reports the intervals it skipped as steps.
    logger->SetWinchSpeed(9.0);

    const std::string data = dir.File("run.zne"), hed = dir.File("run.hed");
    ASSERT_TRUE(rig.StartLog(data, hed));
    ASSERT_TRUE(WaitUntil([&] { return rig.AppendedCount() >= 40; }, 60000));
    rig.StopLog();
    PowerOff();

    ExpectLogReadsBack(rig, data, +1);
    const auto recs = rig.Appended();
    ASSERT_GE(recs.size(), 40u);
    // Frames alone come 6.2 cm apart at this speed: the steps fill the 5 cm
    // intervals the sonde passed meanwhile, never ahead of it.
    zns::DataFileRecord first, last, r;
    int maxGap = 0;
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(data.c_str(), "rb"), &std::fclose);
        ASSERT_EQ(zns::ReadRecord(f.get(), first), zns::RecordStatus::Ok);
        last = first;
        while (zns::ReadRecord(f.get(), r) == zns::RecordStatus::Ok) {
            maxGap = std::max(maxGap, r.depthMm - last.depthMm);
            last = r;
        }
    }
    EXPECT_EQ(first.traceByte, 0x39);
    EXPECT_LE(maxGap, 65);
    EXPECT_LT((last.depthMm - first.depthMm) / double(recs.size() - 1), 55.0);
    CIni ini(hed, "WellInfo", TRUE);
    EXPECT_EQ(ini.GetInt("Startdepth", -1), first.depthMm);
    EXPECT_GT(last.elapsedMs, 0u);
    EXPECT_TRUE(rig.report.Failures().empty());
}

TEST_F(UsbScenarioTest, SurvivesEveryInjectedFault) {
    Connect();
    rig.Settings([](AcquisitionSettings& s) { s.TimeInterval = 1000; });  // status frames fill the gaps
    PowerOn(RECMODE_TIME);
    ASSERT_TRUE(WaitUntil([&] { return rig.report.RowCount() >= 3; }));

    struct Case {
        const char* name;
        std::function<void()> inject;
        std::function<void()> undo;
        int spoiled;  // frames the fault makes unreadable (their numbers count as lost)
        int skipped;  // sequence numbers skipped
    };
    const std::vector<Case> cases = {
        {"split reads", [&] { logger->SetSplitReads(7); }, [&] { logger->SetSplitReads(0); }, 0, 0},
        {"garbage", [&] { logger->InjectGarbage(333); }, {}, 0, 0},
        {"false syncs", [&] { logger->InjectFalseSync(3); }, {}, 0, 0},
        {"bad sums", [&] { logger->CorruptNext(sim::FrameFault::BadSum, 2); }, {}, 2, 0},
        {"bad end bytes", [&] { logger->CorruptNext(sim::FrameFault::BadEnd, 2); }, {}, 2, 0},
        {"bad lengths", [&] { logger->CorruptNext(sim::FrameFault::BadLength, 2); }, {}, 2, 0},
        // One at a time: two headless blocks in a row are not told apart.
        {"headerless", [&] { logger->CorruptNext(sim::FrameFault::Headerless, 1); }, {}, 0, 0},
        {"headerless long", [&] { logger->CorruptNext(sim::FrameFault::HeaderlessLong, 1); }, {}, 0, 0},
        {"sequence gap", [&] { logger->SkipSequence(5); }, {}, 0, 5},
        {"silence", [&] { logger->SilenceFor(4000); }, {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Drain();
        const int packets0 = rig.usb->PacketCount();
        const int lost0 = rig.usb->LostFrames();
        const int rejected0 = rig.usb->RejectedFrames();
        const uint64_t delivered0 = Delivered();
        logger->SetSilent(false);

        c.inject();
        ASSERT_TRUE(WaitUntil([&] { return Delivered() >= delivered0 + 12; }, 60000));
        if (c.undo) c.undo();
        ASSERT_TRUE(WaitUntil([&] { return Delivered() >= delivered0 + 16; }, 60000));
        Drain();

        const int dispatched = rig.usb->PacketCount() - packets0;
        const int delivered = static_cast<int>(Delivered() - delivered0);
        // Every good frame is dispatched; a spoiled one at most as a headerless status block.
        EXPECT_GE(dispatched, delivered - c.spoiled);
        EXPECT_LE(dispatched, delivered);
        if (c.spoiled == 0) {
            EXPECT_EQ(dispatched, delivered);
        } else {
            EXPECT_GT(rig.usb->RejectedFrames(), rejected0);
        }
        EXPECT_EQ(rig.usb->LostFrames() - lost0, c.skipped + c.spoiled);
        EXPECT_TRUE(rig.shared.m_bLinkUp);
        EXPECT_EQ(rig.usb->ReceiveStarts(), 1);
    }
    logger->SetSilent(false);
    // The silence showed "Data wait ..." and the link text came back after it.
    const auto link = rig.report.TextsOf(SB_PART_LINK);
    EXPECT_NE(std::find(link.begin(), link.end(), "Data wait ..."), link.end());
    ASSERT_TRUE(WaitUntil([&] { return rig.report.LastTextOf(SB_PART_LINK) == "USB link connected"; }));
}

// Frames that carry the counter behind the interval marks they report as passed:
// the rows of the steps stop at the frame's depth, so the log still only goes down.
TEST_F(UsbScenarioTest, CounterBehindTheIntervalMarksKeepsTheLogInOrder) {
    cfg.counterLagCm = 4.0;
    Remake();
    Connect();
    PowerOnDownWithLongTraces();
    const std::string data = dir.File("lag.zne");
    const auto depths = RecordDownLog(data, 40, 9.0);
    PowerOff();
    ExpectLogReadsBack(rig, data, +1);
    ASSERT_GE(depths.size(), 40u);
    EXPECT_LT((depths.back() - depths.front()) / double(depths.size() - 1), 55.0);
    EXPECT_TRUE(rig.report.Failures().empty());
}

// More than 250 counts per cm: command 1 carries half the scale and command 8 twice
// the interval, and the step the frames report is in the logger's half centimetres.
TEST_F(UsbScenarioTest, FineEncoderRecordsOnTheDepthInterval) {
    cfg.encoderCountsPerCm = 320.0;
    Remake();
    rig.Settings([](AcquisitionSettings& s) {
        s.PulsResolution = 4000;  // 320 counts per cm on the 500 mm wheel
        s.DepthFactor256 = DepthFactor256(s);
        s.DepthFactor = s.DepthFactor256 / 256.0;
    });
    Connect();
    ASSERT_EQ(logger->Snapshot().scale, 320 * 256 / 2);
    PowerOnDownWithLongTraces();
    EXPECT_EQ(logger->Snapshot().interval, 10);

    // Slowly, each frame at its mark: every record on the 5 cm grid, one per interval.
    const std::string slow = dir.File("slow.zne");
    auto depths = RecordDownLog(slow, 20, 3.0);
    ExpectLogReadsBack(rig, slow, +1);
    ASSERT_GE(depths.size(), 20u);
    for (size_t i = 0; i < depths.size(); ++i) {
        EXPECT_EQ(depths[i] % 50, 0) << i;
        if (i > 0) { EXPECT_EQ(depths[i] - depths[i - 1], 50) << i; }
    }

    // Faster than the link: the steps fill the intervals passed, 5 cm apart, not 10.
    const std::string fast = dir.File("fast.zne");
    depths = RecordDownLog(fast, 40, 9.0);
    PowerOff();
    ExpectLogReadsBack(rig, fast, +1);
    ASSERT_GE(depths.size(), 40u);
    int maxGap = 0;
    for (size_t i = 1; i < depths.size(); ++i) maxGap = std::max(maxGap, depths[i] - depths[i - 1]);
    EXPECT_LE(maxGap, 65);
    EXPECT_LT((depths.back() - depths.front()) / double(depths.size() - 1), 55.0);
    EXPECT_TRUE(rig.report.Failures().empty());
}

TEST_F(UsbScenarioTest, UnplugShowsTheBoxOnceAndReplugReconnects) {
    Connect();
    PowerOn(RECMODE_DOWN);
    ASSERT_TRUE(WaitUntil([&] { return rig.report.RowCount() >= 3; }));

    logger->Unplug();
    ASSERT_TRUE(WaitUntil([&] { return rig.usb->LastReceiveExit() == CUSB::EXIT_RX_LINK_ERROR; }));
    ASSERT_TRUE(WaitUntil([&] { return rig.report.LastTextOf(SB_PART_HARDWARE) == "Not hardware detected."; }));
    EXPECT_FALSE(rig.shared.m_bReceiveRunning);
    const auto errs = rig.errors.Entries();
    // The read may fail first (1052); the queue status ends the loop (5550).
    EXPECT_NE(std::find(errs.begin(), errs.end(), std::pair<std::string, std::string>{"err5550", "IO Error"}),
              errs.end());
    const auto beeps = rig.report.Beeps();
    ASSERT_GE(beeps.size(), 2u);
    EXPECT_EQ(beeps[0], (std::pair<int, int>{1200, 100}));
    EXPECT_EQ(beeps[1], (std::pair<int, int>{300, 200}));

    // 35 rounds of 250 ms: the box, once; then the never-up rule switches the sonde off, once.
    ASSERT_TRUE(WaitUntil([&] { return !rig.report.Boxes().empty(); }));
    const auto box = rig.report.Boxes().front();
    EXPECT_EQ(box.rfind("I/O USB error.\nApplication stopped at ", 0), 0u) << box;
    EXPECT_EQ(box.substr(box.size() - 2), "m.");
    // It came with the 35th round that found no logger, not one round sooner or later.
    EXPECT_EQ(rig.report.With([](const RecordingReport& r) {
        return std::count(r.texts.begin(), r.texts.begin() + static_cast<ptrdiff_t>(r.textsAtBox.front()),
                          std::pair<int, std::string>{SB_PART_HARDWARE, "Not hardware detected."});
    }),
              35);
    EXPECT_FALSE(rig.usb->LinkWasUp());
    ASSERT_TRUE(Elapse(10000));
    EXPECT_EQ(rig.report.Boxes().size(), 1u);
    EXPECT_EQ(rig.report.PowerOffs(), 1);
    EXPECT_FALSE(rig.shared.m_bLinkUp);
    rig.shared.m_bSondePowered = false;  // the power panel did it

    logger->ClearCommandLog();
    logger->Replug();
    ASSERT_TRUE(WaitUntil([&] { return rig.usb->ReceiveStarts() == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return Codes().size() >= 2; }));
    const auto codes = Codes();
    EXPECT_EQ(codes[0], 0);
    EXPECT_EQ(codes[1], 1);
    EXPECT_TRUE(rig.usb->LinkWasUp());
    EXPECT_EQ(rig.usb->FailureCount(), 0);
}

TEST_F(UsbScenarioTest, ShortLossReconnectsWithoutCommandsOrBox) {
    clock.SetSpeedup(20);  // the test must replug before the 35th round
    Connect();
    logger->Unplug();
    ASSERT_TRUE(WaitUntil([&] { return rig.usb->LastReceiveExit() == CUSB::EXIT_RX_LINK_ERROR; }));
    ASSERT_TRUE(Elapse(2000));
    logger->ClearCommandLog();
    logger->Replug();
    ASSERT_TRUE(WaitUntil([&] { return rig.usb->ReceiveStarts() == 2; }));
    ASSERT_TRUE(Elapse(2000));
    EXPECT_TRUE(Codes().empty());  // the logger kept its settings
    EXPECT_TRUE(rig.report.Boxes().empty());
    EXPECT_EQ(rig.report.PowerOffs(), 0);
}

TEST_F(UsbScenarioTest, ShutdownJoinsEveryThreadPromptly) {
    Connect();
    PowerOn(RECMODE_TIME);
    ASSERT_TRUE(WaitUntil([&] { return rig.report.RowCount() >= 2; }));
    const auto t0 = std::chrono::steady_clock::now();
    rig.usb->Shutdown();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    EXPECT_LT(ms.count(), 2000);
    EXPECT_EQ(rig.usb->LastReceiveExit(), CUSB::EXIT_RX_STOPPED);
    EXPECT_EQ(rig.usb->LastSendExit(), CUSB::EXIT_EXITING);
    EXPECT_FALSE(rig.shared.m_bReceiveRunning);
    EXPECT_FALSE(rig.shared.m_bSendRunning);
    EXPECT_FALSE(rig.shared.m_bLinkWatchRunning);
    EXPECT_EQ(rig.shared.TxLength(), 0);
    EXPECT_FALSE(rig.usb->StartLinkWatch());
}
