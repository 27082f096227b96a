// The depth panel on an offscreen window.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "DisplayTestUtil.h"
#include "records/SharedRecords.h"
#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/TestApp.h"
#include "settings/Header.h"
#include "settings/Preferences.h"
#include "ui/controls/ColorStaticST.h"
#include "ui/controls/GraphicCounterCtrl.h"
#include "ui/dialogs/DephtDlg.h"

namespace {

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class DephtDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("zns-depth-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        ::setenv("ZNS_HOME", dir.c_str(), 1);
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            shared.settings.VScale = 100;
            shared.settings.GammaViewMode = 2;
            shared.settings.GammaMax = 2000;
            shared.settings.GammaFilter = 10;
            shared.settings.RecordingMode = RECMODE_DOWN;
            shared.settings.ZNSModus_Rx1 = 2;
            shared.session.BlackAndWhite = 1;
            settings.sondeDb.SerialNumber = -1;
            settings.sondeDb.NaturalGamma = 1;
            settings.sondeDb.SondeLength = 300;
        }
        DephtDlgHooks hooks;
        hooks.maxLoggingSpeed = [] { return 20.0; };
        hooks.resetAcquisition = [this](bool reload) { resets.push_back(reload); };
        hooks.sendToMainWindow = [this](unsigned id) { commands.push_back(id); };
        hooks.runRecordingMode = [this] { modeFlagDuringDialog = displayMode.load(); };
        panel = new CDephtDlg(shared, settings, &host);
        panel->SetHeader(&header);
        panel->SetAppFlags(&rawDepth, &displayMode);
        panel->SetHooks(hooks);
        host.resize(240, 270);
        panel->move(10, 10);
        panel->Create();
        host.show();
        panel->show();
        zns::ui::PumpEvents(0);
    }
    void TearDown() override {
        delete panel;
        std::filesystem::remove_all(dir);
        ::unsetenv("ZNS_HOME");
    }
    void SetLive(double depth, double speed, int link, uint8_t mode) {
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            shared.live.Depth = depth;
            shared.live.Speed = speed;
            shared.sonde.Mode = mode;
        }
        shared.m_nLinkState.store(link);
    }
    void Tick() { panel->OnTimer(CDephtDlg::kPanelTimerId); }
    bool Shown(int id) { return panel->GetDlgItem(id)->isVisibleTo(panel); }

    zns::ui::ScriptedUiService ui;
    zns::ui::ScopedService scoped{ui};
    std::filesystem::path dir;
    SharedData shared;
    SettingsData settings;
    HeaderRecord header;
    std::atomic<bool> rawDepth{false};
    std::atomic<bool> displayMode{false};
    bool modeFlagDuringDialog = false;
    std::vector<bool> resets;
    std::vector<unsigned> commands;
    QWidget host;
    CDephtDlg* panel = nullptr;
};

TEST_F(DephtDlgTest, InitialState) {
    EXPECT_EQ(panel->ScaleCombo()->currentText(), "1/100");
    EXPECT_EQ(panel->ScaleCombo()->count(), 5);
    EXPECT_EQ(panel->PaletteCombo()->currentText(), "Color");
    EXPECT_EQ(panel->GammaMaxCombo()->currentText(), "2000");
    EXPECT_EQ(panel->GetDlgItem(CDephtDlg::IDC_SET_DEPTH)->toolTip(), "Set current depht.");
    EXPECT_EQ(panel->GetDlgItem(CDephtDlg::IDC_RECORDING_MODE)->toolTip(), "Set display mode logging.");
    EXPECT_EQ(panel->GetDlgItem(CDephtDlg::IDC_SCALE)->toolTip(), "To change display scale.");
    EXPECT_EQ(panel->GammaBar()->maximum(), 25000);
    EXPECT_TRUE(panel->IsTimerSet(CDephtDlg::kPanelTimerId));
    EXPECT_EQ(panel->DepthIconId(), CDephtDlg::IDI_RAW_DEPTH);
    EXPECT_EQ(panel->SerialNumber()->text(), "SN : -");
    EXPECT_TRUE(panel->SerialNumber()->IsTextBlinking());
    EXPECT_TRUE(panel->SerialNumber()->IsBkBlinking());
    EXPECT_EQ(panel->SerialNumber()->GetBkColor(), CDephtDlg::kSerialBackLive);
    EXPECT_EQ(panel->SpeedCounter()->FontScale(), 1.4);
    panel->OnClose();
    EXPECT_FALSE(panel->IsTimerSet(CDephtDlg::kPanelTimerId));
    panel->OnCancel();  // Escape leaves the panel alone, and so does Enter on a list
    panel->ScaleCombo()->setFocus();
    QTest::keyClick(panel->ScaleCombo(), Qt::Key_Return);
    EXPECT_TRUE(panel->isVisible());
}

TEST_F(DephtDlgTest, ScaleChoiceIsStoredAndResetsTheImage) {
    panel->ScaleCombo()->setCurrentIndex(3);
    emit panel->ScaleCombo()->activated(3);
    EXPECT_EQ(shared.SnapshotSettings().VScale, 200);  // "1/250" carries 200
    const std::string cfg = ReadFile(dir / "HxZn.cfg");
    EXPECT_NE(cfg.find("[BrannicLogger]"), std::string::npos);
    EXPECT_NE(cfg.find("VScale=200"), std::string::npos);
    ASSERT_EQ(resets.size(), 1u);
    EXPECT_FALSE(resets[0]);

    // In replay the scale goes into the replayed log's header file.
    const std::string hed = (dir / "log.hed").string();
    ASSERT_TRUE(zns::SetFixedField(settings.files.szLastFile, hed));
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.ReplayLoaded = 1;
    }
    panel->ScaleCombo()->setCurrentIndex(4);
    emit panel->ScaleCombo()->activated(4);
    EXPECT_EQ(shared.SnapshotSettings().VScale, 500);
    const std::string h = ReadFile(hed);
    EXPECT_NE(h.find("[General]"), std::string::npos);
    EXPECT_NE(h.find("Scale=500"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "HxZn.cfg").find("VScale=500"), std::string::npos);
    EXPECT_EQ(resets.size(), 2u);
}

TEST_F(DephtDlgTest, PaletteChoice) {
    panel->PaletteCombo()->setCurrentIndex(2);
    emit panel->PaletteCombo()->activated(2);
    EXPECT_EQ(shared.SnapshotSession().BlackAndWhite, 2);
    EXPECT_NE(ReadFile(dir / "HxZn.cfg").find("BlackAndWhite=2"), std::string::npos);
}

TEST_F(DephtDlgTest, SpeedColoursAndDepth) {
    SetLive(123.456, 10.0, LINK_STATUS, 10);
    panel->PutDataOnScreen();
    EXPECT_EQ(panel->DepthCounter()->GetText(), "120.46");  // less the 3 m sonde
    EXPECT_EQ(panel->SpeedCounter()->GetText(), "10.00");
    EXPECT_EQ(panel->SpeedCounter()->TextColor(), 0x00FFFFu);
    EXPECT_EQ(panel->DepthCounter()->TextColor(), CDephtDlg::kLiveText);

    SetLive(123.456, 19.0, LINK_STATUS, 10);  // L - 1.0
    panel->PutDataOnScreen();
    EXPECT_EQ(panel->SpeedCounter()->TextColor(), 0x007FFFu);
    EXPECT_FALSE(panel->SpeedCounter()->IsBlinkOn());

    // Just below and just above the red line (L - 1.5 + 255/256).
    SetLive(123.456, 19.49, LINK_STATUS, 10);
    panel->PutDataOnScreen();
    EXPECT_EQ(panel->SpeedCounter()->TextColor(), 0x0001FFu);  // green 1
    EXPECT_FALSE(panel->SpeedCounter()->IsBlinkOn());
    SetLive(123.456, 19.5, LINK_STATUS, 10);
    panel->PutDataOnScreen();
    EXPECT_EQ(panel->SpeedCounter()->TextColor(), 0x0000FFu);
    EXPECT_TRUE(panel->SpeedCounter()->IsBlinkOn());
    SetLive(123.456, 19.0, LINK_STATUS, 10);
    panel->PutDataOnScreen();
    EXPECT_FALSE(panel->SpeedCounter()->IsBlinkOn());

    SetLive(123.456, -19.6, LINK_STATUS, 11);  // L - 0.4, logging up
    panel->PutDataOnScreen();
    EXPECT_EQ(panel->SpeedCounter()->TextColor(), 0x0000FFu);
    EXPECT_TRUE(panel->SpeedCounter()->IsBlinkOn());
    EXPECT_EQ(panel->SpeedCounter()->BlinkPeriod(), 500u);

    SetLive(123.456, 25.0, LINK_STATUS, 12);  // time mode
    panel->PutDataOnScreen();
    EXPECT_EQ(panel->SpeedCounter()->TextColor(), 0x00FFFFu);
    EXPECT_FALSE(panel->SpeedCounter()->IsBlinkOn());

    rawDepth.store(true);
    panel->PutDataOnScreen();
    EXPECT_EQ(panel->DepthCounter()->GetText(), "123.46");
}

TEST_F(DephtDlgTest, NoLiveDataAndReplay) {
    SetLive(50.0, 0.0, LINK_IDLE, 0);
    panel->DepthCounter()->WriteCounterDataCString("x");
    panel->PutDataOnScreen();
    EXPECT_EQ(panel->DepthCounter()->GetText(), "");
    EXPECT_EQ(panel->SpeedCounter()->GetText(), "");
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.ReplayLoaded = 1;
        shared.session.Running = 1;
    }
    panel->PutDataOnScreen();
    EXPECT_EQ(panel->DepthCounter()->GetText(), "50.00");
    EXPECT_EQ(panel->SpeedCounter()->GetText(), "");  // exactly 0
    EXPECT_EQ(panel->DepthCounter()->TextColor(), CDephtDlg::kReplayText);
    EXPECT_EQ(panel->SpeedCounter()->TextColor(), CDephtDlg::kReplayText);
}

TEST_F(DephtDlgTest, PanelTimerControls) {
    SetLive(10.0, 1.0, LINK_STATUS, 10);
    shared.m_bSondePowered.store(true);
    Tick();
    EXPECT_TRUE(panel->IsTimerSet(CDephtDlg::kPanelTimerId));  // armed again
    EXPECT_FALSE(panel->GetDlgItem(CDephtDlg::IDC_SET_DEPTH)->isEnabled());
    EXPECT_EQ(panel->MaxSpeedCounter()->GetText(), "20.00");
    EXPECT_TRUE(panel->MaxSpeedCounter()->isVisibleTo(panel));
    EXPECT_TRUE(panel->GetDlgItem(CDephtDlg::IDC_RECORDING_MODE)->isEnabled());
    EXPECT_EQ(panel->DepthIconId(), CDephtDlg::IDI_CORRECTED_DEPTH);

    // Depth reset: while the logger answers and the sonde is off, whether the last
    // frame was a status frame or a configuration answer; never while recording.
    shared.m_bSondePowered.store(false);
    Tick();
    EXPECT_TRUE(panel->GetDlgItem(CDephtDlg::IDC_SET_DEPTH)->isEnabled());
    shared.m_nLinkState.store(LINK_ANSWER);
    Tick();
    EXPECT_TRUE(panel->GetDlgItem(CDephtDlg::IDC_SET_DEPTH)->isEnabled());
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.Recording = 1;
        shared.settings.RecordingMode = RECMODE_TIME;
    }
    Tick();
    EXPECT_FALSE(panel->GetDlgItem(CDephtDlg::IDC_SET_DEPTH)->isEnabled());
    EXPECT_FALSE(panel->GetDlgItem(CDephtDlg::IDC_RECORDING_MODE)->isEnabled());
    EXPECT_FALSE(panel->MaxSpeedCounter()->isVisibleTo(panel));
    EXPECT_FALSE(Shown(CDephtDlg::IDC_MAXSPEED_CAPTION));
}

TEST_F(DephtDlgTest, GammaAutomaticRangeFromAWorker) {
    shared.m_nLinkState.store(LINK_STATUS);
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) panel->PutGammaCount(600, 1.0);  // 150 CPS
    });
    worker.join();
    Tick();
    EXPECT_TRUE(Shown(CDephtDlg::IDC_GAMMA_BAR));
    EXPECT_TRUE(Shown(CDephtDlg::IDC_GAMMA_AUTOMAX));
    EXPECT_FALSE(Shown(CDephtDlg::IDC_GAMMA_MAX_BUTTON));
    EXPECT_TRUE(panel->GammaCounter()->isVisibleTo(panel));
    EXPECT_EQ(panel->GammaBar()->value(), 150);
    EXPECT_EQ(panel->GammaCounter()->GetText(), "150");
    EXPECT_EQ(panel->GammaBar()->maximum(), panel->GammaMeter().Maximum());
    EXPECT_EQ(panel->GetDlgItemText(CDephtDlg::IDC_GAMMA_AUTOMAX),
              std::to_string(panel->GammaMeter().Maximum()));

    // Any thread may reset; the window part follows on the GUI thread.
    std::thread resetter([&] { panel->ResetGamma(); });
    resetter.join();
    zns::ui::PumpEvents(10);
    EXPECT_EQ(panel->GammaCounter()->GetText(), "");
    EXPECT_TRUE(panel->GammaMeter().WarmUp());
}

TEST_F(DephtDlgTest, GammaFixedRangeAndMaximumChoice) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.GammaViewMode = 1;
    }
    Tick();
    EXPECT_FALSE(Shown(CDephtDlg::IDC_GAMMA_AUTOMAX));
    EXPECT_TRUE(Shown(CDephtDlg::IDC_GAMMA_MAX_BUTTON));
    EXPECT_EQ(panel->GetDlgItemText(CDephtDlg::IDC_GAMMA_MAX_BUTTON), "2000");
    EXPECT_EQ(panel->GammaBar()->maximum(), 2000);

    panel->SendCommand(CDephtDlg::IDC_GAMMA_MAX_BUTTON);
    EXPECT_TRUE(panel->GammaMaxCombo()->isVisibleTo(panel));
    EXPECT_FALSE(panel->GammaCounter()->isVisibleTo(panel));
    EXPECT_FALSE(Shown(CDephtDlg::IDC_GAMMA_MAX_BUTTON));
    Tick();  // the counter stays away while the list is open
    EXPECT_FALSE(panel->GammaCounter()->isVisibleTo(panel));

    panel->GammaMaxCombo()->setCurrentIndex(8);
    emit panel->GammaMaxCombo()->activated(8);
    EXPECT_EQ(shared.SnapshotSettings().GammaMax, 5000);
    EXPECT_FALSE(panel->GammaMaxCombo()->isVisibleTo(panel));
    EXPECT_TRUE(panel->GammaCounter()->isVisibleTo(panel));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], CDephtDlg::ID_REFRESH_PROBE_PAGE);
    Tick();
    EXPECT_EQ(panel->GammaBar()->maximum(), 5000);
}

TEST_F(DephtDlgTest, NoGammaDetectorHidesTheGammaControls) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        settings.sondeDb.NaturalGamma = 0;
    }
    Tick();
    EXPECT_FALSE(Shown(CDephtDlg::IDC_GAMMA_BAR));
    EXPECT_FALSE(Shown(CDephtDlg::IDC_GAMMA_UNIT));
    EXPECT_FALSE(panel->GammaCounter()->isVisibleTo(panel));
    // A replayed log decides by its header.
    header.Natural_Gamma = TRUE;
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.ReplayLoaded = 1;
    }
    Tick();
    EXPECT_TRUE(Shown(CDephtDlg::IDC_GAMMA_BAR));
}

TEST_F(DephtDlgTest, SerialNumberLiveAndReplay) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        settings.sondeDb.SerialNumber = 1234;
    }
    panel->SendCommand(CDephtDlg::ID_SONDE_CHANGED);
    EXPECT_EQ(panel->SerialNumber()->text(), "SN: 1234");
    EXPECT_FALSE(panel->SerialNumber()->BlinkTimerRunning());
    EXPECT_EQ(panel->SerialNumber()->GetBkColor(), CDephtDlg::kSerialBackLive);

    header.SerialNumber = 77;
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.ReplayLoaded = 1;
    }
    Tick();
    EXPECT_EQ(panel->SerialNumber()->text(), "SN: 77");
    EXPECT_EQ(panel->SerialNumber()->GetBkColor(), CDephtDlg::kSerialBackReplay);
    // Back to live: the selected sonde's number again within two ticks.
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.ReplayLoaded = 0;
    }
    Tick();
    EXPECT_EQ(panel->SerialNumber()->text(), "SN: 1234");
    EXPECT_EQ(panel->SerialNumber()->GetBkColor(), CDephtDlg::kSerialBackLive);
}

TEST_F(DephtDlgTest, DepthModeAndRecordingMode) {
    rawDepth.store(false);
    QTest::mouseDClick(panel->GetDlgItem(CDephtDlg::IDC_DEPTH_MODE), Qt::LeftButton);
    EXPECT_TRUE(rawDepth.load());
    EXPECT_EQ(panel->DepthIconId(), CDephtDlg::IDI_RAW_DEPTH);
    panel->OnStnDblclkDepthMode();
    EXPECT_FALSE(rawDepth.load());
    EXPECT_EQ(panel->DepthIconId(), CDephtDlg::IDI_CORRECTED_DEPTH);
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.ReplayLoaded = 1;
        shared.logger.LiveDepth = 321.5;
    }
    panel->OnStnDblclkDepthMode();  // not during a replay
    EXPECT_FALSE(rawDepth.load());

    panel->SendCommand(CDephtDlg::IDC_RECORDING_MODE);
    EXPECT_TRUE(modeFlagDuringDialog);
    EXPECT_FALSE(displayMode.load());
    EXPECT_DOUBLE_EQ(shared.g_dLastDepth.load(), 321.5);
}

TEST_F(DephtDlgTest, Screenshot) {
    SetLive(1523.47, 19.2, LINK_STATUS, 11);
    shared.m_bSondePowered.store(true);
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        settings.sondeDb.SerialNumber = 4711;
    }
    panel->SendCommand(CDephtDlg::ID_SONDE_CHANGED);
    for (int i = 0; i < 12; ++i) panel->PutGammaCount(static_cast<uint16_t>(560 + 10 * i), 1.0);
    Tick();
    zns::ui::PumpEvents(300);
    EXPECT_TRUE(host.grab().toImage().save(QString::fromStdString(zns::test::ArtifactPath("depth_panel.png"))));
}

}  // namespace
