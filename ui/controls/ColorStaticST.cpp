#include "ui/controls/ColorStaticST.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QTimerEvent>

#include "platform/ui/Draw.h"
#include "ui/controls/CounterCore.h"

CColorStaticST::CColorStaticST(QWidget* parent) : CColorStaticST(QString(), parent) {}

CColorStaticST::CColorStaticST(const QString& text, QWidget* parent)
    : QLabel(text, parent),
      CWndBase(this),
      m_crTextColor(SysBtnTextColor()),
      m_crBlinkTextColors{m_crTextColor, m_crTextColor},
      m_crBkColor(SysBtnFaceColor()),
      m_crBlinkBkColors{m_crBkColor, m_crBkColor} {}

CColorStaticST::~CColorStaticST() { OnDestroy(); }

uint32_t CColorStaticST::SysBtnTextColor() {
    return zns::ui::ToColorRef(QApplication::palette().color(QPalette::Active, QPalette::ButtonText));
}

uint32_t CColorStaticST::SysBtnFaceColor() {
    return zns::ui::ToColorRef(QApplication::palette().color(QPalette::Active, QPalette::Button));
}

void CColorStaticST::SetTextColor(uint32_t color) {
    m_crTextColor = color == kDefaultColor ? SysBtnTextColor() : color;
    update();
}

void CColorStaticST::SetBkColor(uint32_t color) {
    m_crBkColor = color == kDefaultColor ? SysBtnFaceColor() : color;
    update();
}

void CColorStaticST::SetBlinkTextColors(uint32_t first, uint32_t second) {
    m_crBlinkTextColors[0] = first;
    m_crBlinkTextColors[1] = second;
}

void CColorStaticST::SetBlinkBkColors(uint32_t first, uint32_t second) {
    m_crBlinkBkColors[0] = first;
    m_crBlinkBkColors[1] = second;
    update();
}

void CColorStaticST::Restart(int& flag, int& phase, int on, int speed) {
    KillTimer(kBlinkTimerId);
    flag = on;
    phase = 0;
    if (on == 1) SetTimer(kBlinkTimerId, zns::BlinkPeriodMs(speed));
}

void CColorStaticST::StartTextBlink(int on, int speed) { Restart(m_nTextBlinkOn, m_nTextBlinkStep, on, speed); }

void CColorStaticST::StartBkBlink(int on, int speed) { Restart(m_nBkBlinkOn, m_nBkBlinkStep, on, speed); }

CColorStaticST::Colors CColorStaticST::CtlColor() const {
    Colors c;
    c.text = m_nTextBlinkOn ? m_crBlinkTextColors[m_nTextBlinkStep ? 1 : 0] : m_crTextColor;
    c.back = m_nBkBlinkOn ? m_crBlinkBkColors[m_nBkBlinkStep ? 1 : 0] : m_crBkColor;
    return c;
}

void CColorStaticST::OnTimer(unsigned id) {
    if (id != kBlinkTimerId) return;
    if (m_nTextBlinkOn) m_nTextBlinkStep = !m_nTextBlinkStep;
    if (m_nBkBlinkOn) m_nBkBlinkStep = !m_nBkBlinkStep;
    if (!m_nTextBlinkOn && !m_nBkBlinkOn) return;
    update();
}

void CColorStaticST::OnDestroy() { KillTimer(kBlinkTimerId); }

void CColorStaticST::timerEvent(QTimerEvent* e) {
    if (!DispatchTimerEvent(e)) QLabel::timerEvent(e);
}

void CColorStaticST::paintEvent(QPaintEvent*) {
    const Colors c = CtlColor();
    QPainter p(this);
    p.fillRect(rect(), zns::ui::FromColorRef(c.back));
    drawFrame(&p);
    p.setPen(zns::ui::FromColorRef(c.text));
    p.setFont(font());
    int flags = static_cast<int>(alignment());
    if (wordWrap()) flags |= Qt::TextWordWrap;
    p.drawText(contentsRect().adjusted(margin(), margin(), -margin(), -margin()), flags, text());
}
