// The wide receiver views on offscreen windows.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <thread>

#include "DisplayTestUtil.h"
#include "link/CommandFrames.h"
#include "records/SharedRecords.h"
#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/SpinArrows.h"
#include "platform/ui/TestApp.h"
#include "settings/Header.h"
#include "settings/Preferences.h"
#include "ui/controls/ColorStaticST.h"
#include "ui/controls/WaveCtrl.h"
#include "ui/dialogs/PWideDlg.h"

namespace {

class WideTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            shared.settings.GainRx1 = 10;
            shared.settings.GainRx2 = 20;
            shared.settings.GainRx3 = 30;
        }
        for (int i = 0; i < 3; ++i) {
            auto v = std::make_unique<CPWideDlg>(shared, settings);
            PWideDlgHooks hooks;
            hooks.sendF9 = [this] { ++f9; };
            hooks.saveConfig = [this] { ++saves; };
            hooks.mainWindowRect = [] { return QRect(100, 50, 800, 600); };
            hooks.restoreMainWindowPos = [this] { ++restores; };
            v->SetHooks(hooks);
            v->SetHeader(&header);
            v->Create();
            v->SetReceiver(RX1_ID + i);
            v->UpdateView(i == 0 ? "Rx1" : i == 1 ? "Rx2" : "Rx3");
            views[i] = std::move(v);
        }
    }
    CPWideDlg& V(int i) { return *views[i]; }
    void Start(int i) { V(i).OnTimer(CPWideDlg::kStartTimerId); }
    void State(int i) { V(i).OnTimer(CPWideDlg::kStateTimerId); }
    bool Enabled(int i, int id) { return V(i).GetDlgItem(id)->isEnabled(); }
    void Session(uint8_t running, uint8_t recording) {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.Running = running;
        shared.session.Recording = recording;
    }

    zns::ui::ScriptedUiService ui;
    zns::ui::ScopedService scoped{ui};
    SharedData shared;
    SettingsData settings;
    HeaderRecord header;
    int f9 = 0;
    int saves = 0;
    int restores = 0;
    std::unique_ptr<CPWideDlg> views[3];
};

TEST_F(WideTest, InitialState) {
    EXPECT_EQ(V(1).ReceiverId(), 2002);
    EXPECT_EQ(V(1).Gain(), 20);
    EXPECT_EQ(V(1).GetDlgItemText(CPWideDlg::IDC_GAIN_EDIT), "20");
    EXPECT_EQ(V(1).GetDlgItemText(CPWideDlg::IDC_TITLE), "Rx2");
    EXPECT_EQ(V(1).GetWindowText(), "Rx2");
    EXPECT_EQ(V(1).IconId(), CPWideDlg::IDI_RX2);
    QWidget* title = V(1).GetDlgItem(CPWideDlg::IDC_TITLE);  // whole at the smallest size
    for (const char* text : {"Rx1 Near", "Rx2 Medium", "Rx3 Far"}) {
        V(1).UpdateView(text);
        EXPECT_LE(title->fontMetrics().horizontalAdvance(text), title->contentsRect().width()) << text;
    }
    EXPECT_EQ(V(2).IconId(), CPWideDlg::IDI_RX3);
    EXPECT_EQ(V(1).Scope()->m_nChannel, 2002);
    EXPECT_EQ(V(1).Scope()->CaptionFlag(), 0);
    EXPECT_EQ(V(1).Scope()->m_strCaption2, "Wide");
    EXPECT_EQ(V(1).ZoomCombo()->count(), 7);
    EXPECT_EQ(V(1).ZoomCombo()->currentText(), "1");
    EXPECT_FALSE(Enabled(1, CPWideDlg::IDC_GAIN_SPIN));
    EXPECT_FALSE(Enabled(1, CPWideDlg::IDC_GAIN_EDIT));
    EXPECT_TRUE(V(1).IsTimerSet(CPWideDlg::kStartTimerId));
    EXPECT_EQ(V(1).TemplateSize(), QSize(488, 93));
    EXPECT_TRUE(V(1).windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(V(1).GetMinTrackSize(), QSize(488, 93));
    EXPECT_FALSE(V(1).IsShown());
}

TEST_F(WideTest, StartTimerTicksTheReceiversAgc) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.AGC_Rx2 = 1;
    }
    Start(0);
    Start(1);
    EXPECT_FALSE(V(0).IsTimerSet(CPWideDlg::kStartTimerId));
    EXPECT_TRUE(V(0).IsTimerSet(CPWideDlg::kStateTimerId));
    EXPECT_EQ(V(0).IsDlgButtonChecked(CPWideDlg::IDC_AGC), BST_UNCHECKED);
    EXPECT_EQ(V(1).IsDlgButtonChecked(CPWideDlg::IDC_AGC), BST_CHECKED);
}

TEST_F(WideTest, ZoomGoesToTheReceiversDisplayGainOnly) {
    V(1).ZoomCombo()->setCurrentIndex(3);
    emit V(1).ZoomCombo()->activated(3);
    EXPECT_EQ(shared.g_nDisplayGainRx[1].load(), 8);
    EXPECT_EQ(shared.g_nDisplayGainRx[0].load(), 1);
    EXPECT_EQ(shared.g_nDisplayGainRx[2].load(), 1);
    EXPECT_EQ(V(1).Scope()->Gain(), 8);
    EXPECT_EQ(V(0).Scope()->Gain(), 1);
    EXPECT_TRUE(V(1).Scope()->RefreshPending());
    V(2).ZoomCombo()->setCurrentIndex(6);
    emit V(2).ZoomCombo()->activated(6);
    EXPECT_EQ(shared.g_nDisplayGainRx[2].load(), 64);
    EXPECT_EQ(shared.g_nDisplayGainRx[1].load(), 8);
    // A committed gain change puts the zoom back to 1.
    V(1).OnVScroll(SB_ENDSCROLL, CPWideDlg::IDC_GAIN_SPIN, nullptr);
    EXPECT_EQ(V(1).ZoomCombo()->currentIndex(), 0);
    EXPECT_EQ(shared.g_nDisplayGainRx[1].load(), 1);
    EXPECT_EQ(shared.g_nDisplayGainRx[2].load(), 64);
}

TEST_F(WideTest, GainEditAcceptsZeroTo36) {
    V(0).show();
    V(0).ZoomCombo()->setCurrentIndex(2);
    shared.g_nDisplayGainRx[0].store(4);
    V(0).EnableDlgItem(CPWideDlg::IDC_GAIN_EDIT, TRUE);
    V(0).GainEdit()->setFocus();
    ASSERT_EQ(V(0).focusWidget(), V(0).GainEdit());

    for (const char* bad : {"40", "-3", ""}) {
        V(0).GainEdit()->setText(bad);
        QTest::keyClick(V(0).GainEdit(), Qt::Key_Return);
        EXPECT_EQ(ui.LastBox().text, "Bad entered value");
        EXPECT_EQ(V(0).GainEdit()->text(), *bad ? bad : "10");
        EXPECT_EQ(ui.LastBox().Icon(), 0u);
        EXPECT_EQ(shared.SnapshotSettings().GainRx1, 10);
        EXPECT_EQ(f9, 0);
        EXPECT_EQ(V(0).ZoomCombo()->currentIndex(), 2);
    }
    ui.Clear();
    // Enter in the edit: the default button's OK with the edit in focus.
    V(0).GainEdit()->setText("36");
    QTest::keyClick(V(0).GainEdit(), Qt::Key_Return);
    EXPECT_EQ(ui.BoxCount(), 0u);
    EXPECT_EQ(V(0).Gain(), 36);
    EXPECT_EQ(shared.SnapshotSettings().GainRx1, 36);
    EXPECT_EQ(f9, 1);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(V(0).ZoomCombo()->currentIndex(), 0);
    EXPECT_EQ(shared.g_nDisplayGainRx[0].load(), 1);
    EXPECT_TRUE(V(0).isVisible());  // OK with the edit in focus does not close
    // A huge number saturates and is refused, never wraps into range.
    V(0).GainEdit()->setText("4294967306");  // 2^32 + 10
    V(0).SendCommand(IDOK);
    EXPECT_EQ(ui.LastBox().text, "Bad entered value");
    EXPECT_EQ(V(0).Gain(), 36);
    V(0).activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&V(0)));
    QTest::keyClicks(V(0).GainEdit(), "2");  // typed without Enter, then the view closed and opened again
    QTest::mouseClick(V(0).CloseButton(), Qt::LeftButton);
    EXPECT_EQ(V(0).GainEdit()->text(), "36");  // the edit left shows the gain in use at once
    V(0).show();
    EXPECT_EQ(V(0).GainEdit()->text(), "36");
}

TEST_F(WideTest, SpinStopsAt36AndSendsOnRelease) {
    V(2).OnVScroll(SB_LINEUP, CPWideDlg::IDC_GAIN_SPIN, nullptr);
    EXPECT_EQ(V(2).Gain(), 31);
    for (int i = 0; i < 10; ++i) V(2).OnVScroll(SB_LINEUP, CPWideDlg::IDC_GAIN_SPIN, nullptr);
    EXPECT_EQ(V(2).Gain(), 36);
    EXPECT_EQ(V(2).GetDlgItemText(CPWideDlg::IDC_GAIN_EDIT), "36");
    EXPECT_EQ(f9, 0);
    EXPECT_EQ(shared.SnapshotSettings().GainRx3, 30);  // not committed yet
    V(2).OnVScroll(SB_ENDSCROLL, CPWideDlg::IDC_GAIN_SPIN, nullptr);
    EXPECT_EQ(f9, 1);
    EXPECT_EQ(shared.SnapshotSettings().GainRx3, 36);
    for (int i = 0; i < 50; ++i) V(2).OnVScroll(SB_LINEDOWN, CPWideDlg::IDC_GAIN_SPIN, nullptr);
    EXPECT_EQ(V(2).Gain(), 0);
    V(2).OnVScroll(SB_LINEUP, 4242, nullptr);  // not our spin
    EXPECT_EQ(V(2).Gain(), 0);
}

TEST_F(WideTest, DefaultCommandNineGoesToTheSendQueue) {
    CPWideDlg plain(shared, settings);
    plain.Create();
    plain.SetReceiver(RX1_ID);
    ASSERT_EQ(shared.TxLength(), 0);
    plain.OnVScroll(SB_ENDSCROLL, CPWideDlg::IDC_GAIN_SPIN, nullptr);
    EXPECT_EQ(shared.TxLength(), 6);
    std::vector<uint8_t> frame;
    ASSERT_TRUE(shared.txQueue.Front(frame));
    EXPECT_EQ(frame[0], 9);
    EXPECT_EQ(frame[1], 10);  // Rx1 gain
}

TEST_F(WideTest, AgcClickStoresSendsAndSaves) {
    Start(0);
    V(0).CheckDlgButton(CPWideDlg::IDC_AGC, BST_CHECKED);
    V(0).SendCommand(CPWideDlg::IDC_AGC);
    EXPECT_EQ(shared.SnapshotSettings().AGC_Rx1, 1);
    EXPECT_EQ(f9, 1);
    EXPECT_EQ(saves, 1);
}

TEST_F(WideTest, GainControlsFollowPowerRecordingAndAgc) {
    for (int i = 0; i < 3; ++i) Start(i);
    State(0);
    EXPECT_FALSE(Enabled(0, CPWideDlg::IDC_AGC));  // sonde off
    EXPECT_FALSE(Enabled(0, CPWideDlg::IDC_GAIN_SPIN));
    shared.m_bSondePowered.store(true);
    State(0);
    EXPECT_TRUE(Enabled(0, CPWideDlg::IDC_AGC));
    EXPECT_TRUE(Enabled(0, CPWideDlg::IDC_GAIN_SPIN));
    EXPECT_TRUE(Enabled(0, CPWideDlg::IDC_GAIN_EDIT));
    EXPECT_TRUE(V(0).GainControlsEnabled());
    EXPECT_TRUE(V(0).IsTimerSet(CPWideDlg::kStateTimerId));
    // On AGC the manual gain is off.
    V(0).CheckDlgButton(CPWideDlg::IDC_AGC, BST_CHECKED);
    State(0);
    EXPECT_FALSE(Enabled(0, CPWideDlg::IDC_GAIN_SPIN));
    V(0).CheckDlgButton(CPWideDlg::IDC_AGC, BST_UNCHECKED);
    State(0);
    EXPECT_TRUE(Enabled(0, CPWideDlg::IDC_GAIN_EDIT));
    // While recording (no player running): AGC, spin and edit are all disabled.
    Session(0, 1);
    State(0);
    EXPECT_FALSE(Enabled(0, CPWideDlg::IDC_AGC));
    EXPECT_FALSE(Enabled(0, CPWideDlg::IDC_GAIN_SPIN));
    Session(1, 1);
    State(0);
    EXPECT_FALSE(Enabled(0, CPWideDlg::IDC_AGC));
    EXPECT_FALSE(Enabled(0, CPWideDlg::IDC_GAIN_SPIN));
    EXPECT_FALSE(Enabled(0, CPWideDlg::IDC_GAIN_EDIT));
}

// Each view keeps its own saved AGC state across a replay.
TEST_F(WideTest, ReplayShowsTheHeadersAgcAndEachViewGetsItsOwnBack) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.AGC_Rx1 = 1;
        shared.settings.AGC_Rx2 = 0;
        shared.settings.AGC_Rx3 = 1;
    }
    shared.m_bSondePowered.store(true);
    for (int i = 0; i < 3; ++i) Start(i);
    header.Rx1_AGC = FALSE;
    header.Rx2_AGC = TRUE;
    header.Rx3_AGC = FALSE;

    Session(1, 0);  // the player runs
    for (int i = 0; i < 3; ++i) State(i);
    EXPECT_TRUE(V(0).ReplayShown());
    EXPECT_EQ(V(0).IsDlgButtonChecked(CPWideDlg::IDC_AGC), BST_UNCHECKED);
    EXPECT_EQ(V(1).IsDlgButtonChecked(CPWideDlg::IDC_AGC), BST_CHECKED);
    EXPECT_EQ(V(2).IsDlgButtonChecked(CPWideDlg::IDC_AGC), BST_UNCHECKED);
    EXPECT_FALSE(Enabled(1, CPWideDlg::IDC_AGC));
    auto* shown = V(0).GetDlgItem<CColorStaticST>(CPWideDlg::IDC_GAIN_SHOWN);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->GetBkColor(), CPWideDlg::kReplayColor);

    Session(0, 0);  // replay over
    for (int i = 0; i < 3; ++i) State(i);
    EXPECT_FALSE(V(0).ReplayShown());
    EXPECT_EQ(V(0).IsDlgButtonChecked(CPWideDlg::IDC_AGC), BST_CHECKED);
    EXPECT_EQ(V(1).IsDlgButtonChecked(CPWideDlg::IDC_AGC), BST_UNCHECKED);
    EXPECT_EQ(V(2).IsDlgButtonChecked(CPWideDlg::IDC_AGC), BST_CHECKED);
    EXPECT_TRUE(Enabled(0, CPWideDlg::IDC_AGC));
    EXPECT_EQ(shown->GetBkColor(), CPWideDlg::kLiveColor);
}

TEST_F(WideTest, DraggingMovesTheView) {
    V(0).setGeometry(200, 150, 488, 93);
    V(0).show();
    zns::ui::PumpEvents(0);
    const QPoint start = V(0).geometry().topLeft();
    V(0).OnLButtonDown(zns::MK_LBUTTON, 30, 20);
    EXPECT_TRUE(V(0).Dragging());
    EXPECT_EQ(V(0).DragAnchor(), QPoint(30, 20));
    V(0).OnMouseMove(zns::MK_LBUTTON, 40, 35);
    EXPECT_EQ(V(0).geometry().topLeft(), start + QPoint(10, 15));
    EXPECT_TRUE(V(0).IsTimerSet(CPWideDlg::kDragTimerId));
    // Only the plain left button drags.
    V(0).OnMouseMove(zns::MK_LBUTTON | zns::MK_SHIFT, 80, 80);
    EXPECT_EQ(V(0).geometry().topLeft(), start + QPoint(10, 15));
    V(0).OnLButtonUp(0, 40, 35);
    EXPECT_FALSE(V(0).Dragging());
    // 200 ms of rest: the anchor goes; the next move starts a new one.
    V(0).OnTimer(CPWideDlg::kDragTimerId);
    EXPECT_EQ(V(0).DragAnchor(), QPoint(-1, -1));
    V(0).OnMouseMove(zns::MK_LBUTTON, 50, 50);
    EXPECT_EQ(V(0).DragAnchor(), QPoint(50, 50));
    EXPECT_EQ(V(0).geometry().topLeft(), start + QPoint(10, 15));
}

TEST_F(WideTest, ScopeNotificationsOfOtherChannelsOnlyAnswer) {
    V(1).setGeometry(200, 150, 488, 93);
    V(1).show();
    ScopeNotify n;
    n.hdr.code = CWaveCtrl::kNotifyButtonDown;
    n.channel = 2003;
    n.x = 5;
    n.y = 6;
    EXPECT_EQ(V(1).OnScopeNotify(1239, n), -1);
    EXPECT_FALSE(V(1).Dragging());
    n.channel = 2002;
    EXPECT_EQ(V(1).OnScopeNotify(1239, n), -1);
    EXPECT_TRUE(V(1).Dragging());
    EXPECT_EQ(V(1).DragAnchor(), QPoint(5, 6));
    // Straight from the scope's own mouse events.
    QTest::mouseRelease(V(1).Scope(), Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    EXPECT_FALSE(V(1).Dragging());
}

TEST_F(WideTest, PlacementStoredOrCascaded) {
    for (int i = 0; i < 3; ++i) V(i).ShowWide();
    EXPECT_EQ(restores, 3);
    // x = L + (R - L - w) / 2, y = B + 4; Rx2 +(30, 40), Rx3 +(60, 70).
    const int x0 = 100 + (800 - 488) / 2;
    EXPECT_EQ(V(0).geometry().topLeft(), QPoint(x0, 654));
    EXPECT_EQ(V(1).geometry().topLeft(), QPoint(x0 + 30, 694));
    EXPECT_EQ(V(2).geometry().topLeft(), QPoint(x0 + 60, 724));

    // A stored length of 0 or 1000 is ignored; 44 is applied.
    settings.layout.placement[LAYOUT_WIDE_RX2] = {1000, 0, SW_SHOWNORMAL, 0, 0, 0, 0, 10, 10, 500, 110};
    V(1).ShowWide();
    EXPECT_EQ(restores, 4);
    settings.layout.placement[LAYOUT_WIDE_RX2].length = 44;
    V(1).ShowWide();
    EXPECT_EQ(restores, 4);
    EXPECT_EQ(V(1).geometry(), QRect(10, 10, 490, 100));

    // Closing stores the placement and hides; the close button and Escape only hide.
    V(2).setGeometry(300, 200, 500, 100);
    V(2).OnClose();
    EXPECT_FALSE(V(2).isVisible());
    EXPECT_EQ(settings.layout.placement[LAYOUT_WIDE_RX3].length, 44u);
    EXPECT_EQ(settings.layout.placement[LAYOUT_WIDE_RX3].left, 300);
    EXPECT_EQ(settings.layout.placement[LAYOUT_WIDE_RX3].right, 800);
    V(1).show();
    V(1).CloseButton()->setFocus();
    V(1).CloseButton()->click();
    EXPECT_FALSE(V(1).isVisible());
    EXPECT_EQ(settings.layout.placement[LAYOUT_WIDE_RX2].left, 10);
    V(0).show();
    QTest::keyClick(&V(0), Qt::Key_Escape);
    EXPECT_FALSE(V(0).isVisible());
    EXPECT_EQ(settings.layout.placement[LAYOUT_WIDE_RX1].length, 0u);
}

TEST_F(WideTest, GainTextFromAWorker) {
    std::thread t([&] { V(0).ShowGainText(17); });
    t.join();
    zns::ui::PumpEvents(10);
    EXPECT_EQ(V(0).GetDlgItemText(CPWideDlg::IDC_GAIN_SHOWN), "17");
    V(0).show();
    EXPECT_TRUE(V(0).IsShown());
    V(0).hide();
    EXPECT_FALSE(V(0).IsShown());
}

TEST_F(WideTest, FaButtonAndSettingsChangeReloadTheScope) {
    int dialogs = 0;
    CWaveCtrl::SetCursorDialog([&](CWaveCtrl& w) {
        ++dialogs;
        EXPECT_EQ(w.m_nChannel, 2002);
    });
    V(1).SendCommand(CPWideDlg::IDC_FA);
    CWaveCtrl::SetCursorDialog(nullptr);
    EXPECT_EQ(dialogs, 1);
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.FA[1] = {30, 120, 640, 1};
    }
    V(1).SendCommand(CPWideDlg::ID_SCOPE_SETTINGS_CHANGED);
    EXPECT_EQ(V(1).Scope()->WindowEnd(), 640);
    EXPECT_EQ(V(1).Scope()->ThresholdLevel(), 157);
}

TEST_F(WideTest, Screenshot) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.FA[0] = {10, 250, 900, 1};
    }
    shared.m_bSondePowered.store(true);
    V(0).setGeometry(50, 50, 640, 150);
    V(0).show();
    Start(0);
    State(0);
    V(0).ShowGainText(10);
    const std::vector<int16_t> s = zns::test::SonicTrace(512, 4, 420, 8000);
    V(0).Scope()->SetWaveData(s.data(), 512, 2, 10, 250, 900, 1, 2, true);
    zns::ui::PumpEvents(150);
    EXPECT_TRUE(V(0).grab().toImage().save(QString::fromStdString(zns::test::ArtifactPath("wide_view.png"))));
}

}  // namespace
