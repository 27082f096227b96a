#pragma once
// Window and dialog bases that keep the structure of the ported windows:
// timers by id with OnTimer, commands by id with OnCommand (menus, buttons and
// private commands all arrive there), controls reached by their id, placement
// records, and the scroll notification of the spin arrows.
//
// Threads: SetTimer, KillTimer and PostCommand may be called from any thread;
// off the GUI thread they are posted to it (in call order). Everything else is
// GUI-thread only.
#include <QDialog>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/WinUser.h"
#include "platform/WindowPlacement.h"

class QMenuBar;
class QTimerEvent;
class CMenu;
class CSpinArrows;

class CWndBase {
public:
    explicit CWndBase(QWidget* self);
    virtual ~CWndBase();
    CWndBase(const CWndBase&) = delete;
    CWndBase& operator=(const CWndBase&) = delete;

    QWidget* Widget() const { return m_self; }

    // --- timers ---------------------------------------------------------
    // Starts (or restarts with the new period) timer `id`; returns `id`, 0 on failure.
    unsigned SetTimer(unsigned id, unsigned elapseMs);
    BOOL KillTimer(unsigned id);
    bool IsTimerSet(unsigned id) const;
    virtual void OnTimer(unsigned id) {}

    // --- commands -------------------------------------------------------
    // Dispatcher for menu items, button clicks and private command ids. The
    // default runs the handler given to MapCommand; TRUE when handled.
    virtual BOOL OnCommand(unsigned id);
    BOOL SendCommand(unsigned id);   // direct, GUI thread
    void PostCommand(unsigned id);   // queued, any thread
    void MapCommand(unsigned id, std::function<void()> handler);

    // Connects a control's signal to a handler of this window. Such handlers, the
    // commands, the buttons' clicks, the menu's items and the spin arrows'
    // notifications are cut as the window's destruction reaches this base, before
    // Qt hides the window (an edit that loses the focus then ends its editing):
    // no handler runs on a window half destroyed. A window whose members emit
    // signals as they go (pages taken out of a tab widget) cuts them first itself.
    template <class Sender, class Signal, class Handler>
    QMetaObject::Connection ConnectControl(Sender* sender, Signal signal, Handler handler) {
        return m_connections.emplace_back(QObject::connect(sender, signal, m_self, std::move(handler)));
    }

    // Spin arrows: code SB_LINEUP / SB_LINEDOWN / SB_ENDSCROLL, pos = the arrows' own id.
    virtual void OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows* bar) {}

    // --- controls by id -------------------------------------------------
    // Registers a child control under `id`. A button's click then arrives as
    // OnCommand(id), as the framework delivers a click notification.
    void SetDlgItem(int id, QWidget* control);
    QWidget* GetDlgItem(int id) const;
    template <class T>
    T* GetDlgItem(int id) const {
        return qobject_cast<T*>(GetDlgItem(id));
    }
    static int GetDlgCtrlID(const QWidget* control);  // 0 when unregistered

    std::string GetDlgItemText(int id) const;
    BOOL SetDlgItemText(int id, const std::string& text);
    // Whole text (blanks around it aside) as an integer; *translated FALSE and 0 otherwise.
    unsigned GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const;
    BOOL SetDlgItemInt(int id, unsigned value, BOOL isSigned = TRUE);
    BOOL CheckDlgButton(int id, unsigned check);
    unsigned IsDlgButtonChecked(int id) const;
    BOOL EnableDlgItem(int id, BOOL enable);
    BOOL ShowDlgItem(int id, int cmdShow);

    // --- the window itself ----------------------------------------------
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    BOOL EnableWindow(BOOL enable);  // TRUE when it was disabled before
    BOOL ShowWindow(int cmdShow);    // TRUE when it was visible before
    BOOL IsWindowVisible() const;
    // Client area in widget coordinates (below the menu bar when there is one).
    QRect GetClientRect() const;

    BOOL GetWindowPlacement(zns::WindowPlacement& wp) const;
    // Top-level windows are kept on a visible screen.
    BOOL SetWindowPlacement(const zns::WindowPlacement& wp);

    // Attaches a menu (nullptr detaches); its items send OnCommand(id) here.
    BOOL SetMenu(CMenu* menu);
    CMenu* GetMenu() const { return m_menu; }

    // Box through the service; an empty caption means the application's title.
    int MessageBox(const std::string& text, const std::string& caption = {}, unsigned type = MB_OK);

protected:
    // Cuts every handler aimed at this window (above); the destructor does it anyway.
    void CutHandlers();
    // For the Qt event overrides of the concrete classes.
    bool DispatchTimerEvent(QTimerEvent* e);
    void PlaceMenuBar();

    QWidget* const m_self;

private:
    std::map<unsigned, int> m_timers;   // our id -> Qt timer id
    std::map<int, unsigned> m_timerIds; // Qt timer id -> our id
    std::map<int, QPointer<QWidget>> m_items;
    std::map<unsigned, std::function<void()>> m_commands;
    std::vector<QMetaObject::Connection> m_connections;
    CMenu* m_menu = nullptr;
    QPointer<QMenuBar> m_menuBar;
    // Placement fields Qt does not track, kept for a faithful round trip.
    uint32_t m_placeFlags = 0;
    int32_t m_minPos[2] = {-1, -1};
    int32_t m_maxPos[2] = {-1, -1};
};

// A plain window (controls, panels drawn by hand).
class CWnd : public QWidget, public CWndBase {
    Q_OBJECT
public:
    explicit CWnd(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

protected:
    void timerEvent(QTimerEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
};

// A dialog: OnCreate and OnInitDialog run once, before it is first shown (or
// from Create); Enter presses the push button that has the focus, else the
// default button (the one made so with setDefault) with the focus left where it
// is, else sends IDOK. A push button takes the focus whenever it is pressed
// (click, Tab, Alt+letter), so an edit is left, and its value taken, before the
// button acts; the default frame follows the focus onto a push button and back
// to the dialog's default when it leaves them. Escape and the close box send
// IDCANCEL (the close box through OnClose); IDOK runs OnOK, IDCANCEL OnCancel;
// both end the dialog (hide it when modeless) unless overridden.
class CDialog : public QDialog, public CWndBase {
    Q_OBJECT
public:
    // `childWindow`: a panel embedded in its parent rather than a window of its own.
    explicit CDialog(unsigned templateId = 0, QWidget* parent = nullptr, bool childWindow = false);

    unsigned GetTemplateId() const { return m_templateId; }
    // Builds a modeless dialog (OnCreate, OnInitDialog) without showing it.
    BOOL Create();
    // Runs modally; the EndDialog result, or -1 when creation failed.
    int DoModal();
    void EndDialog(int result);
    bool IsCreated() const { return m_createState == 1; }

    virtual int OnCreate() { return 0; }  // -1 refuses creation
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void OnClose() { SendCommand(IDCANCEL); }
    BOOL OnCommand(unsigned id) override;

public slots:
    void accept() override;
    void reject() override;

protected:
    void timerEvent(QTimerEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    bool EnsureCreated();

    unsigned m_templateId;
    int m_createState = 0;  // 0 not yet, 1 created, -1 refused
};

namespace zns::ui {

// Text of a control as the window system would give it (edit, static, button,
// combo, group box; any other widget: its window title).
std::string WidgetText(const QWidget* w);
void SetWidgetText(QWidget* w, const std::string& text);
// Show command applied to any widget; TRUE when it was visible before.
BOOL ShowWidget(QWidget* w, int cmdShow);
// A rectangle moved (and shrunk if need be) onto the primary screen when no
// screen shows its top band; unchanged otherwise.
QRect KeepOnScreen(const QRect& r);
// Gives `w` the focus before it acts on a press, unless it has it. FALSE when a
// box shown by the control it left (a refused value) took the press.
bool TakeFocusForPress(QWidget* w);
// A control whose policy stays Tab only but that takes the focus when the mouse presses it.
void PressTakesFocusByPolicy(QWidget* w);

}  // namespace zns::ui
