// The trace image control offscreen: real fonts, the real picker, timer 404,
// painting, records from a worker thread, and a screenshot fed with
// synthetic sonic traces.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "link/Picker.h"
#include "records/SharedRecords.h"
#include "sim/SimLogger.h"
#include "sim/SimSignal.h"
#include "ui/controls/DrawerZNSCtrl.h"
#include "../../support/OffscreenApp.h"

using namespace zns;

namespace {

using testsupport::App;

void WaitFor(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class DrawerTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ctrl = std::make_unique<CDrawerZNSCtrl>(shared);
        ASSERT_TRUE(ctrl->Create(0x10000000, QRect(0, 0, 818, 406), nullptr, 1017));
        ctrl->ClearImage();
        for (int i = 0; i < 512; ++i) {
            flat[i] = 0;
            ramp[i] = static_cast<int16_t>(i * 64 - 16384);
        }
    }

    // A record at depthCm (half a cm added so the metres truncate back to it).
    void Add(int depthCm, int mode = 11, int scale = 100, int interval = 2, const int16_t* l = nullptr,
             const int16_t* r = nullptr, uint16_t count = 512) {
        const int16_t* a = l ? l : ramp;
        const int16_t* b = r ? r : ramp;
        const int code = count == 256 ? 1 : 2;
        ctrl->AddRecord(a, b, b, count, count, count, (depthCm + (depthCm < 0 ? -0.5 : 0.5)) / 100.0, scale, mode,
                        code, code, code, interval, 1, 3);
    }

    SharedData shared;
    std::unique_ptr<CDrawerZNSCtrl> ctrl;
    int16_t flat[512];
    int16_t ramp[512];
};

int CountColour(const QImage& img, int x0, int x1, int y0, int y1, QRgb c) {
    int n = 0;
    for (int y = std::max(0, y0); y < std::min(img.height(), y1); ++y)
        for (int x = x0; x < x1; ++x)
            if (img.pixel(x, y) == c) ++n;
    return n;
}

}  // namespace

TEST_F(DrawerTest, LabelsAreDrawnWithFontsAndNegativeDepthsInRed) {
    for (int cm = -130; cm <= 10; cm += 2) Add(cm);
    ctrl->DrawPending();
    const QImage img = ctrl->ImageView();
    ASSERT_EQ(img.format(), QImage::Format_RGB32);
    ASSERT_EQ(img.size(), QSize(812, 3540));
    EXPECT_EQ(img.pixel(400, 100), ctrl->Core()->BtnFace());  // COLOR_BTNFACE of the palette
    // Rows: -130 cm at 1212, then one row per 2 cm.
    const int rowMinus1 = 1212 + (-100 + 130) / 2;
    const int row0 = 1212 + 130 / 2;
    const QRgb red = 0xFFFF0000u, black = 0xFF000000u;
    // Ticks lie at the column's edges; the text in its middle.
    EXPECT_GT(CountColour(img, 392, 420, rowMinus1 - 8, rowMinus1 + 8, red), 5);
    EXPECT_EQ(CountColour(img, 392, 420, rowMinus1 - 8, rowMinus1 + 8, black), 0);
    EXPECT_GT(CountColour(img, 392, 420, row0 - 8, row0 + 8, black), 5);
    EXPECT_EQ(CountColour(img, 384, 428, row0 - 8, row0 + 8, red), 0);
    // Text stays in the depth column.
    EXPECT_EQ(CountColour(img, 0, 384, rowMinus1 - 8, rowMinus1 + 8, red), 0);
    // Below the label its lower half was kept by the guard.
    EXPECT_GT(CountColour(img, 384, 428, rowMinus1 + 1, rowMinus1 + 8, red), 0);
}

TEST_F(DrawerTest, FirstArrivalMarkFromThePicker) {
    shared.session.FA_LeftColor = 0x0000FF00;   // COLORREF green
    shared.session.FA_RightColor = 0x00FF0000;  // COLORREF blue
    shared.settings.FA[0] = {10, 100, 1800, 1};
    shared.settings.FA[2] = {10, 100, 1800, 1};
    ctrl->BuildPalettes();
    // Silence, a small dip, then a strong rise at sample 120 (480 µs).
    std::vector<int16_t> s(512, 0);
    s[119] = -200;
    for (int i = 120; i < 140; ++i) s[i] = static_cast<int16_t>(3000 + 100 * (i - 120));
    std::vector<int16_t> s256(s.begin(), s.begin() + 256);
    ctrl->AddRecord(s.data(), s.data(), s256.data(), 512, 512, 256, 10.005, 100, 11, 2, 2, 1, 2, 1, 3);
    ctrl->DrawPending();
    const int t512 = PickFirstArrival(s.data(), 4, 512, 100, 1800, 137);
    const int t256 = PickFirstArrival(s256.data(), 4, 256, 100, 1800, 137);
    ASSERT_GT(t512, 0);
    ASSERT_LT(t512, 65535);
    const QImage img = ctrl->ImageView();
    const int xl = static_cast<int>(384.0 / (4 * 512) * t512);
    const int xr = static_cast<int>(384.0 / (4 * 256) * t256);
    EXPECT_EQ(img.pixel(xl, 1212), 0xFF00FF00u);
    EXPECT_EQ(img.pixel(xl + 1, 1212), 0xFF00FF00u);
    EXPECT_EQ(img.pixel(428 + xr, 1212), 0xFF0000FFu);
    EXPECT_EQ(img.pixel(429 + xr, 1212), 0xFF0000FFu);
    EXPECT_EQ(CountColour(img, 0, 384, 1212, 1213, 0xFF00FF00u), 2);
}

TEST_F(DrawerTest, PaintShowsTheWindowUnscaledInRows) {
    // Client 812 wide: tracks at their own width; 400 rows high.
    for (int cm = 1000; cm < 1000 + 2 * 700; cm += 2) Add(cm);
    ctrl->DrawPending();
    const QRect client = ctrl->ClientRect();
    ASSERT_EQ(client.width(), 812);
    ASSERT_EQ(client.height(), 400);
    const QImage shot = ctrl->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage img = ctrl->ImageView();
    // Down: the newest row at the bottom of the client.
    const int srcTop = ctrl->WindowTopRow() + 1180 - 400;
    EXPECT_EQ(srcTop + 399, ctrl->Core()->LastDrawnRow());
    for (int y = 0; y < 400; y += 7)
        for (int x = 0; x < 812; x += 3)
            ASSERT_EQ(shot.pixel(client.left() + x, client.top() + y), img.pixel(x, srcTop + y)) << x << "," << y;
}

TEST_F(DrawerTest, PaintHalvesTheTracksForANarrowClient) {
    ctrl->resize(44 + 2 * 192 + 6, 306);
    for (int cm = 1000; cm < 1400; cm += 2) Add(cm, 10);  // upwards: newest row on top
    ctrl->DrawPending();
    const QRect client = ctrl->ClientRect();
    const QImage shot = ctrl->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage img = ctrl->ImageView();
    const int top = ctrl->WindowTopRow();
    EXPECT_EQ(top, ctrl->Core()->LastDrawnRow());
    for (int y = 0; y < 300; y += 5) {
        for (int x = 0; x < 192; x += 3) {
            // Nearest-column sampling of a 384 -> 192 stretch: one of the two source columns.
            const QRgb got = shot.pixel(client.left() + x, client.top() + y);
            ASSERT_TRUE(got == img.pixel(2 * x, top + y) || got == img.pixel(2 * x + 1, top + y)) << x << "," << y;
        }
        for (int x = 0; x < 44; ++x)
            ASSERT_EQ(shot.pixel(client.left() + 192 + x, client.top() + y), img.pixel(384 + x, top + y));
    }
}

TEST_F(DrawerTest, RepaintDelay) {
    ctrl->SetRefreshTime(50);
    ctrl->resize(818, 46);  // client 40 high: the refresh time
    EXPECT_EQ(ctrl->RepaintDelayMs(), 50);
    ctrl->resize(818, 406);  // client 400 high: 1.1 x 400
    EXPECT_EQ(ctrl->RepaintDelayMs(), 440);
    ctrl->SetRefreshTime(500);
    EXPECT_EQ(ctrl->RepaintDelayMs(), 500);
    shared.session.ReplayLoaded = 1;
    EXPECT_EQ(ctrl->RepaintDelayMs(), 100);
}

TEST_F(DrawerTest, WorkerRecordsAreDrawnOnTimer404) {
    ctrl->SetRefreshTime(50);
    ctrl->resize(818, 46);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        std::vector<int16_t> s(512, 1000);
        for (int i = 0; i < 200; ++i)
            ctrl->AddRecord(s.data(), s.data(), s.data(), 512, 512, 512, 10.0 + i * 0.02, 100, 11, 2, 2, 2, 2, 1, 3);
        done = true;
    });
    worker.join();  // the worker never waited for the GUI
    EXPECT_TRUE(done);
    EXPECT_EQ(ctrl->Core()->LastDrawnRow(), -1);  // nothing drawn on the worker
    WaitFor([&] { return ctrl->PendingTimerId() == CDrawerZNSCtrl::kRepaintTimerId; });
    EXPECT_EQ(ctrl->PendingTimerId(), 404u);
    WaitFor([&] { return ctrl->PendingTimerId() == 0; });
    EXPECT_EQ(ctrl->PendingTimerId(), 0u);
    EXPECT_EQ(ctrl->Core()->LastDrawnRow(), 1212 + 199);
    EXPECT_EQ(ctrl->DroppedRecords(), 0u);

    // A clear from a worker also lands on the GUI thread, in order.
    std::thread clearer([&] { ctrl->ClearImage(); });
    clearer.join();
    WaitFor([&] { return ctrl->Core()->LastDrawnRow() == -1; });
    EXPECT_EQ(ctrl->Core()->WindowTopRow(), 32);
}

TEST_F(DrawerTest, TraceCodeAboveThreeAsksForNoRepaint) {
    ctrl->AddRecord(ramp, ramp, ramp, 512, 512, 512, 10.0, 100, 11, 2, 4, 2, 2, 1, 3);
    EXPECT_EQ(ctrl->PendingTimerId(), 0u);
    ctrl->DrawPending();
    EXPECT_EQ(ctrl->Core()->LastDrawnRow(), -1);
}

TEST_F(DrawerTest, ScreenshotOfSyntheticSonicTraces) {
    // A three-receiver sonde logged down through the simulator's layered formation.
    shared.session.FA_LeftColor = 0x000000FF;   // red
    shared.session.FA_RightColor = 0x0000FF00;  // green
    shared.settings.FA[0] = {8, 150, 1400, 1};
    shared.settings.FA[2] = {40, 150, 1800, 1};
    shared.g_nDisplayGainRx[0] = 2;
    shared.g_nDisplayGainRx[2] = 2;
    ctrl->BuildPalettes();
    ctrl->resize(44 + 2 * 300 + 6, 700);

    const char* names[3] = {"grey", "bwr", "rainbow"};
    QDir().mkpath(QStringLiteral(ZNS_ARTIFACT_DIR));
    for (int palette = 0; palette < 3; ++palette) {
        shared.session.BlackAndWhite = palette;
        ctrl->ClearImage();
        sim::detail::Noise noise(42);
        std::vector<int16_t> rx[3];
        const double offsets[3] = {0.91, 1.22, 1.52};
        for (int i = 0; i < 760; ++i) {
            const double depth = 88.0 + i * 0.02;
            for (int r = 0; r < 3; ++r) {
                sim::detail::TraceParams p;
                p.offsetM = offsets[r];
                p.slowness = sim::SimLogger::FormationSlowness(depth);
                p.gainDb = sim::detail::AutoGainDb(p);
                rx[r].assign(512, 0);
                sim::detail::SynthesizeTrace(p, noise, rx[r].data());
            }
            ctrl->AddRecord(rx[0].data(), rx[1].data(), rx[2].data(), 512, 512, 512, depth, 100, 11, 2, 2, 2, 2, 1,
                            3);
        }
        ctrl->DrawPending();
        const QImage shot = ctrl->grab().toImage();
        const QString path = QStringLiteral(ZNS_ARTIFACT_DIR "/trace_image_%1.png").arg(names[palette]);
        ASSERT_TRUE(shot.save(path)) << path.toStdString();
        // Marks are present in both tracks.
        const QImage img = ctrl->ImageView();
        const int last = ctrl->Core()->LastDrawnRow();
        EXPECT_GT(CountColour(img, 0, 384, last - 300, last + 1, 0xFFFF0000u), 300);
        EXPECT_GT(CountColour(img, 428, 812, last - 300, last + 1, 0xFF00FF00u), 300);
    }
}
