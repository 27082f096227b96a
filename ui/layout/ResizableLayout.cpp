#include "ui/layout/ResizableLayout.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPolygon>
#include <QRadioButton>
#include <QScrollBar>
#include <QSizeGrip>
#include <QStyle>
#include <QToolBar>
#include <QWidget>
#include <cstring>

#include "platform/ui/Wnd.h"

namespace {

zns::LayoutRect ToL(const QRect& r) { return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }
QRect ToQ(const zns::LayoutRect& r) { return {r.left, r.top, r.Width(), r.Height()}; }

}  // namespace

namespace zns::ui {

zns::ChildClass ClassifyChild(const QWidget* w) {
    zns::ChildClass c;
    if (!w) return c;
    if (qobject_cast<const QGroupBox*>(w)) {
        c.className = "Button";
        c.style = BS_GROUPBOX;
        return c;
    }
    if (qobject_cast<const QAbstractButton*>(w)) {
        c.className = "Button";
        c.style = qobject_cast<const QCheckBox*>(w) ? 3u : qobject_cast<const QRadioButton*>(w) ? 9u : 0u;
        return c;
    }
    if (auto* l = qobject_cast<const QLabel*>(w)) {
        c.className = "Static";
        const Qt::Alignment a = l->alignment();
        if (!l->pixmap().isNull()) {
            c.style = 14;  // bitmap
            if ((a & Qt::AlignHCenter) && (a & Qt::AlignVCenter)) c.style |= SS_CENTERIMAGE;
            return c;
        }
        unsigned t = (a & Qt::AlignRight) ? 2u : (a & Qt::AlignHCenter) ? 1u : (l->wordWrap() ? 0u : 12u);
        c.style = t;
        if (a & Qt::AlignVCenter) c.style |= SS_CENTERIMAGE;  // single line, centred vertically
        return c;
    }
    if (qobject_cast<const QListView*>(w)) {
        c.className = "ListBox";
        return c;
    }
    if (auto* tb = qobject_cast<const QToolBar*>(w)) {
        c.className = "ToolbarWindow32";
        if (!tb->autoFillBackground()) c.style = TBSTYLE_TRANSPARENT;
        return c;
    }
    if (std::strcmp(w->metaObject()->className(), "QFrame") == 0) {
        auto* f = static_cast<const QFrame*>(w);
        switch (f->frameShape()) {
            case QFrame::HLine: c.className = "Static"; c.style = 16; return c;  // etched horizontal
            case QFrame::VLine: c.className = "Static"; c.style = 17; return c;  // etched vertical
            case QFrame::NoFrame: break;
            default: c.className = "Static"; c.style = 18; return c;  // etched frame
        }
    }
    c.className = w->metaObject()->className();
    return c;
}

}  // namespace zns::ui

// ---------------------------------------------------------------------------
// CResizableLayout

QRect CResizableLayout::GetLayoutClientRect() const {
    QWidget* wnd = GetLayoutWnd();
    if (!wnd) return {};
    if (auto* base = dynamic_cast<CWndBase*>(wnd)) return base->GetClientRect();
    return wnd->rect();
}

QRect CResizableLayout::ChildRect(const QWidget* child) const {
    QWidget* wnd = GetLayoutWnd();
    if (!wnd || child->parentWidget() == wnd) return child->geometry();
    return {child->mapTo(wnd, QPoint(0, 0)), child->size()};
}

void CResizableLayout::MoveChild(QWidget* child, const QRect& r) const {
    QWidget* wnd = GetLayoutWnd();
    QWidget* parent = child->parentWidget();
    if (!wnd || !parent || parent == wnd) {
        child->setGeometry(r);
        return;
    }
    child->setGeometry(QRect(parent->mapFrom(wnd, r.topLeft()), r.size()));
}

void CResizableLayout::AddAnchor(QWidget* child, zns::LayoutSize tl, zns::LayoutSize br) {
    if (!child) return;
    LayoutInfo info;
    info.window = child;
    info.cls = zns::ui::ClassifyChild(child);
    info.anchor = zns::MakeAnchor(ToL(GetLayoutClientRect()), ToL(ChildRect(child)), tl, br);
    InitChildProperties(info);
    auto it = m_index.find(child);
    if (it != m_index.end()) {
        m_anchors[it->second] = info;
    } else {
        m_index[child] = m_anchors.size();
        m_anchors.push_back(info);
    }
}

void CResizableLayout::RemoveAnchor(QWidget* child) {
    auto it = m_index.find(child);
    if (it == m_index.end()) return;
    m_anchors.erase(m_anchors.begin() + static_cast<std::ptrdiff_t>(it->second));
    m_index.clear();
    for (size_t i = 0; i < m_anchors.size(); ++i)
        if (m_anchors[i].window) m_index[m_anchors[i].window.data()] = i;
}

void CResizableLayout::RemoveAllAnchors() {
    m_anchors.clear();
    m_index.clear();
}

void CResizableLayout::InitChildProperties(LayoutInfo& info) {
    auto* support = dynamic_cast<IResizeSupport*>(info.window.data());
    IResizeSupport::Properties props;
    if (support && support->QueryResizeProperties(props)) {
        info.answersSupport = true;
        info.props = props;
        return;
    }
    info.answersSupport = false;
    info.props.askClipping = false;
    info.props.cachedClipping = CanClipChild(info);  // asked once, now
    info.props.askRepaint = true;
}

bool CResizableLayout::CanClipChild(const LayoutInfo& info) {
    if (info.answersSupport)
        if (auto* support = dynamic_cast<IResizeSupport*>(info.window.data())) {
            bool clip = false;
            if (support->QueryClipping(clip)) return clip;
        }
    zns::ChildClass c = info.cls;
    if (c.className == "Button" && (c.style & BS_TYPEMASK) == BS_OWNERDRAW && info.window)
        c.hitTestTransparent = info.window->testAttribute(Qt::WA_TransparentForMouseEvents);
    return zns::CanClipChild(c);
}

bool CResizableLayout::NeedsRepaint(const LayoutInfo& info, const QRect& oldRect, const QRect& newRect) {
    if (info.answersSupport)
        if (auto* support = dynamic_cast<IResizeSupport*>(info.window.data())) {
            bool repaint = false;
            if (support->QueryRepaint(repaint, oldRect, newRect)) return repaint;
        }
    std::optional<zns::ScrollState> scroll;
    if (auto* list = qobject_cast<QAbstractScrollArea*>(info.window.data())) {
        const QScrollBar* bar = list->horizontalScrollBar();
        if (bar) {
            // Qt's maximum already excludes the page; the window system's includes it.
            const int page = bar->pageStep();
            scroll = zns::ScrollState{bar->maximum() + page - 1, page, bar->value()};
        }
    }
    return zns::NeedsRepaint(info.cls, ToL(oldRect), ToL(newRect), scroll);
}

void CResizableLayout::ArrangeLayout() {
    if (!GetLayoutWnd()) return;
    const zns::LayoutRect parent = ToL(GetLayoutClientRect());
    for (LayoutInfo& info : m_anchors) {
        QWidget* child = info.window;
        if (!child) continue;
        const QRect oldRect = ChildRect(child);
        const QRect newRect = ToQ(zns::ComputeChildRect(info.anchor, parent));
        const bool repaint = info.props.askRepaint ? NeedsRepaint(info, oldRect, newRect) : info.props.cachedRepaint;
        const zns::ChildMove move = zns::ComputeChildMove(info.anchor, parent, ToL(oldRect), repaint);
        if (move.Skip()) continue;
        MoveChild(child, newRect);
        if (move.noCopyBits) child->update();
    }
}

void CResizableLayout::AddChildToClipRegion(LayoutInfo& info, QRegion& region) {
    QWidget* child = info.window;
    const QRect r = ChildRect(child);
    const QRegion mask = child->mask();
    const QRegion area = mask.isEmpty() ? QRegion(r) : mask.translated(r.topLeft());
    const bool clip = info.props.askClipping ? CanClipChild(info) : info.props.cachedClipping;
    region = clip ? region.subtracted(area) : region.united(area);
}

QRegion CResizableLayout::BuildClipRegion() {
    QWidget* wnd = GetLayoutWnd();
    QRegion region(GetLayoutClientRect());
    if (!wnd) return region;
    for (LayoutInfo& info : m_anchors)
        if (info.window && info.window->isVisibleTo(wnd)) AddChildToClipRegion(info, region);
    if (wnd->layoutDirection() == Qt::RightToLeft) region.translate(-1, 0);
    return region;
}

void CResizableLayout::EraseBackground(QPainter& p) {
    QWidget* wnd = GetLayoutWnd();
    if (!wnd) return;
    const QRegion region = BuildClipRegion();
    p.save();
    p.setClipRegion(region);
    p.fillRect(region.boundingRect(), wnd->palette().window());
    p.restore();
}

// ---------------------------------------------------------------------------
// CResizableGrip

CResizableGrip::~CResizableGrip() = default;

bool CResizableGrip::CreateGrip(bool visible, bool triangular, bool /*transparent*/) {
    QWidget* wnd = GetLayoutWnd();
    if (!wnd) return false;
    if (!m_grip) m_grip = new QSizeGrip(wnd);
    const int w = wnd->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, wnd);
    m_grip->setFixedSize(w, w);
    if (triangular)
        m_grip->setMask(QRegion(QPolygon({QPoint(0, w), QPoint(w, w), QPoint(w, 0)}), Qt::WindingFill));
    else
        m_grip->clearMask();
    // The program's grips are all opaque; the transparent mode is not built.
    SetGripShown(visible);
    PlaceGrip();
    return true;
}

void CResizableGrip::PlaceGrip() {
    QWidget* wnd = GetLayoutWnd();
    if (!wnd || !m_grip) return;
    m_grip->move(wnd->width() - m_grip->width(), wnd->height() - m_grip->height());
    m_grip->lower();
    m_grip->setVisible(IsGripShown());
}

// ---------------------------------------------------------------------------
// CResizableMinMax

void CResizableMinMax::MinMaxInfo(QWidget* w) const {
    if (!w) return;
    if (m_useMin) w->setMinimumSize(m_minTrack);
    if (m_useMax) w->setMaximumSize(m_maxTrack);
}
