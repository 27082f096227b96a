// The gamma meter (no window) and the depth panel's colour and list rules.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "ui/controls/GammaMeterCore.h"
#include "ui/dialogs/DephtDlgCore.h"

namespace {

zns::GammaConfig Auto(bool average = false, int filter = 10) { return {2, average, filter}; }

TEST(GammaMeter, AutomaticRangeGrowsPastTheRate) {
    zns::GammaMeter m;
    m.SetConfig({1, false, 10});
    m.PutGammaCount(0, 1.0);  // fixed range: the maximum is 100
    ASSERT_EQ(m.Maximum(), 100);
    m.SetConfig(Auto());
    for (int i = 0; i < 5; ++i) m.Tick();
    // 600 counts x 0.25 x 1.0 = 150 CPS; 150 is not above 150, so 200.
    m.PutGammaCount(600, 1.0);
    EXPECT_EQ(m.CurrentCps(), 150);
    EXPECT_EQ(m.Maximum(), 200);
    EXPECT_EQ(m.IdleCounter(), 0);
    // Below the maximum: no growth and the idle counter runs on.
    m.Tick();
    m.PutGammaCount(400, 1.0);
    EXPECT_EQ(m.Maximum(), 200);
    EXPECT_EQ(m.IdleCounter(), 1);
}

TEST(GammaMeter, RangeStopsAt65000AndRatesRound) {
    zns::GammaMeter m;
    m.SetConfig(Auto());
    m.PutGammaCount(65535, 10.0);  // 163837.5 CPS
    EXPECT_EQ(m.Maximum(), 65000);
    EXPECT_EQ(m.CurrentCps(), 163838);
    m.PutGammaCount(3, 1.0);  // 0.75 rounds half away to 1
    EXPECT_EQ(m.CurrentCps(), 1);
    m.PutGammaCount(2, 1.0);  // 0.5 -> 1
    EXPECT_EQ(m.CurrentCps(), 1);
    m.PutGammaCount(100, std::nan(""));
    EXPECT_EQ(m.CurrentCps(), 0);
}

TEST(GammaMeter, DecayAfterTwoSecondsIdle) {
    zns::GammaMeter m;
    m.SetConfig(Auto());
    // The idle counter starts at 1000: the first reading decays 200 to 181
    // before 1000 CPS grows it in steps of 50 to 1031.
    m.PutGammaCount(4000, 1.0);
    ASSERT_EQ(m.Maximum(), 1031);
    ASSERT_EQ(m.IdleCounter(), 0);
    for (int i = 0; i < 20; ++i) m.Tick();
    m.PutGammaCount(400, 1.0);  // idle 20 is not above 20
    EXPECT_EQ(m.Maximum(), 1031);
    for (int i = 0; i < 21; ++i) m.Tick();
    m.PutGammaCount(400, 1.0);
    EXPECT_EQ(m.Maximum(), 937);  // trunc(1031 / 1.1)
    EXPECT_EQ(m.IdleCounter(), 0);
    // Never below 100.
    zns::GammaMeter low;
    low.SetConfig(Auto());
    low.PutGammaCount(0, 1.0);
    for (int k = 0; k < 30; ++k) {
        for (int i = 0; i < 21; ++i) low.Tick();
        low.PutGammaCount(0, 1.0);
    }
    EXPECT_EQ(low.Maximum(), 100);
}

TEST(GammaMeter, AverageOverTheFilterAfterWarmUp) {
    zns::GammaMeter m;
    m.SetConfig(Auto(true, 10));
    // First reading fills the ring.
    m.PutGammaCount(400, 1.0);  // 100
    EXPECT_EQ(m.RingAt(0), 100);
    EXPECT_EQ(m.RingAt(99), 100);
    EXPECT_EQ(m.Index(), 1);
    EXPECT_TRUE(m.WarmUp());
    // During warm-up the shown value is the mean of what came so far.
    m.PutGammaCount(800, 1.0);  // 200 at [1]
    zns::GammaMeter::Screen s = m.PutGammaOnScreen(true);
    EXPECT_EQ(s.bar, 150);
    EXPECT_EQ(s.text, "150");
    for (int i = 2; i <= 10; ++i) m.PutGammaCount(static_cast<unsigned>(4 * i * 10), 1.0);  // i x 10
    EXPECT_EQ(m.Index(), 11);
    EXPECT_TRUE(m.WarmUp());
    m.PutGammaCount(4000, 1.0);  // index 11 > 10: warm-up over, [0] = 1000
    EXPECT_FALSE(m.WarmUp());
    EXPECT_EQ(m.Index(), 1);
    // Mean of the first ten places: 1000, 200, 20 .. 90.
    s = m.PutGammaOnScreen(true);
    EXPECT_EQ(s.bar, (1000 + 200 + 20 + 30 + 40 + 50 + 60 + 70 + 80 + 90) / 10);
    // Steady state: the index wraps after the filter length.
    for (int i = 0; i < 10; ++i) m.PutGammaCount(400, 1.0);
    EXPECT_EQ(m.Index(), 0);
    // No text until there is a link or a replay.
    EXPECT_EQ(m.PutGammaOnScreen(false).text, "");
}

TEST(GammaMeter, FilterIsHeldInsideTheRing) {
    EXPECT_EQ(zns::ClampGammaFilter(0), 1);
    EXPECT_EQ(zns::ClampGammaFilter(-3), 1);
    EXPECT_EQ(zns::ClampGammaFilter(99), 99);
    EXPECT_EQ(zns::ClampGammaFilter(100), 99);
    EXPECT_EQ(zns::ClampGammaFilter(100000), 99);
    zns::GammaMeter m;
    m.SetConfig(Auto(true, 5000));
    EXPECT_EQ(m.Config().filter, 99);
    // The index may stand one past the filter between readings (it is checked
    // before the next write), so 99 keeps every write and mean inside 100 places.
    for (int i = 0; i < 1000; ++i) {
        m.PutGammaCount(static_cast<unsigned>(i), 1.0);
        ASSERT_LE(m.Index(), 100);
        (void)m.PutGammaOnScreen(true);
    }
    // A shorter filter later: the index comes back inside it on the next wrap.
    m.SetConfig(Auto(true, 3));
    for (int i = 0; i < 200; ++i) {
        m.PutGammaCount(4, 1.0);
        ASSERT_LE(m.Index(), 100);
    }
    EXPECT_LE(m.Index(), 4);
}

TEST(GammaMeter, WithoutAveragingAndIdleReset) {
    zns::GammaMeter m;
    m.SetConfig(Auto(false));
    m.PutGammaCount(2, 1.0);  // 0.5 -> 1
    zns::GammaMeter::Screen s = m.PutGammaOnScreen(false);
    EXPECT_EQ(s.bar, 1);
    EXPECT_EQ(s.text, "1");
    m.PutGammaCount(1, 1.0);  // 0.25 -> 0: no text
    EXPECT_EQ(m.PutGammaOnScreen(true).text, "");
    EXPECT_TRUE(m.WarmUp());
    EXPECT_EQ(m.Index(), 0);

    m.PutGammaCount(4000, 1.0);
    EXPECT_FALSE(m.ResetIfIdle());
    for (int i = 0; i < 201; ++i) m.Tick();
    EXPECT_TRUE(m.ResetIfIdle());
    EXPECT_EQ(m.Maximum(), 100);
    EXPECT_EQ(m.CurrentCps(), 0);
    for (int i = 0; i < 20000; ++i) m.Tick();
    EXPECT_EQ(m.IdleCounter(), zns::kGammaIdleLimit);
    m.Reset();
    EXPECT_TRUE(m.WarmUp());
    EXPECT_EQ(m.RingAt(5), 0);
}

TEST(GammaMeter, ReadingsFromAWorkerWhileTheGuiShows) {
    zns::GammaMeter m;
    m.SetConfig(Auto(true, 20));
    std::atomic<bool> done{false}, shown{false};
    std::thread worker([&] {
        while (!shown.load()) std::this_thread::yield();  // overlap with the GUI however fast this runs
        for (int i = 0; i < 20000; ++i) m.PutGammaCount(static_cast<unsigned>(i % 2000), 1.0);
        done.store(true);
    });
    do {
        const zns::GammaMeter::Screen s = m.PutGammaOnScreen(true);
        EXPECT_GE(s.bar, 0);
        EXPECT_LE(s.bar, 500);
        m.Tick();
        shown.store(true);
    } while (!done.load());
    worker.join();
}

// ---------------------------------------------------------------------------

TEST(DepthPanelRules, SpeedColourBands) {
    const double L = 20.0;
    // Below L - 1.5: yellow, steady.
    zns::SpeedLook look = zns::SpeedLookFor(18.0, L, 10);
    EXPECT_EQ(look.color, 0x00FFFFu);
    EXPECT_FALSE(look.blink);
    // L - 1.0 in a depth mode: d = 128, RGB(255, 127, 0).
    look = zns::SpeedLookFor(L - 1.0, L, 10);
    EXPECT_EQ(look.color, 0x007FFFu);
    EXPECT_FALSE(look.blink);
    look = zns::SpeedLookFor(-(L - 1.0), L, 11);  // logging up counts the same
    EXPECT_EQ(look.color, 0x007FFFu);
    // Exactly at L - 1.5: RGB(255, 255, 0).
    EXPECT_EQ(zns::SpeedLookFor(L - 1.5, L, 11).color, 0x00FFFFu);
    // L - 0.4: d = 281.6, red and blinking.
    look = zns::SpeedLookFor(L - 0.4, L, 11);
    EXPECT_EQ(look.color, 0x0000FFu);
    EXPECT_TRUE(look.blink);
    // Time mode never warns; no limit known, no warning.
    look = zns::SpeedLookFor(L + 5.0, L, 12);
    EXPECT_EQ(look.color, 0x00FFFFu);
    EXPECT_FALSE(look.blink);
    EXPECT_FALSE(zns::SpeedLookFor(500.0, std::nan(""), 10).blink);
}

TEST(DepthPanelRules, ListsAndSerialText) {
    EXPECT_EQ(zns::ScaleItemIndex(200), 3);
    EXPECT_STREQ(zns::kScaleItems[3].text, "1/250");
    EXPECT_EQ(zns::ScaleItemIndex(250), -1);
    EXPECT_EQ(zns::GammaMaxItemIndex(50000), 11);
    EXPECT_EQ(zns::GammaMaxItemIndex(2001), -1);
    EXPECT_EQ(zns::SerialNumberText(1234), "SN: 1234");
    EXPECT_EQ(zns::SerialNumberText(0), "SN : -");
    EXPECT_EQ(zns::SerialNumberText(-1), "SN : -");
}

}  // namespace
