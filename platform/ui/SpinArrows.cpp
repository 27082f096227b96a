#include "platform/ui/SpinArrows.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QTimerEvent>
#include <algorithm>

#include "platform/ui/UiService.h"
#include "platform/WinUser.h"
#include "platform/ui/Wnd.h"

namespace {

CWndBase* FindOwner(QWidget* w) {
    for (; w; w = w->parentWidget())
        if (auto* base = dynamic_cast<CWndBase*>(w)) return base;
    return nullptr;
}

}  // namespace

CSpinArrows::CSpinArrows(int id, QWidget* parent, CWndBase* owner)
    : QWidget(parent), m_id(id), m_pos(id), m_min(id), m_max(id), m_owner(owner ? owner : FindOwner(parent)) {
    // A tab stop that also takes the focus on a click, as a scroll bar does: the
    // edit beside it is left, and its value taken, before the arrow steps it.
    zns::ui::PressTakesFocusByPolicy(this);
    if (m_owner) m_owner->SetDlgItem(id, this);
}

void CSpinArrows::SetScrollRange(int minPos, int maxPos) {
    m_min = minPos;
    m_max = std::max(minPos, maxPos);
    m_pos = std::clamp(m_pos, m_min, m_max);
}

QSize CSpinArrows::sizeHint() const {
    const int w = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return {w, 2 * w};
}

CSpinArrows::Part CSpinArrows::PartAt(const QPoint& p) const {
    if (PartRect(Part::Up).contains(p)) return Part::Up;
    if (PartRect(Part::Down).contains(p)) return Part::Down;
    return Part::None;
}

QRect CSpinArrows::PartRect(Part part) const {
    const int half = height() / 2;
    if (part == Part::Up) return {0, 0, width(), half};
    if (part == Part::Down) return {0, half, width(), height() - half};
    return {};
}

void CSpinArrows::Notify(unsigned code) {
    if (m_owner) m_owner->OnVScroll(code, static_cast<unsigned>(m_pos), this);
}

void CSpinArrows::Step(unsigned code) {
    const unsigned modals = zns::ui::ModalSessionCount();
    m_stepping = true;
    Notify(code);
    m_stepping = false;
    // A box or dialog of the handler took the mouse: the release went to it.
    if (m_cutShort || zns::ui::ModalSessionCount() != modals) {
        m_cutShort = false;
        EndPress();
    }
}

void CSpinArrows::CutShort() {
    if (m_pressed == Part::None && !m_keyHeld) return;
    m_repeat.stop();
    if (m_stepping)
        m_cutShort = true;
    else
        EndPress();
}

void CSpinArrows::EndPress() {
    m_repeat.stop();
    const bool wasPressed = m_pressed != Part::None || m_keyHeld;
    m_pressed = Part::None;
    m_keyHeld = false;
    update();
    if (wasPressed) Notify(SB_ENDSCROLL);
}

void CSpinArrows::paintEvent(QPaintEvent*) {
    QPainter p(this);
    for (Part part : {Part::Up, Part::Down}) {
        QStyleOption opt;
        opt.initFrom(this);
        opt.rect = PartRect(part);
        if (m_pressed == part && m_hover) opt.state |= QStyle::State_Sunken;
        else opt.state |= QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &opt, &p, this);
        opt.rect = opt.rect.adjusted(2, 2, -2, -2);
        style()->drawPrimitive(part == Part::Up ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown,
                               &opt, &p, this);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(1, 1, -1, -1);
        focus.state |= QStyle::State_KeyboardFocusChange;  // shown after a click too
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

void CSpinArrows::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || m_pressed != Part::None) {
        QWidget::mousePressEvent(e);
        return;
    }
    const Part part = PartAt(e->position().toPoint());
    if (part == Part::None) return;
    m_pressed = part;
    m_hover = true;
    // Known to the application when it came from the window system.
    m_trackButtons = (QGuiApplication::mouseButtons() & Qt::LeftButton) != 0;
    update();
    m_repeat.start(kFirstRepeatMs, this);
    Step(part == Part::Up ? SB_LINEUP : SB_LINEDOWN);
}

void CSpinArrows::mouseMoveEvent(QMouseEvent* e) {
    if (m_pressed == Part::None) return;
    if (!(e->buttons() & Qt::LeftButton)) {
        CutShort();  // the release went elsewhere
        return;
    }
    const bool hover = PartAt(e->position().toPoint()) == m_pressed;
    if (hover != m_hover) {
        m_hover = hover;
        update();
    }
}

void CSpinArrows::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && m_pressed != Part::None) CutShort();
}

void CSpinArrows::keyPressEvent(QKeyEvent* e) {
    if (e->key() != Qt::Key_Up && e->key() != Qt::Key_Down) {
        QWidget::keyPressEvent(e);
        return;
    }
    if (m_pressed != Part::None) return;
    m_keyHeld = true;
    Step(e->key() == Qt::Key_Up ? SB_LINEUP : SB_LINEDOWN);  // auto-repeat keys come again
}

void CSpinArrows::keyReleaseEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) && !e->isAutoRepeat() && m_keyHeld) {
        CutShort();
        return;
    }
    QWidget::keyReleaseEvent(e);
}

void CSpinArrows::timerEvent(QTimerEvent* e) {
    if (e->timerId() != m_repeat.timerId()) {
        QWidget::timerEvent(e);
        return;
    }
    if (m_pressed == Part::None) {
        m_repeat.stop();
        return;
    }
    if (m_trackButtons && !(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
        CutShort();  // the button is up: its release went elsewhere
        return;
    }
    m_repeat.start(kRepeatMs, this);
    if (m_hover) Step(m_pressed == Part::Up ? SB_LINEUP : SB_LINEDOWN);
}

void CSpinArrows::changeEvent(QEvent* e) {
    // Disabled or hidden in the middle of a press: the owner still gets its end.
    if (e->type() == QEvent::EnabledChange && !isEnabled()) CutShort();
    QWidget::changeEvent(e);
}

bool CSpinArrows::event(QEvent* e) {
    // Another window took the input (a modal box, another program).
    if (e->type() == QEvent::WindowDeactivate || e->type() == QEvent::WindowBlocked) CutShort();
    return QWidget::event(e);
}

void CSpinArrows::hideEvent(QHideEvent* e) {
    CutShort();
    QWidget::hideEvent(e);
}
