// CUSB's threads over a scripted driver: the send thread, the hand-over of the
// device on a link error, the single link watch, and shutdown.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "LinkRig.h"
#include "ScriptDriver.h"

using namespace linktest;

namespace {

class UsbThreadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.Make([this] {
            zns::d2xx::LoadResult r;
            r.driver = driver;
            return r;
        });
    }
    void TearDown() override { rig.usb->Shutdown(); }

    bool Up() {
        return WaitUntil([&] { return rig.usb->ReceiveStarts() > 0 && rig.shared.TxLength() == 0 &&
                                      driver->Written().size() >= 2; });
    }
    std::vector<int> WrittenCodes() {
        std::vector<int> c;
        for (const auto& w : driver->Written()) c.push_back(w.empty() ? -1 : w[0]);
        return c;
    }

    zns::FakeClock clock;
    std::shared_ptr<ScriptDriver> driver = std::make_shared<ScriptDriver>();
    LinkRig rig{clock};
};

}  // namespace

TEST_F(UsbThreadsTest, CommandsAreWrittenWholeAndInOrder) {
    ASSERT_TRUE(rig.usb->Init());
    ASSERT_TRUE(Up());
    EXPECT_EQ(WrittenCodes(), (std::vector<int>{0, 1}));

    // Built on several threads at once: every frame goes out whole.
    std::atomic<int> queued{0};
    std::vector<std::thread> pages;
    for (int t = 0; t < 4; ++t)
        pages.emplace_back([&] {
            for (int k = 0; k < 10; ++k) {
                queued += rig.usb->sendF3();
                queued += rig.usb->sendF9();
            }
        });
    for (auto& p : pages) p.join();
    ASSERT_TRUE(WaitUntil([&] { return rig.shared.TxLength() == 0; }));
    ASSERT_TRUE(rig.usb->sendF10());
    const size_t expected = 2u + static_cast<size_t>(queued.load()) + 1u;
    EXPECT_GT(queued.load(), 0);
    ASSERT_TRUE(WaitUntil([&] { return rig.shared.TxLength() == 0 && driver->Written().size() == expected; }));
    const auto written = driver->Written();
    for (const auto& w : written) {
        EXPECT_EQ(w.size(), CommandFrameLength(w[0]));
        EXPECT_TRUE(CheckCommandFrame(w.data(), w.size()));
    }
    EXPECT_EQ(written.back()[0], CMD_10);
    EXPECT_GE(rig.report.LinkStatusCount(LINK_STATUS_SENT), static_cast<int>(expected) - 1);
    EXPECT_TRUE(rig.shared.m_bTxActivity);
    EXPECT_FALSE(rig.shared.m_bSendRunning);
}

TEST_F(UsbThreadsTest, AFrameThatCannotBeWrittenIsTriedAgainThenToldOnce) {
    ASSERT_TRUE(rig.usb->Init());
    ASSERT_TRUE(Up());
    rig.shared.m_bTxActivity = false;
    driver->writeStatus = zns::d2xx::FT_IO_ERROR;
    ASSERT_TRUE(rig.usb->sendF3());
    ASSERT_TRUE(rig.usb->sendF9());
    ASSERT_TRUE(WaitUntil([&] { return rig.shared.TxLength() == 0 && rig.shared.m_bTxActivity; }));
    const auto e = rig.errors.Entries();
    EXPECT_EQ(e, (std::vector<std::pair<std::string, std::string>>(2 * CUSB::kWriteTries, {"err5570", "IO Error"})));
    EXPECT_EQ(rig.report.Boxes(), std::vector<std::string>{"USB write error.\nCommand 3 did not reach the logger."});
}

TEST_F(UsbThreadsTest, LossesToldByTheDriverGoToTheErrorLogAndOnScreen) {
    ASSERT_TRUE(rig.usb->Init());
    ASSERT_TRUE(Up());
    driver->TellLoss(zns::d2xx::RxLoss::ChipOverrun);
    driver->TellLoss(zns::d2xx::RxLoss::BufferFull);
    ASSERT_TRUE(WaitUntil([&] { return rig.errors.Entries().size() >= 2; }));
    EXPECT_EQ(rig.errors.Entries(), (std::vector<std::pair<std::string, std::string>>{
                                        {"err1053", "Receive overrun"}, {"err1054", "Receive buffer full"}}));
    rig.SetRecording(true);  // a log that starts while bytes are being lost hears of its gap
    driver->TellLoss(d2::RxLoss::ChipOverrun);
    ASSERT_TRUE(WaitUntil([&] { return rig.report.Boxes().size() >= 3; }));
    EXPECT_EQ(rig.report.Boxes(), (std::vector{CUSB::RxLossText(d2::RxLoss::ChipOverrun, false),
                                               CUSB::RxLossText(d2::RxLoss::BufferFull, false),
                                               CUSB::RxLossText(d2::RxLoss::ChipOverrun, true)}));
}

TEST_F(UsbThreadsTest, ALostQueueHandsTheDeviceBackToTheLinkWatch) {
    rig.shared.m_bSondePowered = true;
    ASSERT_TRUE(rig.usb->Init());
    ASSERT_TRUE(Up());
    EXPECT_FALSE(rig.usb->StartLinkWatch());  // the receive thread owns the device
    driver->present = false;
    driver->queueStatus = zns::d2xx::FT_IO_ERROR;
    ASSERT_TRUE(WaitUntil([&] { return rig.usb->LastReceiveExit() == CUSB::EXIT_RX_LINK_ERROR; }));
    ASSERT_TRUE(WaitUntil([&] { return rig.report.LastTextOf(SB_PART_HARDWARE) == "Not hardware detected."; }));
    EXPECT_FALSE(rig.shared.m_bReceiveRun);
    EXPECT_FALSE(rig.shared.m_bReceiveRunning);
    EXPECT_FALSE(driver->IsOpen());  // the link watch closed it before its next try
    EXPECT_TRUE(rig.shared.m_bLinkWatchRunning);
    EXPECT_EQ(rig.errors.Entries().front(), (std::pair<std::string, std::string>{"err5550", "IO Error"}));
    EXPECT_GE(rig.report.LinkStatusCount(LINK_STATUS_VALUES), 1);
    const auto b = rig.report.Beeps();
    ASSERT_GE(b.size(), 4u);  // two on connecting (sonde powered), two on the loss
    EXPECT_EQ(b[2], (std::pair<int, int>{1200, 100}));
    EXPECT_EQ(b[3], (std::pair<int, int>{300, 200}));

    driver->queueStatus = zns::d2xx::FT_OK;
    driver->present = true;
    ASSERT_TRUE(WaitUntil([&] { return rig.usb->ReceiveStarts() == 2; }));
    EXPECT_TRUE(rig.shared.m_bLinkUp);
}

TEST_F(UsbThreadsTest, OnlyOneLinkWatchRuns) {
    driver->present = false;
    ASSERT_TRUE(rig.usb->Init());
    // Init started one; no other start may succeed, however many race.
    std::atomic<int> started{0};
    std::vector<std::thread> ts;
    for (int i = 0; i < 8; ++i)
        ts.emplace_back([&] {
            if (rig.usb->StartLinkWatch()) ++started;
        });
    for (auto& t : ts) t.join();
    EXPECT_EQ(started.load(), 0);
    EXPECT_TRUE(rig.shared.m_bLinkWatchRunning);
}

TEST_F(UsbThreadsTest, ANeverUpLinkSwitchesAPoweredSondeOffOnce) {
    driver->present = false;
    rig.shared.m_bSondePowered = true;
    ASSERT_TRUE(rig.usb->Init());
    ASSERT_TRUE(WaitUntil([&] { return clock.NowSteadyMs() > 5000; }));
    EXPECT_EQ(rig.report.PowerOffs(), 1);
    EXPECT_TRUE(rig.report.Boxes().empty());
    EXPECT_FALSE(rig.usb->LinkWasUp());
    EXPECT_EQ(rig.shared.m_nLinkState.load() & ~3, 0);  // 1 or 2
}

TEST_F(UsbThreadsTest, ShutdownWhileTheLinkWatchRetries) {
    driver->present = false;
    zns::SystemClock real;
    LinkRig slow(real);  // real 250 ms pauses
    slow.Make([this] {
        zns::d2xx::LoadResult r;
        r.driver = driver;
        return r;
    });
    ASSERT_TRUE(slow.usb->Init());
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    const auto t0 = std::chrono::steady_clock::now();
    slow.usb->Shutdown();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    EXPECT_LT(ms.count(), 5000);  // a hang, not a speed
    EXPECT_FALSE(slow.shared.m_bLinkWatchRunning);
    EXPECT_EQ(slow.usb->LastLinkWatchExit(), CUSB::EXIT_EXITING);
}

TEST_F(UsbThreadsTest, ShutdownDuringARealReadTimeout) {
    zns::SystemClock real;
    LinkRig slow(real);
    slow.Make([this] {
        zns::d2xx::LoadResult r;
        r.driver = driver;
        return r;
    });
    ASSERT_TRUE(slow.usb->Init());
    ASSERT_TRUE(WaitUntil([&] { return slow.usb->ReceiveStarts() > 0; }));
    const auto t0 = std::chrono::steady_clock::now();
    slow.usb->Shutdown();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    EXPECT_LT(ms.count(), 2000);
    EXPECT_EQ(slow.usb->LastReceiveExit(), CUSB::EXIT_RX_STOPPED);
}
