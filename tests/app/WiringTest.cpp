// The main window reaches the windows its menu, its panels and its scopes
// open: depth reset, recording mode, magnifier, first-arrival cursor, printing,
// the two exports and the "Logger Setup" dialog.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <mutex>
#include <vector>

#include "AppTestSupport.h"
#include "app/BrannicLogger_ZN.h"
#include "app/BrannicZenova_Dlg.h"
#include "ui/WindowHandles.h"
#include "platform/ui/TestApp.h"
#include "ui/controls/DrawerZNSCtrl.h"
#include "ui/controls/GraphicCounterCtrl.h"
#include "ui/controls/WaveCtrl.h"
#include "ui/dialogs/BigDepth.h"
#include "ui/dialogs/DephtDlg.h"
#include "ui/dialogs/FirstArrivalCursorDlg.h"
#include "ui/dialogs/PAcquisitionDlg.h"
#include "ui/dialogs/PCommDlg.h"
#include "ui/dialogs/PRecordingMode.h"
#include "ui/dialogs/PSetDepthDlg.h"
#include "ui/dialogs/PWideDlg.h"
#include "ui/dialogs/PowerDlg.h"
#include "ui/dialogs/PropertyLoggerDlg.h"

using apptest::ModalOperator;
using apptest::Running;
using apptest::WaitFor;
using Dlg = CBrannicZenova_Dlg;

namespace {

TEST(Wiring, DepthPanelButtonsOpenTheDepthResetRecordingModeAndMagnifier) {
    Running r;
    CDephtDlg* depth = r.dlg->DepthPanel();
    ASSERT_NE(depth, nullptr);
    r.app.Settings().sondeDb.SondeLength = 250;

    // Depth reset: the entered depth plus the sonde's length becomes the datum.
    ModalOperator op([](QDialog& d) {
        if (auto* reset = qobject_cast<CPSetDepthDlg*>(&d)) {
            reset->DepthEdit()->setText("12,5");
            reset->accept();
        } else if (auto* mode = qobject_cast<CPRecordingMode*>(&d)) {
            // Opened from the panel: the display flag is up while it runs.
            EXPECT_EQ(mode->GetDlgItemText(CPRecordingMode::IDC_GROUP), "Display Mode ...");
            mode->GetDlgItem<QRadioButton>(CPRecordingMode::IDC_UP_MODE)->setChecked(true);
            mode->accept();
        } else {
            d.reject();
        }
    });
    // The logger idles streaming status frames with the sonde off: the button is
    // usable, and a click on it opens the dialog.
    auto* setDepth = depth->GetDlgItem(CDephtDlg::IDC_SET_DEPTH);
    ASSERT_TRUE(WaitFor([&] { return r.Shared().m_nLinkState.load() == LINK_STATUS && setDepth->isEnabled(); }, 10000));
    QTest::mouseClick(setDepth, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(r.Shared().SnapshotSettings().DepthDatum, 15.0);

    depth->SendCommand(CDephtDlg::IDC_RECORDING_MODE);
    EXPECT_EQ(r.Shared().SnapshotSettings().RecordingMode, RECMODE_UP);
    EXPECT_FALSE(r.app.m_bDisplayModeDlg.load());
    EXPECT_EQ(op.Seen(), (std::vector<std::string>{"CPSetDepthDlg", "CPRecordingMode"}));

    // The magnifier: made hidden with the panel, which owns it; the button shows it
    // under the main window's top edge.
    QPointer<CBigDepth> big = r.dlg->Magnifier();
    ASSERT_FALSE(big.isNull());
    EXPECT_EQ(big->parentWidget(), depth);
    EXPECT_FALSE(big->isVisible());
    depth->SendCommand(CDephtDlg::IDC_MAGNIFIER);
    EXPECT_TRUE(big->isVisible());
    EXPECT_EQ(big->geometry().top(), r.app.m_rcMainWnd.top() + CBigDepth::kTopBelowMain);
    EXPECT_TRUE(r.app.Settings().layout.placement[LAYOUT_MAGNIFIER].IsPresent());
    // The panel's refresh reaches it: with frames arriving it shows the depth.
    EXPECT_TRUE(WaitFor([&] { return !big->DepthCounter()->GetText().empty(); }, 5000));
    zns::ui::PumpEvents(200);
    QDir().mkpath(ZNS_ARTIFACTS_DIR);
    EXPECT_TRUE(big->grab().save(QString(ZNS_ARTIFACTS_DIR) + "/app_magnifier.png"));
}

// With the shipped settings, a Down log against the program's own simulator goes down
// and draws its rows: the simulated encoder counts the way the configuration expects.
TEST(Wiring, ADownLogOnTheBuiltInLoggerGoesDownAndDrawsRows) {
    Running r;
    QWidget* power = r.dlg->PowerPanel()->GetDlgItem(CPowerDlg::IDC_POWER);
    ASSERT_TRUE(WaitFor([&] { return r.Shared().m_nLinkState.load() == LINK_STATUS && power->isEnabled(); }, 10000));
    QTest::mouseClick(power, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return (r.Shared().SnapshotSonde().Mode & 0x0F) == RECMODE_TIME; }, 10000));
    ModalOperator op([](QDialog& d) {
        if (auto* mode = qobject_cast<CPRecordingMode*>(&d)) {
            mode->GetDlgItem<QRadioButton>(CPRecordingMode::IDC_DOWN_MODE)->setChecked(true);
            mode->accept();
        } else {
            d.reject();
        }
    });
    r.dlg->DepthPanel()->SendCommand(CDephtDlg::IDC_RECORDING_MODE);
    ASSERT_TRUE(WaitFor([&] { return (r.Shared().SnapshotSonde().Mode & 0x0F) == RECMODE_DOWN; }, 10000));
    const int before = r.dlg->Drawer()->Core()->LastDrawnRow();
    ASSERT_TRUE(WaitFor([&] { return r.dlg->Drawer()->Core()->LastDrawnRow() != before; }, 20000));
    EXPECT_GT(r.Shared().SnapshotLive().Speed, 0.0);
    EXPECT_FALSE(r.Shared().g_bBadDirection.load());
}

TEST(Wiring, ScopesOpenTheFirstArrivalCursorDialogForTheirReceiver) {
    Running r;
    int receiver = 0;
    ModalOperator op([&](QDialog& d) {
        if (auto* cursor = qobject_cast<CFirstArrivalCursorDlg*>(&d)) receiver = cursor->m_nReceiverId;
        d.reject();
    });
    r.dlg->WideView(RX2_ID)->Scope()->EditCursor();
    EXPECT_EQ(op.Seen(), std::vector<std::string>{"CFirstArrivalCursorDlg"});
    EXPECT_EQ(receiver, RX2_ID);
}

TEST(Wiring, PrintAndAutoPrintGoThroughTheTraceImage) {
    Running r([](Running& run) {
        run.dir.Ui().SetDefaultPrinter("Office");
        run.dir.Ui().AddPrinter("Office");
    });
    ASSERT_TRUE(WaitFor([&] { return r.dlg->PrinterReady(); }, 30000));
    CMenu& menu = r.dlg->Menu();
    EXPECT_FALSE(menu.GetMenuState(Dlg::ID_FILE_PRINT) & MF_GRAYED);
    EXPECT_FALSE(menu.GetMenuState(Dlg::ID_AUTO_PRINT) & MF_GRAYED);

    std::mutex mu;
    std::vector<zns::PrintedLogPage> pages;
    CDrawerZNSCtrl* drawer = r.dlg->Drawer();
    drawer->PrintSpooler().SetPrintFunction([&](const zns::PrintedLogPage& p) {
        std::lock_guard<std::mutex> g(mu);
        pages.push_back(p);
        return true;
    });
    r.app.Header().LogName = "Well 7";
    zns::SetFixedField(r.app.Settings().files.szFileName, "run1.zne");

    r.dlg->SendCommand(Dlg::ID_FILE_PRINT);
    drawer->PrintSpooler().WaitIdle();
    {
        std::lock_guard<std::mutex> g(mu);
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].logName, "Well 7");
        EXPECT_EQ(pages[0].fileName, "run1.zne");
    }

    // Auto print on: checked, "&Print" greyed, the scale fixed.
    QComboBox* scale = r.dlg->DepthPanel()->ScaleCombo();
    r.dlg->SendCommand(Dlg::ID_AUTO_PRINT);
    EXPECT_TRUE(drawer->AutoPrint());
    EXPECT_TRUE(menu.GetMenuState(Dlg::ID_AUTO_PRINT) & MF_CHECKED);
    EXPECT_TRUE(menu.GetMenuState(Dlg::ID_FILE_PRINT) & MF_GRAYED);
    EXPECT_FALSE(scale->isEnabled());

    // Stop ends it with the last, partial page.
    r.dlg->EndAutoPrint();
    drawer->PrintSpooler().WaitIdle();
    EXPECT_FALSE(drawer->AutoPrint());
    EXPECT_FALSE(menu.GetMenuState(Dlg::ID_AUTO_PRINT) & MF_CHECKED);
    EXPECT_FALSE(menu.GetMenuState(Dlg::ID_FILE_PRINT) & MF_GRAYED);
    EXPECT_TRUE(scale->isEnabled());
    std::lock_guard<std::mutex> g(mu);
    EXPECT_EQ(pages.size(), 2u);
}

TEST(Wiring, ExportsStopThePlayerAndRunTheirDialogs) {
    Running r;
    ModalOperator op;  // cancels
    // LAS: a running player is stopped before the dialog.
    {
        std::lock_guard<std::mutex> lock(r.Shared().acqMutex);
        r.Shared().session.Running = 1;
    }
    r.dlg->SendCommand(Dlg::ID_EXPORT_LAS);
    EXPECT_EQ(op.Seen(), std::vector<std::string>{"CLasExport"});
    EXPECT_EQ(r.Shared().SnapshotSession().Running, 0);

    // SEG-2: asks for the data file; a cancel writes nothing and says nothing.
    r.dir.Ui().PushFileAnswer(std::nullopt);
    r.dlg->SendCommand(Dlg::ID_EXPORT_SEG2);
    const auto requests = r.dir.Ui().FileRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].open);
    EXPECT_NE(requests[0].filter.find("*.zne"), std::string::npos);
    EXPECT_EQ(r.dir.Ui().BoxCount(), 0u);
    EXPECT_TRUE(r.dlg->StatusBar()->isVisible());
}

TEST(Wiring, LoggerSetupIsMadeHiddenAndShownByItsCommands) {
    Running r;
    CPropertyLoggerDlg* setup = r.dlg->LoggerSetup();
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(g_hWndSetup.load(), setup);
    EXPECT_EQ(g_hWndAcqPage.load(), setup->AcquisitionPage());
    EXPECT_FALSE(setup->isVisible());
    ASSERT_EQ(setup->TabBar()->count(), 4);
    EXPECT_EQ(setup->TabBar()->tabText(2), "Communication");

    r.dlg->SendCommand(Dlg::ID_TOOLS_COMMUNICATION);
    EXPECT_TRUE(setup->isVisible());
    setup->ShowWindow(SW_HIDE);
    // The power panel's button places it first.
    r.dlg->SendCommand(Dlg::ID_SHOW_LOGGER_TOOLS);
    EXPECT_TRUE(setup->isVisible());

    // For a look at it: the communication page as the menu opens it.
    zns::ui::PumpEvents(100);
    QDir().mkpath(ZNS_ARTIFACTS_DIR);
    EXPECT_TRUE(setup->grab().save(QString(ZNS_ARTIFACTS_DIR) + "/app_logger_setup.png"));
}

// The operator's communication check, in the running program on the real clock
// against the simulated logger at its defaults: the logger streams on through
// every command, so the check comes to its question, not to "Aborted...". The
// waits are bounded, never timed (a run takes minutes: a test entry of its own).
TEST(WiringRealClock, CommunicationCheckComesToItsQuestion) {
    Running r;
    ASSERT_TRUE(WaitFor([&] { return r.Shared().m_nLinkState.load() >= LINK_STATUS; }, 10000));
    r.dlg->SendCommand(Dlg::ID_TOOLS_COMMUNICATION);
    CPCommDlg* comm = r.dlg->LoggerSetup()->CommPage();
    ASSERT_TRUE(comm->isVisible());
    QTest::mouseClick(comm->GetDlgItem(CPCommDlg::IDC_CHECK), Qt::LeftButton);  // runs the check modally
    const auto boxes = r.dir.Ui().Boxes();
    ASSERT_FALSE(boxes.empty());
    const std::string& q = boxes.back().text;
    EXPECT_TRUE(q.rfind("Success at ", 0) == 0 || q.rfind("Communication at ", 0) == 0) << q;
    EXPECT_NE(q.find("\nAccept ?"), std::string::npos) << q;
    EXPECT_FALSE(r.Shared().m_bCommCheck.load());
}

TEST(Wiring, SetupPageCommandsGoToTheLoggerAndTheSetupHandleGoesWithTheWindow) {
    {
        Running r;
        // Every command the pages and dialogs use is one the link queues.
        for (int code : {1, 2, 3, 8, 10}) EXPECT_TRUE(r.dlg->SendLoggerCommand(code)) << code;
        EXPECT_FALSE(r.dlg->SendLoggerCommand(7));
    }
    EXPECT_EQ(g_hWndSetup.load(), nullptr);
    EXPECT_EQ(g_hWndAcqPage.load(), nullptr);
}

}  // namespace
