#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>
#include <map>

#include "AppTestSupport.h"
#include "app/AboutDlg.h"
#include "app/AppIcons.h"
#include "app/BrannicLogger_ZN.h"
#include "app/BrannicZenova_Dlg.h"
#include "ui/WindowHandles.h"
#include "link/ToolsStream.h"
#include "link/USB.h"
#include "platform/IniFile.h"
#include "platform/ui/TestApp.h"
#include "ui/controls/DrawerZNSCtrl.h"
#include "ui/dialogs/DephtDlg.h"
#include "ui/dialogs/PWideDlg.h"
#include "ui/dialogs/PowerDlg.h"

using apptest::Running;
using apptest::WaitFor;
using Dlg = CBrannicZenova_Dlg;

namespace {

qint64 IconKey(int id) { return AppIcon(id).cacheKey(); }

TEST(MainWindow, StartsInOrderAndConnectsToTheLogger) {
    Running r([](Running& run) {
        run.app.Header().LogMode = HEADER_LOG_DOWN;
        run.app.Header().Company = "Old";
    });
    const std::vector<std::string> expected = {
        "wait cursor", "main window", "live values",  "settings",     "single instance",
        "header reset", "status bar", "logo",         "child windows", "anchors",
        "numeric locale", "menu and panels", "link start", "trace image", "printer",
        "status timer", "placement",  "ready"};
    EXPECT_EQ(r.dlg->StartupSteps(), expected);
    EXPECT_EQ(g_hWndMain.load(), r.dlg);
    EXPECT_EQ(r.app.m_pMainDlg, r.dlg);

    // Settings loaded from the program directory, the header reset.
    EXPECT_TRUE(r.app.Settings().m_bPreferencesLoaded);
    EXPECT_EQ(r.app.Header().LogMode, HEADER_LOG_TIME);
    EXPECT_EQ(r.app.Header().Company, " ");

    // Title with the version after a non-breaking space.
    EXPECT_EQ(r.dlg->GetWindowText(), std::string("ZNS Acquisition software version\xA0" "3.11"));
    EXPECT_TRUE(r.dlg->Logo().HasPicture());
    EXPECT_FALSE(r.dlg->LogoRect().isEmpty());
    EXPECT_FALSE(r.dlg->Progress()->isVisible());
    ASSERT_NE(r.dlg->Drawer(), nullptr);
    EXPECT_EQ(r.dlg->Drawer()->geometry(), r.dlg->GetDlgItem(Dlg::IDC_DRAWER_PLACE)->geometry());

    // The link: found, command 0 written, receive thread started, counters shown.
    EXPECT_TRUE(r.app.Shared().m_bUsbLoaded);
    ASSERT_TRUE(r.Connected());
    EXPECT_TRUE(WaitFor([&] { return !r.Bar().GetText(3).empty(); }, 3000));
    EXPECT_EQ(r.Bar().GetText(3).find_first_not_of("0123456789"), std::string::npos) << r.Bar().GetText(3);
    EXPECT_TRUE(WaitFor([&] { return r.app.Shared().m_bReceiveRunning.load(); }, 3000));
    EXPECT_EQ(r.dlg->Link()->GetSerialNumber(), "QK-00000001");
}

TEST(MainWindow, StatusBarHasEightPartsWithIconsAndFollowsTheWidth) {
    Running r;
    CStatusBarCtrl& bar = r.Bar();
    ASSERT_EQ(bar.GetParts(), Dlg::kStatusParts);
    EXPECT_EQ(bar.GetDlgCtrlID(), Dlg::IDC_STATUSBAR);
    auto check = [&] {
        const int w = bar.width();
        EXPECT_EQ(bar.GetPartEdges(), (std::vector<int>{w - 470, w - 310, w - 150, w - 75, w - 55, w - 35, w - 15, 0}));
        EXPECT_TRUE(bar.GetRect(7).isEmpty());  // the eighth part has no width
        EXPECT_EQ(bar.geometry().bottom(), r.dlg->rect().bottom());
        EXPECT_EQ(bar.width(), r.dlg->width());
    };
    check();
    EXPECT_EQ(bar.GetIconKey(4), IconKey(IDI_TX_IDLE));
    EXPECT_EQ(bar.GetIconKey(5), IconKey(IDI_RX_IDLE));
    EXPECT_EQ(bar.GetIconKey(6), IconKey(IDI_LINK_IDLE));

    r.dlg->resize(r.dlg->width() + 240, r.dlg->height() + 100);
    zns::ui::PumpEvents(20);
    check();
    // The trace image grows with the window; it never goes below its first size.
    EXPECT_EQ(r.dlg->Drawer()->geometry().right(), r.dlg->width() - 1);
    r.dlg->resize(300, 200);
    zns::ui::PumpEvents(20);
    EXPECT_GE(r.dlg->width(), 1000);
}

TEST(MainWindow, StatusTimerWritesPacketSizeEverySixthTickAndShowsActivity) {
    // Without a driver there is no link thread: only the timer writes here.
    Running r([](Running& run) {
        setenv("ZNS_LOGGER", "no-such-driver", 1);
        run.dlg->ResetStatusTick();  // the start sets the count again
    });
    setenv("ZNS_LOGGER", "sim", 1);
    // The count starts at 5: the first tick writes the text at once.
    EXPECT_TRUE(r.dlg->StatusTick() == Dlg::kStatusTickEvery || r.Bar().GetText(2) == Dlg::kMsgPacketSize)
        << r.dlg->StatusTick();
    EXPECT_FALSE(r.app.Shared().m_bUsbLoaded);
    EXPECT_EQ(r.Bar().GetText(1), "USB not installed.");
    EXPECT_TRUE(r.dlg->IsTimerSet(Dlg::ID_TIMER_STATUS));
    EXPECT_EQ(r.dlg->StatusTimerSlot(), Dlg::ID_TIMER_STATUS);
    SharedData& s = r.app.Shared();
    CStatusBarCtrl& bar = r.Bar();

    // The first tick after start writes the text (the count starts at 5).
    r.dlg->KillTimer(Dlg::ID_TIMER_STATUS);
    bar.SetText("x", 2);
    r.dlg->ResetStatusTick();
    for (int tick = 1; tick <= 5; ++tick) {
        r.dlg->OnTimer(Dlg::ID_TIMER_STATUS);
        EXPECT_EQ(bar.GetText(2), "x") << tick;
    }
    r.dlg->OnTimer(Dlg::ID_TIMER_STATUS);
    EXPECT_EQ(bar.GetText(2), Dlg::kMsgPacketSize);
    EXPECT_TRUE(r.dlg->IsTimerSet(Dlg::ID_TIMER_STATUS));  // re-armed at the end of the tick
    // And again on every sixth tick.
    bar.SetText("x", 2);
    for (int tick = 1; tick <= 5; ++tick) r.dlg->OnTimer(Dlg::ID_TIMER_STATUS);
    EXPECT_EQ(bar.GetText(2), "x");
    r.dlg->OnTimer(Dlg::ID_TIMER_STATUS);
    EXPECT_EQ(bar.GetText(2), Dlg::kMsgPacketSize);

    // Transmit and receive icons show the activity of the last tick, and clear it.
    s.m_bTxActivity = true;
    r.dlg->OnTimer(Dlg::ID_TIMER_STATUS);
    EXPECT_EQ(bar.GetIconKey(4), IconKey(IDI_TX_ACTIVE));
    EXPECT_EQ(bar.GetIconKey(5), IconKey(IDI_RX_IDLE));
    EXPECT_FALSE(s.m_bTxActivity);
    s.m_bRxActivity = true;
    r.dlg->OnTimer(Dlg::ID_TIMER_STATUS);
    EXPECT_EQ(bar.GetIconKey(4), IconKey(IDI_TX_IDLE));
    EXPECT_EQ(bar.GetIconKey(5), IconKey(IDI_RX_ACTIVE));

    // Link icon: idle unpowered, blinking with status frames only, lit with waveforms.
    s.m_nLinkState = LINK_WAVES;
    r.dlg->OnTimer(Dlg::ID_TIMER_STATUS);
    EXPECT_EQ(bar.GetIconKey(6), IconKey(IDI_LINK_IDLE));
    s.m_bSondePowered = true;
    s.m_nLinkState = LINK_STATUS;
    std::vector<qint64> seen;
    for (int i = 0; i < 4; ++i) {
        r.dlg->OnTimer(Dlg::ID_TIMER_STATUS);
        seen.push_back(bar.GetIconKey(6));
    }
    EXPECT_EQ(seen, (std::vector<qint64>{IconKey(IDI_LINK_IDLE), IconKey(IDI_LINK_ACTIVE), IconKey(IDI_LINK_IDLE),
                                         IconKey(IDI_LINK_ACTIVE)}));
    s.m_nLinkState = LINK_WAVES;
    r.dlg->OnTimer(Dlg::ID_TIMER_STATUS);
    r.dlg->OnTimer(Dlg::ID_TIMER_STATUS);
    EXPECT_EQ(bar.GetIconKey(6), IconKey(IDI_LINK_ACTIVE));
    s.m_bSondePowered = false;
}

TEST(MainWindow, WithoutALoggerTheLinkKeepsSearching) {
    Running r([](Running&) { setenv("ZNS_LOGGER", "tty:/nonexistent/zns-test", 1); });
    setenv("ZNS_LOGGER", "sim", 1);
    ASSERT_TRUE(WaitFor([&] { return r.Bar().GetText(2) == "Not hardware detected."; }, 3000));
    EXPECT_NE(r.Bar().GetText(1).find("Checking USB Link ."), std::string::npos) << r.Bar().GetText(1);
    // The link watch restarts the count: "Packet size :" waits for six quiet ticks.
    EXPECT_LT(r.dlg->StatusTick(), Dlg::kStatusTickEvery + 1);
    EXPECT_FALSE(r.app.Shared().m_bReceiveRunning);
}

TEST(MainWindow, MenuHasItsEntriesAndGreysWhatCannotRunYet) {
    Running r;
    CMenu& menu = r.dlg->Menu();
    const std::vector<std::pair<unsigned, std::string>> entries = {
        {Dlg::ID_FILE_OPEN, "&Open"},
        {Dlg::ID_FILE_NEW, "&New log."},
        {Dlg::ID_FILE_PRINT, "&Print"},
        {Dlg::ID_AUTO_PRINT, "&Auto Print"},
        {Dlg::ID_SET_PRINTER, "&Set Printer"},
        {Dlg::ID_APP_EXIT, "&Exit"},
        {Dlg::ID_EXPORT_SEG2, "SEG-2"},
        {Dlg::ID_EXPORT_LAS, "LAS 20 (Gamma)"},
        {Dlg::ID_TOOLS_COMMUNICATION, "&Communication"},
        {Dlg::ID_WIDE_RX1, "Extended scope Rx&1"},
        {Dlg::ID_WIDE_RX2, "Extended scope RX&2"},
        {Dlg::ID_WIDE_RX3, "Extended scope Rx3"},
        {Dlg::IDM_ABOUTBOX, "&About ZNS Acquisition software..."},
    };
    for (const auto& [id, text] : entries) {
        QAction* a = menu.FindAction(id);
        ASSERT_NE(a, nullptr) << id;
        EXPECT_EQ(a->text().toStdString(), text);
        if (id != Dlg::ID_FILE_NEW) {  // greyed until frames arrive, below
            // No printer in the scripted service: both print entries stay greyed.
            const bool print = id == Dlg::ID_FILE_PRINT || id == Dlg::ID_AUTO_PRINT;
            const bool greyed = Dlg::IsCommandPending(id) || (print && !r.dlg->PrinterReady());
            EXPECT_EQ(menu.GetMenuState(id) & MF_GRAYED, greyed ? MF_GRAYED : 0u) << text;
            EXPECT_FALSE(Dlg::IsCommandPending(id)) << text;  // every entry has its window
        }
    }
    QStringList popups;
    for (QAction* a : menu.GetMenuBar()->actions()) popups << a->text();
    EXPECT_EQ(popups, (QStringList{"&File", "E&xport to", "&Tools", "&Help"}));
    EXPECT_TRUE(menu.GetMenuState(Dlg::ID_FILE_NEW) & MF_GRAYED);  // no frames yet
    EXPECT_FALSE(menu.GetMenuState(Dlg::ID_SET_PRINTER) & MF_GRAYED);

    // A language change loads the menu afresh and keeps what is greyed.
    r.dlg->SendCommand(Dlg::ID_LANGUAGE_UK);
    EXPECT_EQ(std::string(r.app.Settings().m_szLanguage), "UK");
    EXPECT_TRUE(r.dlg->Menu().GetMenuState(Dlg::ID_FILE_PRINT) & MF_GRAYED);
    EXPECT_TRUE(r.dlg->Menu().GetMenuState(Dlg::ID_FILE_NEW) & MF_GRAYED);
    r.dlg->SendCommand(Dlg::ID_LANGUAGE_FR);
    EXPECT_EQ(std::string(r.app.Settings().m_szLanguage), "FR");
}

TEST(MainWindow, ChildWindowsAndWideViewToggles) {
    Running r;
    ASSERT_NE(r.dlg->DepthPanel(), nullptr);
    EXPECT_EQ(g_hWndDepth.load(), r.dlg->DepthPanel());
    EXPECT_TRUE(r.dlg->DepthPanel()->isVisible());
    // The panel sits in the right half, above the trace image.
    EXPECT_GE(r.dlg->DepthPanel()->geometry().left(), r.dlg->width() / 2 - 1);
    EXPECT_LE(r.dlg->DepthPanel()->geometry().bottom(), r.dlg->Drawer()->geometry().top());

    const std::atomic<CWndBase*>* handles[3] = {&g_hWndWideRx1, &g_hWndWideRx2, &g_hWndWideRx3};
    const unsigned commands[3] = {Dlg::ID_WIDE_RX1, Dlg::ID_WIDE_RX2, Dlg::ID_WIDE_RX3};
    for (int rx = 0; rx < 3; ++rx) {
        CPWideDlg* wide = r.dlg->WideView(RX1_ID + rx);
        ASSERT_NE(wide, nullptr);
        EXPECT_EQ(handles[rx]->load(), wide);
        EXPECT_EQ(wide->ReceiverId(), RX1_ID + rx);
        EXPECT_FALSE(wide->isVisible());
        EXPECT_FALSE(r.dlg->Menu().GetMenuState(commands[rx]) & MF_GRAYED);
    }
    EXPECT_EQ(r.dlg->WideView(2004), nullptr);
    EXPECT_EQ(r.dlg->WideView(RX1_ID)->GetWindowText(), "Rx1 Near");
    EXPECT_EQ(r.dlg->WideView(RX2_ID)->GetWindowText(), "Rx2 Midle");

    // Shown with the selected sonde's receiver name, hidden again keeping its place.
    r.app.Settings().sondeDb.RxName[1] = "Mid";
    r.dlg->SendCommand(Dlg::ID_WIDE_RX2);
    CPWideDlg* rx2 = r.dlg->WideView(RX2_ID);
    EXPECT_TRUE(rx2->isVisible());
    EXPECT_EQ(rx2->GetWindowText(), "Rx2 Mid");
    rx2->move(123, 45);
    zns::ui::PumpEvents(10);
    r.dlg->SendCommand(Dlg::ID_WIDE_RX2);
    EXPECT_FALSE(rx2->isVisible());
    const ::WindowPlacement& stored = r.app.Settings().layout.placement[LAYOUT_WIDE_RX2];
    EXPECT_TRUE(stored.IsPresent());
    EXPECT_EQ(stored.left, rx2->normalGeometry().left());

    // HideScope hides only a visible view.
    r.dlg->SendCommand(Dlg::ID_WIDE_RX3);
    EXPECT_TRUE(r.dlg->WideView(RX3_ID)->isVisible());
    r.dlg->HideScope(RX3_ID);
    EXPECT_FALSE(r.dlg->WideView(RX3_ID)->isVisible());
    r.dlg->HideScope(RX3_ID);
    EXPECT_FALSE(r.dlg->WideView(RX3_ID)->isVisible());

    // Captions from the replayed log's header once a file is loaded.
    r.app.Header().Rx1_Name = "Proche";
    {
        std::lock_guard<std::mutex> lock(r.app.Shared().acqMutex);
        r.app.Shared().session.ReplayLoaded = 1;
    }
    r.dlg->SendCommand(ID_ACQUISITION_STATE_CHANGED);
    EXPECT_EQ(r.dlg->WideView(RX1_ID)->GetWindowText(), "Rx1 Proche");
    {
        std::lock_guard<std::mutex> lock(r.app.Shared().acqMutex);
        r.app.Shared().session.ReplayLoaded = 0;
    }
    r.dlg->SendCommand(ID_ACQUISITION_STATE_CHANGED);
    EXPECT_EQ(r.dlg->WideView(RX1_ID)->GetWindowText(), "Rx1 " + r.app.Settings().sondeDb.RxName[0]);
}

TEST(MainWindow, ReplayAndExportAreRefusedWhilePowered) {
    Running r;
    auto& ui = r.dir.Ui();
    r.app.Shared().m_bSondePowered = true;
    {
        std::lock_guard<std::mutex> lock(r.app.Shared().acqMutex);
        r.app.Shared().session.Running = 1;
    }
    r.dlg->SendCommand(Dlg::ID_FILE_OPEN);
    ASSERT_EQ(ui.BoxCount(), 1u);
    EXPECT_EQ(ui.LastBox().text, Dlg::kMsgPoweredReplay);
    EXPECT_EQ(ui.LastBox().Icon(), MB_ICONSTOP);
    EXPECT_EQ(r.app.Shared().SnapshotSession().Running, 0);  // cleared whatever the answer
    r.dlg->SendCommand(Dlg::ID_EXPORT_LAS);
    ASSERT_EQ(ui.BoxCount(), 2u);
    EXPECT_EQ(ui.LastBox().text, Dlg::kMsgPoweredExport);
    r.app.Shared().m_bSondePowered = false;
    apptest::ModalOperator op;  // cancels the LAS export dialog
    r.dlg->SendCommand(Dlg::ID_FILE_OPEN);
    r.dlg->SendCommand(Dlg::ID_EXPORT_LAS);
    EXPECT_EQ(ui.BoxCount(), 2u);
    EXPECT_EQ(op.Seen(), std::vector<std::string>{"CLasExport"});
}

TEST(MainWindow, PrinterSetUp) {
    const auto settled = [](Running& r) { return WaitFor([&] { return !r.dlg->PrinterLookupPending(); }, 30000); };
    // "none" and no printer at all: both print entries stay greyed, no message.
    {
        Running r;
        ASSERT_TRUE(settled(r));
        EXPECT_FALSE(r.dlg->PrinterReady());
        EXPECT_EQ(r.app.Settings().m_strPrinterUsed, "none");
        EXPECT_EQ(r.dir.Ui().BoxCount(), 0u);
        EXPECT_TRUE(r.dlg->Menu().GetMenuState(Dlg::ID_FILE_PRINT) & MF_GRAYED);
        EXPECT_TRUE(r.dlg->Menu().GetMenuState(Dlg::ID_AUTO_PRINT) & MF_GRAYED);
    }
    // "none" with a default printer: the default is taken and selected.
    {
        Running r([](Running& run) {
            run.dir.Ui().SetDefaultPrinter("Office");
            run.dir.Ui().AddPrinter("Office");
        });
        ASSERT_TRUE(settled(r));
        EXPECT_EQ(r.app.Settings().m_strPrinterUsed, "Office");
        EXPECT_TRUE(r.dlg->PrinterReady());
    }
    // Kept and ready: a gone printer (the default one takes its pages), a PDF file.
    for (const char* used : {"Gone", "/tmp/zns/log.pdf"}) {
        Running r([used](Running& run) {
            zns::IniWriteString(run.dir.File("HxZn.cfg"), "BrannicLogger", "PrinterUsed", used);
            if (used[0] != '/') run.dir.Ui().SetDefaultPrinter("Office");
        });
        ASSERT_TRUE(settled(r));
        EXPECT_EQ(r.app.Settings().m_strPrinterUsed, used);
        EXPECT_TRUE(r.dlg->PrinterReady());
    }
}

TEST(MainWindow, SetPrinterStoresTheChoice) {
    Running r;
    auto& ui = r.dir.Ui();
    const auto setPrinter = [&](int dialogs) {
        r.dlg->SendCommand(Dlg::ID_SET_PRINTER);  // the dialog once the print server answered
        return WaitFor([&] { return ui.PrintSetupCount() == dialogs; }, 30000);
    };
    ui.AddPrinter("Plotter");
    ui.PushPrintSetupAnswer(std::string("Plotter"));
    ASSERT_TRUE(setPrinter(1));
    EXPECT_EQ(r.app.Settings().m_strPrinterUsed, "Plotter");
    EXPECT_TRUE(r.dlg->PrinterReady());
    EXPECT_EQ(zns::IniGetString(r.dir.File("HxZn.cfg"), "BrannicLogger", "PrinterUsed", ""), "Plotter");

    // Cancelled: nothing changes.
    ASSERT_TRUE(setPrinter(2));
    EXPECT_EQ(r.app.Settings().m_strPrinterUsed, "Plotter");

    // Print to PDF is a printer: its file is stored.
    ui.PushPrintSetupAnswer(std::string("/tmp/zns/log.pdf"));
    ASSERT_TRUE(setPrinter(3));
    EXPECT_EQ(ui.BoxCount(), 0u);
    EXPECT_EQ(zns::IniGetString(r.dir.File("HxZn.cfg"), "BrannicLogger", "PrinterUsed", ""), "/tmp/zns/log.pdf");
    EXPECT_TRUE(r.dlg->PrinterReady());

    // A name the file's code page cannot hold is refused, the choice kept; a PDF without a file too.
    ui.PushPrintSetupAnswer(std::string("Принтер"));
    ASSERT_TRUE(setPrinter(4));
    EXPECT_EQ(ui.LastBox().text, Dlg::kMsgPrinterNameNotKept);
    ui.PushPrintSetupAnswer(std::string(zns::ui::kPdfWithoutFile));
    ASSERT_TRUE(setPrinter(5));
    EXPECT_EQ(ui.LastBox().text, Dlg::kMsgPdfFileNeeded);
    EXPECT_EQ(r.app.Settings().m_strPrinterUsed, "/tmp/zns/log.pdf");
    ui.PushPrintSetupAnswer(std::string("Büro"));
    ASSERT_TRUE(setPrinter(6));
    EXPECT_EQ(zns::IniGetString(r.dir.File("HxZn.cfg"), "BrannicLogger", "PrinterUsed", ""), "B\xFCro");
}

TEST(MainWindow, APrintSystemThatHangsNeverHoldsTheWindow) {
    {  // A PDF file needs no print system: ready at once.
        Running r([](Running& run) {
            zns::IniWriteString(run.dir.File("HxZn.cfg"), "BrannicLogger", "PrinterUsed", "/tmp/zns/log.pdf");
            run.dir.Ui().HangPrintSystem(true);
        });
        EXPECT_TRUE(r.dlg->PrinterReady());
    }
    Running r([](Running& run) {
        run.dir.Ui().SetDefaultPrinter("Office");
        run.dir.Ui().HangPrintSystem(true);
    });
    auto& ui = r.dir.Ui();
    ASSERT_TRUE(WaitFor([&] { return !r.dlg->PrinterLookupPending(); }, 30000));
    EXPECT_FALSE(r.dlg->PrinterReady());
    // Set Printer opens without the server's list (PDF only), no box.
    r.dlg->SendCommand(Dlg::ID_SET_PRINTER);
    ASSERT_TRUE(WaitFor([&] { return ui.PrintSetupCount() == 1; }, 30000));
    EXPECT_FALSE(ui.LastPrintSetupListed());
    EXPECT_EQ(ui.BoxCount(), 0u);
    // The server back: opening the File menu asks it again.
    ui.HangPrintSystem(false);
    ASSERT_TRUE(WaitFor([] { return zns::PrintRequestsRunning() == 0; }, 30000));
    QMenu* file = r.dlg->Menu().GetMenuBar()->actions().front()->menu();
    file->popup(r.dlg->mapToGlobal(QPoint(4, 4)));
    EXPECT_TRUE(WaitFor([&] { return r.dlg->PrinterReady(); }, 30000));
    file->hide();
}

TEST(MainWindow, OpenHidesTheScopesOfMissingReceiversAndGaugesGammaWithTheLogsCoefficient) {
    Running r([](Running&) { setenv("ZNS_LOGGER", "no-such-driver", 1); });
    setenv("ZNS_LOGGER", "sim", 1);
    const std::string zne = r.dir.File("Demo/one.zne"), hed = r.dir.File("Demo/one.hed");
    QFile::copy(QString::fromStdString(r.dir.File("Demo/ZNS_IT_UP.zne")), QString::fromStdString(zne));
    QFile::copy(QString::fromStdString(r.dir.File("Demo/ZNS_IT_UP.hed")), QString::fromStdString(hed));
    zns::IniWriteString(hed, "General", "RXNumber", "1");
    zns::IniWriteString(hed, "General", "GammaCoef", "4");
    zns::DataFileRecord first;
    {
        std::FILE* f = std::fopen(zne.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(zns::ReadRecord(f, first), zns::RecordStatus::Ok);
        std::fclose(f);
    }
    ASSERT_GT(first.gamma, 0);
    for (unsigned id : {Dlg::ID_WIDE_RX1, Dlg::ID_WIDE_RX2, Dlg::ID_WIDE_RX3}) r.dlg->SendCommand(id);
    ASSERT_TRUE(r.dlg->WideView(RX3_ID)->IsShown());

    r.dir.Ui().PushFileAnswer(zne);
    r.dlg->SendCommand(Dlg::ID_FILE_OPEN);
    ASSERT_TRUE(r.app.Shared().SnapshotSession().ReplayLoaded);
    EXPECT_TRUE(r.dlg->WideView(RX1_ID)->IsShown());
    EXPECT_FALSE(r.dlg->WideView(RX2_ID)->IsShown());
    EXPECT_FALSE(r.dlg->WideView(RX3_ID)->IsShown());
    // The first record went to the gamma meter through the log's own coefficient.
    EXPECT_EQ(r.dlg->DepthPanel()->GammaMeter().CurrentCps(), static_cast<int>(std::lround(first.gamma * 0.25 * 4)));
}

TEST(MainWindow, LiveFramesDuringTheCommunicationCheckClearInsteadOfDrawing) {
    Running r([](Running&) { setenv("ZNS_LOGGER", "no-such-driver", 1); });
    setenv("ZNS_LOGGER", "sim", 1);
    SharedData& s = r.app.Shared();
    int rows = 0;
    r.dlg->SetDisplayTap([&](const Dlg::DisplayRow&) { ++rows; });
    std::vector<int16_t> trace(zns::kRecordMaxSamples, 100);
    s.m_nStatusOneFrames = 7;
    s.m_bCommCheck = true;
    r.dlg->OnNewFrame(trace.data(), trace.data(), trace.data(), 1.0);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(s.m_nStatusOneFrames.load(), 0);  // the acquisition was reset
    s.m_bCommCheck = false;
    s.m_nStatusOneFrames = 7;
    r.dlg->OnNewFrame(trace.data(), trace.data(), trace.data(), 1.0);
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(s.m_nStatusOneFrames.load(), 7);
    r.dlg->SetDisplayTap({});
}

TEST(MainWindow, EnterAndEscapeDoNotCloseIt) {
    Running r;
    for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(r.dlg, &press);
        zns::ui::PumpEvents();
        EXPECT_TRUE(r.dlg->isVisible()) << key;
    }
    r.dlg->reject();
    r.dlg->accept();
    EXPECT_TRUE(r.dlg->isVisible());
    EXPECT_EQ(r.dir.Ui().BoxCount(), 0u);
}

TEST(MainWindow, MouseWheelHasNoEffectOnItsWindows) {
    Running r;
    auto* spin = new QSpinBox(r.dlg);
    spin->setRange(0, 100);
    spin->setValue(50);
    spin->setGeometry(10, 40, 80, 24);
    spin->show();
    zns::ui::PumpEvents();
    const QPointF at(20, 10);
    QWheelEvent wheel(at, spin->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(spin, &wheel);
    EXPECT_EQ(spin->value(), 50);

    // A window that is not the program's keeps its wheel.
    QSpinBox other;
    other.setRange(0, 100);
    other.setValue(50);
    other.show();
    QWheelEvent wheel2(at, other.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
    QApplication::sendEvent(&other, &wheel2);
    EXPECT_EQ(other.value(), 51);
}

TEST(MainWindow, RestoreWindowPosMovesOnlyOnTallScreens) {
    Running r;
    r.dlg->move(200, 150);
    zns::ui::PumpEvents(10);
    r.app.m_ptMaxTrack = QSize(1280, 600);
    r.dlg->RestoreWindowPos(true);
    EXPECT_EQ(r.dlg->pos(), QPoint(200, 150));
    r.app.m_ptMaxTrack = QSize(1280, 1024);
    r.dlg->RestoreWindowPos(true);
    EXPECT_EQ(r.dlg->pos(), QPoint(0, 0));
    r.app.m_rcMainWnd.moveLeft(120);
    r.dlg->RestoreWindowPos(false);
    EXPECT_EQ(r.dlg->pos(), QPoint(120, 0));
}

TEST(MainWindow, AboutBoxTexts) {
    Running r;
    CAboutDlg about(r.app, r.dlg);
    about.OnActivate();
    EXPECT_EQ(about.windowTitle().toStdString(), "About ZNS Acquisition software...");
    EXPECT_EQ(about.GetDlgItemText(CAboutDlg::IDC_OS).rfind("OS: ", 0), 0u);
    EXPECT_GT(about.GetDlgItemText(CAboutDlg::IDC_OS).size(), 4u);
    EXPECT_EQ(about.GetDlgItemText(CAboutDlg::IDC_VERSION), std::string("ZNS version\xA0" "3.11"));
    EXPECT_FALSE(about.GetDlgItemText(CAboutDlg::IDC_NOTICE).empty());

    // The serial number once the link has read the logger's identity.
    r.dlg->LoggerIdentity("", "");
    about.OnActivate();
    EXPECT_EQ(about.GetDlgItemText(CAboutDlg::IDC_LOGGER), "No device in USB");
    ASSERT_TRUE(r.Connected());
    EXPECT_TRUE(WaitFor([&] { return !r.app.LoggerId().empty(); }, 3000));
    about.OnActivate();
    EXPECT_EQ(about.GetDlgItemText(CAboutDlg::IDC_LOGGER), "Logger S/N: QK-00000001");
}

TEST(MainWindow, ScreenshotOfTheMainWindow) {
    Running r;
    ASSERT_TRUE(r.Connected());
    zns::ui::PumpEvents(300);
    const QImage shot = r.dlg->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), r.dlg->size());
    QDir().mkpath(ZNS_ARTIFACTS_DIR);
    const QString path = QString(ZNS_ARTIFACTS_DIR) + "/app_main_window.png";
    EXPECT_TRUE(shot.save(path)) << path.toStdString();
}

// The simulated sonde at the shipped gains and display gain 1, as a new user first
// sees it: in every palette the latest rows of the trace image reach well away
// from the palette's middle, and every scope's trace spans a good part of its height.
TEST(MainWindow, LiveTracesAreVisibleInEveryPaletteAndScope) {
    Running r;
    ASSERT_TRUE(r.Connected());
    QWidget* power = r.dlg->PowerPanel()->GetDlgItem(CPowerDlg::IDC_POWER);
    ASSERT_TRUE(WaitFor([&] { return power->isEnabled(); }, 5000));
    QTest::mouseClick(power, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return (r.app.Shared().SnapshotSonde().Mode & 0x0F) == RECMODE_TIME; }, 10000));
    QDir().mkpath(ZNS_ARTIFACTS_DIR);

    CDrawerZNSCtrl* drawer = r.dlg->Drawer();
    const char* names[3] = {"bw", "color", "pseudo"};
    for (int palette = 0; palette < 3; ++palette) {
        SCOPED_TRACE(palette);
        {
            std::lock_guard<std::mutex> g(r.app.Shared().acqMutex);
            r.app.Shared().session.BlackAndWhite = palette;
        }
        zns::ui::PumpEvents(3000);  // some records in this palette
        ASSERT_NE(drawer->Core(), nullptr);
        const zns::TraceImageCore& core = *drawer->Core();
        std::map<uint32_t, int> level;  // colour -> distance of its palette row from the middle
        for (int row = 0; row < 256; ++row) level.emplace(core.PaletteColor(row, palette), std::abs(row - 128));
        int strong = 0, mapped = 0, peak = 0;
        const int last = core.LastDrawnRow();
        ASSERT_GE(last, 0);
        for (int row = last; row < last + 20 && row < zns::kTraceImageRows; ++row)
            for (int x = 0; x < zns::kTraceImageWidth; ++x) {
                if (x >= zns::kTraceColumnX && x < zns::kTraceRightX) continue;
                auto it = level.find(core.Pixel(x, row));
                if (it == level.end()) continue;
                ++mapped;
                peak = std::max(peak, it->second);
                if (it->second >= 24) ++strong;
            }
        EXPECT_GE(peak, 48);
        EXPECT_GT(strong, mapped / 20);
        EXPECT_TRUE(drawer->grab().save(QString(ZNS_ARTIFACTS_DIR) + "/app_live_" + names[palette] + ".png"));
    }
    for (int rx = 0; rx < 3; ++rx) {
        SCOPED_TRACE(rx);
        const unsigned commands[3] = {Dlg::ID_WIDE_RX1, Dlg::ID_WIDE_RX2, Dlg::ID_WIDE_RX3};
        r.dlg->SendCommand(commands[rx]);
        CPWideDlg* wide = r.dlg->WideView(RX1_ID + rx);
        ASSERT_TRUE(wide->isVisible());
        zns::ui::PumpEvents(1500);
        const QImage shot = wide->Scope()->grab().toImage();
        int top = shot.height(), bottom = -1;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if ((shot.pixel(x, y) & 0xFFFFFF) == 0x00FF00) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        EXPECT_GE(bottom - top, shot.height() / 5);
        EXPECT_TRUE(wide->grab().save(QString(ZNS_ARTIFACTS_DIR) + "/app_scope_rx" + QString::number(rx + 1) + ".png"));
    }
}

}  // namespace
