#pragma once
// CPRecordingMode: the choice of the recording mode (time, up depth, down
// depth). Run at the start of a new log, and from the depth panel's mode button,
// which raises the application's display-mode flag for the time of the dialog;
// only then is command 8 sent here (a new log sends it itself later).
// GUI thread only.
#include <atomic>
#include <functional>

#include "platform/ui/Wnd.h"

struct SharedData;
struct SettingsData;
class QGroupBox;

struct RecordingModeHooks {
    // The main window's ResetAcquisition.
    std::function<void(bool reload)> resetAcquisition;
    // Queues a command for the logger (CUSB::sendF8 for code 8); none queues it
    // straight on the shared send queue with the selected sonde's voltage.
    std::function<bool(int code)> sendCommand;
};

class CPRecordingMode : public CDialog {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 511;
    enum : int { IDC_GROUP = 251, IDC_TIME_MODE = 1532, IDC_UP_MODE = 1533, IDC_DOWN_MODE = 1534 };

    // `displayModeDlg`: the application's m_bDisplayModeDlg (set while the depth
    // panel runs the dialog). All references outlive the dialog.
    CPRecordingMode(SharedData& shared, SettingsData& settings, const std::atomic<bool>& displayModeDlg,
                    RecordingModeHooks hooks = {}, QWidget* parent = nullptr);

    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    SharedData& m_shared;
    SettingsData& m_settings;
    const std::atomic<bool>& m_bDisplayModeDlg;
    RecordingModeHooks m_hooks;
    QGroupBox* m_group = nullptr;
};
