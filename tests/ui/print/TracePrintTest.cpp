// Printed pages of the trace image: the page layout as a printer gets it, the
// page and auto-print rules of the control, the printer choice, a real PDF
// job, and a printer that hangs while acquisition goes on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "records/SharedRecords.h"
#include "platform/Clock.h"
#include "platform/FileReplace.h"
#include "platform/ui/QtUiService.h"
#include "platform/ui/ScriptedUiService.h"
#include "settings/ErrorLog.h"
#include "ui/controls/DrawerZNSCtrl.h"
#include "ui/controls/TracePrint.h"
#include "../../support/HungPrintServer.h"
#include "../../support/PrivateCupsd.h"
#include "../../support/OffscreenApp.h"

using namespace zns;

namespace {

using testsupport::App;

void SaveArtifact(const QImage& img, const char* name) {
    QDir().mkpath(ZNS_ARTIFACT_DIR);
    img.save(QString(ZNS_ARTIFACT_DIR) + "/" + name);
}

// Runs the GUI thread's events until `done`, for a generous while.
bool WaitUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 30000 && !done(); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

int CountDark(const QImage& img, int x0, int x1, int y0, int y1) {
    int n = 0;
    for (int y = std::max(0, y0); y < std::min(img.height(), y1); ++y)
        for (int x = std::max(0, x0); x < std::min(img.width(), x1); ++x)
            if (qGray(img.pixel(x, y)) < 100) ++n;
    return n;
}

// Pages the control hands to its spooler, captured instead of printed.
struct PageCapture {
    std::mutex lock;
    std::vector<PrintedLogPage> pages;
    void Attach(TracePrintSpooler& s) {
        s.SetPrintFunction([this](const PrintedLogPage& p) {
            std::lock_guard<std::mutex> g(lock);
            pages.push_back(p);
            return true;
        });
    }
    std::vector<PrintedLogPage> Take(TracePrintSpooler& s) {
        s.WaitIdle();
        std::lock_guard<std::mutex> g(lock);
        return std::move(pages);
    }
};

class PrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ctrl = std::make_unique<CDrawerZNSCtrl>(shared);
        ASSERT_TRUE(ctrl->Create(0x10000000, QRect(0, 0, 818, 406), nullptr, 1017));
        ctrl->ClearImage();
        CDrawerZNSCtrl::PrintContext ctx;
        ctx.appPrinter = &appPrinter;
        ctx.printerUsed = [this] { return printerUsed; };
        ctx.logName = [] { return std::string("Well 7 \xE9tude"); };
        ctx.fileName = [] { return std::string("ZNS_IT_UP.zne"); };
        ctx.clock = &clock;
        ctrl->SetPrintContext(ctx);
        capture.Attach(ctrl->PrintSpooler());
    }
    void TearDown() override { ctrl.reset(); }

    // `n` records of one row each (1/100, 2 cm); row k has its own grey level.
    void Rows(int n, int mode) {
        for (int i = 0; i < n; ++i, ++k) {
            const int16_t v = static_cast<int16_t>(((k % 251) - 125) * 256);
            std::fill(std::begin(samples), std::end(samples), v);
            const double depth = (mode == 11 ? 100 + 2 * k : 5000 - 2 * k) / 100.0 + 0.005;
            ctrl->AddRecord(samples, samples, samples, 512, 512, 512, depth, 100, mode, 2, 2, 2, 2, 1, 3);
        }
        ctrl->DrawPending();
    }
    QImage Window(int firstOffset, int rows) const {
        return ctrl->ImageView().copy(0, ctrl->WindowTopRow() + firstOffset, kTraceImageWidth, rows);
    }

    ui::ScriptedUiService service;
    ui::ScopedService scoped{service};
    SharedData shared;
    FakeClock clock;
    CAppPrinter appPrinter;
    std::string printerUsed;
    std::unique_ptr<CDrawerZNSCtrl> ctrl;
    PageCapture capture;
    int16_t samples[512] = {};
    int k = 0;
};

// A page with a known image: upper half pink, lower half light blue (both light,
// so that only the frame and the texts count as dark).
PrintedLogPage SamplePage(int pageNumber, int rows = kTracePageRows, int dest = kPrintImageHeight) {
    QImage src(kTraceImageWidth, kTraceImageRows, QImage::Format_RGB32);
    src.fill(qRgb(200, 200, 255));
    for (int y = 0; y < kTraceImageRows / 2; ++y)
        for (int x = 0; x < kTraceImageWidth; ++x) src.setPixel(x, y, qRgb(255, 200, 200));
    PrintedLogTexts t;
    t.logName = "Borehole B-12";
    t.fileName = "ZNS_IT_UP.zne";
    t.now = LocalTime{2024, 3, 5, 14, 7, 9, 0, 2};
    return MakePrintedLogPage(src, kTraceImageRows / 2 - rows / 2, rows, dest, pageNumber, t);
}

}  // namespace

// ---------------------------------------------------------------------------
// The page as a printer gets it

TEST(PrintedPage, LayoutFrameImageAndTexts) {
    App();
    const PrintedLogPage page = SamplePage(3);
    EXPECT_EQ(page.documentName, "branniclogger Print Job 3");
    EXPECT_EQ(page.dateText, "05/Mar/2024 14:07:09");
    ASSERT_EQ(page.image.height(), kTracePageRows);

    const QImage img = RenderPrintedLogPage(page, 0.1);
    SaveArtifact(RenderPrintedLogPage(page, 0.2), "printed_page.png");
    // Frame: x 266..4466, y 620..6142.
    EXPECT_GT(CountDark(img, 30, 440, 61, 63), 350);
    EXPECT_GT(CountDark(img, 30, 440, 613, 616), 350);
    EXPECT_GT(CountDark(img, 26, 28, 70, 600), 450);
    EXPECT_GT(CountDark(img, 446, 448, 70, 600), 450);
    // Image: 4200 x 5522 from (266, 620), rows never smoothed into each other.
    EXPECT_EQ(img.pixel(100, 200), qRgb(255, 200, 200));
    EXPECT_EQ(img.pixel(100, 500), qRgb(200, 200, 255));
    EXPECT_EQ(img.pixel(15, 300), qRgb(255, 255, 255));  // left of the frame
    EXPECT_EQ(img.pixel(460, 300), qRgb(255, 255, 255));  // right of it
    // Header at y 290 (120 high), footer at y 6300 (70 high): left, centre, right.
    EXPECT_GT(CountDark(img, 27, 200, 29, 42), 10);
    EXPECT_EQ(CountDark(img, 27, 440, 43, 60), 0);
    EXPECT_GT(CountDark(img, 27, 120, 630, 638), 5);
    EXPECT_GT(CountDark(img, 200, 274, 630, 638), 5);
    EXPECT_GT(CountDark(img, 400, 447, 630, 638), 5);
    EXPECT_EQ(CountDark(img, 448, img.width(), 620, 640), 0);  // right-aligned on 4466
}

TEST(PrintedPage, NoPageNumberBeforeTheFirstPage) {
    App();
    const QImage img = RenderPrintedLogPage(SamplePage(0), 0.1);
    EXPECT_EQ(CountDark(img, 330, 447, 628, 640), 0);
    EXPECT_GT(CountDark(img, 27, 120, 630, 638), 5);  // the date is there
}

TEST(PrintedPage, PartialPageIsShorterAndTopAligned) {
    App();
    EXPECT_EQ(PartialPageHeight(250), 1170);
    EXPECT_EQ(PartialPageHeight(1180), 5522);
    const PrintedLogPage page = SamplePage(2, 250, PartialPageHeight(250));
    const QImage img = RenderPrintedLogPage(page, 0.1);
    SaveArtifact(RenderPrintedLogPage(page, 0.2), "printed_partial.png");
    EXPECT_EQ(img.pixel(100, 70), qRgb(255, 200, 200));
    EXPECT_EQ(img.pixel(100, 170), qRgb(200, 200, 255));  // 620 + 1170 = 1790
    EXPECT_EQ(img.pixel(100, 200), qRgb(255, 255, 255));
    EXPECT_GT(CountDark(img, 26, 28, 70, 600), 450);  // the frame stays whole
}

// ---------------------------------------------------------------------------
// Pages of the control

TEST_F(PrintTest, AutomaticPagesEvery1131RowsShare49Rows) {
    EXPECT_FALSE(ctrl->AutoPrint());
    EXPECT_TRUE(ctrl->TogglePrinting(false));
    Rows(1130, 11);
    EXPECT_TRUE(capture.Take(ctrl->PrintSpooler()).empty());
    Rows(1, 11);
    auto pages = capture.Take(ctrl->PrintSpooler());
    ASSERT_EQ(pages.size(), 1u);
    const PrintedLogPage first = pages[0];
    EXPECT_EQ(first.pageNumber, 1);
    EXPECT_EQ(first.documentName, "branniclogger Print Job 1");
    EXPECT_EQ(first.destHeight, kPrintImageHeight);
    ASSERT_EQ(first.image.height(), kTracePageRows);
    // Taken before the window slid over the newest row: rows 1.. are the window now.
    EXPECT_EQ(first.image.copy(0, 1, kTraceImageWidth, 1179), Window(0, 1179));
    EXPECT_EQ(ctrl->Core()->PageRowCounter(), 0);

    Rows(1131, 11);
    pages = capture.Take(ctrl->PrintSpooler());
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].pageNumber, 2);
    EXPECT_EQ(pages[0].image.copy(0, 0, kTraceImageWidth, 49), first.image.copy(0, 1131, kTraceImageWidth, 49));
    EXPECT_NE(pages[0].image.copy(0, 0, kTraceImageWidth, 50), first.image.copy(0, 1130, kTraceImageWidth, 50));
    EXPECT_EQ(pages[0].logName, "Well 7 \xE9tude");
    EXPECT_EQ(pages[0].fileName, "ZNS_IT_UP.zne");
}

TEST_F(PrintTest, LastPartialPageLoggingDownHoldsTheNewestRows) {
    ASSERT_TRUE(ctrl->TogglePrinting(false));
    Rows(1500, 11);  // one automatic page, then 369 rows
    ASSERT_EQ(capture.Take(ctrl->PrintSpooler()).size(), 1u);
    EXPECT_FALSE(ctrl->TogglePrinting(true));
    auto pages = capture.Take(ctrl->PrintSpooler());
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].pageNumber, 2);
    ASSERT_EQ(pages[0].image.height(), 369 + 50);
    EXPECT_EQ(pages[0].destHeight, PartialPageHeight(419));
    EXPECT_EQ(pages[0].image, Window(kTracePageRows - 419, 419));
    EXPECT_FALSE(ctrl->AutoPrint());
}

TEST_F(PrintTest, LastPartialPageLoggingUpStartsAtTheWindowTop) {
    Rows(300, 10);
    ASSERT_TRUE(ctrl->TogglePrinting(false));
    Rows(200, 10);
    EXPECT_FALSE(ctrl->TogglePrinting(true));
    auto pages = capture.Take(ctrl->PrintSpooler());
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].pageNumber, 1);
    ASSERT_EQ(pages[0].image.height(), 250);
    EXPECT_EQ(pages[0].destHeight, 1170);
    EXPECT_EQ(pages[0].image, Window(0, 250));
}

TEST_F(PrintTest, ToggleAndMenuPages) {
    // Off with the last-page request: nothing.
    EXPECT_FALSE(ctrl->TogglePrinting(true));
    EXPECT_EQ(ctrl->PageNumber(), 0);
    // A page from the menu while auto print was never on: the shown window, no number.
    Rows(40, 11);
    ctrl->PrintPage(false);
    auto pages = capture.Take(ctrl->PrintSpooler());
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].pageNumber, 0);
    EXPECT_EQ(pages[0].image, Window(0, kTracePageRows));
    // Off without the last page: number counts up, nothing printed; on again restarts it.
    ASSERT_TRUE(ctrl->TogglePrinting(false));
    EXPECT_FALSE(ctrl->TogglePrinting(false));
    EXPECT_EQ(ctrl->PageNumber(), 1);
    EXPECT_TRUE(capture.Take(ctrl->PrintSpooler()).empty());
    ASSERT_TRUE(ctrl->TogglePrinting(false));
    EXPECT_EQ(ctrl->PageNumber(), 0);
    EXPECT_EQ(ctrl->Core()->PageRowCounter(), 0);
    // The count starts when auto print goes on.
    Rows(1130, 11);
    EXPECT_TRUE(capture.Take(ctrl->PrintSpooler()).empty());
    // A new Create switches auto print off.
    ctrl->Create(0x10000000, QRect(0, 0, 818, 406), nullptr, 1017);
    EXPECT_FALSE(ctrl->AutoPrint());
    EXPECT_EQ(ctrl->PageNumber(), 0);
}

TEST_F(PrintTest, RecordsQueuedFromAWorkerAreOnThePage) {
    ASSERT_TRUE(ctrl->TogglePrinting(false));
    std::thread worker([this] {
        int16_t s[512];
        for (int i = 0; i < 1200; ++i) {
            std::fill(std::begin(s), std::end(s), static_cast<int16_t>((i % 200) * 64));
            ctrl->AddRecord(s, s, s, 512, 512, 512, 1.0 + i * 0.02 + 0.005, 100, 11, 2, 2, 2, 2, 1, 3);
        }
    });
    worker.join();
    // Switching off draws what is queued first: one automatic page, then the last one.
    EXPECT_FALSE(ctrl->TogglePrinting(true));
    auto pages = capture.Take(ctrl->PrintSpooler());
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].pageNumber, 1);
    EXPECT_EQ(pages[1].pageNumber, 2);
    EXPECT_EQ(pages[1].image.height(), 69 + 50);
}

TEST_F(PrintTest, PageOfSonicTraces) {
    // Waves whose first arrival comes later with depth, in the two-part palette.
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.BlackAndWhite = 1;
    }
    ctrl->BuildPalettes();
    int16_t wave[512];
    for (int r = 0; r < 1300; ++r) {
        const double arrival = 120 + 60 * std::sin(r / 200.0);
        for (int i = 0; i < 512; ++i) {
            const double t = i - arrival;
            wave[i] = t < 0 ? 0 : static_cast<int16_t>(20000 * std::exp(-t / 90.0) * std::sin(t / 6.0));
        }
        ctrl->AddRecord(wave, wave, wave, 512, 512, 512, 10.0 + r * 0.02 + 0.005, 100, 11, 2, 2, 2, 2, 1, 3);
    }
    ctrl->DrawPending();
    ctrl->PrintPage(false);
    auto pages = capture.Take(ctrl->PrintSpooler());
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].image, Window(0, kTracePageRows));
    const QImage img = RenderPrintedLogPage(pages[0], 0.2);
    SaveArtifact(img, "printed_traces.png");
    // The depth column (x 2252..2480 on paper) is printed with its labels.
    EXPECT_GT(CountDark(img, 465, 482, 130, 1220), 50);
}

// ---------------------------------------------------------------------------
// Printer choice

TEST_F(PrintTest, PrinterChoice) {
    PrinterDevice pdf;
    pdf.outputFile = "/tmp/never-written.pdf";
    appPrinter.SelectPrinter(pdf);
    Rows(10, 11);

    printerUsed = "";  // the application's printer
    ctrl->PrintPage(false);
    printerUsed = "/zns-none/log.pdf";  // Qt's print to PDF
    ctrl->PrintPage(false);
    service.AddPrinter("Office");
    printerUsed = "Office";
    ctrl->PrintPage(false);
    service.AddPrinter("PDF/draft");
    printerUsed = "PDF/draft";  // an instance: a printer, not a file
    ctrl->PrintPage(false);
    service.SetDefaultPrinter("Front");
    printerUsed = "Gone";  // gone: the application's printer takes its pages, told once
    ctrl->PrintPage(false);
    ctrl->PrintPage(false);
    auto pages = capture.Take(ctrl->PrintSpooler());
    ASSERT_EQ(pages.size(), 6u);
    ASSERT_TRUE(pages[0].device && pages[1].device && pages[2].device && pages[3].device && pages[5].device);
    EXPECT_EQ(pages[5].device->outputFile, pdf.outputFile);
    EXPECT_EQ(pages[0].device->outputFile, pdf.outputFile);
    EXPECT_EQ(pages[1].device->outputFile, "/zns-none/log.pdf");
    EXPECT_EQ(pages[2].device->deviceName, "Office");
    EXPECT_TRUE(pages[2].device->outputFile.empty());
    EXPECT_EQ(pages[3].device->deviceName, "PDF/draft");
    EXPECT_TRUE(pages[3].device->outputFile.empty());
    // The application's printer was never swapped.
    ASSERT_TRUE(appPrinter.Current());
    EXPECT_EQ(appPrinter.Current()->outputFile, pdf.outputFile);
    QCoreApplication::processEvents();  // the boxes the spooler posted
    ASSERT_EQ(service.BoxCount(), 1u);
    EXPECT_EQ(service.LastBox().text, "Printer \"Gone\" was not found: the pages are printed on \"" + pdf.outputFile + "\".");
}

TEST(PrinterSettings, NameSwapAndRestore) {
    App();
    ui::ScriptedUiService service;
    ui::ScopedService scoped(service);
    PrinterDevice a;
    a.deviceName = "Front desk";
    CAppPrinter app(a);
    {
        CPrinterSettings ps;
        EXPECT_EQ(ps.PrinterName(), "printer not set...");
        EXPECT_FALSE(ps.SetPrinterDevice("Nowhere"));
        EXPECT_EQ(ps.PrinterName(), "printer not set...");
        ps.GetDefaultPrinter(app);
        EXPECT_EQ(ps.PrinterName(), "Front desk");
        service.AddPrinter("Plotter");
        ASSERT_TRUE(ps.SetPrinterDevice("Plotter"));
        ps.SetThisPrinter(app);
        EXPECT_EQ(app.Current()->deviceName, "Plotter");
        ps.RestorePrinter();
        EXPECT_EQ(app.Current()->deviceName, "Front desk");
        ps.SetThisPrinter(app);
    }  // the destructor gives the application's printer back
    EXPECT_EQ(app.Current()->deviceName, "Front desk");

    // The print dialog: its PDF file is the choice, and its accept button only chooses.
    QTemporaryDir dir;
    const std::string file = (dir.path() + "/log.pdf").toStdString();
    QString ok;
    QTimer::singleShot(0, [&] {
        auto* b = QApplication::activeModalWidget()->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        ok = b->text();
        b->click();
    });
    EXPECT_EQ(ui::QtUiService().PrintSetup(nullptr, file, true), file);
    EXPECT_EQ(ok, "OK");
    // Without the server's list: its PDF choice without a file is told apart from a printer.
    QTimer::singleShot(0, [] {
        QApplication::activeModalWidget()->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    EXPECT_EQ(ui::QtUiService().PrintSetup(nullptr, "", false), ui::kPdfWithoutFile);
}

// ---------------------------------------------------------------------------
// Real jobs and a hanging printer

TEST(PrintJob, WritesAPdfFileAPageAndTellsWhatFailed) {
    App();
    // PDF files never ask the print system, which hangs here.
    testsupport::HungPrintServer hung;
    ui::ScriptedUiService service;
    ui::ScopedService scoped(service);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    PrintedLogPage page = SamplePage(4);
    PrinterDevice pdf;
    pdf.outputFile = (dir.path() + "/page.pdf").toStdString();
    page.device = pdf;
    TracePrintSpooler spooler;
    std::vector<std::string> told;
    spooler.SetReportFunction([&](const std::string& text) { told.push_back(text); });
    // Nothing is under a page's name until the page is whole (a killed print
    // leaves no part of one), and a file made meanwhile is never written over,
    // also by the first page, put in place as on a FUSE FAT stick.
    static std::string made;
    made = (dir.path() + "/page-4.pdf").toStdString();
    zns::detail::SetBeforeRenameHook([] {
        std::FILE* f = std::fopen(made.c_str(), "wx");
        zns::detail::SetNoLinksHook(f ? EPERM : 0, f ? EINVAL : 0);
        if (f) std::fputs("the user's", f), std::fclose(f);
    });
    ASSERT_TRUE(spooler.Submit(page));
    ASSERT_TRUE(spooler.Submit(page));  // the same page again: a file of its own
    PrinterDevice bad;
    bad.outputFile = (dir.path() + "/no/such/dir/page.pdf").toStdString();
    page.device = bad;
    ASSERT_TRUE(spooler.Submit(page));
    PrinterDevice absent;  // a printer the print system does not know, one that refuses jobs
    absent.deviceName = "zns-no-such-printer-4711";
    page.device = absent;
    ASSERT_TRUE(spooler.Submit(page));
    service.AddPrinter("Office");
    service.RefuseJobs("Office", "server-error-not-accepting-jobs");
    page.device->deviceName = "Office";
    ASSERT_TRUE(spooler.Submit(page));
    spooler.WaitIdle();
    zns::detail::SetBeforeRenameHook(nullptr);
    EXPECT_EQ(spooler.Printed(), 2u);
    EXPECT_EQ(spooler.Failed(), 3u);
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[0], "The page could not be printed on \"" + bad.outputFile + "\": No such file or directory");
    EXPECT_EQ(told[2], "The page could not be printed on \"Office\": server-error-not-accepting-jobs");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);  // no temporary, no reservation
    QFile users(QString::fromStdString(made));
    EXPECT_TRUE(users.open(QIODevice::ReadOnly) && users.readAll() == "the user's");
    const QString written = dir.path() + "/page-4 (2).pdf";
    EXPECT_TRUE(QFile::exists(dir.path() + "/page-4 (3).pdf"));

    // Read back; not by QProcess: TSan takes its vfork-like clone for a fork, then misses this thread's locks.
    const auto run = [&](const char* cmd) { return std::system(QString(cmd).arg(written, dir.path()).toLocal8Bit()); };
    ASSERT_EQ(run("pdftoppm -r 60 -png -singlefile '%1' '%2/back'"), 0);
    const QImage back(dir.path() + "/back.png");
    const QRgb upper = back.pixel(250, 200), lower = back.pixel(250, 500);  // pink above, light blue below
    EXPECT_TRUE(qRed(upper) > qBlue(upper) + 40 && qBlue(lower) > qRed(lower) + 40);
    EXPECT_GE(CountDark(back, 0, back.width(), 200, 500), 600);  // the frame's sides
    ASSERT_EQ(run("pdftotext '%1' '%2/back.txt'"), 0);
    QFile text(dir.path() + "/back.txt");
    const QString words = text.open(QIODevice::ReadOnly) ? QString::fromUtf8(text.readAll()).simplified() : "";
    for (const char* w : {"Borehole B-12", "05/Mar/2024 14:07:09", "ZNS_IT_UP.zne", "Page N\u00b0 :4"})
        EXPECT_TRUE(words.contains(QString::fromUtf8(w))) << w;

    QDir().mkpath(ZNS_ARTIFACT_DIR);
    QFile::remove(QString(ZNS_ARTIFACT_DIR) + "/printed_page.pdf");
    QFile::copy(written, QString(ZNS_ARTIFACT_DIR) + "/printed_page.pdf");
    QFile f(written);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    int pages = 0;
    for (qsizetype at = bytes.indexOf("/Type /Page"); at >= 0; at = bytes.indexOf("/Type /Page", at + 1))
        if (bytes.mid(at + 11, 1) != "s") ++pages;
    EXPECT_EQ(pages, 1);
    EXPECT_GT(bytes.size(), 20000);  // the image is in it

    // On A4 the page fits the printable area unscaled.
    const QRect area = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10))
                           .paintRectPixels(kPrintResolution);
    EXPECT_GE(area.width(), kPrintPageWidth);
    EXPECT_GE(area.height(), kPrintPageHeight);
}

// The program's service, keeping each page's document as first sent and the
// boxes. Page 2's answer comes past the connect bound (the server stopped
// meanwhile); page 6's and 11's are lost once the job is stored, page 7's
// before it is sent; page 12's is held, and page 16 still sent, until released.
struct SentJobs : ui::QtUiService {
    ui::PrintJobOutcome SendPrintJob(const ui::PrintJobRequest& job, int timeoutMs) override {
        const int page = std::atoi(job.title.c_str() + 24);  // "branniclogger Print Job 7 #..."
        if (page == 16 && job.gate->Open())
            for (sending16 = true; !release;) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (page == 16) return {};
        if (++calls[page] == 1 && page == 7) return {};
        sent.emplace(page, job.pdf);  // as it reached the server; one request at a time
        const bool hold = page == 2 && !job.mayBeHeld;
        cups->Pause(hold);
        std::thread go([&] { std::this_thread::sleep_for(std::chrono::seconds(hold ? 5 : 0)), cups->Pause(false); });
        const ui::PrintJobOutcome out = QtUiService::SendPrintJob(job, timeoutMs);
        go.join();
        if (page == 12)
            for (stored12 = true; !release;) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return (page == 6 || page == 11) && !job.mayBeHeld ? ui::PrintJobOutcome{} : out;
    }
    int MessageBox(QWidget*, const std::string& text, const std::string&, unsigned) override {
        return boxes.push_back(text), IDOK;
    }
    testsupport::PrivateCupsd* cups = nullptr;
    std::map<int, std::string> sent;
    std::map<int, int> calls;
    std::vector<std::string> boxes;
    std::atomic<bool> stored12{false}, sending16{false}, release{false};
};

TEST(PrintJob, ARealPrintServerGetsEachPageWholeOnceAndEveryFailureIsTold) {
    App();
    testsupport::PrivateCupsd cups;
    ASSERT_EQ(cups.Start(), "");
    SentJobs service;
    service.cups = &cups;
    ui::ScopedService scoped(service);
    QTemporaryDir logDir;
    ErrorLog::Process().SetFolder(logDir.path().toStdString());
    ErrorLog::Process().SetEnabled(true);
    TracePrintSpooler spooler;
    spooler.SetLimits(6000, 2000, TracePrintSpooler::kMaxQueuedBytes);
    const auto on = [](int n, const char* queue, bool named = false) {
        PrintedLogPage p = SamplePage(n);
        if (named) return p.printerName = queue, p;
        return p.device = PrinterDevice{}, p.device->deviceName = queue, p;
    };
    // Page 3 twice to a queue that refuses jobs (the box of the first is up
    // meanwhile), 4 to "Büro" (Windows-1252 here), 5 to an instance, 9 to a
    // stopped queue, 13 twice to a printer gone, the others to the default queue.
    for (const PrintedLogPage& page : {SamplePage(1), SamplePage(2), on(3, "zns_refuse"), on(3, "zns_refuse"),
                                       on(4, "B\xFCro", true), on(5, "zns_raw/draft", true), on(9, "zns_stopped"),
                                       SamplePage(6), SamplePage(7), SamplePage(8), on(13, "Annexe", true),
                                       on(13, "Annexe", true)})
        ASSERT_TRUE(spooler.Submit(page));
    spooler.WaitIdle();
    QCoreApplication::processEvents();  // the boxes answered: a refusal is told again, the stopped queue not
    ASSERT_TRUE(spooler.Submit(on(3, "zns_refuse")));
    ASSERT_TRUE(spooler.Submit(on(10, "zns_stopped")));
    spooler.WaitIdle();
    QCoreApplication::processEvents();
    // Page 11's queue lists no jobs: its answer lost, it is told as maybe printed, never
    // sent twice, and the pages after it go.
    for (const PrintedLogPage& page : {on(11, "zns_nolist"), on(14, "zns_nolist"), SamplePage(15)})
        ASSERT_TRUE(spooler.Submit(page));
    ASSERT_TRUE(WaitUntil([&] { return spooler.Printed() == 13; }));
    QCoreApplication::processEvents();
    const PrintExitCount left = spooler.Finish(8000);
    // The exit finds page 12, whose answer has not come; page 16, still being sent, may have been printed.
    TracePrintSpooler exiting, uploading;
    ASSERT_TRUE(exiting.Submit(SamplePage(12)) && uploading.Submit(SamplePage(16)));
    ASSERT_TRUE(WaitUntil([&] { return service.stored12 && service.sending16; }));
    const PrintExitCount left12 = exiting.Finish(4000), left16 = uploading.Finish(4000);
    service.release = true;
    ASSERT_TRUE(WaitUntil([] { return PrintRequestsRunning() == 0; }));  // out of `service`
    EXPECT_EQ(left.notPrinted + left.unknown + left12.notPrinted + left12.unknown + left16.notPrinted, 0u);
    EXPECT_EQ(left16.unknown, 1u);
    ErrorLog::Process().SetEnabled(false);
    EXPECT_EQ(service.calls[2], 1);  // its late answer waited for
    const auto told = [&](const char* a, const char* b) {
        return std::count_if(service.boxes.begin(), service.boxes.end(),
                             [&](const std::string& t) { return t.find(a) != t.npos && t.find(b) != t.npos; });
    };
    // The server's words in the box and the error log as 1252.
    EXPECT_EQ(told("could not be printed on \"zns_refuse\": ", "(Bac 2 bloqu\xE9)"), 2);
    EXPECT_EQ(told("The printer \"zns_stopped\" is stopped (Capot ouvert)", ""), 1);
    EXPECT_EQ(told("Printer \"Annexe\" was not found: the pages are printed on \"zns_raw\".", ""), 1);
    EXPECT_EQ(told("The page may have been printed on \"zns_nolist\": the print system would not say (", ""), 1);
    QFile log(logDir.path() + "/" + ErrorLog::kFileName);
    EXPECT_TRUE(log.open(QIODevice::ReadOnly) && log.readAll().count("(Bac 2 bloqu\xE9)") == 3);
    // Each page once, whole: the job ids in order, 5 and 11 held by the stopped queue.
    std::map<int, std::string> want;
    for (const auto& [id, page] : std::map<int, int>{{1, 1}, {2, 2}, {3, 4}, {4, 5}, {6, 6}, {7, 7}, {8, 8},
                                                     {12, 11}, {13, 14}, {14, 15}, {15, 12}})
        want[id] = service.sent[page];
    std::map<int, std::string> jobs = cups.Jobs(13);
    for (int id : {9, 10}) {  // the default queue
        EXPECT_EQ(cups.Options(id).rfind("zns_raw ", 0), 0u);
        jobs.erase(id);
    }
    EXPECT_TRUE(jobs == want) << cups.Log();
    // Each on its own queue; the instance's option goes with its job.
    EXPECT_EQ(cups.Options(3).rfind("B\xC3\xBCro ", 0), 0u);
    EXPECT_TRUE(cups.Options(4).rfind("zns_raw ", 0) == 0 && cups.Options(4).find("number-up=2") != std::string::npos)
        << cups.Options(4);
}

TEST_F(PrintTest, HangingPrinterNeverStallsDrawing) {
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::atomic<int> printed{0};
    // Each request of the stand-in print system waits until released.
    printerUsed = "Office";
    ctrl->PrintSpooler().SetLookupFunction([&](const std::string& name) {
        std::unique_lock<std::mutex> g(m);
        cv.wait(g, [&] { return release; });
        PrinterDevice d;
        d.deviceName = name;
        return std::optional<PrinterDevice>(d);
    });
    ctrl->PrintSpooler().SetPrintFunction([&](const PrintedLogPage&) {
        std::unique_lock<std::mutex> g(m);
        cv.wait(g, [&] { return release; });
        ++printed;
        return true;
    });
    const PrintedLogPage page = SamplePage(0);
    ctrl->PrintSpooler().SetLimits(1000, 60000, 44 * static_cast<size_t>(page.image.sizeInBytes()));
    ASSERT_TRUE(ctrl->TogglePrinting(false));
    Rows(3 * 1131, 11);  // three pages while the printer hangs
    ctrl->PrintPage(false);
    // Told once that pages wait; the GUI thread goes on with its events.
    ASSERT_TRUE(WaitUntil([&] { return service.BoxCount() > 0; }));
    EXPECT_EQ(service.LastBox().text, kMsgPagesWait);
    // Held as memory allows, not 32; a page past it is told.
    for (int i = 0; i < 41; ++i) EXPECT_EQ(ctrl->PrintSpooler().Submit(page), i < 40) << i;
    ASSERT_TRUE(WaitUntil([&] { return service.BoxCount() == 2; }));
    EXPECT_EQ(service.LastBox().text, kMsgPageDropped);
    EXPECT_EQ(printed.load(), 0);
    {
        std::lock_guard<std::mutex> g(m);
        release = true;
    }
    cv.notify_all();
    ctrl->PrintSpooler().WaitIdle();
    EXPECT_EQ(printed.load(), 44);
    EXPECT_EQ(ctrl->PrintSpooler().Dropped(), 1u);
    QCoreApplication::processEvents();
    EXPECT_EQ(service.BoxCount(), 2u);
    // A page whose lookup finds the print system silent is kept, never sent: at the exit it
    // was not printed, though the server (hung now) cannot say so.
    ctrl->PrintSpooler().SetLookupFunction([](const std::string&) -> std::optional<PrinterDevice> {
        throw PrintServerSilent();
    });
    ctrl->PrintPage(false);
    ASSERT_TRUE(WaitUntil([&] { return service.BoxCount() == 3; }));
    service.HangPrintSystem(true);
    const PrintExitCount left = ctrl->PrintSpooler().Finish(400);
    service.HangPrintSystem(false);
    ASSERT_TRUE(WaitUntil([] { return PrintRequestsRunning() == 0; }));
    EXPECT_TRUE(left.notPrinted == 1 && left.unknown == 0);
}

// ---------------------------------------------------------------------------
// Device metrics and point-size fonts

TEST(PrintMetricsTest, MetricsAndFonts) {
    App();
    PrintMetrics m;
    EXPECT_FALSE(GetPrintMetrics(nullptr, m));
    QImage img(600, 300, QImage::Format_RGB32);
    img.setDotsPerMeterX(11811);  // 300 dpi
    img.setDotsPerMeterY(11811);
    ASSERT_TRUE(GetPrintMetrics(&img, m));
    EXPECT_EQ(m.logPixelsX, 300);
    EXPECT_EQ(m.logPixelsY, 300);
    EXPECT_EQ(m.horzRes, 600);
    EXPECT_NEAR(m.pixelsPerMmY, 300 / 25.4, 1e-9);
    EXPECT_TRUE(m.canStretch);
    EXPECT_NEAR(m.physicalWidthMm, 50.8, 1e-9);

    const PrintFont normal = CreatePrintFontNormal(8, "Arial", m);
    EXPECT_EQ(normal.font.pixelSize(), 33);  // MulDiv(8, 300, 72)
    EXPECT_EQ(normal.font.weight(), QFont::Normal);
    EXPECT_EQ(normal.escapement, 0);
    const PrintFont rotated = CreatePrintFontRotated(7, 900, "Arial", m);
    EXPECT_EQ(rotated.font.pixelSize(), 29);
    EXPECT_EQ(rotated.escapement, 900);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(600);
    ASSERT_TRUE(GetPrintMetrics(&printer, m));
    EXPECT_EQ(m.logPixelsY, 600);
    EXPECT_GE(m.physicalWidth, m.horzRes);
    EXPECT_GE(m.physicalOffsetX, 0);
}
