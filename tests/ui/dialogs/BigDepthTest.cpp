// The depth magnifier: speed colours against the logging-speed limit, replay and
// idle texts, placement in the window layout.
#include <gtest/gtest.h>

#include "DialogTestUtil.h"
#include "records/SharedRecords.h"
#include "platform/ui/TestApp.h"
#include "settings/Preferences.h"
#include "ui/controls/GraphicCounterCtrl.h"
#include "ui/dialogs/BigDepth.h"

namespace {

class BigDepthTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.sondeDb.SondeLength = 250;
        BigDepthHooks hooks;
        hooks.maxLoggingSpeed = [] { return 28.11; };
        hooks.mainWindowRect = [] { return QRect(100, 50, 700, 500); };
        big = std::make_unique<CBigDepth>(shared, settings);
        big->SetHooks(hooks);
        big->SetRawDepthFlag(&rawDepth);
        big->Create();
    }
    void Feed(double depth, double speed, int link, uint8_t mode) {
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            shared.live.Depth = depth;
            shared.live.Speed = speed;
            shared.sonde.Mode = mode;
        }
        shared.m_nLinkState = link;
        big->RequestUpdate();
        EXPECT_TRUE(big->IsTimerSet(CBigDepth::kRefreshTimerId));
        big->OnTimer(CBigDepth::kRefreshTimerId);
        EXPECT_FALSE(big->IsTimerSet(CBigDepth::kRefreshTimerId));
    }
    void SetReplay(bool loaded, bool running) {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.ReplayLoaded = loaded;
        shared.session.Running = running;
    }
    ::WindowPlacement& Stored() { return settings.layout.placement[LAYOUT_MAGNIFIER]; }

    SharedData shared;
    SettingsData settings;
    std::atomic<bool> rawDepth{false};
    std::unique_ptr<CBigDepth> big;
};

TEST_F(BigDepthTest, SpeedColourRisesToRedAndBlinksPastTheLimit) {
    big->ShowMagnifier();
    zns::ui::PumpEvents(0);
    const struct {
        double speed;
        uint32_t color;
        bool blink;
    } cases[] = {{20.0, 0x00FFFF, false}, {26.62, 0x00FCFF, false}, {-27.0, 0x009BFF, false},
                 {27.6, 0x0001FF, false}, {27.61, 0x0000FF, true},  {26.0, 0x00FFFF, false}};
    for (const auto& c : cases) {
        Feed(100.0, c.speed, LINK_WAVES, 0x40 | RECMODE_UP);
        EXPECT_EQ(big->SpeedCounter()->TextColor(), c.color) << c.speed;
        EXPECT_EQ(big->SpeedBlinking(), c.blink) << c.speed;
        EXPECT_EQ(big->SpeedCounter()->IsBlinkOn(), c.blink) << c.speed;
    }
    // Time mode warns in yellow only.
    Feed(100.0, 40.0, LINK_WAVES, RECMODE_TIME);
    EXPECT_EQ(big->SpeedCounter()->TextColor(), 0x00FFFFu);
    EXPECT_FALSE(big->SpeedBlinking());
}

TEST_F(BigDepthTest, LiveDepthIsCorrectedBySondeLengthUnlessRaw) {
    big->ShowMagnifier();
    zns::ui::PumpEvents(0);
    Feed(100.0, 3.5, LINK_WAVES, RECMODE_DOWN);
    EXPECT_EQ(big->DepthCounter()->GetText(), "97.50");
    EXPECT_EQ(big->SpeedCounter()->GetText(), "3.50");
    EXPECT_EQ(big->DepthCounter()->TextColor(), CBigDepth::kLiveText);
    rawDepth = true;
    Feed(100.0, 3.5, LINK_WAVES, RECMODE_DOWN);
    EXPECT_EQ(big->DepthCounter()->GetText(), "100.00");
    zns::ui::PumpEvents(50);
    EXPECT_TRUE(zns::test::SaveShot(*big, "depth_magnifier.png"));
}

TEST_F(BigDepthTest, ReplayShowsInReplayColourAndStoppedReplayIsBlank) {
    big->ShowMagnifier();
    zns::ui::PumpEvents(0);
    SetReplay(true, true);
    Feed(12.3, 0.0, LINK_IDLE, 0);
    EXPECT_EQ(big->DepthCounter()->GetText(), "12.30");
    EXPECT_EQ(big->SpeedCounter()->GetText(), "");
    EXPECT_EQ(big->DepthCounter()->TextColor(), CBigDepth::kReplayText);
    SetReplay(true, false);
    Feed(12.3, 1.0, LINK_IDLE, 0);
    EXPECT_EQ(big->DepthCounter()->GetText(), "");
    EXPECT_EQ(big->SpeedCounter()->GetText(), "");
}

TEST_F(BigDepthTest, FirstShowCentresUnderTheMainWindowAndStoresThePlacement) {
    ASSERT_FALSE(Stored().IsPresent());
    const int w = big->width();
    big->ShowMagnifier();
    EXPECT_TRUE(big->isVisible());
    EXPECT_EQ(big->geometry().topLeft(), QPoint(100 + (700 - w) / 2, 200));
    EXPECT_EQ(Stored().length, 44u);
    EXPECT_EQ(Stored().left, 100 + (700 - w) / 2);
    EXPECT_EQ(Stored().top, 200);

    // A double click hides it and keeps where it was.
    big->setGeometry(QRect(QPoint(40, 60), big->size()));
    big->OnLButtonDblClk();
    EXPECT_FALSE(big->isVisible());
    EXPECT_EQ(Stored().left, 40);
    EXPECT_EQ(Stored().top, 60);
}

TEST_F(BigDepthTest, StoredPlacementIsAppliedAndAlwaysShows) {
    const QSize size = big->size();
    Stored().length = 44;
    Stored().showCmd = SW_HIDE;  // as a damaged layout file could hold it
    Stored().left = 30;
    Stored().top = 40;
    Stored().right = 30 + size.width();
    Stored().bottom = 40 + size.height();
    big->ShowMagnifier();
    EXPECT_TRUE(big->isVisible());
    EXPECT_EQ(big->geometry().topLeft(), QPoint(30, 40));

    // The close box hides it through cancel, storing the placement.
    big->setGeometry(QRect(QPoint(50, 70), big->size()));
    big->close();
    EXPECT_FALSE(big->isVisible());
    EXPECT_EQ(Stored().left, 50);
}

}  // namespace
