#pragma once
// CPSetDepthDlg ("Depth reset."): the operator enters the depth the sonde is
// at; the logger's depth counter is preset to it (command 2). The entered
// depth is the one shown for the sonde, so the datum sent is that depth plus
// the selected sonde's length. GUI thread only.
#include <functional>

#include "ui/dialogs/DialogExt.h"

struct SharedData;
struct SettingsData;
class QLineEdit;

class CPSetDepthDlg : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 158;
    enum : int { IDC_DEPTH = 1035 };

    // `sendCommand` queues a command for the logger (CUSB::sendF2 for code 2);
    // none queues it straight on the shared send queue. `shared` and `settings`
    // outlive the dialog.
    CPSetDepthDlg(SharedData& shared, SettingsData& settings, std::function<bool(int code)> sendCommand = {},
                  QWidget* parent = nullptr);

    BOOL OnInitDialog() override;
    // Refused text ("Please enter a number.") or an empty edit ("Bad entered
    // value") keeps the dialog open and sends nothing.
    void OnOK() override;

    QLineEdit* DepthEdit() const { return m_edit; }

private:
    SharedData& m_shared;
    SettingsData& m_settings;
    std::function<bool(int)> m_sendCommand;
    QLineEdit* m_edit = nullptr;
};
