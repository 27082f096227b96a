#pragma once
// The arithmetic of the resizable layout, free of any toolkit: anchor margins,
// child rectangles, the clip and repaint rules by control class, and the size
// grip's show count.
#include <optional>
#include <string>

namespace zns {

struct LayoutSize {
    int cx = 0, cy = 0;
    bool operator==(const LayoutSize&) const = default;
};

struct LayoutRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const LayoutRect&) const = default;
};

// One anchored child: anchors in percent of the client size, margins in pixels.
struct AnchorEntry {
    LayoutSize tlAnchor, tlMargin;
    LayoutSize brAnchor, brMargin;
};

// Result of placing a child.
struct ChildMove {
    LayoutRect rect;
    bool noMove = false;     // top-left unchanged
    bool noSize = false;     // width and height unchanged
    bool noCopyBits = false; // the child must repaint
    bool Skip() const { return noMove && noSize; }
};

// Margins of `child` (in the layout window's client coordinates) against the
// client rectangle `parent`; a `br` of NOANCHOR takes `tl`.
AnchorEntry MakeAnchor(const LayoutRect& parent, const LayoutRect& child, LayoutSize tl, LayoutSize br);
// The child's rectangle for the client rectangle `parent`.
LayoutRect ComputeChildRect(const AnchorEntry& a, const LayoutRect& parent);
ChildMove ComputeChildMove(const AnchorEntry& a, const LayoutRect& parent, const LayoutRect& old, bool repaint);

// What the rules need to know of a child control: its class as the window
// system names it ("Static", "Button", "ListBox", ...) and its style bits.
struct ChildClass {
    std::string className;
    unsigned style = 0;
    unsigned exStyle = 0;
    bool hitTestTransparent = false;  // owner-drawn button answering "transparent"
};

// Horizontal scroll state of a list box (window-system terms: nMax, nPage, nPos).
struct ScrollState {
    int max = 0, page = 0, pos = 0;
};

// May the background leave the child out (the child paints all of its area)?
bool CanClipChild(const ChildClass& c);
// Must the child repaint after moving from `oldRect` to `newRect`? `hscroll`
// only matters for list boxes; without it a list box does not repaint.
bool NeedsRepaint(const ChildClass& c, const LayoutRect& oldRect, const LayoutRect& newRect,
                  const std::optional<ScrollState>& hscroll = std::nullopt);

// The size grip is shown while at least one reason holds.
class GripShowState {
public:
    // `bits` holds the caller's reasons; `mask` names one of them.
    void AddShowReason(unsigned& bits, unsigned mask);
    void RemoveShowReason(unsigned& bits, unsigned mask);
    void SetGripShown(bool shown) { m_count = shown ? 1 : 0; }
    bool IsGripShown() const { return m_count > 0; }

private:
    int m_count = 0;
};

}  // namespace zns

// Anchor points in percent of the client width and height.
inline constexpr zns::LayoutSize TOP_LEFT{0, 0};
inline constexpr zns::LayoutSize TOP_CENTER{50, 0};
inline constexpr zns::LayoutSize TOP_RIGHT{100, 0};
inline constexpr zns::LayoutSize MIDDLE_LEFT{0, 50};
inline constexpr zns::LayoutSize MIDDLE_CENTER{50, 50};
inline constexpr zns::LayoutSize MIDDLE_RIGHT{100, 50};
inline constexpr zns::LayoutSize BOTTOM_LEFT{0, 100};
inline constexpr zns::LayoutSize BOTTOM_CENTER{50, 100};
inline constexpr zns::LayoutSize BOTTOM_RIGHT{100, 100};
inline constexpr zns::LayoutSize NOANCHOR{-1, -1};

// Style bits the rules look at.
inline constexpr unsigned SS_TYPEMASK = 0x1F;
inline constexpr unsigned SS_CENTERIMAGE = 0x200;
inline constexpr unsigned SS_ELLIPSISMASK = 0xC000;
inline constexpr unsigned BS_TYPEMASK = 0x0F;
inline constexpr unsigned BS_GROUPBOX = 7;
inline constexpr unsigned BS_OWNERDRAW = 11;
inline constexpr unsigned TBSTYLE_TRANSPARENT = 0x8000;
