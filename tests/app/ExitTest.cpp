// Leaving the program: the exit confirmation, the placement kept in
// "HxZn.dat", and the ordered shutdown that joins every worker.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "app/BrannicLogger_ZN.h"
#include "app/BrannicZenova_Dlg.h"
#include "app/EndProcessDlg.h"
#include "ui/WindowHandles.h"
#include "ui/controls/DrawerZNSCtrl.h"
#include "link/USB.h"
#include "platform/ui/TestApp.h"
#include "settings/WindowLayout.h"

using apptest::WaitFor;
using Dlg = CBrannicZenova_Dlg;

namespace {

struct Program {
    apptest::ProgramDir dir;
    CBrannicLogger_ZNApp app;
    Dlg* dlg = nullptr;

    Program() { app.m_nShutdownPauseMs = 0; }
    ~Program() { app.Shutdown(); }

    void Start() {
        ASSERT_TRUE(app.StartInstance());
        dlg = &app.MakeMainWindow();
        ASSERT_TRUE(dlg->Create());
        dlg->show();
        zns::ui::PumpEvents();
    }
    bool Connected() {
        return WaitFor([this] { return dlg->StatusBar()->GetText(1) == "USB link connected"; }, 5000);
    }
};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

::WindowPlacement MainSlot(const std::string& path) {
    WindowLayout layout;
    EXPECT_EQ(zns::ReadLayoutFile(path, layout), zns::LayoutReadResult::Ok);
    return layout.placement[LAYOUT_MAIN];
}

void WriteMainSlot(const std::string& path, const ::WindowPlacement& wp) {
    WindowLayout layout;
    layout.mark = 1;
    layout.placement[LAYOUT_MAIN] = wp;
    ASSERT_TRUE(zns::WriteLayoutFile(path, layout));
}

::WindowPlacement Placement(uint32_t length, int l, int t, int r, int b) {
    ::WindowPlacement wp;
    wp.length = length;
    wp.showCmd = SW_SHOWNORMAL;
    wp.minX = wp.minY = wp.maxX = wp.maxY = -1;
    wp.left = l;
    wp.top = t;
    wp.right = r;
    wp.bottom = b;
    return wp;
}

TEST(Exit, RefusedWhilePoweredAndAskedWhileFramesArrive) {
    Program p;
    p.Start();
    SharedData& s = p.app.Shared();
    auto& ui = p.dir.Ui();
    ASSERT_TRUE(p.Connected());

    // Frames arriving, sonde powered: refused with the stop box, nothing saved.
    s.m_nLinkState = LINK_STATUS;
    s.m_bSondePowered = true;
    EXPECT_FALSE(p.dlg->ConfirmExit());
    ASSERT_EQ(ui.BoxCount(), 1u);
    EXPECT_EQ(ui.LastBox().text, "Sonde must be switched off before leaving program.");
    EXPECT_EQ(ui.LastBox().Icon(), MB_ICONSTOP);
    EXPECT_FALSE(s.m_bExiting);

    // Not powered: the question, No by default; No keeps the program running.
    s.m_bSondePowered = false;
    s.m_nLinkState = LINK_STATUS;
    EXPECT_FALSE(p.dlg->ConfirmExit());
    ASSERT_EQ(ui.BoxCount(), 2u);
    const auto box = ui.LastBox();
    EXPECT_EQ(box.text, "The sonde is probably powered on. Do you want to close the application ?");
    EXPECT_EQ(box.Buttons(), MB_YESNO);
    EXPECT_EQ(box.Icon(), MB_ICONQUESTION);
    EXPECT_EQ(box.DefaultAnswer(), IDNO);
    EXPECT_FALSE(s.m_bExiting);
    EXPECT_TRUE(p.dlg->IsTimerSet(Dlg::ID_TIMER_STATUS));

    // The close box goes the same way.
    s.m_nLinkState = LINK_STATUS;
    ui.PushAnswer(IDNO);
    p.dlg->close();
    zns::ui::PumpEvents();
    EXPECT_EQ(ui.BoxCount(), 3u);
    EXPECT_TRUE(p.dlg->isVisible());

    // Yes: the exit flag, the notice, the receive thread stopped, the timer gone.
    s.m_nLinkState = LINK_STATUS;
    ui.PushAnswer(IDYES);
    EXPECT_TRUE(p.dlg->ConfirmExit());
    EXPECT_TRUE(s.m_bExiting);
    EXPECT_FALSE(s.m_bReceiveRun);
    EXPECT_FALSE(s.m_bReceiveRunning);
    EXPECT_FALSE(p.dlg->IsTimerSet(Dlg::ID_TIMER_STATUS));
    ASSERT_NE(p.app.EndProcessDlg(), nullptr);
    EXPECT_TRUE(p.app.EndProcessDlg()->isVisible());
    EXPECT_EQ(p.app.EndProcessDlg()->GetMessage(), CEndProcessDlg::kTextEndingUsb);
    // Ending: a new start finds no window to raise (it waits for this copy to go).
    CInstanceChecker next;
    ASSERT_TRUE(next.PreviousInstanceRunning());
    std::atomic<unsigned long long> raised{1};
    std::thread asker([&] { raised = next.ActivatePreviousInstance(); });
    WaitFor([&] { return raised != 1; }, 10000);
    asker.join();
    EXPECT_EQ(raised.load(), 0u);
}

TEST(Exit, NoQuestionWithoutFrames) {
    Program p;
    p.Start();
    p.app.Shared().m_nLinkState = LINK_ANSWER;  // 16: nothing arriving
    EXPECT_TRUE(p.dlg->ConfirmExit());
    EXPECT_EQ(p.dir.Ui().BoxCount(), 0u);
}

TEST(Placement, RoundTripThroughTheLayoutFile) {
    const QRect wanted(60, 40, 1120, 780);
    std::vector<uint8_t> bytes;
    {
        Program p;
        const std::string layoutPath = p.dir.File("HxZn.dat");
        p.Start();
        p.dlg->setGeometry(wanted);
        zns::ui::PumpEvents(20);
        EXPECT_EQ(p.app.m_rcMainWnd, wanted);
        ASSERT_TRUE(p.dlg->ConfirmExit());
        const ::WindowPlacement wp = MainSlot(layoutPath);
        EXPECT_EQ(wp.length, 44u);
        EXPECT_EQ(wp.showCmd, static_cast<uint32_t>(SW_SHOWNORMAL));
        EXPECT_EQ(QRect(QPoint(wp.left, wp.top), QPoint(wp.right - 1, wp.bottom - 1)), wanted);
        bytes = ReadFile(layoutPath);
        ASSERT_EQ(bytes.size(), kLayoutFileSize);
        EXPECT_EQ(bytes[0], 1);
    }
    // The next start reads it back.
    Program q;
    std::ofstream(q.dir.File("HxZn.dat"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    q.Start();
    EXPECT_EQ(q.dlg->normalGeometry(), wanted);
}

TEST(Placement, KeptOnAVisibleScreenAndIgnoredWhenNotStored) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    {
        // Left on a screen that is no longer there.
        Program p;
        WriteMainSlot(p.dir.File("HxZn.dat"), Placement(44, 5000, 4000, 6100, 4760));
        p.Start();
        EXPECT_TRUE(avail.intersects(p.dlg->geometry())) << p.dlg->geometry().x() << "," << p.dlg->geometry().y();
        EXPECT_GE(p.dlg->geometry().top(), avail.top());
    }
    for (uint32_t length : {0u, 1000u}) {
        Program p;
        WriteMainSlot(p.dir.File("HxZn.dat"), Placement(length, 70, 80, 1180, 900));
        p.Start();
        EXPECT_NE(p.dlg->geometry().topLeft(), QPoint(70, 80)) << length;
    }
}

TEST(Shutdown, JoinsEveryWorkerBeforeTheWindowGoes) {
    Program p;
    p.Start();
    ASSERT_TRUE(p.Connected());
    CUSB* link = p.dlg->Link();
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(WaitFor([&] { return p.app.Shared().m_bReceiveRunning.load(); }, 3000));

    p.dlg->StopWorkers();
    SharedData& s = p.app.Shared();
    EXPECT_TRUE(s.m_bExiting);
    EXPECT_FALSE(s.m_bReceiveRunning);
    EXPECT_FALSE(s.m_bLinkWatchRunning);
    EXPECT_FALSE(s.m_bSendRunning);
    EXPECT_NE(link->LastReceiveExit(), 0);

    p.app.Shutdown();
    EXPECT_EQ(p.app.m_pMainDlg, nullptr);
    EXPECT_EQ(g_hWndMain.load(), nullptr);
    EXPECT_FALSE(p.app.EndProcessDlg()->isVisible());
    EXPECT_EQ(p.app.EndProcessDlg()->GetMessage(), CEndProcessDlg::kTextShutdown);
}

TEST(Shutdown, WholeLifeThroughInitInstance) {
    // The program's own life: modal main window, the operator exits while the
    // link is up, InitInstance returns FALSE with every worker stopped.
    Program p;
    p.app.m_nShutdownPauseMs = 50;
    bool exitAsked = false;
    bool sawConnected = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        Dlg* dlg = p.app.m_pMainDlg;
        if (!dlg || exitAsked || !dlg->isVisible()) return;
        if (dlg->StatusBar()->GetText(1) != "USB link connected") return;
        sawConnected = true;
        exitAsked = true;
        p.dir.Ui().PushAnswer(IDYES);  // in case status frames arrive
        dlg->SendCommand(Dlg::ID_APP_EXIT);
    });
    poll.start();
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(p.app.InitInstance(), FALSE);
    poll.stop();
    EXPECT_TRUE(sawConnected);
    EXPECT_LT(t.elapsed(), 15000);
    EXPECT_EQ(p.app.m_pMainDlg, nullptr);
    SharedData& s = p.app.Shared();
    EXPECT_TRUE(s.m_bExiting);
    EXPECT_FALSE(s.m_bReceiveRunning);
    EXPECT_FALSE(s.m_bLinkWatchRunning);
    EXPECT_FALSE(s.m_bSendRunning);
    // The layout was saved on the way out.
    EXPECT_EQ(ReadFile(p.dir.File("HxZn.dat")).size(), kLayoutFileSize);
}

TEST(Shutdown, PagesHeldByAPrintSystemThatHangsAreToldAndNotWaitedFor) {
    Program p;
    auto& ui = p.dir.Ui();
    ui.SetDefaultPrinter("Office");
    p.Start();
    ASSERT_TRUE(WaitFor([&] { return p.dlg->PrinterReady(); }, 30000));
    ui.HangPrintSystem(true);
    p.dlg->SendCommand(Dlg::ID_FILE_PRINT);
    p.dlg->SendCommand(Dlg::ID_FILE_PRINT);
    // Pages that fail just after Yes (in the exit's first pumps) and while the exit waits
    // (the workers are gone by then): no box, each counted with its reason.
    int failed = 0;
    QTimer fail;
    QObject::connect(&fail, &QTimer::timeout, [&] {
        if (failed == 1 && p.app.Shared().m_bLinkWatchRunning) return;
        zns::PrintedLogPage page;
        page.device = zns::PrinterDevice{};
        page.device->outputFile = "/zns-no-such-dir/log.pdf";
        p.dlg->Drawer()->PrintSpooler().Submit(page);
        if (++failed == 2) fail.stop();
    });
    bool lockedAtBox = false;  // a new start then waits for the box, never hides it
    ui.OnBox([&](const auto& box) {
        if (box.text == Dlg::kMsgAskExit) fail.start(5);
        lockedAtBox = p.app.m_instanceChecker.IsTracking();
    });
    p.app.Shared().m_nLinkState = LINK_STATUS;
    ui.PushAnswer(IDYES);
    ASSERT_TRUE(p.dlg->ConfirmExit());
    QElapsedTimer t;
    t.start();
    p.app.Shutdown();
    EXPECT_LT(t.elapsed(), 15000);
    EXPECT_TRUE(lockedAtBox);
    EXPECT_FALSE(p.app.m_instanceChecker.IsTracking());  // then a new start need not wait
    ASSERT_EQ(ui.BoxCount(), 2u);
    EXPECT_EQ(ui.LastBox().text,
              "2 page(s) were not printed: the print system did not take them in time.\nThe page could not be "
              "printed on \"/zns-no-such-dir/log.pdf\": No such file or directory (2 pages)");
}

TEST(Shutdown, ClosingWhileTheLinkStillSearches) {
    Program p;
    setenv("ZNS_LOGGER", "tty:/nonexistent/zns-test", 1);
    p.Start();
    setenv("ZNS_LOGGER", "sim", 1);
    ASSERT_TRUE(WaitFor([&] { return p.dlg->StatusBar()->GetText(2) == "Not hardware detected."; }, 3000));
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(p.dlg->ConfirmExit());
    p.app.Shutdown();
    EXPECT_LT(t.elapsed(), 4000);
    EXPECT_FALSE(p.app.Shared().m_bLinkWatchRunning);
}

}  // namespace
