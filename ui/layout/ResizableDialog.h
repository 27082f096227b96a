#pragma once
// A dialog that can be resized: its anchored children follow the size, it
// cannot become smaller than its size at creation, and its size grip shows
// except while maximised.
#include "platform/ui/Wnd.h"
#include "ui/layout/ResizableLayout.h"

class CResizableDialog : public CDialog, public CResizableLayout, public CResizableGrip, public CResizableMinMax {
    Q_OBJECT
public:
    // The derived dialog gives itself its template size before creation.
    explicit CResizableDialog(unsigned templateId = 0, QWidget* parent = nullptr, bool childWindow = false);
    ~CResizableDialog() override;

    QWidget* GetLayoutWnd() const override { return const_cast<CResizableDialog*>(this); }

    int OnCreate() override;
    // Size change: the grip follows the maximised state, then the children move.
    virtual void OnSize(unsigned type, int cx, int cy);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void UpdateGripState();

    unsigned m_gripBits = 1;  // bit 0: shown because not maximised
};
