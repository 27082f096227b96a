// The scope: its geometry (no window) and its pixels (offscreen window).
#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "DisplayTestUtil.h"
#include "link/Picker.h"
#include "records/SharedRecords.h"
#include "platform/ui/TestApp.h"
#include "ui/controls/WaveCore.h"
#include "ui/controls/WaveCtrl.h"

using zns::test::CountColor;
using zns::test::Pixel;
using zns::test::RgbOf;

namespace {

// ---------------------------------------------------------------------------
// Geometry

TEST(ScopeGeometry, TimeBaseByCode) {
    EXPECT_EQ(zns::ScopeTimeLabel(0, 0), "0\xB5s");
    EXPECT_EQ(zns::ScopeTimeLabel(0, 1), "");
    EXPECT_EQ(zns::ScopeTimeLabel(1, 4), "1000\xB5s");
    EXPECT_EQ(zns::ScopeTimeLabel(2, 3), "1500\xB5s");
    EXPECT_EQ(zns::ScopeTimeLabel(3, 4), "4000\xB5s");
    EXPECT_EQ(zns::ScopeTimeFactor(1), 1);
    EXPECT_EQ(zns::ScopeTimeFactor(2), 2);
    EXPECT_EQ(zns::ScopeTimeFactor(3), 4);
    EXPECT_EQ(zns::ScopeSamplePeriodUs(2), 4);
    EXPECT_EQ(zns::ScopeSamplePeriodUs(3), 8);
    // The last label of a code-3 trace sits at 1000/1024 of the width.
    EXPECT_EQ(zns::ScopeLabelX(1024, 4) - 4, 1000);
    EXPECT_EQ(zns::ScopeVerticalGrid(512, 200, 1), (std::vector<int>{125, 250, 375, 500}));
    EXPECT_TRUE(zns::ScopeVerticalGrid(512, 200, 0).empty());
}

TEST(ScopeGeometry, GridOfAnUnknownCodeSurvivesTinyClients) {
    // n = RoundHalfAway(W / (H / 4)): 400 / 25 = 16 lines.
    const std::vector<int> xs = zns::ScopeVerticalGrid(400, 100, 5);
    ASSERT_EQ(xs.size(), 16u);
    EXPECT_EQ(xs[1], 25);
    // Under 4 rows there is no quarter: no grid rather than a division by zero.
    EXPECT_TRUE(zns::ScopeVerticalGrid(400, 3, 5).empty());
    EXPECT_EQ(zns::ScopeHorizontalGrid(200), (std::array<int, 3>{50, 100, 150}));
}

TEST(ScopeGeometry, ThresholdUsesRealDivisionAndGainNeverDivides) {
    // Gain 1: 200 / 65536 x (32768 - 640).
    EXPECT_NEAR(zns::ScopeThresholdY(200, 1, 137), 98.046875, 1e-9);
    // Gain 3: q = 21845; an integer H / q would put the line at 0 (not drawn).
    EXPECT_NEAR(zns::ScopeThresholdY(200, 3, 137), 200.0 / 21845 * (10922 - 640), 1e-9);
    EXPECT_TRUE(zns::ScopeThresholdVisible(zns::ScopeThresholdY(200, 3, 137), 200));
    // Gain 0 or negative is taken as 1; a huge gain keeps q at 1.
    EXPECT_DOUBLE_EQ(zns::ScopeThresholdY(200, 0, 137), zns::ScopeThresholdY(200, 1, 137));
    EXPECT_DOUBLE_EQ(zns::ScopeThresholdY(200, -5, 137), zns::ScopeThresholdY(200, 1, 137));
    EXPECT_TRUE(std::isfinite(zns::ScopeThresholdY(200, 1 << 30, 137)));
    EXPECT_FALSE(zns::ScopeThresholdVisible(0.0, 200));
    EXPECT_FALSE(zns::ScopeThresholdVisible(200.0, 200));
}

TEST(ScopeGeometry, WindowPickAndTracePoints) {
    // START of a 400 µs window at code 3 lies at W x 100 / 1024.
    EXPECT_EQ(zns::ScopeTimeX(1024, 400, 3), 100);
    EXPECT_EQ(zns::ScopeTimeX(512, 200, 2), 50);
    EXPECT_FALSE(zns::ScopePickDrawn(0));
    EXPECT_FALSE(zns::ScopePickDrawn(-1));
    EXPECT_FALSE(zns::ScopePickDrawn(65535));
    EXPECT_TRUE(zns::ScopePickDrawn(412));
    // Gain 1 draws unscaled; gain 4 clamps 10000 to full scale, the top row.
    EXPECT_EQ(zns::ScopeTraceY(200, 10000, 1), 69);
    EXPECT_EQ(zns::ScopeTraceY(200, 10000, 4), 1);
    for (int gain : {1, 2, 64, 65536, 1 << 30})
        for (int s : {-32768, -32767, 0, 32767}) {
            const int y = zns::ScopeTraceY(200, s, gain);
            EXPECT_GE(y, 0);
            EXPECT_LE(y, 199);
        }
    EXPECT_EQ(zns::ScopeTraceX(512, 256, 128), 256);
    EXPECT_EQ(zns::ScopeTraceX(512, 0, 3), 0);
}

// ---------------------------------------------------------------------------
// Pixels

class ScopeTest : public ::testing::Test {
protected:
    void SetUp() override {
        scope = std::make_unique<CWaveCtrl>(shared);
        scope->resize(512, 200);
        scope->show();
        zns::ui::PumpEvents(0);
    }

    const QImage& Draw() {
        scope->DrawTrace();
        return scope->Bitmap();
    }

    SharedData shared;
    std::unique_ptr<CWaveCtrl> scope;
};

TEST_F(ScopeTest, TraceOffShowsGridLabelAndNothingElse) {
    std::vector<int16_t> s(256, 12000);
    scope->SetWaveData(s.data(), 256, 0, 10, 200, 300, 1, 1, false);
    const QImage& img = Draw();
    ASSERT_FALSE(img.isNull());
    const QRgb grid = RgbOf(CWaveCtrl::kGridColor);
    EXPECT_EQ(Pixel(img, 300, 50), grid);
    EXPECT_EQ(Pixel(img, 300, 100), grid);
    EXPECT_EQ(Pixel(img, 300, 150), grid);
    EXPECT_EQ(Pixel(img, 300, 60), qRgb(0, 0, 0));
    // "TRACE : OFF" in yellow just above the middle; "0µs" at the top left.
    EXPECT_GT(CountColor(img, QRect(10, 80, 120, 20), RgbOf(CWaveCtrl::kTextColor)), 20);
    EXPECT_GT(CountColor(img, QRect(0, 0, 30, 14), RgbOf(CWaveCtrl::kTextColor)), 5);
    // No vertical grid, trace, threshold or window.
    EXPECT_EQ(Pixel(img, 125, 120), qRgb(0, 0, 0));
    EXPECT_EQ(CountColor(img, img.rect(), RgbOf(CWaveCtrl::kTraceColor)), 0);
    EXPECT_EQ(CountColor(img, img.rect(), RgbOf(CWaveCtrl::kThresholdColor)), 0);
    EXPECT_EQ(CountColor(img, img.rect(), RgbOf(CWaveCtrl::kStartColor)), 0);
}

TEST_F(ScopeTest, GridWindowThresholdAndPickPositions) {
    const std::vector<int16_t> s = zns::test::SonicTrace(512, 4, 400, 9000);
    scope->SetWaveData(s.data(), 512, 2, 10, 200, 900, 1, 1, false);
    const QImage& img = Draw();
    const QRgb grid = RgbOf(CWaveCtrl::kGridColor);
    // Time grid at 125, 250, 375, 500 from row 8 down (labels above).
    for (int x : {125, 250, 375, 500}) {
        EXPECT_EQ(Pixel(img, x, 30), grid) << x;
        EXPECT_EQ(Pixel(img, x, 120), grid) << x;
    }
    // Threshold: dotted red on row trunc(98.05).
    EXPECT_GT(CountColor(img, QRect(0, 98, 512, 1), RgbOf(CWaveCtrl::kThresholdColor)), 100);
    EXPECT_EQ(CountColor(img, QRect(0, 97, 512, 1), RgbOf(CWaveCtrl::kThresholdColor)), 0);
    // START at 200 µs: x = 512 / 1024 x (200 / 2) = 50; STOP at 900 µs: 225.
    EXPECT_GT(CountColor(img, QRect(50, 0, 1, 150), RgbOf(CWaveCtrl::kStartColor)), 30);
    EXPECT_GT(CountColor(img, QRect(225, 0, 1, 150), RgbOf(CWaveCtrl::kStopColor)), 30);
    EXPECT_EQ(CountColor(img, QRect(51, 0, 1, 150), RgbOf(CWaveCtrl::kStartColor)), 0);
    // The pick: a white column where the picker puts the arrival.
    const int t = PickFirstArrival(s.data(), 4, 512, 200, 900, 137);
    ASSERT_TRUE(t > 380 && t < 420) << t;
    EXPECT_EQ(scope->LastPick(), t);
    const int xp = zns::ScopeTimeX(512, t, 2);
    EXPECT_GT(CountColor(img, QRect(xp, 0, 1, 170), RgbOf(CWaveCtrl::kPickColor)), 120);
    // The trace: green, inside the plot, at the computed points.
    EXPECT_GT(CountColor(img, img.rect(), RgbOf(CWaveCtrl::kTraceColor)), 400);
    const int i = 200;  // a sample of the burst
    EXPECT_EQ(Pixel(img, zns::ScopeTraceX(512, 512, i), zns::ScopeTraceY(200, s[i], 1)),
              RgbOf(CWaveCtrl::kTraceColor));
}

TEST_F(ScopeTest, GainClampsTheTraceToThePlotAndZeroGainIsSafe) {
    std::vector<int16_t> s(256, 10000);
    scope->SetWaveData(s.data(), 256, 1, 10, 200, 300, 0, 4, false);
    const QImage& img = Draw();
    EXPECT_EQ(Pixel(img, 100, 1), RgbOf(CWaveCtrl::kTraceColor));
    EXPECT_EQ(CountColor(img, QRect(0, 2, 512, 198), RgbOf(CWaveCtrl::kTraceColor)), 0);
    // Gain 0 is taken as 1 (the threshold divides by it).
    scope->SetWaveData(s.data(), 256, 1, 10, 200, 300, 1, 0, false);
    EXPECT_EQ(scope->Gain(), 1);
    const QImage& img2 = Draw();
    EXPECT_EQ(Pixel(img2, 100, 69), RgbOf(CWaveCtrl::kTraceColor));
}

TEST_F(ScopeTest, NoPickLineWithoutAPick) {
    std::vector<int16_t> s(512, 0);  // silence: nothing crosses the threshold
    scope->SetWaveData(s.data(), 512, 2, 10, 200, 900, 1, 1, false);
    const QImage& img = Draw();
    EXPECT_EQ(scope->LastPick(), 0);
    EXPECT_EQ(CountColor(img, QRect(0, 20, 512, 150), RgbOf(CWaveCtrl::kPickColor)), 0);
}

TEST_F(ScopeTest, SampleCountIsCutAndCaptionsGoWithTheFirstTrace) {
    std::vector<int16_t> s(5000, 100);
    EXPECT_EQ(scope->CaptionFlag(), 1);
    scope->m_strCaption1 = "---";
    scope->m_strCaption2 = "Wide";
    const QImage& before = Draw();
    EXPECT_GT(CountColor(before, QRect(0, 0, 40, 16), RgbOf(CWaveCtrl::kCaption1Color)), 3);
    EXPECT_GT(CountColor(before, QRect(0, 180, 60, 20), RgbOf(CWaveCtrl::kCaption2Color)), 3);
    scope->SetWaveData(s.data(), 5000, 1, 10, 200, 300, 0, 1, false);
    EXPECT_EQ(scope->SampleCount(), 4096);
    EXPECT_EQ(scope->CaptionFlag(), 0);
    const QImage& after = Draw();
    EXPECT_EQ(CountColor(after, QRect(0, 0, 40, 16), RgbOf(CWaveCtrl::kCaption1Color)), 0);
    scope->SetWaveData(nullptr, 100, 1, 10, 200, 300, 0, 1, false);
    EXPECT_EQ(scope->SampleCount(), 0);
    scope->SetWaveData(s.data(), -4, 1, 10, 200, 300, 0, 1, false);
    EXPECT_EQ(scope->SampleCount(), 0);
}

TEST_F(ScopeTest, ChannelSettingsComeFromTheReceiver) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.FA[1] = {-20, 300, 700, 1};
    }
    scope->m_nChannel = RX2_ID;
    scope->ClearTrace();
    EXPECT_EQ(scope->ThresholdLevel(), 107);
    EXPECT_EQ(scope->WindowStart(), 300);
    EXPECT_EQ(scope->WindowEnd(), 700);
    EXPECT_EQ(scope->UseFlag(), 1);
    EXPECT_TRUE(scope->RefreshPending());
    EXPECT_EQ(scope->PendingTimerId(), CWaveCtrl::kRefreshTimerId);
    scope->OnTimer(CWaveCtrl::kRefreshTimerId);
    EXPECT_FALSE(scope->RefreshPending());
}

TEST_F(ScopeTest, SecondRequestWhilePendingStartsNoSecondTimer) {
    scope->StartRefreshTimer();
    EXPECT_TRUE(scope->IsTimerSet(CWaveCtrl::kRefreshTimerId));
    scope->KillTimer(CWaveCtrl::kRefreshTimerId);  // as if the first were still in flight
    scope->StartRefreshTimer();
    EXPECT_FALSE(scope->IsTimerSet(CWaveCtrl::kRefreshTimerId));
    scope->OnTimer(CWaveCtrl::kRefreshTimerId);
    scope->StartRefreshTimer();
    EXPECT_TRUE(scope->IsTimerSet(CWaveCtrl::kRefreshTimerId));
}

class RecordingOwner : public IScopeNotifyOwner {
public:
    long OnScopeNotify(unsigned idFrom, const ScopeNotify& n) override {
        ids.push_back(idFrom);
        seen.push_back(n);
        return 7;
    }
    std::vector<unsigned> ids;
    std::vector<ScopeNotify> seen;
};

TEST_F(ScopeTest, MouseActionsReachTheOwner) {
    RecordingOwner owner;
    EXPECT_EQ(scope->NotifyOwner(0, 1, 2, CWaveCtrl::kNotifyMouseMove), 0);  // nobody to tell
    scope->SetOwner(&owner);
    scope->m_nChannel = RX3_ID;
    QTest::mousePress(scope.get(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    QTest::mouseRelease(scope.get(), Qt::LeftButton, Qt::NoModifier, QPoint(31, 41));
    EXPECT_EQ(scope->NotifyOwner(zns::MK_LBUTTON, 5, 6, CWaveCtrl::kNotifyMouseMove), 7);
    ASSERT_EQ(owner.seen.size(), 3u);
    EXPECT_EQ(owner.ids[0], 1239u);
    EXPECT_EQ(owner.seen[0].hdr.code, static_cast<unsigned>(-725));
    EXPECT_EQ(owner.seen[0].hdr.idFrom, 1239u);
    EXPECT_EQ(owner.seen[0].hdr.hwndFrom, scope.get());
    EXPECT_EQ(owner.seen[0].channel, 2003);
    EXPECT_EQ(owner.seen[0].flags, zns::MK_LBUTTON);
    EXPECT_EQ(owner.seen[0].x, 30);
    EXPECT_EQ(owner.seen[0].y, 40);
    EXPECT_EQ(owner.seen[1].hdr.code, static_cast<unsigned>(-726));
    EXPECT_EQ(owner.seen[1].flags, 0u);
    EXPECT_EQ(owner.seen[2].hdr.code, static_cast<unsigned>(-727));
}

TEST_F(ScopeTest, DoubleClickRunsTheCursorDialogThenReloads) {
    int runs = 0;
    CWaveCtrl::SetCursorDialog([&](CWaveCtrl& w) {
        ++runs;
        EXPECT_EQ(&w, scope.get());
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.FA[0].StartWindow = 444;
    });
    QTest::mouseDClick(scope.get(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    CWaveCtrl::SetCursorDialog(nullptr);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(scope->WindowStart(), 444);
}

// Workers feed the scope while the GUI thread draws: no wait, no race, the
// last trace is what ends up drawn.
TEST_F(ScopeTest, FedFromAWorkerWhileTheGuiDraws) {
    std::atomic<bool> done{false};
    std::atomic<long long> slowestUs{0};
    std::thread worker([&] {
        std::vector<int16_t> s = zns::test::SonicTrace(512, 4, 400, 6000);
        for (int k = 0; k < 400; ++k) {
            s[0] = static_cast<int16_t>(k);
            const auto t0 = std::chrono::steady_clock::now();
            scope->SetWaveData(s.data(), k == 399 ? 300 : 512, 2, 10, 200, 900, 1, 1 + k % 3, true);
            const long long us =
                std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
            if (us > slowestUs.load()) slowestUs.store(us);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        done.store(true);
    });
    while (!done.load()) zns::ui::PumpEvents(5);
    worker.join();
    zns::ui::PumpEvents(120);
    EXPECT_FALSE(scope->RefreshPending());
    EXPECT_EQ(scope->SampleCount(), 300);
    EXPECT_GT(CountColor(scope->Bitmap(), scope->Bitmap().rect(), RgbOf(CWaveCtrl::kTraceColor)), 100);
    EXPECT_LT(slowestUs.load(), 50000);  // a copy and a post, never a drawing
}

TEST_F(ScopeTest, ScreenshotWithSyntheticTrace) {
    scope->resize(640, 220);
    zns::ui::PumpEvents(0);
    const std::vector<int16_t> s = zns::test::SonicTrace(512, 4, 420, 14000);
    scope->SetWaveData(s.data(), 512, 2, 10, 250, 900, 1, 1, true);
    zns::ui::PumpEvents(120);
    const QImage shot = scope->grab().toImage();
    EXPECT_EQ(shot.size(), QSize(640, 220));
    EXPECT_TRUE(shot.save(QString::fromStdString(zns::test::ArtifactPath("scope.png"))));
}

}  // namespace
