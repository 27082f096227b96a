// The five pages: which record value each control carries, in both
// directions, the number formats, the remarks lines and the logo.
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>

#include "HeaderTestSupport.h"

namespace {

using zns::test::HeaderEditorTest;
enum Page { Client, Datum, Run, BitCasing, Remarks };

CHeaderPage& PageOf(CHeaderDlg& d, Page p) {
    switch (p) {
        case Client: return d.ClientPage();
        case Datum: return d.DatumPage();
        case Run: return d.RunPage();
        case BitCasing: return d.BitCasingPage();
        default: return d.RemarksPage();
    }
}

struct TextField {
    Page page;
    int id;
    std::string HeaderRecord::*field;
};
const TextField kTextFields[] = {
    {Client, 1064, &HeaderRecord::Project},        {Client, 1166, &HeaderRecord::LogName},
    {Client, 1062, &HeaderRecord::Company},        {Client, 1056, &HeaderRecord::Wellname},
    {Client, 1057, &HeaderRecord::Fieldname},      {Client, 1061, &HeaderRecord::Country},
    {Client, 1058, &HeaderRecord::Location},       {Client, 1059, &HeaderRecord::Latitude},
    {Client, 1060, &HeaderRecord::Longitude},      {Client, 1168, &HeaderRecord::OtherServices1},
    {Client, 1169, &HeaderRecord::OtherServices2}, {Client, 1170, &HeaderRecord::OtherServices3},
    {Client, 1171, &HeaderRecord::OtherServices4}, {Client, 1172, &HeaderRecord::OtherServices5},
    // The edit under "PermanentDatum" carries LogDatum, the one under "Log Datum" DateRun1.
    {Datum, 1091, &HeaderRecord::LogDatum},        {Datum, 1173, &HeaderRecord::Elevation},
    {Datum, 1086, &HeaderRecord::DateRun1},        {Datum, 1087, &HeaderRecord::DrillDatum},
    {Run, 1092, &HeaderRecord::Date},              {Run, 1065, &HeaderRecord::LogType1},
    {Run, 1068, &HeaderRecord::Fluid1},            {Run, 1103, &HeaderRecord::Engineer1},
    {Run, 1071, &HeaderRecord::Salinity1},         {Run, 1083, &HeaderRecord::FluidDensity1},
    {Run, 1080, &HeaderRecord::FluidLevel1},       {Run, 1074, &HeaderRecord::RigTime1},
    {Run, 1106, &HeaderRecord::Witness1},
};

struct NumberField {
    Page page;
    int id;
    double HeaderRecord::*field;
    const char* zeroText;  // what 0.0 shows
    int decimals;
};
const NumberField kNumberFields[] = {
    {Datum, 1160, &HeaderRecord::KellyBushing, "0.000", 3},
    {Datum, 1161, &HeaderRecord::DrillFloor, "0.000", 3},
    {Datum, 1162, &HeaderRecord::GroundLevel, "0.000", 3},
    {Run, 1109, &HeaderRecord::DepthDriller1, "", 3},
    {Run, 1112, &HeaderRecord::DepthLogger1, "", 3},
    {Run, 1115, &HeaderRecord::Deepest1, "", 3},
    {Run, 1118, &HeaderRecord::Shallow1, "", 3},
    {Run, 1077, &HeaderRecord::MaxTemperature1, "0.00", 2},
    {BitCasing, 1139, &HeaderRecord::CasRecSize1, "", 3},
    {BitCasing, 1130, &HeaderRecord::CasRecWeight1, "", 3},
    {BitCasing, 1133, &HeaderRecord::CasRecFrom1, "", 3},
    {BitCasing, 1136, &HeaderRecord::CasRecTo1, "", 3},
    {BitCasing, 1121, &HeaderRecord::BitRec1, "", 3},
    {BitCasing, 1124, &HeaderRecord::BitRecFrom1, "", 3},
    {BitCasing, 1127, &HeaderRecord::BitRecTo1, "", 3},
};

TEST_F(HeaderEditorTest, EveryControlShowsItsValueAndSavesItBack) {
    for (const TextField& f : kTextFields) rec.*f.field = "r" + std::to_string(f.id) + " \xE9t\xE9";
    for (const NumberField& f : kNumberFields) rec.*f.field = f.id + 0.5;
    rec.RunNo1 = 7;
    rec.PermanentDatum = "kept";
    rec.ServiceCompany = "svc";
    rec.Fluid2 = "run two";
    rec.BitRec3 = 8.5;
    CHeaderDlg& d = Open();

    for (const TextField& f : kTextFields)
        EXPECT_EQ(PageOf(d, f.page).GetDlgItemText(f.id), rec.*f.field) << f.id;
    for (const NumberField& f : kNumberFields)
        EXPECT_EQ(PageOf(d, f.page).GetDlgItemText(f.id), f.decimals == 3 ? std::to_string(f.id) + ".500"
                                                                           : std::to_string(f.id) + ".50")
            << f.id;
    EXPECT_EQ(d.RunPage().GetDlgItemText(CHGroundDlg::IDC_RUN_NO), "7");
    EXPECT_EQ(d.BitCasingPage().GetDlgItemText(CHRecordDlg::IDC_RUN_NO), "7");

    for (const TextField& f : kTextFields) PageOf(d, f.page).SetDlgItemText(f.id, "s" + std::to_string(f.id));
    for (const NumberField& f : kNumberFields) PageOf(d, f.page).SetDlgItemText(f.id, std::to_string(f.id) + ",25");
    d.SendCommand(CHeaderDlg::IDC_SAVE);

    EXPECT_TRUE(Ended());
    EXPECT_EQ(d.result(), IDOK);
    EXPECT_EQ(ui.BoxCount(), 0u);
    for (const TextField& f : kTextFields) EXPECT_EQ(rec.*f.field, "s" + std::to_string(f.id)) << f.id;
    for (const NumberField& f : kNumberFields) EXPECT_DOUBLE_EQ(rec.*f.field, f.id + 0.25) << f.id;
    // Values without a control are left alone.
    EXPECT_EQ(rec.PermanentDatum, "kept");
    EXPECT_EQ(rec.ServiceCompany, "svc");
    EXPECT_EQ(rec.Fluid2, "run two");
    EXPECT_DOUBLE_EQ(rec.BitRec3, 8.5);
}

TEST_F(HeaderEditorTest, ZeroShowsPerFormatAndEmptySavesZero) {
    for (const NumberField& f : kNumberFields) rec.*f.field = 0.0;
    rec.MaxTemperature1 = 36.5;
    CHeaderDlg& d = Open();
    for (const NumberField& f : kNumberFields) {
        if (f.id == 1077) continue;
        EXPECT_EQ(PageOf(d, f.page).GetDlgItemText(f.id), f.zeroText) << f.id;
    }
    EXPECT_EQ(d.RunPage().GetDlgItemText(CHGroundDlg::IDC_MAX_TEMP), "36.50");

    rec.DepthDriller1 = 99.0;  // the empty edit is what counts at Save
    d.SendCommand(CHeaderDlg::IDC_SAVE);
    EXPECT_DOUBLE_EQ(rec.DepthDriller1, 0.0);
    EXPECT_DOUBLE_EQ(rec.MaxTemperature1, 36.5);
}

TEST_F(HeaderEditorTest, NumberEditsRefuseTypedLettersButNotText) {
    CHeaderDlg& d = Open();
    d.Tabs()->setCurrentIndex(CHeaderDlg::TAB_RUN);
    Type(d.RunPage(), CHGroundDlg::IDC_RUN_NO, "1a-2.,3");  // a run number is a whole number
    EXPECT_EQ(d.RunPage().GetDlgItemText(CHGroundDlg::IDC_RUN_NO), "123");
    d.Tabs()->setCurrentIndex(CHeaderDlg::TAB_BIT_CASING);
    Type(d.BitCasingPage(), CHRecordDlg::IDC_RUN_NO, "-4.5");
    EXPECT_EQ(d.BitCasingPage().GetDlgItemText(CHRecordDlg::IDC_RUN_NO), "45");
    // Decimals and signs can be typed: bit sizes and elevations need them.
    Type(d.RunPage(), CHGroundDlg::IDC_MAX_TEMP, "-3x5.5");
    EXPECT_EQ(d.RunPage().GetDlgItemText(CHGroundDlg::IDC_MAX_TEMP), "-35.5");
    Type(d.RunPage(), CHGroundDlg::IDC_FLUID, "mud 1.2");
    EXPECT_EQ(d.RunPage().GetDlgItemText(CHGroundDlg::IDC_FLUID), "mud 1.2");
}

TEST_F(HeaderEditorTest, RefusedNumbersShowTheMessageAndSaveGoesOn) {
    rec.KellyBushing = 4.5;
    rec.RunNo1 = 1;
    CHeaderDlg& d = Open();
    // Pasted text: the digits-only style does not stop it.
    d.DatumPage().SetDlgItemText(CHWeelDatumDlg::IDC_KELLY, "1.2.3");
    d.BitCasingPage().SetDlgItemText(CHRecordDlg::IDC_RUN_NO, "12a");
    d.BitCasingPage().SetDlgItemText(CHRecordDlg::IDC_BIT, "x");
    d.ClientPage().SetDlgItemText(CHCompagnyDlg::IDC_WELL, "W-1");
    d.SendCommand(CHeaderDlg::IDC_SAVE);

    ASSERT_EQ(ui.BoxCount(), 3u);
    for (const auto& box : ui.Boxes()) {
        EXPECT_EQ(box.text, "Please enter a number.");
        EXPECT_EQ(box.Icon(), MB_ICONSTOP);
    }
    EXPECT_DOUBLE_EQ(rec.KellyBushing, 4.5);  // kept
    EXPECT_EQ(rec.RunNo1, 12);                // the leading integer
    EXPECT_DOUBLE_EQ(rec.BitRec1, 0.0);
    EXPECT_EQ(rec.Wellname, "W-1");
    EXPECT_TRUE(Ended());
}

TEST_F(HeaderEditorTest, RunNumberOfTheBitPageWinsAndTypingKeepsBothInStep) {
    CHeaderDlg& d = Open();
    d.RunPage().SetDlgItemText(CHGroundDlg::IDC_RUN_NO, "3");
    d.BitCasingPage().SetDlgItemText(CHRecordDlg::IDC_RUN_NO, "5");
    d.SendCommand(CHeaderDlg::IDC_SAVE);
    EXPECT_EQ(rec.RunNo1, 5);

    // What the operator types on the run page is not lost to the other page.
    CHeaderDlg& e = Open();
    e.Tabs()->setCurrentIndex(CHeaderDlg::TAB_RUN);
    Type(e.RunPage(), CHGroundDlg::IDC_RUN_NO, "9");
    EXPECT_EQ(e.BitCasingPage().GetDlgItemText(CHRecordDlg::IDC_RUN_NO), "9");
    e.SendCommand(CHeaderDlg::IDC_SAVE);
    EXPECT_EQ(rec.RunNo1, 9);
}

// ---- remarks ----------------------------------------------------------------

TEST(HeaderRemarks, LinesJoinAndSplitAtCrLfOnly) {
    std::array<std::string, 10> c{};
    c[1] = "b";
    c[3] = "d";
    EXPECT_EQ(zns::JoinComments(c), "\r\nb\r\nd");
    const auto back = zns::SplitComments("\r\nb\r\nd");
    EXPECT_EQ(back[0], "");
    EXPECT_EQ(back[1], "b");
    EXPECT_EQ(back[2], "d");
    for (size_t k = 3; k < 10; ++k) EXPECT_EQ(back[k], "");

    std::string twelve;
    for (int i = 1; i <= 12; ++i) twelve += "line" + std::to_string(i) + (i < 12 ? "\r\n" : "");
    const auto ten = zns::SplitComments(twelve);
    EXPECT_EQ(ten[0], "line1");
    EXPECT_EQ(ten[9], "line10");

    const auto lone = zns::SplitComments("a\rb\r\nc\nd\r\n");
    EXPECT_EQ(lone[0], "a\rb");
    EXPECT_EQ(lone[1], "c\nd");
    EXPECT_EQ(lone[2], "");
}

TEST_F(HeaderEditorTest, RemarksEditCarriesTheCommentsAndEnterIsNotANewLine) {
    rec.Comment2 = "b";
    rec.Comment4 = "d";
    rec.Comment10 = "old";
    CHeaderDlg& d = Open();
    CHCommentDlg& page = d.RemarksPage();
    auto* edit = page.GetDlgItem<QPlainTextEdit>(CHCommentDlg::IDC_REMARKS);
    EXPECT_EQ(edit->toPlainText(), QStringLiteral("\nb\nd\nold"));

    d.Tabs()->setCurrentIndex(CHeaderDlg::TAB_REMARKS);
    edit->setFocus();
    edit->moveCursor(QTextCursor::End);
    QTest::keyClick(edit, Qt::Key_Return);  // the editor's default: nothing
    EXPECT_FALSE(Ended());
    QTest::keyClicks(edit, QStringLiteral("!"));
    QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(edit, QStringLiteral("new"));
    // A pasted lone CR cannot be shown inside a line: it stays in it as a blank.
    QGuiApplication::clipboard()->setText(QStringLiteral("\r\nx\ry\nz"));
    edit->paste();
    d.SendCommand(CHeaderDlg::IDC_SAVE);

    EXPECT_EQ(rec.Comment1, "");
    EXPECT_EQ(rec.Comment2, "b");
    EXPECT_EQ(rec.Comment3, "d");
    EXPECT_EQ(rec.Comment4, "old!");
    EXPECT_EQ(rec.Comment5, "new");
    EXPECT_EQ(rec.Comment6, "x y");
    EXPECT_EQ(rec.Comment7, "z");
    EXPECT_EQ(rec.Comment10, "");
}

// ---- logo ---------------------------------------------------------------------

TEST_F(HeaderEditorTest, VisiblePagesDrawTheLogoAfterPainting) {
    CPicture logo;
    zns::test::MakeLogo(logo, qRgb(220, 0, 0));
    HeaderDlgContext ctx;
    ctx.logo = &logo;
    CHeaderDlg& d = Open(ctx);
    d.repaint();
    zns::ui::PumpEvents(60);

    const QPixmap shown = d.ClientPage().LogoStatic()->pixmap();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), QSize(CHeaderPage::kLogoWidth, CHeaderPage::kLogoHeight));
    EXPECT_EQ(shown.toImage().pixel(75, 60) | 0xFF000000u, qRgb(220, 0, 0));
    EXPECT_EQ(d.ClientPage().LogoTimer(), 0u);  // drawn once, nothing pending
    // A hidden page keeps the plain image under the logo.
    const QImage hidden = d.RemarksPage().LogoStatic()->pixmap().toImage();
    EXPECT_EQ(qAlpha(hidden.pixel(75, 60)), 0);
}

TEST_F(HeaderEditorTest, NoLogoNoImageNoTimer) {
    CPicture none;
    HeaderDlgContext ctx;
    ctx.logo = &none;
    CHeaderDlg& d = Open(ctx);
    d.repaint();
    zns::ui::PumpEvents(30);
    EXPECT_TRUE(d.ClientPage().LogoStatic()->pixmap().isNull());
    EXPECT_FALSE(d.ClientPage().IsTimerSet(CHeaderPage::ID_TIMER_PAGE_LOGO));
}

}  // namespace
