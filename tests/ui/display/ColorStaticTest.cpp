// The colour static: colours, the shared blink timer and its quirk.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include "DisplayTestUtil.h"
#include "platform/ui/TestApp.h"
#include "ui/controls/ColorStaticST.h"

using zns::test::Pixel;
using zns::test::RgbOf;

namespace {

class ColorStaticTest : public ::testing::Test {
protected:
    void SetUp() override {
        st.resize(80, 20);
        st.SetTextColor(0x000000);
        st.SetBkColor(0x00FF00);
        st.SetBlinkTextColors(0x111111, 0x222222);
        st.SetBlinkBkColors(0x0000FF, 0xFF0000);
    }
    QRgb BackPixel() {
        QImage img(st.size(), QImage::Format_RGB32);
        st.render(&img);
        return Pixel(img, 1, 1);
    }
    CColorStaticST st;
};

TEST_F(ColorStaticTest, PlainColoursAndSystemDefaults) {
    EXPECT_EQ(st.CtlColor().text, 0x000000u);
    EXPECT_EQ(st.CtlColor().back, 0x00FF00u);
    EXPECT_EQ(BackPixel(), RgbOf(0x00FF00));
    st.SetBkColor(0xFFFFFFFFu);
    EXPECT_EQ(st.GetBkColor(), CColorStaticST::SysBtnFaceColor());
    st.SetTextColor(0xFFFFFFFFu);
    EXPECT_EQ(st.GetTextColor(), CColorStaticST::SysBtnTextColor());
    CColorStaticST fresh;
    EXPECT_EQ(fresh.CtlColor().back, CColorStaticST::SysBtnFaceColor());
    EXPECT_EQ(fresh.CtlColor().text, CColorStaticST::SysBtnTextColor());
}

TEST_F(ColorStaticTest, TextAndBackgroundBlinkInStepOnOneTimer) {
    st.StartTextBlink(1, 1);
    st.StartBkBlink(1, 2);
    EXPECT_TRUE(st.BlinkTimerRunning());
    EXPECT_EQ(st.CtlColor().text, 0x111111u);
    EXPECT_EQ(st.CtlColor().back, 0x0000FFu);
    EXPECT_EQ(BackPixel(), RgbOf(0x0000FF));
    st.OnTimer(CColorStaticST::kBlinkTimerId);
    EXPECT_EQ(st.CtlColor().text, 0x222222u);
    EXPECT_EQ(st.CtlColor().back, 0xFF0000u);
    EXPECT_EQ(BackPixel(), RgbOf(0xFF0000));
    st.OnTimer(CColorStaticST::kBlinkTimerId);
    EXPECT_EQ(st.TextBlinkPhase(), 0);
    EXPECT_EQ(st.BkBlinkPhase(), 0);
    st.OnTimer(99);  // another timer changes nothing
    EXPECT_EQ(st.TextBlinkPhase(), 0);
}

TEST_F(ColorStaticTest, StoppingOneKindStopsTheOthersTimer) {
    st.StartBkBlink(1, 1);
    st.OnTimer(CColorStaticST::kBlinkTimerId);
    ASSERT_EQ(st.BkBlinkPhase(), 1);
    st.StartTextBlink(0, 1);
    // The background keeps its phase and its blink flag, but nothing drives it.
    EXPECT_FALSE(st.BlinkTimerRunning());
    EXPECT_TRUE(st.IsBkBlinking());
    EXPECT_EQ(st.BkBlinkPhase(), 1);
    EXPECT_EQ(st.CtlColor().back, 0xFF0000u);
    EXPECT_EQ(st.CtlColor().text, 0x000000u);
    zns::ui::PumpEvents(1200);
    EXPECT_EQ(st.BkBlinkPhase(), 1);
    // Starting either again restarts the one timer for both.
    st.StartTextBlink(1, 1);
    EXPECT_TRUE(st.BlinkTimerRunning());
    EXPECT_EQ(st.BkBlinkPhase(), 1);
    st.OnTimer(CColorStaticST::kBlinkTimerId);
    EXPECT_EQ(st.BkBlinkPhase(), 0);
    EXPECT_EQ(st.TextBlinkPhase(), 1);
}

TEST_F(ColorStaticTest, OnlyOnOneStartsTheTimer) {
    st.StartTextBlink(2, 1);  // non-zero flag, yet no timer
    EXPECT_TRUE(st.IsTextBlinking());
    EXPECT_FALSE(st.BlinkTimerRunning());
    st.StartTextBlink(1, 0);
    EXPECT_TRUE(st.BlinkTimerRunning());
    st.OnDestroy();
    EXPECT_FALSE(st.BlinkTimerRunning());
}

TEST_F(ColorStaticTest, RealTimerBlinks) {
    st.show();
    st.StartBkBlink(1, 20);  // 20 ms
    zns::ui::PumpEvents(150);
    st.StartBkBlink(0, 0);
    EXPECT_FALSE(st.BlinkTimerRunning());
    EXPECT_EQ(st.BkBlinkPhase(), 0);
}

TEST(ColorStaticShot, Screenshot) {
    QWidget host;
    host.resize(260, 40);
    auto* plain = new CColorStaticST("SN: 4711", &host);
    plain->setGeometry(4, 4, 80, 32);
    plain->setAlignment(Qt::AlignCenter);
    plain->SetBkColor(0xD3D0C9);
    auto* blinking = new CColorStaticST("SN : -", &host);
    blinking->setGeometry(88, 4, 80, 32);
    blinking->setAlignment(Qt::AlignCenter);
    blinking->SetBlinkTextColors(0x000000, 0xFFFFFF);
    blinking->SetBlinkBkColors(0xD3D0C9, 0x0000FF);
    blinking->StartTextBlink(1, 1);
    blinking->StartBkBlink(1, 1);
    blinking->OnTimer(CColorStaticST::kBlinkTimerId);  // second phase
    auto* framed = new CColorStaticST("10", &host);
    framed->setGeometry(172, 4, 80, 32);
    framed->setAlignment(Qt::AlignCenter);
    framed->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    framed->SetBkColor(0x00FFFF);
    host.show();
    zns::ui::PumpEvents(0);
    const QImage shot = host.grab().toImage();
    EXPECT_EQ(Pixel(shot, 90, 6), RgbOf(0x0000FF));
    EXPECT_TRUE(shot.save(QString::fromStdString(zns::test::ArtifactPath("color_static.png"))));
}

}  // namespace
