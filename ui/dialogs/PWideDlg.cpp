#include "ui/dialogs/PWideDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <algorithm>

#include "link/CommandFrames.h"
#include "records/SharedRecords.h"
#include "platform/NumText.h"
#include "platform/ui/Draw.h"
#include "platform/ui/GuiThread.h"
#include "platform/ui/SpinArrows.h"
#include "platform/ui/UiText.h"
#include "settings/Header.h"
#include "settings/Preferences.h"
#include "ui/controls/ColorStaticST.h"
#include "ui/dialogs/DialogExt.h"
#include "ui/dialogs/ReadIntFromEdit.h"

namespace {

// Dialog units of the template font (8-point "MS Shell Dlg": 6 x 13 base units) to pixels.
int DluX(int x) { return (x * 6 + 2) / 4; }
int DluY(int y) { return (y * 13 + 4) / 8; }
QRect DluRect(int x, int y, int w, int h) { return QRect(DluX(x), DluY(y), DluX(w), DluY(h)); }

unsigned KeyFlags(const QMouseEvent* e) {
    unsigned f = 0;
    const Qt::MouseButtons b = e->buttons();
    if (b & Qt::LeftButton) f |= zns::MK_LBUTTON;
    if (b & Qt::RightButton) f |= zns::MK_RBUTTON;
    if (b & Qt::MiddleButton) f |= zns::MK_MBUTTON;
    if (e->modifiers() & Qt::ShiftModifier) f |= zns::MK_SHIFT;
    if (e->modifiers() & Qt::ControlModifier) f |= zns::MK_CONTROL;
    return f;
}

QIcon ReceiverIcon(int rx) {
    QPixmap pm(32, 32);
    pm.fill(QColor(0, 0, 0));
    QPainter p(&pm);
    p.setPen(QColor(0, 255, 0));
    p.setFont(zns::ui::MakeFont("Arial", 22, 700));
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QString::number(rx + 1));
    p.end();
    return QIcon(pm);
}



}  // namespace

CPWideDlg::CPWideDlg(SharedData& shared, SettingsData& settings, QWidget* parent)
    : CResizableDialog(IDD, parent), m_shared(shared), m_settings(settings) {
    // Popup with a resizable frame but no caption bar, and its own taskbar button.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint);
    setFont(zns::ui::MakeFont("Arial", 11, 400));
    resize(DluX(325), DluY(57));
    BuildControls();
}

CPWideDlg::~CPWideDlg() {
    KillTimer(kStartTimerId);
    KillTimer(kStateTimerId);
    KillTimer(kDragTimerId);
}

void CPWideDlg::BuildControls() {
    m_scope = new CWaveCtrl(m_shared, this);
    m_scope->setGeometry(DluRect(2, 1, 256, 55));
    m_scope->SetOwner(this);
    SetDlgItem(IDC_SCOPE, m_scope);

    auto* fa = new QPushButton("FA", this);
    fa->setGeometry(DluRect(261, 2, 13, 9));
    SetDlgItem(IDC_FA, fa);

    auto* title = new QLabel("Gain", this);
    title->setAlignment(Qt::AlignCenter);
    title->setGeometry(DluRect(276, 3, 35, 8));
    SetDlgItem(IDC_TITLE, title);

    m_close = new QPushButton(this);
    m_close->setGeometry(DluRect(312, 2, 11, 9));
    m_close->setDefault(true);
    m_close->setAutoDefault(true);
    m_close->setFocusPolicy(Qt::StrongFocus);
    SetDlgItem(IDC_CLOSE, m_close);

    auto* zoomCaption = new QLabel("Zoom", this);
    zoomCaption->setGeometry(DluRect(267, 16, 19, 8));
    SetDlgItem(IDC_ZOOM_CAPTION, zoomCaption);

    m_zoom = new QComboBox(this);
    m_zoom->setGeometry(DluRect(286, 14, 31, 12));
    SetDlgItem(IDC_ZOOM, m_zoom);

    m_gainEdit = new QLineEdit(this);
    m_gainEdit->setAlignment(Qt::AlignCenter);
    m_gainEdit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), m_gainEdit));
    m_gainEdit->setGeometry(DluRect(265, 32, 19, 12));
    SetDlgItem(IDC_GAIN_EDIT, m_gainEdit);
    m_gainEdit->installEventFilter(this);

    m_spin = new CSpinArrows(IDC_GAIN_SPIN, this, this);
    m_spin->setGeometry(DluRect(283, 32, 8, 13));

    m_gainShown = new CColorStaticST(this);
    m_gainShown->setAlignment(Qt::AlignCenter);
    m_gainShown->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_gainShown->setGeometry(DluRect(292, 32, 19, 12));
    SetDlgItem(IDC_GAIN_SHOWN, m_gainShown);

    auto* db = new QLabel("db", this);
    db->setGeometry(DluRect(313, 34, 8, 8));
    SetDlgItem(IDC_DB, db);

    m_agc = new QCheckBox("AGC", this);
    m_agc->setGeometry(DluRect(279, 48, 27, 8));
    SetDlgItem(IDC_AGC, m_agc);

    MapCommand(IDC_AGC, [this] { OnBnClickedAgc(); });
    MapCommand(IDC_FA, [this] { OnBnClickedFa(); });
    MapCommand(ID_SCOPE_SETTINGS_CHANGED, [this] { OnCommand64808(); });
    // User selections only, as the selection-change notification comes.
    ConnectControl(m_zoom, &QComboBox::activated, [this] { OnCbnSelchangeZoom(); });
}

int CPWideDlg::RxIndex() const {
    const int rx = m_receiverId - RX1_ID;
    return (rx >= 0 && rx < 3) ? rx : -1;
}

BOOL CPWideDlg::OnInitDialog() {
    CResizableDialog::OnInitDialog();
    m_receiverId = -1;
    m_gain = -1;
    KillTimer(kDragTimerId);
    m_anchor = QPoint(-1, -1);

    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_close->setIconSize(QSize(16, 16));

    zns::WindowPlacement wp;
    GetWindowPlacement(wp);
    m_templateWidth = wp.Width();
    m_templateHeight = wp.Height();

    m_replayShown = 0;
    m_gainEnabled = 0;
    m_dragging = 0;
    m_gainShown->SetBkColor(kLiveColor);
    QPalette pal = m_gainEdit->palette();
    pal.setColor(QPalette::Base, Qt::white);
    m_gainEdit->setPalette(pal);

    m_spin->SetScrollRange(IDC_GAIN_SPIN, IDC_GAIN_SPIN);

    m_scope->m_strCaption1 = "---";
    m_scope->m_strCaption2 = "Wide";
    m_scope->ClearTrace();

    SetTimer(kStartTimerId, 100);

    AddAnchor(m_scope, TOP_LEFT, BOTTOM_RIGHT);
    AddAnchor(m_gainEdit, BOTTOM_RIGHT, BOTTOM_RIGHT);
    AddAnchor(m_spin, BOTTOM_RIGHT, BOTTOM_RIGHT);
    AddAnchor(m_gainShown, BOTTOM_RIGHT, BOTTOM_RIGHT);
    AddAnchor(GetDlgItem(IDC_DB), BOTTOM_RIGHT, BOTTOM_RIGHT);
    AddAnchor(m_close, TOP_RIGHT, TOP_RIGHT);
    AddAnchor(GetDlgItem(IDC_FA), TOP_RIGHT, TOP_RIGHT);
    AddAnchor(m_agc, BOTTOM_RIGHT, BOTTOM_RIGHT);
    AddAnchor(GetDlgItem(IDC_ZOOM_CAPTION), MIDDLE_RIGHT, MIDDLE_RIGHT);
    AddAnchor(m_zoom, MIDDLE_RIGHT, MIDDLE_RIGHT);
    AddAnchor(GetDlgItem(IDC_TITLE), TOP_RIGHT, TOP_RIGHT);

    m_zoom->clear();
    for (int z : kZoomItems) m_zoom->addItem(QString::number(z), z);
    m_zoom->setCurrentIndex(0);

    EnableDlgItem(IDC_GAIN_SPIN, FALSE);
    EnableDlgItem(IDC_GAIN_EDIT, FALSE);
    return TRUE;
}

void CPWideDlg::SetReceiver(int id) {
    m_receiverId = id;
    m_scope->m_nChannel = id;
    m_scope->SetFlag(0);
    const int rx = RxIndex();
    if (rx >= 0) m_gain = m_shared.SnapshotSettings().GainRx(rx);
    SetDlgItemText(IDC_GAIN_EDIT, zns::Format("%d", m_gain));
}

void CPWideDlg::UpdateView(const std::string& title) {
    SetWindowText(title);
    SetDlgItemText(IDC_TITLE, title);
    // The title's place between "FA" and the close button does not grow with the
    // view: a longer receiver name gets a smaller font rather than a clipped end.
    QWidget* label = GetDlgItem(IDC_TITLE);
    QFont f = font();
    const QString text = zns::ui::ToQ(title);
    while (f.pixelSize() > kMinTitlePixels &&
           QFontMetrics(f).horizontalAdvance(text) > label->contentsRect().width())
        f.setPixelSize(f.pixelSize() - 1);
    label->setFont(f);
    const int rx = RxIndex();
    m_iconId = rx == 1 ? IDI_RX2 : rx == 2 ? IDI_RX3 : IDI_RX1;
    setWindowIcon(ReceiverIcon(rx < 0 ? 0 : rx));
}

void CPWideDlg::ShowGainText(int gain) {
    zns::ui::RunOnGui(this, [this, gain] { SetDlgItemText(IDC_GAIN_SHOWN, zns::Format("%d", gain)); });
}

void CPWideDlg::SendF9() {
    if (m_hooks.sendF9)
        m_hooks.sendF9();
    else
        QueueCommand(m_shared, CMD_9);
}

void CPWideDlg::SaveConfig() {
    if (m_hooks.saveConfig)
        m_hooks.saveConfig();
    else if (m_prefs)
        m_prefs->SaveConfig();
}

// ---------------------------------------------------------------------------
// Timers

void CPWideDlg::OnTimer(unsigned id) {
    if (id == kStartTimerId) {
        KillTimer(kStartTimerId);
        m_scope->ClearTrace();
        SetTimer(kStateTimerId, 100);
        const int rx = RxIndex();
        if (rx < 0) return;
        CheckDlgButton(IDC_AGC, m_shared.SnapshotSettings().AGC_Rx(rx) ? BST_CHECKED : BST_UNCHECKED);
    } else if (id == kDragTimerId) {
        KillTimer(kDragTimerId);
        m_dragging = 0;
        m_anchor = QPoint(-1, -1);
        setCursor(Qt::ArrowCursor);
    } else if (id == kStateTimerId) {
        KillTimer(kStateTimerId);
        const SessionState session = m_shared.SnapshotSession();
        const bool powered = m_shared.m_bSondePowered.load();
        const int rx = RxIndex();

        // 1. A replay shows the replayed header's automatic-gain flag.
        if (!session.Running && m_replayShown) {
            m_gainShown->SetBkColor(kLiveColor);
            CheckDlgButton(IDC_AGC, static_cast<unsigned>(m_savedAgcCheck));
            m_replayShown = 0;
        } else if (session.Running && !m_replayShown) {
            m_gainShown->SetBkColor(kReplayColor);
            EnableDlgItem(IDC_AGC, FALSE);
            m_replayShown = 1;
            m_savedAgcCheck = static_cast<int>(IsDlgButtonChecked(IDC_AGC));
            BOOL agc = FALSE;
            if (m_header) agc = rx == 0 ? m_header->Rx1_AGC : rx == 1 ? m_header->Rx2_AGC : m_header->Rx3_AGC;
            CheckDlgButton(IDC_AGC, agc ? BST_CHECKED : BST_UNCHECKED);
        }
        // 2.
        EnableDlgItem(IDC_AGC, !session.Recording && powered && !session.Running);
        // 3. Manual gain only while not recording, not on AGC and with the sonde on.
        if (!session.Recording && IsDlgButtonChecked(IDC_AGC) != BST_CHECKED) {
            if (powered) {
                if (!m_gainEnabled) {
                    EnableDlgItem(IDC_GAIN_SPIN, TRUE);
                    EnableDlgItem(IDC_GAIN_EDIT, TRUE);
                    m_gainEnabled = 1;
                }
            } else if (m_gainEnabled) {
                EnableDlgItem(IDC_GAIN_SPIN, FALSE);
                EnableDlgItem(IDC_GAIN_EDIT, FALSE);
                m_gainEnabled = 0;
            }
        } else {
            EnableDlgItem(IDC_GAIN_SPIN, FALSE);
            EnableDlgItem(IDC_GAIN_EDIT, FALSE);
            m_gainEnabled = 0;
        }
        // 4.
        SetTimer(kStateTimerId, 250);
    }
}

// ---------------------------------------------------------------------------
// Gain

void CPWideDlg::CommitGain() {
    const int rx = RxIndex();
    if (rx >= 0) {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.GainRx(rx) = m_gain;
    }
    SaveConfig();
    SendF9();
}

void CPWideDlg::OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows* bar) {
    if (pos != static_cast<unsigned>(IDC_GAIN_SPIN)) return;
    switch (sbCode) {
        case SB_LINEUP: m_gain = std::min(m_gain + 1, kMaxGain); break;
        case SB_LINEDOWN: m_gain = std::max(m_gain - 1, 0); break;
        case SB_ENDSCROLL:
            CommitGain();
            ResetDisplayGain();
            break;
        default: return;
    }
    SetDlgItemText(IDC_GAIN_EDIT, zns::Format("%d", m_gain));
}

void CPWideDlg::OnOK() {
    QWidget* focus = focusWidget();
    if (focus == m_gainEdit) {
        if (RefuseEmptyDlgItem(this, IDC_GAIN_EDIT)) {
            SetDlgItemText(IDC_GAIN_EDIT, zns::Format("%d", m_gain));
            return;
        }
        const int value = ReadIntFromEdit(this, IDC_GAIN_EDIT);
        if (value >= 0 && value <= kMaxGain) {
            m_gain = value;
            CommitGain();
            SetDlgItemText(IDC_GAIN_EDIT, zns::Format("%d", m_gain));
            ResetDisplayGain();
        } else {
            MessageBox(CDialogExt::kMsgBadValue, {}, MB_OK);
        }
    } else if (focus == m_close) {
        CResizableDialog::OnOK();
    }
}

bool CPWideDlg::eventFilter(QObject* watched, QEvent* event) {
    // The gain is taken by Enter only: an edit left without it shows the gain in
    // use again (another window or a menu taking the focus is no leaving).
    if (watched == m_gainEdit && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason why = static_cast<QFocusEvent*>(event)->reason();
        if (why != Qt::PopupFocusReason && why != Qt::ActiveWindowFocusReason)
            SetDlgItemText(IDC_GAIN_EDIT, zns::Format("%d", m_gain));
    }
    return CResizableDialog::eventFilter(watched, event);
}

void CPWideDlg::OnBnClickedAgc() {
    const int rx = RxIndex();
    if (rx >= 0) {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.AGC_Rx(rx) = IsDlgButtonChecked(IDC_AGC) == BST_CHECKED ? 1 : 0;
    }
    SendF9();
    SaveConfig();
}

// ---------------------------------------------------------------------------
// Display gain and first arrival

void CPWideDlg::OnCbnSelchangeZoom() {
    const int index = m_zoom->currentIndex();
    if (index < 0) return;
    const int zoom = m_zoom->itemData(index).toInt();
    const int rx = RxIndex();
    if (rx >= 0) m_shared.g_nDisplayGainRx[rx].store(zoom);
    m_scope->SetGain(zoom);
    m_scope->StartRefreshTimer();
}

void CPWideDlg::ResetDisplayGain() {
    m_zoom->setCurrentIndex(0);
    const int rx = RxIndex();
    if (rx >= 0) m_shared.g_nDisplayGainRx[rx].store(1);
}

void CPWideDlg::OnBnClickedFa() { m_scope->EditCursor(); }

void CPWideDlg::OnCommand64808() { m_scope->LoadChannelSettings(); }

// ---------------------------------------------------------------------------
// Dragging

void CPWideDlg::OnLButtonDown(unsigned flags, int x, int y) {
    if (m_dragging) return;
    m_anchor = QPoint(x, y);
    SetTimer(kDragTimerId, 100);
    m_dragging = 1;
}

void CPWideDlg::OnMouseMove(unsigned flags, int x, int y) {
    if (flags != zns::MK_LBUTTON) return;
    KillTimer(kDragTimerId);
    if (m_anchor.x() < 1 || m_anchor.y() <= 0) {
        m_anchor = QPoint(x, y);
        m_dragging = 1;
    } else {
        zns::WindowPlacement wp;
        GetWindowPlacement(wp);
        const int dx = x - m_anchor.x();
        const int dy = y - m_anchor.y();
        wp.left += dx;
        wp.right += dx;
        wp.top += dy;
        wp.bottom += dy;
        SetWindowPlacement(wp);
    }
    SetTimer(kDragTimerId, 200);
    setCursor(Qt::SizeAllCursor);
}

void CPWideDlg::OnLButtonUp(unsigned flags, int x, int y) { m_dragging = 0; }

long CPWideDlg::OnScopeNotify(unsigned idFrom, const ScopeNotify& n) {
    if (idFrom == static_cast<unsigned>(IDC_SCOPE) && n.channel == m_receiverId) {
        if (n.hdr.code == CWaveCtrl::kNotifyButtonDown)
            OnScopeLButtonDown(n);
        else if (n.hdr.code == CWaveCtrl::kNotifyButtonUp)
            OnScopeLButtonUp(n);
        else if (n.hdr.code == CWaveCtrl::kNotifyMouseMove)
            OnScopeMouseMove(n);
    }
    return -1;
}

void CPWideDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        const QPoint p = e->position().toPoint();
        OnLButtonDown(KeyFlags(e), p.x(), p.y());
    }
    CResizableDialog::mousePressEvent(e);
}

void CPWideDlg::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        const QPoint p = e->position().toPoint();
        OnLButtonUp(KeyFlags(e), p.x(), p.y());
    }
    CResizableDialog::mouseReleaseEvent(e);
}

void CPWideDlg::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    OnMouseMove(KeyFlags(e), p.x(), p.y());
    CResizableDialog::mouseMoveEvent(e);
}

void CPWideDlg::showEvent(QShowEvent* e) {
    // A gain typed but never applied before the view was closed does not come
    // back with it: the view opens on the stored gain.
    if (const int rx = RxIndex(); rx >= 0) {
        m_gain = m_shared.SnapshotSettings().GainRx(rx);
        SetDlgItemText(IDC_GAIN_EDIT, zns::Format("%d", m_gain));
    }
    CResizableDialog::showEvent(e);
    m_shown.store(true);
}

void CPWideDlg::hideEvent(QHideEvent* e) {
    CResizableDialog::hideEvent(e);
    m_shown.store(false);
}

// ---------------------------------------------------------------------------
// Placement

void CPWideDlg::ShowWide() {
    const int rx = RxIndex();
    if (rx < 0) return;
    const ::WindowPlacement& stored = m_settings.layout.placement[LAYOUT_WIDE_RX1 + rx];
    if (stored.IsPresent()) {
        SetWindowPlacement(stored);
        return;
    }
    if (m_hooks.restoreMainWindowPos) m_hooks.restoreMainWindowPos();
    if (!m_hooks.mainWindowRect) return;
    const QRect main = m_hooks.mainWindowRect();
    const int L = main.left();
    const int R = main.left() + main.width();
    const int B = main.top() + main.height();
    int x = L + (R - L - m_templateWidth) / 2;
    int y = B + 4;
    if (rx == 1) {
        x += 30;
        y += 40;
    } else if (rx == 2) {
        x += 60;
        y += 70;
    }
    setGeometry(x, y, m_templateWidth, m_templateHeight);
}

void CPWideDlg::OnClose() {
    const int rx = RxIndex();
    if (rx >= 0) {
        zns::WindowPlacement wp;
        GetWindowPlacement(wp);
        m_settings.layout.placement[LAYOUT_WIDE_RX1 + rx] = wp;
    }
    CResizableDialog::OnClose();
}
