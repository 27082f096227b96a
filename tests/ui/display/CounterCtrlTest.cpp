// The counter read-out: its arithmetic, its timers and its pixels.
#include <gtest/gtest.h>

#include <QWidget>
#include <atomic>
#include <cmath>
#include <thread>

#include "DisplayTestUtil.h"
#include "platform/ui/TestApp.h"
#include "ui/controls/CounterCore.h"
#include "ui/controls/GraphicCounterCtrl.h"

using zns::test::CountColor;
using zns::test::Pixel;
using zns::test::RgbOf;

namespace {

TEST(CounterCore, FontScaleAndSize) {
    EXPECT_EQ(zns::CounterFontScale(0), -999.0);
    EXPECT_EQ(zns::CounterFontScale(1), 0.8);
    EXPECT_EQ(zns::CounterFontScale(2), 1.0);
    EXPECT_EQ(zns::CounterFontScale(3), 1.4);
    EXPECT_EQ(zns::CounterFontScale(4), 2.0);
    EXPECT_EQ(zns::CounterFontScale(17), 1.0);

    const zns::CounterFont big = zns::CounterFontFor(40, 1.4);
    EXPECT_EQ(big.height, 48);
    EXPECT_EQ(big.width, 22);  // trunc(48 / 3 x 1.4)
    EXPECT_EQ(big.weight, 700);
    EXPECT_EQ(big.offset, 4);
    const zns::CounterFont small = zns::CounterFontFor(20, -999.0);
    EXPECT_EQ(small.height, 14);
    EXPECT_EQ(small.width, 5);
    EXPECT_EQ(small.weight, 400);
    EXPECT_EQ(small.offset, -3);
}

TEST(CounterCore, Alignment) {
    // 4 characters of 10 pixels in a 100-pixel client.
    auto p = zns::PlaceCounterText(5, 0, 100, 4, 10);
    EXPECT_TRUE(p.rightAligned);
    EXPECT_EQ(p.x, 100);
    p = zns::PlaceCounterText(6, 0, 100, 4, 10);
    EXPECT_TRUE(p.rightAligned);
    EXPECT_EQ(p.x, 70);  // 100 - (100 - 40) / 2
    p = zns::PlaceCounterText(7, 0, 100, 4, 10);
    EXPECT_FALSE(p.rightAligned);
    EXPECT_EQ(p.x, 0);
    p = zns::PlaceCounterText(9, 0, 100, 4, 10);
    EXPECT_EQ(p.sizeMode, 5);
    EXPECT_TRUE(p.rightAligned);
    // Wider than the window by the estimate with its 10 % margin: left whatever the mode.
    p = zns::PlaceCounterText(5, 0, 100, 10, 10);  // trunc(100 x 1.1) = 110 > 100
    EXPECT_FALSE(p.rightAligned);
    EXPECT_EQ(p.x, 0);
    p = zns::PlaceCounterText(5, 0, 110, 10, 10);  // 110 is not less than 110
    EXPECT_TRUE(p.rightAligned);
}

TEST(CounterCore, BlinkPeriods) {
    EXPECT_EQ(zns::BlinkPeriodMs(0), 2000u);
    EXPECT_EQ(zns::BlinkPeriodMs(1), 1000u);
    EXPECT_EQ(zns::BlinkPeriodMs(2), 500u);
    EXPECT_EQ(zns::BlinkPeriodMs(750), 750u);
    EXPECT_EQ(zns::BlinkPeriodMs(-5), 10u);
}

TEST(CounterCore, OnlyFormatsThatTakeOneDouble) {
    EXPECT_TRUE(zns::IsDoubleFormat("%###.2f"));
    EXPECT_TRUE(zns::IsDoubleFormat("%5.2f"));
    EXPECT_TRUE(zns::IsDoubleFormat("%.1f V"));
    EXPECT_TRUE(zns::IsDoubleFormat("%.2f%%"));
    EXPECT_FALSE(zns::IsDoubleFormat(nullptr));
    EXPECT_FALSE(zns::IsDoubleFormat("%s"));
    EXPECT_FALSE(zns::IsDoubleFormat("%d"));
    EXPECT_FALSE(zns::IsDoubleFormat("%n"));
    EXPECT_FALSE(zns::IsDoubleFormat("%f %f"));
    EXPECT_FALSE(zns::IsDoubleFormat("%*f"));
    EXPECT_FALSE(zns::IsDoubleFormat("%Lf"));
    EXPECT_FALSE(zns::IsDoubleFormat("%.999f"));
    EXPECT_FALSE(zns::IsDoubleFormat("100%%"));
    EXPECT_FALSE(zns::IsDoubleFormat("%"));

    EXPECT_EQ(zns::FormatCounterValue(12.345, "%###.2f"), "12.35");
    EXPECT_EQ(zns::FormatCounterValue(-3.5, "%5.2f"), "-3.50");
    EXPECT_EQ(zns::FormatCounterValue(std::nan(""), "%.2f"), "0.00");
    EXPECT_EQ(zns::FormatCounterValue(INFINITY, "%.1f"), "0.0");
    EXPECT_EQ(zns::FormatCounterValue(7.0, "%s"), "7.00");
}

class CounterTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.resize(300, 120);
        counter = new CGraphicCounterCtrl(&host);
        counter->Create(0, QRect(10, 10, 200, 40), &host, 0);
        host.show();
        zns::ui::PumpEvents(0);
    }
    QWidget host;
    CGraphicCounterCtrl* counter = nullptr;
};

TEST_F(CounterTest, HiddenCounterKeepsItsText) {
    counter->WriteCounterDataCString("12.34");
    EXPECT_EQ(counter->GetText(), "12.34");
    counter->hide();
    counter->WriteCounterDataInt(99);
    counter->WriteCounterDataDouble(1.5, "%.1f");
    EXPECT_EQ(counter->GetText(), "12.34");
    counter->show();
    counter->WriteCounterDataInt(-7);
    EXPECT_EQ(counter->GetText(), "-7");
    // A parent hidden hides the counter too.
    host.hide();
    counter->WriteCounterDataInt(5);
    EXPECT_EQ(counter->GetText(), "-7");
}

TEST_F(CounterTest, TextIsCutAt255) {
    const std::string longText(400, '8');
    counter->WriteCounterDataCString(longText.c_str());
    EXPECT_EQ(counter->GetText().size(), 255u);
    counter->WriteCounterDataCString(nullptr);
    EXPECT_EQ(counter->GetText(), "");
}

TEST_F(CounterTest, RefreshTimerOnceAndDrawOnTick) {
    counter->OnTimer(CGraphicCounterCtrl::kRefreshTimerId);  // the start-up refresh
    counter->WriteCounterDataCString("1");
    EXPECT_TRUE(counter->RefreshPending());
    EXPECT_TRUE(counter->IsTimerSet(CGraphicCounterCtrl::kRefreshTimerId));
    counter->KillTimer(CGraphicCounterCtrl::kRefreshTimerId);
    counter->WriteCounterDataCString("2");  // pending: no second timer
    EXPECT_FALSE(counter->IsTimerSet(CGraphicCounterCtrl::kRefreshTimerId));
    counter->OnTimer(CGraphicCounterCtrl::kRefreshTimerId);
    EXPECT_FALSE(counter->RefreshPending());
    EXPECT_FALSE(counter->Bitmap().isNull());
}

TEST_F(CounterTest, BlinkTimerTogglesAndStopKeepsThePhase) {
    counter->SetBackColor(0x000000);
    counter->SetTextColor(0x00FFFF);
    counter->SetTextColor2(0x00FFFF);
    counter->SetTextColor3(0x0000FF);
    counter->WriteCounterDataCString("8");
    counter->StartBlink(2);
    EXPECT_TRUE(counter->IsBlinkOn());
    EXPECT_EQ(counter->BlinkPeriod(), 500u);
    EXPECT_TRUE(counter->IsTimerSet(CGraphicCounterCtrl::kBlinkTimerId));
    EXPECT_FALSE(counter->BlinkPhase());

    counter->OnTimer(CGraphicCounterCtrl::kBlinkTimerId);
    EXPECT_TRUE(counter->BlinkPhase());
    EXPECT_TRUE(counter->IsTimerSet(CGraphicCounterCtrl::kBlinkTimerId));  // armed again
    EXPECT_EQ(Pixel(counter->Bitmap(), 2, 2), RgbOf(0x0000FF));          // blink background
    counter->OnTimer(CGraphicCounterCtrl::kBlinkTimerId);
    EXPECT_FALSE(counter->BlinkPhase());
    EXPECT_EQ(Pixel(counter->Bitmap(), 2, 2), RgbOf(0x000000));
    counter->OnTimer(CGraphicCounterCtrl::kBlinkTimerId);
    ASSERT_TRUE(counter->BlinkPhase());

    counter->StopBlink();
    EXPECT_FALSE(counter->IsBlinkOn());
    EXPECT_FALSE(counter->IsTimerSet(CGraphicCounterCtrl::kBlinkTimerId));
    EXPECT_TRUE(counter->BlinkPhase());  // the second colour set stays
    counter->OnTimer(CGraphicCounterCtrl::kRefreshTimerId);
    EXPECT_EQ(Pixel(counter->Bitmap(), 2, 2), RgbOf(0x0000FF));
    // A stray blink tick after the stop changes nothing and arms nothing.
    counter->OnTimer(CGraphicCounterCtrl::kBlinkTimerId);
    EXPECT_TRUE(counter->BlinkPhase());
    EXPECT_FALSE(counter->IsTimerSet(CGraphicCounterCtrl::kBlinkTimerId));

    counter->StartBlink(1);
    EXPECT_EQ(counter->BlinkPeriod(), 1000u);
    counter->StartBlink(0);
    EXPECT_EQ(counter->BlinkPeriod(), 2000u);
}

TEST_F(CounterTest, TextPixelsFollowTheSizeMode) {
    counter->SetFontScale(3);
    counter->SetBackColor(0x000000);
    counter->SetTextColor(0x00FFFF);
    counter->WriteCounterDataCString("12");
    auto extent = [&] {
        counter->Draw();
        const QImage& img = counter->Bitmap();
        int minX = img.width(), maxX = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qRed(img.pixel(x, y)) > 128 && qGreen(img.pixel(x, y)) > 128) {
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                }
        return std::make_pair(minX, maxX);
    };
    counter->SetSizeMode(5);
    auto right = extent();
    EXPECT_GT(right.first, 100);
    EXPECT_GE(right.second, 180);
    counter->SetSizeMode(7);
    auto left = extent();
    EXPECT_LT(left.first, 12);
    counter->SetSizeMode(6);
    auto centred = extent();
    EXPECT_NEAR((centred.first + centred.second) / 2.0, 100.0, 20.0);
    counter->SetSizeMode(42);
    extent();
    EXPECT_EQ(counter->SizeMode(), 5);
    // Too wide for the window: left aligned whatever the mode.
    counter->SetSizeMode(5);
    counter->WriteCounterDataCString("123456789");
    auto wide = extent();
    EXPECT_TRUE(counter->LastDrawnLeftAligned());
    EXPECT_LT(wide.first, 12);
}

TEST_F(CounterTest, WrittenFromAWorker) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i <= 500; ++i) {
            counter->WriteCounterDataDouble(i / 10.0, "%###.2f");
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        done.store(true);
    });
    while (!done.load()) zns::ui::PumpEvents(5);
    worker.join();
    zns::ui::PumpEvents(250);
    EXPECT_EQ(counter->GetText(), "50.00");
    EXPECT_FALSE(counter->RefreshPending());
}

TEST_F(CounterTest, Screenshot) {
    counter->SetFontScale(3);
    counter->WriteCounterDataDouble(1234.56, "%###.2f");
    auto* speed = new CGraphicCounterCtrl(&host);
    speed->Create(0, QRect(10, 60, 140, 30), &host, 0);
    speed->SetFontScale(3);
    speed->SetTextColor(0x007FFF);
    speed->WriteCounterDataDouble(-18.5, "%###.2f");
    zns::ui::PumpEvents(250);
    EXPECT_TRUE(host.grab().toImage().save(QString::fromStdString(zns::test::ArtifactPath("counter.png"))));
}

}  // namespace
