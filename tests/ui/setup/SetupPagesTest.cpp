// The winch and acquisition pages and the "Logger Setup" dialog: what is
// stored, saved and sent, the read-back resends and their one warning.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "link/CommandFrames.h"
#include "records/SharedRecords.h"
#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/SpinArrows.h"
#include "platform/ui/TestApp.h"
#include "settings/Header.h"
#include "settings/Ini.h"
#include "settings/Preferences.h"
#include "ui/dialogs/PAcquisitionDlg.h"
#include "ui/dialogs/PWinchDlg.h"
#include "ui/dialogs/PropertyLoggerDlg.h"

namespace fs = std::filesystem;

namespace {

std::string ArtifactDir() {
#ifdef ZNS_ARTIFACT_DIR
    return ZNS_ARTIFACT_DIR;
#else
    return (fs::temp_directory_path() / "zns-artifacts").string();
#endif
}

class SetupFixture : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> n{0};
        dir = fs::temp_directory_path() / ("zns-setup-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
        fs::remove_all(dir);
        fs::create_directories(dir);
        prefs = std::make_unique<CPreferences>(shared, data,
                                               PreferencesHooks{{}, {}, dir.string(), (dir / "registry").string()});
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            AcquisitionSettings& s = shared.settings;
            s.PulsResolution = 1000;
            s.PulleysCircumference = 5000;
            s.DepthFactor256 = 20480;
            s.DepthFactor = 80.0;
            s.TimeInterval = 500;
            s.DepthInterval = 5;
            s.ZNSModus_Rx1 = s.ZNSModus_Rx2 = s.ZNSModus_Rx3 = 1;
            s.BaudDivisor = 10;
            s.RecordingMode = RECMODE_TIME;
            s.RxLeftView = 1;
            s.RxRightView = 2;
            data.sondeDb.RX_Number = 3;
        }
        hooks.sendCommand = [this](int code) {
            sent.push_back(code);
            return true;
        };
        hooks.resetAcquisition = [this](bool reload) { resets.push_back(reload); };
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    int Cfg(const std::string& key) {
        CIni ini((dir / "HxZn.cfg").string(), "BrannicLogger", TRUE);
        return ini.GetInt(key, -12345);
    }
    AcquisitionSettings S() { return shared.SnapshotSettings(); }
    void LinkAndPower(bool on) {
        shared.m_nLinkState.store(on ? LINK_WAVES : LINK_IDLE);
        shared.m_bSondePowered.store(on);
    }
    void Echo(const std::function<void(SondeStatus&)>& f) {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        f(shared.sonde);
    }

    zns::ui::ScriptedUiService ui;
    zns::ui::ScopedService scoped{ui};
    SharedData shared;
    SettingsData data;
    HeaderRecord header;
    fs::path dir;
    std::unique_ptr<CPreferences> prefs;
    SetupPageHooks hooks;
    std::vector<int> sent;
    std::vector<bool> resets;
};

// ---------------------------------------------------------------------------
// Winch page

class WinchPageTest : public SetupFixture {
protected:
    std::unique_ptr<CPWinchDlg> Open() {
        auto p = std::make_unique<CPWinchDlg>(*prefs, hooks);
        p->Create();
        p->LoadFromSettings();
        return p;
    }
    void Type(CPWinchDlg& p, int id, const char* text) { p.SetDlgItemText(id, text); }
};

TEST_F(WinchPageTest, AcceptedCircumferenceIsStoredSavedAndSentByItsTimers) {
    auto p = Open();
    EXPECT_EQ(p->GetDlgItemText(CPWinchDlg::IDC_CIRCUMFERENCE), "500.0");
    Type(*p, CPWinchDlg::IDC_CIRCUMFERENCE, "600");
    p->OnEnKillfocusCircumference();
    EXPECT_EQ(p->GetDlgItemText(CPWinchDlg::IDC_CIRCUMFERENCE), "600.0");
    EXPECT_EQ(S().PulleysCircumference, 6000);
    EXPECT_EQ(S().DepthFactor256, 17067);  // 40 x 1000 / 600 x 256 = 17066.67
    EXPECT_TRUE(p->IsTimerSet(CPWinchDlg::ID_TIMER_SAVE));
    EXPECT_TRUE(p->IsTimerSet(CPWinchDlg::ID_TIMER_SEND));
    EXPECT_TRUE(p->IsTimerSet(CPWinchDlg::ID_TIMER_ACK));
    EXPECT_TRUE(sent.empty());
    p->OnTimer(CPWinchDlg::ID_TIMER_SAVE);
    EXPECT_EQ(Cfg("PulleysCircumference"), 6000);
    p->OnTimer(CPWinchDlg::ID_TIMER_SEND);
    EXPECT_EQ(sent, std::vector<int>{CMD_1});
    EXPECT_EQ(ui.BoxCount(), 0u);
}

TEST_F(WinchPageTest, LeavingTheEditOrEnterRunsTheCheck) {
    auto p = Open();
    p->show();
    p->activateWindow();
    zns::ui::PumpEvents(50);
    auto* n = p->GetDlgItem<QLineEdit>(CPWinchDlg::IDC_RESOLUTION);
    auto* w = p->GetDlgItem<QLineEdit>(CPWinchDlg::IDC_CIRCUMFERENCE);
    n->setFocus();
    QTest::keyClicks(n, "\b\b\b\b2000");
    w->setFocus();  // the resolution edit loses the focus
    zns::ui::PumpEvents(0);
    EXPECT_EQ(S().PulsResolution, 2000);
    QTest::keyClicks(w, "\b\b\b\b\b512.75");  // q 769, f 156: accepted
    QTest::keyClick(w, Qt::Key_Return);
    EXPECT_EQ(w->text(), "512.7");  // what is stored and sent
    EXPECT_EQ(S().PulleysCircumference, 5127);
    p->OnTimer(CPWinchDlg::ID_TIMER_SEND);
    n->setFocus();  // leaving the edit sends nothing again
    EXPECT_FALSE(p->IsTimerSet(CPWinchDlg::ID_TIMER_SEND));
    EXPECT_EQ(ui.BoxCount(), 0u);
}

TEST_F(WinchPageTest, RefusedValuesLeaveSettingsFileAndLoggerAlone) {
    auto p = Open();
    struct Case {
        int id;
        const char* text;
        const char* box;
    };
    for (const Case& c : {Case{CPWinchDlg::IDC_CIRCUMFERENCE, "1500.1", "Bad entered value.\nMin 250 - Max 1500"},
                          Case{CPWinchDlg::IDC_CIRCUMFERENCE, "249.9", "Bad entered value.\nMin 250 - Max 1500"},
                          Case{CPWinchDlg::IDC_RESOLUTION, "10001", "Bad entered value.\nMin 500 - Max 10000"},
                          Case{CPWinchDlg::IDC_RESOLUTION, "8000", "Bad wheel/encoder combination"},
                          Case{CPWinchDlg::IDC_RESOLUTION, "12a", "Please enter a number."}}) {
        ui.Clear();
        Type(*p, c.id, c.text);
        if (c.id == CPWinchDlg::IDC_CIRCUMFERENCE)
            p->OnEnKillfocusCircumference();
        else
            p->OnEnKillfocusResolution();
        EXPECT_EQ(ui.LastBox().text, c.box) << c.text;
        EXPECT_EQ(ui.LastBox().Buttons(), MB_OK);
        EXPECT_EQ(p->GetDlgItemText(CPWinchDlg::IDC_CIRCUMFERENCE), "500.0") << c.text;
        EXPECT_EQ(p->GetDlgItemText(CPWinchDlg::IDC_RESOLUTION), "1000") << c.text;
    }
    EXPECT_EQ(S().PulsResolution, 1000);
    EXPECT_EQ(S().PulleysCircumference, 5000);
    EXPECT_FALSE(p->IsTimerSet(CPWinchDlg::ID_TIMER_SEND));
    EXPECT_FALSE(fs::exists(dir / "HxZn.cfg"));
    EXPECT_TRUE(sent.empty());
}

TEST_F(WinchPageTest, FiveResendsThenOneWarningAndAMatchEndsTheReadBack) {
    auto p = Open();
    p->OnBnClickedDirection();  // box unticked: PulleyDir 0, saved, sent
    EXPECT_EQ(sent, std::vector<int>{CMD_1});
    EXPECT_EQ(Cfg("PulleyDir"), 0);
    // No echo yet: wait again, no resend.
    p->OnTimer(CPWinchDlg::ID_TIMER_ACK);
    EXPECT_TRUE(p->IsTimerSet(CPWinchDlg::ID_TIMER_ACK));
    EXPECT_EQ(sent.size(), 1u);
    Echo([](SondeStatus& e) {
        e.Mode = 0x10;  // wrong cable type
        e.Echo1500 = 1500;
        e.EchoScale = 20480;
    });
    for (int i = 0; i < 5; ++i) {
        shared.m_bNewData[1].store(true);
        p->OnTimer(CPWinchDlg::ID_TIMER_ACK);
    }
    EXPECT_EQ(sent.size(), 6u);
    EXPECT_EQ(ui.BoxCount(), 0u);
    shared.m_bNewData[1].store(true);
    p->OnTimer(CPWinchDlg::ID_TIMER_ACK);
    EXPECT_EQ(sent.size(), 6u);
    ASSERT_EQ(ui.BoxCount(), 1u);
    EXPECT_EQ(ui.LastBox().text, CPWinchDlg::kMsgAckError);
    EXPECT_FALSE(p->IsTimerSet(CPWinchDlg::ID_TIMER_ACK));
    EXPECT_EQ(S().PulleyDir, 0);  // the operator's values stay

    p->StartAckTimer();
    Echo([](SondeStatus& e) { e.Mode = 0x0C; });
    shared.m_bNewData[1].store(true);
    p->OnTimer(CPWinchDlg::ID_TIMER_ACK);
    EXPECT_EQ(p->AckRetries(), 0);
    EXPECT_FALSE(p->IsTimerSet(CPWinchDlg::ID_TIMER_ACK));
}

TEST_F(WinchPageTest, ArrowsStepCheckTheCombinationAndSendOnlyWhenNothingIsPending) {
    auto p = Open();
    p->OnVScroll(SB_LINEUP, CPWinchDlg::IDC_RESOLUTION_SPIN, nullptr);
    EXPECT_EQ(p->GetDlgItemText(CPWinchDlg::IDC_RESOLUTION), "1001");
    p->OnVScroll(SB_ENDSCROLL, CPWinchDlg::IDC_RESOLUTION_SPIN, nullptr);
    EXPECT_EQ(S().PulsResolution, 1001);
    EXPECT_EQ(S().DepthFactor256, 20500);  // 40 x 1001 / 500 x 256 = 20500.48
    EXPECT_EQ(Cfg("PulsResolution"), 1001);
    EXPECT_EQ(sent, std::vector<int>{CMD_1});

    ASSERT_TRUE(QueueCommand(shared, CMD_0));  // a command still waits for the send thread
    p->OnVScroll(SB_LINEDOWN, CPWinchDlg::IDC_CIRCUMFERENCE_SPIN, nullptr);
    EXPECT_EQ(p->GetDlgItemText(CPWinchDlg::IDC_CIRCUMFERENCE), "499.9");
    p->OnVScroll(SB_ENDSCROLL, CPWinchDlg::IDC_CIRCUMFERENCE_SPIN, nullptr);
    EXPECT_EQ(S().PulleysCircumference, 4999);
    EXPECT_EQ(Cfg("PulleysCircumference"), 4999);
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_TRUE(p->IsTimerSet(CPWinchDlg::ID_TIMER_ACK));

    // At the edge of q the step is refused and reported.
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.PulsResolution = 10000;
        shared.settings.PulleysCircumference = 5000;  // q = 150
    }
    p->LoadFromSettings();
    p->OnVScroll(SB_LINEUP, CPWinchDlg::IDC_RESOLUTION_SPIN, nullptr);
    EXPECT_EQ(p->GetDlgItemText(CPWinchDlg::IDC_RESOLUTION), "10000");
    EXPECT_EQ(ui.LastBox().text, "Bad wheel/encoder combination");
}

// An arrow clicked on text that is no number (or on an empty edit) brings the
// stored value back and stores, saves and sends nothing, on both pages.
TEST_F(SetupFixture, ArrowsOnRefusedTextKeepTheStoredValue) {
    LinkAndPower(true);
    CPWinchDlg winch(*prefs, hooks);
    winch.Create();
    winch.LoadFromSettings();
    CPAcquisitionDlg acq(*prefs, header, hooks);
    acq.Create();
    acq.UpdateControls();
    struct Case {
        CDialogExt* page;
        int edit, spin;
        const char* stored;
    };
    for (const Case& c : {Case{&winch, CPWinchDlg::IDC_RESOLUTION, CPWinchDlg::IDC_RESOLUTION_SPIN, "1000"},
                          Case{&winch, CPWinchDlg::IDC_CIRCUMFERENCE, CPWinchDlg::IDC_CIRCUMFERENCE_SPIN, "500.0"},
                          Case{&acq, CPAcquisitionDlg::IDC_TIME, CPAcquisitionDlg::IDC_TIME_SPIN, "500"}}) {
        c.page->show();
        auto* spin = c.page->GetDlgItem<CSpinArrows>(c.spin);
        for (const char* typed : {"abc", ""}) {
            for (const int y : {spin->height() / 4, spin->height() * 3 / 4}) {
                ui.Clear();
                c.page->SetDlgItemText(c.edit, typed);
                QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, y));
                EXPECT_EQ(c.page->GetDlgItemText(c.edit), c.stored) << c.spin << " '" << typed << "'";
                EXPECT_EQ(ui.LastBox().text, *typed ? "Please enter a number." : "") << c.spin;
            }
        }
    }
    ui.SetBoxesTakeFocus(true);  // a step the combination refuses: one box, nothing sent
    ui.Clear();
    winch.GetDlgItem(CPWinchDlg::IDC_RESOLUTION)->setFocus();
    winch.SetDlgItemText(CPWinchDlg::IDC_RESOLUTION, "10000");
    auto* spin = winch.GetDlgItem<CSpinArrows>(CPWinchDlg::IDC_RESOLUTION_SPIN);
    QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, spin->height() / 4));
    EXPECT_EQ(ui.BoxCount(), 1u);
    EXPECT_EQ(S().PulsResolution, 1000);
    EXPECT_EQ(S().PulleysCircumference, 5000);
    EXPECT_EQ(S().DepthFactor256, 20480);
    EXPECT_EQ(S().TimeInterval, 500);
    EXPECT_TRUE(sent.empty());
    EXPECT_FALSE(fs::exists(dir / "HxZn.cfg"));
}

// ---------------------------------------------------------------------------
// Acquisition page

class AcquisitionPageTest : public SetupFixture {
protected:
    std::unique_ptr<CPAcquisitionDlg> Open() {
        auto p = std::make_unique<CPAcquisitionDlg>(*prefs, header, hooks);
        p->Create();
        p->UpdateControls();
        return p;
    }
    void Choose(CPAcquisitionDlg& p, int rx, int code) {
        p.TraceList(rx)->setCurrentIndex(code);
        p.OnCbnSelchangeTrace(rx);
    }
};

TEST_F(AcquisitionPageTest, TraceLengthRaisesTheTimeIntervalSavesResetsAndSendsWhenPowered) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.BaudDivisor = 20;
        shared.settings.ZNSModus_Rx2 = shared.settings.ZNSModus_Rx3 = 2;
    }
    auto p = Open();
    Choose(*p, 0, 2);  // all three at 2 mSec on 31250 baud: at least 1003 ms
    EXPECT_EQ(S().ZNSModus_Rx1, 2);
    EXPECT_EQ(S().TimeInterval, 1003);
    EXPECT_EQ(p->GetDlgItemText(CPAcquisitionDlg::IDC_TIME), "1003");
    EXPECT_EQ(p->GetDlgItemText(CPAcquisitionDlg::IDC_PERIOD_RX1), "4 \xB5s");
    EXPECT_EQ(Cfg("ZNSModus_Rx1"), 2);
    EXPECT_EQ(Cfg("TimeInterval"), 1003);
    EXPECT_EQ(resets, std::vector<bool>{false});
    EXPECT_TRUE(sent.empty());  // not powered
    EXPECT_FALSE(p->IsTimerSet(CPAcquisitionDlg::ID_TIMER_READBACK));

    LinkAndPower(true);
    Choose(*p, 2, 3);
    EXPECT_EQ(p->GetDlgItemText(CPAcquisitionDlg::IDC_PERIOD_RX3), "8 \xB5s");
    EXPECT_EQ(sent, std::vector<int>{CMD_8});
    EXPECT_TRUE(p->IsTimerSet(CPAcquisitionDlg::ID_TIMER_READBACK));
}

TEST_F(AcquisitionPageTest, TimeAndDepthSamplingAreSentOnlyInTheirOwnMode) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.BaudDivisor = 20;
        shared.settings.ZNSModus_Rx1 = shared.settings.ZNSModus_Rx2 = shared.settings.ZNSModus_Rx3 = 2;
    }
    LinkAndPower(true);
    auto p = Open();
    p->SetDlgItemText(CPAcquisitionDlg::IDC_TIME, "1000");
    p->OnEnKillfocusTime();
    EXPECT_EQ(ui.LastBox().text, "TIME SAMPLING : 1000\nBad entered value\n(MIN 1003- MAX 5000) at 31250 baud.");
    EXPECT_EQ(p->GetDlgItemText(CPAcquisitionDlg::IDC_TIME), "500");
    p->SetDlgItemText(CPAcquisitionDlg::IDC_TIME, "5001");
    p->OnEnKillfocusTime();
    EXPECT_EQ(S().TimeInterval, 500);
    EXPECT_TRUE(sent.empty());

    p->show();  // Time mode: sent, and the edit shows the number taken
    p->GetDlgItem(CPAcquisitionDlg::IDC_TIME)->setFocus();
    p->SetDlgItemText(CPAcquisitionDlg::IDC_TIME, "2000-5");
    QTest::keyClick(p->GetDlgItem(CPAcquisitionDlg::IDC_TIME), Qt::Key_Return);
    EXPECT_EQ(p->GetDlgItemText(CPAcquisitionDlg::IDC_TIME), "2000");
    EXPECT_EQ(S().TimeInterval, 2000);
    EXPECT_EQ(Cfg("TimeInterval"), 2000);
    EXPECT_EQ(sent, std::vector<int>{CMD_8});
    p->DepthList()->setCurrentIndex(3);  // 20 cm in Time mode: stored, saved, not sent
    p->OnCbnSelchangeDepth();
    EXPECT_EQ(S().DepthInterval, 20);
    EXPECT_EQ(Cfg("DepthInterval"), 20);
    EXPECT_EQ(sent.size(), 1u);

    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.RecordingMode = RECMODE_DOWN;
    }
    p->SetDlgItemText(CPAcquisitionDlg::IDC_TIME, "3000");
    p->OnEnKillfocusTime();
    EXPECT_EQ(Cfg("TimeInterval"), 3000);
    EXPECT_EQ(sent.size(), 1u);
    p->DepthList()->setCurrentIndex(0);
    p->OnCbnSelchangeDepth();
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_EQ(resets.size(), 4u);
}

TEST_F(AcquisitionPageTest, TimeArrowClampsToTheMinimumAndFiveSeconds) {
    auto p = Open();
    // Three 1 mSec traces at 62500 baud: at least 263 ms.
    p->SetDlgItemText(CPAcquisitionDlg::IDC_TIME, "270");
    p->OnVScroll(SB_LINEDOWN, CPAcquisitionDlg::IDC_TIME_SPIN, nullptr);
    EXPECT_EQ(p->GetDlgItemText(CPAcquisitionDlg::IDC_TIME), "263");
    p->SetDlgItemText(CPAcquisitionDlg::IDC_TIME, "4995");
    p->OnVScroll(SB_LINEUP, CPAcquisitionDlg::IDC_TIME_SPIN, nullptr);
    EXPECT_EQ(p->GetDlgItemText(CPAcquisitionDlg::IDC_TIME), "5000");
    p->OnVScroll(SB_ENDSCROLL, CPAcquisitionDlg::IDC_TIME_SPIN, nullptr);
    EXPECT_EQ(S().TimeInterval, 5000);
    EXPECT_EQ(Cfg("TimeInterval"), 5000);
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(resets.empty());  // the arrows do not reset the display
}

TEST_F(AcquisitionPageTest, ReadBackResendsTenTimesThenWarnsOnce) {
    LinkAndPower(true);
    auto p = Open();
    p->RestartReadback();
    Echo([](SondeStatus& e) {
        e.FrameStatus = 1;
        e.TraceByte = 0x15;  // 1,1,1 asked; logger says 1,1,1 ...
        e.Step = 400;        // ... but another interval in Time mode
    });
    // A pending command only postpones the look.
    ASSERT_TRUE(QueueCommand(shared, CMD_0));
    shared.m_bNewData[2].store(true);
    p->OnTimer(CPAcquisitionDlg::ID_TIMER_READBACK);
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(p->IsTimerSet(CPAcquisitionDlg::ID_TIMER_READBACK));
    std::vector<uint8_t> f;
    ASSERT_TRUE(shared.txQueue.Front(f));
    shared.txQueue.PopFront();
    ASSERT_EQ(shared.TxLength(), 0);
    // A frame with an error bit is not compared.
    Echo([](SondeStatus& e) { e.FrameStatus = 0x09; });
    shared.m_bNewData[2].store(true);
    p->OnTimer(CPAcquisitionDlg::ID_TIMER_READBACK);
    EXPECT_TRUE(sent.empty());
    EXPECT_FALSE(shared.m_bNewData[2].load());
    Echo([](SondeStatus& e) { e.FrameStatus = 1; });

    for (int i = 0; i < 10; ++i) {
        shared.m_bNewData[2].store(true);
        p->OnTimer(CPAcquisitionDlg::ID_TIMER_READBACK);
    }
    EXPECT_EQ(sent.size(), 10u);
    EXPECT_EQ(ui.BoxCount(), 0u);
    shared.m_bNewData[2].store(true);
    p->OnTimer(CPAcquisitionDlg::ID_TIMER_READBACK);
    EXPECT_EQ(sent.size(), 10u);
    ASSERT_EQ(ui.BoxCount(), 1u);
    EXPECT_EQ(ui.LastBox().text, "Warning consign error.\n Trace lenght ");
    EXPECT_FALSE(p->IsTimerSet(CPAcquisitionDlg::ID_TIMER_READBACK));
    EXPECT_EQ(S().TimeInterval, 500);

    // Link or power gone: the read-back stops by itself.
    p->RestartReadback();
    LinkAndPower(false);
    p->OnTimer(CPAcquisitionDlg::ID_TIMER_READBACK);
    EXPECT_FALSE(p->IsTimerSet(CPAcquisitionDlg::ID_TIMER_READBACK));
}

TEST_F(AcquisitionPageTest, ReceiverListsFollowTheSondeAndItsTrimmedNames) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        data.sondeDb.RX_Number = 1;
        data.sondeDb.RxName[0] = "  Near ";
    }
    auto p = Open();
    EXPECT_EQ(data.sondeDb.RxName[0], "Near");
    EXPECT_EQ(p->LeftList()->count(), 1);
    EXPECT_EQ(p->LeftList()->itemText(0), QStringLiteral("     Near"));
    EXPECT_EQ(p->RightList()->count(), 0);
    EXPECT_FALSE(p->RightList()->isEnabled());
    EXPECT_EQ(p->GetDlgItemText(CPAcquisitionDlg::IDC_NAME_RX2), "-");

    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        data.sondeDb.RX_Number = 3;
        shared.settings.RxRightView = 3;
    }
    p->SendCommand(CPAcquisitionDlg::ID_ACQUISITION_STATE_CHANGED);
    EXPECT_EQ(p->RightList()->count(), 2);
    EXPECT_EQ(p->RightList()->currentIndex(), 1);
    p->RightList()->setCurrentIndex(0);
    p->OnCbnSelchangeRightView();
    EXPECT_EQ(S().RxRightView, 2);
    EXPECT_EQ(Cfg("RxRightView"), 2);
    EXPECT_TRUE(sent.empty());
}

// ---------------------------------------------------------------------------
// The dialog

class LoggerSetupTest : public SetupFixture {
protected:
    std::unique_ptr<CPropertyLoggerDlg> Open() {
        LoggerSetupHooks h;
        h.pages = hooks;
        h.pages.mainWindowRect = [] { return QRect(100, 50, 1000, 700); };
        h.pages.restoreMainWindowPos = [this] { ++mainRestored; };
        h.probe.sendCommand = hooks.sendCommand;
        h.comm.sendCommand = hooks.sendCommand;
        h.comm.runCheck = [] {};
        auto d = std::make_unique<CPropertyLoggerDlg>(*prefs, header, h);
        d->Create();
        d->FillTabs();
        return d;
    }
    int mainRestored = 0;
};

TEST_F(LoggerSetupTest, TabsEndOnCommunicationAndTheStateTimerFollowsPowerAndAutoCheck) {
    auto d = Open();
    ASSERT_EQ(d->TabBar()->count(), 4);
    EXPECT_EQ(d->TabBar()->tabText(3), QStringLiteral("Acquisition"));
    EXPECT_EQ(d->TabBar()->currentIndex(), CPropertyLoggerDlg::TAB_COMM);
    EXPECT_EQ(d->CurrentPage(), d->CommPage());
    EXPECT_EQ(g_hWndAcqPage.load(), d->AcquisitionPage());
    EXPECT_EQ(d->GetWindowText(), "Logger Setup");

    d->RestorePlacement();
    EXPECT_EQ(d->pos(), QPoint(1100 - d->width() - 20, 750 - d->height() - 30));
    d->show();
    zns::ui::PumpEvents(0);
    EXPECT_TRUE(d->IsTimerSet(CPropertyLoggerDlg::ID_TIMER_STATE));
    EXPECT_EQ(mainRestored, 1);

    shared.m_nLinkState.store(LINK_STATUS);
    d->OnTimer(CPropertyLoggerDlg::ID_TIMER_STATE);
    EXPECT_TRUE(d->WinchPage()->GetDlgItem(CPWinchDlg::IDC_RESOLUTION)->isEnabled());
    EXPECT_FALSE(d->AcquisitionPage()->GetDlgItem(CPAcquisitionDlg::IDC_TIME)->isEnabled());
    EXPECT_FALSE(d->CommPage()->GetDlgItem(CPCommDlg::IDC_BAUD)->isEnabled());
    EXPECT_TRUE(d->IsTimerSet(CPropertyLoggerDlg::ID_TIMER_STATE));

    shared.m_bSondePowered.store(true);
    d->OnTimer(CPropertyLoggerDlg::ID_TIMER_STATE);
    EXPECT_FALSE(d->WinchPage()->GetDlgItem(CPWinchDlg::IDC_RESOLUTION)->isEnabled());
    EXPECT_TRUE(d->AcquisitionPage()->GetDlgItem(CPAcquisitionDlg::IDC_TIME)->isEnabled());
    EXPECT_TRUE(d->AcquisitionPage()->GetDlgItem(CPAcquisitionDlg::IDC_TRACE_RX3)->isEnabled());
    EXPECT_TRUE(d->CommPage()->GetDlgItem(CPCommDlg::IDC_BAUD)->isEnabled());
    EXPECT_TRUE(d->ProbePage()->GetDlgItem(CPProbeDlg::IDC_VOLTAGE)->isEnabled());

    QTest::mouseClick(d->TabBar(), Qt::LeftButton, {}, d->TabBar()->tabRect(CPropertyLoggerDlg::TAB_ACQUISITION).center());
    QTest::mouseClick(d->AcquisitionPage()->GetDlgItem(CPAcquisitionDlg::IDC_TIME), Qt::LeftButton);
    QTest::mouseClick(d->TabBar(), Qt::LeftButton, {}, d->TabBar()->tabRect(CPropertyLoggerDlg::TAB_PROBE).center());
    shared.session.Recording = 1;
    d->OnTimer(CPropertyLoggerDlg::ID_TIMER_STATE);
    QTest::mouseClick(d->TabBar(), Qt::LeftButton, {}, d->TabBar()->tabRect(CPropertyLoggerDlg::TAB_ACQUISITION).center());
    QTest::keyClick(d->TabBar(), Qt::Key_Return);  // during a log: the edit that had the focus is greyed
    EXPECT_TRUE(sent.size() == 1 && resets.size() == 1);  // only from leaving the edit before the log
    shared.m_bCommCheck.store(true);
    d->OnTimer(CPropertyLoggerDlg::ID_TIMER_STATE);
    EXPECT_FALSE(d->CommPage()->GetDlgItem(CPCommDlg::IDC_BAUD)->isEnabled());
    EXPECT_FALSE(d->ProbePage()->GetDlgItem(CPProbeDlg::IDC_VOLTAGE)->isEnabled());
    shared.m_bCommCheck.store(false);
    shared.m_bSondePowered.store(false);

    // The acquisition tab, for the picture.
    d->TabBar()->setCurrentIndex(CPropertyLoggerDlg::TAB_ACQUISITION);
    EXPECT_EQ(d->CurrentPage(), d->AcquisitionPage());
    zns::ui::PumpEvents(0);
    fs::create_directories(ArtifactDir());
    EXPECT_TRUE(d->grab().save(QString::fromStdString(ArtifactDir() + "/logger_setup.png")));

    d->SendCommand(IDCANCEL);
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(data.layout.placement[LAYOUT_SETUP].IsPresent());
    d->OnTimer(CPropertyLoggerDlg::ID_TIMER_STATE);
    EXPECT_FALSE(d->IsTimerSet(CPropertyLoggerDlg::ID_TIMER_STATE));
}

TEST_F(LoggerSetupTest, OpenGammaEditingAnsweredNoKeepsTheProbeTabAndTheDialog) {
    auto d = Open();
    d->show();
    zns::ui::PumpEvents(0);
    d->TabBar()->setCurrentIndex(CPropertyLoggerDlg::TAB_PROBE);
    ASSERT_EQ(d->CurrentPage(), d->ProbePage());
    shared.g_bGammaCoefEditing.store(true);

    ui.PushAnswer(IDNO);
    d->TabBar()->setCurrentIndex(CPropertyLoggerDlg::TAB_WINCH);
    ASSERT_EQ(ui.BoxCount(), 1u);
    EXPECT_EQ(ui.LastBox().text, "Do you save now the Gamma coef parameter ?");
    EXPECT_EQ(ui.LastBox().type, MB_YESNO | MB_ICONHAND);
    EXPECT_EQ(d->TabBar()->currentIndex(), CPropertyLoggerDlg::TAB_PROBE);
    EXPECT_EQ(d->CurrentPage(), d->ProbePage());

    ui.PushAnswer(IDNO);
    d->SendCommand(IDCANCEL);
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(shared.g_bGammaCoefEditing.load());
    EXPECT_EQ(d->TabBar()->currentIndex(), CPropertyLoggerDlg::TAB_PROBE);
    shared.g_bGammaCoefEditing.store(false);
}

TEST_F(LoggerSetupTest, StoredPlacementGivesOnlyTheCorner) {
    auto d = Open();
    ::WindowPlacement& wp = data.layout.placement[LAYOUT_SETUP];
    wp.length = 44;
    wp.showCmd = SW_SHOWNORMAL;
    wp.left = 200;
    wp.top = 120;
    wp.right = 260;  // a size from another layout
    wp.bottom = 150;
    const QSize before = d->size();
    d->RestorePlacement();
    EXPECT_EQ(d->size(), before);
    EXPECT_EQ(d->geometry().topLeft(), QPoint(200, 120));
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(mainRestored, 0);
}

}  // namespace
