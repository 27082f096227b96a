#include <gtest/gtest.h>

#include <QLineEdit>
#include <clocale>
#include <string>

#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/TestApp.h"
#include "ui/dialogs/DialogExt.h"

using zns::ui::ScriptedUiService;

namespace {

constexpr int kEdit = 1142;

class DialogExtTest : public ::testing::Test {
protected:
    void SetUp() override {
        zns::ui::SetAppTitle("ZNS Acquisition software");
        edit = new QLineEdit(&dlg);
        dlg.SetDlgItem(kEdit, edit);
        dlg.Create();
    }

    // Reads `text` as an integer starting from the output 777.
    std::pair<BOOL, int> Int(const std::string& text) {
        dlg.SetDlgItemText(kEdit, text);
        int v = 777;
        const BOOL ok = dlg.GetDlgItemInteger(kEdit, &v);
        return {ok, v};
    }
    std::pair<BOOL, double> Dbl(const std::string& text) {
        dlg.SetDlgItemText(kEdit, text);
        double v = 777.0;
        const BOOL ok = dlg.GetDlgItemDouble(kEdit, &v);
        return {ok, v};
    }
    void ExpectRefused(size_t boxesBefore) {
        ASSERT_EQ(fake.BoxCount(), boxesBefore + 1);
        EXPECT_EQ(fake.LastBox().text, "Please enter a number.");
        EXPECT_EQ(fake.LastBox().Icon(), MB_ICONSTOP);
        EXPECT_EQ(fake.LastBox().Buttons(), MB_OK);
        EXPECT_EQ(fake.LastBox().caption, "ZNS Acquisition software");
    }

    ScriptedUiService fake;
    zns::ui::ScopedService use{fake};
    CDialogExt dlg;
    QLineEdit* edit = nullptr;
};

TEST_F(DialogExtTest, IntegersThatRead) {
    EXPECT_EQ(Int("-5"), std::make_pair(TRUE, -5));
    EXPECT_EQ(Int("0"), std::make_pair(TRUE, 0));
    EXPECT_EQ(Int(""), std::make_pair(TRUE, 0));  // an empty field is 0
    EXPECT_EQ(Int("2147483647"), std::make_pair(TRUE, 2147483647));
    EXPECT_EQ(Int("-2147483648"), std::make_pair(TRUE, -2147483647 - 1));
    EXPECT_EQ(Int("0000000000000000000000012"), std::make_pair(TRUE, 12));  // long, but one in-range number
    EXPECT_EQ(fake.BoxCount(), 0u);
}

TEST_F(DialogExtTest, IntegersThatAreRefusedLeaveTheOutputAlone) {
    for (const char* text : {" 12", "12 ", "1.5", "+3", "abc",
                             // not one complete number: refused, not read in part
                             "12-3", "-", "--5", "5-",
                             // beyond int: refused, not overflowed or cut
                             "2147483648", "-2147483649", "1234567890123456789012345"}) {
        const size_t before = fake.BoxCount();
        EXPECT_EQ(Int(text), std::make_pair(FALSE, 777)) << text;
        ExpectRefused(before);
    }
}

TEST_F(DialogExtTest, MissingControlReadsNothing) {
    int v = 777;
    EXPECT_FALSE(dlg.GetDlgItemInteger(4242, &v));
    EXPECT_EQ(v, 0);
    ASSERT_EQ(fake.BoxCount(), 1u);
    EXPECT_EQ(fake.LastBox().text, "No value read");
    EXPECT_EQ(fake.LastBox().Icon(), MB_ICONINFORMATION);

    double d = 777.0;
    EXPECT_FALSE(dlg.GetDlgItemDouble(4242, &d));
    EXPECT_EQ(d, 0.0);
    EXPECT_EQ(fake.LastBox().text, "No value read");
}

TEST_F(DialogExtTest, DecimalsThatRead) {
    EXPECT_EQ(Dbl("3.25"), std::make_pair(TRUE, 3.25));
    EXPECT_EQ(Dbl("1,5"), std::make_pair(TRUE, 1.5));  // a comma is a decimal mark too
    EXPECT_EQ(Dbl("-0,25"), std::make_pair(TRUE, -0.25));
    EXPECT_EQ(Dbl(".5"), std::make_pair(TRUE, 0.5));
    EXPECT_EQ(Dbl("7."), std::make_pair(TRUE, 7.0));
    EXPECT_EQ(Dbl(""), std::make_pair(TRUE, 0.0));
    EXPECT_EQ(Dbl("0.1234567890123456789012"), std::make_pair(TRUE, 0.1234567890123456789012));
    EXPECT_EQ(fake.BoxCount(), 0u);
}

TEST_F(DialogExtTest, DecimalsThatAreRefused) {
    const std::string huge(400, '9');  // beyond double
    for (const std::string& text : {std::string("1e3"), std::string("1.2.3"), std::string("1,5.0"),
                                    std::string("-"), std::string(","), std::string("3-"), std::string(" 1"),
                                    std::string("1 000"), huge}) {
        const size_t before = fake.BoxCount();
        EXPECT_EQ(Dbl(text), std::make_pair(FALSE, 777.0)) << text;
        ExpectRefused(before);
    }
}

TEST_F(DialogExtTest, IntegerWritingClamps) {
    dlg.SetDlgItemInteger(kEdit, 120, 0, 100);
    EXPECT_EQ(dlg.GetDlgItemText(kEdit), "100");
    dlg.SetDlgItemInteger(kEdit, 120, -1, -1);
    EXPECT_EQ(dlg.GetDlgItemText(kEdit), "120");
    dlg.SetDlgItemInteger(kEdit, -4, 0, -1);
    EXPECT_EQ(dlg.GetDlgItemText(kEdit), "0");
    dlg.SetDlgItemInteger(kEdit, -4, -1, 10);
    EXPECT_EQ(dlg.GetDlgItemText(kEdit), "-4");
    dlg.SetDlgItemInteger(4242, 1, 0, 10);  // no such control: nothing, no box
    EXPECT_EQ(fake.BoxCount(), 0u);
}

TEST_F(DialogExtTest, DecimalWritingAlwaysUsesAPoint) {
    const char* old = setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    // A comma locale must not change what the dialogs show (when it is installed).
    setlocale(LC_NUMERIC, "de_DE.UTF-8");
    dlg.SetDlgItemDouble(kEdit, 12.5, 2, false);
    EXPECT_EQ(dlg.GetDlgItemText(kEdit), "12.50");
    dlg.SetDlgItemDouble(kEdit, 0.0, 1, true);
    EXPECT_EQ(dlg.GetDlgItemText(kEdit), "");
    dlg.SetDlgItemDouble(kEdit, 0.0, 1, false);
    EXPECT_EQ(dlg.GetDlgItemText(kEdit), "0.0");
    dlg.SetDlgItemDouble(kEdit, 5.0, 0, false);
    EXPECT_EQ(dlg.GetDlgItemText(kEdit), "5.");
    dlg.SetDlgItemDouble(kEdit, -1.25, -3, false);  // a negative count reads as 0
    EXPECT_EQ(dlg.GetDlgItemText(kEdit), "-1.");
    double v = 0;
    dlg.SetDlgItemDouble(kEdit, 2.75, 2, false);
    EXPECT_TRUE(dlg.GetDlgItemDouble(kEdit, &v));
    EXPECT_EQ(v, 2.75);
    setlocale(LC_NUMERIC, saved.c_str());
}

TEST_F(DialogExtTest, ToolTipsForRegisteredControls) {
    class Tips : public CDialogExt {
    public:
        BOOL a = FALSE, b = TRUE;
        QLineEdit* e = new QLineEdit(this);
        BOOL OnInitDialog() override {
            SetDlgItem(1244, e);
            CDialogExt::OnInitDialog();
            a = m_ToolTip.AddTool("Receiver gain (dB)", 1244);
            b = m_ToolTip.AddTool("nothing here", 9);
            return TRUE;
        }
    };
    Tips t;
    t.Create();
    EXPECT_TRUE(t.a);
    EXPECT_FALSE(t.b);
    EXPECT_EQ(t.e->toolTip(), "Receiver gain (dB)");
}

}  // namespace
