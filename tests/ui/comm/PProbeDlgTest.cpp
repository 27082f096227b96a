// The probe page: supply voltage, gamma coefficient editing, sonde choice,
// import from a sonde file and removal, with what each writes and sends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <vector>

#include "records/SharedRecords.h"
#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/SpinArrows.h"
#include "platform/ui/TestApp.h"
#include "settings/Ini.h"
#include "settings/Preferences.h"
#include "ui/dialogs/PProbeDlg.h"
#include "../../ui/dialogs/DialogTestUtil.h"

namespace fs = std::filesystem;

namespace {

class PProbeDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("zns-probe-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir / "Ressources");
        settings.g_strExeDir = dir.string() + "/";
        zns::SetFixedField(settings.files.szProgramDir, settings.g_strExeDir);
        for (int i = 0; i < kMaxSondes; ++i) settings.sondeDb.Slots[size_t(i)].SerialNumber = i < 3 ? 100 + i : -999;
        settings.sondeDb.Slots[1].RX_Number = 2;
        settings.sondeDb.Slots[1].UpBaudDivisor = 6;
        settings.sondeDb.Slots[1].Voltage = 85;
        settings.sondeDb.nSelected = 0;
        settings.sondeDb.Voltage = 90;
        settings.sondeDb.GammaCoef = 1.0;
        shared.settings.GammaMax = 500;
        shared.settings.GammaFilter = 20;
        shared.settings.GammaViewMode = 7;
        shared.settings.ZNSModus_Rx1 = shared.settings.ZNSModus_Rx2 = shared.settings.ZNSModus_Rx3 = 3;

        page = std::make_unique<CPProbeDlg>(shared, settings);
        PProbeDlgHooks h;
        h.sendCommand = [this](int code) {
            sent.push_back(code);
            return true;
        };
        h.saveConfig = [this] { ++saves; };
        h.sondeChangedToCommPage = [this] { ++commNotes; };
        h.sondeChangedToDepthPanel = [this] { ++depthNotes; };
        h.hideScope = [this](int id) { hidden.push_back(id); };
        page->SetHooks(std::move(h));
        ASSERT_TRUE(page->Create());
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Text(int id) { return page->GetDlgItemText(id); }
    std::string Tool(const std::string& sec, const std::string& key) {
        CIni ini((dir / "Ressources/HxZNS.tol").string(), sec, FALSE);
        return ini.GetString(key, "<none>");
    }
    std::string SondeFile(const std::string& name, const std::string& text) {
        const std::string p = (dir / name).string();
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }

    zns::ui::ScriptedUiService ui;
    zns::ui::ScopedService scoped{ui};
    fs::path dir;
    SharedData shared;
    SettingsData settings;
    std::unique_ptr<CPProbeDlg> page;
    std::vector<int> sent;
    std::vector<int> hidden;
    int saves = 0, commNotes = 0, depthNotes = 0;
};

}  // namespace

TEST_F(PProbeDlgTest, InitialisationFillsTheLists) {
    EXPECT_EQ(shared.settings.GammaViewMode, 0);  // out of range becomes Hide
    EXPECT_EQ(page->SondeList()->count(), 10);
    EXPECT_EQ(page->SondeList()->itemText(1).toStdString(), "0101");
    EXPECT_EQ(page->SondeList()->itemText(5).toStdString(), "-");
    EXPECT_EQ(page->StoredSondes(), 3);
    EXPECT_EQ(page->GammaMaxList()->count(), 12);
    EXPECT_EQ(page->GammaMaxList()->currentText().toStdString(), "500");
    EXPECT_EQ(Text(CPProbeDlg::IDC_FILTER), "20");
    EXPECT_EQ(Text(CPProbeDlg::IDC_COEF), "1.00");
    EXPECT_EQ(Text(CPProbeDlg::IDC_VOLTAGE_LABEL), "Supply Voltage");
    EXPECT_FALSE(page->CoefEdit()->isEnabled());
}

TEST_F(PProbeDlgTest, SupplyVoltageRangeAndCommand) {
    page->SetDlgItemText(CPProbeDlg::IDC_VOLTAGE, "100");
    page->OnEnKillfocusSupplyVoltage();
    EXPECT_EQ(settings.sondeDb.Voltage, 100u);
    EXPECT_EQ(settings.sondeDb.Slots[0].Voltage, 100u);
    EXPECT_EQ(sent, (std::vector<int>{1}));  // sonde off: command 1
    EXPECT_EQ(saves, 1);

    page->SetDlgItemText(CPProbeDlg::IDC_VOLTAGE, "101");
    page->OnEnKillfocusSupplyVoltage();
    EXPECT_EQ(ui.LastBox().text, "Bad entered value");
    EXPECT_EQ(Text(CPProbeDlg::IDC_VOLTAGE), "100");
    EXPECT_EQ(sent.size(), 1u);

    shared.m_bSondePowered = true;
    page->OnVScroll(SB_LINEUP, CPProbeDlg::IDC_VOLTAGE_SPIN, nullptr);
    EXPECT_EQ(Text(CPProbeDlg::IDC_VOLTAGE), "100");
    page->SetDlgItemText(CPProbeDlg::IDC_VOLTAGE, "80");
    page->OnVScroll(SB_LINEDOWN, CPProbeDlg::IDC_VOLTAGE_SPIN, nullptr);
    EXPECT_EQ(Text(CPProbeDlg::IDC_VOLTAGE), "80");
    page->OnVScroll(SB_LINEUP, CPProbeDlg::IDC_VOLTAGE_SPIN, nullptr);
    page->OnVScroll(SB_ENDSCROLL, CPProbeDlg::IDC_VOLTAGE_SPIN, nullptr);
    EXPECT_EQ(settings.sondeDb.Voltage, 81u);
    EXPECT_EQ(sent, (std::vector<int>{1, 8}));  // sonde on: command 8

    page->OnVScroll(SB_LINEUP, CPProbeDlg::IDC_FILTER_SPIN, nullptr);
    page->OnVScroll(SB_ENDSCROLL, CPProbeDlg::IDC_FILTER_SPIN, nullptr);
    EXPECT_EQ(shared.settings.GammaFilter, 21);
}

// What the voltage edit shows after Enter or a click on its arrows is what is
// stored and sent; refused text is never applied and never starts the arrows.
TEST_F(PProbeDlgTest, VoltageFromKeysAndArrowsIsWhatIsShown) {
    page->show();
    page->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
    QLineEdit* edit = page->VoltageEdit();
    auto* spin = page->GetDlgItem<CSpinArrows>(CPProbeDlg::IDC_VOLTAGE_SPIN);
    const QPoint up(spin->width() / 2, spin->height() / 4), down(spin->width() / 2, spin->height() * 3 / 4);
    edit->setFocus();
    edit->setText("85x");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(ui.LastBox().text, "Please enter a number.");
    EXPECT_EQ(Text(CPProbeDlg::IDC_VOLTAGE), "90");

    edit->setText("abc");
    ui.Clear();
    QFocusEvent toMenu(QEvent::FocusOut, Qt::PopupFocusReason);  // its context menu
    QApplication::sendEvent(edit, &toMenu);
    EXPECT_EQ(ui.BoxCount(), 0u);
    QTest::mousePress(spin, Qt::LeftButton, {}, up);
    zns::ui::PumpEvents(CSpinArrows::kFirstRepeatMs + 3 * CSpinArrows::kRepeatMs);
    QTest::mouseRelease(spin, Qt::LeftButton, {}, up);
    EXPECT_EQ(Text(CPProbeDlg::IDC_VOLTAGE), "90");
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(settings.sondeDb.Voltage, 90u);

    edit->setText("150");
    QTest::mouseClick(spin, Qt::LeftButton, {}, down);
    EXPECT_EQ(Text(CPProbeDlg::IDC_VOLTAGE), "100");
    EXPECT_EQ(settings.sondeDb.Voltage, 100u);
    EXPECT_TRUE(spin->hasFocus());  // taken by the click, as a scroll bar takes it
    edit->setFocus();
    edit->setText("95");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(settings.sondeDb.Voltage, 95u);
    edit->setEnabled(false);  // greyed as a log starts: losing the focus so applies nothing
    EXPECT_EQ(sent, (std::vector<int>{1, 1}));
    EXPECT_TRUE(ui.FileRequests().empty());  // Enter never pressed "Add"
    // A click on "Left" (its picker closed) takes the focus: Enter then presses it again.
    const auto closePicker = [] { if (QWidget* m = QApplication::activeModalWidget()) m->close(); };
    QTimer::singleShot(0, page.get(), closePicker);
    QTest::mouseClick(page->GetDlgItem(CPProbeDlg::IDC_FA_LEFT), Qt::LeftButton);
    QTimer::singleShot(0, page.get(), closePicker);
    QTest::keyClick(page->focusWidget(), Qt::Key_Return);
    EXPECT_EQ(saves, 4);
}

TEST_F(PProbeDlgTest, GammaCoefficientEditing) {
    ui.PushAnswer(IDNO);
    page->OnBnClickedEdit();
    EXPECT_FALSE(shared.g_bGammaCoefEditing);
    EXPECT_EQ(ui.LastBox().text, "This is a critical parameter.\nAre you sure to want to mofify it ?");

    ui.PushAnswer(IDYES);
    page->OnBnClickedEdit();
    EXPECT_TRUE(shared.g_bGammaCoefEditing);
    EXPECT_EQ(page->EditButton()->text().toStdString(), "Save");
    EXPECT_TRUE(page->CoefEdit()->isEnabled());
    page->SetDlgItemText(CPProbeDlg::IDC_COEF, "5.01");
    page->OnBnClickedEdit();
    EXPECT_EQ(ui.LastBox().text, "Bad entered value\nCorrect value is : 0.2 to 5.00");
    EXPECT_EQ(Text(CPProbeDlg::IDC_COEF), "1.00");
    EXPECT_FALSE(shared.g_bGammaCoefEditing);

    ui.PushAnswer(IDYES);
    page->OnBnClickedEdit();
    page->SetDlgItemText(CPProbeDlg::IDC_COEF, "0,2");
    page->OnBnClickedEdit();
    EXPECT_DOUBLE_EQ(settings.sondeDb.GammaCoef, 0.2);
    EXPECT_DOUBLE_EQ(settings.sondeDb.Slots[0].GammaCoef, 0.2);
    EXPECT_EQ(Tool("Sonde0", "GammaCoef"), "0.20");
    EXPECT_EQ(page->EditButton()->text().toStdString(), "Edit");

    // Text that is no number: the editing closes, nothing is stored.
    ui.PushAnswer(IDYES);
    page->OnBnClickedEdit();
    QTest::keyClicks(page->CoefEdit(), "x");
    QTest::mouseClick(page->EditButton(), Qt::LeftButton);
    EXPECT_FALSE(shared.g_bGammaCoefEditing);
    EXPECT_DOUBLE_EQ(settings.sondeDb.GammaCoef, 0.2);
    EXPECT_EQ(Text(CPProbeDlg::IDC_COEF), "0.20");  // shown again
}

TEST_F(PProbeDlgTest, SelectingASondeTakesItsValuesAndHidesMissingReceivers) {
    page->SondeList()->setCurrentIndex(1);
    page->OnCbnSelchangeSondeSerial();
    EXPECT_EQ(settings.sondeDb.nSelected, 1);
    EXPECT_EQ(settings.sondeDb.SerialNumber, 101);
    EXPECT_EQ(shared.settings.BaudDivisor, 6);
    EXPECT_EQ(shared.settings.ZNSModus_Rx3, 0);
    EXPECT_EQ(shared.settings.ZNSModus_Rx2, 3);
    EXPECT_EQ(hidden, (std::vector<int>{RX3_ID}));
    EXPECT_EQ(Text(CPProbeDlg::IDC_VOLTAGE), "85");
    EXPECT_EQ(commNotes, 1);
    EXPECT_EQ(depthNotes, 1);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(sent, (std::vector<int>{1}));
}

TEST_F(PProbeDlgTest, ImportGoesToTheFirstFreeSlotOrOverwrites) {
    for (int i = 4; i < kMaxSondes; ++i) settings.sondeDb.Slots[size_t(i)].SerialNumber = 200 + i;
    page->FillSondeList();
    const std::string file = SondeFile("new.znc",
                                       "[Sonde]\nSerialNumber=4321\nRX_Number=3\nNatural_Gamma=yes\n"
                                       "GammaCoef=12\nVoltage=95\nRx1_Name=N1\n");
    ui.PushFileAnswer(file);
    shared.m_nLinkState = LINK_ANSWER;
    page->OnBnClickedAdd();
    const auto req = ui.FileRequests().back();
    EXPECT_EQ(req.filter, "ZNS importation sonde File (*.znc)|*.ZNC|ZNS importation sonde File (*.txt)|*.TXT|| ");
    EXPECT_EQ(req.defaultExt, ".znc");
    EXPECT_EQ(settings.sondeDb.nSelected, 3);
    EXPECT_EQ(settings.sondeDb.Slots[3].SerialNumber, 4321);
    EXPECT_DOUBLE_EQ(settings.sondeDb.Slots[3].GammaCoef, 10.0);
    EXPECT_EQ(settings.sondeDb.RxName[0], "N1");
    EXPECT_EQ(Tool("Sonde3", "SerialNumber"), "4321");
    EXPECT_EQ(Tool("Sonde3", "GammaCoef"), "10");
    EXPECT_EQ(Tool("Sonde3", "Voltage"), "95");
    EXPECT_EQ(Text(CPProbeDlg::IDC_VOLTAGE), "95");
    EXPECT_EQ(page->SondeList()->itemText(3).toStdString(), "4321");
    EXPECT_EQ(page->StoredSondes(), 10);
    EXPECT_FALSE(page->GetDlgItem(CPProbeDlg::IDC_ADD)->isEnabled());
    EXPECT_EQ(sent, (std::vector<int>{1}));  // the last frame was a configuration answer
    EXPECT_EQ(depthNotes, 1);

    // All ten in use: refused before any file dialog.
    page->OnBnClickedAdd();
    EXPECT_EQ(ui.LastBox().text, "The maximum of storable sonde is reached.");
    EXPECT_EQ(ui.FileRequests().size(), 1u);

    // Same serial number: the overwrite question; No leaves the slot alone.
    settings.sondeDb.Slots[9].SerialNumber = -999;
    ui.PushFileAnswer(SondeFile("again.txt", "[Sonde]\nSerialNumber=101\nSondeLength=999\n"));
    ui.PushAnswer(IDNO);
    page->OnBnClickedAdd();
    EXPECT_EQ(ui.LastBox().text, "A sonde with the same serial number is already stored in dbase. Overwrite?");
    EXPECT_EQ(settings.sondeDb.Slots[1].SondeLength, kSondeDefaultLength);
    // A file that is neither ".znc" nor ".txt".
    ui.PushFileAnswer((dir / "missing.znc").string());
    page->OnBnClickedAdd();
    EXPECT_EQ(ui.LastBox().text, "Bad sonde file");
}

TEST_F(PProbeDlgTest, ImportTakesOnlyASondeAndKeepsMemoryAsTheFile) {
    const fs::path tool = dir / "Ressources/HxZNS.tol";
    for (const std::string& text : {std::string("a text file, no section\n"), std::string("[Sonde]\nSerialNumber=0\n")}) {
        ui.PushFileAnswer(SondeFile("bad.txt", text));
        page->OnBnClickedAdd();
        EXPECT_EQ(ui.LastBox().text, "Bad sonde file") << text;
    }
    EXPECT_FALSE(fs::exists(tool));
    EXPECT_EQ(settings.sondeDb.nSelected, 0);
    EXPECT_EQ(page->SondeList()->itemText(3).toStdString(), "-");
    EXPECT_EQ(saves, 0);

    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.UpGain = 15;
        shared.settings.UpDrive = 20;
        shared.settings.DownDrive = 27;
        shared.settings.BaudDivisor = 8;
    }
    ui.PushFileAnswer(SondeFile("UPPER.ZNC", "[Sonde]\nSerialNumber=77\n"));
    page->OnBnClickedAdd();
    EXPECT_EQ(Tool("Sonde3", "SerialNumber"), "0077");
    ASSERT_EQ(settings.sondeDb.nSelected, 3);
    // The save after the import writes the telemetry in use into the slot's section.
    const SondeRecord& slot = settings.sondeDb.Slots[3];
    EXPECT_EQ(slot.UpGain, 15);
    EXPECT_EQ(slot.UpDrive, 20);
    EXPECT_EQ(slot.DownDrive, 27);
    EXPECT_EQ(slot.UpBaudDivisor, 8);
}

TEST_F(PProbeDlgTest, RemovalClearsTheSlotWithoutSavingOrSending) {
    page->SondeList()->setCurrentIndex(2);
    page->OnCbnSelchangeSondeSerial();
    sent.clear();
    saves = 0;
    ui.PushAnswer(IDYES);
    page->OnBnClickedRemove();
    EXPECT_EQ(settings.sondeDb.Slots[2].SerialNumber, -999);
    EXPECT_EQ(settings.sondeDb.SerialNumber, -999);
    EXPECT_EQ(settings.sondeDb.nSelected, 2);
    EXPECT_EQ(Tool("Sonde2", "SerialNumber"), "-999");
    EXPECT_EQ(page->SondeList()->itemText(2).toStdString(), "-");
    EXPECT_EQ(ui.LastBox().text, "Sonde removed.\nDo not forget to select another sonde");
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(saves, 0);

    // Imported again: no match (the slot holds -999), the first free slot takes it.
    ui.PushFileAnswer(SondeFile("back.znc", "[Sonde]\nSerialNumber=102\n"));
    page->OnBnClickedAdd();
    EXPECT_EQ(settings.sondeDb.Slots[2].SerialNumber, 102);
}

TEST_F(PProbeDlgTest, GammaDisplayChoices) {
    page->GammaViewList()->setCurrentIndex(1);
    page->OnCbnSelchangeGammaView();
    EXPECT_TRUE(page->GammaMaxList()->isEnabled());
    page->GammaViewList()->setCurrentIndex(2);
    page->OnCbnSelchangeGammaView();
    EXPECT_FALSE(page->GammaMaxList()->isEnabled());
    EXPECT_EQ(shared.settings.GammaViewMode, 2);
    page->GammaMaxList()->setCurrentIndex(11);
    page->OnCbnSelchangeGammaMaximum();
    EXPECT_EQ(shared.settings.GammaMax, 50000);
    shared.settings.GammaMax = 1000;
    page->SendCommand(CPProbeDlg::ID_REFRESH_PROBE_PAGE);
    EXPECT_EQ(page->GammaMaxList()->currentText().toStdString(), "1000");
}

TEST_F(PProbeDlgTest, Screenshot) {
    page->UpdateVoltage();
    page->show();
    EXPECT_TRUE(zns::test::SaveShot(*page, "probe_page.png"));
}
