#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <thread>

#include "platform/ui/QtUiService.h"
#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/TestApp.h"
#include "platform/ui/UiService.h"
#include "platform/ui/Wnd.h"
#include "../../support/HungPrintServer.h"

using namespace zns::ui;

namespace {

TEST(UiService, ScriptedBoxesAreRecordedAndAnswered) {
    ScriptedUiService fake;
    ScopedService use(fake);
    SetAppTitle("ZNS Acquisition software");

    fake.PushAnswer(IDNO);
    EXPECT_EQ(AfxMessageBox("Do you save now the Gamma coef parameter ?", MB_YESNO | MB_ICONQUESTION), IDNO);
    // Unscripted: the default button answers, as Enter would.
    EXPECT_EQ(AfxMessageBox("Exit?", MB_YESNOCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(AfxMessageBox("I/O USB error."), IDOK);

    const auto boxes = fake.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "Do you save now the Gamma coef parameter ?");
    EXPECT_EQ(boxes[0].caption, "ZNS Acquisition software");
    EXPECT_EQ(boxes[0].Icon(), MB_ICONQUESTION);
    EXPECT_EQ(boxes[0].Buttons(), MB_YESNO);
    EXPECT_EQ(boxes[0].DefaultButton(), 1);
    EXPECT_EQ(boxes[1].DefaultButton(), 2);
    EXPECT_EQ(boxes[1].Icon(), MB_ICONEXCLAMATION);
    EXPECT_EQ(boxes[2].Icon(), 0u);
    EXPECT_EQ(boxes[2].answer, IDOK);
}

TEST(UiService, WindowBoxesUseTheAppTitleUnlessGivenOne) {
    ScriptedUiService fake;
    ScopedService use(fake);
    SetAppTitle("Title");
    CWnd w;
    w.MessageBox("a");
    w.MessageBox("b", "CPicture Error", MB_ICONHAND);
    EXPECT_EQ(fake.Boxes()[0].caption, "Title");
    EXPECT_EQ(fake.Boxes()[1].caption, "CPicture Error");
    EXPECT_EQ(fake.Boxes()[1].Icon(), MB_ICONSTOP);
}

TEST(UiService, DefaultAnswersAndButtons) {
    EXPECT_EQ(DefaultAnswer(MB_OK), IDOK);
    EXPECT_EQ(DefaultAnswer(MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    EXPECT_EQ(DefaultAnswer(MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDIGNORE);
    EXPECT_EQ(DefaultAnswer(MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(DefaultAnswer(MB_YESNO | MB_DEFBUTTON3), IDYES);  // no third button
    EXPECT_EQ(ButtonsOf(MB_YESNOCANCEL), (std::vector<int>{IDYES, IDNO, IDCANCEL}));
}

TEST(UiService, WorkerBoxesArePostedNeverAwaited) {
    ScriptedUiService fake;
    ScopedService use(fake);
    std::thread([] { PostMessageBox("I/O USB error.", "ZNS", MB_ICONSTOP); }).join();
    EXPECT_EQ(fake.BoxCount(), 0u);
    PumpEvents();
    ASSERT_EQ(fake.BoxCount(), 1u);
    EXPECT_EQ(fake.LastBox().text, "I/O USB error.");
    {  // held while a step undoes its work: shown after it, in order
        HoldPostedBoxes hold;
        std::thread([] { for (const char* t : {"a", "b"}) PostMessageBox(t, "ZNS", MB_OK); }).join();
        PumpEvents();
        EXPECT_EQ(fake.BoxCount(), 1u);
    }
    PumpEvents();
    ASSERT_EQ(fake.BoxCount(), 3u);
    EXPECT_EQ(fake.Boxes()[1].text + fake.Boxes()[2].text, "ab");
}

TEST(UiService, FilesPrintersBeep) {
    ScriptedUiService fake;
    ScopedService use(fake);
    FileDialogRequest req;
    req.defaultExt = ".zne";
    req.fileName = "*.zne";
    req.filter = "Zenova Sonic (*.zne)|*.zne||";
    req.flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;
    EXPECT_FALSE(Service().FileDialog(nullptr, req).has_value());  // unscripted: cancelled
    fake.PushFileAnswer(std::string("/data/log1.zne"));
    EXPECT_EQ(Service().FileDialog(nullptr, req).value(), "/data/log1.zne");
    ASSERT_EQ(fake.FileRequests().size(), 2u);
    EXPECT_EQ(fake.FileRequests()[0].filter, req.filter);

    fake.SetDefaultPrinter("Office");
    EXPECT_EQ(Service().DefaultPrinterName(), "Office");
    EXPECT_TRUE(Service().PrinterAvailable("Office"));
    EXPECT_FALSE(Service().PrinterAvailable("none"));
    fake.PushPrintSetupAnswer(std::string("Lab"));
    EXPECT_EQ(Service().PrintSetup(nullptr, "Office", true).value(), "Lab");

    Service().Beep(255, 100);
    ASSERT_EQ(fake.Beeps().size(), 1u);
    EXPECT_EQ(fake.Beeps()[0].frequency, 255u);
    EXPECT_EQ(fake.Beeps()[0].durationMs, 100u);
}

TEST(UiService, WindowsFiltersBecomeQtFilters) {
    EXPECT_EQ(QtFilterFromWin("Zenova Sonic (*.zne)|*.zne||"), "Zenova Sonic (*.zne *.ZNE)");
    EXPECT_EQ(QtFilterFromWin("ZNS importation sonde File (*.znc)|*.ZNC|ZNS importation sonde File (*.txt)|*.TXT|| "),
              "ZNS importation sonde File (*.znc *.ZNC);;ZNS importation sonde File (*.txt *.TXT)");
    EXPECT_EQ(QtFilterFromWin("Log ASCII Standard(*.las)|*.las||"), "Log ASCII Standard (*.las *.LAS)");
    EXPECT_EQ(QtFilterFromWin(""), "");
}

// Answers the real box that is about to open with one key press.
int AnswerRealBox(unsigned type, int key, QString* text = nullptr, QString* defaultButton = nullptr) {
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (text) *text = box->text();
        if (defaultButton && box->defaultButton()) *defaultButton = box->defaultButton()->text();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
        if (box->isVisible()) box->done(0);  // never leave the test hanging
    });
    QtUiService qt;
    return qt.MessageBox(nullptr, "Sonde must be switched Off before export file.", "ZNS", type);
}

TEST(UiService, RealBoxesMapButtonsBothWays) {
    QString text, def;
    EXPECT_EQ(AnswerRealBox(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, Qt::Key_Return, &text, &def), IDNO);
    EXPECT_EQ(text, "Sonde must be switched Off before export file.");
    EXPECT_TRUE(def.contains("No")) << def.toStdString();  // the second button is the default
    EXPECT_EQ(AnswerRealBox(MB_YESNOCANCEL, Qt::Key_Return), IDYES);
    EXPECT_EQ(AnswerRealBox(MB_OKCANCEL | MB_ICONSTOP, Qt::Key_Escape), IDCANCEL);
    EXPECT_EQ(AnswerRealBox(MB_OK, Qt::Key_Escape), IDOK);
    EXPECT_EQ(AnswerRealBox(MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, Qt::Key_Return), IDIGNORE);
    EXPECT_EQ(AnswerRealBox(MB_YESNO, Qt::Key_Escape), IDNO);  // dismissed: the safe answer
}

TEST(UiService, AWithdrawnBoxGoesAtOnceFromUnderTheBoxAboveIt) {
    QTimer::singleShot(0, [] {  // the box about a.hed is up: another one shows above it
        QTimer::singleShot(0, [first = QApplication::activeModalWidget()] {
            EXPECT_TRUE(WithdrawMessageBoxes("a.hed") && !first->isVisible());  // gone at once
            while (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        AfxMessageBox("Trouble writing the data file.");
    });
    MessageBoxAbout("a.hed", "The file a.hed could not be saved.", "ZNS", MB_OK);
}

TEST(UiService, InstallingNothingFallsBackToQt) {
    ScriptedUiService fake;
    {
        ScopedService use(fake);
        EXPECT_EQ(&Service(), &fake);
    }
    EXPECT_NE(dynamic_cast<QtUiService*>(&Service()), nullptr);
}

TEST(UiService, PrintServerIsAskedWithABound) {
    QtUiService qt;
    const auto ask = [&qt] {  // on a thread of its own, as the spooler asks
        PrintServerAnswer a{};
        std::thread([&] { a = qt.AskPrintServer(500); }).join();
        return a;
    };
    {
        testsupport::HungPrintServer hung;  // takes the connection, never answers
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(ask(), PrintServerAnswer::Silent);
        EXPECT_LT(t.elapsed(), 20000);
    }
    setenv("CUPS_SERVER", "127.0.0.1:1", 1);  // nothing there
    EXPECT_EQ(ask(), PrintServerAnswer::Absent);
    unsetenv("CUPS_SERVER");
}

}  // namespace
