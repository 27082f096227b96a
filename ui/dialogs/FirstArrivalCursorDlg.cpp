#include "ui/dialogs/FirstArrivalCursorDlg.h"

#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "ui/WindowHandles.h"
#include "platform/ui/SpinArrows.h"
#include "platform/ui/UiText.h"
#include "ui/controls/WaveCtrl.h"
#include "ui/dialogs/DialogUnits.h"
#include "ui/dialogs/ReadIntFromEdit.h"

using zns::ui::DluRect;

CFirstArrivalCursorDlg::CFirstArrivalCursorDlg(SharedData& shared, std::function<void()> saveConfig, QWidget* parent)
    : CDialogExt(IDD, parent), m_shared(shared), m_saveConfig(std::move(saveConfig)) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("First arrival cursor"));
    setFont(zns::ui::TemplateFont());
    setFixedSize(zns::ui::DluX(153), zns::ui::DluY(85));
    BuildControls();
}

CFirstArrivalCursorDlg::~CFirstArrivalCursorDlg() { m_ending = true; }

void CFirstArrivalCursorDlg::Install(SharedData& shared, std::function<void()> saveConfig) {
    CWaveCtrl::SetCursorDialog([&shared, saveConfig](CWaveCtrl& scope) {
        CFirstArrivalCursorDlg dlg(shared, saveConfig, scope.window());
        dlg.m_nReceiverId = scope.m_nChannel;
        dlg.DoModal();
    });
}

void CFirstArrivalCursorDlg::BuildControls() {
    auto label = [this](const char* text, QWidget* buddy, int y) {
        auto* l = new QLabel(zns::ui::ToQ(text), this);
        l->setGeometry(DluRect(7, y + 2, 88, 8));
        l->setBuddy(buddy);
    };
    auto edit = [this](int id, const QRect& r, bool digitsOnly) {
        auto* e = new QLineEdit(this);
        e->setAlignment(Qt::AlignCenter);
        e->setGeometry(r);
        if (digitsOnly) e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
        e->installEventFilter(this);
        SetDlgItem(id, e);
        return e;
    };
    m_editThreshold = edit(IDC_THRESHOLD, DluRect(100, 7, 29, 12), false);
    m_spinThreshold = new CSpinArrows(IDC_THRESHOLD_SPIN, this, this);
    m_spinThreshold->setGeometry(DluRect(128, 7, 8, 13));
    label("&First arrival threshold", m_editThreshold, 7);

    m_editStart = edit(IDC_START, DluRect(99, 27, 29, 12), true);
    m_spinStart = new CSpinArrows(IDC_START_SPIN, this, this);
    m_spinStart->setGeometry(DluRect(127, 27, 8, 13));
    label("&Start window cursor", m_editStart, 27);

    m_editEnd = edit(IDC_END, DluRect(99, 47, 29, 12), true);
    m_spinEnd = new CSpinArrows(IDC_END_SPIN, this, this);
    m_spinEnd->setGeometry(DluRect(127, 47, 8, 13));
    label("&End window cursor", m_editEnd, 47);

    m_check = new QCheckBox(QStringLiteral("Use first arrival display"), this);
    m_check->setLayoutDirection(Qt::RightToLeft);   // text on the left of the box
    m_check->setGeometry(DluRect(7, 67, 128, 10));  // the box stays at the right edge
    SetDlgItem(IDC_USE, m_check);
    MapCommand(IDC_USE, [this] { OnBnClickedUseFirstArrivalDisplay(); });
}

int CFirstArrivalCursorDlg::RxIndex() const {
    const int rx = m_nReceiverId - RX1_ID;
    return (rx >= 0 && rx < 3) ? rx : -1;
}

QLineEdit* CFirstArrivalCursorDlg::Edit(int id) const { return GetDlgItem<QLineEdit>(id); }

BOOL CFirstArrivalCursorDlg::OnInitDialog() {
    CDialogExt::OnInitDialog();
    m_spinThreshold->SetScrollRange(IDC_THRESHOLD_SPIN, IDC_THRESHOLD_SPIN);
    m_spinStart->SetScrollRange(IDC_START_SPIN, IDC_START_SPIN);
    m_spinEnd->SetScrollRange(IDC_END_SPIN, IDC_END_SPIN);

    const int rx = RxIndex();
    if (rx >= 0) {
        const FirstArrivalSettings fa = m_shared.SnapshotSettings().FA[rx];
        m_cursor = {fa.Threshold, fa.StartWindow, fa.EndWindow, fa.Use};
    }
    ShowInt(IDC_THRESHOLD, m_cursor.threshold);
    ShowInt(IDC_START, m_cursor.start);
    ShowInt(IDC_END, m_cursor.end);
    CheckDlgButton(IDC_USE, m_cursor.use ? BST_CHECKED : BST_UNCHECKED);
    return TRUE;
}

void CFirstArrivalCursorDlg::ShowInt(int id, int value) { SetDlgItemInteger(id, value, -1, -1); }

void CFirstArrivalCursorDlg::StoreField(int32_t FirstArrivalSettings::*field, int value) {
    const int rx = RxIndex();
    if (rx < 0) return;
    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    m_shared.settings.FA[rx].*field = value;
}

void CFirstArrivalCursorDlg::StoreStart(int value) {
    m_cursor.start = value;
    StoreField(&FirstArrivalSettings::StartWindow, value);
}

void CFirstArrivalCursorDlg::StoreEnd(int value) {
    m_cursor.end = value;
    StoreField(&FirstArrivalSettings::EndWindow, value);
}

void CFirstArrivalCursorDlg::StoreThreshold(int value) {
    m_cursor.threshold = value;
    StoreField(&FirstArrivalSettings::Threshold, value);
}

void CFirstArrivalCursorDlg::SaveConfig() {
    if (m_saveConfig) m_saveConfig();
}

void CFirstArrivalCursorDlg::NotifyScope() {
    // Always the Rx1 view, whatever receiver this dialog edits.
    if (CWndBase* view = g_hWndWideRx1.load()) view->PostCommand(ID_SCOPE_SETTINGS_CHANGED);
}

// ---------------------------------------------------------------------------
// Edits

bool CFirstArrivalCursorDlg::RefuseEmpty(int id, int stored) {
    if (!RefuseEmptyDlgItem(this, id)) return false;
    ShowInt(id, stored);
    return true;
}

void CFirstArrivalCursorDlg::OnEnKillfocusStartWindow() {
    if (RefuseEmpty(IDC_START, m_cursor.start)) return;
    const int typed = ReadIntFromEdit(this, IDC_START);
    zns::FaCursor c = m_cursor;
    if (zns::FaCommitStart(c, typed)) {
        StoreEnd(c.end);
        ShowInt(IDC_END, c.end);
    }
    ShowInt(IDC_START, c.start);
    StoreStart(c.start);
    SaveConfig();
}

void CFirstArrivalCursorDlg::OnEnKillfocusEndWindow() {
    if (RefuseEmpty(IDC_END, m_cursor.end)) return;
    const int typed = ReadIntFromEdit(this, IDC_END);
    zns::FaCursor c = m_cursor;
    if (zns::FaCommitEnd(c, typed)) {
        StoreStart(c.start);
        ShowInt(IDC_START, c.start);
    }
    ShowInt(IDC_END, c.end);
    StoreEnd(c.end);
    SaveConfig();
}

void CFirstArrivalCursorDlg::OnEnKillfocusThreshold() {
    if (RefuseEmpty(IDC_THRESHOLD, m_cursor.threshold)) return;
    double typed = 0.0;
    if (!GetDlgItemDouble(IDC_THRESHOLD, &typed)) {
        // Not a number (the reader has said so): the threshold stays as it was.
        ShowInt(IDC_THRESHOLD, m_cursor.threshold);
        return;
    }
    const int value = zns::FaThresholdFromEdit(typed);
    ShowInt(IDC_THRESHOLD, value);
    StoreThreshold(value);
    SaveConfig();
}

void CFirstArrivalCursorDlg::OnOK() {
    // Enter commits the edit it was typed in; only cancel ends the dialog.
    QWidget* focus = focusWidget();
    m_committing = true;
    if (focus == m_editStart)
        OnEnKillfocusStartWindow();
    else if (focus == m_editEnd)
        OnEnKillfocusEndWindow();
    else if (focus == m_editThreshold)
        OnEnKillfocusThreshold();
    m_committing = false;
}

void CFirstArrivalCursorDlg::OnCancel() {
    m_ending = true;
    CDialogExt::OnCancel();
}

bool CFirstArrivalCursorDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !m_committing && !m_ending) {
        // The edit's own context menu is not leaving it.
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
            m_committing = true;
            if (watched == m_editStart)
                OnEnKillfocusStartWindow();
            else if (watched == m_editEnd)
                OnEnKillfocusEndWindow();
            else if (watched == m_editThreshold)
                OnEnKillfocusThreshold();
            m_committing = false;
        }
    }
    return CDialogExt::eventFilter(watched, event);
}

void CFirstArrivalCursorDlg::OnBnClickedUseFirstArrivalDisplay() {
    const int use = IsDlgButtonChecked(IDC_USE) == BST_CHECKED ? 1 : 0;
    m_cursor.use = use;
    StoreField(&FirstArrivalSettings::Use, use);
    SaveConfig();
}

// ---------------------------------------------------------------------------
// Spins

void CFirstArrivalCursorDlg::OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows* bar) {
    if (sbCode != SB_LINEUP && sbCode != SB_LINEDOWN && sbCode != SB_ENDSCROLL) return;
    const bool up = sbCode == SB_LINEUP;
    // An empty edit is no value: the stored one comes back and the press stores nothing.
    switch (static_cast<int>(pos)) {
        case IDC_THRESHOLD_SPIN:
            if (GetDlgItemText(IDC_THRESHOLD).empty()) return ShowInt(IDC_THRESHOLD, m_cursor.threshold);
            break;
        case IDC_START_SPIN:
            if (GetDlgItemText(IDC_START).empty()) return ShowInt(IDC_START, m_cursor.start);
            break;
        case IDC_END_SPIN:
            if (GetDlgItemText(IDC_END).empty()) return ShowInt(IDC_END, m_cursor.end);
            break;
        default:
            return;
    }
    switch (static_cast<int>(pos)) {
        case IDC_THRESHOLD_SPIN: {
            const int shown = ReadIntFromEdit(this, IDC_THRESHOLD);
            if (sbCode == SB_ENDSCROLL) {
                // Held to the edit's rule: text typed but never committed may lie outside it.
                const int value = zns::FaHoldThreshold(shown);
                ShowInt(IDC_THRESHOLD, value);
                StoreThreshold(value);
                SaveConfig();
                NotifyScope();
            } else {
                ShowInt(IDC_THRESHOLD, up ? zns::FaThresholdLineUp(shown) : zns::FaThresholdLineDown(shown));
            }
            break;
        }
        case IDC_START_SPIN: {
            const int shown = ReadIntFromEdit(this, IDC_START);
            if (sbCode == SB_ENDSCROLL) {
                zns::FaCursor c = m_cursor;
                if (zns::FaCommitStart(c, shown)) {
                    StoreEnd(c.end);
                    ShowInt(IDC_END, c.end);
                }
                ShowInt(IDC_START, c.start);
                StoreStart(c.start);
                SaveConfig();
                NotifyScope();
            } else if (up) {
                zns::FaCursor c = m_cursor;
                bool endMoved = false;
                const int value = zns::FaStartLineUp(c, shown, &endMoved);
                if (endMoved) {
                    StoreEnd(c.end);
                    ShowInt(IDC_END, c.end);
                }
                ShowInt(IDC_START, value);
                NotifyScope();
            } else {
                ShowInt(IDC_START, zns::FaStartLineDown(shown));
            }
            break;
        }
        case IDC_END_SPIN: {
            const int shown = ReadIntFromEdit(this, IDC_END);
            if (sbCode == SB_ENDSCROLL) {
                zns::FaCursor c = m_cursor;
                if (zns::FaCommitEnd(c, shown)) {
                    StoreStart(c.start);
                    ShowInt(IDC_START, c.start);
                }
                ShowInt(IDC_END, c.end);
                StoreEnd(c.end);
                SaveConfig();
            } else if (up) {
                ShowInt(IDC_END, zns::FaEndLineUp(shown));
            } else {
                zns::FaCursor c = m_cursor;
                bool startMoved = false;
                const int value = zns::FaEndLineDown(c, shown, &startMoved);
                if (startMoved) {
                    StoreStart(c.start);
                    ShowInt(IDC_START, c.start);
                }
                ShowInt(IDC_END, value);
            }
            break;
        }
        default:
            break;
    }
}
