#pragma once
// CDrawerZNSCtrl: the scrolling variable-density trace image of the main
// window. The pixel work is in TraceImageCore; this window owns the image,
// takes records from any thread and shows one page of it.
//
// Threads: AddRecord and ClearImage may be called from the receive or player
// thread. They only copy the record into the control's own queue (a short
// lock, never a wait for drawing) and ask for timer 404. The GUI thread draws
// the queued rows into the image on that timer and paints from the image, so
// the image is touched by the GUI thread alone.
#include <QFont>
#include <QImage>
#include <QRect>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/ui/Wnd.h"
#include "ui/controls/TraceImageCore.h"
#include "ui/controls/TracePrint.h"

struct SharedData;
class QPainter;

class CDrawerZNSCtrl : public CWnd {
    Q_OBJECT
public:
    static constexpr unsigned kRepaintTimerId = 404;

    explicit CDrawerZNSCtrl(SharedData& shared, QWidget* parent = nullptr);
    ~CDrawerZNSCtrl() override;

    // Places the control over `rect` of `parent`, builds the palettes and the
    // image, clears the counters. `style` and `id` are kept for the caller.
    virtual BOOL Create(unsigned style, const QRect& rect, QWidget* parent, unsigned id);

    // Palettes and the first-arrival colours of SessionState (GUI thread).
    void BuildPalettes();
    // The 812 x 3540 image; "Error : Could not create DIB" and exit -1 when it cannot be made.
    void CreateImage();
    // Any thread.
    void ClearImage();
    // One waveform record; any thread. Counts are samples per receiver.
    void AddRecord(const short* rx1, const short* rx2, const short* rx3, uint16_t countRx1, uint16_t countRx2,
                   uint16_t countRx3, double depthM, int scale, int mode, int codeRx1, int codeRx2, int codeRx3,
                   int interval, int leftView, int rightView);
    // Starts timer 404 unless a repaint is pending; any thread.
    void RequestRepaint();

    void OnTimer(unsigned id) override;
    void OnPaint(QPainter& dc);
    BOOL OnEraseBkgnd() { return FALSE; }

    // g_nRefreshTime: the repaint delay in milliseconds (the settings keep it at 50 or more).
    void SetRefreshTime(int ms) { m_refreshTimeMs = ms; }
    int RefreshTime() const { return m_refreshTimeMs; }

    // Draws every queued record into the image now (GUI thread). Timer 404 does
    // this; printing and tests call it before reading the image.
    void DrawPending();

    // The image as a read-only QImage over the control's pixels (GUI thread;
    // valid until the next draw). Null before CreateImage.
    QImage ImageView() const;
    const zns::TraceImageCore* Core() const { return m_core.get(); }
    int WindowTopRow() const { return m_core ? m_core->WindowTopRow() : zns::kTraceGuardRows; }
    // Delay of the next repaint timer (ms), as RequestRepaint would choose it.
    int RepaintDelayMs() const;
    unsigned PendingTimerId() const { return m_nTimerId; }
    uint64_t DroppedRecords() const { return m_feed.Dropped(); }
    QRect ClientRect() const;

    // ---- printing (GUI thread) ---------------------------------------------
    // Where printed pages take their printer and texts from; the main window sets it.
    struct PrintContext {
        zns::CAppPrinter* appPrinter = nullptr;    // the application's printer (null: the system default)
        std::function<std::string()> printerUsed;  // m_strPrinterUsed; empty: the application's printer,
                                                   // a path: that PDF file
        std::function<std::string()> logName;      // LogName of the log header (page header)
        std::function<std::string()> fileName;     // the data file's name (footer)
        const zns::IClock* clock = nullptr;        // footer date (null: the real clock)
    };
    void SetPrintContext(PrintContext ctx) { m_printCtx = std::move(ctx); }
    // Prints one page: the shown window, or with `partial` the rows drawn since
    // the last page and the 50 rows before them. The page is taken at once and
    // printed by the spooler's thread; this never waits for the printer.
    void PrintPage(bool partial);
    // Auto print on (not `final`: page count from 0) or off (page number + 1
    // and, with `final`, the last partial page). Returns the auto-print flag.
    bool TogglePrinting(bool final);
    bool AutoPrint() const { return m_autoPrint; }
    int PageNumber() const { return m_pageNumber; }
    zns::TracePrintSpooler& PrintSpooler() { return *m_spooler; }
    // Asks the print system about printer `name` ("": none) and its default
    // printer on the spooler's thread; `done` gets the answer on the GUI thread.
    void LookUpPrinters(const std::string& name, std::function<void(const zns::PrinterLookup&)> done);
    // Asks whether the print server answers, on the spooler's side; `done`
    // gets the answer (Silent when none came in time) on the GUI thread.
    void AskPrintServer(std::function<void(zns::ui::PrintServerAnswer)> done);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    class LabelPainter;

    void RequestRepaintOnGui();
    // After every drawn row: an automatic page past 1130 rows while auto print is on.
    void OnPageRow();

    SharedData& m_shared;
    std::unique_ptr<zns::TraceImageCore> m_core;
    std::unique_ptr<LabelPainter> m_labels;
    zns::TraceRecordFeed m_feed;
    std::vector<zns::TraceRecordFeed::Item> m_taken;  // GUI thread scratch
    std::atomic<bool> m_repaintPosted{false};
    std::atomic<int> m_refreshTimeMs{50};
    unsigned m_nTimerId = 0;  // 404 while a repaint is pending (GUI thread)
    unsigned m_style = 0;
    unsigned m_id = 0;

    PrintContext m_printCtx;
    bool m_autoPrint = false;
    int m_pageNumber = 0;
    bool m_drawing = false;  // inside DrawPending (pages are then taken as the rows come)
    // Last member: gone first, after finishing the pages still queued.
    std::unique_ptr<zns::TracePrintSpooler> m_spooler = std::make_unique<zns::TracePrintSpooler>();
};
