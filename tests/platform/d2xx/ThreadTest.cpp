// The driver as the link's threads use it: a receive thread reading while a send
// thread writes, and a close that comes while a read waits.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "PtyPair.h"
#include "platform/Clock.h"
#include "platform/d2xx/D2xx.h"
#include "sim/SimDriver.h"
#include "sim/SimLogger.h"

using namespace zns::d2xx;
using namespace std::chrono_literals;

namespace {

using Steady = std::chrono::steady_clock;

// Opens device 0 with the given read/write timeouts (0 = wait for ever).
FT_HANDLE OpenWithTimeouts(ID2xx& drv, uint32_t readMs, uint32_t writeMs) {
    FT_HANDLE h = nullptr;
    EXPECT_EQ(drv.Open(0, &h), FT_OK);
    EXPECT_EQ(drv.SetTimeouts(h, readMs, writeMs), FT_OK);
    return h;
}

// A read waiting for ever on h; Close from this thread must end it at once.
void ExpectCloseEndsAWaitingRead(ID2xx& drv, FT_HANDLE h) {
    std::atomic<FT_STATUS> st{FT_OK};
    std::thread reader([&] {
        uint8_t buf[24];
        uint32_t n = 0;
        st = drv.Read(h, buf, sizeof buf, &n);
    });
    std::this_thread::sleep_for(50ms);
    auto t0 = Steady::now();
    EXPECT_EQ(drv.Close(h), FT_OK);
    reader.join();
    EXPECT_LT(Steady::now() - t0, 1s);
    EXPECT_EQ(st.load(), FT_INVALID_HANDLE);
}

TEST(D2xxThreads, CloseEndsAWaitingSimRead) {
    zns::SystemClock clock;
    zns::sim::SimLogger logger(clock);
    logger.SetSilent(true);
    auto drv = MakeSimDriver(logger, clock);
    ExpectCloseEndsAWaitingRead(*drv, OpenWithTimeouts(*drv, 0, 0));
    if (HasFailure()) return;
    FT_HANDLE h2 = nullptr;
    EXPECT_EQ(drv->Open(0, &h2), FT_OK);
    EXPECT_EQ(drv->Close(h2), FT_OK);
}

TEST(D2xxThreads, CloseEndsAWaitingTtyReadAndReleasesThePort) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    auto drv = MakeTtyDriver(pty.slavePath);
    ExpectCloseEndsAWaitingRead(*drv, OpenWithTimeouts(*drv, 0, 0));
    if (HasFailure()) return;
    // The slave side is closed when Close returns: the master sees the hang-up.
    pollfd p{pty.master, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
}

TEST(D2xxThreads, TtyReadGathersBytesAcrossArrivals) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    auto drv = MakeTtyDriver(pty.slavePath);
    FT_HANDLE h = OpenWithTimeouts(*drv, 2000, 100);
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(pty.Send({1, 2, 3}));
    std::thread late([&] {
        std::this_thread::sleep_for(30ms);
        pty.Send({4, 5, 6, 7});
    });
    uint8_t seven[7];
    uint32_t n = 0;
    EXPECT_EQ(drv->Read(h, seven, sizeof seven, &n), FT_OK);
    late.join();
    ASSERT_EQ(n, 7u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(seven[i], i + 1);
    EXPECT_EQ(drv->Close(h), FT_OK);
}

TEST(D2xxThreads, TtyHangUpEndsAReadWithoutTimeOut) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    auto drv = MakeTtyDriver(pty.slavePath);
    FT_HANDLE h = OpenWithTimeouts(*drv, 0, 0);
    ASSERT_FALSE(HasFailure());
    std::thread hangup([&] {
        std::this_thread::sleep_for(50ms);
        pty.CloseMaster();
    });
    uint8_t buf[4];
    uint32_t n = 9;
    EXPECT_EQ(drv->Read(h, buf, sizeof buf, &n), FT_IO_ERROR);
    hangup.join();
    EXPECT_EQ(n, 0u);
    uint32_t q = 0;
    EXPECT_EQ(drv->GetQueueStatus(h, &q), FT_IO_ERROR);
    EXPECT_EQ(drv->Close(h), FT_OK);
}

// The device echoes what the send thread writes; the receive thread is already waiting
// for the echo. A write held up by the waiting read would leave the read empty-handed.
TEST(D2xxThreads, TtyWriteIsNotHeldUpByAWaitingRead) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    auto drv = MakeTtyDriver(pty.slavePath);
    FT_HANDLE h = OpenWithTimeouts(*drv, 3000, 1000);
    ASSERT_FALSE(HasFailure());

    std::vector<uint8_t> data(3000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);

    std::atomic<bool> stop{false};
    std::thread device([&] {
        while (!stop) {
            pollfd p{pty.master, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
            uint8_t buf[512];
            ssize_t r = ::read(pty.master, buf, sizeof buf);
            if (r <= 0) break;
            if (::write(pty.master, buf, r) != r) break;
        }
    });
    std::vector<uint8_t> got(data.size());
    uint32_t nRead = 0;
    FT_STATUS readSt = FT_OTHER_ERROR;
    std::thread receiver([&] { readSt = drv->Read(h, got.data(), got.size(), &nRead); });
    std::this_thread::sleep_for(20ms);
    std::thread sender([&] {
        for (size_t off = 0; off < data.size(); off += 100) {
            uint32_t put = 0;
            EXPECT_EQ(drv->Write(h, data.data() + off, 100, &put), FT_OK);
            EXPECT_EQ(put, 100u);
        }
    });
    sender.join();
    receiver.join();
    stop = true;
    device.join();
    EXPECT_EQ(readSt, FT_OK);
    EXPECT_EQ(nRead, data.size());
    EXPECT_EQ(got, data);
    EXPECT_EQ(drv->Close(h), FT_OK);
}

TEST(D2xxThreads, SimReceiveAndSendThreadsTogether) {
    zns::FakeClock clock;
    zns::sim::SimLogger logger(clock);
    auto drv = MakeSimDriver(logger, clock);
    FT_HANDLE h = OpenWithTimeouts(*drv, 300, 100);
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(drv->SetLatencyTimer(h, 2), FT_OK);

    std::atomic<uint64_t> bytes{0};
    std::thread receiver([&] {
        uint8_t buf[24];
        for (int i = 0; i < 2000; ++i) {
            uint32_t q = 0, n = 0;
            ASSERT_EQ(drv->GetQueueStatus(h, &q), FT_OK);
            ASSERT_EQ(drv->Read(h, buf, sizeof buf, &n), FT_OK);
            bytes += n;
        }
    });
    std::thread sender([&] {
        const uint8_t junk[2] = {0xEE, 0xEE};
        for (int i = 0; i < 500; ++i) {
            uint32_t put = 0;
            ASSERT_EQ(drv->Write(h, junk, 2, &put), FT_OK);
            uint8_t lat = 0;
            ASSERT_EQ(drv->GetLatencyTimer(h, &lat), FT_OK);
        }
    });
    sender.join();
    receiver.join();
    EXPECT_GT(bytes.load(), 0u);
    EXPECT_EQ(logger.Snapshot().unknownBytes, 1000u);
    EXPECT_EQ(drv->Close(h), FT_OK);
}

}  // namespace
