// The communication page: value checks, store-save-send, baud list and its
// uphole-drive maximum, read-back resends and warnings, lamps, echoes, "&Check".
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <vector>

#include "records/SharedRecords.h"
#include "platform/Clock.h"
#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/SpinArrows.h"
#include "settings/Preferences.h"
#include "ui/controls/ColorStaticST.h"
#include "ui/dialogs/PCommDlg.h"

namespace {

class PCommDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            AcquisitionSettings& s = shared.settings;
            s.UpGain = 15;
            s.DownDrive = 27;
            s.BaudDivisor = 10;
            s.UpDrive = 30;
            s.TimeInterval = 250;
            s.ZNSModus_Rx1 = s.ZNSModus_Rx2 = s.ZNSModus_Rx3 = TLC_512_8US;
            settings.sondeDb.nSelected = 2;
        }
        page = std::make_unique<CPCommDlg>(shared, settings, nullptr, &clock);
        PCommDlgHooks h;
        h.sendCommand = [this](int code) {
            sent.push_back(code);
            return true;
        };
        h.saveConfig = [this] { ++saves; };
        h.postAcquisitionPage = [this](unsigned id) { posted.push_back(id); };
        h.runCheck = [this] { ++checks; };
        h.pumpMessages = [] {};
        page->SetHooks(std::move(h));
        ASSERT_TRUE(page->Create());
    }
    void Echo(int gain, int drive, uint8_t status) {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.sonde.UpGainEcho = uint8_t(gain);
        shared.sonde.DownDriveEcho = uint8_t(drive);
        shared.sonde.FrameStatus = status;
    }
    std::string Text(int id) { return page->GetDlgItemText(id); }

    zns::ui::ScriptedUiService ui;
    zns::ui::ScopedService scoped{ui};
    zns::FakeClock clock;
    SharedData shared;
    SettingsData settings;
    std::unique_ptr<CPCommDlg> page;
    std::vector<int> sent;
    std::vector<unsigned> posted;
    int saves = 0, checks = 0;
};

}  // namespace

TEST_F(PCommDlgTest, InitialisationShowsTheSettings) {
    EXPECT_EQ(page->BaudList()->count(), 10);
    EXPECT_EQ(page->BaudList()->currentText().toStdString(), "62500");
    EXPECT_EQ(Text(CPCommDlg::IDC_UP_DRIVE_MAX), "Max : 40");
    EXPECT_EQ(Text(CPCommDlg::IDC_UP_DRIVE), "30");
    EXPECT_EQ(Text(CPCommDlg::IDC_DOWN_DRIVE), "27");
    EXPECT_EQ(Text(CPCommDlg::IDC_GAIN), "15");
    EXPECT_EQ(page->BaudEcho()->GetBkColor(), CPCommDlg::kEchoLive);
    EXPECT_TRUE(page->IsTimerSet(CPCommDlg::kLampTimerId));
}

TEST_F(PCommDlgTest, AcceptedValuesAreStoredSavedAndSent) {
    shared.m_nStatusOneFrames = 5;
    page->SetDlgItemText(CPCommDlg::IDC_GAIN, "22");
    page->OnEnKillfocusGain();
    page->SetDlgItemText(CPCommDlg::IDC_DOWN_DRIVE, "33");
    page->OnEnKillfocusDownDrive();
    page->SetDlgItemText(CPCommDlg::IDC_UP_DRIVE, "12");
    page->OnEnKillfocusUpDrive();
    EXPECT_EQ(sent, (std::vector<int>{3, 3, 10}));
    EXPECT_EQ(saves, 3);
    const AcquisitionSettings s = shared.SnapshotSettings();
    EXPECT_EQ(s.UpGain, 22);
    EXPECT_EQ(s.DownDrive, 33);
    EXPECT_EQ(s.UpDrive, 12);
    const SondeRecord& r = settings.sondeDb.Slots[2];
    EXPECT_EQ(r.UpGain, 22);
    EXPECT_EQ(r.DownDrive, 33);
    EXPECT_EQ(r.UpDrive, 12);
    EXPECT_EQ(shared.m_nStatusOneFrames.load(), 0);
    EXPECT_TRUE(page->IsTimerSet(CPCommDlg::kReadBackTimerId));
}

TEST_F(PCommDlgTest, RefusedValuesChangeNothing) {
    page->SetDlgItemText(CPCommDlg::IDC_GAIN, "41");
    page->OnEnKillfocusGain();
    EXPECT_EQ(ui.LastBox().text, "Bad entered value");
    EXPECT_EQ(Text(CPCommDlg::IDC_GAIN), "41");  // left as typed

    page->SetDlgItemText(CPCommDlg::IDC_DOWN_DRIVE, "61");
    page->OnEnKillfocusDownDrive();
    EXPECT_EQ(ui.LastBox().text, "Bad DownHole entered value !!!\nMin:5 Max:60");
    EXPECT_EQ(Text(CPCommDlg::IDC_DOWN_DRIVE), "27");

    page->SetDlgItemText(CPCommDlg::IDC_UP_DRIVE, "41");
    page->OnEnKillfocusUpDrive();
    EXPECT_EQ(ui.LastBox().text, "Bad Uphole entered value\nMin:5 Max:40 for this Baudrate.");
    EXPECT_EQ(Text(CPCommDlg::IDC_UP_DRIVE), "30");

    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(shared.SnapshotSettings().UpGain, 15);
}

// Keys and clicks as the operator gives them: Enter runs the edit's own check
// and no button; text that is no whole number, or none, is refused whether it
// is left with Tab or stepped with the arrows.
TEST_F(PCommDlgTest, EnterTabAndArrowsApplyOnlyWhatWasTyped) {
    page->show();
    page->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
    auto retype = [](QLineEdit* e, const char* text) {
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, QString::fromLatin1(text));
    };
    retype(page->DownDriveEdit(), "30");
    QTest::keyClick(page->DownDriveEdit(), Qt::Key_Return);
    EXPECT_EQ(sent, (std::vector<int>{3}));
    EXPECT_EQ(checks, 0);
    EXPECT_EQ(shared.SnapshotSettings().DownDrive, 30);
    page->GainEdit()->setFocus();  // leaving the drive edit checks it once more
    sent.clear();
    saves = 0;

    for (const char* typed : {"abc", "12-3", ""}) {
        retype(page->GainEdit(), typed);
        QTest::keyClick(page->GainEdit(), Qt::Key_Tab);
        EXPECT_EQ(Text(CPCommDlg::IDC_GAIN), "15") << typed;
    }
    retype(page->GainEdit(), "abc");
    ui.Clear();
    QFocusEvent toMenu(QEvent::FocusOut, Qt::PopupFocusReason);  // its context menu
    QApplication::sendEvent(page->GainEdit(), &toMenu);
    EXPECT_EQ(ui.BoxCount(), 0u);
    auto* spin = page->GetDlgItem<CSpinArrows>(CPCommDlg::IDC_GAIN_SPIN);
    QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, spin->height() / 4));
    EXPECT_EQ(Text(CPCommDlg::IDC_GAIN), "15");
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(shared.SnapshotSettings().UpGain, 15);
    EXPECT_EQ(settings.sondeDb.Slots[2].UpGain, kSondeDefaultUpGain);
}

TEST_F(PCommDlgTest, FastBaudLowersTheUpholeDriveAndTheInterval) {
    page->BaudList()->setCurrentIndex(page->BaudList()->findText("156250"));
    page->OnCbnSelchangeBaud();
    const AcquisitionSettings s = shared.SnapshotSettings();
    EXPECT_EQ(s.BaudDivisor, 4);
    EXPECT_EQ(s.UpDrive, 16);
    EXPECT_EQ(settings.sondeDb.Slots[2].UpDrive, 16);
    EXPECT_EQ(settings.sondeDb.Slots[2].UpBaudDivisor, 4);
    EXPECT_EQ(Text(CPCommDlg::IDC_UP_DRIVE_MAX), "Max : 16");
    EXPECT_EQ(Text(CPCommDlg::IDC_UP_DRIVE), "16");
    EXPECT_EQ(sent, (std::vector<int>{10}));
    EXPECT_EQ(saves, 1);
    EXPECT_FALSE(page->IsTimerSet(CPCommDlg::kReadBackTimerId));

    // The slowest baud cannot carry three long traces in 250 ms.
    page->BaudList()->setCurrentIndex(page->BaudList()->findText("31250"));
    page->OnCbnSelchangeBaud();
    EXPECT_GT(shared.SnapshotSettings().TimeInterval, 250);
    EXPECT_EQ(posted, (std::vector<unsigned>{CPCommDlg::ID_REARM_ACQ_READBACK}));
}

TEST_F(PCommDlgTest, SpinArrowsStepWithinTheRangeAndCommitAtTheEnd) {
    page->SetDlgItemText(CPCommDlg::IDC_GAIN, "0");
    page->OnVScroll(SB_LINEDOWN, CPCommDlg::IDC_GAIN_SPIN, nullptr);
    EXPECT_EQ(Text(CPCommDlg::IDC_GAIN), "0");
    page->SetDlgItemText(CPCommDlg::IDC_UP_DRIVE, "40");
    page->OnVScroll(SB_LINEUP, CPCommDlg::IDC_UP_DRIVE_SPIN, nullptr);
    EXPECT_EQ(Text(CPCommDlg::IDC_UP_DRIVE), "40");
    page->OnVScroll(SB_LINEDOWN, CPCommDlg::IDC_UP_DRIVE_SPIN, nullptr);
    EXPECT_TRUE(sent.empty());
    page->OnVScroll(SB_ENDSCROLL, CPCommDlg::IDC_UP_DRIVE_SPIN, nullptr);
    EXPECT_EQ(shared.SnapshotSettings().UpDrive, 39);
    EXPECT_EQ(sent, (std::vector<int>{10}));
    EXPECT_FALSE(page->IsTimerSet(CPCommDlg::kReadBackTimerId));
    page->OnVScroll(SB_LINEUP, CPCommDlg::IDC_DOWN_DRIVE_SPIN, nullptr);
    page->OnVScroll(SB_ENDSCROLL, CPCommDlg::IDC_DOWN_DRIVE_SPIN, nullptr);
    EXPECT_EQ(shared.SnapshotSettings().DownDrive, 28);
    EXPECT_EQ(sent, (std::vector<int>{10, 3}));
    EXPECT_TRUE(page->IsTimerSet(CPCommDlg::kReadBackTimerId));
}

TEST_F(PCommDlgTest, ReadBackResendsSixTimesThenWarnsOncePerValue) {
    page->SetDlgItemText(CPCommDlg::IDC_GAIN, "20");
    page->OnEnKillfocusGain();
    sent.clear();
    // No fresh frame: poll again at 350 ms without a resend.
    page->OnTimer(CPCommDlg::kReadBackTimerId);
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(page->IsTimerSet(CPCommDlg::kReadBackTimerId));
    for (int i = 0; i < 7; ++i) {
        Echo(19, 26, 0x01);
        shared.m_bNewData[0] = true;
        page->OnTimer(CPCommDlg::kReadBackTimerId);
    }
    EXPECT_EQ(sent, std::vector<int>(6, 3));
    ASSERT_EQ(ui.BoxCount(), 2u);
    EXPECT_EQ(ui.Boxes()[0].text, "UPHOLE RECEIVER GAIN\nWarning consigne error\n Send:20  Read back:19");
    EXPECT_EQ(ui.Boxes()[1].text, "DOWNHOLE SIGNAL DRIVE\nWarning consigne error\n Send:27  Read back:26");
    EXPECT_FALSE(page->IsTimerSet(CPCommDlg::kReadBackTimerId));
    EXPECT_EQ(page->ReadBackRetries(), 0);
    EXPECT_EQ(shared.SnapshotSettings().UpGain, 20);  // the operator's value stays

    // Matching echoes end the read-back quietly.
    page->SetDlgItemText(CPCommDlg::IDC_GAIN, "19");
    page->OnEnKillfocusGain();
    Echo(19, 27, 0x01);
    shared.m_bNewData[0] = true;
    page->OnTimer(CPCommDlg::kReadBackTimerId);
    EXPECT_FALSE(page->IsTimerSet(CPCommDlg::kReadBackTimerId));
    EXPECT_EQ(ui.BoxCount(), 2u);
}

TEST_F(PCommDlgTest, LampsLightOnTheirBitsAndFadeAfterTheHold) {
    page->show();
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.logger.FrameStatus = 0x0A;  // no response + checksum
    }
    page->OnTimer(CPCommDlg::kLampTimerId);
    EXPECT_EQ(page->LampState(CPCommDlg::IDC_LAMP_NO_RESP), CPCommDlg::Lamp::Red);
    EXPECT_EQ(page->LampState(CPCommDlg::IDC_LAMP_CHECKSUM), CPCommDlg::Lamp::Red);
    EXPECT_EQ(page->LampState(CPCommDlg::IDC_LAMP_UPHOLE), CPCommDlg::Lamp::Grey);
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.logger.FrameStatus = 0x01;
    }
    int ticks = 0;
    while (page->LampState(CPCommDlg::IDC_LAMP_NO_RESP) == CPCommDlg::Lamp::Red && ticks < 20) {
        page->OnTimer(CPCommDlg::kLampTimerId);
        ++ticks;
    }
    EXPECT_EQ(ticks, 4);  // lit about five ticks after the bit was last seen
    page->OnTimer(CPCommDlg::kLampTimerId);
    EXPECT_EQ(page->LampState(CPCommDlg::IDC_LAMP_UPHOLE), CPCommDlg::Lamp::Green);
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.logger.FrameStatus = 0x30;
    }
    page->OnTimer(CPCommDlg::kLampTimerId);
    EXPECT_EQ(page->LampState(CPCommDlg::IDC_LAMP_PARAMETER), CPCommDlg::Lamp::Yellow);
    EXPECT_EQ(page->LampState(CPCommDlg::IDC_LAMP_SETTING), CPCommDlg::Lamp::Yellow);

    shared.g_nWaveHeadFlag = 1;
    page->RefreshStatusLamps();
    EXPECT_EQ(page->LampState(CPCommDlg::IDC_LAMP_DOWNHOLE), CPCommDlg::Lamp::Red);
    shared.g_nWaveHeadFlag = 0;
    page->RefreshStatusLamps();
    EXPECT_EQ(page->LampState(CPCommDlg::IDC_LAMP_DOWNHOLE), CPCommDlg::Lamp::Green);
}

TEST_F(PCommDlgTest, EchoesAndCheckButton) {
    page->ShowLinkEchoes();
    EXPECT_EQ(Text(CPCommDlg::IDC_BAUD_ECHO), "-");
    EXPECT_EQ(Text(CPCommDlg::IDC_UP_DRIVE_ECHO), "-");
    shared.m_bSondePowered = true;
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.sonde.BaudEcho = 6;
        shared.sonde.UpDriveEcho = 17;
        shared.session.Running = 1;
    }
    shared.m_bNewData[2] = true;
    page->ShowLinkEchoes();
    EXPECT_EQ(Text(CPCommDlg::IDC_BAUD_ECHO), "104167");
    EXPECT_EQ(Text(CPCommDlg::IDC_UP_DRIVE_ECHO), "17");
    EXPECT_FALSE(shared.m_bNewData[2]);
    EXPECT_EQ(page->BaudEcho()->GetBkColor(), CPCommDlg::kEchoReplay);

    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.Recording = 1;
    }
    page->OnBnClickedCheck();
    EXPECT_EQ(ui.LastBox().text, "Stop your record before use this option");
    EXPECT_EQ(checks, 0);
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.Recording = 0;
    }
    page->OnBnClickedCheck();
    EXPECT_EQ(checks, 1);
    EXPECT_TRUE(page->IsTimerSet(CPCommDlg::kPostCheckTimerId));
    // Its expiry sends the page's values again: gain, uphole drive, downhole drive.
    page->OnTimer(CPCommDlg::kPostCheckTimerId);
    EXPECT_EQ(sent, (std::vector<int>{3, 10, 3}));
}

#include "../../ui/dialogs/DialogTestUtil.h"

TEST_F(PCommDlgTest, Screenshot) {
    page->show();
    page->OnTimer(CPCommDlg::kLampTimerId);
    EXPECT_TRUE(zns::test::SaveShot(*page, "comm_page.png"));
}

#include "ui/dialogs/CheckComm.h"

// The auto-check dialog: fields, the first tick, and "&Cancel" putting the
// operator's values back without saving.
TEST_F(PCommDlgTest, CheckDialogStartsAndCancelRestores) {
    CCheckComm dlg(shared, settings, nullptr, &clock);
    CheckCommHooks h;
    h.sendCommand = [this](int code) {
        sent.push_back(code);
        return true;
    };
    h.saveConfig = [this] { ++saves; };
    dlg.SetHooks(std::move(h));
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Communication Auto check");
    EXPECT_TRUE(shared.m_bCommCheck);
    EXPECT_TRUE(dlg.IsTimerSet(CCheckComm::kStateTimerId));
    dlg.OnTimer(CCheckComm::kStateTimerId);  // state 0: trial values sent with command 8
    EXPECT_EQ(sent, (std::vector<int>{8}));
    EXPECT_EQ(dlg.GetDlgItemText(CCheckComm::IDC_DOWN_CURRENT), "15");
    EXPECT_EQ(dlg.GetDlgItemText(CCheckComm::IDC_BAUD_CURRENT), "31250");
    EXPECT_EQ(dlg.GetDlgItemText(CCheckComm::IDC_STATUS), "Initialization ...");
    EXPECT_EQ(shared.SnapshotSettings().ZNSModus_Rx1, 0);
    dlg.show();
    EXPECT_TRUE(zns::test::SaveShot(dlg, "check_comm.png"));

    dlg.OnCancel();
    EXPECT_FALSE(shared.m_bCommCheck);
    const AcquisitionSettings s = shared.SnapshotSettings();
    EXPECT_EQ(s.DownDrive, 27);
    EXPECT_EQ(s.UpGain, 15);
    EXPECT_EQ(s.BaudDivisor, 10);
    EXPECT_EQ(s.ZNSModus_Rx1, TLC_512_8US);
    EXPECT_EQ(s.TimeInterval, 250);
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(dlg.GetDlgItemText(CCheckComm::IDC_STATUS), "Parametres restored , wait !!!");
    EXPECT_FALSE(dlg.IsTimerSet(CCheckComm::kStateTimerId));
}
