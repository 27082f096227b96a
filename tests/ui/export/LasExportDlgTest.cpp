// The LAS export dialog on an offscreen window, with scripted boxes and file dialogs.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include "records/SharedRecords.h"
#include "platform/Paths.h"
#include "platform/ui/ScriptedUiService.h"
#include "settings/Header.h"
#include "settings/Ini.h"
#include "settings/Preferences.h"
#include "tests/export/ExportTestLog.h"
#include "ui/dialogs/LasExport.h"

namespace {

using exporttest::HeaderKeys;

class LasDialog : public ::testing::Test {
protected:
    void SetUp() override {
        zns::SetFixedField(settings.files.szProgramDir, dir.Path() + "/");
        settings.las.LASUseSpeed = TRUE;
        settings.las.LASUseTTRx[0] = TRUE;
        settings.las.LASWindEndRx[0] = 900;
        dlg = std::make_unique<CLasExport>(header, prefs, exportFirst);
        ASSERT_TRUE(dlg->Create());
    }
    void WriteLog(const HeaderKeys& k, int records) {
        exporttest::WriteHeader(hed, k);
        exporttest::WriteRecords(zne, hed, exporttest::RegularRecords(records, 100000, 50, 0));
    }
    void Load() {
        ui.PushFileAnswer(zne);
        dlg->SendCommand(CLasExport::IDC_INPUT_BROWSE);
    }
    bool Enabled(int id) const { return dlg->GetDlgItem(id)->isEnabled(); }
    bool Checked(int id) const { return dlg->IsDlgButtonChecked(id) == BST_CHECKED; }
    std::string Text(int id) const { return dlg->GetDlgItemText(id); }
    std::string Cfg(const char* key) {
        CIni ini(dir / "HxZn.cfg", "LASParam", TRUE);
        return ini.GetString(key, "missing");
    }

    exporttest::TempDir dir;
    std::string zne = dir / "run1.zne";
    std::string hed = dir / "run1.hed";
    zns::ui::ScriptedUiService ui;
    zns::ui::ScopedService scope{ui};
    SharedData shared;
    SettingsData settings;
    HeaderRecord record;
    CHeader header{record, shared, settings};
    CPreferences prefs{shared, settings, PreferencesHooks{{}, {}, dir.Path(), dir / "registry"}};
    double exportFirst = 0;
    std::unique_ptr<CLasExport> dlg;
};

TEST_F(LasDialog, StartsWithEveryExportControlDisabled) {
    EXPECT_EQ(dlg->windowTitle().toStdString(), "LAS 2.0 exportation for ZNS");
    EXPECT_EQ(Text(CLasExport::IDC_INPUT_NAME), "*.zne");
    EXPECT_EQ(Text(CLasExport::IDC_OUTPUT_NAME), "*.las");
    for (int id : {CLasExport::IDC_START, CLasExport::IDC_FROM, CLasExport::IDC_SPEED, CLasExport::IDC_GAIN_RX1,
                   CLasExport::IDC_THRESHOLD_RX1, CLasExport::IDC_THRESHOLD_SPIN_RX1})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Enabled(CLasExport::IDC_INPUT_BROWSE));
    EXPECT_EQ(Text(CLasExport::IDC_WEND_RX1), "900");
    EXPECT_EQ(Text(CLasExport::IDC_THRESHOLD_RX2), "10");
}

TEST_F(LasDialog, LoadingADownLogSetsRangeAndChannels) {
    HeaderKeys k;
    k.rxNumber = 2;
    WriteLog(k, 20);
    Load();
    ASSERT_EQ(ui.FileRequests().size(), 1u);
    const auto req = ui.FileRequests()[0];
    EXPECT_TRUE(req.open);
    EXPECT_EQ(req.filter, "Zenova Sonic File (*.zne)|*.zne||");
    EXPECT_EQ(req.defaultExt, ".zne");
    EXPECT_EQ(req.flags, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
    EXPECT_EQ(ui.BoxCount(), 0u);

    EXPECT_EQ(Text(CLasExport::IDC_INPUT_NAME), "run1.zne");
    EXPECT_EQ(Text(CLasExport::IDC_OUTPUT_NAME), "run1.las");
    EXPECT_EQ(Text(CLasExport::IDC_FROM), "97.96");
    EXPECT_EQ(Text(CLasExport::IDC_TO), "100.95");
    EXPECT_EQ(Text(CLasExport::IDC_INTERVAL), "50");
    EXPECT_DOUBLE_EQ(exportFirst, 97.96);
    EXPECT_EQ(dlg->Converter().sondeShift, 41);
    EXPECT_EQ(dlg->Converter().lineCount, 60);
    EXPECT_TRUE(Enabled(CLasExport::IDC_START));
    EXPECT_TRUE(Checked(CLasExport::IDC_SPEED));
    EXPECT_EQ(Text(CLasExport::IDC_GAMMA), "Natural Gamma");
    EXPECT_TRUE(Enabled(CLasExport::IDC_GAMMA));
    EXPECT_TRUE(Enabled(CLasExport::IDC_GAIN_RX2));
    EXPECT_TRUE(Checked(CLasExport::IDC_TT_RX1));
    EXPECT_FALSE(Enabled(CLasExport::IDC_GAIN_RX3));
    EXPECT_FALSE(Enabled(CLasExport::IDC_THRESHOLD_RX1));  // manual box not ticked

    dlg->CheckDlgButton(CLasExport::IDC_MANUAL_RX1, BST_CHECKED);
    dlg->SendCommand(CLasExport::IDC_MANUAL_RX1);
    EXPECT_TRUE(Enabled(CLasExport::IDC_THRESHOLD_RX1));
    EXPECT_TRUE(Enabled(CLasExport::IDC_WEND_SPIN_RX1));
    EXPECT_FALSE(Enabled(CLasExport::IDC_THRESHOLD_RX2));

    // A three-receiver log offers all three.
    k.rxNumber = 3;
    WriteLog(k, 20);
    Load();
    for (int id : {CLasExport::IDC_GAIN_RX1, CLasExport::IDC_GAIN_RX2, CLasExport::IDC_GAIN_RX3, CLasExport::IDC_TT_RX3,
                   CLasExport::IDC_MANUAL_RX3})
        EXPECT_TRUE(Enabled(id)) << id;
}

TEST_F(LasDialog, FromAndToLabelsAreShortcutsToTheirEdits) {
    WriteLog(HeaderKeys{}, 20);
    Load();
    dlg->show();
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    for (int id : {CLasExport::IDC_TO, CLasExport::IDC_FROM}) {
        auto* edit = dlg->GetDlgItem<QLineEdit>(id);
        QLabel* label = nullptr;
        for (QLabel* l : dlg->findChildren<QLabel*>())
            if (l->buddy() == edit) label = l;
        ASSERT_NE(label, nullptr) << id;
        EXPECT_LE(label->sizeHint().width(), label->width()) << id;  // the whole word shows
        QTest::keyClick(dlg.get(), id == CLasExport::IDC_TO ? Qt::Key_T : Qt::Key_F, Qt::AltModifier);
        EXPECT_TRUE(edit->hasFocus()) << id;
    }
    // From typed, then Start clicked at once: the file starts where the edit says.
    auto* from = dlg->GetDlgItem<QLineEdit>(CLasExport::IDC_FROM);
    from->selectAll();
    QTest::keyClicks(from, "99.01");
    QTest::mouseClick(dlg->GetDlgItem(CLasExport::IDC_START), Qt::LeftButton);
    EXPECT_NE(exporttest::ReadAll(dir / "LAS/run1.las").find("STRT.M           99.01"), std::string::npos);
    // Destroyed with a depth typed in the focused edit: its handler no longer runs as the dialog goes.
    from->setFocus();
    QTest::keyClicks(from, "50");
    const size_t boxes = ui.BoxCount();
    dlg.reset();
    EXPECT_EQ(ui.BoxCount(), boxes);
}

TEST_F(LasDialog, RefusedInputs) {
    exporttest::WriteRecords(zne, hed, exporttest::RegularRecords(20, 100000, 50, 0));
    Load();  // no header beside it
    EXPECT_EQ(ui.LastBox().text, "I not find header file : run1.hed !!!");
    EXPECT_FALSE(Enabled(CLasExport::IDC_FROM));

    ui.PushFileAnswer(dir / "gone.zne");
    dlg->SendCommand(CLasExport::IDC_INPUT_BROWSE);
    EXPECT_EQ(ui.LastBox().text, "Data file not present.");

    WriteLog(HeaderKeys{}, 1);
    Load();
    EXPECT_EQ(ui.LastBox().text, "Invalid file log !!!");
    EXPECT_FALSE(Enabled(CLasExport::IDC_START));
    // Choosing an output does not make a log out of a refused one.
    ui.PushFileAnswer(dir / "out.las");
    dlg->SendCommand(CLasExport::IDC_OUTPUT_BROWSE);
    EXPECT_EQ(Text(CLasExport::IDC_OUTPUT_NAME), "out.las");
    EXPECT_FALSE(Enabled(CLasExport::IDC_START));
}

TEST_F(LasDialog, FromBelowTheLogIsSetBack) {
    WriteLog(HeaderKeys{}, 20);
    Load();
    dlg->SetDlgItemText(CLasExport::IDC_FROM, "50");
    dlg->OnEnKillfocusFrom();
    EXPECT_EQ(ui.LastBox().text, "Bad entry value (begining 97.96 ending 100.95) \n");
    EXPECT_EQ(ui.LastBox().Icon(), MB_ICONERROR);
    EXPECT_EQ(Text(CLasExport::IDC_FROM), "97.96");
    dlg->SetDlgItemText(CLasExport::IDC_TO, "99,5");
    dlg->OnEnKillfocusTo();
    EXPECT_EQ(Text(CLasExport::IDC_TO), "99.50");
    EXPECT_DOUBLE_EQ(dlg->Converter().to, 99.5);
}

TEST_F(LasDialog, SpinsStepAndKeepTheWindowOpen) {
    dlg->SetDlgItemText(CLasExport::IDC_THRESHOLD_RX1, "-1");
    dlg->OnVScroll(SB_LINEUP, CLasExport::IDC_THRESHOLD_SPIN_RX1, nullptr);
    EXPECT_EQ(Text(CLasExport::IDC_THRESHOLD_RX1), "1");
    dlg->OnVScroll(SB_LINEDOWN, CLasExport::IDC_THRESHOLD_SPIN_RX1, nullptr);
    EXPECT_EQ(Text(CLasExport::IDC_THRESHOLD_RX1), "-1");
    dlg->SetDlgItemText(CLasExport::IDC_THRESHOLD_RX3, "127");
    dlg->OnVScroll(SB_LINEUP, CLasExport::IDC_THRESHOLD_SPIN_RX3, nullptr);
    EXPECT_EQ(Text(CLasExport::IDC_THRESHOLD_RX3), "127");
    EXPECT_EQ(settings.las.LASWindThRx[0], 10);  // the parameter follows on release only
    dlg->OnVScroll(SB_ENDSCROLL, CLasExport::IDC_THRESHOLD_SPIN_RX1, nullptr);
    EXPECT_EQ(settings.las.LASWindThRx[0], -1);

    // Window start 840 raised to 850 with its end at 900: the end moves to 950 on release.
    dlg->SetDlgItemText(CLasExport::IDC_WSTART_RX1, "840");
    dlg->OnVScroll(SB_LINEUP, CLasExport::IDC_WSTART_SPIN_RX1, nullptr);
    EXPECT_EQ(Text(CLasExport::IDC_WSTART_RX1), "850");
    EXPECT_EQ(Text(CLasExport::IDC_WEND_RX1), "900");
    dlg->OnVScroll(SB_ENDSCROLL, CLasExport::IDC_WSTART_SPIN_RX1, nullptr);
    EXPECT_EQ(settings.las.LASWindStartRx[0], 850);
    EXPECT_EQ(settings.las.LASWindEndRx[0], 950);
    EXPECT_EQ(Text(CLasExport::IDC_WEND_RX1), "950");

    // An end lowered below start + 100 pulls the start down; only Rx2's edits move.
    dlg->SetDlgItemText(CLasExport::IDC_WEND_RX2, "200");
    dlg->OnVScroll(SB_LINEDOWN, CLasExport::IDC_WEND_SPIN_RX2, nullptr);
    EXPECT_EQ(Text(CLasExport::IDC_WEND_RX2), "200");
    dlg->OnVScroll(SB_ENDSCROLL, CLasExport::IDC_WEND_SPIN_RX2, nullptr);
    EXPECT_EQ(settings.las.LASWindStartRx[1], 100);
    EXPECT_EQ(Text(CLasExport::IDC_WSTART_RX1), "850");
}

TEST_F(LasDialog, StartWritesTheFileAndSavesTheChoices) {
    WriteLog(HeaderKeys{}, 20);
    Load();
    dlg->CheckDlgButton(CLasExport::IDC_SPEED, BST_UNCHECKED);
    dlg->CheckDlgButton(CLasExport::IDC_TT_RX1, BST_UNCHECKED);
    dlg->SendCommand(CLasExport::IDC_START);
    EXPECT_EQ(ui.LastBox().text, "You must at least choose a channel !!!");

    dlg->CheckDlgButton(CLasExport::IDC_GAMMA, BST_CHECKED);
    dlg->CheckDlgButton(CLasExport::IDC_REVERSE, BST_CHECKED);
    dlg->show();  // a typed re-pick window is kept in order: end at least start + 100
    QTest::mouseClick(dlg->GetDlgItem(CLasExport::IDC_MANUAL_RX1), Qt::LeftButton);
    dlg->SetDlgItemText(CLasExport::IDC_WSTART_RX1, "950");
    dlg->SetDlgItemText(CLasExport::IDC_WEND_RX1, "120");
    QTest::mouseClick(dlg->GetDlgItem(CLasExport::IDC_START), Qt::LeftButton);
    EXPECT_EQ(Text(CLasExport::IDC_WEND_RX1), "1000");
    EXPECT_EQ(settings.las.LASWindEndRx[0], 1000);
    const std::string out = dir / "LAS/run1.las";
    EXPECT_EQ(ui.LastBox().text, "Migration to LAS file completed.\n\n " + out);
    EXPECT_EQ(ui.LastBox().Icon(), MB_ICONINFORMATION);
    const std::string las = exporttest::ReadAll(out);
    EXPECT_NE(las.find("~A  DEPTH     GAMMA\r\n   100.91"), std::string::npos);
    EXPECT_TRUE(zns::FileExists(dir / "las.tmp"));
    EXPECT_EQ(Cfg("LASUseNaturalGamma"), "yes");
    EXPECT_EQ(Cfg("LASUseSpeed"), "no");

    // Same name again: No keeps the file and saves nothing.
    settings.las.LASUseNaturalGamma = FALSE;
    const size_t before = ui.BoxCount();
    ui.PushAnswer(IDNO);
    dlg->SendCommand(CLasExport::IDC_START);
    const auto boxes = ui.Boxes();
    ASSERT_EQ(boxes.size(), before + 2);
    EXPECT_EQ(boxes[before].text, "Same file name exist, do you want replace this ?");
    EXPECT_EQ(boxes[before].type, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    EXPECT_EQ(boxes[before + 1].text, "Migration to LAS file aborted. ");
    EXPECT_EQ(exporttest::ReadAll(out), las);
    EXPECT_FALSE(settings.las.LASUseNaturalGamma);
}

TEST_F(LasDialog, DamagedLogIsReportedNotCompleted) {
    WriteLog(HeaderKeys{}, 20);
    exporttest::DamageByte(zne, 10 * 28 + 20);
    Load();
    dlg->SendCommand(CLasExport::IDC_START);
    EXPECT_NE(ui.LastBox().text.find("byte 280 of the data file is damaged"), std::string::npos) << ui.LastBox().text;
    EXPECT_EQ(ui.LastBox().Icon(), MB_ICONWARNING);
    dlg->SetDlgItemText(CLasExport::IDC_FROM, "100.60");
    dlg->OnEnKillfocusFrom();
    ui.PushAnswer(IDYES);
    dlg->SendCommand(CLasExport::IDC_START);
    EXPECT_NE(ui.LastBox().text.find("byte 280 of the data file is damaged: it and"), std::string::npos);
}

TEST_F(LasDialog, ClosingWithoutALogKeepsTheSavedChoices) {
    dlg->SendCommand(IDCANCEL);
    EXPECT_EQ(dlg->result(), IDCANCEL);
    EXPECT_EQ(Cfg("LASUseSpeed"), "yes");
    EXPECT_EQ(Cfg("LASUseTTRx1"), "yes");
    EXPECT_EQ(Cfg("LASWindEndRx1"), "900");
}

TEST_F(LasDialog, OutputChoice) {
    WriteLog(HeaderKeys{}, 20);
    Load();
    dlg->SendCommand(CLasExport::IDC_OUTPUT_BROWSE);  // cancelled
    EXPECT_EQ(Text(CLasExport::IDC_OUTPUT_NAME), "*** N/A ***");
    EXPECT_FALSE(Enabled(CLasExport::IDC_START));
    EXPECT_FALSE(ui.FileRequests().back().open);
    EXPECT_EQ(ui.FileRequests().back().filter, "Log ASCII Standard(*.las)|*.las||");
    ui.PushFileAnswer(dir / "mine.las");
    dlg->SendCommand(CLasExport::IDC_OUTPUT_BROWSE);
    EXPECT_EQ(Text(CLasExport::IDC_OUTPUT_NAME), "mine.las");
    EXPECT_TRUE(Enabled(CLasExport::IDC_START));
    dlg->SendCommand(CLasExport::IDC_START);
    EXPECT_TRUE(zns::FileExists(dir / "mine.las"));

    // The log itself, spelled otherwise, is refused before any question.
    const std::string log = exporttest::ReadAll(zne);
    const std::string self = dir / "LAS/../run1.zne";
    ui.PushFileAnswer(self);
    dlg->SendCommand(CLasExport::IDC_OUTPUT_BROWSE);
    const size_t before = ui.BoxCount();
    ui.PushAnswer(IDYES);
    dlg->SendCommand(CLasExport::IDC_START);
    ASSERT_EQ(ui.BoxCount(), before + 1);
    EXPECT_EQ(ui.LastBox().text, zns::LasConverter::kMsgOutputIsLog + self);
    EXPECT_EQ(exporttest::ReadAll(zne), log);
}

TEST_F(LasDialog, StartTurnsARangeTypedAgainstTheLogAndRefusesAnEmptyOne) {
    HeaderKeys k;
    k.logMode = 11;
    k.sondeLength = 206;
    exporttest::WriteHeader(hed, k);
    exporttest::WriteRecords(zne, hed, exporttest::RegularRecords(20, 100000, -50, 0));  // 100.00 up to 96.99
    Load();
    dlg->SetDlgItemText(CLasExport::IDC_FROM, "97.50");
    dlg->OnEnKillfocusFrom();
    dlg->SetDlgItemText(CLasExport::IDC_TO, "99.50");
    dlg->OnEnKillfocusTo();
    ASSERT_EQ(ui.BoxCount(), 0u);
    dlg->SendCommand(CLasExport::IDC_START);
    EXPECT_EQ(Text(CLasExport::IDC_FROM), "99.50");
    EXPECT_EQ(Text(CLasExport::IDC_TO), "97.50");
    const std::string out = dir / "LAS/run1.las";
    EXPECT_EQ(ui.LastBox().text, "Migration to LAS file completed.\n\n " + out);
    EXPECT_NE(exporttest::ReadAll(out).find("~A  DEPTH     SPEED      TT1\r\n    99.50"), std::string::npos);

    // Between two lines: Start says why and asks nothing.
    std::remove(out.c_str());
    dlg->SetDlgItemText(CLasExport::IDC_FROM, "99.94");
    dlg->OnEnKillfocusFrom();
    dlg->SetDlgItemText(CLasExport::IDC_TO, "99.94");
    dlg->OnEnKillfocusTo();
    const size_t before = ui.BoxCount();
    dlg->SendCommand(CLasExport::IDC_START);
    ASSERT_EQ(ui.BoxCount(), before + 1);
    EXPECT_EQ(ui.LastBox().text, zns::Format(zns::LasConverter::kMsgEmptyRange, 99.94, 99.94, 100.0, 96.99));
    EXPECT_FALSE(zns::FileExists(out));
}

}  // namespace
