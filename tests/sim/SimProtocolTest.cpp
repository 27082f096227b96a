// Frames on the wire, command application and the echoes the program compares.
#include <gtest/gtest.h>

#include "SimTestSupport.h"

using namespace simtest;
using zns::sim::CommandOutcome;
using zns::sim::EchoField;
using zns::sim::SimConfig;

namespace {

// Settings with a working link in the normal scenario.
Settings8 TimeMode() {
    Settings8 s;
    s.mode = 12;
    s.interval = 500;
    s.volts = 95;
    s.upGain = 15;
    s.downDrive = 27;
    s.baud = 10;
    s.upDrive = 20;
    s.traceByte = 0x39;  // Rx1 code 1, Rx2 code 2, Rx3 code 3
    return s;
}

}  // namespace

TEST(SimProtocol, IdleLoggerSendsNumberedStatusFrames) {
    Rig rig;
    rig.Run(2000);
    const auto st = rig.Statuses();
    ASSERT_EQ(st.size(), rig.parser.frames.size());
    ASSERT_GE(st.size(), 7u);
    ASSERT_LE(st.size(), 9u);
    for (size_t i = 0; i < st.size(); ++i) {
        EXPECT_EQ(st[i].seq, static_cast<int>(i));
        EXPECT_EQ(st[i].Mode() & 0x0F, 0) << "sonde off";
        EXPECT_EQ(st[i].FrameStatus(), 0);
        EXPECT_EQ(st[i].body[11], 0) << "no supply voltage while off";
        EXPECT_EQ(st[i].body[12], 0);
    }
    EXPECT_EQ(rig.parser.strayBytes, 0u);
    EXPECT_EQ(rig.parser.rejected, 0);
}

TEST(SimProtocol, SequenceNumbersWrapModulo256) {
    SimConfig cfg;
    cfg.statusPeriodMs = 10;
    Rig rig(cfg);
    rig.Run(3000, 10);
    const auto& f = rig.parser.frames;
    ASSERT_GT(f.size(), 260u);
    for (size_t i = 1; i < f.size(); ++i) EXPECT_EQ(f[i].seq, (f[i - 1].seq + 1) % 256);
}

TEST(SimProtocol, CommandOneIsAnsweredPromptlyWithItsEchoes) {
    Rig rig;
    rig.Run(100);
    const int64_t sent = rig.clock.NowSteadyMs();
    rig.Send(Cmd1(0x30, 20480, 92));
    rig.Run(200, 5);
    const auto cfgs = rig.Where([](const Frame& f) { return f.Config(); });
    ASSERT_EQ(cfgs.size(), 1u);
    const Frame& a = cfgs[0];
    EXPECT_LE(a.atMs - sent, 5 + 20 + 5);  // reply delay + answer delay + one read step
    EXPECT_EQ(a.Mode() & 0x30, 0x30) << "cable bits of the command";
    EXPECT_EQ(U16(a.body, 1), 1500);
    EXPECT_EQ(U16(a.body, 3), 20480);
    EXPECT_EQ(a.body[5], 92);
    const auto log = rig.sim.CommandLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].code, 1);
    EXPECT_EQ(log[0].outcome, CommandOutcome::Applied);
    EXPECT_EQ(log[0].applyMs - log[0].rxMs, 5);
}

TEST(SimProtocol, ReplyDelayPostponesTheEffect) {
    Rig rig;
    rig.sim.SetReplyDelayMs(300);
    const int64_t sent = rig.clock.NowSteadyMs();
    rig.Send(Cmd1(0, 20480, 90));
    rig.Run(250, 5);
    EXPECT_TRUE(rig.Where([](const Frame& f) { return f.Config(); }).empty());
    rig.Run(200, 5);
    const auto cfgs = rig.Where([](const Frame& f) { return f.Config(); });
    ASSERT_EQ(cfgs.size(), 1u);
    EXPECT_GE(cfgs[0].atMs - sent, 320);
}

TEST(SimProtocol, CommandEightPowersTheSondeAndWaveformsCarryTheEchoes) {
    Rig rig;
    rig.Send(Cmd1(0x10, 20480, 95));
    rig.Run(100);
    const size_t from = rig.parser.frames.size();
    Settings8 s = TimeMode();
    s.cable = 0x10;
    rig.Send(Cmd8(s));
    rig.Run(10000);

    const auto waves = rig.Waves(from);
    ASSERT_GE(waves.size(), 18u);
    ASSERT_LE(waves.size(), 21u);
    for (size_t i = 0; i < waves.size(); ++i) {
        const Bytes& b = waves[i].body;
        ASSERT_EQ(b.size(), 27u + 512 + 1024 + 1024);
        EXPECT_EQ(b[0] & 0x0F, 12);
        EXPECT_EQ(b[0] & 0x30, 0x10);
        EXPECT_EQ(b[1], 15);
        EXPECT_EQ(b[2], 27);
        EXPECT_EQ(U16(b, 3), 500) << "time mode echoes the interval word";
        EXPECT_EQ(b[11], 95);
        EXPECT_EQ(b[12], 150);
        EXPECT_EQ(b[15], 6);
        EXPECT_EQ(b[16], 12);
        EXPECT_EQ(b[17], 18);
        EXPECT_EQ(b[19], 10) << "baud divisor, head flag clear";
        EXPECT_EQ(b[20], 20);
        EXPECT_EQ(b[21], 0x39);
        if (i > 0) {
            EXPECT_NEAR(waves[i].atMs - waves[i - 1].atMs, 500, 10);
        }
    }
    // The first frame after the settings reports the update, the rest uphole data valid.
    const auto flagged = rig.Where([](const Frame& f) { return f.FrameStatus() >= 0; }, from);
    ASSERT_GE(flagged.size(), 2u);
    EXPECT_EQ(flagged[0].FrameStatus(), 0x20);
    for (size_t i = 1; i < flagged.size(); ++i) EXPECT_EQ(flagged[i].FrameStatus(), 0x01);
    // Status frames fill the gaps between waveforms and echo the same interval word.
    const auto st = rig.Statuses(from);
    ASSERT_FALSE(st.empty());
    EXPECT_EQ(U16(st.back().body, 3), 500);
    EXPECT_EQ(st.back().Mode() & 0x0F, 12);
}

// A logger streams on while it takes settings: command 8 resent faster than the
// interval (as the power-on download and the auto-check do) does not hold back the
// waveform frames.
TEST(SimProtocol, WaveformsKeepTheirPeriodThroughRepeatedCommands) {
    Rig rig;
    Settings8 s = TimeMode();
    rig.Send(Cmd8(s));
    rig.Run(1000);
    const size_t from = rig.parser.frames.size();
    for (int i = 0; i < 40; ++i) {
        s.upGain = static_cast<uint8_t>(10 + i % 2);
        rig.Send(Cmd8(s));
        rig.Run(100);
    }
    const auto waves = rig.Waves(from);
    ASSERT_GE(waves.size(), 7u);
    for (size_t i = 1; i < waves.size(); ++i) EXPECT_NEAR(waves[i].atMs - waves[i - 1].atMs, 500, 10) << i;
}

TEST(SimProtocol, CommandZeroPowersDownAndWaveformsStop) {
    Rig rig;
    rig.Send(Cmd8(TimeMode()));
    rig.Run(3000);
    ASSERT_FALSE(rig.Waves().empty());
    rig.Send(Cmd0(0x20));
    rig.Run(100);
    const size_t from = rig.parser.frames.size();
    rig.Run(3000);
    EXPECT_TRUE(rig.Waves(from).empty());
    const auto st = rig.Statuses(from);
    ASSERT_GE(st.size(), 10u);
    for (const Frame& f : st) {
        EXPECT_EQ(f.Mode() & 0x0F, 0);
        EXPECT_EQ(f.Mode() & 0x30, 0x20);
        EXPECT_EQ(f.body[11], 0);
    }
}

TEST(SimProtocol, CommandsThreeNineAndTenChangeWhatTheyCarry) {
    Rig rig;
    rig.Send(Cmd8(TimeMode()));
    rig.Run(1000);
    rig.Send(Cmd3(18, 30));
    rig.Send(Cmd9(0, 24, 255, 7));
    rig.Send(Cmd10(8, 12, 0x2A));
    rig.Run(100);
    const size_t from = rig.parser.frames.size();
    rig.Run(2000);
    const auto waves = rig.Waves(from);
    ASSERT_FALSE(waves.empty());
    const Bytes& b = waves.back().body;
    EXPECT_EQ(b[1], 18);
    EXPECT_EQ(b[2], 30);
    EXPECT_EQ(b[15], 0);
    EXPECT_EQ(b[16], 24);
    EXPECT_LE(b[17], 36) << "automatic gain reports the gain it applied";
    EXPECT_EQ(b[18], 7);
    EXPECT_EQ(b[19], 8);
    EXPECT_EQ(b[20], 12);
    EXPECT_EQ(b[21], 0x2A);
    EXPECT_EQ(b.size(), 27u + 3 * 1024);
    const auto snap = rig.sim.Snapshot();
    EXPECT_EQ(snap.rxGain[2], 255);
    EXPECT_EQ(snap.baudDivisor, 8);
}

TEST(SimProtocol, BadChecksumUnknownBytesAndSplitCommands) {
    Rig rig;
    Bytes bad = Cmd1(0, 20480, 90);
    bad.back() ^= 0x01;
    rig.Send(bad);
    rig.Run(500);  // whatever the bad frame left half-parsed is forgotten
    EXPECT_TRUE(rig.Where([](const Frame& f) { return f.Config(); }).empty());

    // Two stray bytes, then a command written in two pieces.
    const Bytes stray = {0x77, 0x42};
    rig.Send(stray);
    const Bytes c = Cmd1(0, 20480, 91);
    rig.sim.HostWrite(c.data(), 3);
    rig.clock.Advance(2);
    rig.sim.HostWrite(c.data() + 3, c.size() - 3);
    rig.Run(100);
    const auto cfgs = rig.Where([](const Frame& f) { return f.Config(); });
    ASSERT_EQ(cfgs.size(), 1u);
    EXPECT_EQ(cfgs[0].body[5], 91);

    const auto log = rig.sim.CommandLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.front().code, 1);
    EXPECT_EQ(log.front().outcome, CommandOutcome::BadChecksum);
    EXPECT_EQ(log.back().outcome, CommandOutcome::Applied);
    int applied = 0;
    for (const auto& r : log) applied += r.outcome == CommandOutcome::Applied;
    EXPECT_EQ(applied, 1);
    EXPECT_GE(rig.sim.Snapshot().unknownBytes, 2u);
}

TEST(SimProtocol, PartialCommandIsForgottenAfterAPause) {
    Rig rig;
    const Bytes c = Cmd1(0, 20480, 91);
    rig.sim.HostWrite(c.data(), 4);
    rig.Run(500);
    rig.Send(Cmd1(0, 20480, 93));
    rig.Run(100);
    const auto cfgs = rig.Where([](const Frame& f) { return f.Config(); });
    ASSERT_EQ(cfgs.size(), 1u);
    EXPECT_EQ(cfgs[0].body[5], 93);
}

TEST(SimProtocol, RefusedCommandEightLeavesTheSondeOff) {
    Rig rig;
    rig.sim.RefuseNext(8, 2);
    rig.Send(Cmd8(TimeMode()));
    rig.Run(600);
    rig.Send(Cmd8(TimeMode()));
    rig.Run(600);
    for (const Frame& f : rig.parser.frames) EXPECT_EQ(f.Mode() & 0x0F, 0);
    rig.Send(Cmd8(TimeMode()));
    rig.Run(600);
    EXPECT_EQ(rig.parser.frames.back().Mode() & 0x0F, 12);
    const auto log = rig.sim.CommandLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].outcome, CommandOutcome::Refused);
    EXPECT_EQ(log[1].outcome, CommandOutcome::Refused);
    EXPECT_EQ(log[2].outcome, CommandOutcome::Applied);
}

TEST(SimProtocol, InvalidModeOrDivisorIsRejected) {
    Rig rig;
    Settings8 s = TimeMode();
    s.mode = 5;
    rig.Send(Cmd8(s));
    s = TimeMode();
    s.baud = 0;
    rig.Send(Cmd8(s));
    rig.Send(Cmd10(2, 10, 0));
    rig.Run(300);
    const auto log = rig.sim.CommandLog();
    ASSERT_EQ(log.size(), 3u);
    for (const auto& r : log) EXPECT_EQ(r.outcome, CommandOutcome::Rejected);
    EXPECT_EQ(rig.sim.Snapshot().mode, 0);
    EXPECT_EQ(rig.sim.Snapshot().baudDivisor, 10);
}

TEST(SimProtocol, MisEchoedCommandReadsBackWrongUntilSentAgain) {
    Rig rig;
    rig.sim.MisEchoNext(8);
    rig.Send(Cmd8(TimeMode()));
    rig.Run(1500);
    auto waves = rig.Waves();
    ASSERT_FALSE(waves.empty());
    const Bytes& b = waves.back().body;
    EXPECT_EQ(b[1], 16);
    EXPECT_EQ(b[2], 28);
    EXPECT_EQ(U16(b, 3), 501);
    EXPECT_EQ(b[21], 0x38) << "the misread trace lengths are what the sonde sends";
    EXPECT_EQ(b.size(), 27u + 1024 + 1024);
    EXPECT_EQ(rig.sim.CommandLog().back().outcome, CommandOutcome::MisEchoed);

    const size_t from = rig.parser.frames.size();
    rig.Send(Cmd8(TimeMode()));
    rig.Run(1500);
    waves = rig.Waves(from);
    ASSERT_FALSE(waves.empty());
    EXPECT_EQ(waves.back().body[1], 15);
    EXPECT_EQ(U16(waves.back().body, 3), 500);
    EXPECT_EQ(waves.back().body[21], 0x39);
}

TEST(SimProtocol, LastingEchoOffsetOfTheVoltage) {
    Rig rig;
    rig.sim.SetEchoOffset(EchoField::Voltage, 2);
    rig.Send(Cmd1(0, 20480, 98));
    rig.Run(100);
    const auto cfgs = rig.Where([](const Frame& f) { return f.Config(); });
    ASSERT_EQ(cfgs.size(), 1u);
    EXPECT_EQ(cfgs[0].body[5], 100);
    EXPECT_EQ(U16(cfgs[0].body, 3), 20480) << "only the voltage is off";
}

TEST(SimProtocol, SupplyAlarmsAndEncoderError) {
    Rig rig;
    Settings8 s = TimeMode();
    s.volts = 90;
    rig.Send(Cmd8(s));
    rig.Run(600);
    EXPECT_EQ(rig.parser.frames.back().Mode() & 0xC0, 0);

    rig.sim.SetSupplyDrop(40);  // 50 V measured: power failure
    rig.sim.SetCurrentMa(252);
    rig.sim.SetEncoderError(true);
    size_t from = rig.parser.frames.size();
    rig.Run(600);
    auto st = rig.Statuses(from);
    ASSERT_FALSE(st.empty());
    EXPECT_EQ(st.back().Mode() & 0xC0, 0xC0);
    EXPECT_EQ(st.back().body[11], 50);
    EXPECT_EQ(st.back().body[12], 252);

    rig.sim.SetSupplyDrop(-16);  // over-voltage: no alarm bit, the program judges it
    rig.sim.SetEncoderError(false);
    from = rig.parser.frames.size();
    rig.Run(600);
    st = rig.Statuses(from);
    ASSERT_FALSE(st.empty());
    EXPECT_EQ(st.back().Mode() & 0xC0, 0);
    EXPECT_EQ(st.back().body[11], 106);
}
