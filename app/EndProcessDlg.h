#pragma once
// The notice shown while the program shuts down: a window of its own with one
// line of text.
#include <QFont>

#include "platform/ui/Wnd.h"

class QLabel;

class CEndProcessDlg : public CDialog {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 520;
    static constexpr int IDC_MESSAGE = 1552;

    static constexpr const char* kTextInitial = "Shutdown ... wait";
    static constexpr const char* kTextShutdown = "Shutdown process ... please wait";
    static constexpr const char* kTextEndingUsb = "Ending USB process ... wait";

    explicit CEndProcessDlg(QWidget* parent = nullptr);

    BOOL OnInitDialog() override;
    void SetMessage(const std::string& text);
    std::string GetMessage() const { return GetDlgItemText(IDC_MESSAGE); }

private:
    QLabel* m_text;
    QFont m_font;  // Arial 20, weight 300, for the dialog's whole life
};
