#pragma once
// Up/down arrows standing in for a scroll bar used as a spin button. Its
// position is pinned to its own id, so the owner tells several apart by the
// position: a press sends OnVScroll(SB_LINEUP or SB_LINEDOWN, id, this), held it
// repeats, and the release sends OnVScroll(SB_ENDSCROLL, id, this). The Up and
// Down keys do the same when it has the focus. A press also ends (with its
// SB_ENDSCROLL) when a step opens a modal window, when the button turns out to
// be up (its release went elsewhere), and when the window is deactivated: the
// release then never comes here, and no step may repeat after it.
#include <QBasicTimer>
#include <QWidget>

class CWndBase;

class CSpinArrows : public QWidget {
    Q_OBJECT
public:
    // `owner` gets the notifications; nullptr means the nearest window base
    // among the parents. The arrows register themselves with the owner under `id`.
    CSpinArrows(int id, QWidget* parent, CWndBase* owner = nullptr);

    int GetDlgCtrlID() const { return m_id; }
    // The owner is going: nothing more is sent to it.
    void ForgetOwner(const CWndBase* owner) {
        if (m_owner == owner) m_owner = nullptr;
    }
    // The range the position is held in; the position follows into it.
    void SetScrollRange(int minPos, int maxPos);
    int GetScrollPos() const { return m_pos; }

    QSize sizeHint() const override;

    static constexpr int kFirstRepeatMs = 400;
    static constexpr int kRepeatMs = 100;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool event(QEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    enum class Part { None, Up, Down };
    Part PartAt(const QPoint& p) const;
    QRect PartRect(Part part) const;
    void Notify(unsigned code);
    void Step(unsigned code);  // SB_LINEUP or SB_LINEDOWN; ends the press when a window took the input
    void CutShort();           // ends the press, after the step in progress if there is one
    void EndPress();

    int m_id;
    int m_pos;
    int m_min, m_max;
    CWndBase* m_owner;
    Part m_pressed = Part::None;
    bool m_hover = false;  // the pointer is still on the pressed arrow
    bool m_keyHeld = false;
    bool m_trackButtons = false;  // the application knows the button of this press is down
    bool m_stepping = false;     // a step notification is running
    bool m_cutShort = false;     // the press is to end once that step returns
    QBasicTimer m_repeat;
};
