#include "ui/dialogs/DialogExt.h"

#include <QFocusEvent>
#include <algorithm>
#include <cmath>

#include "platform/NumText.h"
#include "platform/ui/UiText.h"

namespace {

bool OnlyChars(const std::string& text, const char* allowed) {
    return text.find_first_not_of(allowed) == std::string::npos;
}

}  // namespace

BOOL CToolTipHelper::Create(CWndBase* parent) {
    m_parent = parent;
    return parent ? TRUE : FALSE;
}

BOOL CToolTipHelper::AddTool(const std::string& text, int id) {
    QWidget* control = m_parent ? m_parent->GetDlgItem(id) : nullptr;
    if (!control) return FALSE;
    control->setToolTip(zns::ui::ToQ(text));
    return TRUE;
}

CDialogExt::CDialogExt(unsigned templateId, QWidget* parent, bool childWindow)
    : CDialog(templateId, parent, childWindow) {}

BOOL CDialogExt::OnInitDialog() {
    CDialog::OnInitDialog();
    m_ToolTip.Create(this);
    // No per-dialog numeric locale: the number text helpers never look at it.
    return TRUE;
}

BOOL CDialogExt::GetDlgItemInteger(int id, int* out) {
    if (!GetDlgItem(id)) {
        MessageBox(kMsgNoValue, {}, MB_OK | MB_ICONINFORMATION);
        if (out) *out = 0;
        return FALSE;
    }
    const std::string text = GetDlgItemText(id);
    if (text.empty()) {
        if (out) *out = 0;
        return TRUE;
    }
    // The whole text must be one number: "12-3" or "-" are refused rather than
    // read in part, and a number beyond int is refused rather than overflowed.
    int value = 0;
    if (!OnlyChars(text, "-0123456789") || !zns::ParseIntStrict(text, value)) {
        MessageBox(kMsgEnterNumber, {}, MB_OK | MB_ICONSTOP);
        return FALSE;
    }
    if (out) *out = value;
    return TRUE;
}

BOOL CDialogExt::GetDlgItemDouble(int id, double* out) {
    if (!GetDlgItem(id)) {
        MessageBox(kMsgNoValue, {}, MB_OK | MB_ICONINFORMATION);
        if (out) *out = 0.0;
        return FALSE;
    }
    const std::string text = GetDlgItemText(id);
    if (text.empty()) {
        if (out) *out = 0.0;
        return TRUE;
    }
    // ',' is a decimal mark like '.', so "1,5" reads 1.5; text that is not one
    // complete finite number ("1.2.3", "1,5.0", "-") is refused.
    double value = 0.0;
    if (!OnlyChars(text, "-0123456789,.") || !zns::ParseDoubleStrict(text, value) || !std::isfinite(value)) {
        MessageBox(kMsgEnterNumber, {}, MB_OK | MB_ICONSTOP);
        return FALSE;
    }
    if (out) *out = value;
    return TRUE;
}

bool CDialogExt::HasKeyboardFocus(const QWidget* edit) {
    return edit && edit->isEnabled() && edit->isVisible() && edit->window()->focusWidget() == edit;
}

bool CDialogExt::IsLeavingEdit(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::FocusOut || static_cast<QFocusEvent*>(event)->reason() == Qt::PopupFocusReason)
        return false;
    const auto* edit = qobject_cast<QWidget*>(watched);
    return edit && edit->isEnabled();
}

BOOL RefuseEmptyDlgItem(CWndBase* dialog, int id) {
    if (!dialog->GetDlgItemText(id).empty()) return FALSE;
    dialog->MessageBox(CDialogExt::kMsgBadValue);
    return TRUE;
}

void CDialogExt::SetDlgItemInteger(int id, int value, short minimum, short maximum) {
    if (minimum >= 0 && value < minimum) value = minimum;
    if (maximum >= 0 && value > maximum) value = maximum;
    if (GetDlgItem(id)) SetDlgItemText(id, zns::Format("%d", value));
}

void CDialogExt::SetDlgItemDouble(int id, double value, short decimals, bool blankZero) {
    if (!GetDlgItem(id)) return;
    if (blankZero && value == 0.0) {
        SetDlgItemText(id, "");
        return;
    }
    // A negative count would make a malformed format; more than 15 places add nothing.
    const int places = std::clamp<int>(decimals, 0, 15);
    SetDlgItemText(id, zns::Format("%#.*f", places, value));
}
