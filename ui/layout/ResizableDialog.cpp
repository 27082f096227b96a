#include "ui/layout/ResizableDialog.h"

#include <QEvent>
#include <QPainter>
#include <QResizeEvent>

CResizableDialog::CResizableDialog(unsigned templateId, QWidget* parent, bool childWindow)
    : CDialog(templateId, parent, childWindow) {}

CResizableDialog::~CResizableDialog() { RemoveAllAnchors(); }

int CResizableDialog::OnCreate() {
    if (CDialog::OnCreate() == -1) return -1;
    if (isWindow()) {
        // The size at creation is the smallest the window may take.
        SetMinTrackSize(size());
        MinMaxInfo(this);
    }
    return CreateGrip(isWindow()) ? 0 : -1;
}

void CResizableDialog::UpdateGripState() {
    if (windowState() & Qt::WindowMaximized)
        RemoveShowReason(m_gripBits, 1);
    else
        AddShowReason(m_gripBits, 1);
    PlaceGrip();
}

void CResizableDialog::OnSize(unsigned type, int cx, int cy) {
    if (type == SIZE_MAXSHOW || type == SIZE_MAXHIDE) return;
    if (type == SIZE_MAXIMIZED)
        RemoveShowReason(m_gripBits, 1);
    else
        AddShowReason(m_gripBits, 1);
    PlaceGrip();
    ArrangeLayout();
}

void CResizableDialog::resizeEvent(QResizeEvent* e) {
    CDialog::resizeEvent(e);
    const Qt::WindowStates st = windowState();
    const unsigned type = (st & Qt::WindowMinimized)   ? SIZE_MINIMIZED
                          : (st & Qt::WindowMaximized) ? SIZE_MAXIMIZED
                                                       : SIZE_RESTORED;
    OnSize(type, e->size().width(), e->size().height());
}

void CResizableDialog::changeEvent(QEvent* e) {
    CDialog::changeEvent(e);
    // Maximising to the same size brings no resize; the grip must still follow.
    if (e->type() == QEvent::WindowStateChange && GetGrip()) UpdateGripState();
}

void CResizableDialog::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    EraseBackground(p);
    CDialog::paintEvent(e);
}
