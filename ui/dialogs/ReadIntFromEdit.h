#pragma once
// ReadIntFromEdit: the validated integer read of a dialog item used by the
// header pages, the setup pages, the wide receiver views and the first-arrival
// cursor dialog.
#include <string>

class CWndBase;

namespace zns {

struct IntEditText {
    int value = 0;          // leading integer (sign and digits), saturated at the int range
    bool foreign = false;   // a character outside "-0123456789"
};
// What ReadIntFromEdit makes of a text: its first 19 characters, read like atoi
// but saturating instead of overflowing.
IntEditText ParseIntEditText(const std::string& text);

}  // namespace zns

// The integer in control `id` of `dialog`. No such control: "No value read"
// (information icon) and 0. A character outside "-0123456789": "Please enter a
// number." (stop icon), and the leading integer is returned all the same. Empty
// text gives 0 without a message. Other text that is not the number read is
// replaced by it, so the edit shows what the caller takes. GUI thread.
int ReadIntFromEdit(CWndBase* dialog, int id);
