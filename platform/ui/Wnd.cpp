#include "platform/ui/Wnd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QTimerEvent>
#include <algorithm>

#include "platform/NumText.h"
#include "platform/ui/GuiThread.h"
#include "platform/ui/Menu.h"
#include "platform/ui/SpinArrows.h"
#include "platform/ui/UiService.h"
#include "platform/ui/UiText.h"

namespace {
constexpr const char* kCtrlId = "znsCtrlId";
// On the push buttons of a dialog: true on the dialog's own default, false on the others.
constexpr const char* kMainDefault = "znsMainDefault";
// On controls that take the focus when pressed though their policy says Tab only.
constexpr const char* kPressFocus = "znsPressFocus";

// Enter pressed the default button from a control that is no button: as on the
// desktop, the focus stays where it is and the default acts on it.
bool g_keepFocusOnPress = false;

bool TakesFocusWhenPressed(const QWidget* w) {
    return w->focusPolicy() == Qt::StrongFocus || w->property(kPressFocus).toBool();
}

// The default frame of a window: on the push button that has the focus, else
// back on the dialog's own default. Buttons of boxes and other windows are not ours.
void DrawDefaultFrame(QWidget* top) {
    if (!top) return;
    auto* focus = qobject_cast<QPushButton*>(QApplication::focusWidget());
    if (focus && (focus->window() != top || !focus->property(kMainDefault).isValid())) focus = nullptr;
    const QList<QPushButton*> buttons = top->findChildren<QPushButton*>();
    // Clear first: making a button the default clears the others of its dialog.
    for (bool pass : {false, true})
        for (QPushButton* b : buttons) {
            const QVariant main = b->property(kMainDefault);
            if (!main.isValid()) continue;
            const bool want = focus ? b == focus : main.toBool();
            if (want == pass && b->isDefault() != want) b->setDefault(want);
        }
}

// Only a focus change onto or off one of our push buttons moves the frame. A
// widget being destroyed is no longer one (its window may be half gone).
QWidget* FramedWindow(QWidget* w) {
    auto* b = qobject_cast<QPushButton*>(w);
    return b && b->property(kMainDefault).isValid() ? b->window() : nullptr;
}

void FollowFocus(QWidget* old, QWidget* now) {
    QWidget* a = FramedWindow(old);
    QWidget* b = FramedWindow(now);
    DrawDefaultFrame(a);
    if (b != a) DrawDefaultFrame(b);
}

// A left press on a push button takes the focus first, so that the edit it
// leaves takes its value before the button acts.
class PressTakesFocus : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::MouseButtonPress && e->type() != QEvent::MouseButtonDblClick) return false;
        auto* w = qobject_cast<QWidget*>(watched);
        return w && w->isEnabled() && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton &&
               !zns::ui::TakeFocusForPress(w);
    }
};

PressTakesFocus* PressFilter() {
    static PressTakesFocus* filter = [] {
        auto* f = new PressTakesFocus(qApp);
        QObject::connect(qApp, &QApplication::focusChanged, f, &FollowFocus);
        return f;
    }();
    return filter;
}
}  // namespace

namespace zns::ui {

std::string WidgetText(const QWidget* w) {
    if (!w) return {};
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return FromQ(e->text());
    if (auto* l = qobject_cast<const QLabel*>(w)) return FromQ(l->text());
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return FromQ(b->text());
    if (auto* c = qobject_cast<const QComboBox*>(w)) return FromQ(c->currentText());
    if (auto* g = qobject_cast<const QGroupBox*>(w)) return FromQ(g->title());
    if (auto* p = qobject_cast<const QPlainTextEdit*>(w)) return FromQ(p->toPlainText());
    if (auto* t = qobject_cast<const QTextEdit*>(w)) return FromQ(t->toPlainText());
    return FromQ(w->windowTitle());
}

void SetWidgetText(QWidget* w, const std::string& text) {
    if (!w) return;
    const QString q = ToQ(text);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(q);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(q);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(q);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        if (c->isEditable()) {
            c->setEditText(q);
        } else {
            const int i = c->findText(q);
            if (i >= 0) c->setCurrentIndex(i);
        }
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(q);
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        p->setPlainText(q);
    } else if (auto* t = qobject_cast<QTextEdit*>(w)) {
        t->setPlainText(q);
    } else {
        w->setWindowTitle(q);
    }
}

BOOL ShowWidget(QWidget* w, int cmdShow) {
    if (!w) return FALSE;
    const BOOL wasVisible = w->isVisible() ? TRUE : FALSE;
    if (cmdShow == SW_HIDE) {
        w->hide();
        return wasVisible;
    }
    if (!w->isWindow()) {
        w->show();
        return wasVisible;
    }
    switch (cmdShow) {
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE: w->showMinimized(); break;
        case SW_SHOWMAXIMIZED: w->showMaximized(); break;
        case SW_SHOWNORMAL:
        case SW_RESTORE:
        case SW_SHOWDEFAULT: w->showNormal(); break;
        case SW_SHOWNA:
        case SW_SHOWNOACTIVATE: {
            const bool had = w->testAttribute(Qt::WA_ShowWithoutActivating);
            w->setAttribute(Qt::WA_ShowWithoutActivating, true);
            w->show();
            w->setAttribute(Qt::WA_ShowWithoutActivating, had);
            break;
        }
        default: w->show(); break;
    }
    return wasVisible;
}

bool TakeFocusForPress(QWidget* w) {
    if (!w || g_keepFocusOnPress || !w->isVisible() || w->window()->focusWidget() == w) return true;
    const unsigned modals = ModalSessionCount();
    w->setFocus(Qt::MouseFocusReason);
    // A box shown by the edit it left took the press, as it takes the mouse.
    return ModalSessionCount() == modals;
}

void PressTakesFocusByPolicy(QWidget* w) {
    if (!w || w->property(kPressFocus).toBool()) return;
    w->setProperty(kPressFocus, true);
    w->setFocusPolicy(Qt::TabFocus);
    w->installEventFilter(PressFilter());
}

QRect KeepOnScreen(const QRect& r) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* primary = QGuiApplication::primaryScreen();
    if (screens.isEmpty() || !primary || r.width() <= 0 || r.height() <= 0) return r;
    // Visible enough when part of the top band (where the title bar is) lies on a screen.
    const QRect band(r.left(), r.top(), r.width(), std::min(r.height(), 30));
    const int needW = std::min(50, r.width());
    const int needH = std::min(10, band.height());
    for (QScreen* s : screens) {
        const QRect inter = s->availableGeometry().intersected(band);
        if (inter.width() >= needW && inter.height() >= needH) return r;
    }
    const QRect avail = primary->availableGeometry();
    QRect out(0, 0, std::min(r.width(), avail.width()), std::min(r.height(), avail.height()));
    out.moveTopLeft(QPoint(avail.left() + (avail.width() - out.width()) / 2,
                           avail.top() + (avail.height() - out.height()) / 2));
    return out;
}

}  // namespace zns::ui

// ---------------------------------------------------------------------------
// CWndBase

CWndBase::CWndBase(QWidget* self) : m_self(self) {}

CWndBase::~CWndBase() { CutHandlers(); }

void CWndBase::CutHandlers() {
    for (const QMetaObject::Connection& c : m_connections) QObject::disconnect(c);
    m_connections.clear();
    m_commands.clear();
    if (m_menu) m_menu->SetCommandTarget(nullptr);
    // A spin held as the window goes would send its end to it.
    for (const auto& [id, item] : m_items)
        if (auto* spin = qobject_cast<CSpinArrows*>(item.data())) spin->ForgetOwner(this);
}

unsigned CWndBase::SetTimer(unsigned id, unsigned elapseMs) {
    if (!zns::ui::IsGuiThread()) {
        zns::ui::PostToGui(m_self, [this, id, elapseMs] { SetTimer(id, elapseMs); });
        return id;
    }
    auto it = m_timers.find(id);
    if (it != m_timers.end()) {
        m_self->killTimer(it->second);
        m_timerIds.erase(it->second);
        m_timers.erase(it);
    }
    const int qtId = m_self->startTimer(static_cast<int>(std::min<unsigned>(elapseMs, 0x7FFFFFFF)),
                                        Qt::PreciseTimer);
    if (qtId == 0) return 0;
    m_timers[id] = qtId;
    m_timerIds[qtId] = id;
    return id;
}

BOOL CWndBase::KillTimer(unsigned id) {
    if (!zns::ui::IsGuiThread()) {
        zns::ui::PostToGui(m_self, [this, id] { KillTimer(id); });
        return TRUE;
    }
    auto it = m_timers.find(id);
    if (it == m_timers.end()) return FALSE;
    m_self->killTimer(it->second);
    m_timerIds.erase(it->second);
    m_timers.erase(it);
    return TRUE;
}

bool CWndBase::IsTimerSet(unsigned id) const { return m_timers.count(id) != 0; }

bool CWndBase::DispatchTimerEvent(QTimerEvent* e) {
    auto it = m_timerIds.find(e->timerId());
    if (it == m_timerIds.end()) return false;
    const unsigned id = it->second;  // OnTimer may kill or re-arm it
    OnTimer(id);
    return true;
}

BOOL CWndBase::OnCommand(unsigned id) {
    auto it = m_commands.find(id);
    if (it == m_commands.end() || !it->second) return FALSE;
    auto handler = it->second;  // the handler may remap its own id
    handler();
    return TRUE;
}

BOOL CWndBase::SendCommand(unsigned id) { return OnCommand(id); }

void CWndBase::PostCommand(unsigned id) {
    zns::ui::PostToGui(m_self, [this, id] { SendCommand(id); });
}

void CWndBase::MapCommand(unsigned id, std::function<void()> handler) { m_commands[id] = std::move(handler); }

void CWndBase::SetDlgItem(int id, QWidget* control) {
    auto old = m_items.find(id);
    if (old != m_items.end() && old->second && old->second != control) {
        old->second->setProperty(kCtrlId, QVariant());
        if (auto* b = qobject_cast<QAbstractButton*>(old->second.data()))
            QObject::disconnect(b, &QAbstractButton::clicked, m_self, nullptr);
    }
    if (!control) {
        m_items.erase(id);
        return;
    }
    const bool fresh = old == m_items.end() || old->second != control;
    m_items[id] = control;
    control->setProperty(kCtrlId, id);
    if (fresh)
        if (auto* b = qobject_cast<QAbstractButton*>(control))
            ConnectControl(b, &QAbstractButton::clicked, [this, id, b] {
                // Alt+letter and Enter press it too: the focus moves as for a click.
                if (TakesFocusWhenPressed(b) && !zns::ui::TakeFocusForPress(b)) return;
                SendCommand(id);
            });
}

QWidget* CWndBase::GetDlgItem(int id) const {
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second.data();
}

int CWndBase::GetDlgCtrlID(const QWidget* control) {
    if (!control) return 0;
    const QVariant v = control->property(kCtrlId);
    return v.isValid() ? v.toInt() : 0;
}

std::string CWndBase::GetDlgItemText(int id) const { return zns::ui::WidgetText(GetDlgItem(id)); }

BOOL CWndBase::SetDlgItemText(int id, const std::string& text) {
    QWidget* w = GetDlgItem(id);
    if (!w) return FALSE;
    zns::ui::SetWidgetText(w, text);
    return TRUE;
}

unsigned CWndBase::GetDlgItemInt(int id, BOOL* translated, BOOL isSigned) const {
    if (translated) *translated = FALSE;
    QWidget* w = GetDlgItem(id);
    if (!w) return 0;
    const std::string text = zns::ui::WidgetText(w);
    int value = 0;
    if (!zns::ParseIntStrict(text, value)) return 0;
    if (!isSigned && value < 0) return 0;
    if (translated) *translated = TRUE;
    return static_cast<unsigned>(value);
}

BOOL CWndBase::SetDlgItemInt(int id, unsigned value, BOOL isSigned) {
    return SetDlgItemText(id, isSigned ? zns::Format("%d", static_cast<int>(value)) : zns::Format("%u", value));
}

BOOL CWndBase::CheckDlgButton(int id, unsigned check) {
    auto* b = GetDlgItem<QAbstractButton>(id);
    if (!b) return FALSE;
    if (auto* c = qobject_cast<QCheckBox*>(b); c && check == BST_INDETERMINATE) {
        c->setTristate(true);
        c->setCheckState(Qt::PartiallyChecked);
        return TRUE;
    }
    b->setChecked(check == BST_CHECKED);
    return TRUE;
}

unsigned CWndBase::IsDlgButtonChecked(int id) const {
    auto* b = GetDlgItem<QAbstractButton>(id);
    if (!b) return BST_UNCHECKED;
    if (auto* c = qobject_cast<QCheckBox*>(b); c && c->checkState() == Qt::PartiallyChecked)
        return BST_INDETERMINATE;
    return b->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

BOOL CWndBase::EnableDlgItem(int id, BOOL enable) {
    QWidget* w = GetDlgItem(id);
    if (!w) return FALSE;
    const BOOL wasDisabled = w->isEnabled() ? FALSE : TRUE;
    w->setEnabled(enable != FALSE);
    return wasDisabled;
}

BOOL CWndBase::ShowDlgItem(int id, int cmdShow) { return zns::ui::ShowWidget(GetDlgItem(id), cmdShow); }

void CWndBase::SetWindowText(const std::string& text) { m_self->setWindowTitle(zns::ui::ToQ(text)); }

std::string CWndBase::GetWindowText() const { return zns::ui::FromQ(m_self->windowTitle()); }

BOOL CWndBase::EnableWindow(BOOL enable) {
    const BOOL wasDisabled = m_self->isEnabled() ? FALSE : TRUE;
    m_self->setEnabled(enable != FALSE);
    return wasDisabled;
}

BOOL CWndBase::ShowWindow(int cmdShow) { return zns::ui::ShowWidget(m_self, cmdShow); }

BOOL CWndBase::IsWindowVisible() const { return m_self->isVisible() ? TRUE : FALSE; }

QRect CWndBase::GetClientRect() const {
    QRect r = m_self->rect();
    if (m_menuBar && m_menuBar->parentWidget() == m_self && !m_menuBar->isHidden())
        r.setTop(std::min(r.bottom() + 1, m_menuBar->geometry().bottom() + 1));
    return r;
}

BOOL CWndBase::GetWindowPlacement(zns::WindowPlacement& wp) const {
    wp = {};
    wp.length = zns::WindowPlacement::kBytes;
    wp.flags = m_placeFlags;
    const Qt::WindowStates st = m_self->windowState();
    if (st & Qt::WindowMinimized) {
        wp.showCmd = SW_SHOWMINIMIZED;
        if (st & Qt::WindowMaximized)
            wp.flags |= WPF_RESTORETOMAXIMIZED;
        else
            wp.flags &= ~WPF_RESTORETOMAXIMIZED;
    } else {
        wp.showCmd = (st & Qt::WindowMaximized) ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    }
    wp.minX = m_minPos[0];
    wp.minY = m_minPos[1];
    wp.maxX = m_maxPos[0];
    wp.maxY = m_maxPos[1];
    QRect r = m_self->isWindow() ? m_self->normalGeometry() : m_self->geometry();
    if (!r.isValid()) r = m_self->geometry();
    wp.left = r.x();
    wp.top = r.y();
    wp.right = r.x() + r.width();
    wp.bottom = r.y() + r.height();
    return TRUE;
}

BOOL CWndBase::SetWindowPlacement(const zns::WindowPlacement& wp) {
    m_placeFlags = wp.flags;
    m_minPos[0] = wp.minX;
    m_minPos[1] = wp.minY;
    m_maxPos[0] = wp.maxX;
    m_maxPos[1] = wp.maxY;
    QRect r(wp.left, wp.top, wp.Width(), wp.Height());
    if (r.width() > 0 && r.height() > 0) {  // a damaged rectangle keeps the current geometry
        if (m_self->isWindow()) {
            r = zns::ui::KeepOnScreen(r);
            // The rectangle is the normal one: leave maximised/minimised state first.
            m_self->setWindowState(m_self->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
        }
        m_self->setGeometry(r);
    }
    if (!m_self->isWindow()) {
        m_self->setVisible(wp.showCmd != SW_HIDE);
        return TRUE;
    }
    switch (static_cast<int>(wp.showCmd)) {
        case SW_HIDE: m_self->hide(); break;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE:
            if (wp.flags & WPF_RESTORETOMAXIMIZED) m_self->setWindowState(Qt::WindowMaximized);
            m_self->showMinimized();
            break;
        case SW_SHOWMAXIMIZED: m_self->showMaximized(); break;
        default: m_self->showNormal(); break;
    }
    return TRUE;
}

BOOL CWndBase::SetMenu(CMenu* menu) {
    if (m_menuBar && m_menuBar->parentWidget() == m_self) {
        m_menuBar->hide();
        m_menuBar->setParent(nullptr);
    }
    if (m_menu && m_menu != menu) m_menu->SetCommandTarget(nullptr);
    m_menu = menu;
    m_menuBar = menu ? menu->GetMenuBar() : nullptr;
    if (!m_menuBar) return menu == nullptr;
    m_menuBar->setParent(m_self);
    menu->SetCommandTarget(this);
    PlaceMenuBar();
    m_menuBar->show();
    return TRUE;
}

void CWndBase::PlaceMenuBar() {
    if (m_menuBar && m_menuBar->parentWidget() == m_self)
        m_menuBar->setGeometry(0, 0, m_self->width(), m_menuBar->heightForWidth(m_self->width()) > 0
                                                          ? m_menuBar->heightForWidth(m_self->width())
                                                          : m_menuBar->sizeHint().height());
}

int CWndBase::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
    return zns::ui::Service().MessageBox(m_self, text, caption.empty() ? zns::ui::AppTitle() : caption, type);
}

// ---------------------------------------------------------------------------
// CWnd

CWnd::CWnd(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags), CWndBase(this) {}

void CWnd::timerEvent(QTimerEvent* e) {
    if (!DispatchTimerEvent(e)) QWidget::timerEvent(e);
}

void CWnd::resizeEvent(QResizeEvent* e) {
    PlaceMenuBar();
    QWidget::resizeEvent(e);
}

// ---------------------------------------------------------------------------
// CDialog

CDialog::CDialog(unsigned templateId, QWidget* parent, bool childWindow)
    : QDialog(parent), CWndBase(this), m_templateId(templateId) {
    if (childWindow) setWindowFlags(Qt::Widget);
}

bool CDialog::EnsureCreated() {
    if (m_createState == 0) {
        m_createState = 1;  // before the handlers: they may show the window
        if (OnCreate() == -1) {
            m_createState = -1;
            return false;
        }
        OnInitDialog();
        // Only the button a dialog makes its default answers Enter from other
        // controls; Qt would otherwise pick one itself. The layer draws the
        // default frame: on the focused push button, else on the dialog's default.
        // A push button takes the focus when pressed (click, Alt+letter, Enter),
        // through the layer so that a box shown by the edit it leaves takes the press.
        for (QPushButton* pb : findChildren<QPushButton*>()) {
            if (pb->property(kMainDefault).isValid()) continue;  // a page's, made before
            pb->setProperty(kMainDefault, pb->isDefault());
            pb->setAutoDefault(false);
            if (pb->focusPolicy() == Qt::StrongFocus) zns::ui::PressTakesFocusByPolicy(pb);
        }
        DrawDefaultFrame(window());
    }
    return m_createState == 1;
}

BOOL CDialog::Create() { return EnsureCreated() ? TRUE : FALSE; }

int CDialog::DoModal() {
    // Modal before OnInitDialog runs: a placement restored there may already show it.
    const bool wasModal = testAttribute(Qt::WA_ShowModal);
    setAttribute(Qt::WA_ShowModal, true);
    int result = -1;
    if (EnsureCreated()) {
        zns::ui::NoteModalSession();
        result = exec();
    }
    setAttribute(Qt::WA_ShowModal, wasModal);
    return result;
}

void CDialog::EndDialog(int result) { done(result); }

BOOL CDialog::OnCommand(unsigned id) {
    if (id == static_cast<unsigned>(IDOK)) {
        OnOK();
        return TRUE;
    }
    if (id == static_cast<unsigned>(IDCANCEL)) {
        OnCancel();
        return TRUE;
    }
    return CWndBase::OnCommand(id);
}

void CDialog::accept() { SendCommand(IDOK); }

void CDialog::reject() { SendCommand(IDCANCEL); }

void CDialog::timerEvent(QTimerEvent* e) {
    if (!DispatchTimerEvent(e)) QDialog::timerEvent(e);
}

void CDialog::showEvent(QShowEvent* e) {
    EnsureCreated();
    QDialog::showEvent(e);
}

void CDialog::closeEvent(QCloseEvent* e) {
    // The close box is a request; OnClose decides (by default it cancels).
    e->ignore();
    OnClose();
}

void CDialog::keyPressEvent(QKeyEvent* e) {
    const auto mods = e->modifiers();
    const bool plain = mods == Qt::NoModifier || (mods == Qt::KeypadModifier && e->key() == Qt::Key_Enter);
    if (plain && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        // The push button that has the focus, else the default button, else IDOK
        // (OnOK). A page inside another dialog sees the key first: its focused
        // button, or its own OnOK for its edits.
        auto* pb = qobject_cast<QPushButton*>(focusWidget());
        for (QPushButton* b : findChildren<QPushButton*>())
            if (!pb && b->isDefault() && b->isVisible()) pb = b;
        if (!pb) {
            SendCommand(IDOK);
        } else if (pb->isEnabled()) {
            const bool was = g_keepFocusOnPress;
            g_keepFocusOnPress = pb != focusWidget();
            pb->click();
            g_keepFocusOnPress = was;
        }
        return;
    }
    if (plain && e->key() == Qt::Key_Escape) {
        SendCommand(IDCANCEL);
        return;
    }
    QDialog::keyPressEvent(e);
}

void CDialog::resizeEvent(QResizeEvent* e) {
    PlaceMenuBar();
    QDialog::resizeEvent(e);
}
