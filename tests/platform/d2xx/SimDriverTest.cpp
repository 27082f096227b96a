#include <gtest/gtest.h>

#include <chrono>

#include "platform/Clock.h"
#include "platform/d2xx/D2xx.h"
#include "sim/SimDriver.h"
#include "sim/SimLogger.h"

using namespace zns::d2xx;

namespace {

struct SimFixture : ::testing::Test {
    zns::FakeClock clock{1000};
    zns::sim::SimLogger logger{clock};
    std::shared_ptr<ID2xx> drv = MakeSimDriver(logger, clock);

    FT_HANDLE OpenFirst() {
        FT_HANDLE h = nullptr;
        EXPECT_EQ(drv->Open(0, &h), FT_OK);
        EXPECT_NE(h, nullptr);
        return h;
    }
};

TEST_F(SimFixture, ListsTheLoggerAndOpensItOnceAtATime) {
    uint32_t n = 99;
    ASSERT_EQ(drv->CountDevices(&n), FT_OK);
    EXPECT_EQ(n, 1u);
    std::vector<DeviceListEntry> list;
    ASSERT_EQ(drv->ListDevices(&list), FT_OK);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].VendorId, 0x0403);
    EXPECT_EQ(list[0].ProductId, 0x6001);
    EXPECT_EQ(list[0].Description, "Logger");

    FT_HANDLE h = OpenFirst();
    FT_HANDLE h2 = reinterpret_cast<FT_HANDLE>(1);
    EXPECT_EQ(drv->Open(0, &h2), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(h2, nullptr);
    EXPECT_EQ(drv->OpenEx("Logger", FT_OPEN_BY_DESCRIPTION, &h2), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(drv->Open(1, &h2), FT_DEVICE_NOT_FOUND);

    FT_PROGRAM_DATA ee;
    ASSERT_EQ(drv->EE_Read(h, &ee), FT_OK);
    EXPECT_EQ(ee.VendorId, 0x0403);
    EXPECT_EQ(ee.ProductId, 0x6001);
    EXPECT_EQ(ee.SerialNumber, list[0].SerialNumber);
    EXPECT_EQ(ee.Description, "Logger");

    EXPECT_EQ(drv->Close(h), FT_OK);
    EXPECT_EQ(drv->Close(h), FT_INVALID_HANDLE);

    // The old handle stays dead after the device is opened again.
    FT_HANDLE h3 = OpenFirst();
    EXPECT_NE(h3, h);
    uint32_t q = 0;
    EXPECT_EQ(drv->GetQueueStatus(h, &q), FT_INVALID_HANDLE);
    EXPECT_EQ(drv->GetQueueStatus(h3, &q), FT_OK);
    EXPECT_EQ(drv->Close(h3), FT_OK);
}

TEST_F(SimFixture, OpenByNameMatchesExactly) {
    FT_HANDLE h = nullptr;
    EXPECT_EQ(drv->OpenEx("Logger", FT_OPEN_BY_DESCRIPTION, &h), FT_OK);
    EXPECT_EQ(drv->Close(h), FT_OK);
    EXPECT_EQ(drv->OpenEx("QK-00000001", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    EXPECT_EQ(drv->Close(h), FT_OK);
    EXPECT_EQ(drv->OpenEx("logger", FT_OPEN_BY_DESCRIPTION, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(drv->OpenEx("QK-00000000", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(drv->OpenEx("Logger", FT_OPEN_BY_LOCATION, &h), FT_INVALID_PARAMETER);
    EXPECT_EQ(h, nullptr);
}

TEST_F(SimFixture, BadArgumentsAndUnknownHandles) {
    FT_HANDLE bogus = reinterpret_cast<FT_HANDLE>(12345);
    uint8_t buf[4];
    uint32_t n = 7;
    EXPECT_EQ(drv->Read(bogus, buf, 4, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(drv->Write(nullptr, buf, 4, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(drv->Purge(bogus, FT_PURGE_RX), FT_INVALID_HANDLE);
    EXPECT_EQ(drv->SetTimeouts(bogus, 1, 1), FT_INVALID_HANDLE);
    EXPECT_EQ(drv->ResetDevice(bogus), FT_INVALID_HANDLE);
    EXPECT_EQ(drv->SetLatencyTimer(bogus, 2), FT_INVALID_HANDLE);
    EXPECT_EQ(drv->Open(0, nullptr), FT_INVALID_PARAMETER);

    FT_HANDLE h = OpenFirst();
    EXPECT_EQ(drv->Read(h, nullptr, 4, &n), FT_INVALID_PARAMETER);
    EXPECT_EQ(drv->Read(h, buf, 4, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(drv->Write(h, nullptr, 4, &n), FT_INVALID_PARAMETER);
    EXPECT_EQ(drv->GetQueueStatus(h, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(drv->EE_Read(h, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(drv->Purge(h, 4), FT_INVALID_PARAMETER);
    EXPECT_EQ(drv->SetLatencyTimer(h, 0), FT_INVALID_PARAMETER);

    uint8_t lat = 0;
    ASSERT_EQ(drv->GetLatencyTimer(h, &lat), FT_OK);
    EXPECT_EQ(lat, kDefaultLatencyMs);
    EXPECT_EQ(drv->SetLatencyTimer(h, 2), FT_OK);
    ASSERT_EQ(drv->GetLatencyTimer(h, &lat), FT_OK);
    EXPECT_EQ(lat, 2);
    EXPECT_EQ(drv->Close(h), FT_OK);
}

TEST_F(SimFixture, ReadTimeOutRunsOnTheInjectedClock) {
    logger.SetSilent(true);
    FT_HANDLE h = OpenFirst();
    ASSERT_EQ(drv->SetLatencyTimer(h, 2), FT_OK);
    ASSERT_EQ(drv->SetTimeouts(h, 3000, 3000), FT_OK);
    uint8_t buf[24];
    uint32_t got = 99;
    auto realStart = std::chrono::steady_clock::now();
    int64_t start = clock.NowSteadyMs();
    ASSERT_EQ(drv->Read(h, buf, sizeof buf, &got), FT_OK);
    EXPECT_EQ(got, 0u);
    // Exactly the time-out on virtual time (the last step is cut to fit), no real wait.
    EXPECT_EQ(clock.NowSteadyMs() - start, 3000);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::milliseconds(2900));
    EXPECT_EQ(drv->Close(h), FT_OK);
}

TEST_F(SimFixture, ReadReturnsAsSoonAsTheCountHasCome) {
    FT_HANDLE h = OpenFirst();
    ASSERT_EQ(drv->SetTimeouts(h, 3000, 100), FT_OK);
    // The idle logger sends a status frame at least every 250 ms.
    uint8_t buf[8];
    uint32_t got = 0;
    int64_t start = clock.NowSteadyMs();
    ASSERT_EQ(drv->Read(h, buf, sizeof buf, &got), FT_OK);
    EXPECT_EQ(got, sizeof buf);
    EXPECT_LT(clock.NowSteadyMs() - start, 300 + kDefaultLatencyMs);
    const uint8_t sync[4] = {0x55, 0xAA, 0x5A, 0xA5};
    EXPECT_TRUE(std::equal(sync, sync + 4, buf));

    // Fewer than asked when the time-out comes first.
    logger.SetSilent(true);
    ASSERT_EQ(drv->Purge(h, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    uint32_t q = 1;
    ASSERT_EQ(drv->GetQueueStatus(h, &q), FT_OK);
    EXPECT_EQ(q, 0u);
    ASSERT_EQ(drv->SetTimeouts(h, 40, 100), FT_OK);
    start = clock.NowSteadyMs();
    ASSERT_EQ(drv->Read(h, buf, sizeof buf, &got), FT_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(clock.NowSteadyMs() - start, 40);
    EXPECT_EQ(drv->Close(h), FT_OK);
}

TEST_F(SimFixture, QueueStatusCountsWaitingBytesAndPurgeDropsThem) {
    FT_HANDLE h = OpenFirst();
    clock.Advance(1000);
    uint32_t q = 0;
    ASSERT_EQ(drv->GetQueueStatus(h, &q), FT_OK);
    EXPECT_GT(q, 0u);
    EXPECT_EQ(q, logger.HostAvailable());
    ASSERT_EQ(drv->Purge(h, FT_PURGE_RX), FT_OK);
    ASSERT_EQ(drv->GetQueueStatus(h, &q), FT_OK);
    EXPECT_EQ(q, 0u);
    EXPECT_EQ(drv->Close(h), FT_OK);
}

TEST_F(SimFixture, WritesReachTheLogger) {
    FT_HANDLE h = OpenFirst();
    const uint8_t junk[3] = {0xEE, 0xEE, 0xEE};
    uint32_t put = 0;
    uint64_t before = logger.Snapshot().unknownBytes;
    ASSERT_EQ(drv->Write(h, junk, 3, &put), FT_OK);
    EXPECT_EQ(put, 3u);
    EXPECT_EQ(logger.Snapshot().unknownBytes, before + 3);
    EXPECT_EQ(drv->Close(h), FT_OK);
}

TEST_F(SimFixture, UnplugFailsTheHandleUntilItIsReopened) {
    FT_HANDLE h = OpenFirst();
    ASSERT_EQ(drv->SetTimeouts(h, 300, 100), FT_OK);
    logger.Unplug();

    uint32_t q = 0;
    EXPECT_EQ(drv->GetQueueStatus(h, &q), FT_IO_ERROR);
    uint8_t buf[24];
    uint32_t n = 0;
    EXPECT_EQ(drv->Read(h, buf, sizeof buf, &n), FT_IO_ERROR);
    EXPECT_EQ(drv->Write(h, buf, 1, &n), FT_IO_ERROR);
    FT_PROGRAM_DATA ee;
    EXPECT_EQ(drv->EE_Read(h, &ee), FT_IO_ERROR);

    uint32_t count = 9;
    ASSERT_EQ(drv->CountDevices(&count), FT_OK);
    EXPECT_EQ(count, 0u);
    FT_HANDLE h2 = nullptr;
    EXPECT_EQ(drv->Open(0, &h2), FT_DEVICE_NOT_FOUND);

    // Back in, the old handle is still dead; a new open works.
    logger.Replug();
    EXPECT_EQ(drv->GetQueueStatus(h, &q), FT_IO_ERROR);
    EXPECT_EQ(drv->Close(h), FT_OK);
    h2 = OpenFirst();
    EXPECT_EQ(drv->GetQueueStatus(h2, &q), FT_OK);
    EXPECT_EQ(drv->Close(h2), FT_OK);
}

// A clock whose sleeps pull the plug once virtual time passes a mark.
struct UnplugClock : zns::IClock {
    zns::FakeClock base;
    zns::sim::SimLogger* logger = nullptr;
    int64_t unplugAt = 5000;
    int64_t NowSteadyMs() const override { return base.NowSteadyMs(); }
    void SleepMs(int64_t ms) override {
        base.SleepMs(ms);
        if (logger && base.NowSteadyMs() >= unplugAt) logger->Unplug();
    }
    zns::LocalTime NowLocal() const override { return base.NowLocal(); }
};

TEST(SimDriver, UnplugEndsAReadWithoutTimeOut) {
    UnplugClock clock;
    zns::sim::SimLogger logger(clock);
    clock.logger = &logger;
    logger.SetSilent(true);
    auto drv = MakeSimDriver(logger, clock);
    FT_HANDLE h = nullptr;
    ASSERT_EQ(drv->Open(0, &h), FT_OK);
    ASSERT_EQ(drv->SetTimeouts(h, 0, 0), FT_OK);  // no time-out: only the loss ends it
    uint8_t buf[4];
    uint32_t n = 9;
    EXPECT_EQ(drv->Read(h, buf, sizeof buf, &n), FT_IO_ERROR);
    EXPECT_EQ(n, 0u);
    EXPECT_GE(clock.NowSteadyMs(), 5000);
    EXPECT_EQ(drv->Close(h), FT_OK);
}

TEST(SimDriver, ReportsTheIdentityItIsGiven) {
    zns::FakeClock clock;
    zns::sim::SimLogger logger(clock);
    SimIdentity other;
    other.ProductId = 0x6010;
    other.SerialNumber = "FT0001";
    auto drv = MakeSimDriver(logger, clock, other);
    FT_HANDLE h = nullptr;
    ASSERT_EQ(drv->Open(0, &h), FT_OK);
    FT_PROGRAM_DATA ee;
    ASSERT_EQ(drv->EE_Read(h, &ee), FT_OK);
    EXPECT_EQ(ee.VendorId, 0x0403);
    EXPECT_EQ(ee.ProductId, 0x6010);
    EXPECT_EQ(ee.SerialNumber, "FT0001");
    EXPECT_EQ(drv->Close(h), FT_OK);
}

TEST(SimDriver, HandlesOpenAtDestructionAreReleased) {
    zns::FakeClock clock;
    zns::sim::SimLogger logger(clock);
    FT_HANDLE h = nullptr;
    {
        auto drv = MakeSimDriver(logger, clock);
        ASSERT_EQ(drv->Open(0, &h), FT_OK);
    }
    auto drv = MakeSimDriver(logger, clock);
    EXPECT_EQ(drv->Open(0, &h), FT_OK);
    EXPECT_EQ(drv->Close(h), FT_OK);
}

}  // namespace
