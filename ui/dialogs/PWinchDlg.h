#pragma once
// CPWinchDlg: the "Winch" page of the "Logger Setup" dialog. The operator sets
// the encoder direction, the encoder resolution N (pulses per turn), the wheel
// circumference W (mm) and the cable type. Every accepted change is stored in
// the acquisition settings, saved at once and sent with command 1; the
// acknowledgement timer then compares the logger's configuration answer with
// the settings and resends (at most 5 times per change, then one warning).
// GUI thread only.
#include "ui/dialogs/DialogExt.h"
#include "ui/dialogs/SetupCore.h"
#include "ui/dialogs/SetupHooks.h"

class CPreferences;
class CSpinArrows;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
struct SharedData;
struct SettingsData;

class CPWinchDlg : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 502;
    enum : int {
        IDC_SET = 1182,
        IDC_DIRECTION = 1203,
        IDC_RESOLUTION = 1204,
        IDC_CIRCUMFERENCE = 1205,
        IDC_CABLE = 1206,
        IDC_LABEL_DIRECTION = 1217,
        IDC_LABEL_RESOLUTION = 1218,
        IDC_LABEL_CIRCUMFERENCE = 1219,
        IDC_LABEL_CABLE = 1220,
        IDC_NORMAL = 1231,
        IDC_RESOLUTION_SPIN = 1445,
        IDC_CIRCUMFERENCE_SPIN = 1447,
    };
    enum : unsigned { ID_TIMER_ACK = 408, ID_TIMER_SEND = 413, ID_TIMER_SAVE = 417 };
    static constexpr unsigned kAckMs = 1000;
    static constexpr unsigned kAckWaitMs = 350;
    static constexpr unsigned kSaveMs = 100;
    static constexpr unsigned kSendMs = 50;
    static constexpr const char* kMsgAckError = "Warning consigne error, ACK puley -Mode error";

    // `prefs` gives the shared records and saves the configuration; it outlives the page.
    explicit CPWinchDlg(CPreferences& prefs, SetupPageHooks hooks = {}, QWidget* parent = nullptr);

    BOOL OnInitDialog() override;
    // Enter: the check of the edit that has the focus; the page never closes.
    void OnOK() override;
    void OnCancel() override {}
    void OnTimer(unsigned id) override;
    void OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows* bar) override;

    void SetLabels();
    void LoadFromSettings();
    void StartAckTimer();
    void ScheduleSaveConfig();
    void ScheduleSendWinchSettings();

    void OnEnKillfocusCircumference();
    void OnEnKillfocusResolution();
    void OnBnClickedDirection();
    void OnCbnSelchangeCable();
    void OnBnClickedSet();

    // ---- observation ----
    int AckRetries() const { return m_ack.Retries(); }
    bool IsLoading() const { return m_bLoading; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SaveConfig();
    bool SendWinch();
    void Report(const std::string& text);
    void ShowStoredResolution();
    void ShowStoredCircumference();
    // The edit's number for an arrow press; false for text that is no number
    // (its box shown) or for none.
    bool ReadResolutionForArrow(int* n);
    bool ReadCircumferenceForArrow(double* w);
    void StoreFactor(int n, int32_t w10, int32_t f256);

    CPreferences& m_prefs;
    SharedData& m_shared;
    SettingsData& m_data;
    SetupPageHooks m_hooks;

    QPushButton* m_set = nullptr;
    CSpinArrows* m_resolutionSpin = nullptr;
    CSpinArrows* m_circumferenceSpin = nullptr;
    QComboBox* m_cable = nullptr;
    QCheckBox* m_direction = nullptr;
    QLineEdit* m_resolution = nullptr;
    QLineEdit* m_circumference = nullptr;

    bool m_bLoading = true;  // the kill-focus checks wait for the first load
    zns::setup::ReadBackCounter m_ack{zns::setup::kWinchResends};
    bool m_bChecking = false;  // a check runs (its box takes the focus)
    bool m_spinRefused = false;  // the arrow press began on text that is no number, or a step was refused
};

// Sends command `code` through the hook, or queues it with the selected
// sonde's voltage when there is none. Never call with acqMutex held.
bool SendSetupCommand(SharedData& shared, SettingsData& data, const SetupPageHooks& hooks, int code);
