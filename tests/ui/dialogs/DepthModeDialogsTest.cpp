// The depth reset and recording mode dialogs: what they store and what they send.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QTest>
#include <vector>

#include "DialogTestUtil.h"
#include "link/CommandFrames.h"
#include "records/SharedRecords.h"
#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/TestApp.h"
#include "settings/Preferences.h"
#include "ui/dialogs/PRecordingMode.h"
#include "ui/dialogs/PSetDepthDlg.h"

namespace {

std::vector<uint8_t> FrontFrame(SharedData& shared) {
    std::vector<uint8_t> f;
    shared.txQueue.Front(f);
    return f;
}

class DepthResetTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.DepthFactor = 4.0;
        shared.settings.DepthDatum = 7.0;
        settings.sondeDb.SondeLength = 250;
    }
    std::unique_ptr<CPSetDepthDlg> Open(bool withHook) {
        std::function<bool(int)> send;
        if (withHook)
            send = [this](int code) {
                sent.push_back(code);
                return true;
            };
        auto dlg = std::make_unique<CPSetDepthDlg>(shared, settings, send);
        dlg->Create();
        dlg->show();
        zns::ui::PumpEvents(0);
        return dlg;
    }
    double Datum() { return shared.SnapshotSettings().DepthDatum; }

    zns::ui::ScriptedUiService ui;
    zns::ui::ScopedService scoped{ui};
    SharedData shared;
    SettingsData settings;
    std::vector<int> sent;
};

TEST_F(DepthResetTest, OpensEmptyAndPresetsTheDatumOfTheSondesReference) {
    auto dlg = Open(true);
    EXPECT_EQ(dlg->DepthEdit()->text(), QString());
    EXPECT_TRUE(zns::test::SaveShot(*dlg, "depth_reset.png"));
    dlg->DepthEdit()->setText("12,5");
    dlg->SendCommand(IDOK);
    EXPECT_DOUBLE_EQ(Datum(), 15.0);
    EXPECT_EQ(sent, std::vector<int>{CMD_2});
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), IDOK);
}

TEST_F(DepthResetTest, WithoutHookCommandTwoIsQueuedWithTheDatum) {
    auto dlg = Open(false);
    dlg->DepthEdit()->setText("100.00");
    dlg->SendCommand(IDOK);
    const AcquisitionSettings s = shared.SnapshotSettings();
    const auto expected = BuildCmd2(s);
    EXPECT_EQ(FrontFrame(shared), std::vector<uint8_t>(expected.begin(), expected.end()));
    EXPECT_EQ(DepthCounterPreset(s), 41000);  // 102.5 m x 4 counts/cm x 100
}

TEST_F(DepthResetTest, RefusedTextKeepsTheDialogOpenAndSendsNothing) {
    auto dlg = Open(true);
    dlg->DepthEdit()->setText("12 m");
    QTest::keyClick(dlg->DepthEdit(), Qt::Key_Return);
    EXPECT_EQ(ui.LastBox().text, "Please enter a number.");
    dlg->DepthEdit()->clear();  // none is no depth either
    QTest::keyClick(dlg->DepthEdit(), Qt::Key_Return);
    EXPECT_EQ(ui.LastBox().text, "Bad entered value");
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(sent.empty());
    EXPECT_DOUBLE_EQ(Datum(), 7.0);
}

class RecordingModeTest : public ::testing::Test {
protected:
    std::unique_ptr<CPRecordingMode> Open(int storedMode, bool fromPanel) {
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            shared.settings.RecordingMode = storedMode;
        }
        displayMode = fromPanel;
        RecordingModeHooks hooks;
        hooks.resetAcquisition = [this](bool reload) { resets.push_back(reload); };
        hooks.sendCommand = [this](int code) {
            sent.push_back(code);
            return true;
        };
        auto dlg = std::make_unique<CPRecordingMode>(shared, settings, displayMode, hooks);
        dlg->Create();
        dlg->show();
        zns::ui::PumpEvents(0);
        return dlg;
    }
    int Checked(CPRecordingMode& dlg) {
        int found = 0;
        for (int id : {CPRecordingMode::IDC_TIME_MODE, CPRecordingMode::IDC_UP_MODE, CPRecordingMode::IDC_DOWN_MODE})
            if (dlg.IsDlgButtonChecked(id) == BST_CHECKED) found = found ? -1 : id;
        return found;
    }
    int Mode() { return shared.SnapshotSettings().RecordingMode; }

    SharedData shared;
    SettingsData settings;
    std::atomic<bool> displayMode{false};
    std::vector<bool> resets;
    std::vector<int> sent;
};

TEST_F(RecordingModeTest, OpensOnTheStoredModeAnyUnknownOneBeingTime) {
    const std::pair<int, int> cases[] = {{RECMODE_UP, CPRecordingMode::IDC_UP_MODE},
                                         {RECMODE_DOWN, CPRecordingMode::IDC_DOWN_MODE},
                                         {RECMODE_TIME, CPRecordingMode::IDC_TIME_MODE},
                                         {37, CPRecordingMode::IDC_TIME_MODE}};
    for (const auto& [stored, radio] : cases) EXPECT_EQ(Checked(*Open(stored, false)), radio) << stored;
}

TEST_F(RecordingModeTest, FromThePanelUpModeIsStoredAndSentWithCommandEight) {
    auto dlg = Open(RECMODE_TIME, true);
    EXPECT_EQ(dlg->GetDlgItemText(CPRecordingMode::IDC_GROUP), "Display Mode ...");
    EXPECT_TRUE(zns::test::SaveShot(*dlg, "recording_mode.png"));
    dlg->CheckDlgButton(CPRecordingMode::IDC_UP_MODE, BST_CHECKED);
    dlg->SendCommand(IDOK);
    EXPECT_EQ(Mode(), RECMODE_UP);
    EXPECT_FALSE(shared.m_bDownDirection.load());
    EXPECT_EQ(sent, std::vector<int>{CMD_8});
    EXPECT_EQ(resets, std::vector<bool>{true});
    EXPECT_EQ(dlg->result(), IDOK);
}

TEST_F(RecordingModeTest, AtNewLogNothingIsSentFromHere) {
    shared.m_bDownDirection = false;
    auto dlg = Open(RECMODE_UP, false);
    EXPECT_EQ(dlg->GetDlgItemText(CPRecordingMode::IDC_GROUP), "Recording Mode ...");
    dlg->CheckDlgButton(CPRecordingMode::IDC_DOWN_MODE, BST_CHECKED);
    dlg->SendCommand(IDOK);
    EXPECT_EQ(Mode(), RECMODE_DOWN);
    EXPECT_TRUE(shared.m_bDownDirection.load());
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(resets, std::vector<bool>{true});
}

TEST_F(RecordingModeTest, EscapeChangesAndSendsNothing) {
    auto dlg = Open(RECMODE_DOWN, true);
    dlg->CheckDlgButton(CPRecordingMode::IDC_TIME_MODE, BST_CHECKED);
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_EQ(dlg->result(), IDCANCEL);
    EXPECT_EQ(Mode(), RECMODE_DOWN);
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(resets.empty());
}

}  // namespace
