#pragma once
// Printed pages of the trace image, the printer chosen for them, and the
// device metrics and point-size fonts that other controls use as well.
//
// A page is taken as a snapshot on the GUI thread (the rows of the image and
// the texts, a few milliseconds) and handed to TracePrintSpooler. Every request
// to the print system runs on a thread of its own that the spooler waits for a
// short while only: neither acquisition, the GUI nor the program's exit ever
// waits for a printer or the print system. Pages to PDF files never ask it.
//
// The page geometry is fixed in printer device units of a 600 dpi device: the
// printer is asked for 600 dpi and the page is shrunk as a whole only when the
// printable area is smaller than the page.
#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/WinTypes.h"
#include "platform/ui/UiService.h"

class QIODevice;
class QPainter;
class QPaintDevice;

namespace zns {

// Geometry of the printed page, in device units.
inline constexpr int kPrintResolution = 600;
inline constexpr int kPrintImageX = 266;
inline constexpr int kPrintImageY = 620;
inline constexpr int kPrintImageWidth = 4200;
inline constexpr int kPrintImageHeight = 5522;  // a full page: 1180 source rows
inline constexpr int kPrintFrameRight = 4466;
inline constexpr int kPrintFrameBottom = 6142;
inline constexpr int kPrintHeaderY = 290;
inline constexpr int kPrintFooterY = 6300;
inline constexpr int kPrintFooterCentreX = 2366;
inline constexpr int kPrintHeaderFontHeight = 120;
inline constexpr int kPrintFooterFontHeight = 70;
inline constexpr int kPrintFontWeight = 300;
// What the page covers (the footer's text cell included): the area a printer must offer.
inline constexpr int kPrintPageWidth = kPrintFrameRight;
inline constexpr int kPrintPageHeight = kPrintFooterY + 80;
// Rows of an automatic page and the rows added to a last, partial page.
inline constexpr int kPrintAutoPageRows = 1130;  // a page is printed past this count
inline constexpr int kPrintPartialExtraRows = 50;

inline constexpr const char* kPrintJobName = "branniclogger Print Job %d";
inline constexpr const char* kPrintDateFormat = "%d/%b/%Y %H:%M:%S";
inline constexpr const char* kPrintPageNumber = "Page N\xB0  :%d";  // Windows-1252
inline constexpr const char* kPrinterNotSet = "printer not set...";
// A trouble is told again once its box was answered; a stopped printer once.
inline constexpr const char* kMsgPageNotPrinted = "The page could not be printed on \"%s\".";
inline constexpr const char* kMsgPrinterNotFound = "Printer \"%s\" was not found: the page was not printed.";
inline constexpr const char* kMsgPrinterReplaced = "Printer \"%s\" was not found: the pages are printed on \"%s\".";
inline constexpr const char* kMsgPageRefused = "The page could not be printed on \"%s\": %s";
inline constexpr const char* kMsgPrinterStopped =
    "The printer \"%s\" is stopped: the page waits in its queue.";
inline constexpr const char* kMsgPrinterStoppedWhy =
    "The printer \"%s\" is stopped (%s): the page waits in its queue.";
inline constexpr const char* kMsgPageMayBePrinted =
    "The page may have been printed on \"%s\": the print system would not say (%s).";
inline constexpr const char* kMsgPagesWait =
    "The print system does not answer: the pages wait and are printed once it answers.";
inline constexpr const char* kMsgPageDropped =
    "Too many pages wait for the print system: a new page was not kept and will not be printed.";

// Height on paper of `rows` source rows of a partial page: trunc(rows x 4.68).
constexpr int PartialPageHeight(int rows) { return rows * 468 / 100; }

// A printer as the program keeps it: its names and the device settings it
// prints with (page size, orientation, colour, duplex). A non-empty
// `outputFile` sends the pages to a PDF file instead of a printer.
struct PrinterDevice {
    std::string deviceName;  // Windows-1252 bytes
    std::string driverName;
    std::string portName;
    QPageSize pageSize{QPageSize::A4};
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    bool color = true;
    int duplex = 0;  // QPrinter::DuplexMode
    std::string outputFile;

    // The printer's own defaults; nothing when no such printer is installed.
    static std::optional<PrinterDevice> FromSystem(const std::string& name);
};

// The chosen printer's name when it is print to PDF: the file's absolute path.
// No print queue's name starts with a '/' ("queue/instance" is a printer).
bool IsPdfPrinterName(const std::string& name);
// The file of one page printed to PDF: "log.pdf" gives "log-3.pdf" for page 3,
// "log.pdf" itself for a page without a number; `copy` above 1 adds " (2)"...
std::string PdfPageFileName(const std::string& chosen, int pageNumber, int copy = 1);

// Thrown by a print step or printer lookup that the print system did not
// answer: the page is kept and printed later.
struct PrintServerSilent : std::runtime_error {
    PrintServerSilent() : std::runtime_error("the print system does not answer") {}
};
// Thrown by a print step whose job the print system refused, or whose PDF
// file could not be written; what() is the reason.
struct PrintJobRefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Thrown by a print step for a page sent before without an answer, when the
// server refuses to say whether it holds it: it is not sent again; what() is
// the server's word.
struct PrintJobUnknown : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Bound on one wait for the print server, and on the wait for its answer once
// a whole job is sent (storing it may take the server a while).
inline constexpr int kPrintServerWaitMs = 3000;
inline constexpr int kPrintAnswerWaitMs = 60000;

// The printer of that name as the print system knows it ("" for its default
// printer); nothing when there is no such printer. Throws PrintServerSilent
// when there is no print server to answer. May wait for the print system
// without a bound: never on the GUI thread.
std::optional<PrinterDevice> LookUpPrinter(const std::string& name);

// The application's printer: the one pages go to unless a printer is named
// for them. Kept by the main window; read by print jobs. Thread-safe.
class CAppPrinter {
public:
    CAppPrinter() = default;
    explicit CAppPrinter(std::optional<PrinterDevice> device) : m_device(std::move(device)) {}

    std::optional<PrinterDevice> Current() const;
    void SelectPrinter(std::optional<PrinterDevice> device);

private:
    mutable std::mutex m_lock;
    std::optional<PrinterDevice> m_device;
};

// Holder of one chosen printer; swaps it in as the application's printer for
// the time of a job (SetThisPrinter .. RestorePrinter).
class CPrinterSettings {
public:
    CPrinterSettings() = default;
    virtual ~CPrinterSettings();
    CPrinterSettings(const CPrinterSettings&) = delete;
    CPrinterSettings& operator=(const CPrinterSettings&) = delete;

    // Takes a copy of the application's printer.
    void GetDefaultPrinter(const CAppPrinter& app);
    // The printer of that name with its own settings. FALSE (and nothing
    // changed) when no printer of that name can be opened. Looks the printer
    // up (LookUpPrinter): never on the GUI thread.
    BOOL SetPrinterDevice(const std::string& name);
    // Makes this printer the application's, remembering the previous one.
    void SetThisPrinter(CAppPrinter& app);
    // Gives the remembered printer back to the application.
    void RestorePrinter();
    // The device name, or "printer not set..." when no printer is known.
    std::string PrinterName();
    const std::optional<PrinterDevice>& Device() const { return m_device; }

private:
    std::optional<PrinterDevice> m_device;
    std::string m_printerName = kPrinterNotSet;
    CAppPrinter* m_swappedInto = nullptr;
    std::optional<PrinterDevice> m_previous;
};

// One printed page of the trace image, complete: nothing is read at print time.
struct PrintedLogPage {
    QImage image;                         // source rows, 812 wide, top row first
    int destHeight = kPrintImageHeight;   // height of the image on paper
    int pageNumber = 0;                   // "Page N°" only when above 0
    std::string documentName;             // the print job's name
    std::string logName;                  // header: LogName of the log header
    std::string dateText;                 // footer left
    std::string fileName;                 // footer centre: the data file's name
    std::optional<PrinterDevice> device;  // nothing: the system's default printer
    // A printer looked up by name where the page is printed; `device` is then
    // what it resolved to. A page for a printer that is gone is not printed.
    std::string printerName;
    // The spooler's mark of this page, unique in the run and across runs: part
    // of the job's name, by which the server is asked whether it holds the page.
    std::string jobMark;
    bool mayBeHeld = false;  // sent before without an answer
    std::shared_ptr<ui::PrintJobGate> gate;  // this attempt's: the exit may stop it before it is sent
};

// The name its job has on the print server: the page's and its mark.
std::string PrintJobTitle(const PrintedLogPage& page);

// What a page is made from, besides the image.
struct PrintedLogTexts {
    std::string logName;
    std::string fileName;
    LocalTime now;
};

// Copies `rows` rows from `firstRow` of the trace image (clamped into it) and
// formats the texts of page `pageNumber`.
PrintedLogPage MakePrintedLogPage(const QImage& traceImage, int firstRow, int rows, int destHeight,
                                  int pageNumber, const PrintedLogTexts& texts);
std::string PrintJobName(int pageNumber);

// Draws the page in device units (the painter's coordinates).
void PaintPrintedLogPage(QPainter& p, const PrintedLogPage& page);
// The page as an image, `scale` device units to a pixel (0.1 gives 447 x 638):
// what a printer would get, for previews and checks.
QImage RenderPrintedLogPage(const PrintedLogPage& page, double scale);
// The page as a PDF document: the same page, at the device's page size.
// False when the device cannot be written.
bool WritePdfPage(const PrintedLogPage& page, QIODevice& out);
// What printing a page came to, and on which printer; a page a stopped
// printer took waits in its queue.
struct PrintResult {
    PrintResult(bool ok, std::string on = {}, bool queueStopped = false, std::string why = {})
        : printed(ok), printer(std::move(on)), stopped(queueStopped), stopReason(std::move(why)) {}
    bool printed;
    std::string printer;
    bool stopped;
    std::string stopReason;  // the stopped printer's word
};
// Prints the page: a PDF file of its own for print to PDF (no print system
// asked), else a PDF job sent to its queue (named by its mark; a page sent
// before without an answer is not sent again when the server holds it). False
// when no PDF could be made; PrintJobRefused when the file cannot be written or
// the job is refused; PrintServerSilent for a job; PrintJobUnknown. Nothing is shown.
PrintResult PrintOnPrinter(const PrintedLogPage& page);

// What the print system answered about the chosen printer and its default one.
struct PrinterLookup {
    std::optional<PrinterDevice> chosen;
    std::optional<PrinterDevice> systemDefault;
    bool failed = false;  // the lookup threw
    bool silent = false;  // the print system gave no answer in time
};

// The pages the program's exit leaves: those never sent or that the print
// server does not hold, those it could not be asked about in time (they may
// have been printed), and what the pages that failed from the exit on would
// have told (a refusal with its reason), each with its pages.
struct PrintExitCount {
    size_t notPrinted = 0;
    size_t unknown = 0;
    std::vector<std::pair<std::string, size_t>> told;
};

// Requests to the print system still running on threads the spooler gave up
// waiting for (the program ends without waiting for them).
int PrintRequestsRunning();

// Prints pages one after the other. Its own thread never waits on the print
// system: each request (a printer lookup, the server question, a job) runs on
// a thread of its own, waited for a short while; a page whose request the print
// system does not answer in time is kept and tried again until it is printed,
// in order with the other pages for printers. Pages to PDF files go at once.
class TracePrintSpooler {
public:
    using PrintFunction = std::function<PrintResult(const PrintedLogPage&)>;
    using LookupFunction = std::function<std::optional<PrinterDevice>(const std::string& name)>;
    using ReportFunction = std::function<void(const std::string& text)>;
    // Memory the pages held may take (the images).
    static constexpr size_t kMaxQueuedBytes = size_t{256} << 20;
    // A page that found the print system silent is tried again after this.
    static constexpr int kRetryMs = 10000;

    TracePrintSpooler();
    // Stops (see Stop): pages not printed by then are lost.
    ~TracePrintSpooler();
    TracePrintSpooler(const TracePrintSpooler&) = delete;
    TracePrintSpooler& operator=(const TracePrintSpooler&) = delete;

    // Replaces the printing step (tests capture pages with it).
    void SetPrintFunction(PrintFunction fn);
    // Replaces the printer lookup (LookUpPrinter) and the operator's message
    // about a page that could not reach its printer (a box posted to the GUI,
    // not told again while it is up; a function set here answers as it returns).
    void SetLookupFunction(LookupFunction fn);
    void SetReportFunction(ReportFunction fn);
    // How long a request to the print system is waited for, the pause before a
    // kept page is tried again, and the memory the pages held may take.
    void SetLimits(int serverWaitMs, int retryMs, size_t maxQueuedBytes);
    // Queues the page, marking it as its own; false (told) when the pages held
    // already take the memory allowed, or after Stop.
    bool Submit(PrintedLogPage page);
    // Looks up printer `name` (none for "") and the default printer; `done`
    // gets the answer on the spooler's thread (silent when none came in time).
    void LookUp(std::string name, std::function<void(const PrinterLookup&)> done);
    // Asks whether the print server answers; `done` gets Silent when it did not
    // in time.
    void AskServer(std::function<void(ui::PrintServerAnswer)> done);
    // Waits until every queued page is through (tests).
    void WaitIdle();
    // The program's exit has begun (its Yes): from now on nothing is told, not
    // even a box posted before and not yet shown; Finish's count says it.
    void BeginExit();
    // The program's exit, within `ms` (BeginExit if not yet). Kept pages are
    // tried once more at once; then each page sent without an answer (the one
    // in flight included) is looked up on the server by its mark, and a page
    // not yet sent is never sent. Printed: the server lists it or took it; not
    // printed: never sent, refused, or its request ended and the server does
    // not list it; else it may have been printed. `pump` runs between short
    // waits. Then Stop.
    PrintExitCount Finish(int ms, const std::function<void()>& pump = {});
    // Ends the spooler's thread without waiting on the print system (a request
    // still running is left to end on its own). Returns the pages not printed.
    size_t Stop();
    size_t Printed() const;
    size_t Failed() const;
    size_t Dropped() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Job {
        enum Kind { Page, Lookup, Ask } kind = Page;
        std::optional<PrintedLogPage> page;
        size_t bytes = 0;
        std::string name;
        std::function<void(const PrinterLookup&)> lookupDone;
        std::function<void(ui::PrintServerAnswer)> askDone;
        bool ToFile() const;
    };
    struct Outcome;
    struct Request;
    struct Shared;

    bool Enqueue(Job job);
    void Run();
    // The queued job to run now, or nothing.
    std::optional<Job> TakeNext(Clock::time_point now);
    void StartRequest(Job job);
    void RequestOverdue(std::unique_lock<std::mutex>& g);
    void RequestDone(std::unique_lock<std::mutex>& g);
    void PrintToFile(Job& job, std::unique_lock<std::mutex>& g);
    void PageDone(const Outcome& out, const PrintedLogPage& page, size_t bytes, std::unique_lock<std::mutex>& g);
    void StartWaiting(Clock::time_point now, std::unique_lock<std::mutex>& g);
    // `pages`: the pages not printed (or maybe printed) that the text tells of.
    void Tell(const std::string& text, std::unique_lock<std::mutex>& g, size_t pages = 0);
    void Log(const PrintedLogPage& page, const std::string& text, std::unique_lock<std::mutex>& g);
    bool PagesHeld() const;
    void EndThread();
    // Forgets the pages held and the request running (left to end on its own).
    void Release(std::unique_lock<std::mutex>& g);

    std::shared_ptr<Shared> m_s;  // lock and wake-up, shared with request threads
    std::condition_variable m_idle;
    std::deque<Job> m_queue;
    std::unique_ptr<Request> m_request;  // the one request to the print system running
    PrintFunction m_print;
    LookupFunction m_lookup;
    ReportFunction m_report;
    std::string m_stoppedTold;  // spooler thread: the stopped printer the operator knows of
    std::string m_replacedTold;  // ... and the chosen printer not found, whose pages go elsewhere
    int m_waitMs = kPrintServerWaitMs * 2;
    int m_retryMs = kRetryMs;
    size_t m_maxBytes = kMaxQueuedBytes;
    size_t m_bytes = 0;
    bool m_waiting = false;       // pages wait for a silent print system
    bool m_toldWaiting = false;   // ... and the operator knows
    Clock::time_point m_retryAt{};
    bool m_busy = false;
    bool m_stop = false;
    bool m_stopped = false;
    size_t m_printed = 0, m_failed = 0, m_dropped = 0;
    std::thread m_thread;
};

// Device metrics of any paint device (screen, image, printer).
struct PrintMetrics {
    const QPaintDevice* device = nullptr;
    int rasterCaps = 0;
    bool canStretch = false;
    int horzSizeMm = 0, vertSizeMm = 0;  // HORZSIZE, VERTSIZE
    int horzRes = 0, vertRes = 0;        // HORZRES, VERTRES
    int physicalWidth = 0, physicalHeight = 0, physicalOffsetX = 0, physicalOffsetY = 0;
    double physicalWidthMm = 0, physicalHeightMm = 0, physicalOffsetXMm = 0, physicalOffsetYMm = 0;
    int scalingFactorX = 0, scalingFactorY = 0;
    int aspectX = 0, aspectY = 0;
    int logPixelsX = 0, logPixelsY = 0;
    double pixelsPerMmX = 0, pixelsPerMmY = 0;
};
inline constexpr int kRcBitBlt = 0x0001;
inline constexpr int kRcStretchBlt = 0x0800;

// Fills `m` (cleared first); FALSE for no device.
BOOL GetPrintMetrics(const QPaintDevice* device, PrintMetrics& m);

// A font of `points` points for a device of these metrics. Qt fonts have no
// escapement: the painter is rotated by escapement / 10 degrees to draw with it.
struct PrintFont {
    QFont font;
    int escapement = 0;  // tenths of a degree, counter-clockwise
};
PrintFont CreatePrintFont(int points, int weight, bool italic, int escapement, const std::string& face,
                          const PrintMetrics& m);
PrintFont CreatePrintFontNormal(int points, const std::string& face, const PrintMetrics& m);
PrintFont CreatePrintFontRotated(int points, int escapement, const std::string& face, const PrintMetrics& m);

}  // namespace zns
