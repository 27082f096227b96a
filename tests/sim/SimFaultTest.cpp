// Fault injection: what each fault does to the byte stream, and that good frames
// around it stay intact.
#include <gtest/gtest.h>

#include <algorithm>

#include "SimTestSupport.h"

using namespace simtest;
using zns::sim::FrameFault;
using zns::sim::SimConfig;

namespace {

Settings8 Waves250() {
    Settings8 s;
    s.mode = 12;
    s.interval = 250;
    s.baud = 6;
    s.upGain = 16;
    s.downDrive = 27;
    s.upDrive = 16;
    s.traceByte = 0x15;
    return s;
}

// Sequence numbers of framed frames must run on by one, except where `gaps` says.
void ExpectSequence(const std::vector<Frame>& frames, int expectedSkipped) {
    int prev = -1, skipped = 0;
    for (const Frame& f : frames) {
        if (f.seq < 0) continue;
        if (prev >= 0) skipped += (f.seq - prev - 1 + 256) % 256;
        prev = f.seq;
    }
    EXPECT_EQ(skipped, expectedSkipped);
}

}  // namespace

TEST(SimFault, GarbageAndFalseSyncsLoseNoFrame) {
    Rig rig;
    rig.Run(600);
    rig.sim.InjectGarbage(50);
    rig.Run(300);
    rig.sim.InjectFalseSync(2);
    rig.Run(600);
    EXPECT_GE(rig.parser.strayBytes, 50u + 2 * 12);
    EXPECT_GE(rig.parser.rejected, 2);
    EXPECT_GE(rig.parser.frames.size(), 5u);
    ExpectSequence(rig.parser.frames, 0);
}

TEST(SimFault, BadSumEndAndLengthSpoilOneFrameEach) {
    for (FrameFault fault : {FrameFault::BadSum, FrameFault::BadEnd, FrameFault::BadLength}) {
        Rig rig;
        rig.Run(600);
        const size_t before = rig.parser.frames.size();
        rig.sim.CorruptNext(fault);
        rig.Run(1000);
        EXPECT_GE(rig.parser.rejected, 1) << int(fault);
        EXPECT_EQ(rig.parser.frames.size() - before, 3u) << "four sent, one spoilt";
        ExpectSequence(rig.parser.frames, 1);  // the spoilt frame had its number
    }
}

TEST(SimFault, SequenceGap) {
    Rig rig;
    rig.Run(600);
    rig.sim.SkipSequence(7);
    rig.Run(600);
    ExpectSequence(rig.parser.frames, 7);
}

TEST(SimFault, HeaderlessStatusBlock) {
    Rig rig;
    Settings8 s = Waves250();
    s.interval = 1000;  // status frames between the waveforms
    rig.Send(Cmd8(s));
    rig.Run(1000);
    rig.sim.CorruptNext(FrameFault::Headerless);
    rig.Run(1000);
    const auto headless = rig.Where([](const Frame& f) { return f.seq < 0; });
    ASSERT_EQ(headless.size(), 1u);
    EXPECT_TRUE(headless[0].Status());
    EXPECT_EQ(headless[0].Mode() & 0x0F, 12);
    EXPECT_EQ(rig.parser.strayBytes, 0u);
    ExpectSequence(rig.parser.frames, 0);  // the block carried no number
}

TEST(SimFault, LongHeaderlessBlockHasTheStatusBeforeItsSum) {
    zns::FakeClock clock(0);
    zns::sim::SimLogger sim(clock);
    clock.Advance(300);
    uint8_t buf[256];
    while (sim.HostRead(buf, sizeof buf) > 0) {
    }
    sim.InjectFrameStatus(0x04, 1);
    sim.CorruptNext(FrameFault::HeaderlessLong);
    clock.Advance(250);
    Bytes got(buf, buf + sim.HostRead(buf, sizeof buf));
    ASSERT_EQ(got.size(), 18u);
    EXPECT_EQ(got[17], 0x99);
    unsigned sum = 0;
    for (int i = 0; i < 15; ++i) sum += got[i];
    EXPECT_EQ(U16(got, 15), sum & 0xFFFF);
    EXPECT_EQ(got[14], 0x04) << "frame status just before the sum";
}

TEST(SimFault, SplitReadsDeliverFramesInPieces) {
    Rig rig;
    rig.sim.SetSplitReads(5);
    size_t maxRead = 0, reads = 0;
    uint8_t buf[4096];
    for (int ms = 0; ms < 3000; ++ms) {
        rig.clock.Advance(1);
        const size_t n = rig.sim.HostRead(buf, sizeof buf);
        if (n == 0) continue;
        ++reads;
        maxRead = std::max(maxRead, n);
        rig.parser.Feed(buf, n, rig.clock.NowSteadyMs());
    }
    EXPECT_LE(maxRead, 5u);
    EXPECT_GE(reads, 4 * 11u) << "a 24-byte frame takes at least five pieces";
    EXPECT_GE(rig.parser.frames.size(), 11u);
    EXPECT_EQ(rig.parser.rejected, 0);
    ExpectSequence(rig.parser.frames, 0);
}

TEST(SimFault, SilenceThenResume) {
    Rig rig;
    rig.Run(500);
    const size_t before = rig.parser.frames.size();
    rig.sim.SilenceFor(2000);
    rig.Run(1990);
    EXPECT_EQ(rig.parser.frames.size(), before);
    rig.Run(1000);
    EXPECT_GT(rig.parser.frames.size(), before);
    EXPECT_GE(rig.sim.Snapshot().droppedFrames, 7u);
    rig.sim.SetSilent(true);
    const size_t quiet = rig.parser.frames.size();
    rig.Run(1000);
    EXPECT_EQ(rig.parser.frames.size(), quiet);
}

TEST(SimFault, UnplugAndReplug) {
    Rig rig;
    rig.Run(600);
    rig.sim.Unplug();
    EXPECT_FALSE(rig.sim.Plugged());
    rig.Send(Cmd8(Waves250()));  // lost with the cable
    rig.Run(2000);
    EXPECT_EQ(rig.sim.HostAvailable(), 0u);
    rig.sim.Replug();
    EXPECT_TRUE(rig.sim.Plugged());
    const size_t from = rig.parser.frames.size();
    rig.Run(600);
    const auto st = rig.Statuses(from);
    ASSERT_FALSE(st.empty());
    EXPECT_EQ(st.back().Mode() & 0x0F, 0);
    EXPECT_TRUE(rig.sim.CommandLog().empty());

    // A logger that lost power comes back in its reset state, numbering from 0.
    rig.Send(Cmd8(Waves250()));
    rig.Run(300);
    rig.sim.Unplug();
    rig.sim.Replug(true);
    rig.Run(300);
    EXPECT_EQ(rig.parser.frames.back().seq, 0);
    EXPECT_EQ(rig.parser.frames.back().Mode() & 0x0F, 0);
}

TEST(SimFault, FullFifoLosesWholeFrames) {
    SimConfig cfg;
    cfg.hostBufferLimit = 8192;
    Rig rig(cfg);
    rig.Send(Cmd8(Waves250()));  // 1563-byte waveforms every 250 ms
    rig.clock.Advance(10000);
    EXPECT_LE(rig.sim.HostAvailable(), 8192u);
    EXPECT_GT(rig.sim.Snapshot().overflowFrames, 20u);
    rig.Drain();
    rig.Run(1000);
    EXPECT_EQ(rig.parser.rejected, 0);
    EXPECT_EQ(rig.parser.strayBytes, 0u);
    int skipped = 0;
    for (size_t i = 1; i < rig.parser.frames.size(); ++i)
        skipped += (rig.parser.frames[i].seq - rig.parser.frames[i - 1].seq - 1 + 256) % 256;
    EXPECT_GT(skipped, 20) << "lost frames show as a gap in the numbers";
}

TEST(SimFault, PurgeDropsWaitingBytes) {
    Rig rig;
    rig.clock.Advance(1000);
    EXPECT_GT(rig.sim.HostAvailable(), 0u);
    rig.sim.Purge();
    EXPECT_EQ(rig.sim.HostAvailable(), 0u);
}

TEST(SimFault, InjectedStatusBits) {
    Rig rig;
    rig.Send(Cmd8(Waves250()));
    rig.Run(1000);
    rig.sim.InjectFrameStatus(0x44, 2);
    const size_t from = rig.parser.frames.size();
    rig.Run(1000);
    const auto flagged = rig.Where([](const Frame& f) { return f.FrameStatus() >= 0; }, from);
    ASSERT_GE(flagged.size(), 4u);
    EXPECT_EQ(flagged[0].FrameStatus(), 0x45);
    EXPECT_EQ(flagged[1].FrameStatus(), 0x45);
    EXPECT_EQ(flagged[2].FrameStatus(), 0x01);
}

TEST(SimFault, AnHourUnreadCostsLittle) {
    Rig rig;
    Settings8 s = Waves250();
    s.interval = 300;
    s.traceByte = 0x2A;
    rig.Send(Cmd8(s));
    rig.clock.Advance(3600 * 1000);
    const size_t waiting = rig.sim.HostAvailable();
    const auto snap = rig.sim.Snapshot();
    EXPECT_LE(waiting, SimConfig().hostBufferLimit);
    EXPECT_GT(snap.overflowFrames, 10000u);
    // Frames that cannot be kept cost no synthesis: only what the buffer holds was computed.
    EXPECT_LT(snap.synthesizedFrames, snap.overflowFrames / 100) << "frames that cannot be kept are not synthesised";
    rig.Drain();
    EXPECT_EQ(rig.parser.rejected, 0);
    EXPECT_FALSE(rig.Waves().empty());
}
