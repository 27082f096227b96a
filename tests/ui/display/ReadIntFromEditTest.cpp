// ReadIntFromEdit: what it reads, what it says, and that it saturates.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <climits>

#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/Wnd.h"
#include "ui/dialogs/ReadIntFromEdit.h"

namespace {

class ReadIntTest : public ::testing::Test {
protected:
    void SetUp() override {
        edit = new QLineEdit(&dlg);
        dlg.SetDlgItem(1244, edit);
    }
    int Read(const char* text) {
        edit->setText(QString::fromLatin1(text));
        return ReadIntFromEdit(&dlg, 1244);
    }
    zns::ui::ScriptedUiService ui;
    zns::ui::ScopedService scoped{ui};
    CDialog dlg;
    QLineEdit* edit = nullptr;
};

TEST_F(ReadIntTest, PlainNumbers) {
    EXPECT_EQ(Read("36"), 36);
    EXPECT_EQ(Read("-3"), -3);
    EXPECT_EQ(Read("0"), 0);
    EXPECT_EQ(Read(""), 0);
    EXPECT_EQ(Read("-"), 0);
    EXPECT_EQ(Read("12-3"), 12);  // only the leading integer, and '-' is allowed
    EXPECT_EQ(ui.BoxCount(), 0u);
}

TEST_F(ReadIntTest, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(Read("99999999999999999999"), INT_MAX);
    EXPECT_EQ(Read("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(Read("2147483648"), INT_MAX);
    EXPECT_EQ(Read("2147483647"), INT_MAX);
    EXPECT_EQ(Read("-2147483648"), INT_MIN);
    // Only 19 characters are read: the 20th digit never counts.
    EXPECT_EQ(zns::ParseIntEditText("0000000000000000001234").value, 1);
    EXPECT_EQ(ui.BoxCount(), 0u);
}

TEST_F(ReadIntTest, ForeignCharactersWarnButStillRead) {
    EXPECT_EQ(Read("12a"), 12);
    ASSERT_EQ(ui.BoxCount(), 1u);
    EXPECT_EQ(ui.LastBox().text, "Please enter a number.");
    EXPECT_EQ(ui.LastBox().Icon(), MB_ICONSTOP);
    EXPECT_EQ(Read(" 7"), 7);  // a blank is foreign too
    EXPECT_EQ(ui.BoxCount(), 2u);
    EXPECT_EQ(Read("abc"), 0);
    EXPECT_EQ(ui.BoxCount(), 3u);
    // A foreign character beyond the 19 read ones is never seen.
    EXPECT_FALSE(zns::ParseIntEditText("1111111111111111111x").foreign);
}

TEST_F(ReadIntTest, MissingControl) {
    EXPECT_EQ(ReadIntFromEdit(&dlg, 4242), 0);
    ASSERT_EQ(ui.BoxCount(), 1u);
    EXPECT_EQ(ui.LastBox().text, "No value read");
    EXPECT_EQ(ui.LastBox().Icon(), MB_ICONINFORMATION);
    EXPECT_EQ(ReadIntFromEdit(nullptr, 1244), 0);
    EXPECT_EQ(ui.BoxCount(), 2u);
}

}  // namespace
