#include <gtest/gtest.h>

#include "ui/layout/ResizableLayoutCore.h"

using namespace zns;

namespace {

TEST(AnchorArithmetic, StretchedChildKeepsItsDistanceToAllEdges) {
    const LayoutRect parent{0, 0, 400, 300};
    const LayoutRect child{10, 20, 390, 270};
    const AnchorEntry a = MakeAnchor(parent, child, TOP_LEFT, BOTTOM_RIGHT);
    EXPECT_EQ(ComputeChildRect(a, parent), child);
    EXPECT_EQ(ComputeChildRect(a, LayoutRect{0, 0, 640, 480}), (LayoutRect{10, 20, 630, 450}));
}

TEST(AnchorArithmetic, BottomRightTwiceKeepsSizeAndCornerDistance) {
    const LayoutRect parent{0, 0, 400, 300};
    const AnchorEntry a = MakeAnchor(parent, {300, 260, 380, 285}, BOTTOM_RIGHT, BOTTOM_RIGHT);
    const LayoutRect r = ComputeChildRect(a, {0, 0, 500, 420});
    EXPECT_EQ(r, (LayoutRect{400, 380, 480, 405}));
    // No anchor for the bottom-right corner means the top-left one.
    const AnchorEntry same = MakeAnchor(parent, {300, 260, 380, 285}, BOTTOM_RIGHT, NOANCHOR);
    EXPECT_EQ(ComputeChildRect(same, {0, 0, 500, 420}), r);
}

TEST(AnchorArithmetic, PercentagesTruncate) {
    // 7 pixels wide, anchored at 50 %: the anchor point is 3 pixels in.
    const AnchorEntry a = MakeAnchor({0, 0, 7, 7}, {5, 0, 6, 1}, TOP_CENTER, TOP_CENTER);
    EXPECT_EQ(a.tlMargin.cx, 2);
    EXPECT_EQ(ComputeChildRect(a, {0, 0, 9, 9}).left, 4 + 2);

    // The main window's panels: (50,0)-(100,0).
    const AnchorEntry panel = MakeAnchor({0, 0, 801, 600}, {420, 0, 800, 200}, TOP_CENTER, TOP_RIGHT);
    EXPECT_EQ(panel.tlMargin.cx, 420 - 400);
    EXPECT_EQ(ComputeChildRect(panel, {0, 0, 1001, 700}), (LayoutRect{520, 0, 1000, 200}));
}

TEST(AnchorArithmetic, ClientRectangleBelowAMenu) {
    // A client area that does not start at the origin (a menu bar above it).
    const LayoutRect parent{0, 25, 400, 325};
    const AnchorEntry a = MakeAnchor(parent, {0, 300, 400, 325}, BOTTOM_LEFT, BOTTOM_RIGHT);
    EXPECT_EQ(ComputeChildRect(a, parent), (LayoutRect{0, 300, 400, 325}));
    EXPECT_EQ(ComputeChildRect(a, {0, 25, 500, 425}), (LayoutRect{0, 400, 500, 425}));
}

TEST(AnchorArithmetic, MoveFlags) {
    const LayoutRect parent{0, 0, 400, 300};
    const LayoutRect child{10, 10, 110, 60};
    const AnchorEntry fixed = MakeAnchor(parent, child, TOP_LEFT, TOP_LEFT);
    ChildMove m = ComputeChildMove(fixed, {0, 0, 800, 600}, child, false);
    EXPECT_TRUE(m.Skip());
    EXPECT_FALSE(m.noCopyBits);

    const AnchorEntry moving = MakeAnchor(parent, child, BOTTOM_LEFT, BOTTOM_LEFT);
    m = ComputeChildMove(moving, {0, 0, 400, 350}, child, true);
    EXPECT_FALSE(m.noMove);
    EXPECT_TRUE(m.noSize);
    EXPECT_TRUE(m.noCopyBits);

    const AnchorEntry growing = MakeAnchor(parent, child, TOP_LEFT, BOTTOM_RIGHT);
    m = ComputeChildMove(growing, {0, 0, 500, 300}, child, false);
    EXPECT_TRUE(m.noMove);
    EXPECT_FALSE(m.noSize);
}

TEST(ClipRules, FramesAndGroupBoxesArePaintedOverTextIsNot) {
    EXPECT_FALSE(CanClipChild({"Button", BS_GROUPBOX}));
    EXPECT_TRUE(CanClipChild({"Button", 0}));
    EXPECT_TRUE(CanClipChild({"Button", BS_OWNERDRAW}));
    EXPECT_FALSE(CanClipChild({"Button", BS_OWNERDRAW, 0, true}));
    EXPECT_FALSE(CanClipChild({"Static", 7}));    // black frame
    EXPECT_FALSE(CanClipChild({"Static", 18}));   // etched frame
    EXPECT_TRUE(CanClipChild({"Static", 0}));     // plain text
    EXPECT_TRUE(CanClipChild({"Static", 12}));
    EXPECT_TRUE(CanClipChild({"Static", 3}));     // icon
    EXPECT_FALSE(CanClipChild({"Static", 3 | SS_CENTERIMAGE}));
    EXPECT_FALSE(CanClipChild({"Static", 13}));
    EXPECT_FALSE(CanClipChild({"ToolbarWindow32", TBSTYLE_TRANSPARENT}));
    EXPECT_TRUE(CanClipChild({"ToolbarWindow32", 0}));
    EXPECT_TRUE(CanClipChild({"Edit", 0}));
    EXPECT_TRUE(CanClipChild({"static", 7}));  // class names are compared exactly
}

TEST(RepaintRules, TextStaticsByWidthOrCentredHeight) {
    const LayoutRect old{0, 0, 100, 20};
    const LayoutRect wider{0, 0, 120, 20}, taller{0, 0, 100, 30};
    const ChildClass right{"Static", 2};
    EXPECT_TRUE(NeedsRepaint(right, old, wider));
    EXPECT_FALSE(NeedsRepaint(right, old, taller));
    EXPECT_TRUE(NeedsRepaint({"Static", 2 | SS_CENTERIMAGE}, old, taller));
    EXPECT_FALSE(NeedsRepaint(right, old, LayoutRect{50, 50, 150, 70}));  // moved only

    EXPECT_FALSE(NeedsRepaint({"Static", 12}, old, wider));
    EXPECT_TRUE(NeedsRepaint({"Static", 12 | 0x4000}, old, wider));  // with an ellipsis
    EXPECT_TRUE(NeedsRepaint({"Static", 12 | SS_CENTERIMAGE}, old, taller));
    EXPECT_TRUE(NeedsRepaint({"Static", 18}, old, taller));
    EXPECT_FALSE(NeedsRepaint({"Static", 19}, old, taller));
    EXPECT_FALSE(NeedsRepaint({"Static", 4}, old, taller));
    EXPECT_FALSE(NeedsRepaint({"Edit", 0}, old, wider));
}

TEST(RepaintRules, ListBoxScrolledToItsEndRepaintsWhenWidening) {
    const ChildClass list{"ListBox", 0};
    const LayoutRect old{0, 0, 100, 100}, wider{0, 0, 110, 100};
    // Range 0..199 with a page of 100: the last position is 100.
    EXPECT_TRUE(NeedsRepaint(list, old, wider, ScrollState{199, 100, 100}));
    EXPECT_TRUE(NeedsRepaint(list, old, wider, ScrollState{199, 100, 95}));
    EXPECT_FALSE(NeedsRepaint(list, old, wider, ScrollState{199, 100, 80}));
    EXPECT_FALSE(NeedsRepaint(list, old, wider, ScrollState{50, 100, 0}));  // nothing to scroll
    EXPECT_FALSE(NeedsRepaint(list, wider, old, ScrollState{199, 100, 100}));  // narrowing
    EXPECT_FALSE(NeedsRepaint(list, old, wider));  // no scroll information
}

TEST(GripShow, HiddenWhileMaximisedShownOtherwise) {
    unsigned bits = 1;  // a new dialog: "not maximised" already counted
    GripShowState grip;
    grip.SetGripShown(true);
    EXPECT_TRUE(grip.IsGripShown());
    grip.AddShowReason(bits, 1);  // restored size: no double count
    grip.RemoveShowReason(bits, 1);  // maximised
    EXPECT_FALSE(grip.IsGripShown());
    grip.RemoveShowReason(bits, 1);
    grip.AddShowReason(bits, 1);  // restored
    EXPECT_TRUE(grip.IsGripShown());

    // A child dialog's grip stays hidden whatever its size does.
    unsigned childBits = 1;
    GripShowState child;
    child.SetGripShown(false);
    child.AddShowReason(childBits, 1);
    EXPECT_FALSE(child.IsGripShown());
}

}  // namespace
