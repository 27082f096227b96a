#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "PtyPair.h"
#include "platform/d2xx/D2xx.h"

using namespace zns::d2xx;
namespace fs = std::filesystem;

namespace {

struct TtyFixture : ::testing::Test {
    PtyPair pty;
    std::shared_ptr<ID2xx> drv;
    FT_HANDLE h = nullptr;

    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        drv = MakeTtyDriver(pty.slavePath);
        ASSERT_EQ(drv->Open(0, &h), FT_OK);
    }
    void TearDown() override {
        if (h) drv->Close(h);
    }
    // The pty moves bytes to the other side asynchronously.
    uint32_t WaitQueue(uint32_t want) {
        uint32_t q = 0;
        for (int i = 0; i < 200 && q < want; ++i) {
            if (drv->GetQueueStatus(h, &q) != FT_OK) break;
            if (q < want) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return q;
    }
};

TEST_F(TtyFixture, APtyIsTakenAsTheLogger) {
    std::vector<DeviceListEntry> list;
    ASSERT_EQ(drv->ListDevices(&list), FT_OK);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].VendorId, 0x0403);
    EXPECT_EQ(list[0].ProductId, 0x6001);
    EXPECT_EQ(list[0].Description, "Logger");
    // "/dev/pts/7" -> "pts7"
    std::string expect = pty.slavePath.substr(5);
    expect.erase(std::remove(expect.begin(), expect.end(), '/'), expect.end());
    EXPECT_EQ(list[0].SerialNumber, expect);
    FT_PROGRAM_DATA ee;
    ASSERT_EQ(drv->EE_Read(h, &ee), FT_OK);
    EXPECT_EQ(ee.SerialNumber, expect);
    EXPECT_EQ(drv->Name(), "tty:" + pty.slavePath);

    FT_HANDLE h2 = nullptr;
    EXPECT_EQ(drv->Open(0, &h2), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(drv->OpenEx(expect, FT_OPEN_BY_SERIAL_NUMBER, &h2), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(drv->OpenEx("Other", FT_OPEN_BY_DESCRIPTION, &h2), FT_DEVICE_NOT_FOUND);
}

TEST_F(TtyFixture, BinaryBytesPassBothWaysUntouched) {
    // Bytes a cooked tty would eat or change: ^C, CR, LF, XON/XOFF, ^D, NUL, 0xFF.
    std::vector<uint8_t> in = {0x55, 0xAA, 0x03, 0x0D, 0x0A, 0x11, 0x13, 0x04, 0x00, 0xFF, 0x99, 0x7F};
    ASSERT_TRUE(pty.Send(in));
    ASSERT_EQ(WaitQueue(in.size()), in.size());
    ASSERT_EQ(drv->SetTimeouts(h, 500, 500), FT_OK);
    std::vector<uint8_t> got(in.size());
    uint32_t n = 0;
    ASSERT_EQ(drv->Read(h, got.data(), got.size(), &n), FT_OK);
    ASSERT_EQ(n, in.size());
    EXPECT_EQ(got, in);

    uint32_t put = 0;
    ASSERT_EQ(drv->Write(h, in.data(), in.size(), &put), FT_OK);
    EXPECT_EQ(put, in.size());
    EXPECT_EQ(pty.Receive(in.size(), 1000), in);
}

TEST_F(TtyFixture, ReadWaitsForTheCountOrTheTimeOut) {
    ASSERT_EQ(drv->SetTimeouts(h, 150, 100), FT_OK);
    uint8_t buf[10];
    uint32_t n = 9;
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(drv->Read(h, buf, sizeof buf, &n), FT_OK);
    auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(n, 0u);
    EXPECT_GE(waited, std::chrono::milliseconds(140));
    EXPECT_LT(waited, std::chrono::milliseconds(1500));

    // Fewer than asked at the time-out.
    ASSERT_TRUE(pty.Send({8, 9}));
    ASSERT_EQ(WaitQueue(2), 2u);
    ASSERT_EQ(drv->SetTimeouts(h, 50, 100), FT_OK);
    ASSERT_EQ(drv->Read(h, buf, sizeof buf, &n), FT_OK);
    EXPECT_EQ(n, 2u);
}

TEST_F(TtyFixture, PurgeDropsWaitingBytes) {
    ASSERT_TRUE(pty.Send({1, 2, 3, 4}));
    ASSERT_EQ(WaitQueue(4), 4u);
    ASSERT_EQ(drv->Purge(h, FT_PURGE_RX), FT_OK);
    uint32_t q = 9;
    ASSERT_EQ(drv->GetQueueStatus(h, &q), FT_OK);
    EXPECT_EQ(q, 0u);
}

TEST_F(TtyFixture, HangUpFailsQueueStatusAndRead) {
    pty.CloseMaster();
    uint32_t q = 0;
    EXPECT_EQ(drv->GetQueueStatus(h, &q), FT_IO_ERROR);
    uint8_t buf[4];
    uint32_t n = 0;
    ASSERT_EQ(drv->SetTimeouts(h, 100, 100), FT_OK);
    EXPECT_EQ(drv->Read(h, buf, sizeof buf, &n), FT_IO_ERROR);
    EXPECT_EQ(drv->Write(h, buf, sizeof buf, &n), FT_IO_ERROR);
    EXPECT_EQ(drv->Close(h), FT_OK);
    h = nullptr;
}

TEST(TtyDriver, MissingOrUnsuitableDevice) {
    auto drv = MakeTtyDriver("/dev/zns-no-such-tty");
    uint32_t count = 9;
    ASSERT_EQ(drv->CountDevices(&count), FT_OK);
    EXPECT_EQ(count, 0u);
    FT_HANDLE h = nullptr;
    EXPECT_EQ(drv->Open(0, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(drv->OpenEx("Logger", FT_OPEN_BY_DESCRIPTION, &h), FT_DEVICE_NOT_FOUND);

    auto notTty = MakeTtyDriver("/dev/null");
    EXPECT_EQ(notTty->Open(0, &h), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(h, nullptr);
}

TEST(TtyDriver, IdentityComesFromSysfsWhenThereIsOne) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    std::string name = fs::canonical(pty.slavePath).filename().string();
    fs::path root = fs::temp_directory_path() / ("zns-d2xx-sysfs-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::path usbDev = root / "devices" / "usb1" / "1-1";
    fs::path port = usbDev / "1-1:1.0" / "ttyUSB0";
    fs::create_directories(port);
    fs::create_directories(root / "class" / "tty" / name);
    fs::create_directory_symlink(port, root / "class" / "tty" / name / "device");
    std::ofstream(usbDev / "idVendor") << "0403\n";
    std::ofstream(usbDev / "idProduct") << "6010\n";
    std::ofstream(usbDev / "serial") << "FT5XK2QA\n";
    std::ofstream(usbDev / "product") << "Dual RS232\n";

    TtyOptions opt;
    opt.sysfsRoot = root.string();
    auto drv = MakeTtyDriver(pty.slavePath, opt);
    FT_HANDLE h = nullptr;
    ASSERT_EQ(drv->OpenEx("FT5XK2QA", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    FT_PROGRAM_DATA ee;
    ASSERT_EQ(drv->EE_Read(h, &ee), FT_OK);
    EXPECT_EQ(ee.VendorId, 0x0403);
    EXPECT_EQ(ee.ProductId, 0x6010);
    EXPECT_EQ(ee.SerialNumber, "FT5XK2QA");
    EXPECT_EQ(ee.Description, "Dual RS232");
    EXPECT_EQ(drv->Close(h), FT_OK);
    fs::remove_all(root);
}

}  // namespace
