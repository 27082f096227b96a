#pragma once
// CPProbeDlg: the "Probe" page of the "Logger Setup" dialog. Sonde choice by
// serial number, supply voltage, gamma coefficient, gamma display and averaging,
// first-arrival colours, and the sonde database (import from a ".znc"/".txt"
// sonde file, removal). Every change goes into the shared records at once, is
// saved and, where the logger needs it, sent. GUI thread only.
#include <functional>
#include <string>

#include "platform/WinTypes.h"
#include "ui/dialogs/DialogExt.h"

struct SharedData;
struct SettingsData;
struct AcquisitionSettings;
struct SessionState;
struct SondeDatabase;
class CPreferences;
class CColorStaticST;
class CSpinArrows;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// What the page calls outside itself. Missing hooks: commands go to the send
// queue with the selected sonde's voltage, the configuration is saved through
// the preferences when given, ID_SONDE_CHANGED goes to the depth panel through
// g_hWndDepth, and the other windows are not told.
struct PProbeDlgHooks {
    std::function<bool(int code)> sendCommand;            // CUSB::sendF1 / sendF8
    std::function<void()> saveConfig;                     // CPreferences::SaveConfig
    std::function<void()> sondeChangedToCommPage;         // WM_COMMAND 1745 to the communication page
    std::function<void()> sondeChangedToDepthPanel;       // WM_COMMAND 1745 to the depth panel
    std::function<void()> updateWideViews;                // CPWideDlg::UpdateView with the new names
    std::function<void(int scopeId)> hideScope;           // CBrannicZenova_Dlg::HideScope (2001..2003)
    std::function<void()> buildPalettes;                  // CDrawerZNSCtrl::BuildPalettes
};

class CPProbeDlg : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 503;
    enum : int {
        IDC_VOLTAGE_LABEL = 1308,
        IDC_VOLTAGE = 1142,
        IDC_VOLTAGE_SPIN = 1448,
        IDC_SONDE_LIST = 1250,
        IDC_SONDE_LABEL = 1251,
        IDC_ADD = 1638,
        IDC_REMOVE = 1637,
        IDC_FA_LEFT = 1453,
        IDC_FA_RIGHT = 1454,
        IDC_GAMMA_GROUP = 1640,
        IDC_GAMMA_VIEW = 1452,
        IDC_GAMMA_MAX_LABEL = 1513,
        IDC_GAMMA_MAX = 1530,
        IDC_AVERAGE = 1508,
        IDC_FILTER = 1509,
        IDC_FILTER_SPIN = 1510,
        IDC_COEF_LABEL = 1753,
        IDC_COEF = 1755,
        IDC_EDIT = 1754,
        IDC_SET = 1182,
    };
    enum : unsigned { ID_REFRESH_PROBE_PAGE = 1740 };

    static constexpr int kVoltageMin = 80, kVoltageMax = 100;
    static constexpr int kFilterMin = 1, kFilterMax = 50;
    static constexpr double kCoefMin = 0.2, kCoefMax = 5.0;
    static constexpr const char* kMsgCritical = "This is a critical parameter.\nAre you sure to want to mofify it ?";
    static constexpr const char* kMsgBadCoef = "Bad entered value\nCorrect value is : 0.2 to 5.00";
    static constexpr const char* kMsgMaxSondes = "The maximum of storable sonde is reached.";
    static constexpr const char* kMsgBadSondeFile = "Bad sonde file";
    static constexpr const char* kMsgOverwrite =
        "A sonde with the same serial number is already stored in dbase. Overwrite?";
    static constexpr const char* kMsgAskRemove = "Do you want remove this sonde from dbase ?";
    static constexpr const char* kMsgRemoved = "Sonde removed.\nDo not forget to select another sonde";
    static constexpr const char* kImportFilter =
        "ZNS importation sonde File (*.znc)|*.ZNC|ZNS importation sonde File (*.txt)|*.TXT|| ";

    // `shared` and `settings` outlive the page; `parent` is the host (the tab area).
    CPProbeDlg(SharedData& shared, SettingsData& settings, QWidget* parent = nullptr);
    ~CPProbeDlg() override;

    // Wiring by the host, before Create.
    void SetPreferences(CPreferences* prefs) { m_prefs = prefs; }
    void SetHooks(PProbeDlgHooks hooks) { m_hooks = std::move(hooks); }

    BOOL OnInitDialog() override;
    // Enter: validates the focused edit (voltage, or closes the gamma editing); the page stays.
    void OnOK() override;
    void OnCancel() override {}
    void OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows* bar) override;

    // Called by the Logger Setup dialog.
    void SetCaptions();
    void UpdateVoltage();
    void FillSondeList();
    // Opens or (when open) closes and stores the gamma coefficient editing.
    void OnBnClickedEdit();

    // Handlers.
    void OnEnKillfocusSupplyVoltage();
    void OnBnClickedSet();
    void OnCbnSelchangeSondeSerial();
    void OnCbnSelchangeGammaView();
    void OnCbnSelchangeGammaMaximum();
    void OnBnClickedAverage();
    void OnBnClickedFirstArrivalLeft();
    void OnBnClickedFirstArrivalRight();
    void OnBnClickedAdd();
    void OnBnClickedRemove();
    void OnRefresh();

    // --- state, for the host and tests ---
    int StoredSondes() const { return m_nStoredSondes; }
    QComboBox* SondeList() const { return m_sondeList; }
    QComboBox* GammaViewList() const { return m_gammaView; }
    QComboBox* GammaMaxList() const { return m_gammaMax; }
    QLineEdit* VoltageEdit() const { return m_voltage; }
    QLineEdit* CoefEdit() const { return m_coef; }
    QCheckBox* AverageCheck() const { return m_average; }
    CColorStaticST* FilterStatic() const { return m_filter; }
    QPushButton* EditButton() const { return m_editButton; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void ApplyVoltage(int volts);   // steps 3 and 4 of the voltage validation
    int StoredVoltage();
    void ShowStoredVoltage();
    void ShowAverageState();
    void ChooseColor(bool left);
    void SaveConfig();
    bool Send(int code);
    void SondeChangedToDepthPanel();
    std::string ToolFilePath() const;

    SharedData& m_shared;
    SettingsData& m_settings;
    CPreferences* m_prefs = nullptr;
    PProbeDlgHooks m_hooks;
    int m_nStoredSondes = 0;
    bool m_inKillFocus = false;
    bool m_voltageSpinRefused = false;  // the press began on text that is no number

    AcquisitionSettings* m_pAcq = nullptr;
    SessionState* m_pSession = nullptr;
    SondeDatabase* m_pSondeDb = nullptr;

    QLineEdit* m_voltage = nullptr;
    CSpinArrows* m_voltageSpin = nullptr;
    QComboBox* m_sondeList = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QComboBox* m_gammaView = nullptr;
    QComboBox* m_gammaMax = nullptr;
    QCheckBox* m_average = nullptr;
    CColorStaticST* m_filter = nullptr;
    CSpinArrows* m_filterSpin = nullptr;
    QLineEdit* m_coef = nullptr;
    QPushButton* m_editButton = nullptr;
    QPushButton* m_set = nullptr;
};
