// Sonde power on and off against the simulated logger, the status line and the
// display tick's decisions.
#include <gtest/gtest.h>

#include "Harness.h"

using namespace rectest;

namespace {

class PowerTest : public ::testing::Test {
protected:
    // Link up, then one press; returns the time of the press.
    int64_t PowerOn() {
        rig.LinkUp();
        const int64_t at = rig.clock.NowSteadyMs();
        rig.power.OnBnClickedPower();
        return at;
    }
    bool DownloadOver(int64_t limit = 20000) {
        return rig.RunUntil([&] { return !rig.power.Adjusting() && !rig.panel.IsTimerSet(ID_TIMER_DOWNLOAD); },
                            limit);
    }

    Rig rig;
};

struct PowerOnCase {
    int previousMode;
    int cableType;
};

class PowerOnTest : public PowerTest, public ::testing::WithParamInterface<PowerOnCase> {};

TEST_P(PowerOnTest, DownloadsTheSettingsAndReadsThemBack) {
    rig.shared.settings.RecordingMode = GetParam().previousMode;
    rig.shared.settings.CableType = GetParam().cableType;
    const int64_t press = PowerOn();

    // The press itself.
    EXPECT_EQ(rig.panel.powerIcon, IDI_POWER_ON);
    EXPECT_EQ(rig.panel.statusText, "Probe powered");
    EXPECT_EQ(rig.panel.statusBar[0], "Acquisition Mode.");
    EXPECT_EQ(rig.panel.stops, 1);
    EXPECT_GE(rig.panel.resets, 1);
    EXPECT_EQ(rig.shared.SnapshotSettings().RecordingMode, RECMODE_TIME);
    EXPECT_TRUE(rig.shared.m_bSondePowered.load());
    EXPECT_EQ(rig.panel.stateChanged, 1);
    EXPECT_TRUE(rig.panel.IsTimerSet(ID_TIMER_DOWNLOAD));
    EXPECT_TRUE(rig.panel.IsTimerSet(ID_TIMER_POWER_GUARD));
    EXPECT_TRUE(rig.panel.IsTimerSet(ID_TIMER_DISPLAY));
    EXPECT_TRUE(rig.power.Adjusting());

    ASSERT_TRUE(DownloadOver());
    EXPECT_EQ(rig.panel.Sent(CMD_8), 1);
    EXPECT_GE(rig.panel.sends.front().atMs - press, 50);
    EXPECT_TRUE(rig.panel.boxes.empty());
    EXPECT_EQ(rig.power.TryA(), 0);
    EXPECT_EQ(rig.SondeMode(), RECMODE_TIME);
    EXPECT_EQ(rig.sim.Snapshot().cableBits & 0x10, GetParam().cableType ? 0x10 : 0);

    // Idle again: the panel follows the sonde.
    rig.Run(300);
    EXPECT_TRUE(rig.power.Powered());
    EXPECT_EQ(rig.lastView.powerIcon, IDI_POWER_ON);
    EXPECT_EQ(rig.shared.SnapshotSession().SondeReported, 1);
    EXPECT_FALSE(rig.lastView.openEnabled);
}

INSTANTIATE_TEST_SUITE_P(EachMode, PowerOnTest,
                         ::testing::Values(PowerOnCase{RECMODE_UP, 0}, PowerOnCase{RECMODE_DOWN, 0},
                                           PowerOnCase{RECMODE_TIME, 0}, PowerOnCase{RECMODE_DOWN, 1}));

TEST_F(PowerTest, RefusedCommandIsSentAgainOnce) {
    rig.sim.RefuseNext(CMD_8, 1);
    PowerOn();
    ASSERT_TRUE(DownloadOver());
    EXPECT_EQ(rig.panel.Sent(CMD_8), 2);
    EXPECT_TRUE(rig.panel.boxes.empty());
    EXPECT_EQ(rig.SondeMode(), RECMODE_TIME);
    EXPECT_TRUE(rig.power.Powered());
}

TEST_F(PowerTest, WrongEchoOnceIsSentAgainOnce) {
    rig.sim.MisEchoNext(CMD_8, 1);
    PowerOn();
    ASSERT_TRUE(DownloadOver());
    EXPECT_EQ(rig.panel.Sent(CMD_8), 2);
    EXPECT_TRUE(rig.panel.boxes.empty());
    EXPECT_TRUE(rig.power.Powered());
}

TEST_F(PowerTest, LastingVoltageMismatchIsRefusedWithTheDetail) {
    // The supply echo (configuration answer) reads 100 V, command 8 sends 98 V.
    rig.settings.sondeDb.Voltage = 100;
    rig.LinkUp();
    ASSERT_EQ(rig.shared.SnapshotSonde().VoltageEcho, 100);
    rig.settings.sondeDb.Voltage = 98;
    rig.power.OnBnClickedPower();
    ASSERT_TRUE(DownloadOver(30000));
    EXPECT_EQ(rig.panel.Sent(CMD_8), 10);
    ASSERT_EQ(rig.panel.boxes.size(), 1u);
    EXPECT_EQ(rig.panel.boxes[0], "Order refused !!!\nVoltage setting -> send 98V ReadBack 100V \n");
    // Switched off: the power-down handshake takes the sonde down.
    EXPECT_FALSE(rig.power.Powered());
    EXPECT_EQ(rig.panel.powerIcon, IDI_POWER_OFF);
    EXPECT_FALSE(rig.shared.m_bSondePowered.load());
    ASSERT_TRUE(rig.RunUntil([&] { return rig.confirmed.load(); }, 5000));
    EXPECT_EQ(rig.SondeMode(), 0);
    EXPECT_EQ(rig.power.TryA(), 0);
}

TEST_F(PowerTest, SondeThatNeverTakesTheSettingsIsRefused) {
    rig.sim.RefuseNext(CMD_8, 1000);
    PowerOn();
    ASSERT_TRUE(DownloadOver(30000));
    EXPECT_EQ(rig.panel.Sent(CMD_8), 10);
    ASSERT_EQ(rig.panel.boxes.size(), 1u);
    EXPECT_EQ(rig.panel.boxes[0], "Order refused !!!");
    EXPECT_FALSE(rig.power.Powered());
    EXPECT_TRUE(rig.panel.IsTimerSet(ID_TIMER_POWER_DOWN));
}

TEST_F(PowerTest, PowerDownHandshakeConfirmsTheSondeOff) {
    PowerOn();
    ASSERT_TRUE(DownloadOver());
    rig.Run(400);  // past the guard
    rig.panel.sends.clear();
    rig.panel.resets = 0;
    const int64_t press = rig.clock.NowSteadyMs();
    rig.power.OnBnClickedPower();

    EXPECT_EQ(rig.panel.powerIcon, IDI_POWER_OFF);
    EXPECT_EQ(rig.panel.statusText, "Sonde not powered");
    EXPECT_FALSE(rig.shared.m_bSondePowered.load());
    EXPECT_TRUE(rig.panel.IsTimerSet(ID_TIMER_POWER_DOWN));
    EXPECT_EQ(rig.panel.due[ID_TIMER_POWER_DOWN], press + 100);
    EXPECT_FALSE(rig.panel.IsTimerSet(ID_TIMER_DOWNLOAD));

    ASSERT_TRUE(rig.RunUntil([&] { return rig.confirmed.load(); }, 5000));
    EXPECT_EQ(rig.panel.Sent(CMD_0), 1);
    EXPECT_GE(rig.panel.sends.front().atMs - press, 100);
    EXPECT_EQ(rig.SondeMode(), 0);
    EXPECT_FALSE(rig.power.Adjusting());
    EXPECT_EQ(rig.panel.resets, 1);
    rig.Run(300);
    EXPECT_EQ(rig.lastView.powerIcon, IDI_POWER_OFF);
    EXPECT_TRUE(rig.lastView.openEnabled);
}

TEST_F(PowerTest, PowerDownHandshakeGivesUpAndSaysSo) {
    PowerOn();
    ASSERT_TRUE(DownloadOver());
    rig.Run(400);
    rig.sim.RefuseNext(CMD_0, 1000);
    rig.panel.sends.clear();
    rig.power.OnBnClickedPower();
    ASSERT_TRUE(rig.RunUntil([&] { return !rig.panel.IsTimerSet(ID_TIMER_POWER_DOWN); }, 30000));

    // 20 tries, 4 more, and the last command 0 as it gives up.
    EXPECT_EQ(rig.panel.Sent(CMD_0), 25);
    for (size_t i = 1; i < rig.panel.sends.size(); ++i)
        EXPECT_GE(rig.panel.sends[i].atMs - rig.panel.sends[i - 1].atMs, 500) << i;
    EXPECT_FALSE(rig.confirmed.load());
    EXPECT_FALSE(rig.power.Adjusting());
    EXPECT_EQ(rig.power.TryA(), 0);
    EXPECT_EQ(rig.power.TryB(), 0);
    EXPECT_EQ(rig.panel.statusText, CPowerControl::kMsgPowerDownNotConfirmed);
    EXPECT_EQ(rig.panel.statusClass, STATUS_FAILURE);

    // The text stands while the frames say nothing new, and the panel shows the
    // sonde as it reports itself: still on.
    rig.Run(1000);
    EXPECT_EQ(rig.panel.statusText, CPowerControl::kMsgPowerDownNotConfirmed);
    EXPECT_TRUE(rig.power.Powered());
    EXPECT_EQ(rig.lastView.powerIcon, IDI_POWER_ON);
}

TEST_F(PowerTest, SecondPressWithinTheGuardOnlyBeeps) {
    PowerOn();
    rig.power.OnBnClickedPower();
    EXPECT_EQ(rig.panel.beeps, 1);
    EXPECT_TRUE(rig.power.Powered());
    rig.Run(351);
    EXPECT_FALSE(rig.panel.IsTimerSet(ID_TIMER_POWER_GUARD));
}

// A logger that answers commands but idles without status frames: the download
// has nothing to wait on. The panel must not go on showing a powered sonde.
TEST(PowerSilentLoggerTest, PowerOnWithoutAnyFrameSwitchesBackOffAndSaysSo) {
    zns::sim::SimConfig cfg;
    cfg.idleStatusFrames = false;
    Rig rig(cfg);
    rig.LinkUp();
    ASSERT_EQ(rig.shared.SnapshotSonde().Echo1500, 1500);  // it did answer command 1
    const int64_t press = rig.clock.NowSteadyMs();
    rig.power.OnBnClickedPower();
    EXPECT_EQ(rig.panel.statusText, CPowerControl::kMsgPowered);

    ASSERT_TRUE(rig.RunUntil([&] { return !rig.power.Powered(); }, 10000));
    const int64_t took = rig.clock.NowSteadyMs() - press;
    EXPECT_GE(took, CPowerControl::kNoAnswerMs);
    EXPECT_LE(took, CPowerControl::kNoAnswerMs + 200);
    EXPECT_EQ(rig.panel.boxes, std::vector<std::string>{CPowerControl::kMsgNoAnswer});
    EXPECT_EQ(rig.panel.statusText, CPowerControl::kMsgNoAnswer);
    EXPECT_EQ(rig.panel.statusClass, STATUS_FAILURE);
    EXPECT_EQ(rig.panel.powerIcon, IDI_POWER_OFF);
    EXPECT_EQ(rig.panel.statusBar[0], "");  // no longer "Acquisition Mode."
    EXPECT_FALSE(rig.shared.m_bSondePowered.load());
    EXPECT_FALSE(rig.power.Adjusting());
    EXPECT_FALSE(rig.panel.IsTimerSet(ID_TIMER_DOWNLOAD));
    EXPECT_FALSE(rig.panel.IsTimerSet(ID_TIMER_POWER_DOWN));
    EXPECT_EQ(rig.panel.Sent(CMD_8), 0);
    EXPECT_EQ(rig.panel.Sent(CMD_0), 1);

    // And it stays off: the display tick follows the sonde, which is off.
    rig.Run(2000);
    EXPECT_FALSE(rig.power.Powered());
    EXPECT_EQ(rig.lastView.powerIcon, IDI_POWER_OFF);
    EXPECT_EQ(rig.panel.boxes.size(), 1u);
}

// Timers driven by hand, without a logger.
class PowerUnitTest : public ::testing::Test {
protected:
    PowerUnitTest() : panel(clock, shared, settings), power(shared, settings, header, panel) {
        settings.sondeDb.SerialNumber = 7;
    }
    void Frame(uint8_t mode, uint8_t frameStatus = 1) {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.sonde.Mode = mode;
        shared.logger.FrameStatus = frameStatus;
        shared.m_bNewData[0].store(true);
    }
    zns::FakeClock clock;
    SharedData shared;
    SettingsData settings;
    HeaderRecord header;
    VirtualPanel panel;
    CPowerControl power;
};

TEST_F(PowerUnitTest, WithoutALinkAPressSwitchesOffWithoutGuardOrBeep) {
    shared.m_nLinkState.store(LINK_IDLE);
    power.OnBnClickedPower();
    EXPECT_FALSE(panel.IsTimerSet(ID_TIMER_POWER_GUARD));
    EXPECT_EQ(panel.beeps, 0);
    EXPECT_EQ(panel.powerIcon, IDI_POWER_OFF);
    EXPECT_TRUE(panel.IsTimerSet(ID_TIMER_POWER_DOWN));
    power.OnBnClickedPower();  // again: still off, no beep
    EXPECT_EQ(panel.beeps, 0);
    EXPECT_FALSE(power.Powered());
}

TEST_F(PowerUnitTest, RefusedPressesSayWhy) {
    shared.m_nLinkState.store(LINK_STATUS);
    shared.g_bGammaCoefEditing.store(true);
    power.OnBnClickedPower();
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0], "You must close the editing before use this button !!!");
    EXPECT_TRUE(panel.due.empty());

    shared.g_bGammaCoefEditing.store(false);
    settings.sondeDb.SerialNumber = 0;
    power.OnBnClickedPower();
    ASSERT_EQ(panel.boxes.size(), 2u);
    EXPECT_EQ(panel.boxes[1], "No sondes selected ...");
    EXPECT_FALSE(power.Powered());
    EXPECT_FALSE(panel.IsTimerSet(ID_TIMER_DOWNLOAD));
}

TEST_F(PowerUnitTest, PowerDownWaitsForAFreshFrameAndAFreeQueueWithoutCounting) {
    shared.m_nLinkState.store(LINK_IDLE);
    power.OnBnClickedPower();  // off
    Frame(11);
    const uint8_t cmd[3] = {0, 0, 0};
    ASSERT_TRUE(shared.txQueue.Push(cmd, 3));  // a command still pending
    power.OnTimer(ID_TIMER_POWER_DOWN);
    EXPECT_EQ(panel.due[ID_TIMER_POWER_DOWN], clock.NowSteadyMs() + 64);
    EXPECT_EQ(power.TryA(), 0);
    EXPECT_FALSE(shared.m_bNewData[0].load());
    shared.txQueue.Clear();

    power.OnTimer(ID_TIMER_POWER_DOWN);  // no fresh frame
    EXPECT_EQ(panel.due[ID_TIMER_POWER_DOWN], clock.NowSteadyMs() + 64);
    EXPECT_EQ(power.TryA(), 0);

    Frame(11);
    power.OnTimer(ID_TIMER_POWER_DOWN);  // the sonde is still on: one try
    EXPECT_EQ(panel.due[ID_TIMER_POWER_DOWN], clock.NowSteadyMs() + 500);
    EXPECT_EQ(power.TryA(), 1);
    EXPECT_EQ(panel.Sent(CMD_0), 1);
    shared.txQueue.Clear();  // written

    Frame(0);
    power.OnTimer(ID_TIMER_POWER_DOWN);
    EXPECT_TRUE(power.PowerDownConfirmed());
    EXPECT_FALSE(panel.IsTimerSet(ID_TIMER_POWER_DOWN));
    EXPECT_EQ(power.TryA(), 0);
}

TEST_F(PowerUnitTest, FrameStatusTexts) {
    EXPECT_EQ(FrameStatusText(0, false).text, " ");
    EXPECT_EQ(FrameStatusText(0, false).cls, STATUS_PLAIN);
    EXPECT_EQ(FrameStatusText(1, false).text, "Status OK");
    EXPECT_EQ(FrameStatusText(1, false).cls, STATUS_RUNNING);
    EXPECT_EQ(FrameStatusText(0x21, false).text, "Status OK");
    EXPECT_EQ(FrameStatusText(0x20, false).text, "Setting adjustment in progress ... wait");
    EXPECT_EQ(FrameStatusText(0x10, false).cls, STATUS_RUNNING);
    // CheckSum Error then No response in the same pass: the last one stands.
    EXPECT_EQ(FrameStatusText(0x0A, false).text, "No response");
    EXPECT_EQ(FrameStatusText(0x0A, false).cls, STATUS_FAILURE);
    EXPECT_EQ(FrameStatusText(0x30, false).text, "Parameter adjustment in progress ... wait");
    EXPECT_EQ(FrameStatusText(0x80, false).text, "Frame error");
    EXPECT_EQ(FrameStatusText(0x84, false).text, "Int resp");
    EXPECT_FALSE(FrameStatusText(0x01, true).set);  // step frames: OVERRUN comes after

    EXPECT_EQ(StatusClassColours(STATUS_RUNNING).text, 0xFF0000u);
    EXPECT_EQ(StatusClassColours(STATUS_NOTICE).text, 0x0000FFu);
    EXPECT_EQ(StatusClassColours(STATUS_FAILURE).text, 0xFFFFFFu);
    EXPECT_EQ(StatusClassColours(STATUS_FAILURE).back, 0x0000FFu);
    EXPECT_FALSE(StatusClassColours(STATUS_FAILURE).ownBack);
}

TEST_F(PowerUnitTest, StatusLineHoldsItsTextUnlessTheCodeChanges) {
    shared.m_bLinkUp.store(true);
    Frame(12, 0x01);
    power.ShowStatus();
    EXPECT_EQ(panel.statusText, "Status OK");
    EXPECT_EQ(panel.due[ID_TIMER_STATUS_HOLD], clock.NowSteadyMs() + 250);
    EXPECT_FALSE(panel.IsTimerSet(ID_TIMER_POWER_GUARD));  // the hold has its own timer

    shared.g_bBadDirection.store(true);
    power.ShowStatus();  // same code, held: nothing new
    EXPECT_EQ(panel.statusText, "Status OK");

    Frame(12, 0x0A);  // a new code ends the hold at once
    power.ShowStatus();
    EXPECT_EQ(panel.statusText, "Bad Winch Direction !!!");
    EXPECT_FALSE(shared.g_bBadDirection.load());

    power.OnTimer(ID_TIMER_STATUS_HOLD);
    power.ShowStatus();
    EXPECT_EQ(panel.statusText, "No response");
    EXPECT_EQ(panel.statusClass, STATUS_FAILURE);

    panel.KillTimer(ID_TIMER_STATUS_HOLD);
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.logger.StepFlag = 1;
    }
    Frame(12, 0x01);
    power.ShowStatus();
    EXPECT_EQ(panel.statusText, "OVERRUN");

    panel.KillTimer(ID_TIMER_STATUS_HOLD);
    shared.g_bWaitLastDepth.store(true);
    shared.g_dLastDepth.store(123.46);
    power.ShowStatus();
    EXPECT_EQ(panel.statusText, "Wait last valid depth...123.5 m");

    panel.KillTimer(ID_TIMER_STATUS_HOLD);
    shared.m_bLinkUp.store(false);
    power.ShowStatus();
    EXPECT_EQ(panel.statusText, "No USB Hardware Detected : Replay Mode.");
    EXPECT_EQ(panel.statusClass, STATUS_NOTICE);
    shared.m_bLoggerNoAccess.store(true);  // one there that may not be opened: the status bar's words
    panel.KillTimer(ID_TIMER_STATUS_HOLD);
    power.ShowStatus();
    EXPECT_EQ(panel.statusText, "No access to the logger : Replay Mode.");
}

TEST_F(PowerUnitTest, SupplyAlarmsBlinkFromTheirLimits) {
    shared.m_nLinkState.store(LINK_STATUS);
    auto supply = [&](int v, int mA) {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.live.Value1 = v;
        shared.live.Value2 = mA;
    };
    supply(105, 250);
    power.UpdateCounters();
    EXPECT_TRUE(panel.blink.empty());
    supply(106, 251);
    power.UpdateCounters();
    EXPECT_TRUE(panel.blink[IDC_VOLTAGE_COUNTER]);
    EXPECT_TRUE(panel.blink[IDC_CURRENT_COUNTER]);
    panel.blink.clear();
    power.UpdateCounters();  // started once, not again
    EXPECT_TRUE(panel.blink.empty());
    supply(105, 251);
    power.UpdateCounters();
    EXPECT_FALSE(panel.blink[IDC_VOLTAGE_COUNTER]);
    EXPECT_EQ(panel.blink.count(IDC_CURRENT_COUNTER), 0u);
}

TEST_F(PowerUnitTest, DisplayTickEnablesByReceiversLinkAndState) {
    shared.m_nLinkState.store(LINK_ANSWER);
    settings.sondeDb.RX_Number = 1;
    PanelView v = power.DisplayTick(false, nullptr);
    EXPECT_EQ(v.receivers, 1);
    EXPECT_FALSE(v.newLogEnabled);
    EXPECT_FALSE(v.recordEnabled);
    EXPECT_TRUE(v.powerEnabled);

    shared.m_nLinkState.store(17);
    header.RXNumber = 3;
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.ReplayLoaded = 1;  // a file: its header says how many receivers
        shared.session.Recording = 1;
    }
    v = power.DisplayTick(false, nullptr);
    EXPECT_EQ(v.receivers, 3);
    EXPECT_TRUE(v.newLogEnabled);
    EXPECT_TRUE(v.recordEnabled);
    EXPECT_FALSE(v.seg2Enabled);

    header.RXNumber = 5;
    v = power.DisplayTick(false, nullptr);
    EXPECT_EQ(v.receivers, -1);  // unchanged

    shared.m_nLinkState.store(2);
    v = power.DisplayTick(false, nullptr);
    EXPECT_FALSE(v.powerEnabled);
    EXPECT_FALSE(power.Powered());
}

TEST_F(PowerUnitTest, PowerIconBlinksOnAFourTickCycleWhilePoweringDown) {
    shared.m_nLinkState.store(LINK_STATUS);
    power.OnBnClickedPower();  // on
    panel.KillTimer(ID_TIMER_POWER_GUARD);
    power.OnBnClickedPower();  // off: handshake running
    ASSERT_TRUE(panel.IsTimerSet(ID_TIMER_POWER_DOWN));
    std::vector<int> icons;
    for (int i = 0; i < 8; ++i) icons.push_back(power.DisplayTick(false, nullptr).powerIcon);
    // Counts 0,1,2,3 then again: 524 at 2, 202 at 3.
    std::vector<int> expected;
    for (int k = 0; k < 8; ++k) {
        const int c = k % 4;
        expected.push_back(c == 2 ? IDI_POWER_OFF_BLINK : c == 3 ? IDI_POWER_OFF : 0);
    }
    EXPECT_EQ(icons, expected);
}

}  // namespace
