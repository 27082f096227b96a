#include "ui/layout/ResizableLayoutCore.h"

namespace zns {

AnchorEntry MakeAnchor(const LayoutRect& parent, const LayoutRect& child, LayoutSize tl, LayoutSize br) {
    if (br == NOANCHOR) br = tl;
    const int w = parent.Width();
    const int h = parent.Height();
    const LayoutRect c{child.left - parent.left, child.top - parent.top, child.right - parent.left,
                       child.bottom - parent.top};
    AnchorEntry a;
    a.tlAnchor = tl;
    a.brAnchor = br;
    // Integer division truncates toward zero, as the window system's arithmetic does.
    a.tlMargin = {c.left - tl.cx * w / 100, c.top - tl.cy * h / 100};
    a.brMargin = {c.right - br.cx * w / 100, c.bottom - br.cy * h / 100};
    return a;
}

LayoutRect ComputeChildRect(const AnchorEntry& a, const LayoutRect& parent) {
    const int w = parent.Width();
    const int h = parent.Height();
    return {a.tlAnchor.cx * w / 100 + a.tlMargin.cx + parent.left, a.tlAnchor.cy * h / 100 + a.tlMargin.cy + parent.top,
            a.brAnchor.cx * w / 100 + a.brMargin.cx + parent.left,
            a.brAnchor.cy * h / 100 + a.brMargin.cy + parent.top};
}

ChildMove ComputeChildMove(const AnchorEntry& a, const LayoutRect& parent, const LayoutRect& old, bool repaint) {
    ChildMove m;
    m.rect = ComputeChildRect(a, parent);
    m.noCopyBits = repaint;
    m.noMove = m.rect.left == old.left && m.rect.top == old.top;
    m.noSize = m.rect.Width() == old.Width() && m.rect.Height() == old.Height();
    return m;
}

bool CanClipChild(const ChildClass& c) {
    if (c.className == "ToolbarWindow32") return (c.style & TBSTYLE_TRANSPARENT) == 0;
    if (c.className == "Button") {
        const unsigned type = c.style & BS_TYPEMASK;
        if (type == BS_GROUPBOX) return false;
        if (type == BS_OWNERDRAW && c.hitTestTransparent) return false;
        return true;
    }
    if (c.className == "Static") {
        const unsigned t = c.style & SS_TYPEMASK;
        if (t > 17) return false;
        switch (t) {
            case 3:
            case 15: return (c.style & SS_CENTERIMAGE) == 0;
            case 7:
            case 8:
            case 9:
            case 10:
            case 13: return false;
            default: return true;  // 0, 1, 2, 4, 5, 6, 11, 12, 14, 16, 17
        }
    }
    return true;
}

bool NeedsRepaint(const ChildClass& c, const LayoutRect& oldRect, const LayoutRect& newRect,
                  const std::optional<ScrollState>& hscroll) {
    const int dw = newRect.Width() - oldRect.Width();
    const int dh = newRect.Height() - oldRect.Height();
    if (dw == 0 && dh == 0) return false;
    if (c.className == "Static") {
        const unsigned t = c.style & SS_TYPEMASK;
        const bool centerImage = (c.style & SS_CENTERIMAGE) != 0;
        auto textRule = [&] { return dw != 0 || (centerImage && dh != 0); };
        if (t >= 19) return false;
        switch (t) {
            case 3:
            case 7:
            case 8:
            case 9:
            case 14:
            case 15:
            case 18: return true;
            case 0:
            case 1:
            case 2: return textRule();
            case 12: return (c.style & SS_ELLIPSISMASK) ? textRule() : (centerImage && dh != 0);
            default: return false;
        }
    }
    if (c.className == "ListBox") {
        // Scrolled to its right end: widening must show what comes into view.
        if (dw >= 1 && hscroll) {
            const int last = hscroll->max - (hscroll->page - 1);
            if (last >= 1 && hscroll->pos + dw > last) return true;
        }
        return false;
    }
    return false;
}

void GripShowState::AddShowReason(unsigned& bits, unsigned mask) {
    if ((bits & mask) == 0) {
        ++m_count;
        bits |= mask;
    }
}

void GripShowState::RemoveShowReason(unsigned& bits, unsigned mask) {
    if ((bits & mask) != 0) {
        --m_count;
        bits &= ~mask;
    }
}

}  // namespace zns
