#include "ui/controls/TracePrint.h"

#include <QFile>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/ui/UiService.h"
#include "platform/ui/UiText.h"

namespace zns {

// ---------------------------------------------------------------------------
// Printers

namespace {

PrinterDevice DeviceOf(const QPrinterInfo& info) {
    PrinterDevice d;
    d.deviceName = ui::FromQ(info.printerName());
    d.driverName = ui::FromQ(info.makeAndModel());
    d.portName = ui::FromQ(info.location());
    const QPageSize size = info.defaultPageSize();
    if (size.isValid()) d.pageSize = size;
    d.color = info.defaultColorMode() != QPrinter::GrayScale;
    d.duplex = static_cast<int>(info.defaultDuplexMode());
    return d;
}

}  // namespace

std::optional<PrinterDevice> PrinterDevice::FromSystem(const std::string& name) {
    if (name.empty()) return std::nullopt;
    const QPrinterInfo info = QPrinterInfo::printerInfo(ui::ToQ(name));
    if (info.isNull()) return std::nullopt;
    return DeviceOf(info);
}

void PrinterDevice::ApplyTo(QPrinter& printer) const {
    if (!outputFile.empty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromLocal8Bit(outputFile.c_str()));
    } else if (!deviceName.empty()) {
        printer.setPrinterName(ui::ToQ(deviceName));
    }
    printer.setPageSize(pageSize);
    printer.setPageOrientation(orientation);
    printer.setColorMode(color ? QPrinter::Color : QPrinter::GrayScale);
    if (outputFile.empty()) printer.setDuplex(static_cast<QPrinter::DuplexMode>(duplex));
}

bool IsPdfPrinterName(const std::string& name) { return name.find('/') != std::string::npos; }

std::string PdfPageFileName(const std::string& chosen, int pageNumber, int copy) {
    std::string stem = chosen, ext = ".pdf";
    const size_t dot = chosen.rfind('.');
    if (dot != std::string::npos && chosen.size() - dot == 4 && chosen.find('/', dot) == std::string::npos) {
        std::string e = chosen.substr(dot);
        for (char& c : e) c = static_cast<char>(c | 0x20);
        if (e == ".pdf") {
            stem = chosen.substr(0, dot);
            ext = chosen.substr(dot);
        }
    }
    if (pageNumber > 0) stem += "-" + std::to_string(pageNumber);
    if (copy > 1) stem += " (" + std::to_string(copy) + ")";
    return stem + ext;
}

std::optional<PrinterDevice> LookUpPrinter(const std::string& name) {
    ui::IUiService& service = ui::Service();
    const std::string n = name.empty() ? service.DefaultPrinterName() : name;
    if (n.empty() || !service.PrinterAvailable(n)) return std::nullopt;
    if (auto d = PrinterDevice::FromSystem(n)) return d;
    // Known to the service but not to the print system (a scripted printer):
    // its name with the default settings.
    PrinterDevice plain;
    plain.deviceName = n;
    return plain;
}

std::optional<PrinterDevice> CAppPrinter::Current() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_device;
}

void CAppPrinter::SelectPrinter(std::optional<PrinterDevice> device) {
    std::lock_guard<std::mutex> g(m_lock);
    m_device = std::move(device);
}

CPrinterSettings::~CPrinterSettings() { RestorePrinter(); }

void CPrinterSettings::GetDefaultPrinter(const CAppPrinter& app) {
    if (auto d = app.Current()) {
        m_device = std::move(d);
        PrinterName();
    }
}

BOOL CPrinterSettings::SetPrinterDevice(const std::string& name) {
    if (name.empty()) return FALSE;
    auto d = LookUpPrinter(name);
    if (!d) return FALSE;
    m_device = std::move(d);
    PrinterName();
    return TRUE;
}

void CPrinterSettings::SetThisPrinter(CAppPrinter& app) {
    if (!m_swappedInto) {
        m_previous = app.Current();
        m_swappedInto = &app;
    }
    app.SelectPrinter(m_device);
}

void CPrinterSettings::RestorePrinter() {
    if (!m_swappedInto) return;
    m_swappedInto->SelectPrinter(std::move(m_previous));
    m_previous.reset();
    m_swappedInto = nullptr;
}

std::string CPrinterSettings::PrinterName() {
    m_printerName = m_device && !m_device->deviceName.empty() ? m_device->deviceName : kPrinterNotSet;
    return m_printerName;
}

// ---------------------------------------------------------------------------
// The page

std::string PrintJobName(int pageNumber) {
    char buf[80];
    std::snprintf(buf, sizeof buf, kPrintJobName, pageNumber);
    return buf;
}

PrintedLogPage MakePrintedLogPage(const QImage& traceImage, int firstRow, int rows, int destHeight,
                                  int pageNumber, const PrintedLogTexts& texts) {
    PrintedLogPage page;
    const int total = traceImage.height();
    rows = std::clamp(rows, 0, total);
    firstRow = std::clamp(firstRow, 0, total - rows);
    if (rows > 0) page.image = traceImage.copy(0, firstRow, traceImage.width(), rows);
    page.destHeight = destHeight;
    page.pageNumber = pageNumber;
    page.documentName = PrintJobName(pageNumber);
    page.logName = texts.logName;
    page.fileName = texts.fileName;
    page.dateText = FormatTime(kPrintDateFormat, texts.now);
    return page;
}

namespace {

// Arial whose text cell (ascent + descent) is `cellHeight` units high, as a
// font asked for by a positive height.
QFont CellFont(int cellHeight) {
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setWeight(static_cast<QFont::Weight>(kPrintFontWeight));
    f.setPixelSize(cellHeight);
    const double h = QFontMetricsF(f).height();
    if (h > 0) f.setPixelSize(std::max(1, static_cast<int>(std::lround(cellHeight * cellHeight / h))));
    return f;
}

enum class Align { Left, Centre, Right };

// Text with the top of its cell at y, placed on x as TA_LEFT / TA_CENTER / TA_RIGHT.
void TextAt(QPainter& p, int x, int y, const std::string& text, Align align) {
    if (text.empty()) return;
    const QString q = ui::ToQ(text);
    const QFontMetricsF fm(p.font(), p.device());
    double left = x;
    if (align == Align::Centre) left = x - fm.horizontalAdvance(q) / 2.0;
    if (align == Align::Right) left = x - fm.horizontalAdvance(q);
    p.drawText(QPointF(left, y + fm.ascent()), q);
}

}  // namespace

void PaintPrintedLogPage(QPainter& p, const PrintedLogPage& page) {
    p.save();
    // StretchBlt: whole pixels, no smoothing.
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (!page.image.isNull() && page.destHeight > 0)
        p.drawImage(QRect(kPrintImageX, kPrintImageY, kPrintImageWidth, page.destHeight), page.image);

    p.setPen(QPen(Qt::black, 0));
    p.setBrush(Qt::NoBrush);
    const QPoint frame[] = {{kPrintImageX, kPrintImageY},
                            {kPrintFrameRight, kPrintImageY},
                            {kPrintFrameRight, kPrintFrameBottom},
                            {kPrintImageX, kPrintFrameBottom},
                            {kPrintImageX, kPrintImageY}};
    p.drawPolyline(frame, 5);

    p.setFont(CellFont(kPrintHeaderFontHeight));
    TextAt(p, kPrintImageX, kPrintHeaderY, page.logName, Align::Left);

    p.setFont(CellFont(kPrintFooterFontHeight));
    TextAt(p, kPrintImageX, kPrintFooterY, page.dateText, Align::Left);
    TextAt(p, kPrintFooterCentreX, kPrintFooterY, page.fileName, Align::Centre);
    if (page.pageNumber > 0) {
        char buf[40];
        std::snprintf(buf, sizeof buf, kPrintPageNumber, page.pageNumber);
        TextAt(p, kPrintFrameRight, kPrintFooterY, buf, Align::Right);
    }
    p.restore();
}

QImage RenderPrintedLogPage(const PrintedLogPage& page, double scale) {
    if (!(scale > 0)) scale = 0.1;
    const int w = static_cast<int>(std::ceil((kPrintPageWidth + kPrintImageX) * scale));
    const int h = static_cast<int>(std::ceil((kPrintPageHeight + kPrintImageX) * scale));
    QImage img(std::max(1, w), std::max(1, h), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.scale(scale, scale);
    PaintPrintedLogPage(p, page);
    p.end();
    return img;
}

bool PrintOnPrinter(const PrintedLogPage& page) {
    QPrinter printer(QPrinter::HighResolution);
    if (page.device) page.device->ApplyTo(printer);
    printer.setResolution(kPrintResolution);
    printer.setDocName(ui::ToQ(page.documentName));
    printer.setFullPage(false);

    QPainter p;
    if (!p.begin(&printer)) return false;  // the job could not start: no page
    // A printable area smaller than the page shrinks the page as a whole.
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    const double fit = std::min({1.0, area.width() > 0 ? double(area.width()) / kPrintPageWidth : 1.0,
                                 area.height() > 0 ? double(area.height()) / kPrintPageHeight : 1.0});
    if (fit < 1.0) p.scale(fit, fit);
    PaintPrintedLogPage(p, page);
    return p.end();
}

// ---------------------------------------------------------------------------
// Spooler

namespace {

std::string Told(const char* format, const std::string& a, const std::string& b = {}) {
    char buf[1024];
    std::snprintf(buf, sizeof buf, format, a.c_str(), b.c_str());
    return buf;
}

// Resolves the page's printer and prints it; `trouble` is what to tell.
bool PrintJob(PrintedLogPage& page, const TracePrintSpooler::PrintFunction& print,
              const TracePrintSpooler::LookupFunction& lookup, std::string& trouble) {
    std::string target = page.device && !page.device->outputFile.empty() ? page.device->outputFile : std::string();
    if (!page.printerName.empty()) {
        target = page.printerName;
        if (auto d = lookup(page.printerName)) {
            page.device = std::move(d);
        } else if (auto def = lookup(std::string())) {
            // Gone while the print system answers: its default printer, as
            // when no printer of that name can be opened; the operator knows.
            trouble = Told(kMsgPrinterNotFound, page.printerName, def->deviceName);
            page.device = std::move(def);
        } else {
            trouble = Told(kMsgPageNotPrinted, target);  // no answer: never another printer
            return false;
        }
    }
    if (page.device && !page.device->outputFile.empty()) {
        // One file a page; a file already there is never written over.
        const std::string chosen = page.device->outputFile;
        std::string file = PdfPageFileName(chosen, page.pageNumber);
        for (int copy = 2; QFile::exists(QFile::decodeName(file.c_str())); ++copy)
            file = PdfPageFileName(chosen, page.pageNumber, copy);
        page.device->outputFile = file;
    }
    if (target.empty()) target = page.device ? page.device->deviceName : std::string();
    if (print(page)) return true;
    trouble = Told(kMsgPageNotPrinted, target);
    return false;
}

}  // namespace

TracePrintSpooler::TracePrintSpooler()
    : m_print(&PrintOnPrinter), m_lookup(&LookUpPrinter), m_report([](const std::string& text) {
          ui::PostMessageBox(text, ui::AppTitle(), MB_OK | MB_ICONEXCLAMATION);
      }) {}

TracePrintSpooler::~TracePrintSpooler() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void TracePrintSpooler::SetPrintFunction(PrintFunction fn) {
    std::lock_guard<std::mutex> g(m_lock);
    m_print = fn ? std::move(fn) : PrintFunction(&PrintOnPrinter);
}

void TracePrintSpooler::SetLookupFunction(LookupFunction fn) {
    std::lock_guard<std::mutex> g(m_lock);
    m_lookup = fn ? std::move(fn) : LookupFunction(&LookUpPrinter);
}

void TracePrintSpooler::SetReportFunction(ReportFunction fn) {
    std::lock_guard<std::mutex> g(m_lock);
    m_report = std::move(fn);
}

bool TracePrintSpooler::Submit(PrintedLogPage page) { return Enqueue({std::move(page), {}, {}}); }

void TracePrintSpooler::LookUp(std::string name, std::function<void(const PrinterLookup&)> done) {
    Enqueue({std::nullopt, std::move(name), std::move(done)});
}

bool TracePrintSpooler::Enqueue(Job job) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (job.page && m_queue.size() >= kMaxQueued) {
            ++m_dropped;
            return false;
        }
        m_queue.push_back(std::move(job));
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    }
    m_wake.notify_one();
    return true;
}

void TracePrintSpooler::WaitIdle() {
    std::unique_lock<std::mutex> g(m_lock);
    m_idle.wait(g, [this] { return m_queue.empty() && !m_busy; });
}

size_t TracePrintSpooler::Printed() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_printed;
}

size_t TracePrintSpooler::Failed() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_failed;
}

size_t TracePrintSpooler::Dropped() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_dropped;
}

void TracePrintSpooler::Run() {
    std::unique_lock<std::mutex> g(m_lock);
    for (;;) {
        m_wake.wait(g, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty()) break;  // stopping with nothing left
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        const PrintFunction print = m_print;
        const LookupFunction lookup = m_lookup;
        const ReportFunction report = m_report;
        m_busy = true;
        g.unlock();
        if (!job.page) {
            PrinterLookup answer;
            try {
                if (!job.name.empty()) answer.chosen = lookup(job.name);
                answer.systemDefault = lookup(std::string());
            } catch (...) {
                answer.failed = true;
            }
            if (job.done) job.done(answer);
            g.lock();
            m_busy = false;
            if (m_queue.empty()) m_idle.notify_all();
            continue;
        }
        bool ok = false;
        std::string trouble;
        try {
            ok = PrintJob(*job.page, print, lookup, trouble);
        } catch (...) {
            ok = false;
        }
        // Told once for a run of pages with the same trouble.
        if (trouble != m_told && !trouble.empty() && report) report(trouble);
        m_told = trouble;
        g.lock();
        m_busy = false;
        ++(ok ? m_printed : m_failed);
        if (m_queue.empty()) m_idle.notify_all();
    }
    m_idle.notify_all();
}

// ---------------------------------------------------------------------------
// Metrics and fonts

BOOL GetPrintMetrics(const QPaintDevice* device, PrintMetrics& m) {
    m = PrintMetrics{};
    if (!device) return FALSE;
    m.device = device;
    m.rasterCaps = kRcBitBlt | kRcStretchBlt;
    m.canStretch = (m.rasterCaps & kRcBitBlt) != 0;
    m.horzSizeMm = device->widthMM();
    m.vertSizeMm = device->heightMM();
    m.horzRes = device->width();
    m.vertRes = device->height();
    m.logPixelsX = device->logicalDpiX();
    m.logPixelsY = device->logicalDpiY();
    m.physicalWidth = m.horzRes;
    m.physicalHeight = m.vertRes;
    if (device->devType() == QInternal::Printer) {
        const auto* printer = static_cast<const QPrinter*>(device);
        const QRectF paper = printer->paperRect(QPrinter::DevicePixel);
        const QRectF page = printer->pageRect(QPrinter::DevicePixel);
        m.physicalWidth = static_cast<int>(paper.width());
        m.physicalHeight = static_cast<int>(paper.height());
        m.physicalOffsetX = static_cast<int>(page.left() - paper.left());
        m.physicalOffsetY = static_cast<int>(page.top() - paper.top());
    }
    const auto toMm = [](int units, int dpi) { return dpi > 0 ? units * 1000.0 / dpi * 0.0254 : 0.0; };
    m.physicalWidthMm = toMm(m.physicalWidth, m.logPixelsX);
    m.physicalHeightMm = toMm(m.physicalHeight, m.logPixelsY);
    m.physicalOffsetXMm = toMm(m.physicalOffsetX, m.logPixelsX);
    m.physicalOffsetYMm = toMm(m.physicalOffsetY, m.logPixelsY);
    m.aspectX = 36;
    m.aspectY = 36;
    m.pixelsPerMmX = m.logPixelsX > 0 ? 1.0 / ((1000.0 / m.logPixelsX) * 0.0254) : 0.0;
    m.pixelsPerMmY = m.logPixelsY > 0 ? 1.0 / ((1000.0 / m.logPixelsY) * 0.0254) : 0.0;
    return TRUE;
}

PrintFont CreatePrintFont(int points, int weight, bool italic, int escapement, const std::string& face,
                          const PrintMetrics& m) {
    // MulDiv(points, LOGPIXELSY, 72): the character height in device pixels.
    const int dpi = m.logPixelsY > 0 ? m.logPixelsY : 96;
    const long long num = static_cast<long long>(points) * dpi;
    const int px = static_cast<int>((num >= 0 ? num + 36 : num - 36) / 72);
    PrintFont out;
    out.font = QFont(ui::ToQ(face));
    out.font.setPixelSize(std::max(1, std::abs(px)));
    out.font.setWeight(static_cast<QFont::Weight>(std::clamp(weight <= 0 ? 400 : weight, 100, 900)));
    out.font.setItalic(italic);
    out.escapement = escapement;
    return out;
}

PrintFont CreatePrintFontNormal(int points, const std::string& face, const PrintMetrics& m) {
    return CreatePrintFont(points, 400, false, 0, face, m);
}

PrintFont CreatePrintFontRotated(int points, int escapement, const std::string& face, const PrintMetrics& m) {
    return CreatePrintFont(points, 400, false, escapement, face, m);
}

}  // namespace zns
