#include "ui/controls/WaveCtrl.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <climits>
#include <cstring>

#include "link/Picker.h"
#include "records/SharedRecords.h"
#include "platform/NumText.h"
#include "platform/ui/Draw.h"
#include "platform/ui/UiText.h"
#include "ui/controls/TextAlign.h"
#include "ui/controls/WaveCore.h"

namespace {

std::mutex g_hookMutex;
std::function<void(CWaveCtrl&)> g_cursorDialog;
std::function<bool()> g_mainMinimized;

int PointsToPixels(int points, int dpi) { return (points * dpi + 36) / 72; }

// Lines far outside the plot are drawn at its edge (they stay invisible there)
// rather than handed to the painter at any magnitude.
int HoldNear(int v, int extent) { return std::clamp(v, -100, extent + 100); }

unsigned KeyFlags(const QMouseEvent* e) {
    unsigned f = 0;
    const Qt::MouseButtons b = e->buttons();
    if (b & Qt::LeftButton) f |= zns::MK_LBUTTON;
    if (b & Qt::RightButton) f |= zns::MK_RBUTTON;
    if (b & Qt::MiddleButton) f |= zns::MK_MBUTTON;
    if (e->modifiers() & Qt::ShiftModifier) f |= zns::MK_SHIFT;
    if (e->modifiers() & Qt::ControlModifier) f |= zns::MK_CONTROL;
    return f;
}

}  // namespace

CWaveCtrl::CWaveCtrl(SharedData& shared, QWidget* parent) : CWnd(parent), m_shared(shared) {
    RegisterWindowClass();
    setAttribute(Qt::WA_OpaquePaintEvent);  // the bitmap covers everything: no erase
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
    MakeFonts(72);
}

CWaveCtrl::~CWaveCtrl() = default;

BOOL CWaveCtrl::RegisterWindowClass() { return TRUE; }

BOOL CWaveCtrl::Create(unsigned style, const QRect& rect, QWidget* parent, unsigned id) {
    m_style = style;
    if (parent && parent != parentWidget()) setParent(parent);
    if (auto* owner = dynamic_cast<CWndBase*>(parent); owner && id != 0) owner->SetDlgItem(static_cast<int>(id), this);
    setGeometry(rect);
    show();
    DrawTrace();
    return TRUE;
}

void CWaveCtrl::SetCursorDialog(std::function<void(CWaveCtrl&)> run) {
    std::lock_guard<std::mutex> g(g_hookMutex);
    g_cursorDialog = std::move(run);
}

void CWaveCtrl::SetMainWindowMinimizedQuery(std::function<bool()> query) {
    std::lock_guard<std::mutex> g(g_hookMutex);
    g_mainMinimized = std::move(query);
}

void CWaveCtrl::MakeFonts(int dpiY) {
    if (dpiY <= 0) dpiY = 96;
    m_smallFont = zns::ui::MakeFont("Arial", -PointsToPixels(8, dpiY), 400);
    m_verticalFont = zns::ui::MakeFont("Arial", -PointsToPixels(7, dpiY), 400);
    // Small scope texts stay crisp, in their exact colours, over the black screen.
    m_smallFont.setStyleStrategy(QFont::NoAntialias);
    m_verticalFont.setStyleStrategy(QFont::NoAntialias);
}

void CWaveCtrl::SetWaveData(const short* samples, int count, int code, int threshold, int start, int end, int use,
                            int gain, bool redraw) {
    if (!samples || count < 0) count = 0;
    count = std::min(count, zns::kScopeMaxSamples);
    {
        std::lock_guard<std::mutex> g(m_dataMutex);
        m_state.gain = zns::ClampScopeGain(gain);
        m_state.count = count;
        m_state.code = code;
        if (count > 0) std::memcpy(m_state.samples.data(), samples, static_cast<size_t>(count) * sizeof(int16_t));
        m_state.start = start;
        m_state.end = end;
        m_state.level = static_cast<int>(std::clamp<long long>(static_cast<long long>(threshold) + 127, INT_MIN, INT_MAX));
        m_state.use = use;
    }
    m_captionFlag.store(0);
    if (redraw) StartRefreshTimer();
}

void CWaveCtrl::LoadChannelSettings() {
    const int rx = m_nChannel - RX1_ID;
    if (rx >= 0 && rx < 3) {
        const FirstArrivalSettings fa = m_shared.SnapshotSettings().FA[rx];
        std::lock_guard<std::mutex> g(m_dataMutex);
        m_state.level =
            static_cast<int>(std::clamp<long long>(static_cast<long long>(fa.Threshold) + 127, INT_MIN, INT_MAX));
        m_state.start = fa.StartWindow;
        m_state.end = fa.EndWindow;
        m_state.use = fa.Use;
    }
    StartRefreshTimer();
}

void CWaveCtrl::ClearTrace() {
    {
        std::lock_guard<std::mutex> g(m_dataMutex);
        m_state.samples.fill(0);
    }
    LoadChannelSettings();
}

void CWaveCtrl::StartRefreshTimer() {
    // One pending tick at a time; a timer the GUI could not start is not pending.
    if (!m_refreshPending.exchange(true) && SetTimer(kRefreshTimerId, kRefreshMs) == 0) m_refreshPending.store(false);
}

void CWaveCtrl::SetFlag(uint8_t flag) { m_captionFlag.store(flag); }

void CWaveCtrl::SetGain(int gain) {
    std::lock_guard<std::mutex> g(m_dataMutex);
    m_state.gain = zns::ClampScopeGain(gain);
}

void CWaveCtrl::SetTraceLengthCode(int code) {
    std::lock_guard<std::mutex> g(m_dataMutex);
    m_state.code = code;
}

int CWaveCtrl::Gain() const {
    std::lock_guard<std::mutex> g(m_dataMutex);
    return m_state.gain;
}
int CWaveCtrl::SampleCount() const {
    std::lock_guard<std::mutex> g(m_dataMutex);
    return m_state.count;
}
int CWaveCtrl::TraceLengthCode() const {
    std::lock_guard<std::mutex> g(m_dataMutex);
    return m_state.code;
}
int CWaveCtrl::ThresholdLevel() const {
    std::lock_guard<std::mutex> g(m_dataMutex);
    return m_state.level;
}
int CWaveCtrl::WindowStart() const {
    std::lock_guard<std::mutex> g(m_dataMutex);
    return m_state.start;
}
int CWaveCtrl::WindowEnd() const {
    std::lock_guard<std::mutex> g(m_dataMutex);
    return m_state.end;
}
int CWaveCtrl::UseFlag() const {
    std::lock_guard<std::mutex> g(m_dataMutex);
    return m_state.use;
}

void CWaveCtrl::EditCursor() {
    std::function<void(CWaveCtrl&)> run;
    {
        std::lock_guard<std::mutex> g(g_hookMutex);
        run = g_cursorDialog;
    }
    if (run) run(*this);
    LoadChannelSettings();
}

void CWaveCtrl::OnTimer(unsigned id) {
    if (id != kRefreshTimerId) return;
    KillTimer(kRefreshTimerId);
    // Cleared before the copy is taken: data stored after this asks for a new tick.
    m_refreshPending.store(false);
    DrawTrace();
}

void CWaveCtrl::OnSize(unsigned type, int cx, int cy) {
    if (cx == 0 && cy == 0) return;
    RecreateBitmaps();
}

void CWaveCtrl::RecreateBitmaps() {
    if (!m_bitmap.isNull()) m_bitmap = zns::ui::MakeBitmap(width(), height());
    DrawTrace();
}

long CWaveCtrl::NotifyOwner(unsigned flags, int x, int y, unsigned code) {
    IScopeNotifyOwner* owner = m_owner ? m_owner : dynamic_cast<IScopeNotifyOwner*>(parentWidget());
    if (!owner) return 0;
    ScopeNotify n;
    n.hdr.hwndFrom = this;
    n.hdr.idFrom = kControlId;
    n.hdr.code = code;
    n.channel = m_nChannel;
    n.flags = flags;
    n.x = x;
    n.y = y;
    return owner->OnScopeNotify(kControlId, n);
}

void CWaveCtrl::OnLButtonDown(unsigned flags, const QPoint& pt) {
    NotifyOwner(flags, pt.x(), pt.y(), kNotifyButtonDown);
}

void CWaveCtrl::OnLButtonUp(unsigned flags, const QPoint& pt) { NotifyOwner(flags, pt.x(), pt.y(), kNotifyButtonUp); }

void CWaveCtrl::OnMouseMove(unsigned flags, const QPoint& pt) {
    NotifyOwner(flags, pt.x(), pt.y(), kNotifyMouseMove);
}

void CWaveCtrl::OnLButtonDblClk(unsigned flags, const QPoint& pt) { EditCursor(); }

void CWaveCtrl::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) OnLButtonDown(KeyFlags(e), e->position().toPoint());
    CWnd::mousePressEvent(e);
}

void CWaveCtrl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) OnLButtonUp(KeyFlags(e), e->position().toPoint());
    CWnd::mouseReleaseEvent(e);
}

void CWaveCtrl::mouseMoveEvent(QMouseEvent* e) {
    OnMouseMove(KeyFlags(e), e->position().toPoint());
    CWnd::mouseMoveEvent(e);
}

void CWaveCtrl::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) OnLButtonDblClk(KeyFlags(e), e->position().toPoint());
    CWnd::mouseDoubleClickEvent(e);
}

void CWaveCtrl::resizeEvent(QResizeEvent* e) {
    CWnd::resizeEvent(e);
    OnSize(SIZE_RESTORED, e->size().width(), e->size().height());
}

void CWaveCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_bitmap.isNull()) {
        p.fillRect(rect(), zns::ui::FromColorRef(kBackColor));
        return;
    }
    p.drawImage(0, 0, m_bitmap);
}

void CWaveCtrl::DrawTrace() {
    using namespace zns::ui;
    {
        std::function<bool()> minimized;
        {
            std::lock_guard<std::mutex> g(g_hookMutex);
            minimized = g_mainMinimized;
        }
        if (minimized && minimized()) return;
    }
    const int W = width();
    const int H = height();
    if (W <= 0 || H <= 0) return;
    if (m_bitmap.isNull() || m_bitmap.width() != W || m_bitmap.height() != H) {
        m_bitmap = MakeBitmap(W, H);
        if (!m_fontsForDevice) {
            MakeFonts(logicalDpiY());
            m_fontsForDevice = true;
        }
    }

    State s;
    {
        std::lock_guard<std::mutex> g(m_dataMutex);
        s.gain = m_state.gain;
        s.count = m_state.count;
        s.code = m_state.code;
        s.start = m_state.start;
        s.end = m_state.end;
        s.level = m_state.level;
        s.use = m_state.use;
        std::memcpy(s.samples.data(), m_state.samples.data(), static_cast<size_t>(s.count) * sizeof(int16_t));
    }
    const uint8_t captions = m_captionFlag.load();

    QPainter p(&m_bitmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    const QColor back = FromColorRef(kBackColor);
    const QPen gridPen(FromColorRef(kGridColor), 0, Qt::SolidLine);
    const QPen tracePen(FromColorRef(kTraceColor), 0, Qt::SolidLine);
    const QPen pickPen(FromColorRef(kPickColor), 0, Qt::SolidLine);
    const QPen thresholdPen(FromColorRef(kThresholdColor), 0, Qt::DotLine);
    const QPen startPen(FromColorRef(kStartColor), 0, Qt::DotLine);
    const QPen stopPen(FromColorRef(kStopColor), 0, Qt::DotLine);
    const int top = 0;
    const int bottom = H;

    p.fillRect(0, 0, W, H, back);

    p.setPen(gridPen);
    for (int y : zns::ScopeHorizontalGrid(H)) p.drawLine(0, y, W - 1, y);

    p.setFont(m_smallFont);
    if (s.code == 0) {
        p.setPen(FromColorRef(kTextColor));
        TextOutAligned(p, 10, H / 2, "TRACE : OFF", TA_BOTTOM, &back);
    }

    // Time base.
    const std::vector<int> grid = zns::ScopeVerticalGrid(W, H, s.code);
    if (s.code >= 0 && s.code <= 3) {
        p.setPen(FromColorRef(kTextColor));
        TextOutAligned(p, zns::ScopeLabelX(W, 0), top, ToQ(zns::ScopeTimeLabel(s.code, 0)), TA_CENTER, &back);
        for (size_t i = 0; i < grid.size(); ++i) {
            p.setPen(gridPen);
            p.drawLine(grid[i], top + 8, grid[i], bottom - 1);
            p.setPen(FromColorRef(kTextColor));
            const int n = static_cast<int>(i) + 1;
            TextOutAligned(p, zns::ScopeLabelX(W, n), top, ToQ(zns::ScopeTimeLabel(s.code, n)), TA_CENTER, &back);
        }
    } else {
        p.setPen(gridPen);
        for (int x : grid) p.drawLine(x, top, x, bottom - 1);
    }

    int drawnPick = 0;
    if (s.use != 0 && s.code != 0) {
        const double ty = zns::ScopeThresholdY(H, s.gain, s.level);
        if (zns::ScopeThresholdVisible(ty, H)) {
            p.setPen(thresholdPen);
            const int y = static_cast<int>(ty);
            p.drawLine(0, y, W - 1, y);
        }

        p.setFont(m_verticalFont);
        const int xStart = HoldNear(zns::ScopeTimeX(W, s.start, s.code), W);
        p.setPen(startPen);
        p.drawLine(xStart, top, xStart, bottom - 1);
        p.setPen(FromColorRef(kStartColor));
        TextOutTurned(p, xStart, bottom - 1, "START", TA_BOTTOM);

        const int xStop = HoldNear(zns::ScopeTimeX(W, s.end, s.code), W);
        p.setPen(stopPen);
        p.drawLine(xStop, top, xStop, bottom - 1);
        p.setPen(FromColorRef(kStopColor));
        TextOutTurned(p, xStop + TextWidth(p, "STOP") + 2, bottom - 1, "STOP", TA_BOTTOM);

        const int t = PickFirstArrival(s.samples.data(), zns::ScopeSamplePeriodUs(s.code), s.count, s.start, s.end,
                                       s.level);
        if (zns::ScopePickDrawn(t)) {
            drawnPick = t;
            const int x = HoldNear(zns::ScopeTimeX(W, t, s.code), W);
            p.setPen(pickPen);
            p.drawLine(x, top, x, bottom - 1);
            p.setFont(m_smallFont);
            p.setPen(FromColorRef(kPickTextColor));
            TextOutAligned(p, x, bottom - 1, ToQ(zns::Format("%d\xB5s", t)), TA_BOTTOM | TA_CENTER, &back);
        }
    }
    m_lastPick = drawnPick;

    if (captions) {
        p.setFont(m_smallFont);
        p.setPen(FromColorRef(kCaption1Color));
        TextOutAligned(p, 1, top + 1, ToQ(m_strCaption1), TA_LEFT | TA_TOP);
        p.setPen(FromColorRef(kCaption2Color));
        TextOutAligned(p, 1, bottom - 1, ToQ(m_strCaption2), TA_BOTTOM);
        p.setPen(FromColorRef(kCaption3Color));
        TextOutAligned(p, 35, H / 2, ToQ(m_strCaption3), TA_BOTTOM);
    }

    if (s.code != 0 && s.count > 0) {
        p.setPen(tracePen);
        QPoint prev(zns::ScopeTraceX(W, s.count, 0), zns::ScopeTraceY(H, s.samples[0], s.gain));
        if (s.count == 1) p.drawPoint(prev);
        for (int i = 1; i < s.count; ++i) {
            const QPoint pt(zns::ScopeTraceX(W, s.count, i), zns::ScopeTraceY(H, s.samples[i], s.gain));
            p.drawLine(prev, pt);
            prev = pt;
        }
    }
    p.end();
    update();
}
