#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "platform/ui/TestApp.h"
#include "platform/ui/Wnd.h"

using zns::WindowPlacement;

namespace {

WindowPlacement Make(uint32_t show, int l, int t, int r, int b) {
    WindowPlacement wp;
    wp.length = 44;
    wp.showCmd = show;
    wp.minX = wp.minY = wp.maxX = wp.maxY = -1;
    wp.left = l;
    wp.top = t;
    wp.right = r;
    wp.bottom = b;
    return wp;
}

TEST(PlacementBytes, ElevenLittleEndianFields) {
    // The default main-window placement of a fresh layout file.
    WindowPlacement wp;
    wp.length = 44;
    wp.left = 10;
    wp.top = 10;
    wp.right = 700;
    wp.bottom = 500;
    const auto b = wp.ToBytes();
    ASSERT_EQ(b.size(), 44u);
    EXPECT_EQ(b[0], 44);
    for (int i = 1; i < 28; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(b[28], 10);
    EXPECT_EQ(b[32], 10);
    EXPECT_EQ(b[36], 700 & 0xFF);
    EXPECT_EQ(b[37], 700 >> 8);
    EXPECT_EQ(b[40], 500 & 0xFF);
    EXPECT_EQ(b[41], 500 >> 8);

    // Negative coordinates (a window on a screen left of the primary one).
    WindowPlacement n = Make(SW_SHOWMAXIMIZED, -1280, -4, -300, 700);
    n.flags = WPF_RESTORETOMAXIMIZED;
    const auto nb = n.ToBytes();
    EXPECT_EQ(nb[28], 0x00);
    EXPECT_EQ(nb[29], 0xFB);
    EXPECT_EQ(nb[30], 0xFF);
    EXPECT_EQ(nb[31], 0xFF);
    EXPECT_EQ(WindowPlacement::Decode(nb.data()), n);
}

TEST(PlacementBytes, PresentOnlyWithALengthOf1To999) {
    WindowPlacement wp;
    for (uint32_t len : {0u, 1000u, 0xFFFFFFFFu}) {
        wp.length = len;
        EXPECT_FALSE(wp.IsPresent()) << len;
    }
    for (uint32_t len : {1u, 44u, 999u}) {
        wp.length = len;
        EXPECT_TRUE(wp.IsPresent()) << len;
    }
}

TEST(PlacementWindow, RoundTripThroughTheRecord) {
    CWnd w;
    const WindowPlacement in = Make(SW_SHOWNORMAL, 30, 40, 430, 340);
    ASSERT_TRUE(w.SetWindowPlacement(in));
    EXPECT_TRUE(w.isVisible());
    WindowPlacement out;
    ASSERT_TRUE(w.GetWindowPlacement(out));
    EXPECT_EQ(out, in);

    // Through the 44 bytes and back onto a second window.
    CWnd w2;
    uint8_t bytes[44];
    out.Encode(bytes);
    w2.SetWindowPlacement(WindowPlacement::Decode(bytes));
    WindowPlacement out2;
    w2.GetWindowPlacement(out2);
    EXPECT_EQ(out2, in);
}

TEST(PlacementWindow, MaximisedKeepsTheNormalRectangle) {
    CWnd w;
    const WindowPlacement in = Make(SW_SHOWMAXIMIZED, 20, 30, 320, 230);
    w.SetWindowPlacement(in);
    zns::ui::PumpEvents(20);
    EXPECT_TRUE(w.isMaximized());
    WindowPlacement out;
    w.GetWindowPlacement(out);
    EXPECT_EQ(out.showCmd, static_cast<uint32_t>(SW_SHOWMAXIMIZED));
    EXPECT_EQ(out.left, 20);
    EXPECT_EQ(out.top, 30);
    EXPECT_EQ(out.right, 320);
    EXPECT_EQ(out.bottom, 230);

    w.SetWindowPlacement(Make(SW_SHOWNORMAL, 50, 60, 250, 160));
    zns::ui::PumpEvents(20);
    EXPECT_FALSE(w.isMaximized());
    EXPECT_EQ(w.geometry(), QRect(50, 60, 200, 100));
}

TEST(PlacementWindow, KeptOnAVisibleScreen) {
    CWnd w;
    w.SetWindowPlacement(Make(SW_SHOWNORMAL, 9000, 9000, 9400, 9300));
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(avail.intersects(w.geometry()));
    EXPECT_EQ(w.size(), QSize(400, 300));

    // Partly off screen but with its top band visible: left where it is.
    const int x = avail.right() - 100;
    w.SetWindowPlacement(Make(SW_SHOWNORMAL, x, avail.top() + 10, x + 400, avail.top() + 310));
    EXPECT_EQ(w.geometry().topLeft(), QPoint(x, avail.top() + 10));
}

TEST(PlacementWindow, DamagedRectangleKeepsTheGeometryAndHideHides) {
    CWnd w;
    w.setGeometry(10, 20, 200, 100);
    w.show();
    w.SetWindowPlacement(Make(SW_HIDE, 500, 500, 100, 100));
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.geometry(), QRect(10, 20, 200, 100));
}

TEST(PlacementWindow, ChildWindowsUseParentCoordinates) {
    CWnd parent;
    parent.resize(400, 300);
    auto* child = new CWnd(&parent);
    child->SetWindowPlacement(Make(SW_SHOWNORMAL, 5, 6, 105, 56));
    EXPECT_EQ(child->geometry(), QRect(5, 6, 100, 50));
    WindowPlacement out;
    child->GetWindowPlacement(out);
    EXPECT_EQ(out.right, 105);
    EXPECT_EQ(out.bottom, 56);
}

}  // namespace
