// The first-arrival cursor dialog: clamps, the start/end gap, spins, what is
// stored and saved, and the Rx1 view's notification.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <climits>

#include "DialogTestUtil.h"
#include "ui/WindowHandles.h"
#include "records/SharedRecords.h"
#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/TestApp.h"
#include "ui/dialogs/FirstArrivalCursorDlg.h"

namespace {

using zns::FaCursor;

TEST(FirstArrivalRules, BoundsHoldForAnyTypedValue) {
    EXPECT_EQ(zns::FaThresholdFromEdit(1e300), 127);
    EXPECT_EQ(zns::FaThresholdFromEdit(-0.5), 1);
    EXPECT_EQ(zns::FaThresholdLineUp(-1), 1);
    EXPECT_EQ(zns::FaThresholdLineDown(INT_MIN), -127);
    EXPECT_EQ(zns::FaEndLineUp(INT_MAX), 1000);
    FaCursor c{10, 100, 400, 1};
    EXPECT_FALSE(zns::FaCommitEnd(c, 120));  // 150 keeps the gap to 100
    EXPECT_EQ(c.end, 150);
    bool moved = false;
    EXPECT_EQ(zns::FaEndLineDown(c, INT_MIN, &moved), 150);
    EXPECT_FALSE(moved);
    EXPECT_EQ(zns::FaStartLineUp(c, INT_MAX, &moved), 950);
    EXPECT_TRUE(moved);
    EXPECT_EQ(c.end, 1000);
}

class FirstArrivalDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            shared.settings.FA[1] = {10, 300, 400, 1};
        }
        rx1View.MapCommand(CFirstArrivalCursorDlg::ID_SCOPE_SETTINGS_CHANGED, [this] { ++notified; });
        g_hWndWideRx1 = &rx1View;
        dlg = std::make_unique<CFirstArrivalCursorDlg>(shared, [this] { ++saves; });
        dlg->m_nReceiverId = RX2_ID;
        dlg->Create();
        dlg->show();
        zns::ui::PumpEvents(0);
    }
    void TearDown() override {
        dlg.reset();
        g_hWndWideRx1 = nullptr;
    }
    FirstArrivalSettings Field() { return shared.SnapshotSettings().FA[1]; }
    std::string Text(int id) { return dlg->GetDlgItemText(id); }
    void Type(int id, const char* text) { dlg->SetDlgItemText(id, text); }

    zns::ui::ScriptedUiService ui;
    zns::ui::ScopedService scoped{ui};
    SharedData shared;
    CDialog rx1View;
    int notified = 0;
    int saves = 0;
    std::unique_ptr<CFirstArrivalCursorDlg> dlg;
};

TEST_F(FirstArrivalDlgTest, OpensWithTheReceiversSettingsAndTheUseBoxStores) {
    EXPECT_EQ(Text(CFirstArrivalCursorDlg::IDC_THRESHOLD), "10");
    EXPECT_EQ(Text(CFirstArrivalCursorDlg::IDC_START), "300");
    EXPECT_EQ(Text(CFirstArrivalCursorDlg::IDC_END), "400");
    EXPECT_TRUE(dlg->UseBox()->isChecked());
    EXPECT_TRUE(zns::test::SaveShot(*dlg, "first_arrival_cursor.png"));
    dlg->UseBox()->click();  // takes the focus: the edit it leaves commits too
    EXPECT_EQ(Field().Use, 0);
    EXPECT_EQ(saves, 2);
}

TEST_F(FirstArrivalDlgTest, LeavingTheWindowEditsStoresSavesAndKeepsTheGap) {
    Type(CFirstArrivalCursorDlg::IDC_START, "980");
    dlg->OnEnKillfocusStartWindow();
    EXPECT_EQ(Text(CFirstArrivalCursorDlg::IDC_START), "950");
    EXPECT_EQ(Text(CFirstArrivalCursorDlg::IDC_END), "1000");
    EXPECT_EQ(Field().StartWindow, 950);
    EXPECT_EQ(Field().EndWindow, 1000);
    EXPECT_EQ(saves, 1);

    Type(CFirstArrivalCursorDlg::IDC_END, "160");
    dlg->OnEnKillfocusEndWindow();
    EXPECT_EQ(Field().StartWindow, 110);
    EXPECT_EQ(Field().EndWindow, 160);
    EXPECT_EQ(Text(CFirstArrivalCursorDlg::IDC_START), "110");
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(shared.SnapshotSettings().FA[0].StartWindow, 0);  // other receivers untouched
    EXPECT_EQ(ui.BoxCount(), 0u);
}

TEST_F(FirstArrivalDlgTest, ThresholdEditTruncatesClampsAndKeepsOldValueOnBadText) {
    const struct {
        const char* typed;
        int stored;
    } cases[] = {{"0", 1}, {"-200", -127}, {"3.9", 3}, {"-3,9", -3}};
    for (const auto& c : cases) {
        Type(CFirstArrivalCursorDlg::IDC_THRESHOLD, c.typed);
        dlg->OnEnKillfocusThreshold();
        EXPECT_EQ(Field().Threshold, c.stored) << c.typed;
        EXPECT_EQ(Text(CFirstArrivalCursorDlg::IDC_THRESHOLD), std::to_string(c.stored)) << c.typed;
    }
    const int savesBefore = saves;
    Type(CFirstArrivalCursorDlg::IDC_THRESHOLD, "1e3");
    dlg->OnEnKillfocusThreshold();
    EXPECT_EQ(ui.LastBox().text, "Please enter a number.");
    EXPECT_EQ(Field().Threshold, -3);
    EXPECT_EQ(Text(CFirstArrivalCursorDlg::IDC_THRESHOLD), "-3");
    EXPECT_EQ(saves, savesBefore);
}

TEST_F(FirstArrivalDlgTest, FocusLossAndEnterCommitAndTheDialogStaysOpen) {
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    QLineEdit* start = dlg->Edit(CFirstArrivalCursorDlg::IDC_START);
    QLineEdit* end = dlg->Edit(CFirstArrivalCursorDlg::IDC_END);
    start->setFocus();
    start->setText("40");
    end->setFocus();  // the start edit loses the focus
    EXPECT_EQ(Field().StartWindow, 100);

    end->setText("2000");
    QTest::keyClick(end, Qt::Key_Return);
    EXPECT_EQ(Field().EndWindow, 1000);
    EXPECT_TRUE(dlg->isVisible());
    ui.SetBoxesTakeFocus(true);  // an empty edit is no value: one box each, nothing stored
    for (QLineEdit* e : {start, dlg->Edit(CFirstArrivalCursorDlg::IDC_THRESHOLD)}) {
        e->setFocus();
        e->clear();
        QTest::keyClick(e, Qt::Key_Return);
    }
    EXPECT_EQ(ui.BoxCount(), 2u);
    EXPECT_EQ(Field().Threshold, 10);

    // The end typed, then the start's up arrow clicked: the end is left, and taken, first.
    end->setFocus();
    end->setText("500");
    QWidget* startUp = dlg->GetDlgItem(CFirstArrivalCursorDlg::IDC_START_SPIN);
    QTest::mouseClick(startUp, Qt::LeftButton, {}, QPoint(startUp->width() / 2, 2));
    EXPECT_TRUE(startUp->hasFocus());
    EXPECT_EQ(Field().EndWindow, 500);
    EXPECT_EQ(Field().StartWindow, 110);

    // Escape ends it; text typed but not committed is dropped.
    end->setFocus();
    end->setText("700");
    QTest::keyClick(end, Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), IDCANCEL);
    EXPECT_EQ(Field().EndWindow, 500);
}

TEST_F(FirstArrivalDlgTest, SpinsStepCommitAtTheEndAndNotifyTheRx1View) {
    // Threshold from 1 down skips 0; the end of the click stores, saves and notifies.
    Type(CFirstArrivalCursorDlg::IDC_THRESHOLD, "1");
    dlg->OnVScroll(SB_LINEDOWN, CFirstArrivalCursorDlg::IDC_THRESHOLD_SPIN, nullptr);
    EXPECT_EQ(Text(CFirstArrivalCursorDlg::IDC_THRESHOLD), "-1");
    EXPECT_EQ(Field().Threshold, 10);  // shown only
    dlg->OnVScroll(SB_ENDSCROLL, CFirstArrivalCursorDlg::IDC_THRESHOLD_SPIN, nullptr);
    EXPECT_EQ(Field().Threshold, -1);
    EXPECT_EQ(saves, 1);

    // Start up into the gap pushes the end at once (member and field) and notifies.
    Type(CFirstArrivalCursorDlg::IDC_START, "355");
    dlg->OnVScroll(SB_LINEUP, CFirstArrivalCursorDlg::IDC_START_SPIN, nullptr);
    EXPECT_EQ(Text(CFirstArrivalCursorDlg::IDC_START), "365");
    EXPECT_EQ(Text(CFirstArrivalCursorDlg::IDC_END), "415");
    EXPECT_EQ(Field().EndWindow, 415);
    EXPECT_EQ(Field().StartWindow, 300);
    dlg->OnVScroll(SB_ENDSCROLL, CFirstArrivalCursorDlg::IDC_START_SPIN, nullptr);
    EXPECT_EQ(Field().StartWindow, 365);
    EXPECT_EQ(saves, 2);

    // End down into the gap pulls the start; its end of click saves but does not notify.
    dlg->OnVScroll(SB_LINEDOWN, CFirstArrivalCursorDlg::IDC_END_SPIN, nullptr);
    EXPECT_EQ(Field().StartWindow, 355);
    dlg->OnVScroll(SB_ENDSCROLL, CFirstArrivalCursorDlg::IDC_END_SPIN, nullptr);
    EXPECT_EQ(Field().EndWindow, 405);
    EXPECT_EQ(saves, 3);

    zns::ui::PumpEvents(10);
    EXPECT_EQ(notified, 3);  // threshold end, start up, start end
}

TEST_F(FirstArrivalDlgTest, SpinEndHoldsUncommittedTextToTheRanges) {
    Type(CFirstArrivalCursorDlg::IDC_START, "5000");
    dlg->OnVScroll(SB_LINEDOWN, CFirstArrivalCursorDlg::IDC_START_SPIN, nullptr);
    EXPECT_EQ(Text(CFirstArrivalCursorDlg::IDC_START), "4990");
    dlg->OnVScroll(SB_ENDSCROLL, CFirstArrivalCursorDlg::IDC_START_SPIN, nullptr);
    EXPECT_EQ(Field().StartWindow, 950);
    EXPECT_EQ(Field().EndWindow, 1000);
}

}  // namespace
