#pragma once
// The resizable layout's parts over Qt: anchored children, the size grip and
// the minimum tracking size. CResizableDialog (ResizableDialog.h) combines them.
#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QSizeGrip>
#include <map>
#include <vector>

#include "ui/layout/ResizableLayoutCore.h"

class QPainter;

class QWidget;

// A child control may answer the layout's questions itself by implementing
// this (no control of the program does; the class rules then decide).
class IResizeSupport {
public:
    struct Properties {
        bool askClipping = true;
        bool askRepaint = true;
        bool cachedClipping = false;
        bool cachedRepaint = false;
    };
    virtual ~IResizeSupport() = default;
    virtual bool QueryResizeProperties(Properties& props) { return false; }
    virtual bool QueryClipping(bool& canClip) { return false; }
    virtual bool QueryRepaint(bool& needsRepaint, const QRect& oldRect, const QRect& newRect) { return false; }
};

namespace zns::ui {
// The window-system class and style a Qt control stands for (QLabel -> "Static"
// with its alignment, QGroupBox -> "Button" group box, list views -> "ListBox").
zns::ChildClass ClassifyChild(const QWidget* w);
}  // namespace zns::ui

class CResizableLayout {
public:
    struct LayoutInfo {
        QPointer<QWidget> window;
        int callbackId = 0;
        zns::ChildClass cls;
        zns::AnchorEntry anchor;
        bool answersSupport = false;
        IResizeSupport::Properties props;
    };

    virtual ~CResizableLayout() = default;

    // Anchors a child at its present place (measured against the present client size).
    void AddAnchor(QWidget* child, zns::LayoutSize tl, zns::LayoutSize br = NOANCHOR);
    void RemoveAnchor(QWidget* child);
    void RemoveAllAnchors();
    // Moves every anchored child for the present client size.
    void ArrangeLayout();
    // Fills the background outside the children that paint all their area.
    void EraseBackground(QPainter& p);
    QRegion BuildClipRegion();
    size_t AnchorCount() const { return m_anchors.size(); }

protected:
    virtual void InitChildProperties(LayoutInfo& info);
    virtual bool CanClipChild(const LayoutInfo& info);
    virtual bool NeedsRepaint(const LayoutInfo& info, const QRect& oldRect, const QRect& newRect);
    virtual QRect GetLayoutClientRect() const;
    virtual QWidget* GetLayoutWnd() const = 0;

private:
    QRect ChildRect(const QWidget* child) const;  // in the layout window's coordinates
    void MoveChild(QWidget* child, const QRect& r) const;
    void AddChildToClipRegion(LayoutInfo& info, QRegion& region);

    std::vector<LayoutInfo> m_anchors;      // in the order added
    std::map<const QWidget*, size_t> m_index;
};

class CResizableGrip {
public:
    virtual ~CResizableGrip();

    // Creates the grip in the layout window's bottom-right corner.
    bool CreateGrip(bool visible = true, bool triangular = true, bool transparent = false);
    void PlaceGrip();
    void AddShowReason(unsigned& bits, unsigned mask) { m_show.AddShowReason(bits, mask); }
    void RemoveShowReason(unsigned& bits, unsigned mask) { m_show.RemoveShowReason(bits, mask); }
    void SetGripShown(bool shown) { m_show.SetGripShown(shown); }
    bool IsGripShown() const { return m_show.IsGripShown(); }
    QSizeGrip* GetGrip() const { return m_grip; }

protected:
    virtual QWidget* GetLayoutWnd() const = 0;

private:
    QPointer<QSizeGrip> m_grip;
    zns::GripShowState m_show;
};

class CResizableMinMax {
public:
    virtual ~CResizableMinMax() = default;
    void SetMinTrackSize(const QSize& s) {
        m_useMin = true;
        m_minTrack = s;
    }
    void SetMaxTrackSize(const QSize& s) {
        m_useMax = true;
        m_maxTrack = s;
    }
    QSize GetMinTrackSize() const { return m_useMin ? m_minTrack : QSize(); }

protected:
    // Applies the limits to the window.
    void MinMaxInfo(QWidget* w) const;

private:
    bool m_useMax = false, m_useMin = false;
    QSize m_minTrack, m_maxTrack;
};
