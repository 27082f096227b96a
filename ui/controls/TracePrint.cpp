#include "ui/controls/TracePrint.h"

#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <map>
#include <set>

#include "platform/CodePage.h"
#include "platform/FileReplace.h"
#include "platform/ui/GuiThread.h"
#include "platform/ui/UiService.h"
#include "platform/ui/UiText.h"
#include "settings/ErrorLog.h"

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

bool IsPdfPrinterName(const std::string& name) { return !name.empty() && name.front() == '/'; }

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
    // Asked first with a bound: the questions below wait a minute each on a hung server.
    if (service.AskPrintServer(kPrintServerWaitMs) != ui::PrintServerAnswer::Answers) throw PrintServerSilent();
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

bool WritePdfPage(const PrintedLogPage& page, QIODevice& out) {
    const PrinterDevice device = page.device.value_or(PrinterDevice{});
    QPdfWriter pdf(&out);
    pdf.setResolution(kPrintResolution);
    pdf.setTitle(ui::ToQ(page.documentName));
    // The margins a printer's page had (QPrinter's own for PDF).
    pdf.setPageLayout(QPageLayout(device.pageSize, device.orientation, QMarginsF(10, 10, 10, 10), QPageLayout::Point));

    QPainter p;
    if (!p.begin(&pdf)) return false;
    // A printable area smaller than the page shrinks the page as a whole.
    const QRect area = pdf.pageLayout().paintRectPixels(pdf.resolution());
    const double fit = std::min({1.0, area.width() > 0 ? double(area.width()) / kPrintPageWidth : 1.0,
                                 area.height() > 0 ? double(area.height()) / kPrintPageHeight : 1.0});
    if (fit < 1.0) p.scale(fit, fit);
    PaintPrintedLogPage(p, page);
    return p.end();
}

PrintResult PrintOnPrinter(const PrintedLogPage& page) {
    if (page.device && !page.device->outputFile.empty()) {
        // One file a page, put in place whole under a name not yet taken: a
        // file already there is never written over, a killed print leaves none.
        QBuffer pdf;
        pdf.open(QIODevice::WriteOnly);
        if (!WritePdfPage(page, pdf)) return false;
        const std::string chosen = page.device->outputFile;
        ReplacingFile file(PdfPageFileName(chosen, page.pageNumber), ReplacingFile::NewFile);
        if (file.File()) std::fwrite(pdf.data().constData(), 1, static_cast<size_t>(pdf.size()), file.File());
        std::string placed;
        const ReplaceResult done =
            file.CommitNew([&](int copy) { return PdfPageFileName(chosen, page.pageNumber, copy); }, placed);
        if (!done) {
            throw PrintJobRefused(SystemErrorText(done.err));
        }
        return {true, chosen};
    }
    // A print queue gets the same page as a PDF document; no printer named:
    // the system's default one.
    std::optional<PrinterDevice> device = page.device;
    if (!device || device->deviceName.empty()) device = LookUpPrinter(std::string());
    if (!device) return false;
    ui::PrintJobRequest job;
    job.printer = device->deviceName;
    job.media = ui::FromQ(device->pageSize.key());
    job.duplex = device->duplex;
    job.color = device->color;
    job.title = PrintJobTitle(page);
    job.mayBeHeld = page.mayBeHeld;
    job.gate = page.gate;
    job.answerWaitMs = kPrintAnswerWaitMs;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!WritePdfPage(page, buffer)) return false;
    job.pdf = buffer.data().toStdString();
    const ui::PrintJobOutcome out = ui::Service().SendPrintJob(job, kPrintServerWaitMs);
    if (out.status == ui::PrintJobOutcome::Silent) throw PrintServerSilent();
    if (out.status == ui::PrintJobOutcome::Refused) throw PrintJobRefused(out.reason);
    if (out.status == ui::PrintJobOutcome::Unknown) throw PrintJobUnknown(out.reason);
    return {true, job.printer, out.stopped, out.message};
}

std::string PrintJobTitle(const PrintedLogPage& page) {
    return page.jobMark.empty() ? page.documentName : page.documentName + " #" + page.jobMark;
}

// ---------------------------------------------------------------------------
// Spooler

namespace {

std::atomic<int> g_requestsRunning{0};

std::string Told(const char* format, const std::string& a, const std::string& b = {}) {
    char buf[1024];
    std::snprintf(buf, sizeof buf, format, a.c_str(), b.c_str());
    return buf;
}

// A mark no other page has, in this run or another: a random run id and a count.
std::string NewJobMark() {
    static const std::string run = [] {
        std::random_device rd;
        char id[24];
        std::snprintf(id, sizeof id, "%08x%04x", static_cast<unsigned>(rd()), static_cast<unsigned>(rd() & 0xFFFF));
        return std::string(id);
    }();
    static std::atomic<unsigned> count{0};
    return run + "-" + std::to_string(++count);
}

// Resolves the page's printer and prints it; `trouble` is what to tell,
// `replaced` the chosen printer that could not be opened, and `unknown` set
// when the server would not say whether it holds the page. PrintServerSilent
// goes to the caller: the page is kept.
PrintResult PrintJob(PrintedLogPage& page, const TracePrintSpooler::PrintFunction& print,
                     const TracePrintSpooler::LookupFunction& lookup, std::string& trouble, std::string& replaced,
                     bool& unknown) {
    if (!page.printerName.empty()) {
        if (auto d = lookup(page.printerName)) {
            page.device = std::move(d);
        } else {
            // Not to be opened: the application's printer stays in force, else the system's default.
            replaced = page.printerName;
            if (!page.device) page.device = lookup(std::string());
            if (!page.device) {
                trouble = Told(kMsgPrinterNotFound, page.printerName);
                return false;
            }
        }
    }
    const std::string target = !page.device                        ? std::string()
                                : !page.device->outputFile.empty() ? page.device->outputFile
                                                                   : page.device->deviceName;
    try {
        PrintResult printed = print(page);
        if (printed.printer.empty()) printed.printer = target;
        if (printed.printed) return printed;
        trouble = Told(kMsgPageNotPrinted, target);
    } catch (const PrintJobRefused& e) {
        trouble = Told(kMsgPageRefused, target, e.what());
    } catch (const PrintJobUnknown& e) {
        // Never sent twice: told, and the pages after it go on.
        trouble = Told(kMsgPageMayBePrinted, target, e.what());
        unknown = true;
    }
    return false;
}

}  // namespace

int PrintRequestsRunning() { return g_requestsRunning.load(); }

// Lock and wake-up of the spooler, kept alive by a request thread (or a box)
// that outlives it.
struct TracePrintSpooler::Shared {
    std::mutex lock;
    std::condition_variable wake;
    // Troubles told in a box not yet answered, with the pages not printed they tell of.
    std::map<std::string, size_t> boxesUp;
    bool exiting = false;  // the program's exit tells one count instead of boxes
    // What no box told, with its pages: the exit's count (a text about no page goes).
    std::vector<std::pair<std::string, size_t>> untold;

    void Untold(const std::string& text, size_t pages) { AddTold(untold, text, pages); }
    static void AddTold(std::vector<std::pair<std::string, size_t>>& to, const std::string& text, size_t pages) {
        if (pages == 0) return;
        auto it = std::find_if(to.begin(), to.end(), [&](const auto& t) { return t.first == text; });
        if (it == to.end()) to.emplace_back(text, pages);
        else it->second += pages;
    }
};

// What a request found, written by its thread.
struct TracePrintSpooler::Outcome {
    bool ok = false;
    bool silent = false;
    bool unknown = false;  // the server would not say whether it holds the page
    std::string trouble;
    std::string printer;  // where it was printed
    std::string replaced;  // the chosen printer, not to be opened
    bool stopped = false;
    std::string stopReason;
    PrinterLookup lookup;
    ui::PrintServerAnswer answer = ui::PrintServerAnswer::Silent;

    void Take(const PrintResult& r) {
        ok = r.printed;
        printer = r.printer;
        stopped = r.stopped;
        stopReason = r.stopReason;
    }
};

struct TracePrintSpooler::Request {
    Job job;
    std::shared_ptr<Outcome> outcome = std::make_shared<Outcome>();
    std::shared_ptr<bool> done = std::make_shared<bool>(false);  // under Shared::lock
    std::shared_ptr<ui::PrintJobGate> gate = std::make_shared<ui::PrintJobGate>();
    Clock::time_point deadline;
    bool overdue = false;  // not answered in time: answered for, or the page told waiting
    std::thread thread;
};

bool TracePrintSpooler::Job::ToFile() const {
    return kind == Page && page->printerName.empty() && page->device && !page->device->outputFile.empty();
}

TracePrintSpooler::TracePrintSpooler()
    : m_s(std::make_shared<Shared>()),
      m_print(&PrintOnPrinter),
      m_lookup(&LookUpPrinter) {}

TracePrintSpooler::~TracePrintSpooler() { Stop(); }

void TracePrintSpooler::SetPrintFunction(PrintFunction fn) {
    std::lock_guard<std::mutex> g(m_s->lock);
    m_print = fn ? std::move(fn) : PrintFunction(&PrintOnPrinter);
}

void TracePrintSpooler::SetLookupFunction(LookupFunction fn) {
    std::lock_guard<std::mutex> g(m_s->lock);
    m_lookup = fn ? std::move(fn) : LookupFunction(&LookUpPrinter);
}

void TracePrintSpooler::SetReportFunction(ReportFunction fn) {
    std::lock_guard<std::mutex> g(m_s->lock);
    m_report = std::move(fn);
}

void TracePrintSpooler::SetLimits(int serverWaitMs, int retryMs, size_t maxQueuedBytes) {
    std::lock_guard<std::mutex> g(m_s->lock);
    m_waitMs = serverWaitMs;
    m_retryMs = retryMs;
    m_maxBytes = maxQueuedBytes;
}

bool TracePrintSpooler::Submit(PrintedLogPage page) {
    if (page.jobMark.empty()) page.jobMark = NewJobMark();
    Job job;
    job.bytes = static_cast<size_t>(std::max<qsizetype>(0, page.image.sizeInBytes()));
    job.page = std::move(page);
    std::unique_lock<std::mutex> g(m_s->lock);
    if (m_stop) return false;
    // Held pages are bounded by the memory they take; the one page always goes in.
    if (m_bytes + job.bytes <= m_maxBytes || !PagesHeld()) {
        m_bytes += job.bytes;
        m_queue.push_back(std::move(job));
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
        m_s->wake.notify_all();
        return true;
    }
    ++m_dropped;
    Log(*job.page, kMsgPageDropped, g);
    Tell(kMsgPageDropped, g, 1);
    return false;
}

void TracePrintSpooler::LookUp(std::string name, std::function<void(const PrinterLookup&)> done) {
    Job job;
    job.kind = Job::Lookup;
    job.name = std::move(name);
    job.lookupDone = std::move(done);
    Enqueue(std::move(job));
}

void TracePrintSpooler::AskServer(std::function<void(ui::PrintServerAnswer)> done) {
    Job job;
    job.kind = Job::Ask;
    job.askDone = std::move(done);
    Enqueue(std::move(job));
}

bool TracePrintSpooler::Enqueue(Job job) {
    std::lock_guard<std::mutex> g(m_s->lock);
    if (m_stop) return false;
    m_queue.push_back(std::move(job));
    if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    m_s->wake.notify_all();
    return true;
}

bool TracePrintSpooler::PagesHeld() const {
    if (m_request && m_request->job.kind == Job::Page) return true;
    for (const Job& j : m_queue)
        if (j.kind == Job::Page) return true;
    return false;
}

void TracePrintSpooler::WaitIdle() {
    std::unique_lock<std::mutex> g(m_s->lock);
    m_idle.wait(g, [this] { return m_stop || (m_queue.empty() && !m_request && !m_busy); });
}

void TracePrintSpooler::BeginExit() {
    std::lock_guard<std::mutex> g(m_s->lock);
    m_s->exiting = true;
}

PrintExitCount TracePrintSpooler::Finish(int ms, const std::function<void()>& pump) {
    const Clock::time_point start = Clock::now(), end = start + std::chrono::milliseconds(ms);
    const Clock::time_point lookUpAt = start + std::chrono::milliseconds(ms / 2);  // the rest is the server's
    std::unique_lock<std::mutex> g(m_s->lock);
    const auto wait = [&](const std::function<bool()>& more, Clock::time_point until) {
        while (more() && Clock::now() < until) {
            m_s->wake.wait_until(g, std::min(until, Clock::now() + std::chrono::milliseconds(20)));
            if (!pump) continue;
            g.unlock();
            pump();
            g.lock();
        }
    };
    if (m_stopped) return {};
    m_s->exiting = true;
    m_retryAt = start;  // kept pages are tried once more at once
    m_s->wake.notify_all();
    // ... but a print system silent again is not waited for.
    wait([this] { return !m_stop && PagesHeld() && !(m_waiting && m_retryAt > Clock::now()); }, lookUpAt);
    g.unlock();
    EndThread();
    g.lock();

    PrintExitCount count;
    if (pump) {
        // Boxes posted before: never shown now, their pages counted.
        g.unlock();
        pump();
        g.lock();
    }
    count.told = std::move(m_s->untold);
    // A page whose answer came: printed, or what it would have told.
    const auto answered = [&count](const Outcome& out) {
        if (out.ok) return;
        if (out.trouble.empty())
            ++count.notPrinted;
        else
            Shared::AddTold(count.told, out.trouble, 1);
    };
    std::set<std::string> ask;  // sent without an answer: the server may hold them
    for (const Job& j : m_queue)
        if (j.kind == Job::Page && !j.ToFile() && j.page->mayBeHeld)
            ask.insert(PrintJobTitle(*j.page));
        else if (j.kind == Job::Page)
            ++count.notPrinted;
    std::string inFlight;  // the page whose answer has not come
    bool inFlightEnded = true;  // ... and nothing of it is on its way to the server
    if (m_request && m_request->job.kind == Job::Page) {
        const Request& r = *m_request;
        if (*r.done && !r.outcome->silent) {
            answered(*r.outcome);
        } else if (r.gate->Stop() && !r.job.page->mayBeHeld) {
            ++count.notPrinted;  // never sent, and now never will be
        } else {
            ask.insert(inFlight = PrintJobTitle(*r.job.page));
            // Still being sent, the server may store it after it is asked.
            inFlightEnded = !r.gate->Sent() || *r.done;
        }
    }
    if (!ask.empty()) {
        // On a thread of its own: the server may not answer at all.
        auto held = std::make_shared<std::optional<std::set<std::string>>>();
        auto done = std::make_shared<bool>(false);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        ++g_requestsRunning;
        std::thread([s = m_s, held, done, ask, left = static_cast<int>(std::max<long long>(1, left))] {
            std::optional<std::set<std::string>> found;
            try {
                found = ui::Service().JobsHeld(ask, left);
            } catch (...) {
            }
            --g_requestsRunning;
            std::lock_guard<std::mutex> g(s->lock);
            *held = std::move(found);
            *done = true;
            s->wake.notify_all();
        }).detach();
        wait([&] { return !*done; }, end);
        for (const std::string& title : ask) {
            if (title == inFlight && *m_request->done && !m_request->outcome->silent)
                answered(*m_request->outcome);  // its answer came meanwhile
            else if (*held && (*held)->count(title))
                continue;  // printed
            else if (*held && (title != inFlight || inFlightEnded))
                ++count.notPrinted;
            else
                ++count.unknown;
        }
    }
    Release(g);
    return count;
}

void TracePrintSpooler::EndThread() {
    {
        std::lock_guard<std::mutex> g(m_s->lock);
        m_stop = true;
        m_s->wake.notify_all();
    }
    // The spooler's thread never waits on the print system: it ends at once.
    if (m_thread.joinable()) m_thread.join();
}

size_t TracePrintSpooler::Stop() {
    {
        std::lock_guard<std::mutex> g(m_s->lock);
        if (m_stopped) return 0;
    }
    EndThread();
    std::unique_lock<std::mutex> g(m_s->lock);
    size_t left = 0;
    for (const Job& j : m_queue) left += j.kind == Job::Page ? 1 : 0;
    if (m_request && m_request->job.kind == Job::Page && !(*m_request->done && m_request->outcome->ok)) ++left;
    Release(g);
    return left;
}

void TracePrintSpooler::Release(std::unique_lock<std::mutex>& g) {
    m_stopped = true;
    m_queue.clear();
    if (m_request) {
        const bool done = *m_request->done;
        std::unique_ptr<Request> r = std::move(m_request);
        g.unlock();
        // A request the print system holds is left to end on its own.
        if (done)
            r->thread.join();
        else
            r->thread.detach();
        g.lock();
    }
    m_idle.notify_all();
}

size_t TracePrintSpooler::Printed() const {
    std::lock_guard<std::mutex> g(m_s->lock);
    return m_printed;
}

size_t TracePrintSpooler::Failed() const {
    std::lock_guard<std::mutex> g(m_s->lock);
    return m_failed;
}

size_t TracePrintSpooler::Dropped() const {
    std::lock_guard<std::mutex> g(m_s->lock);
    return m_dropped;
}

void TracePrintSpooler::Tell(const std::string& text, std::unique_lock<std::mutex>& g, size_t pages) {
    // Never during the program's exit, whose wait must not hold on a box.
    if (m_s->exiting) {
        m_s->Untold(text, pages);
        return;
    }
    // Not told again while its box is up; once answered, it is.
    const bool up = m_s->boxesUp.count(text) != 0;
    m_s->boxesUp[text] += pages;
    if (up) return;
    const ReportFunction report = m_report;
    g.unlock();
    if (!report) {
        ui::PostToGui(nullptr, [s = m_s, text] {
            {
                std::lock_guard<std::mutex> g(s->lock);
                if (s->exiting) {
                    s->Untold(text, s->boxesUp[text]);
                    s->boxesUp.erase(text);
                    return;
                }
            }
            ui::Service().MessageBox(nullptr, text, ui::AppTitle(), MB_OK | MB_ICONEXCLAMATION);
            std::lock_guard<std::mutex> g(s->lock);
            s->boxesUp.erase(text);
        });
        g.lock();
        return;
    }
    report(text);
    g.lock();
    m_s->boxesUp.erase(text);
}

void TracePrintSpooler::Log(const PrintedLogPage& page, const std::string& text, std::unique_lock<std::mutex>& g) {
    g.unlock();
    ErrorLog::Process().Write(page.documentName + " #" + page.jobMark, text);
    g.lock();
}

std::optional<TracePrintSpooler::Job> TracePrintSpooler::TakeNext(Clock::time_point now) {
    const bool printerFree = !m_request && (!m_waiting || now >= m_retryAt);
    for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
        bool take = false;
        if (it->ToFile())
            take = true;  // never waits on the print system
        else if (it->kind != Job::Page)
            take = !m_request || m_request->overdue;  // answered at once while a request hangs
        else if (!printerFree)
            continue;  // pages for printers keep their order behind the first one
        else
            take = true;
        if (take) {
            Job job = std::move(*it);
            m_queue.erase(it);
            return job;
        }
    }
    return std::nullopt;
}

void TracePrintSpooler::Run() {
    std::unique_lock<std::mutex> g(m_s->lock);
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (m_request && *m_request->done) {
            RequestDone(g);
            continue;
        }
        if (m_request && !m_request->overdue && now >= m_request->deadline) {
            RequestOverdue(g);
            continue;
        }
        if (m_stop) break;
        std::optional<Job> job = TakeNext(now);
        if (!job) {
            if (m_queue.empty() && !m_request) m_idle.notify_all();
            Clock::time_point until = now + std::chrono::hours(1);
            if (m_request && !m_request->overdue) until = m_request->deadline;
            if (!m_request && m_waiting && !m_queue.empty()) until = m_retryAt;
            m_s->wake.wait_until(g, until);
            continue;
        }
        if (job->ToFile()) {
            PrintToFile(*job, g);
        } else if (m_request) {
            // A request the print system holds: no answer now either.
            g.unlock();
            if (job->lookupDone) job->lookupDone(PrinterLookup{{}, {}, false, true});
            if (job->askDone) job->askDone(ui::PrintServerAnswer::Silent);
            g.lock();
        } else {
            StartRequest(std::move(*job));
        }
    }
    m_idle.notify_all();
}

void TracePrintSpooler::PrintToFile(Job& job, std::unique_lock<std::mutex>& g) {
    const PrintFunction print = m_print;
    const LookupFunction lookup = m_lookup;
    m_busy = true;
    g.unlock();
    Outcome out;
    try {
        out.Take(PrintJob(*job.page, print, lookup, out.trouble, out.replaced, out.unknown));
    } catch (...) {
        out.trouble = Told(kMsgPageNotPrinted, job.page->device->outputFile);
    }
    g.lock();
    m_busy = false;
    PageDone(out, *job.page, job.bytes, g);
}

void TracePrintSpooler::PageDone(const Outcome& out, const PrintedLogPage& page, size_t bytes,
                                 std::unique_lock<std::mutex>& g) {
    m_bytes -= std::min(m_bytes, bytes);
    if (!out.unknown) ++(out.ok ? m_printed : m_failed);
    // Which printer takes the pages of one that cannot be opened: told once,
    // until a page finds the chosen one again.
    if (!out.replaced.empty() && out.ok && out.replaced != m_replacedTold) {
        m_replacedTold = out.replaced;
        const std::string text = Told(kMsgPrinterReplaced, out.replaced, out.printer);
        Log(page, text, g);
        Tell(text, g);
    } else if (out.replaced.empty() && !page.printerName.empty()) {
        m_replacedTold.clear();
    }
    if (!out.trouble.empty()) {
        Log(page, out.trouble, g);
        Tell(out.trouble, g, 1);
    }
    // A stopped printer is told once, until a page finds it going again.
    if (!out.stopped) {
        if (out.ok && out.printer == m_stoppedTold) m_stoppedTold.clear();
    } else if (out.printer != m_stoppedTold) {
        m_stoppedTold = out.printer;
        const std::string text = out.stopReason.empty() ? Told(kMsgPrinterStopped, out.printer)
                                                        : Told(kMsgPrinterStoppedWhy, out.printer, out.stopReason);
        Log(page, text, g);
        Tell(text, g);
    }
}

void TracePrintSpooler::StartRequest(Job job) {
    auto r = std::make_unique<Request>();
    r->deadline = Clock::now() + std::chrono::milliseconds(m_waitMs);
    // The thread has copies of all it uses: it may outlive the spooler.
    std::shared_ptr<Shared> shared = m_s;
    std::shared_ptr<Outcome> out = r->outcome;
    std::shared_ptr<bool> done = r->done;
    std::function<void()> work;
    if (job.kind == Job::Page) {
        job.page->gate = r->gate;
        work = [out, page = *job.page, print = m_print, lookup = m_lookup]() mutable {
            try {
                out->Take(PrintJob(page, print, lookup, out->trouble, out->replaced, out->unknown));
            } catch (const PrintServerSilent&) {
                out->silent = true;
            } catch (...) {
                const std::string name = page.printerName.empty() && page.device ? page.device->deviceName
                                                                                 : page.printerName;
                out->trouble = Told(kMsgPageNotPrinted, name);
            }
        };
    } else if (job.kind == Job::Lookup) {
        work = [out, name = job.name, lookup = m_lookup] {
            try {
                if (!name.empty()) out->lookup.chosen = lookup(name);
                out->lookup.systemDefault = lookup(std::string());
            } catch (const PrintServerSilent&) {
                out->lookup.silent = true;
            } catch (...) {
                out->lookup.failed = true;
            }
        };
    } else {
        work = [out, wait = std::max(1, m_waitMs / 2)] {
            try {
                out->answer = ui::Service().AskPrintServer(std::min(wait, kPrintServerWaitMs));
            } catch (...) {
                out->answer = ui::PrintServerAnswer::Silent;
            }
        };
    }
    r->job = std::move(job);
    ++g_requestsRunning;
    r->thread = std::thread([shared, done, work = std::move(work)] {
        work();
        --g_requestsRunning;
        std::lock_guard<std::mutex> g(shared->lock);
        *done = true;
        shared->wake.notify_all();
    });
    m_request = std::move(r);
}

void TracePrintSpooler::StartWaiting(Clock::time_point now, std::unique_lock<std::mutex>& g) {
    m_waiting = true;
    m_retryAt = now + std::chrono::milliseconds(m_retryMs);
    if (m_toldWaiting) return;
    m_toldWaiting = true;
    Tell(kMsgPagesWait, g);
}

void TracePrintSpooler::RequestOverdue(std::unique_lock<std::mutex>& g) {
    Request& r = *m_request;
    r.overdue = true;
    if (r.job.kind == Job::Page) {
        StartWaiting(Clock::now(), g);
        return;
    }
    // Answered for now; the request's own answer, when it comes, only tells
    // whether the print system is back.
    auto lookupDone = std::move(r.job.lookupDone);
    auto askDone = std::move(r.job.askDone);
    g.unlock();
    if (lookupDone) lookupDone(PrinterLookup{{}, {}, false, true});
    if (askDone) askDone(ui::PrintServerAnswer::Silent);
    g.lock();
}

void TracePrintSpooler::RequestDone(std::unique_lock<std::mutex>& g) {
    std::unique_ptr<Request> r = std::move(m_request);
    g.unlock();
    r->thread.join();  // it has finished
    g.lock();
    const Outcome& out = *r->outcome;
    const Clock::time_point now = Clock::now();
    Job& job = r->job;
    if (job.kind == Job::Page) {
        if (out.silent) {
            // Kept, first of the pages for printers; tried again later, after
            // asking whether the server holds it if it was sent (a lookup that
            // timed out sent nothing).
            job.page->mayBeHeld = job.page->mayBeHeld || r->gate->Sent();
            m_queue.push_front(std::move(job));
            StartWaiting(now, g);
            return;
        }
        if (out.ok) m_waiting = m_toldWaiting = false;  // the print system is back
        PageDone(out, *job.page, job.bytes, g);
        return;
    }
    const bool answered = job.kind == Job::Lookup ? !out.lookup.silent : out.answer != ui::PrintServerAnswer::Silent;
    if (answered && m_waiting) m_retryAt = now;  // kept pages go now
    if (r->overdue) return;
    g.unlock();
    if (job.lookupDone) job.lookupDone(out.lookup);
    if (job.askDone) job.askDone(out.answer);
    g.lock();
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
