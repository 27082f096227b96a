// The link over a real pseudo-terminal through the tty backend, against the
// simulated logger served by zns_sim_pty in another process (real time).
#include <gtest/gtest.h>

#include <string>

#include "../../support/PtyServer.h"
#include "LinkRig.h"

using namespace linktest;
using testsupport::PtyServer;

TEST(UsbPtyTest, RecordsALogOverAPseudoTerminal) {
    PtyServer server;
    ASSERT_TRUE(server.Start({"--speed", "6", "--depth", "250"}));
    zns::SystemClock clock;
    LinkRig rig(clock);
    rig.Make([&] { return zns::d2xx::LoadBackend("tty:" + server.path); });
    TempDir dir;

    // Connect: command 0, then command 1 and its answer.
    ASSERT_TRUE(rig.usb->Init());
    ASSERT_TRUE(WaitUntil([&] { return rig.shared.SnapshotSonde().Echo1500 == 1500; }, 10000));
    EXPECT_EQ(rig.report.LastTextOf(SB_PART_LINK), "USB link connected");
    const auto c1 = rig.shared.m_pCmd1Frame;
    EXPECT_EQ(rig.shared.SnapshotSonde().EchoScale, uint16_t(c1[4] | (c1[5] << 8)));

    // Power on in Down mode and record.
    rig.Settings([](AcquisitionSettings& s) {
        s.RecordingMode = RECMODE_DOWN;
        s.TimeInterval = 250;
        s.PulleyDir = 1;  // the configuration's default: the server's sonde goes down as its help says
    });
    rig.shared.m_bDownDirection = true;
    rig.shared.m_bSondePowered = true;
    ASSERT_TRUE(rig.usb->sendF8());
    ASSERT_TRUE(WaitUntil([&] { return rig.report.RowCount() >= 2; }, 10000));
    const LiveValues v = rig.shared.SnapshotLive();
    EXPECT_NEAR(v.Depth, 250.0, 5.0);
    EXPECT_NEAR(v.Speed, 6.0, 0.05);

    const std::string data = dir.File("pty.zne"), hed = dir.File("pty.hed");
    ASSERT_TRUE(rig.StartLog(data, hed));
    ASSERT_TRUE(WaitUntil([&] { return rig.AppendedCount() >= 8; }, 20000));
    rig.StopLog();
    ExpectLogReadsBack(rig, data, +1);
    ASSERT_TRUE(rig.usb->sendF0());
    ASSERT_TRUE(WaitUntil([&] { return rig.shared.TxLength() == 0; }, 5000));

    // The logger goes away: the tty hangs up and the link watch takes over.
    server.Stop();
    ASSERT_TRUE(WaitUntil([&] { return rig.usb->LastReceiveExit() == CUSB::EXIT_RX_LINK_ERROR; }, 5000));
    ASSERT_TRUE(WaitUntil([&] { return rig.report.LastTextOf(SB_PART_HARDWARE) == "Not hardware detected."; }, 5000));
    rig.usb->Shutdown();
    EXPECT_FALSE(rig.shared.m_bLinkWatchRunning);
}
