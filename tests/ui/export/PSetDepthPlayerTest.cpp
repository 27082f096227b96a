// The SEG-2 depth-range dialog.
#include <gtest/gtest.h>

#include <QTest>

#include "platform/ui/ScriptedUiService.h"
#include "ui/dialogs/PSetDepthPlayer.h"

namespace {

class DepthRange : public ::testing::Test {
protected:
    void Open(double f, double l, double s) {
        first = f, last = l, step = s;
        dlg = std::make_unique<CPSetDepthPlayer>(first, last, step);
        ASSERT_TRUE(dlg->Create());
        dlg->setResult(99);
    }
    void Enter(const std::string& begin, const std::string& end) {
        dlg->SetDlgItemText(CPSetDepthPlayer::IDC_BEGIN, begin);
        dlg->SetDlgItemText(CPSetDepthPlayer::IDC_END, end);
        dlg->SendCommand(IDOK);
    }
    std::string Text(int id) const { return dlg->GetDlgItemText(id); }

    zns::ui::ScriptedUiService ui;
    zns::ui::ScopedService scope{ui};
    double first = 0, last = 0, step = 0;
    std::unique_ptr<CPSetDepthPlayer> dlg;
};

TEST_F(DepthRange, ProposesAtMostWhatOneFileHolds) {
    Open(10.0, 1010.0, 0.05);
    EXPECT_EQ(dlg->windowTitle().toStdString(), "Set start and end depht to export");
    EXPECT_EQ(Text(CPSetDepthPlayer::IDC_BEGIN), "10.000");
    EXPECT_EQ(Text(CPSetDepthPlayer::IDC_END), "810.000");
    EXPECT_EQ(Text(CPSetDepthPlayer::IDC_INFOS), "Logging Depth : 10.000m to 1010.000m");
    EXPECT_EQ(Text(CPSetDepthPlayer::IDC_ALERT), "Maximal 800.000m by SG2 exportation file !!!");

    Open(10.0, 20.0, 0.05);
    EXPECT_EQ(Text(CPSetDepthPlayer::IDC_END), "20.000");
    EXPECT_EQ(Text(CPSetDepthPlayer::IDC_ALERT), "");
}

TEST_F(DepthRange, SetGivesFirstIndexAndCount) {
    Open(10.0, 1010.0, 0.05);
    Enter("12.3456", "20");
    EXPECT_EQ(dlg->result(), 0);
    EXPECT_DOUBLE_EQ(first, 47);
    EXPECT_DOUBLE_EQ(step, 153);
    EXPECT_DOUBLE_EQ(last, 1010.0);
    EXPECT_EQ(ui.BoxCount(), 0u);
}

TEST_F(DepthRange, RefusalsKeepTheDialogOpenWithCorrectedEdits) {
    Open(10.0, 1010.0, 0.05);
    Enter("15", "15");
    EXPECT_EQ(ui.LastBox().text, "the Beginning is after end depth !!!");
    EXPECT_EQ(ui.LastBox().Icon(), 0u);
    EXPECT_EQ(Text(CPSetDepthPlayer::IDC_BEGIN), "10.000");
    EXPECT_EQ(Text(CPSetDepthPlayer::IDC_END), "1010.000");
    EXPECT_EQ(dlg->result(), 99);

    Enter("5", "20");
    EXPECT_EQ(ui.LastBox().text, "Set beginnig at min : 10.000");
    Enter("12", "2000");
    EXPECT_EQ(ui.LastBox().text, "Set End at max : 1010.000");
    EXPECT_EQ(Text(CPSetDepthPlayer::IDC_END), "1010.000");

    // More steps than one file holds: the end is pulled in, the dialog stays.
    const size_t boxes = ui.BoxCount();
    Enter("10", "900");
    EXPECT_EQ(ui.BoxCount(), boxes);
    EXPECT_EQ(Text(CPSetDepthPlayer::IDC_ALERT), "Maximal 800.000m by SG2 exportation file !!!");
    EXPECT_EQ(Text(CPSetDepthPlayer::IDC_END), "810.000");

    Enter("abc", "20");
    EXPECT_EQ(ui.LastBox().text, "Please enter a number.");
    EXPECT_EQ(dlg->result(), 99);
    EXPECT_DOUBLE_EQ(first, 10.0);
}

TEST_F(DepthRange, UpwardLog) {
    Open(500.0, 100.0, -0.05);
    Enter("600", "200");
    EXPECT_EQ(ui.LastBox().text, "Set beginnig at max : 500.000");
    Enter("450", "50");
    EXPECT_EQ(ui.LastBox().text, "Set end at min : 100.000");
    Enter("450", "200");
    EXPECT_EQ(dlg->result(), 0);
    EXPECT_DOUBLE_EQ(first, 1000);  // 50 m below the first record at 5 cm
    EXPECT_DOUBLE_EQ(step, 5000);
}

TEST_F(DepthRange, AllChangesNothing) {
    Open(10.0, 20.0, 0.05);
    dlg->GetDlgItem(CPSetDepthPlayer::IDC_END)->setFocus();  // Tab to "All", Enter
    for (Qt::Key k : {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return}) QTest::keyClick(dlg->focusWidget(), k);
    EXPECT_EQ(dlg->result(), -1);
    EXPECT_DOUBLE_EQ(first, 10.0);
    EXPECT_DOUBLE_EQ(step, 0.05);
}

}  // namespace
