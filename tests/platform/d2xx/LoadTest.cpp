#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/d2xx/D2xx.h"
#include "sim/LoadBackend.h"

using namespace zns::d2xx;

namespace {

TEST(LoadBackend, ChoosesByTheLoggerSetting) {
    auto sim = LoadBackend("sim");
    ASSERT_TRUE(sim);
    EXPECT_EQ(sim.driver->Name(), "sim");

    auto tty = LoadBackend("tty:/dev/ttyUSB7");
    ASSERT_TRUE(tty);
    EXPECT_EQ(tty.driver->Name(), "tty:/dev/ttyUSB7");

    for (const char* bad : {"tty:", "simulator", "usb", "TTY:/dev/ttyUSB0"}) {
        auto r = LoadBackend(bad);
        EXPECT_FALSE(r) << bad;
        EXPECT_NE(r.reason.find(bad), std::string::npos) << r.reason;
    }

    ::setenv("ZNS_LOGGER", "sim", 1);
    auto env = LoadBackend();
    ::unsetenv("ZNS_LOGGER");
    ASSERT_TRUE(env);
    EXPECT_EQ(env.driver->Name(), "sim");
}

TEST(LoadBackend, EveryBackendExportsTheWholeEntryPointList) {
    for (const char* choice : {"sim", "tty:/dev/ttyUSB0"}) {
        auto r = LoadBackend(choice);
        ASSERT_TRUE(r);
        for (const char* name : kEntryPoints) EXPECT_TRUE(r.driver->HasEntryPoint(name)) << name;
        EXPECT_FALSE(r.driver->HasEntryPoint("FT_SetBaudRate"));
        EXPECT_FALSE(r.driver->HasEntryPoint(""));
    }
}

TEST(FtdiDriver, WithoutADeviceNothingOpens) {
    auto r = LoadBackend("");
    if (!r) {
        // No USB subsystem here: the link shows its "driver not installed" message.
        EXPECT_FALSE(r.reason.empty());
        GTEST_SKIP() << r.reason;
    }
    EXPECT_EQ(r.driver->Name(), "libftdi1");
    uint32_t count = 0;
    FT_STATUS st = r.driver->CountDevices(&count);
    if (st == FT_OK && count > 0) GTEST_SKIP() << "an FTDI device is attached";
    FT_HANDLE h = reinterpret_cast<FT_HANDLE>(1);
    EXPECT_EQ(r.driver->Open(0, &h), st == FT_OK ? FT_DEVICE_NOT_FOUND : st);
    EXPECT_EQ(h, nullptr);
    EXPECT_NE(r.driver->OpenEx("Logger", FT_OPEN_BY_DESCRIPTION, &h), FT_OK);
    EXPECT_NE(r.driver->OpenEx("QK-00000000", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    uint32_t q = 0;
    EXPECT_EQ(r.driver->GetQueueStatus(h, &q), FT_INVALID_HANDLE);
    EXPECT_EQ(r.driver->Close(h), FT_INVALID_HANDLE);
}

}  // namespace
