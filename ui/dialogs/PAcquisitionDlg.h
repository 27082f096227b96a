#pragma once
// CPAcquisitionDlg: the "Acquisition" page of the "Logger Setup" dialog. It
// sets the trace length of each receiver, which receivers the two display
// halves show, and the depth and time sampling intervals. Accepted values are
// saved at once, the acquisition display is reset and, while the logger is
// linked and the sonde powered, the settings go out with command 8; the
// read-back timer compares the echoed trace-length byte (and, in Time mode,
// the interval) and resends at most 10 times, then warns once. A display timer
// shows the sampling the logger (or the replayed file) reports.
// GUI thread only.
#include "ui/dialogs/DialogExt.h"
#include "ui/dialogs/SetupCore.h"
#include "ui/dialogs/SetupHooks.h"

class CColorStaticST;
class CPreferences;
class CSpinArrows;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct HeaderRecord;
struct SharedData;
struct SettingsData;

class CPAcquisitionDlg : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 499;
    enum : int {
        IDC_SET = 1182,
        IDC_TIME = 1143,
        IDC_TRACE_RX1 = 1237,
        IDC_PERIOD_RX1 = 1238,
        IDC_TRACE_RX2 = 1240,
        IDC_TRACE_RX3 = 1241,
        IDC_PERIOD_RX2 = 1243,
        IDC_LEFT_VIEW = 1245,
        IDC_PERIOD_RX3 = 1247,
        IDC_RIGHT_VIEW = 1249,
        IDC_TIME_SPIN = 1449,
        IDC_DEPTH = 1593,
        IDC_NAME_RX1 = 1627,
        IDC_NAME_RX2 = 1628,
        IDC_NAME_RX3 = 1629,
        IDC_TIME_ECHO = 1630,
        IDC_DEPTH_ECHO = 1631,
        IDC_REPLAY_RX1 = 1632,
        IDC_REPLAY_RX2 = 1633,
        IDC_REPLAY_RX3 = 1634,
    };
    enum : unsigned { ID_TIMER_DISPLAY = 402, ID_TIMER_READBACK = 408 };
    enum : unsigned { ID_ACQUISITION_STATE_CHANGED = 1749, ID_REARM_ACQ_READBACK = 1756 };
    static constexpr unsigned kDisplayMs = 150;
    static constexpr unsigned kReadBackMs = 1000;
    static constexpr unsigned kPendingMs = 64;
    static constexpr uint32_t kReplayColour = 0xFFFFA0;
    static constexpr uint32_t kLiveColour = 0x00FFFF;
    static constexpr const char* kMsgReadBack = "Warning consign error.\n Trace lenght ";

    static constexpr int kTraceIds[3] = {IDC_TRACE_RX1, IDC_TRACE_RX2, IDC_TRACE_RX3};
    static constexpr int kPeriodIds[3] = {IDC_PERIOD_RX1, IDC_PERIOD_RX2, IDC_PERIOD_RX3};
    static constexpr int kReplayIds[3] = {IDC_REPLAY_RX1, IDC_REPLAY_RX2, IDC_REPLAY_RX3};

    // `prefs` gives the shared records and saves the configuration; `header` is
    // the log header (the replayed file's while one is loaded). Both outlive the page.
    CPAcquisitionDlg(CPreferences& prefs, HeaderRecord& header, SetupPageHooks hooks = {}, QWidget* parent = nullptr);

    BOOL OnInitDialog() override;
    // Enter: the time-sampling check when its edit has the focus; the page stays.
    void OnOK() override;
    void OnCancel() override {}
    void OnTimer(unsigned id) override;
    void OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows* bar) override;

    void UpdateControls();
    void RefreshReceiverInfo();
    void RestartReadback();

    void OnCbnSelchangeTrace(int rx);
    void OnCbnSelchangeLeftView();
    void OnCbnSelchangeRightView();
    void OnCbnSelchangeDepth();
    void OnEnKillfocusTime();

    // ---- observation ----
    int ReadBackRetries() const { return m_readBack.Retries(); }
    QComboBox* TraceList(int rx) const { return m_trace[rx]; }
    QComboBox* LeftList() const { return m_left; }
    QComboBox* RightList() const { return m_right; }
    QComboBox* DepthList() const { return m_depth; }
    QLineEdit* TimeEdit() const { return m_time; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool LinkedAndPowered() const;
    void SaveConfig();
    bool Send8();
    void ResetDisplay();
    void ShowTimeInterval();
    void ApplyTraceChange();
    void DisplayTick();

    CPreferences& m_prefs;
    SharedData& m_shared;
    SettingsData& m_data;
    HeaderRecord& m_header;
    SetupPageHooks m_hooks;

    QPushButton* m_set = nullptr;
    CSpinArrows* m_timeSpin = nullptr;
    QComboBox* m_depth = nullptr;
    QComboBox* m_trace[3] = {nullptr, nullptr, nullptr};
    QComboBox* m_left = nullptr;
    QComboBox* m_right = nullptr;
    QLabel* m_period[3] = {nullptr, nullptr, nullptr};
    QLabel* m_name[3] = {nullptr, nullptr, nullptr};
    QLineEdit* m_time = nullptr;

    zns::setup::ReadBackCounter m_readBack{zns::setup::kAcquisitionResends};
    CColorStaticST* m_timeEcho = nullptr;
    CColorStaticST* m_depthEcho = nullptr;
    CColorStaticST* m_replay[3] = {nullptr, nullptr, nullptr};
    uint32_t m_crReplay = kReplayColour;
    uint32_t m_crLive = kLiveColour;
    bool m_bChecking = false;
    bool m_spinRefused = false;  // the arrow press began on text that is no number
};
