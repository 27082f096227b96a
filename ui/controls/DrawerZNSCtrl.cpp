#include "ui/controls/DrawerZNSCtrl.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cstdlib>
#include <new>

#include "link/Picker.h"
#include "records/SharedRecords.h"
#include "platform/ui/GuiThread.h"
#include "platform/ui/UiService.h"
#include "platform/ui/UiText.h"

namespace {

constexpr unsigned kWsVisible = 0x10000000;
constexpr int kEdge = 3;  // static edge (1) + client edge (2)

}  // namespace

// Depth labels drawn with Qt fonts straight into the image's pixels.
class CDrawerZNSCtrl::LabelPainter : public zns::ITraceLabelRenderer {
public:
    LabelPainter() : m_big(MakeFont(14, 7)), m_stock(MakeFont(13, 0)) {}

    bool MeasureText(const std::string& text, bool big, int& width, int& height) override {
        const QFontMetrics fm(big ? m_big : m_stock);
        width = fm.horizontalAdvance(zns::ui::ToQ(text));
        height = fm.height();
        return width > 0 && height > 0;
    }

    bool DrawText(uint32_t* pixels, int width, int rows, int xCentre, int yTop, const std::string& text, bool big,
                  uint32_t colour, uint32_t background) override {
        QImage img(reinterpret_cast<uchar*>(pixels), width, rows, width * 4, QImage::Format_RGB32);
        QPainter p(&img);
        if (!p.isActive()) return false;
        p.setFont(big ? m_big : m_stock);
        const QFontMetrics fm = p.fontMetrics();
        const QString q = zns::ui::ToQ(text);
        const QRect box(xCentre - fm.horizontalAdvance(q) / 2, yTop, fm.horizontalAdvance(q), fm.height());
        p.fillRect(box, QColor::fromRgb(background));
        p.setPen(QColor::fromRgb(colour));
        p.drawText(box.left(), yTop + fm.ascent(), q);
        return true;
    }

private:
    // A fixed-pitch face whose cell is at most `cellHeight` pixels high and,
    // when asked, `charWidth` pixels wide; no smoothing, as a raster font.
    static QFont MakeFont(int cellHeight, int charWidth) {
        QFont f(QStringLiteral("Courier New"));
        f.setStyleHint(QFont::TypeWriter);
        f.setFixedPitch(true);
        f.setStyleStrategy(QFont::NoAntialias);
        int px = cellHeight;
        f.setPixelSize(px);
        while (px > 6 && QFontMetrics(f).height() > cellHeight) f.setPixelSize(--px);
        if (charWidth > 0) {
            const int adv = QFontMetrics(f).horizontalAdvance(QLatin1Char('0'));
            if (adv > 0 && adv != charWidth) f.setStretch(std::clamp(100 * charWidth / adv, 50, 200));
        }
        return f;
    }

    QFont m_big;
    QFont m_stock;
};

CDrawerZNSCtrl::CDrawerZNSCtrl(SharedData& shared, QWidget* parent) : CWnd(parent), m_shared(shared) {
    // Nothing is erased before a paint: every pixel of the client is drawn.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

CDrawerZNSCtrl::~CDrawerZNSCtrl() = default;

BOOL CDrawerZNSCtrl::Create(unsigned style, const QRect& rect, QWidget* parent, unsigned id) {
    m_style = style;
    m_id = id;
    if (parent && parentWidget() != parent) setParent(parent);
    setGeometry(rect);
    if (!m_core) CreateImage();
    BuildPalettes();
    m_core->ResetCounters();
    m_autoPrint = false;
    m_pageNumber = 0;
    if (m_nTimerId) KillTimer(m_nTimerId);
    m_nTimerId = 0;
    if (style & kWsVisible) show();
    update();
    return TRUE;
}

void CDrawerZNSCtrl::CreateImage() {
    if (m_core) return;
    try {
        m_core = std::make_unique<zns::TraceImageCore>();
        m_labels = std::make_unique<LabelPainter>();
    } catch (const std::bad_alloc&) {
        zns::ui::AfxMessageBox("Error : Could not create DIB", MB_ICONHAND);
        std::exit(-1);
    }
    m_core->SetLabelRenderer(m_labels.get());
    m_core->SetPicker(&PickFirstArrival);
    m_core->SetPageRowHook([this] { OnPageRow(); });
    m_core->SetBtnFace(palette().color(QPalette::Button).rgb());
    m_core->ClearImage();
}

void CDrawerZNSCtrl::BuildPalettes() {
    if (!zns::ui::IsGuiThread()) {
        zns::ui::PostToGui(this, [this] { BuildPalettes(); });
        return;
    }
    if (!m_core) return;
    const SessionState s = m_shared.SnapshotSession();
    m_core->BuildPalettes(s.FA_LeftColor, s.FA_RightColor);
}

void CDrawerZNSCtrl::ClearImage() {
    m_feed.PushClear();
    if (zns::ui::IsGuiThread()) {
        DrawPending();
        update();
    } else {
        RequestRepaint();
    }
}

void CDrawerZNSCtrl::AddRecord(const short* rx1, const short* rx2, const short* rx3, uint16_t countRx1,
                               uint16_t countRx2, uint16_t countRx3, double depthM, int scale, int mode, int codeRx1,
                               int codeRx2, int codeRx3, int interval, int leftView, int rightView) {
    // A trace-length code above 3 drops the record without a repaint.
    for (int code : {codeRx1, codeRx2, codeRx3})
        if (code < 0 || code > 3) return;
    zns::TraceRecord rec;
    rec.rx[0] = rx1;
    rec.rx[1] = rx2;
    rec.rx[2] = rx3;
    rec.count[0] = countRx1;
    rec.count[1] = countRx2;
    rec.count[2] = countRx3;
    rec.depthM = depthM;
    rec.scale = scale;
    rec.mode = mode;
    rec.code[0] = codeRx1;
    rec.code[1] = codeRx2;
    rec.code[2] = codeRx3;
    rec.interval = interval;
    rec.leftView = leftView;
    rec.rightView = rightView;
    m_feed.Push(rec);
    RequestRepaint();
}

void CDrawerZNSCtrl::RequestRepaint() {
    if (zns::ui::IsGuiThread()) {
        RequestRepaintOnGui();
        return;
    }
    // One post at a time; the GUI side coalesces further requests on timer 404.
    if (!m_repaintPosted.exchange(true)) {
        zns::ui::PostToGui(this, [this] {
            m_repaintPosted = false;
            RequestRepaintOnGui();
        });
    }
}

int CDrawerZNSCtrl::RepaintDelayMs() const {
    if (m_shared.SnapshotSession().ReplayLoaded) return 100;
    const int refresh = m_refreshTimeMs;
    const int height = ClientRect().height();
    if (height > refresh) return static_cast<int>(1.1 * height);
    return refresh;
}

void CDrawerZNSCtrl::RequestRepaintOnGui() {
    if (m_nTimerId != 0) return;
    const int delay = std::max(1, RepaintDelayMs());
    m_nTimerId = SetTimer(kRepaintTimerId, static_cast<unsigned>(delay));
}

void CDrawerZNSCtrl::OnTimer(unsigned id) {
    if (id != kRepaintTimerId || m_nTimerId != id) {
        CWnd::OnTimer(id);
        return;
    }
    KillTimer(id);
    m_nTimerId = 0;
    DrawPending();
    update();
}

void CDrawerZNSCtrl::DrawPending() {
    if (!m_core) return;
    m_feed.Take(m_taken);
    if (m_taken.empty()) return;

    zns::TraceRowSettings rs;
    {
        const AcquisitionSettings s = m_shared.SnapshotSettings();
        const SessionState ss = m_shared.SnapshotSession();
        for (int i = 0; i < 3; ++i)
            rs.fa[i] = {s.FA[i].Threshold, s.FA[i].StartWindow, s.FA[i].EndWindow, s.FA[i].Use};
        rs.palette = ss.BlackAndWhite;
    }
    for (int i = 0; i < 3; ++i) rs.displayGain[i] = m_shared.g_nDisplayGainRx[i].load();

    m_drawing = true;
    for (auto& item : m_taken) {
        if (item.clear)
            m_core->ClearImage();
        else
            m_core->AddRecord(item.rec, rs);
    }
    m_drawing = false;
    m_taken.clear();
}

// ---------------------------------------------------------------------------
// Printing

void CDrawerZNSCtrl::OnPageRow() {
    if (!m_autoPrint || m_core->PageRowCounter() <= zns::kPrintAutoPageRows) return;
    ++m_pageNumber;
    PrintPage(false);
    m_core->ResetPageRowCounter();
}

void CDrawerZNSCtrl::PrintPage(bool partial) {
    if (!zns::ui::IsGuiThread()) {
        zns::ui::PostToGui(this, [this, partial] { PrintPage(partial); });
        return;
    }
    if (!m_core) return;
    // Records already received belong on the page (the image is drawn on the timer).
    if (!m_drawing) DrawPending();

    // The application's printer; a named one is looked up by the spooler,
    // since the print system may take a minute to answer.
    zns::CPrinterSettings printer;
    if (m_printCtx.appPrinter) printer.GetDefaultPrinter(*m_printCtx.appPrinter);
    const std::string used = m_printCtx.printerUsed ? m_printCtx.printerUsed() : std::string();

    const int top = m_core->WindowTopRow();
    int first = top;
    int rows = zns::kTracePageRows;
    int height = zns::kPrintImageHeight;
    if (partial) {
        rows = std::clamp(m_core->PageRowCounter() + zns::kPrintPartialExtraRows, 0, zns::kTracePageRows);
        height = zns::PartialPageHeight(rows);
        // Logging down the newest rows are at the bottom of the window.
        if (m_core->IsDown()) first = top + zns::kTracePageRows - rows;
    }

    zns::PrintedLogTexts texts;
    if (m_printCtx.logName) texts.logName = m_printCtx.logName();
    if (m_printCtx.fileName) texts.fileName = m_printCtx.fileName();
    texts.now = (m_printCtx.clock ? *m_printCtx.clock : zns::DefaultClock()).NowLocal();

    zns::PrintedLogPage page = zns::MakePrintedLogPage(ImageView(), first, rows, height, m_pageNumber, texts);
    page.device = printer.Device();
    if (zns::IsPdfPrinterName(used)) {
        page.device = zns::PrinterDevice{};
        page.device->outputFile = used;
    } else {
        page.printerName = used;
    }
    m_spooler->Submit(std::move(page));
}

void CDrawerZNSCtrl::LookUpPrinters(const std::string& name, std::function<void(const zns::PrinterLookup&)> done) {
    m_spooler->LookUp(name, [this, done = std::move(done)](const zns::PrinterLookup& answer) {
        zns::ui::PostToGui(this, [done, answer] { done(answer); });
    });
}

void CDrawerZNSCtrl::AskPrintServer(std::function<void(zns::ui::PrintServerAnswer)> done) {
    m_spooler->AskServer([this, done = std::move(done)](zns::ui::PrintServerAnswer answer) {
        zns::ui::PostToGui(this, [done, answer] { done(answer); });
    });
}

bool CDrawerZNSCtrl::TogglePrinting(bool final) {
    // Rows received so far are drawn first: they count for the pages.
    if (!m_drawing) DrawPending();
    if (m_autoPrint) {
        ++m_pageNumber;
        m_autoPrint = false;
        if (final) PrintPage(true);
        return false;
    }
    if (final) return false;
    if (m_core) m_core->ResetPageRowCounter();
    m_pageNumber = 0;
    m_autoPrint = true;
    return true;
}

QImage CDrawerZNSCtrl::ImageView() const {
    if (!m_core) return {};
    return QImage(reinterpret_cast<const uchar*>(m_core->Pixels()), zns::kTraceImageWidth, zns::kTraceImageRows,
                  zns::kTraceImageWidth * 4, QImage::Format_RGB32);
}

QRect CDrawerZNSCtrl::ClientRect() const {
    return rect().adjusted(kEdge, kEdge, -kEdge, -kEdge);
}

void CDrawerZNSCtrl::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    OnPaint(dc);
}

void CDrawerZNSCtrl::OnPaint(QPainter& dc) {
    // Static edge outside, sunken client edge inside.
    const QRect outer = rect();
    dc.setPen(palette().color(QPalette::Mid));
    dc.drawLine(outer.topLeft(), outer.topRight());
    dc.drawLine(outer.topLeft(), outer.bottomLeft());
    dc.setPen(palette().color(QPalette::Light));
    dc.drawLine(outer.bottomLeft(), outer.bottomRight());
    dc.drawLine(outer.topRight(), outer.bottomRight());
    const QRect mid = outer.adjusted(1, 1, -1, -1);
    dc.setPen(palette().color(QPalette::Dark));
    dc.drawLine(mid.topLeft(), mid.topRight());
    dc.drawLine(mid.topLeft(), mid.bottomLeft());
    dc.setPen(palette().color(QPalette::Midlight));
    dc.drawLine(mid.bottomLeft(), mid.bottomRight());
    dc.drawLine(mid.topRight(), mid.bottomRight());
    const QRect inner = mid.adjusted(1, 1, -1, -1);
    dc.setPen(palette().color(QPalette::Shadow));
    dc.drawLine(inner.topLeft(), inner.topRight());
    dc.drawLine(inner.topLeft(), inner.bottomLeft());
    dc.setPen(palette().color(QPalette::Button));
    dc.drawLine(inner.bottomLeft(), inner.bottomRight());
    dc.drawLine(inner.topRight(), inner.bottomRight());

    const QRect client = ClientRect();
    if (client.isEmpty()) return;
    dc.setClipRect(client);
    const QColor background = QColor::fromRgb(zns::kTraceTrackBackground);
    if (!m_core) {
        dc.fillRect(client, background);
        return;
    }

    const int H = client.height();
    const int W = client.width();
    const int half = std::max(0, (W - zns::kTraceColumnWidth) / 2);
    const int srcTop = m_core->SourceTopRow(H);
    // Rows are never scaled; rows beyond the image (a client taller than it) stay plain.
    const int r0 = std::max(0, srcTop);
    const int r1 = std::min(zns::kTraceImageRows, srcTop + H);
    const int dy = r0 - srcTop;
    const int n = std::max(0, r1 - r0);

    if (dy > 0) dc.fillRect(QRect(client.left(), client.top(), W, dy), background);
    if (dy + n < H) dc.fillRect(QRect(client.left(), client.top() + dy + n, W, H - dy - n), background);
    const int used = 2 * half + zns::kTraceColumnWidth;
    if (used < W) dc.fillRect(QRect(client.left() + used, client.top(), W - used, H), background);

    if (n > 0) {
        const QImage img = ImageView();
        const int x = client.left(), y = client.top() + dy;
        if (half > 0) dc.drawImage(QRect(x, y, half, n), img, QRect(0, r0, zns::kTraceTrackWidth, n));
        dc.drawImage(QRect(x + half, y, zns::kTraceColumnWidth, n), img,
                     QRect(zns::kTraceColumnX, r0, zns::kTraceColumnWidth, n));
        if (half > 0)
            dc.drawImage(QRect(x + half + zns::kTraceColumnWidth, y, half, n), img,
                         QRect(zns::kTraceRightX, r0, zns::kTraceTrackWidth, n));
    }
}
