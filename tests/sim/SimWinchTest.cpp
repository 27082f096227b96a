// Winch, depth counter, rate word and the pacing of waveform frames.
#include <gtest/gtest.h>

#include <cmath>

#include "SimTestSupport.h"

using namespace simtest;
using zns::sim::SimConfig;

namespace {

// Speed in m/min as the program decodes the rate word for N pulses, W mm.
double DecodeSpeed(int16_t rate, double n = 1000, double wMm = 500) { return rate * (2.0 * wMm / n) / 100.0; }

Settings8 DepthMode(uint8_t mode, uint16_t interval, uint8_t baud, uint8_t traceByte) {
    Settings8 s;
    s.mode = mode;
    s.interval = interval;
    s.baud = baud;
    s.traceByte = traceByte;
    s.upGain = 15;
    s.downDrive = 27;
    s.upDrive = std::min<uint8_t>(20, static_cast<uint8_t>(4 * baud));
    return s;
}

}  // namespace

TEST(SimWinch, CounterAndRateFollowTheWinch) {
    Rig rig;
    rig.Run(300);
    const int32_t start = rig.Statuses().back().Counter();
    EXPECT_NEAR(start, 100 * 100 * 80, 1) << "counter starts at the sonde's depth";

    rig.sim.SetWinchSpeed(10.0);
    rig.Run(60000, 50);
    const Frame f = rig.Statuses().back();
    EXPECT_NEAR(f.Counter() - start, 10 * 100 * 80, 400 /* one status period */);
    EXPECT_EQ(f.Rate(), 1000);
    EXPECT_DOUBLE_EQ(DecodeSpeed(f.Rate()), 10.0);
    EXPECT_NEAR(rig.sim.Snapshot().trueDepthM, 110.0, 0.01);

    rig.sim.SetWinchDirection(false);
    rig.Run(1000, 50);
    EXPECT_EQ(rig.Statuses().back().Rate(), -1000);
    EXPECT_LT(rig.Statuses().back().Counter(), f.Counter() + 400);
}

TEST(SimWinch, EncoderDirectionBitReversesTheCount) {
    SimConfig cfg;
    cfg.winchSpeedMpm = 6.0;
    Rig rig(cfg);
    rig.Send(Cmd1(0x20, 20480, 90));
    rig.Run(2000, 50);
    EXPECT_EQ(rig.Statuses().back().Rate(), -600);

    // A reversed encoder is put right by the same bit.
    cfg.encoderInverted = true;
    Rig inv(cfg);
    inv.Run(1000, 50);
    EXPECT_EQ(inv.Statuses().back().Rate(), -600);
    inv.Send(Cmd1(0x20, 20480, 90));
    inv.Run(1000, 50);
    EXPECT_EQ(inv.Statuses().back().Rate(), 600);
}

TEST(SimWinch, PresetByCommandTwo) {
    SimConfig cfg;
    cfg.winchSpeedMpm = 3.0;  // 400 counts a second
    Rig rig(cfg);
    rig.Run(500);
    rig.Send(Cmd2(-12345));
    rig.Run(1000, 10);
    const auto st = rig.Statuses();
    const Frame& last = st.back();
    EXPECT_GE(last.Counter(), -12345);
    EXPECT_LE(last.Counter(), -12345 + 400 + 4);
}

TEST(SimWinch, DepthModeSendsOneWaveformPerInterval) {
    SimConfig cfg;
    cfg.winchSpeedMpm = 6.0;  // 10 cm a second
    Rig rig(cfg);
    rig.Send(Cmd1(0, 20480, 90));
    rig.Send(Cmd8(DepthMode(11, 10, 4, 0x15)));
    rig.Run(30500, 10);
    const auto waves = rig.Waves();
    ASSERT_GE(waves.size(), 29u);
    ASSERT_LE(waves.size(), 31u);
    for (size_t i = 0; i < waves.size(); ++i) {
        const Bytes& b = waves[i].body;
        EXPECT_EQ(b[0] & 0x0F, 11);
        EXPECT_EQ(b[3], 10) << "depth step in cm";
        EXPECT_EQ(b[4], 0) << "no steps while the link keeps up";
        EXPECT_LE(waves[i].Counter() % 800, 2) << "fired on a multiple of the interval";
        if (i > 0) {
            EXPECT_NEAR(waves[i].Counter() - waves[i - 1].Counter(), 800, 2);
        }
    }
    // The winch standing still: no waveform, status frames keep the depth current.
    rig.sim.SetWinchSpeed(0.0);
    const size_t from = rig.parser.frames.size();
    rig.Run(5000, 10);
    EXPECT_TRUE(rig.Waves(from).empty());
    EXPECT_GE(rig.Statuses(from).size(), 15u);
}

TEST(SimWinch, SondeOutrunningTheLinkReportsSteps) {
    SimConfig cfg;
    cfg.winchSpeedMpm = 30.0;  // 50 cm a second, five intervals
    Rig rig(cfg);
    rig.Send(Cmd1(0, 20480, 90));
    rig.Send(Cmd8(DepthMode(11, 10, 20, 0x3F)));  // ~1 s per frame at 31250 baud
    rig.Run(20000, 10);
    const auto waves = rig.Waves();
    ASSERT_GE(waves.size(), 15u);
    int covered = 0;
    for (size_t i = 1; i < waves.size(); ++i) {
        const int steps = waves[i].body[4];
        EXPECT_GE(steps, 3);
        EXPECT_LE(steps, 5);
        const int moved = waves[i].Counter() - waves[i - 1].Counter();
        EXPECT_LT(std::abs(moved - (steps + 1) * 800), 800 + 2);
        covered += steps + 1;
        if (i > 0) {
            EXPECT_GE(waves[i].atMs - waves[i - 1].atMs, 990);
        }
    }
    // Every interval passed is accounted for, as a frame or as a step.
    const int total = (waves.back().Counter() - waves.front().Counter()) / 800;
    EXPECT_NEAR(covered, total, 1);
}

TEST(SimWinch, UpModeFiresWhileGoingUp) {
    SimConfig cfg;
    cfg.winchSpeedMpm = 12.0;
    cfg.winchDown = false;
    Rig rig(cfg);
    rig.Send(Cmd1(0, 20480, 90));
    rig.Send(Cmd8(DepthMode(10, 20, 4, 0x05)));
    rig.Run(10000, 10);
    const auto waves = rig.Waves();
    ASSERT_GE(waves.size(), 9u);
    for (size_t i = 1; i < waves.size(); ++i) {
        EXPECT_NEAR(waves[i].Counter() - waves[i - 1].Counter(), -1600, 2);
        EXPECT_LT(waves[i].Rate(), 0);
    }
}

TEST(SimWinch, HalvedScaleWithDoubledInterval) {
    // 5000 pulses on a 500 mm wheel: 400 counts/cm, above the 250 limit, so the
    // program sends half the scale and twice the interval.
    SimConfig cfg;
    cfg.encoderCountsPerCm = 400.0;
    cfg.winchSpeedMpm = 6.0;
    Rig rig(cfg);
    rig.Send(Cmd1(0, 51200, 90));
    rig.Send(Cmd8(DepthMode(11, 20, 4, 0x05)));
    rig.Run(10500, 10);
    const auto waves = rig.Waves();
    ASSERT_GE(waves.size(), 9u);
    for (size_t i = 1; i < waves.size(); ++i) {
        EXPECT_EQ(waves[i].body[3], 20);
        EXPECT_NEAR(waves[i].Counter() - waves[i - 1].Counter(), 4000, 6) << "10 real cm";
    }
    EXPECT_DOUBLE_EQ(DecodeSpeed(waves.back().Rate(), 5000, 500), 6.0);
}

TEST(SimWinch, TimeModeIsBoundByTheBaudRate) {
    Rig slow;
    slow.Send(Cmd8(DepthMode(12, 250, 20, 0x3F)));
    slow.Run(10000, 10);
    auto waves = slow.Waves();
    ASSERT_GE(waves.size(), 8u);
    for (size_t i = 1; i < waves.size(); ++i) EXPECT_GE(waves[i].atMs - waves[i - 1].atMs, 990);

    Rig fast;
    fast.Send(Cmd8(DepthMode(12, 250, 4, 0x3F)));
    fast.Run(10000, 10);
    waves = fast.Waves();
    ASSERT_GE(waves.size(), 38u);
    for (size_t i = 1; i < waves.size(); ++i) EXPECT_NEAR(waves[i].atMs - waves[i - 1].atMs, 250, 10);
}

TEST(SimWinch, TenMinuteScenarioDeliversRealTraces) {
    SimConfig cfg;
    cfg.winchSpeedMpm = 9.0;
    Rig rig(cfg);
    rig.Send(Cmd1(0, 20480, 90));
    Settings8 s = DepthMode(12, 300, 6, 0x2A);  // three 512-sample traces, link working
    s.upGain = 16;
    s.upDrive = 16;
    rig.Send(Cmd8(s));
    rig.Run(10 * 60 * 1000, 10);
    const auto waves = rig.Waves();
    ASSERT_GE(waves.size(), 1990u);
    EXPECT_EQ(waves.back().FrameStatus(), 0x01) << "real traces were synthesised";
    EXPECT_EQ(rig.parser.rejected, 0);
}

// The program's own simulator: an operator who keeps the winch still while the sonde is
// off and turns it with the logging mode. A turn continues from where the sonde is.
TEST(SimWinch, FollowingTheModeStandsStillWhileOffAndTurnsWithoutAJump) {
    SimConfig cfg;
    cfg.winchSpeedMpm = 6.0;
    cfg.winchFollowsMode = true;
    Rig rig(cfg);
    rig.Send(Cmd1(0, 20480, 90));
    rig.Run(60000, 100);
    EXPECT_DOUBLE_EQ(rig.sim.Snapshot().trueDepthM, cfg.startDepthM) << "no movement with the sonde off";

    rig.Send(Cmd8(DepthMode(11, 250, 6, 0x2A)));
    rig.Run(10000, 100);
    const auto down = rig.sim.Snapshot();
    EXPECT_NEAR(down.trueDepthM, cfg.startDepthM + 1.0, 0.02);

    rig.Send(Cmd8(DepthMode(10, 250, 6, 0x2A)));
    rig.Run(1000, 100);
    const auto up = rig.sim.Snapshot();
    EXPECT_NEAR(up.trueDepthM, down.trueDepthM - 0.1, 0.02);
    EXPECT_NEAR(up.depthCounter, down.depthCounter - 10 * cfg.encoderCountsPerCm, 2 * cfg.encoderCountsPerCm);
}
