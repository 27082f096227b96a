#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <thread>

#include "platform/ui/Draw.h"
#include "platform/ui/Menu.h"
#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/SpinArrows.h"
#include "platform/ui/StatusBar.h"
#include "platform/ui/TestApp.h"
#include "platform/ui/Wnd.h"

using zns::ui::PumpEvents;

namespace {

struct Scroll {
    unsigned code, pos;
    CSpinArrows* bar;
};

class SpinOwner : public CDialog {
public:
    std::vector<Scroll> scrolls;
    void OnVScroll(unsigned code, unsigned pos, CSpinArrows* bar) override { scrolls.push_back({code, pos, bar}); }
    std::vector<unsigned> Codes() const {
        std::vector<unsigned> c;
        for (const Scroll& s : scrolls) c.push_back(s.code);
        return c;
    }
};

void Mouse(QWidget* w, QEvent::Type type, QPoint p) {
    QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

QPoint Upper(QWidget* w) { return {w->width() / 2, w->height() / 4}; }
QPoint Lower(QWidget* w) { return {w->width() / 2, w->height() * 3 / 4}; }

TEST(SpinArrows, PressAndReleaseNotifyTheOwnerWithTheOwnId) {
    SpinOwner dlg;
    auto* gain = new CSpinArrows(1446, &dlg);
    auto* volts = new CSpinArrows(1448, &dlg);
    gain->SetScrollRange(1446, 1446);
    gain->setGeometry(0, 0, 16, 32);
    volts->setGeometry(20, 0, 16, 32);
    dlg.show();
    EXPECT_EQ(dlg.GetDlgItem(1446), gain);  // registered under its id
    EXPECT_EQ(gain->GetScrollPos(), 1446);

    Mouse(gain, QEvent::MouseButtonPress, Upper(gain));
    Mouse(gain, QEvent::MouseButtonRelease, Upper(gain));
    Mouse(volts, QEvent::MouseButtonPress, Lower(volts));
    Mouse(volts, QEvent::MouseButtonRelease, Lower(volts));

    ASSERT_EQ(dlg.scrolls.size(), 4u);
    EXPECT_EQ(dlg.scrolls[0].code, SB_LINEUP);
    EXPECT_EQ(dlg.scrolls[0].pos, 1446u);
    EXPECT_EQ(dlg.scrolls[0].bar, gain);
    EXPECT_EQ(dlg.scrolls[1].code, SB_ENDSCROLL);
    EXPECT_EQ(dlg.scrolls[2].code, SB_LINEDOWN);
    EXPECT_EQ(dlg.scrolls[2].pos, 1448u);
    EXPECT_EQ(dlg.scrolls[3].code, SB_ENDSCROLL);
    EXPECT_EQ(dlg.scrolls[3].pos, 1448u);
}

TEST(SpinArrows, HoldingRepeatsThenOneEnd) {
    SpinOwner dlg;
    auto* spin = new CSpinArrows(1607, &dlg);
    spin->setGeometry(0, 0, 16, 32);
    dlg.show();
    Mouse(spin, QEvent::MouseButtonPress, Upper(spin));
    PumpEvents(CSpinArrows::kFirstRepeatMs + 3 * CSpinArrows::kRepeatMs + 50);
    Mouse(spin, QEvent::MouseButtonRelease, Upper(spin));
    const auto codes = dlg.Codes();
    ASSERT_GE(codes.size(), 3u);
    for (size_t i = 0; i + 1 < codes.size(); ++i) EXPECT_EQ(codes[i], SB_LINEUP);
    EXPECT_EQ(codes.back(), SB_ENDSCROLL);
    PumpEvents(CSpinArrows::kRepeatMs * 2);
    EXPECT_EQ(dlg.Codes().size(), codes.size());  // no repeats after the release
}

TEST(SpinArrows, DisabledMidPressStillEnds) {
    SpinOwner dlg;
    auto* spin = new CSpinArrows(1236, &dlg);
    spin->setGeometry(0, 0, 16, 32);
    dlg.show();
    Mouse(spin, QEvent::MouseButtonPress, Lower(spin));
    spin->setEnabled(false);
    EXPECT_EQ(dlg.Codes(), (std::vector<unsigned>{SB_LINEDOWN, SB_ENDSCROLL}));
}

// The release goes to whatever took the input: no step may repeat after it.
TEST(SpinArrows, APressEndsWhenAnotherWindowTakesTheInput) {
    struct BoxOwner : SpinOwner {
        bool box = true;
        void OnVScroll(unsigned code, unsigned pos, CSpinArrows* bar) override {
            SpinOwner::OnVScroll(code, pos, bar);
            if (box && code == SB_LINEUP) MessageBox("Please enter a number.");
        }
    };
    zns::ui::ScriptedUiService ui;
    zns::ui::ScopedService scoped(ui);
    BoxOwner dlg;
    auto* spin = new CSpinArrows(1448, &dlg);
    spin->setGeometry(0, 0, 16, 32);
    dlg.show();
    const std::vector<unsigned> ended{SB_LINEUP, SB_ENDSCROLL};
    Mouse(spin, QEvent::MouseButtonPress, Upper(spin));
    EXPECT_EQ(dlg.Codes(), ended);
    PumpEvents(CSpinArrows::kFirstRepeatMs + 2 * CSpinArrows::kRepeatMs);
    Mouse(spin, QEvent::MouseButtonRelease, Upper(spin));
    EXPECT_EQ(dlg.Codes(), ended);

    // Another window becomes the active one in the middle of a press.
    dlg.box = false;
    dlg.scrolls.clear();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    Mouse(spin, QEvent::MouseButtonPress, Upper(spin));
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_FALSE(dlg.Codes().empty());
    EXPECT_EQ(dlg.Codes().back(), SB_ENDSCROLL);
    const size_t n = dlg.Codes().size();
    PumpEvents(CSpinArrows::kFirstRepeatMs + 2 * CSpinArrows::kRepeatMs);
    EXPECT_EQ(dlg.Codes().size(), n);
}

TEST(SpinArrows, KeysActLikeArrows) {
    SpinOwner dlg;
    auto* spin = new CSpinArrows(1445, &dlg);
    dlg.show();
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(spin, &down);
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(spin, &up);
    EXPECT_EQ(dlg.Codes(), (std::vector<unsigned>{SB_LINEUP, SB_ENDSCROLL}));
}

class MenuWnd : public CDialog {
public:
    std::vector<unsigned> seen;
    BOOL OnCommand(unsigned id) override {
        seen.push_back(id);
        return CDialog::OnCommand(id);
    }
};

TEST(Menu, ItemsByIdGreyCheckAndCommand) {
    MenuWnd w;
    w.resize(400, 300);
    CMenu menu;
    QMenu* file = menu.AddPopup("&File");
    menu.AppendMenu(file, 115, "&Print");
    menu.AppendMenu(file, 92, "&Auto Print");
    menu.AppendSeparator(file);
    menu.AppendMenu(file, 102, "&Exit");
    ASSERT_TRUE(w.SetMenu(&menu));

    EXPECT_EQ(menu.EnableMenuItem(115, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
    EXPECT_EQ(menu.GetMenuState(115), MF_GRAYED);
    EXPECT_EQ(menu.EnableMenuItem(115, MF_ENABLED), MF_GRAYED);
    EXPECT_EQ(menu.EnableMenuItem(4242, MF_GRAYED), MENU_ITEM_NOT_FOUND);

    EXPECT_EQ(menu.CheckMenuItem(92, MF_CHECKED), MF_UNCHECKED);
    EXPECT_EQ(menu.GetMenuState(92), MF_CHECKED);
    // A click sends the command; the check mark stays the program's business.
    menu.FindAction(92)->trigger();
    EXPECT_EQ(w.seen, (std::vector<unsigned>{92}));
    EXPECT_EQ(menu.GetMenuState(92), MF_CHECKED);
    EXPECT_TRUE(menu.FindAction(92)->isChecked());

    // The client area starts below the menu bar.
    w.show();
    EXPECT_GT(w.GetClientRect().top(), 0);
    EXPECT_EQ(w.GetClientRect().top(), menu.GetMenuBar()->geometry().bottom() + 1);

    ASSERT_TRUE(w.SetMenu(nullptr));
    EXPECT_EQ(w.GetClientRect().top(), 0);
    menu.FindAction(102)->trigger();
    EXPECT_EQ(w.seen.size(), 1u);  // detached: no longer this window's
}

TEST(Menu, DestroyedWindowLeavesTheMenuSafe) {
    CMenu menu;
    menu.AppendMenu(menu.AddPopup("&Tools"), 32771, "&Communication");
    {
        MenuWnd w;
        w.SetMenu(&menu);
    }  // the window took the bar with it
    EXPECT_EQ(menu.GetMenuBar(), nullptr);
    EXPECT_EQ(menu.EnableMenuItem(32771, MF_GRAYED), MENU_ITEM_NOT_FOUND);
}

TEST(StatusBar, PartsTextsIconsFromAnyThread) {
    CWnd w;
    auto* bar = new CStatusBarCtrl(&w, 1036, true);
    bar->setGeometry(0, 0, 800, 22);
    const int W = 800;
    const int edges[8] = {W - 470, W - 310, W - 150, W - 75, W - 55, W - 35, W - 15, 0};
    ASSERT_TRUE(bar->SetParts(8, edges));
    EXPECT_EQ(bar->GetParts(), 8);
    EXPECT_EQ(bar->GetRect(0), QRect(0, 0, 330, 22));
    EXPECT_EQ(bar->GetRect(4).width(), 20);
    EXPECT_TRUE(bar->GetRect(7).isEmpty());  // the eighth part has no width

    std::thread([&] { bar->SetText("Packet size :", 2); }).join();
    EXPECT_EQ(bar->GetText(2), "");
    PumpEvents();
    EXPECT_EQ(bar->GetText(2), "Packet size :");
    EXPECT_FALSE(bar->SetText("x", 8));

    QPixmap px(16, 16);
    px.fill(Qt::green);
    const QIcon icon(px);
    EXPECT_TRUE(bar->SetIcon(6, icon));
    EXPECT_EQ(bar->GetIconKey(6), icon.cacheKey());
    EXPECT_EQ(bar->GetIconKey(5), 0);
    bar->SetTipText(0, "Link");
    EXPECT_EQ(bar->GetTipText(0), "Link");

    w.resize(800, 100);
    w.show();
    (void)bar->grab();  // paints without trouble
}

TEST(Draw, StretchBltCopiesPixelsWithoutSmoothing) {
    QImage src = zns::ui::MakeBitmap(2, 1);
    EXPECT_EQ(src.format(), QImage::Format_RGB32);
    src.setPixel(0, 0, 0xFF000000u);
    src.setPixel(1, 0, 0xFFFFFFFFu);
    QImage dst = zns::ui::MakeBitmap(8, 2);
    {
        QPainter p(&dst);
        zns::ui::StretchBlt(p, QRect(0, 0, 8, 2), src, QRect(0, 0, 2, 1));
    }
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 2; ++y) EXPECT_EQ(dst.pixel(x, y), x < 4 ? 0xFF000000u : 0xFFFFFFFFu) << x;
}

TEST(Draw, ColorRefIsBlueGreenRed) {
    const QColor c = zns::ui::FromColorRef(0x00FF8000u);  // blue FF, green 80, red 00
    EXPECT_EQ(c.red(), 0x00);
    EXPECT_EQ(c.green(), 0x80);
    EXPECT_EQ(c.blue(), 0xFF);
    EXPECT_EQ(zns::ui::ToColorRef(c), 0x00FF8000u);
}

TEST(Draw, RotatedTextRunsUpward) {
    QImage img = zns::ui::MakeBitmap(200, 200);
    {
        QPainter p(&img);
        p.setPen(Qt::black);
        p.setFont(zns::ui::MakeFont("Arial", 16, 700));
        zns::ui::DrawRotatedText(p, 100, 180, "WWWWWW");
    }
    int minX = 200, maxX = -1, minY = 200, maxY = -1;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            if (qGray(img.pixel(x, y)) < 128) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    ASSERT_GE(maxX, 0) << "nothing drawn";
    EXPECT_GT(maxY - minY, 2 * (maxX - minX));  // tall, not wide
    EXPECT_LE(maxY, 180);                       // above the reference point
    EXPECT_GE(minX, 100);                       // to the right of it
}

}  // namespace
