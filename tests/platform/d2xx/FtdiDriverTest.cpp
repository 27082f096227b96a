// The libftdi backend over the stand-in chip (sim/ftdi/StandInFtdi.h), on the bus's virtual time.
#include <gtest/gtest.h>

#include "sim/ftdi/StandInFtdi.h"
#include "platform/d2xx/D2xx.h"

using namespace zns::d2xx;

namespace {

struct FtdiFixture : ::testing::Test {
    zns::sim::ftdi::BusClock clock;
    std::shared_ptr<zns::sim::ftdi::Chip> logger = std::make_shared<zns::sim::ftdi::Chip>();
    std::shared_ptr<ID2xx> drv;
    FT_HANDLE h = nullptr;
    uint32_t q = 0, n = 0;
    uint8_t b[24] = {};
    std::atomic<int> told[2] = {0, 0};  // by RxLoss

    void SetUp() override { zns::sim::ftdi::Reset(clock); }
    void TearDown() override {
        if (h) drv->Close(h);
    }
    void Start() {
        zns::sim::ftdi::Plug(logger);
        Open();
    }
    void Open() {
        drv = MakeFtdiDriver(&clock);
        drv->SetLossSink([this](RxLoss l) { ++told[static_cast<int>(l)]; });
        ASSERT_EQ(drv->Open(0, &h), FT_OK);
    }
};

TEST_F(FtdiFixture, TheChipIsReadWhileNobodyReadsAndNothingIsLost) {
    logger->latencyFails = true;  // the timer stays at 16 ms: full packets, 40 ms transfers
    Start();
    EXPECT_EQ(drv->SetLatencyTimer(h, 1), FT_IO_ERROR);
    ASSERT_EQ(drv->SetTimeouts(h, 300, 100), FT_OK);
    // Four seconds at 62.5 kbaud read as the receive loop reads, held up 150 ms every
    // 300 ms as by a slow disk.
    std::vector<uint8_t> got;
    while (clock.NowSteadyMs() < 4000) {
        const int64_t before = clock.NowSteadyMs();
        ASSERT_EQ(drv->GetQueueStatus(h, &q), FT_OK);
        ASSERT_EQ(drv->Read(h, b, sizeof b, &n), FT_OK);
        got.insert(got.end(), b, b + n);
        if (clock.NowSteadyMs() / 300 != before / 300) clock.SleepMs(150);
    }
    EXPECT_EQ(logger->overrun.load(), 0);
    EXPECT_GE(got.size() + 1024, 4u * 6250);
    size_t wrong = 0;
    for (size_t i = 0; i < got.size(); ++i) wrong += got[i] != static_cast<uint8_t>(i);
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(told[0] + told[1], 0);
}

TEST_F(FtdiFixture, APurgeEmptiesChipAndBufferAndALossIsToldOncePerRun) {
    logger->baud = 1000000;
    zns::sim::ftdi::Plug(logger);
    clock.SleepMs(100);  // the chip overran before it was opened: nothing of ours
    Open();
    // Nobody reads for a second, twice: the buffer fills each time and says so once.
    for (int run = 1; run <= 2; ++run) {
        clock.SleepMs(1000);
        ASSERT_EQ(drv->GetQueueStatus(h, &q), FT_OK);
        EXPECT_EQ(q, 64u * 1024);
        ASSERT_EQ(drv->Purge(h, FT_PURGE_RX), FT_OK);
        ASSERT_EQ(drv->GetQueueStatus(h, &q), FT_OK);
        EXPECT_EQ(q, 0u);
        const auto next = static_cast<uint8_t>(logger->received.load());
        ASSERT_EQ(drv->Read(h, b, 1, &n), FT_OK);
        EXPECT_EQ(b[0], next);  // nothing from before the purge
        EXPECT_EQ(told[static_cast<int>(RxLoss::BufferFull)], run);
    }
    EXPECT_EQ(told[static_cast<int>(RxLoss::ChipOverrun)], 0);
}

TEST_F(FtdiFixture, AWriteTimeOutKeepsTheDeviceOnlyAnUnplugLosesIt) {
    Start();
    const uint8_t cmd[70] = {0xA5, 1, 2, 3, 0x99};
    logger->TimeOutWrites(1);
    ASSERT_EQ(drv->Write(h, cmd, 5, &n), FT_OK);
    EXPECT_EQ(n, 0u);  // a time-out takes whole packets
    logger->TimeOutWrites(1, 1);
    ASSERT_EQ(drv->Write(h, cmd, 70, &n), FT_OK);
    EXPECT_EQ(n, 64u);
    ASSERT_EQ(drv->Write(h, cmd, 5, &n), FT_OK);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(drv->GetQueueStatus(h, &q), FT_OK);

    logger->Unplug();
    clock.SleepMs(1);
    EXPECT_EQ(drv->GetQueueStatus(h, &q), FT_IO_ERROR);
    EXPECT_EQ(drv->Write(h, cmd, 5, &n), FT_IO_ERROR);
    drv->Close(h);
    EXPECT_EQ(drv->Open(0, &h), FT_DEVICE_NOT_FOUND);
    logger->Replug();
    ASSERT_EQ(drv->Open(0, &h), FT_OK);
    ASSERT_EQ(drv->Read(h, b, sizeof b, &n), FT_OK);
    EXPECT_EQ(n, sizeof b);
}

TEST_F(FtdiFixture, AChipThatIsNotTheLoggerIsNeverOpened) {
    auto dual = std::make_shared<zns::sim::ftdi::Chip>();
    dual->productId = 0x6010;
    dual->description = "Dual RS232-HS";
    auto gps = std::make_shared<zns::sim::ftdi::Chip>();  // the logger's ids, another instrument
    gps->description = "FT232R USB UART";
    zns::sim::ftdi::Plug(dual);
    zns::sim::ftdi::Plug(gps);
    logger->serial.clear();  // no serial-number string
    Start();  // index 0: the dual chip
    FT_PROGRAM_DATA ee;
    for (int i : {0, 1}) {
        if (i) {
            ASSERT_EQ(drv->Open(i, &h), FT_OK);
        }
        ASSERT_EQ(drv->EE_Read(h, &ee), FT_OK);
        EXPECT_EQ(ee.Description, i ? "FT232R USB UART" : "Dual RS232-HS");
        EXPECT_EQ(drv->SetLatencyTimer(h, 2), FT_DEVICE_NOT_OPENED);
        drv->Close(h);
    }
    ASSERT_EQ(drv->OpenEx("Logger", FT_OPEN_BY_DESCRIPTION, &h), FT_OK);
    ASSERT_EQ(drv->EE_Read(h, &ee), FT_OK);
    EXPECT_EQ(ee.SerialNumber, "");
    EXPECT_EQ(dual->opens + gps->opens + dual->controlRequests + gps->controlRequests, 0);

    // Without a udev rule the logger cannot be had, and says so.
    drv->Close(h);
    h = nullptr;
    logger->mayOpen = false;
    FT_HANDLE other = nullptr;
    EXPECT_EQ(drv->Open(2, &other), FT_DEVICE_NOT_OPENED);
}

}  // namespace
