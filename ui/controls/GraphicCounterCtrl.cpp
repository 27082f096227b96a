#include "ui/controls/GraphicCounterCtrl.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <cstring>
#include <exception>

#include "link/Picker.h"
#include "platform/NumText.h"
#include "platform/ui/Draw.h"
#include "platform/ui/UiText.h"
#include "ui/controls/CounterCore.h"
#include "ui/controls/TextAlign.h"

CGraphicCounterCtrl::CGraphicCounterCtrl(QWidget* parent) : CWnd(parent) {
    // Numbers are formatted in the "C" locale by zns::Format; the global locale
    // is set once at start-up and never touched here (workers format at any time).
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CGraphicCounterCtrl::~CGraphicCounterCtrl() = default;

BOOL CGraphicCounterCtrl::Create(unsigned style, const QRect& rect, QWidget* parent, unsigned id) {
    if (parent && parent != parentWidget()) setParent(parent);
    if (auto* owner = dynamic_cast<CWndBase*>(parent); owner && id != 0) owner->SetDlgItem(static_cast<int>(id), this);
    setGeometry(rect);
    show();
    m_visible.store(isVisible());
    Draw();
    return TRUE;
}

void CGraphicCounterCtrl::SetBackColor(uint32_t color) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_backColor = color;
}

void CGraphicCounterCtrl::SetTextColor(uint32_t color) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_textColor = color;
}

void CGraphicCounterCtrl::SetTextColor2(uint32_t color) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_textColor2 = color;
}

void CGraphicCounterCtrl::SetTextColor3(uint32_t color) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_textColor3 = color;
}

void CGraphicCounterCtrl::SetSizeMode(int mode) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_sizeMode = mode;
}

void CGraphicCounterCtrl::SetFontScale(int mode) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_fontScale = zns::CounterFontScale(mode);
}

void CGraphicCounterCtrl::StoreText(std::string text) {
    if (text.size() > static_cast<size_t>(zns::kCounterTextMax)) text.resize(zns::kCounterTextMax);
    std::lock_guard<std::mutex> g(m_mutex);
    m_text = std::move(text);
}

void CGraphicCounterCtrl::WriteCounterDataInt(int value) {
    try {
        if (!m_visible.load()) return;
        StoreText(zns::Format("%d", value));
        RequestRedraw();
    } catch (const std::exception& e) {
        TraceException("CGraphicCounterCtrl::WriteCounterDataInt", "GraphicCounterCtrl", 285);
        LogException("CGraphicCounterCtrl :: L283", e);
    }
}

void CGraphicCounterCtrl::WriteCounterDataDouble(double value, const char* format) {
    try {
        if (!m_visible.load()) return;
        StoreText(zns::FormatCounterValue(value, format));
        RequestRedraw();
    } catch (const std::exception& e) {
        TraceException("CGraphicCounterCtrl::WriteCounterDataDouble", "GraphicCounterCtrl", 328);
        LogException("CGraphicCounterCtrl :: L324", e);
    }
}

void CGraphicCounterCtrl::WriteCounterDataCString(const char* text) {
    try {
        if (!m_visible.load()) return;
        StoreText(text ? std::string(text, ::strnlen(text, zns::kCounterTextMax)) : std::string());
        RequestRedraw();
    } catch (const std::exception& e) {
        TraceException("CGraphicCounterCtrl::WriteCounterDataCString", "GraphicCounterCtrl", 346);
        LogException("CGraphicCounterCtrl :: L342", e);
    }
}

void CGraphicCounterCtrl::RequestRedraw() {
    if (!m_refreshPending.exchange(true) && SetTimer(kRefreshTimerId, m_refreshPeriod.load()) == 0)
        m_refreshPending.store(false);
}

void CGraphicCounterCtrl::StartRefresh() {
    if (!m_refreshPending.exchange(true) && SetTimer(kRefreshTimerId, kStartRefreshMs) == 0)
        m_refreshPending.store(false);
}

void CGraphicCounterCtrl::StartBlink(int speed) {
    if (m_nBlinkTimer) {
        KillTimer(kBlinkTimerId);
        m_nBlinkTimer = 0;
    }
    m_blinkOn.store(true);
    m_blinkPeriod.store(zns::BlinkPeriodMs(speed));
    m_nBlinkTimer = SetTimer(kBlinkTimerId, m_blinkPeriod.load());
}

void CGraphicCounterCtrl::StopBlink() {
    KillTimer(kBlinkTimerId);
    m_nBlinkTimer = 0;
    m_blinkOn.store(false);
}

void CGraphicCounterCtrl::OnTimer(unsigned id) {
    if (id == kRefreshTimerId) {
        KillTimer(kRefreshTimerId);
        m_refreshPending.store(false);
        Draw();
    } else if (id == kBlinkTimerId) {
        KillTimer(kBlinkTimerId);
        m_nBlinkTimer = 0;
        if (m_blinkOn.load()) {
            m_blinkPhase.store(!m_blinkPhase.load());
            Draw();
            m_nBlinkTimer = SetTimer(kBlinkTimerId, m_blinkPeriod.load());
        }
    }
}

void CGraphicCounterCtrl::OnSize(unsigned type, int cx, int cy) {
    if (cx == 0 && cy == 0) return;
    if (m_bitmap.isNull()) return;
    // Until the next drawing the new surface shows the plain background.
    m_bitmap = zns::ui::MakeBitmap(cx, cy);
    m_bitmap.fill(zns::ui::FromColorRef(m_blinkPhase.load() ? TextColor3() : BackColor()));
}

void CGraphicCounterCtrl::resizeEvent(QResizeEvent* e) {
    CWnd::resizeEvent(e);
    OnSize(SIZE_RESTORED, e->size().width(), e->size().height());
}

void CGraphicCounterCtrl::showEvent(QShowEvent* e) {
    CWnd::showEvent(e);
    m_visible.store(isVisible());
}

void CGraphicCounterCtrl::hideEvent(QHideEvent* e) {
    CWnd::hideEvent(e);
    m_visible.store(false);
}

void CGraphicCounterCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_bitmap.isNull()) {
        p.fillRect(rect(), zns::ui::FromColorRef(BackColor()));
        return;
    }
    p.drawImage(0, 0, m_bitmap);
}

QFont CGraphicCounterCtrl::FontFor(int height, int width, int weight) {
    if (m_fontKey[0] == height && m_fontKey[1] == width && m_fontKey[2] == weight) return m_font;
    // Pixel size chosen so that the cell (ascent + descent) is `height`, then a
    // stretch that brings the average character to `width`.
    QFont f = zns::ui::MakeFont("Arial", std::max(height, 1), weight);
    const int cell = QFontMetrics(f).height();
    if (cell > 0 && cell != height) f.setPixelSize(std::max(1, height * height / cell));
    const int avg = QFontMetrics(f).averageCharWidth();
    if (avg > 0 && width > 0) f.setStretch(std::clamp(width * 100 / avg, 1, 4000));
    m_font = f;
    m_fontKey[0] = height;
    m_fontKey[1] = width;
    m_fontKey[2] = weight;
    return m_font;
}

void CGraphicCounterCtrl::Draw() {
    if (!isVisible() || window()->isMinimized()) return;
    const int W = width();
    const int H = height();
    if (W <= 0 || H <= 0) return;
    if (m_bitmap.isNull() || m_bitmap.width() != W || m_bitmap.height() != H) m_bitmap = zns::ui::MakeBitmap(W, H);

    std::string text;
    uint32_t back, fore;
    int sizeMode;
    double scale;
    {
        std::lock_guard<std::mutex> g(m_mutex);
        text = m_text;
        const bool phase = m_blinkPhase.load();
        back = phase ? m_textColor3 : m_backColor;
        fore = phase ? m_textColor2 : m_textColor;
        sizeMode = m_sizeMode;
        scale = m_fontScale;
    }

    const zns::CounterFont cf = zns::CounterFontFor(H, scale);
    const zns::CounterPlacement place =
        zns::PlaceCounterText(sizeMode, 0, W, static_cast<int>(text.size()), cf.width);
    if (place.sizeMode != sizeMode) {
        std::lock_guard<std::mutex> g(m_mutex);
        m_sizeMode = place.sizeMode;
    }
    m_lastLeft = !place.rightAligned;

    QPainter p(&m_bitmap);
    p.fillRect(0, 0, W, H, zns::ui::FromColorRef(back));
    p.setFont(FontFor(cf.height, cf.width, cf.weight));
    p.setPen(zns::ui::FromColorRef(fore));
    zns::ui::TextOutAligned(p, place.x, -cf.offset, zns::ui::ToQ(text),
                            place.rightAligned ? zns::ui::TA_RIGHT : zns::ui::TA_LEFT);
    p.end();
    update();
}

std::string CGraphicCounterCtrl::GetText() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_text;
}

int CGraphicCounterCtrl::SizeMode() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_sizeMode;
}

double CGraphicCounterCtrl::FontScale() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_fontScale;
}

uint32_t CGraphicCounterCtrl::TextColor() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_textColor;
}

uint32_t CGraphicCounterCtrl::TextColor3() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_textColor3;
}

uint32_t CGraphicCounterCtrl::BackColor() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_backColor;
}
