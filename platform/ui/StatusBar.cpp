#include "platform/ui/StatusBar.h"

#include <QHelpEvent>
#include <QPainter>
#include <QSizeGrip>
#include <QToolTip>
#include <qdrawutil.h>

#include "platform/ui/GuiThread.h"
#include "platform/ui/UiText.h"

namespace {
constexpr int kIconSize = 16;
}  // namespace

CStatusBarCtrl::CStatusBarCtrl(QWidget* parent, int id, bool sizeGrip) : QWidget(parent), m_id(id) {
    m_parts.resize(1);
    if (sizeGrip) m_grip = new QSizeGrip(this);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

BOOL CStatusBarCtrl::SetParts(int count, const int* rightEdges) {
    if (count < 1 || count > 256 || !rightEdges) return FALSE;
    m_parts.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) m_parts[static_cast<size_t>(i)].right = rightEdges[i];
    update();
    return TRUE;
}

std::vector<int> CStatusBarCtrl::GetPartEdges() const {
    std::vector<int> edges;
    for (const PartData& p : m_parts) edges.push_back(p.right);
    return edges;
}

QRect CStatusBarCtrl::GetRect(int part) const {
    if (part < 0 || part >= GetParts()) return {};
    auto edge = [this](int i) {
        const int r = m_parts[static_cast<size_t>(i)].right;
        return r < 0 ? width() : r;
    };
    const int left = part == 0 ? 0 : edge(part - 1);
    const int right = edge(part);
    if (right <= left) return {};
    return {left, 0, right - left, height()};
}

BOOL CStatusBarCtrl::SetText(const std::string& text, int part) {
    if (!zns::ui::IsGuiThread()) {
        zns::ui::PostToGui(this, [this, text, part] { SetTextNow(text, part); });
        return TRUE;
    }
    if (part < 0 || part >= GetParts()) return FALSE;
    SetTextNow(text, part);
    return TRUE;
}

void CStatusBarCtrl::SetTextNow(const std::string& text, int part) {
    if (part < 0 || part >= GetParts()) return;
    PartData& p = m_parts[static_cast<size_t>(part)];
    if (p.text == text) return;
    p.text = text;
    update(GetRect(part));
}

std::string CStatusBarCtrl::GetText(int part) const {
    if (part < 0 || part >= GetParts()) return {};
    return m_parts[static_cast<size_t>(part)].text;
}

BOOL CStatusBarCtrl::SetIcon(int part, const QIcon& icon) {
    if (part < 0 || part >= GetParts()) return FALSE;
    PartData& p = m_parts[static_cast<size_t>(part)];
    if (p.icon.cacheKey() == icon.cacheKey()) return TRUE;
    p.icon = icon;
    update(GetRect(part));
    return TRUE;
}

qint64 CStatusBarCtrl::GetIconKey(int part) const {
    if (part < 0 || part >= GetParts()) return 0;
    const QIcon& icon = m_parts[static_cast<size_t>(part)].icon;
    return icon.isNull() ? 0 : icon.cacheKey();
}

void CStatusBarCtrl::SetTipText(int part, const std::string& tip) {
    if (part >= 0 && part < GetParts()) m_parts[static_cast<size_t>(part)].tip = tip;
}

std::string CStatusBarCtrl::GetTipText(int part) const {
    if (part < 0 || part >= GetParts()) return {};
    return m_parts[static_cast<size_t>(part)].tip;
}

QSize CStatusBarCtrl::sizeHint() const { return {200, std::max(fontMetrics().height() + 6, 22)}; }

void CStatusBarCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    for (int i = 0; i < GetParts(); ++i) {
        const QRect r = GetRect(i);
        if (r.isEmpty()) continue;
        const PartData& part = m_parts[static_cast<size_t>(i)];
        qDrawShadePanel(&p, r.adjusted(1, 1, -1, -1), palette(), true, 1);
        QRect inner = r.adjusted(3, 2, -3, -2);
        p.save();
        p.setClipRect(inner);
        if (!part.icon.isNull()) {
            const QRect ir(inner.left(), inner.top() + (inner.height() - kIconSize) / 2, kIconSize, kIconSize);
            part.icon.paint(&p, ir);
            inner.setLeft(ir.right() + 3);
        }
        if (!part.text.empty())
            p.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, zns::ui::ToQ(part.text));
        p.restore();
    }
}

void CStatusBarCtrl::resizeEvent(QResizeEvent* e) {
    if (m_grip) {
        const QSize s = m_grip->sizeHint();
        m_grip->setGeometry(width() - s.width(), height() - s.height(), s.width(), s.height());
    }
    QWidget::resizeEvent(e);
}

bool CStatusBarCtrl::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* he = static_cast<QHelpEvent*>(e);
        for (int i = 0; i < GetParts(); ++i) {
            if (GetRect(i).contains(he->pos()) && !m_parts[static_cast<size_t>(i)].tip.empty()) {
                QToolTip::showText(he->globalPos(), zns::ui::ToQ(m_parts[static_cast<size_t>(i)].tip), this,
                                   GetRect(i));
                return true;
            }
        }
        QToolTip::hideText();
        e->ignore();
        return true;
    }
    return QWidget::event(e);
}
