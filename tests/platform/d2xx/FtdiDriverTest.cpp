// The libftdi backend over the stand-in chip (sim/ftdi/StandInFtdi.h), on virtual time.
#include <gtest/gtest.h>

#include "sim/ftdi/StandInFtdi.h"
#include "platform/d2xx/D2xx.h"

using namespace zns::d2xx;

namespace {

struct FtdiFixture : ::testing::Test {
    zns::FakeClock clock;
    std::shared_ptr<zns::sim::ftdi::Chip> logger = std::make_shared<zns::sim::ftdi::Chip>();
    std::shared_ptr<ID2xx> drv;
    FT_HANDLE h = nullptr;
    uint32_t q = 0, n = 0;
    uint8_t b[24] = {};

    void SetUp() override { zns::sim::ftdi::Reset(clock); }
    void TearDown() override {
        if (h) drv->Close(h);
    }
    void Start() {
        zns::sim::ftdi::Plug(logger);
        drv = MakeFtdiDriver();
        ASSERT_EQ(drv->Open(0, &h), FT_OK);
    }
};

TEST_F(FtdiFixture, ReadsTakeOneTransferAndKeepTheLinkRate) {
    Start();
    ASSERT_EQ(drv->SetLatencyTimer(h, 1), FT_OK);
    ASSERT_EQ(drv->SetTimeouts(h, 300, 100), FT_OK);
    // Four seconds at 62.5 kbaud read as the receive loop reads: queue status, then 24 bytes.
    std::vector<uint8_t> got;
    while (clock.NowSteadyMs() < 4000) {
        const int64_t before = clock.NowSteadyMs();
        ASSERT_EQ(drv->GetQueueStatus(h, &q), FT_OK);
        ASSERT_LE(clock.NowSteadyMs() - before, 1) << "the queue status waited for bytes not yet sent";
        ASSERT_EQ(drv->Read(h, b, sizeof b, &n), FT_OK);
        got.insert(got.end(), b, b + n);
    }
    EXPECT_EQ(logger->maxTransfersPerRead.load(), 1);
    EXPECT_GE(got.size() + sizeof b, 4u * 6250);  // everything the wire carried in 4 s
    size_t wrong = 0;
    for (size_t i = 0; i < got.size(); ++i) wrong += got[i] != static_cast<uint8_t>(i);
    EXPECT_EQ(wrong, 0u);
}

TEST_F(FtdiFixture, AWriteTimeOutKeepsTheDeviceOnlyAnUnplugLosesIt) {
    Start();
    const uint8_t cmd[5] = {0xA5, 1, 2, 3, 0x99};
    logger->StallWritesAfter(2);
    ASSERT_EQ(drv->Write(h, cmd, 5, &n), FT_OK);
    EXPECT_EQ(n, 2u);
    logger->StallWritesAfter(-1);
    ASSERT_EQ(drv->Write(h, cmd, 5, &n), FT_OK);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(drv->GetQueueStatus(h, &q), FT_OK);

    logger->Unplug();
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
