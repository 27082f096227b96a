// The simulator shared by a writer, a reader and a controller thread, as the link's
// send thread, receive thread and a test driver will use it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "SimTestSupport.h"

using namespace simtest;

TEST(SimThreads, ConcurrentWritesReadsAndControl) {
    zns::FakeClock clock(0);
    zns::sim::SimLogger sim(clock);
    Parser parser;
    std::atomic<bool> stop{false};

    std::thread reader([&] {
        uint8_t buf[512];
        while (!stop.load()) {
            const size_t n = sim.HostRead(buf, sizeof buf);
            if (n > 0) parser.Feed(buf, n, clock.NowSteadyMs());
            else std::this_thread::yield();
        }
    });
    std::thread writer([&] {
        Settings8 s;
        s.mode = 12;
        s.interval = 250;
        s.baud = 6;
        s.upGain = 16;
        s.downDrive = 27;
        s.upDrive = 16;
        for (int i = 0; i < 300 && !stop.load(); ++i) {
            const Bytes c = (i % 3 == 0) ? Cmd8(s) : (i % 3 == 1 ? Cmd3(16, 27) : Cmd1(0, 20480, 90));
            sim.HostWrite(c.data(), c.size());
            std::this_thread::yield();
        }
    });
    std::thread control([&] {
        for (int i = 0; i < 2000; ++i) {
            clock.Advance(7);
            if (i % 100 == 0) sim.SetWinchSpeed(i % 200 == 0 ? 12.0 : 3.0);
            if (i % 150 == 0) sim.SetWinchDirection(i % 300 == 0);
            if (i % 250 == 0) (void)sim.Snapshot();
        }
    });
    control.join();
    writer.join();
    stop = true;
    reader.join();
    clock.Advance(100);  // commands still waiting for their reply delay take effect
    uint8_t buf[4096];
    for (size_t n; (n = sim.HostRead(buf, sizeof buf)) > 0;) parser.Feed(buf, n, clock.NowSteadyMs());

    EXPECT_GT(parser.frames.size(), 40u);
    EXPECT_EQ(parser.rejected, 0);
    EXPECT_EQ(parser.strayBytes, 0u);
    EXPECT_EQ(sim.CommandLog().size(), 300u);
}
