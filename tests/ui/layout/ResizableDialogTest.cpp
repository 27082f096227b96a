#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSizeGrip>

#include "platform/ui/Menu.h"
#include "platform/ui/TestApp.h"
#include "ui/layout/ResizableDialog.h"

using zns::ui::PumpEvents;

namespace {

// A window laid out like the main window: a panel top-right, a drawing area
// filling the rest, a bar along the bottom.
class Window : public CResizableDialog {
public:
    QWidget* panel = nullptr;
    QWidget* area = nullptr;
    QWidget* bar = nullptr;
    int sizes = 0;

    Window() : CResizableDialog(522) {
        resize(400, 300);
        panel = new QWidget(this);
        panel->setGeometry(220, 0, 180, 100);
        area = new QWidget(this);
        area->setGeometry(0, 0, 210, 270);
        bar = new QWidget(this);
        bar->setGeometry(0, 280, 400, 20);
    }
    BOOL OnInitDialog() override {
        CResizableDialog::OnInitDialog();
        AddAnchor(panel, TOP_CENTER, TOP_RIGHT);
        AddAnchor(area, TOP_LEFT, BOTTOM_RIGHT);
        AddAnchor(bar, BOTTOM_LEFT, BOTTOM_RIGHT);
        return TRUE;
    }
    void OnSize(unsigned type, int cx, int cy) override {
        CResizableDialog::OnSize(type, cx, cy);
        ++sizes;
    }
};

TEST(ResizableDialog, ChildrenFollowTheSize) {
    Window w;
    ASSERT_TRUE(w.Create());
    EXPECT_EQ(w.AnchorCount(), 3u);
    w.show();
    w.resize(600, 500);
    PumpEvents();
    EXPECT_GT(w.sizes, 0);
    EXPECT_EQ(w.panel->geometry(), QRect(320, 0, 280, 100));
    EXPECT_EQ(w.area->geometry(), QRect(0, 0, 410, 470));
    EXPECT_EQ(w.bar->geometry(), QRect(0, 480, 600, 20));
    w.resize(400, 300);
    PumpEvents();
    EXPECT_EQ(w.panel->geometry(), QRect(220, 0, 180, 100));
    EXPECT_EQ(w.area->geometry(), QRect(0, 0, 210, 270));
}

TEST(ResizableDialog, NeverSmallerThanAtCreation) {
    Window w;
    w.Create();
    EXPECT_EQ(w.minimumSize(), QSize(400, 300));
    w.show();
    w.resize(100, 80);
    PumpEvents();
    EXPECT_EQ(w.size(), QSize(400, 300));
}

TEST(ResizableDialog, GripHiddenWhileMaximised) {
    Window w;
    w.Create();
    w.show();
    PumpEvents();
    ASSERT_NE(w.GetGrip(), nullptr);
    EXPECT_TRUE(w.GetGrip()->isVisible());
    EXPECT_EQ(w.GetGrip()->geometry().bottomRight(), QPoint(399, 299));

    w.showMaximized();
    PumpEvents(20);
    EXPECT_FALSE(w.IsGripShown());
    EXPECT_FALSE(w.GetGrip()->isVisible());

    w.showNormal();
    PumpEvents(20);
    EXPECT_TRUE(w.IsGripShown());
    EXPECT_TRUE(w.GetGrip()->isVisible());
    EXPECT_EQ(w.GetGrip()->geometry().bottomRight(), QPoint(w.width() - 1, w.height() - 1));
}

TEST(ResizableDialog, ChildDialogHasNoGripAndNoMinimum) {
    QWidget host;
    CResizableDialog child(531, &host, true);
    child.resize(300, 200);
    child.Create();
    EXPECT_FALSE(child.IsGripShown());
    EXPECT_EQ(child.minimumSize(), QSize(0, 0));
    child.resize(350, 260);
    EXPECT_FALSE(child.IsGripShown());
}

TEST(ResizableDialog, AnchorsMeasuredBelowTheMenu) {
    Window w;
    CMenu menu;
    menu.AppendMenu(menu.AddPopup("&File"), 102, "&Exit");
    w.SetMenu(&menu);
    const int top = w.GetClientRect().top();
    ASSERT_GT(top, 0);
    auto* status = new QWidget(&w);
    status->setGeometry(0, 280, 400, 20);
    w.Create();
    w.AddAnchor(status, BOTTOM_LEFT, BOTTOM_RIGHT);
    w.show();
    w.resize(500, 400);
    PumpEvents();
    EXPECT_EQ(status->geometry(), QRect(0, 380, 500, 20));
    EXPECT_EQ(menu.GetMenuBar()->width(), 500);
}

TEST(ResizableDialog, ControlsClassifiedAsTheirWindowClasses) {
    QLabel right("x");
    right.setAlignment(Qt::AlignRight | Qt::AlignTop);
    zns::ChildClass c = zns::ui::ClassifyChild(&right);
    EXPECT_EQ(c.className, "Static");
    EXPECT_EQ(c.style, 2u);

    QLabel centred("x");  // left, vertically centred, one line
    c = zns::ui::ClassifyChild(&centred);
    EXPECT_EQ(c.style & SS_TYPEMASK, 12u);
    EXPECT_TRUE(c.style & SS_CENTERIMAGE);

    QGroupBox group;
    EXPECT_EQ(zns::ui::ClassifyChild(&group).style, BS_GROUPBOX);
    QPushButton button;
    EXPECT_EQ(zns::ui::ClassifyChild(&button).className, "Button");
    QListWidget list;
    EXPECT_EQ(zns::ui::ClassifyChild(&list).className, "ListBox");
    QFrame frame;
    frame.setFrameShape(QFrame::Box);
    EXPECT_EQ(zns::ui::ClassifyChild(&frame).style, 18u);
}

TEST(ResizableDialog, BackgroundLeavesOutOnlyClippableChildren) {
    CResizableDialog w;
    w.resize(200, 100);
    auto* text = new QLabel("text", &w);
    text->setGeometry(10, 10, 50, 20);
    auto* group = new QGroupBox(&w);
    group->setGeometry(100, 10, 80, 80);
    w.Create();
    w.AddAnchor(text, TOP_LEFT);
    w.AddAnchor(group, TOP_LEFT);
    w.show();
    const QRegion r = w.BuildClipRegion();
    EXPECT_FALSE(r.contains(QPoint(20, 15)));   // the text paints itself
    EXPECT_TRUE(r.contains(QPoint(120, 50)));   // the group box is painted over
    EXPECT_TRUE(r.contains(QPoint(5, 95)));
    (void)w.grab();
}

TEST(ResizableDialog, WideningAListAtItsEndAsksForARepaint) {
    class Probe : public CResizableDialog {
    public:
        using CResizableDialog::NeedsRepaint;
        using CResizableDialog::CanClipChild;
    };
    Probe w;
    w.resize(300, 200);
    auto* list = new QListWidget(&w);
    list->setGeometry(0, 0, 100, 100);
    list->addItem(QString(300, QChar('x')));
    w.Create();
    w.AddAnchor(list, TOP_LEFT, BOTTOM_RIGHT);
    w.show();
    PumpEvents();
    QScrollBar* bar = list->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    CResizableLayout::LayoutInfo info;
    info.window = list;
    info.cls = zns::ui::ClassifyChild(list);
    bar->setValue(bar->maximum());
    EXPECT_TRUE(w.NeedsRepaint(info, QRect(0, 0, 100, 100), QRect(0, 0, 120, 100)));
    bar->setValue(0);
    EXPECT_FALSE(w.NeedsRepaint(info, QRect(0, 0, 100, 100), QRect(0, 0, 120, 100)));
}

}  // namespace
