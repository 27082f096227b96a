// The header editor: tabs, what Save / Cancel / Escape / the close box / Enter
// leave in the record, Reset, and the import of a header file.
#include <QPushButton>
#include <QTabWidget>

#include "HeaderTestSupport.h"
#include "records/SharedRecords.h"
#include "platform/Clock.h"

namespace {

using zns::test::HeaderEditorTest;

std::string ArtifactPath(const std::string& name) {
#ifdef ZNS_ARTIFACT_DIR
    const std::filesystem::path dir(ZNS_ARTIFACT_DIR);
#else
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zns-artifacts";
#endif
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

// Acquisition values that neither the pages nor the import may touch.
void SetAcquisition(HeaderRecord& r) {
    r.DepthUnit = 1;
    r.Startdepth = 12000;
    r.EndDepth = 34000;
    r.StartTime = 5;
    r.EndTime = 6;
    r.step = 25;
    r.LogMode = HEADER_LOG_DOWN;
    r.Zero = 3;
    r.SondeAbbreviation = "ABC";
}
void ExpectAcquisition(const HeaderRecord& r) {
    EXPECT_EQ(r.DepthUnit, 1);
    EXPECT_EQ(r.Startdepth, 12000);
    EXPECT_EQ(r.EndDepth, 34000);
    EXPECT_EQ(r.StartTime, 5);
    EXPECT_EQ(r.EndTime, 6);
    EXPECT_EQ(r.step, 25);
    EXPECT_EQ(r.LogMode, HEADER_LOG_DOWN);
    EXPECT_EQ(r.Zero, 3);
    EXPECT_EQ(r.SondeAbbreviation, "ABC");
}

TEST_F(HeaderEditorTest, TabsChooseThePageShown) {
    CHeaderDlg& d = Open();
    QTabWidget* tabs = d.Tabs();
    ASSERT_EQ(tabs->count(), 5);
    const char* captions[] = {"C&lient / Location", "Log &Datum", "&Logging Run", "Drill &Bit Size / Casing",
                              "&Remarks"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(tabs->tabText(i).toStdString(), captions[i]);
    EXPECT_EQ(d.CurrentPage(), &d.ClientPage());
    EXPECT_TRUE(d.ClientPage().isVisible());

    tabs->setCurrentIndex(CHeaderDlg::TAB_BIT_CASING);
    EXPECT_EQ(d.CurrentPage(), &d.BitCasingPage());
    EXPECT_TRUE(d.BitCasingPage().isVisible());
    EXPECT_FALSE(d.ClientPage().isVisible());
    d.OnTcnSelchangeTab(7);  // no such tab
    EXPECT_EQ(d.CurrentPage(), &d.BitCasingPage());
    d.ShowPage(&d.RemarksPage());
    EXPECT_EQ(tabs->currentIndex(), CHeaderDlg::TAB_REMARKS);
    EXPECT_TRUE(d.RemarksPage().isVisible());
    EXPECT_FALSE(d.BitCasingPage().isVisible());
}

TEST_F(HeaderEditorTest, OnlySaveCancelEscapeOrCloseEndTheEditor) {
    rec.Wellname = "before";
    struct Way {
        const char* name;
        void (*end)(CHeaderDlg&);
    };
    const Way ways[] = {
        {"cancel button", [](CHeaderDlg& d) { d.GetDlgItem<QPushButton>(CHeaderDlg::IDC_CANCEL_HEADER)->click(); }},
        {"escape", [](CHeaderDlg& d) { QTest::keyClick(d.ClientPage().GetDlgItem(CHCompagnyDlg::IDC_WELL), Qt::Key_Escape); }},
        {"close box", [](CHeaderDlg& d) { d.close(); }},
    };
    for (const Way& w : ways) {
        CHeaderDlg& d = Open();
        QLineEdit* well = Edit(d.ClientPage(), CHCompagnyDlg::IDC_WELL);
        well->setFocus();
        well->setText("typed");
        QTest::keyClick(well, Qt::Key_Return);
        EXPECT_FALSE(Ended()) << "Enter ended the editor";
        w.end(d);
        EXPECT_TRUE(Ended()) << w.name;
        EXPECT_EQ(d.result(), IDCANCEL) << w.name;
        EXPECT_EQ(rec.Wellname, "before") << w.name;
    }

    CHeaderDlg& d = Open();
    Edit(d.ClientPage(), CHCompagnyDlg::IDC_WELL)->setText("typed");
    QPushButton* save = d.GetDlgItem<QPushButton>(CHeaderDlg::IDC_SAVE);
    save->setFocus();
    QTest::keyClick(save, Qt::Key_Return);  // a focused button takes Enter
    EXPECT_TRUE(Ended());
    EXPECT_EQ(d.result(), IDOK);
    EXPECT_EQ(rec.Wellname, "typed");
}

TEST_F(HeaderEditorTest, ResetPutsDefaultsAndTodayAndStaysAfterCancel) {
    SetAcquisition(rec);
    rec.Company = "ACME";
    rec.ServiceCompany = "svc";
    rec.RunNo2 = 4;
    rec.CasRecTo3 = 7.5;
    rec.Comment9 = "c9";
    rec.SerialNumber = 77;
    rec.m_nChannelCount = 3;
    zns::FakeClock clock;
    clock.SetLocalBase({2026, 12, 6, 9, 30, 0, 0, 0});
    HeaderDlgContext ctx;
    ctx.clock = &clock;
    CHeaderDlg& d = Open(ctx);
    Edit(d.ClientPage(), CHCompagnyDlg::IDC_WELL)->setText("typed before reset");

    d.SendCommand(CHeaderDlg::IDC_RESET);
    EXPECT_EQ(rec.Date, "06 December 2026");
    EXPECT_EQ(rec.step, 10);
    EXPECT_EQ(rec.LogMode, HEADER_LOG_TIME);
    EXPECT_EQ(rec.Startdepth, 0);
    EXPECT_EQ(rec.EndDepth, 0);
    EXPECT_EQ(rec.DepthUnit, 0);
    EXPECT_EQ(rec.SondeAbbreviation, "ZNS");
    EXPECT_EQ(rec.Company, " ");
    EXPECT_EQ(rec.ServiceCompany, "");
    EXPECT_EQ(rec.RunNo2, 0);
    EXPECT_DOUBLE_EQ(rec.CasRecTo3, 0.0);
    EXPECT_EQ(rec.Comment9, "");
    EXPECT_EQ(rec.SerialNumber, 77);  // [General] and channels are not well information
    EXPECT_EQ(rec.m_nChannelCount, 3);
    // The pages show the reset record.
    EXPECT_EQ(d.ClientPage().GetDlgItemText(CHCompagnyDlg::IDC_WELL), "");
    EXPECT_EQ(d.ClientPage().GetDlgItemText(CHCompagnyDlg::IDC_COMPANY), " ");
    EXPECT_EQ(d.RunPage().GetDlgItemText(CHGroundDlg::IDC_DATE), "06 December 2026");
    EXPECT_FALSE(Ended());

    d.SendCommand(IDCANCEL);
    EXPECT_EQ(rec.Date, "06 December 2026");
    EXPECT_EQ(rec.Company, " ");
}

TEST_F(HeaderEditorTest, LoadReplacesTheWellInfoButNotTheAcquisitionAndCancelKeepsIt) {
    SetAcquisition(rec);
    rec.Company = "ACME";
    rec.Comment3 = "c3";
    rec.RunNo1 = 4;
    rec.KellyBushing = 2.5;
    rec.UWI = "u";
    const std::string path = WriteFile("well.HeD",
                                       "[General]\r\nLogType=1\r\n\r\n[WellInfo]\r\nWellname=Deep \xE9 1\r\n"
                                       "step=99\r\nLogMode=11\r\n");
    CHeaderDlg& d = Open();
    ui.PushFileAnswer(path);
    d.SendCommand(CHeaderDlg::IDC_LOAD);

    EXPECT_EQ(ui.BoxCount(), 0u);
    EXPECT_EQ(rec.Wellname, "Deep \xE9 1");
    EXPECT_EQ(rec.Company, " ");
    EXPECT_EQ(rec.Comment3, "");
    EXPECT_EQ(rec.UWI, "");
    EXPECT_EQ(rec.RunNo1, 0);
    EXPECT_DOUBLE_EQ(rec.KellyBushing, 0.0);
    ExpectAcquisition(rec);
    EXPECT_EQ(d.ClientPage().GetDlgItemText(CHCompagnyDlg::IDC_WELL), "Deep \xE9 1");
    EXPECT_EQ(d.DatumPage().GetDlgItemText(CHWeelDatumDlg::IDC_KELLY), "0.000");

    d.SendCommand(CHeaderDlg::IDC_CANCEL_HEADER);
    EXPECT_EQ(rec.Wellname, "Deep \xE9 1");
}

TEST_F(HeaderEditorTest, LoadAsksInTheLastLogFolderAndRefusesOtherExtensionsAndUnreadableFiles) {
    rec.Wellname = "mine";
    const std::string txt = WriteFile("notes.txt", "[WellInfo]\r\nWellname=other\r\n");
    const std::string dirNamedHed = (m_dir / "folder.hed").string();
    std::filesystem::create_directories(dirNamedHed);
    HeaderDlgContext ctx;
    ctx.lastLogFolder = m_dir.string();
    CHeaderDlg& d = Open(ctx);
    d.SendCommand(CHeaderDlg::IDC_LOAD);  // unscripted: cancelled, nothing happens
    ASSERT_EQ(ui.FileRequests().size(), 1u);
    const auto req = ui.FileRequests()[0];
    EXPECT_TRUE(req.open);
    EXPECT_EQ(req.filter, "BHTV File (*.HED)|*.HED||");
    EXPECT_EQ(req.fileName, "*.HED");
    EXPECT_EQ(req.initialDir, m_dir.string());
    EXPECT_EQ(req.flags & (OFN_FILEMUSTEXIST | OFN_HIDEREADONLY), OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
    EXPECT_EQ(ui.BoxCount(), 0u);
    for (const std::string& path : {txt, (m_dir / "gone.hed").string(), dirNamedHed}) {
        ui.Clear();
        ui.PushFileAnswer(path);
        d.SendCommand(CHeaderDlg::IDC_LOAD);
        ASSERT_EQ(ui.BoxCount(), 1u) << path;
        EXPECT_EQ(ui.LastBox().text, "Data file not present.");
        EXPECT_EQ(ui.LastBox().type, static_cast<unsigned>(MB_OK));
        EXPECT_EQ(rec.Wellname, "mine") << path;
    }
    EXPECT_FALSE(Ended());
}

// What the header writer puts in [WellInfo] comes back through the import,
// all but the nine acquisition keys.
TEST(HeaderImport, ReadsBackWhatTheHeaderWriterWrote) {
    HeaderRecord src;
    int n = 0;
    for (const WellInfoKey& k : WellInfoKeys()) {
        ++n;
        switch (k.type) {
            case WellInfoKey::String: src.*k.s = "v" + std::to_string(n); break;
            case WellInfoKey::Int: src.*k.i = n * 3 + 1; break;
            case WellInfoKey::Double: src.*k.d = n + 0.25; break;
        }
    }
    SharedData shared;
    SettingsData data;
    CHeader writer(src, shared, data);
    std::string text = "[General]\r\nLogType=1\r\n\r\n[WellInfo]\r\n";
    writer.WriteWellInfo(text);
    const auto path = std::filesystem::temp_directory_path() / "zns-hdredit-roundtrip.hed";
    std::ofstream(path, std::ios::binary) << text;

    HeaderRecord dst;
    SetAcquisition(dst);
    ASSERT_TRUE(zns::ImportHeaderWellInfo(dst, path.string()));
    std::filesystem::remove(path);
    int imported = 0;
    for (const WellInfoKey& k : WellInfoKeys()) {
        const std::string key = k.key;
        const bool acquisition = key == "DepthUnit" || key == "Startdepth" || key == "EndDepth" ||
                                 key == "StartTime" || key == "EndTime" || key == "step" || key == "LogMode" ||
                                 key == "Zero" || key == "SondeAbbreviation";
        if (acquisition) continue;
        ++imported;
        switch (k.type) {
            case WellInfoKey::String: EXPECT_EQ(dst.*k.s, src.*k.s) << key; break;
            case WellInfoKey::Int: EXPECT_EQ(dst.*k.i, src.*k.i) << key; break;
            case WellInfoKey::Double: EXPECT_DOUBLE_EQ(dst.*k.d, src.*k.d) << key; break;
        }
    }
    EXPECT_EQ(imported, 100);
    ExpectAcquisition(dst);
}

TEST_F(HeaderEditorTest, Screenshots) {
    rec.Project = "North field survey";
    rec.Company = "Example Drilling";
    rec.Wellname = "NF-12";
    rec.Date = "06 December 2026";
    rec.RunNo1 = 2;
    rec.DepthDriller1 = 410.5;
    rec.MaxTemperature1 = 36.5;
    rec.CasRecSize1 = 9.625;
    rec.BitRec1 = 8.5;
    rec.Comment1 = "First remark";
    rec.Comment2 = "Second remark";
    CPicture logo;
    zns::test::MakeLogo(logo, qRgb(30, 80, 160), {300, 240});
    HeaderDlgContext ctx;
    ctx.logo = &logo;
    CHeaderDlg& d = Open(ctx);
    d.resize(d.minimumSize());
    const char* names[] = {"header_client.png", "header_datum.png", "header_run.png", "header_bit_casing.png",
                           "header_remarks.png"};
    for (int i = 0; i < CHeaderDlg::kTabCount; ++i) {
        d.Tabs()->setCurrentIndex(i);
        d.repaint();
        zns::ui::PumpEvents(40);
        EXPECT_TRUE(d.grab().toImage().save(QString::fromStdString(ArtifactPath(names[i]))));
    }
}

}  // namespace
