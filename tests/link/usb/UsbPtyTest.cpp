// The link over a real pseudo-terminal through the tty backend, against the
// simulated logger served by zns_sim_pty in another process (real time).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "LinkRig.h"

using namespace linktest;

namespace {

struct PtyServer {
    pid_t pid = -1;
    std::string path;

    bool Start() {
        int out[2];
        if (pipe(out) != 0) return false;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl(ZNS_SIM_PTY_EXE, ZNS_SIM_PTY_EXE, "--speed", "6", "--depth", "250", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') path += c;
        close(out[0]);
        return pid > 0 && !path.empty();
    }
    void Stop() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
            pid = -1;
        }
    }
    ~PtyServer() { Stop(); }
};

}  // namespace

TEST(UsbPtyTest, RecordsALogOverAPseudoTerminal) {
    PtyServer server;
    ASSERT_TRUE(server.Start());
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
