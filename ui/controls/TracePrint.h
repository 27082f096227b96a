#pragma once
// Printed pages of the trace image, the printer chosen for them, and the
// device metrics and point-size fonts that other controls use as well.
//
// A page is taken as a snapshot on the GUI thread (the rows of the image and
// the texts, a few milliseconds) and handed to TracePrintSpooler, whose own
// thread looks its printer up and talks to it. Neither acquisition nor the GUI
// ever waits for a printer or the print system.
//
// The page geometry is fixed in printer device units of a 600 dpi device: the
// printer is asked for 600 dpi and the page is shrunk as a whole only when the
// printable area is smaller than the page.
#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/Clock.h"
#include "platform/WinTypes.h"

class QPainter;
class QPaintDevice;
class QPrinter;

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
// Told once for a run of pages with the same trouble.
inline constexpr const char* kMsgPageNotPrinted = "The page could not be printed on \"%s\".";
inline constexpr const char* kMsgPrinterNotFound =
    "Printer \"%s\" was not found: the page was printed on the default printer \"%s\".";

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
    void ApplyTo(QPrinter& printer) const;
};

// The chosen printer's name when it is Qt's print to PDF: the file's path. A
// print queue's name never holds a '/'.
bool IsPdfPrinterName(const std::string& name);
// The file of one page printed to PDF: "log.pdf" gives "log-3.pdf" for page 3,
// "log.pdf" itself for a page without a number; `copy` above 1 adds " (2)"...
std::string PdfPageFileName(const std::string& chosen, int pageNumber, int copy = 1);

// The printer of that name as the print system knows it ("" for its default
// printer); nothing when there is no such printer. May wait for the print
// system for a minute: never on the GUI thread.
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
    // what it resolved to (the default printer when it is gone).
    std::string printerName;
};

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
// Prints the page on its printer. False when the job could not be started
// (no printer, file not writable); nothing is shown then.
bool PrintOnPrinter(const PrintedLogPage& page);

// What the print system answered about the chosen printer and its default one.
struct PrinterLookup {
    std::optional<PrinterDevice> chosen;
    std::optional<PrinterDevice> systemDefault;
    bool failed = false;  // the lookup threw
};

// Prints pages one after the other on its own thread, and is the one thread
// that asks the print system about printers. Submit and LookUp never wait.
class TracePrintSpooler {
public:
    using PrintFunction = std::function<bool(const PrintedLogPage&)>;
    using LookupFunction = std::function<std::optional<PrinterDevice>(const std::string& name)>;
    using ReportFunction = std::function<void(const std::string& text)>;
    static constexpr size_t kMaxQueued = 32;  // pages waiting for a stuck printer

    TracePrintSpooler();
    // Prints what is still queued, then ends its thread.
    ~TracePrintSpooler();
    TracePrintSpooler(const TracePrintSpooler&) = delete;
    TracePrintSpooler& operator=(const TracePrintSpooler&) = delete;

    // Replaces the printing step (tests capture pages with it).
    void SetPrintFunction(PrintFunction fn);
    // Replaces the printer lookup (LookUpPrinter) and the operator's message
    // about a page that could not reach its printer (a box posted to the GUI).
    void SetLookupFunction(LookupFunction fn);
    void SetReportFunction(ReportFunction fn);
    // Queues the page; false when kMaxQueued pages already wait (page dropped).
    bool Submit(PrintedLogPage page);
    // Looks up printer `name` (none for "") and the default printer after the
    // pages queued before; `done` gets the answer on the spooler's thread.
    void LookUp(std::string name, std::function<void(const PrinterLookup&)> done);
    // Waits until every queued page is through (tests, shutdown).
    void WaitIdle();
    size_t Printed() const;
    size_t Failed() const;
    size_t Dropped() const;

private:
    struct Job {
        std::optional<PrintedLogPage> page;  // else a lookup
        std::string name;
        std::function<void(const PrinterLookup&)> done;
    };
    void Run();
    bool Enqueue(Job job);

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_queue;
    PrintFunction m_print;
    LookupFunction m_lookup;
    ReportFunction m_report;
    std::string m_told;  // spooler thread: the trouble last told
    bool m_busy = false;
    bool m_stop = false;
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
