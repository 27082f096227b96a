#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/ui/TestApp.h"
#include "platform/ui/Wnd.h"

using zns::ui::PumpEvents;

namespace {

// Pumps until `done` or `ms` elapsed.
template <class Pred>
bool PumpUntil(Pred done, int ms = 2000) {
    for (int waited = 0; waited < ms; waited += 5) {
        if (done()) return true;
        PumpEvents(5);
    }
    return done();
}

class TimerWnd : public CWnd {
public:
    std::vector<unsigned> ticks;
    std::vector<bool> onGui;
    unsigned rearmId = 0;  // this id is killed at the start of its tick and re-armed at the end

    void OnTimer(unsigned id) override {
        if (id == rearmId) KillTimer(id);
        ticks.push_back(id);
        onGui.push_back(QThread::currentThread() == qApp->thread());
        if (id == rearmId) SetTimer(id, 5);
    }
    int Count(unsigned id) const { return static_cast<int>(std::count(ticks.begin(), ticks.end(), id)); }
};

TEST(WndTimers, TicksByIdUntilKilled) {
    TimerWnd w;
    EXPECT_EQ(w.SetTimer(410, 5), 410u);
    EXPECT_EQ(w.SetTimer(405, 5), 405u);
    ASSERT_TRUE(PumpUntil([&] { return w.Count(410) >= 2 && w.Count(405) >= 2; }));
    for (unsigned id : w.ticks) EXPECT_TRUE(id == 410 || id == 405);

    EXPECT_TRUE(w.KillTimer(410));
    EXPECT_FALSE(w.KillTimer(410));
    EXPECT_FALSE(w.IsTimerSet(410));
    const int before = w.Count(410);
    PumpEvents(60);
    EXPECT_EQ(w.Count(410), before);
    EXPECT_GT(w.Count(405), 2);
}

TEST(WndTimers, SettingAgainReplacesThePeriod) {
    TimerWnd w;
    w.SetTimer(1, 5);
    w.SetTimer(1, 100000);  // same id: one timer, now slow
    PumpEvents(60);
    EXPECT_EQ(w.Count(1), 0);
}

TEST(WndTimers, KillAndRearmInsideTheTick) {
    TimerWnd w;
    w.rearmId = 7;
    w.SetTimer(7, 5);
    ASSERT_TRUE(PumpUntil([&] { return w.Count(7) >= 5; }));
    EXPECT_TRUE(w.IsTimerSet(7));
}

TEST(WndTimers, SetAndKillFromAnotherThreadRunOnTheGuiThread) {
    TimerWnd w;
    std::thread([&] { EXPECT_EQ(w.SetTimer(408, 5), 408u); }).join();
    EXPECT_FALSE(w.IsTimerSet(408));  // posted, not yet applied
    ASSERT_TRUE(PumpUntil([&] { return w.Count(408) >= 2; }));
    for (bool gui : w.onGui) EXPECT_TRUE(gui);

    std::thread([&] { w.KillTimer(408); }).join();
    PumpEvents(20);
    const int n = w.Count(408);
    PumpEvents(60);
    EXPECT_EQ(w.Count(408), n);
    EXPECT_FALSE(w.IsTimerSet(408));
}

TEST(WndTimers, SetThenKillFromAWorkerKeepsTheirOrder) {
    TimerWnd w;
    std::thread([&] {
        w.SetTimer(9, 1);
        w.KillTimer(9);
    }).join();
    PumpEvents(50);
    EXPECT_EQ(w.Count(9), 0);
    EXPECT_FALSE(w.IsTimerSet(9));
}

class CommandWnd : public CWnd {
public:
    std::vector<unsigned> seen;
    BOOL OnCommand(unsigned id) override {
        seen.push_back(id);
        return CWnd::OnCommand(id);
    }
};

TEST(WndCommands, PostedCommandsComeAfterDirectOnesInPostingOrder) {
    CommandWnd w;
    w.PostCommand(1740);
    w.PostCommand(1749);
    w.SendCommand(1745);
    EXPECT_EQ(w.seen, (std::vector<unsigned>{1745}));
    PumpEvents();
    EXPECT_EQ(w.seen, (std::vector<unsigned>{1745, 1740, 1749}));
}

TEST(WndCommands, PostsFromWorkersKeepEachThreadsOrder) {
    CommandWnd w;
    auto poster = [&](unsigned base) {
        for (unsigned i = 0; i < 200; ++i) w.PostCommand(base + i);
    };
    std::thread a(poster, 1000), b(poster, 5000);
    a.join();
    b.join();
    PumpEvents();
    ASSERT_EQ(w.seen.size(), 400u);
    unsigned lastA = 0, lastB = 0;
    for (unsigned id : w.seen) {
        unsigned& last = id < 5000 ? lastA : lastB;
        EXPECT_GT(id, last);
        last = id;
    }
}

TEST(WndCommands, MappedHandlersAndButtonClicks) {
    CommandWnd w;
    int runs = 0;
    w.MapCommand(133, [&] { ++runs; });
    EXPECT_TRUE(w.SendCommand(133));
    EXPECT_FALSE(w.SendCommand(134));
    EXPECT_EQ(runs, 1);

    auto* button = new QPushButton("Go", &w);
    w.SetDlgItem(133, button);
    w.SetDlgItem(133, button);  // registering again does not double the click
    button->click();
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(CWndBase::GetDlgCtrlID(button), 133);
}

TEST(WndItems, TextIntCheckEnableShow) {
    CWnd w;
    auto* edit = new QLineEdit(&w);
    auto* check = new QCheckBox("x", &w);
    w.SetDlgItem(1142, edit);
    w.SetDlgItem(1603, check);

    // Windows-1252 bytes in, the same bytes out (é is 0xE9).
    EXPECT_TRUE(w.SetDlgItemText(1142, "Profondeur \xE9t\xE9"));
    EXPECT_EQ(edit->text(), QString::fromUtf8("Profondeur \xC3\xA9t\xC3\xA9"));
    EXPECT_EQ(w.GetDlgItemText(1142), "Profondeur \xE9t\xE9");
    EXPECT_FALSE(w.SetDlgItemText(9999, "x"));
    EXPECT_EQ(w.GetDlgItemText(9999), "");

    BOOL ok = FALSE;
    w.SetDlgItemInt(1142, static_cast<unsigned>(-42));
    EXPECT_EQ(static_cast<int>(w.GetDlgItemInt(1142, &ok)), -42);
    EXPECT_TRUE(ok);
    edit->setText("12a");
    EXPECT_EQ(w.GetDlgItemInt(1142, &ok), 0u);
    EXPECT_FALSE(ok);
    edit->setText("-3");
    w.GetDlgItemInt(1142, &ok, FALSE);
    EXPECT_FALSE(ok);

    w.CheckDlgButton(1603, BST_CHECKED);
    EXPECT_EQ(w.IsDlgButtonChecked(1603), BST_CHECKED);
    w.CheckDlgButton(1603, BST_UNCHECKED);
    EXPECT_EQ(w.IsDlgButtonChecked(1603), BST_UNCHECKED);

    EXPECT_FALSE(w.EnableDlgItem(1142, FALSE));  // was enabled
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_TRUE(w.EnableDlgItem(1142, TRUE));

    w.show();
    EXPECT_TRUE(w.ShowDlgItem(1142, SW_HIDE));
    EXPECT_TRUE(edit->isHidden());
    w.ShowDlgItem(1142, SW_SHOW);
    EXPECT_FALSE(edit->isHidden());
}

TEST(WndItems, ADeletedControlIsGone) {
    CWnd w;
    auto* edit = new QLineEdit(&w);
    w.SetDlgItem(5, edit);
    delete edit;
    EXPECT_EQ(w.GetDlgItem(5), nullptr);
    EXPECT_FALSE(w.SetDlgItemText(5, "x"));
}

class TestDialog : public CDialog {
public:
    using CDialog::CDialog;
    int inits = 0, oks = 0, cancels = 0, closes = 0;
    bool refuseCreate = false;
    bool swallowCancel = false;
    int OnCreate() override { return refuseCreate ? -1 : 0; }
    BOOL OnInitDialog() override {
        ++inits;
        return CDialog::OnInitDialog();
    }
    void OnOK() override {
        ++oks;
        CDialog::OnOK();
    }
    void OnCancel() override {
        ++cancels;
        if (!swallowCancel) CDialog::OnCancel();
    }
    void OnClose() override {
        ++closes;
        CDialog::OnClose();
    }
};

void Key(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

TEST(Dialog, InitRunsOnceAndKeysBecomeCommands) {
    TestDialog d(501);
    d.SetDlgItem(IDCANCEL, new QPushButton(&d));
    EXPECT_TRUE(d.Create());
    d.show();
    EXPECT_EQ(d.inits, 1);
    EXPECT_EQ(d.GetTemplateId(), 501u);

    auto* edit = new QLineEdit(&d);
    edit->show();
    edit->setFocus();
    Key(edit, Qt::Key_Return);  // the edit passes Enter to the dialog
    EXPECT_EQ(d.oks, 1);
    EXPECT_FALSE(d.isVisible());  // a modeless dialog ends by hiding

    d.show();
    Key(edit, Qt::Key_Tab);
    Key(d.focusWidget(), Qt::Key_Return);  // the button Tab reached
    Key(&d, Qt::Key_Escape);
    EXPECT_EQ(d.cancels, 2);
    EXPECT_EQ(d.inits, 1);
}

// An edit that takes its value when it is left, as the program's dialogs do:
// whatever presses a button, the value the edit shows is the value used.
TEST(Dialog, APressedButtonActsOnTheValueTyped) {
    TestDialog d;
    auto* edit = new QLineEdit(&d);
    auto* ok = new QPushButton("OK", &d);
    auto* apply = new QPushButton("&Apply", &d);
    apply->move(0, 40);
    ok->setDefault(true);
    for (auto [id, w] : {std::pair<int, QWidget*>{1000, edit}, {IDOK, ok}, {1001, apply}}) d.SetDlgItem(id, w);
    std::string taken;
    std::vector<std::string> used;
    QObject::connect(edit, &QLineEdit::editingFinished, &d, [&] { taken = edit->text().toStdString(); });
    d.MapCommand(1001, [&] { used.push_back(taken); });
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    for (const char* typed : {"7", "8"}) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        EXPECT_TRUE(ok->isDefault() && !apply->isDefault());  // the frame is on the default
        if (*typed == '8') {
            QTest::keyClick(edit, Qt::Key_A, Qt::AltModifier);
        } else {
            QTest::mouseClick(apply, Qt::LeftButton);
            EXPECT_TRUE(apply->hasFocus() && apply->isDefault() && !ok->isDefault());  // the one Enter presses
            QTest::keyClick(apply, Qt::Key_Return);
        }
    }
    ASSERT_TRUE(PumpUntil([&] { return used.size() == 3; }));
    EXPECT_EQ(used, (std::vector<std::string>{"7", "7", "8"}));
    EXPECT_EQ(d.oks, 0);
}

TEST(Dialog, CloseBoxGoesThroughOnCloseAndCanBeRefused) {
    TestDialog d;
    d.swallowCancel = true;  // as the main window: only its exit confirmation ends it
    d.show();
    d.close();
    EXPECT_EQ(d.closes, 1);
    EXPECT_EQ(d.cancels, 1);
    EXPECT_TRUE(d.isVisible());
    Key(&d, Qt::Key_Escape);
    EXPECT_TRUE(d.isVisible());
}

TEST(Dialog, ModalLoopEndsWithThePostedCommand) {
    TestDialog d;
    d.PostCommand(IDOK);
    EXPECT_EQ(d.DoModal(), IDOK);
    EXPECT_EQ(d.oks, 1);

    TestDialog refused;
    refused.refuseCreate = true;
    EXPECT_EQ(refused.DoModal(), -1);
    EXPECT_EQ(refused.inits, 0);
}

TEST(Dialog, ModalEvenWhenInitRestoresAPlacement) {
    class Placed : public TestDialog {
    public:
        bool modalInside = false;
        BOOL OnInitDialog() override {
            TestDialog::OnInitDialog();
            zns::WindowPlacement wp;
            wp.length = 44;
            wp.showCmd = SW_SHOWNORMAL;
            wp.left = 20;
            wp.top = 20;
            wp.right = 220;
            wp.bottom = 120;
            SetWindowPlacement(wp);  // shows the window before the modal loop
            MapCommand(1000, [this] {
                modalInside = QApplication::activeModalWidget() == this;
                EndDialog(IDCANCEL);
            });
            PostCommand(1000);
            return TRUE;
        }
    };
    Placed d;
    EXPECT_EQ(d.DoModal(), IDCANCEL);
    EXPECT_TRUE(d.modalInside);
    EXPECT_FALSE(d.testAttribute(Qt::WA_ShowModal));
}

TEST(Dialog, OkButtonRunsOnOK) {
    TestDialog d;
    auto* ok = new QPushButton("OK", &d);
    d.SetDlgItem(IDOK, ok);
    d.show();
    ok->click();
    EXPECT_EQ(d.oks, 1);
    EXPECT_EQ(d.result(), IDOK);
}

TEST(Dialog, ChildPanelIsNoWindow) {
    CWnd parent;
    TestDialog panel(157, &parent, true);
    EXPECT_FALSE(panel.isWindow());
}

}  // namespace
