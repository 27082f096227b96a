#include "ui/dialogs/ReadIntFromEdit.h"

#include "platform/NumText.h"
#include "platform/ui/UiService.h"
#include "platform/ui/Wnd.h"

namespace zns {

IntEditText ParseIntEditText(const std::string& text) {
    IntEditText r;
    const std::string head = text.substr(0, 19);
    r.foreign = head.find_first_not_of("-0123456789") != std::string::npos;
    r.value = zns::ParseInt(head);
    return r;
}

}  // namespace zns

int ReadIntFromEdit(CWndBase* dialog, int id) {
    if (!dialog || !dialog->GetDlgItem(id)) {
        if (dialog)
            dialog->MessageBox("No value read", {}, MB_OK | MB_ICONINFORMATION);
        else
            zns::ui::AfxMessageBox("No value read", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    const std::string text = dialog->GetDlgItemText(id);
    if (text.empty()) return 0;
    const zns::IntEditText r = zns::ParseIntEditText(text);
    if (r.foreign) dialog->MessageBox("Please enter a number.", {}, MB_OK | MB_ICONSTOP);
    // Only the leading number counts ("1000-5" reads 1000): the edit shows what was read.
    const std::string read = zns::Format("%d", r.value);
    if (text != read) dialog->SetDlgItemText(id, read);
    return r.value;
}
