#pragma once
// Base of the program's dialogs and dialog panels: tool tips for controls, and
// validated reading and formatted writing of numbers in dialog items. Numbers
// are always read and written with '.' as decimal mark, whatever the locale.
#include <string>

#include "platform/ui/Wnd.h"

class CToolTipHelper {
public:
    // Attaches to the dialog whose controls get the tips. FALSE without one.
    BOOL Create(CWndBase* parent);
    // The tip shown over control `id`; FALSE when there is no such control.
    BOOL AddTool(const std::string& text, int id);

private:
    CWndBase* m_parent = nullptr;
};

class CDialogExt : public CDialog {
    Q_OBJECT
public:
    explicit CDialogExt(unsigned templateId = 0, QWidget* parent = nullptr, bool childWindow = false);

    // Derived dialogs call it first from their own OnInitDialog.
    BOOL OnInitDialog() override;

    // Reads an integer: only "-0123456789" and one complete, in-range number;
    // an empty field reads 0. Refused text: "Please enter a number." and *out
    // unchanged. No such control: "No value read" and *out = 0.
    BOOL GetDlgItemInteger(int id, int* out);
    // Reads a decimal ('.' or ',' as mark) under the same rules ("-0123456789,.").
    BOOL GetDlgItemDouble(int id, double* out);
    // Shows the value clamped to [minimum, maximum]; -1 (any negative) means no limit.
    void SetDlgItemInteger(int id, int value, short minimum, short maximum);
    // Shows the value with `decimals` places and always a decimal point; an empty
    // field for 0.0 when blankZero.
    void SetDlgItemDouble(int id, double value, short decimals, bool blankZero);

    static constexpr const char* kMsgEnterNumber = "Please enter a number.";
    static constexpr const char* kMsgNoValue = "No value read";
    static constexpr const char* kMsgBadValue = "Bad entered value";

protected:
    // What Enter may act on: an enabled edit that holds its window's keyboard
    // focus. A page's own focusWidget() keeps naming its last focused child after
    // the focus went to another page or the tab bar, or the child was greyed.
    static bool HasKeyboardFocus(const QWidget* edit);
    // A focus-out that is the operator leaving an edit: not a context menu taking
    // the focus for a moment, nor the edit being greyed (a greyed page applies nothing).
    static bool IsLeavingEdit(QObject* watched, QEvent* event);

    CToolTipHelper m_ToolTip;
};

// An empty edit is no value, though the readers take it as 0: says "Bad entered
// value" and returns TRUE when control `id` of `dialog` is empty. The caller then
// shows the stored value again and applies nothing.
BOOL RefuseEmptyDlgItem(CWndBase* dialog, int id);
