#pragma once
// The About box: the system, the logger's serial number, the version and the
// notice, filled each time the box is activated.
#include "platform/ui/Wnd.h"

class CBrannicLogger_ZNApp;

class CAboutDlg : public CDialog {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 151;
    enum : int { IDC_OS = 1031, IDC_LOGGER = 1403, IDC_VERSION = 1634, IDC_NOTICE = 1635 };
    static constexpr const char* kCaption = "About ZNS Acquisition software...";
    static constexpr const char* kNoDevice = "No device in USB";

    explicit CAboutDlg(CBrannicLogger_ZNApp& app, QWidget* parent = nullptr);

    // Fills the four texts.
    void OnActivate();

protected:
    bool event(QEvent* e) override;

private:
    CBrannicLogger_ZNApp& m_app;
};
