// CUSB over the libftdi backend and the stand-in chip, the simulated logger on the
// chip's serial side, all on the bus's virtual time: what a real chip does to the link.
#include <gtest/gtest.h>

#include "LinkRig.h"
#include "sim/SimLogger.h"
#include "sim/ftdi/StandInFtdi.h"

using namespace linktest;

namespace {

class UsbFtdiTest : public ::testing::Test {
protected:
    void SetUp() override {
        zns::sim::ftdi::Reset(clock);
        chip->loggerRead = [this](uint8_t* p, size_t n) { return logger.HostRead(p, n); };
        chip->loggerWrite = [this](const uint8_t* p, size_t n) { logger.HostWrite(p, n); };
        zns::sim::ftdi::Plug(chip);
        rig.Make([this] {
            zns::d2xx::LoadResult r;
            r.driver = zns::d2xx::MakeFtdiDriver(&clock);
            return r;
        });
    }
    void TearDown() override { rig.usb->Shutdown(); }

    void Connect() {
        ASSERT_TRUE(rig.usb->Init());
        ASSERT_TRUE(WaitUntil([&] { return rig.shared.SnapshotSonde().Echo1500 == 1500; }));
    }
    // The sonde powered in Time mode: waveform frames back to back.
    void Stream() {
        Connect();
        rig.Settings([](AcquisitionSettings& s) { s.TimeInterval = 100; });
        rig.shared.m_bSondePowered = true;
        ASSERT_TRUE(rig.usb->sendF8());
        ASSERT_TRUE(WaitUntil([&] { return logger.Snapshot().waveFrames >= 3; }));
    }

    zns::sim::ftdi::BusClock clock;
    zns::sim::SimLogger logger{clock};
    std::shared_ptr<zns::sim::ftdi::Chip> chip = std::make_shared<zns::sim::ftdi::Chip>();
    LinkRig rig{clock};
    TempDir dir;
};

}  // namespace

TEST_F(UsbFtdiTest, ASlowDiskLosesNothing) {
    rig.writeStallMs = 150;
    Stream();
    ASSERT_TRUE(rig.StartLog(dir.File("a.zne"), dir.File("a.hed")));
    ASSERT_TRUE(WaitUntil([&] { return rig.AppendedCount() >= 10; }));
    rig.StopLog();
    EXPECT_EQ(chip->overrun.load(), 0);
    EXPECT_EQ(rig.usb->LostFrames(), 0);
}

TEST_F(UsbFtdiTest, ADiskSlowerThanTheLinkLosesBytesAndSaysSoOnceARun) {
    Stream();
    ASSERT_TRUE(rig.StartLog(dir.File("a.zne"), dir.File("a.hed")));
    for (size_t run = 1; run <= 2; ++run) {
        rig.writeStallMs = 400;  // the receive buffer fills within a minute, then loses bytes again and again
        const size_t logged = rig.errors.Entries().size();
        ASSERT_TRUE(WaitUntil([&] { return rig.errors.Entries().size() >= logged + 4; }, 60000));
        EXPECT_EQ(rig.report.Boxes(), std::vector(run, CUSB::RxLossText(zns::d2xx::RxLoss::BufferFull, true)));
        rig.writeStallMs = 0;  // caught up and whole for a while: the next run is told
        ASSERT_TRUE(WaitUntil([&, t = clock.NowSteadyMs()] { return clock.NowSteadyMs() > t + 2 * CUSB::kRxWholeMs; }));
    }
}

TEST_F(UsbFtdiTest, AReconnectThatPurgesAndBeepsLosesNothing) {
    auto other = std::make_shared<zns::sim::ftdi::Chip>();  // alone on the bus while the logger is away
    other->description = "FT232R USB UART";
    zns::sim::ftdi::Plug(other);
    Stream();
    chip->Unplug();
    logger.Unplug();
    ASSERT_TRUE(WaitUntil([&] { return rig.usb->LastReceiveExit() == CUSB::EXIT_RX_LINK_ERROR; }));
    for (int plugIn = 1; plugIn <= 2; ++plugIn) {  // 20 rounds of the link watch each; a replug is read again
        const int64_t t = clock.NowSteadyMs();
        ASSERT_TRUE(WaitUntil([&] { return clock.NowSteadyMs() > t + 5000; }));
        EXPECT_EQ(other->stringReads.load(), plugIn);
        other->Unplug();
        other->Replug();
    }
    EXPECT_EQ(other->opens.load(), 0);
    logger.Replug();
    chip->Replug();
    ASSERT_TRUE(WaitUntil([&] { return rig.usb->ReceiveStarts() == 2 && rig.usb->PacketCount() >= 5; }));
    EXPECT_EQ(rig.report.Beeps().size(), 4u);  // at the loss and at the reconnect
    EXPECT_EQ(chip->overrun.load(), 0);
}

TEST_F(UsbFtdiTest, ACommandWhoseWriteTimedOutGoesAgainWhole) {
    Connect();
    chip->TimeOutWrites(1);
    ASSERT_TRUE(rig.usb->sendF8());
    ASSERT_TRUE(WaitUntil([&] { return logger.Snapshot().mode == RECMODE_TIME; }));
    EXPECT_EQ(logger.CommandLog().back().bytes.size(), 15u);
    EXPECT_EQ(rig.errors.Entries(), (std::vector<std::pair<std::string, std::string>>{{"err5570", "IO Error"}}));
    EXPECT_TRUE(rig.report.Boxes().empty());
    EXPECT_EQ(rig.usb->ReceiveStarts(), 1);
}

TEST_F(UsbFtdiTest, ALoggerThatMayNotBeOpenedSaysSo) {
    chip->mayOpen = false;
    ASSERT_TRUE(rig.usb->Init());
    EXPECT_TRUE(WaitUntil([&] {
        return rig.report.LastTextOf(SB_PART_LINK) == CUSB::kNoAccessText &&
               rig.report.LastTextOf(SB_PART_HARDWARE) == CUSB::kNoAccessHint && rig.shared.m_bLoggerNoAccess;
    }));
}
