#pragma once
// CPCommDlg: the "Communication" page of the "Logger Setup" dialog. Baud
// divisor, downhole and uphole signal drives and uphole receiver gain: every
// accepted value is stored in the settings and the selected sonde, saved and
// sent (command 3 or 10); a read-back timer compares the logger's echoes and
// resends. Eight lamps show the frame status bits; "&Check" runs the
// communication auto-check (CCheckComm). GUI thread only.
#include <array>
#include <functional>
#include <string>

#include "platform/WinTypes.h"
#include "ui/dialogs/DialogExt.h"

struct SharedData;
struct SettingsData;
struct AcquisitionSettings;
struct SessionState;
struct LoggerStatus;
struct SondeStatus;
struct SondeDatabase;
class CPreferences;
class CColorStaticST;
class CSpinArrows;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace zns {
class IClock;
}

// What the page calls outside itself. Missing hooks: commands go to the send
// queue, the configuration is saved through the preferences when given, the
// auto-check runs a CCheckComm modally, messages are pumped with
// QCoreApplication::processEvents, and the other windows are not told.
struct PCommDlgHooks {
    std::function<bool(int code)> sendCommand;           // CUSB::sendF3 / sendF8 / sendF10
    std::function<void()> saveConfig;                    // CPreferences::SaveConfig
    std::function<void()> refreshPages;                  // CPropertyLoggerDlg::RefreshPages (after the check)
    std::function<void(unsigned id)> postAcquisitionPage;  // WM_COMMAND 1756 to the acquisition page
    std::function<void()> runCheck;                      // replaces the modal CCheckComm (tests)
    std::function<void()> pumpMessages;                  // PumpMessages
};

class CPCommDlg : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 504;
    enum : int {
        IDC_DOWN_DRIVE = 1211,
        IDC_DOWN_DRIVE_SPIN = 1443,
        IDC_GAIN = 1145,
        IDC_GAIN_SPIN = 1446,
        IDC_UP_DRIVE = 1585,
        IDC_UP_DRIVE_SPIN = 1586,
        IDC_UP_DRIVE_ECHO = 1587,
        IDC_UP_DRIVE_MAX = 1588,
        IDC_BAUD = 1590,
        IDC_BAUD_ECHO = 1591,
        IDC_CHECK = 1183,
        IDC_SET = 1182,
        IDC_LAMP_DOWNHOLE = 1456,
        IDC_LAMP_UPHOLE = 1301,
        IDC_LAMP_NO_RESP = 1302,
        IDC_LAMP_INT_RESP = 1303,
        IDC_LAMP_CHECKSUM = 1304,
        IDC_LAMP_PARAMETER = 1305,
        IDC_LAMP_SETTING = 1306,
        IDC_LAMP_LENGTH = 1307,
        IDC_BAUD_LABEL = 1589,
        IDC_DOWN_DRIVE_LABEL = 1225,
        IDC_UP_DRIVE_LABEL = 1584,
        IDC_GAIN_LABEL = 1227,
    };
    enum : unsigned { ID_SONDE_CHANGED = 1745, ID_REARM_ACQ_READBACK = 1756 };
    enum : unsigned { kPostCheckTimerId = 415, kReadBackTimerId = 408, kLampTimerId = 418 };
    static constexpr unsigned kPostCheckMs = 500, kReadBackMs = 1000, kReadBackPollMs = 350, kLampMs = 64;
    static constexpr int kReadBackRetries = 6;
    static constexpr int kHoldLength = 3;

    // Lamp colours (what each lamp shows now).
    enum class Lamp { Grey, Red, Green, Yellow };
    // Icon resources of the lamps.
    enum : int { IDI_GREY_RED = 217, IDI_RED = 215, IDI_GREY_GREEN = 218, IDI_GREEN = 216,
                 IDI_GREY_YELLOW = 228, IDI_YELLOW = 229 };

    static constexpr uint32_t kEchoLive = 0x00FFFF;    // yellow
    static constexpr uint32_t kEchoReplay = 0xFFFF00;  // cyan
    static constexpr uint32_t kMaxTextColor = 0x0000FF;

    static constexpr const char* kMsgBadDown = "Bad DownHole entered value !!!\nMin:5 Max:60";
    static constexpr const char* kFmtBadUp = "Bad Uphole entered value\nMin:5 Max:%d for this Baudrate.";
    static constexpr const char* kFmtGainWarn = "UPHOLE RECEIVER GAIN\nWarning consigne error\n Send:%d  Read back:%d";
    static constexpr const char* kFmtDriveWarn =
        "DOWNHOLE SIGNAL DRIVE\nWarning consigne error\n Send:%d  Read back:%d";
    static constexpr const char* kMsgStopRecord = "Stop your record before use this option";

    // `shared` and `settings` outlive the page; `parent` is the host (the tab area).
    // `clock` times the waits for a pending command (null: the real clock).
    CPCommDlg(SharedData& shared, SettingsData& settings, QWidget* parent = nullptr,
              zns::IClock* clock = nullptr);
    ~CPCommDlg() override;

    // Wiring by the host, before Create.
    void SetPreferences(CPreferences* prefs) { m_prefs = prefs; }
    void SetHooks(PCommDlgHooks hooks) { m_hooks = std::move(hooks); }

    BOOL OnInitDialog() override;
    // Enter: the kill-focus check of the focused edit; the page stays.
    void OnOK() override;
    void OnCancel() override {}
    void OnTimer(unsigned id) override;
    void OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows* bar) override;

    // Called by the Logger Setup dialog.
    void SetCaptions();
    void UpdateControls();
    void RefreshStatusLamps();
    void ShowLinkEchoes();

    // Handlers.
    void OnEnKillfocusGain();
    void OnEnKillfocusDownDrive();
    void OnEnKillfocusUpDrive();
    void OnCbnSelchangeBaud();
    void OnBnClickedSet();
    void OnBnClickedCheck();
    void OnSondeChanged();  // WM_COMMAND 1745

    // --- state, for the host and tests ---
    int UpDriveMax() const { return m_nUpDriveMax; }
    int ReadBackRetries() const { return m_nReadBackRetry; }
    Lamp LampState(int id) const;
    QComboBox* BaudList() const { return m_baud; }
    QLineEdit* GainEdit() const { return m_gain; }
    QLineEdit* DownDriveEdit() const { return m_downDrive; }
    QLineEdit* UpDriveEdit() const { return m_upDrive; }
    CColorStaticST* BaudEcho() const { return m_baudEcho; }
    CColorStaticST* UpDriveEcho() const { return m_upDriveEcho; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void StoreAndSend(int field, int value, int code, bool restartReadBack);
    void StoreField(int field, int value);
    void RestartReadBack();
    void OnReadBackTimer();
    void OnLampTimer();
    void RunSetSequence();
    void FocusQuietly(QWidget* w);
    int StoredValue(int editId) const;
    void ShowStored(int editId);
    // The validated whole-number read, without the focus-out check its box would start.
    bool ReadEdit(int editId, int* value);
    void WaitWhilePending();
    void Pump();
    void SaveConfig();
    bool Send(int code);
    void ComputeMax(int divisor);
    void SetLamp(int index, Lamp state);
    void ClearFrameCounters();

    SharedData& m_shared;
    SettingsData& m_settings;
    CPreferences* m_prefs = nullptr;
    PCommDlgHooks m_hooks;
    zns::IClock* m_clock;

    bool m_echoCyan = false;          // echo backgrounds are cyan (player) rather than yellow
    unsigned m_nPostCheckTimer = 0;
    unsigned m_nReadBackTimer = 0;
    int m_nReadBackRetry = 0;
    unsigned m_nLampTimer = 0;
    int m_nUpDriveMax = 60;
    std::array<int, 7> m_nHold{};     // lamps 1301..1307, -1 idle
    bool m_inKillFocus = false;
    bool m_spinRefused = false;       // the press began on text that is no number
    int m_nHoldLength = kHoldLength;
    std::array<Lamp, 8> m_lampState{};  // 1456, 1301..1307

    AcquisitionSettings* m_pAcq = nullptr;
    SessionState* m_pSession = nullptr;
    LoggerStatus* m_pLogger = nullptr;
    SondeStatus* m_pSonde = nullptr;
    SondeDatabase* m_pSondeDb = nullptr;

    QLineEdit* m_downDrive = nullptr;
    QLineEdit* m_gain = nullptr;
    QLineEdit* m_upDrive = nullptr;
    CSpinArrows* m_downDriveSpin = nullptr;
    CSpinArrows* m_gainSpin = nullptr;
    CSpinArrows* m_upDriveSpin = nullptr;
    CColorStaticST* m_baudEcho = nullptr;
    CColorStaticST* m_upDriveEcho = nullptr;
    CColorStaticST* m_max = nullptr;
    QComboBox* m_baud = nullptr;
    QPushButton* m_check = nullptr;
    QPushButton* m_set = nullptr;
    std::array<QLabel*, 8> m_lamps{};
};
