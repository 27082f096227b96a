#pragma once
// CDephtDlg: the main window's depth panel. Depth, logging speed, the highest
// allowed logging speed, the natural gamma count rate with its bar, the sonde's
// serial number, and the trace image's display choices (scale, palette).
//
// Threads: PutGammaCount is called by the receive or player thread and only
// updates the gamma meter's numbers under its own lock; ResetGamma may come from
// any thread (the window part is posted). Everything else runs on the GUI thread,
// mostly from the panel timer 402.
#include <QIcon>
#include <atomic>
#include <functional>
#include <string>

#include "platform/WinTypes.h"
#include "ui/controls/GammaMeterCore.h"
#include "ui/dialogs/DialogExt.h"

struct SharedData;
struct SettingsData;
struct HeaderRecord;
class CPreferences;
class CGraphicCounterCtrl;
class CColorStaticST;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

// What the panel calls in windows built elsewhere (main window, depth reset and
// recording-mode dialogs, depth magnifier). A missing hook does nothing.
struct DephtDlgHooks {
    // Highest logging speed in m/min (the main window's frame-period computation).
    std::function<double()> maxLoggingSpeed;
    // The main window's acquisition reset (`reload` as it names it).
    std::function<void(bool reload)> resetAcquisition;
    std::function<void()> runDepthReset;     // modal depth reset dialog
    std::function<void()> runRecordingMode;  // modal recording-mode dialog
    std::function<void()> createMagnifier;   // made hidden at initialisation
    std::function<void()> showMagnifier;
    std::function<bool()> magnifierVisible;
    std::function<void()> updateMagnifier;
    // WM_COMMAND to the main window.
    std::function<void(unsigned id)> sendToMainWindow;
};

class CDephtDlg : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 155;
    static constexpr unsigned kPanelTimerId = 402;
    static constexpr unsigned kPanelTimerMs = 100;
    static constexpr unsigned ID_REFRESH_PROBE_PAGE = 1740;
    static constexpr unsigned ID_SONDE_CHANGED = 1745;

    // Control ids of the panel.
    enum : int {
        IDC_SET_DEPTH = 1032,
        IDC_RECORDING_MODE = 1599,
        IDC_MAGNIFIER = 1253,
        IDC_DEPTH_CAPTION = 902,
        IDC_DEPTH_MODE = 1598,
        IDC_DEPTH_PLACE = 901,
        IDC_SPEED_PLACE = 903,
        IDC_SCALE = 1528,
        IDC_PALETTE = 1529,
        IDC_MAXSPEED_CAPTION = 1632,
        IDC_MAXSPEED_UNIT = 1633,
        IDC_MAXSPEED_PLACE = 1642,
        IDC_GAMMA_PLACE = 1605,
        IDC_GAMMA_CAPTION = 1512,
        IDC_GAMMA_BAR = 1631,
        IDC_GAMMA_AUTOMAX = 1513,
        IDC_GAMMA_MAX_BUTTON = 1641,
        IDC_GAMMA_MAX_COMBO = 1530,
        IDC_GAMMA_UNIT = 1643,
        IDC_SERIAL = 1639,
    };
    enum : int { IDI_RAW_DEPTH = 1602, IDI_CORRECTED_DEPTH = 539 };

    // Colours (COLORREF).
    static constexpr uint32_t kCounterBack = 0x000000;
    static constexpr uint32_t kLiveText = 0x00FFFF;
    static constexpr uint32_t kReplayText = 0xFFFFA0;
    static constexpr uint32_t kSerialBackLive = 0xD3D0C9;
    static constexpr uint32_t kSerialBackReplay = 0xFFFFA0;
    static constexpr uint32_t kGammaBarBack = 0x00A0FF;

    // `shared` and `settings` outlive the panel. Created as a child panel of `parent`.
    CDephtDlg(SharedData& shared, SettingsData& settings, QWidget* parent = nullptr);
    ~CDephtDlg() override;

    // Wiring by the main window, before Create.
    void SetPreferences(CPreferences* prefs) { m_prefs = prefs; }
    // The header of the log loaded for replay.
    void SetHeader(const HeaderRecord* header) { m_header = header; }
    // The application's raw-depth and display-mode flags (the panel keeps its own otherwise).
    void SetAppFlags(std::atomic<bool>* rawDepth, std::atomic<bool>* displayModeDlg);
    void SetHooks(DephtDlgHooks hooks) { m_hooks = std::move(hooks); }

    BOOL OnInitDialog() override;
    // Neither Enter nor Escape closes the panel: it has no way back.
    void OnOK() override {}
    void OnCancel() override {}
    void OnClose() override;
    void OnTimer(unsigned id) override;

    void SetToolTips();
    // One gamma reading per frame; any thread.
    void PutGammaCount(uint16_t count, double coef);
    void PutGammaOnScreen();
    // Any thread.
    void ResetGamma();
    void PutDataOnScreen();
    void OnUpdateSerialNumber();
    void SelectScaleItem();

    void OnCbnSelchangeScale();
    void OnCbnSelchangeColorMode();
    void OnBnClickedGammaMax();
    void OnCbnSelchangeGammaMax();
    void OnStnDblclkDepthMode();
    void OnBnClickedSetDepth();
    void OnBnClickedRecordingMode();
    void OnBnClickedMagnifier();

    // --- parts, for the main window and tests ---
    CGraphicCounterCtrl* DepthCounter() const { return m_counterDepth; }
    CGraphicCounterCtrl* SpeedCounter() const { return m_counterSpeed; }
    CGraphicCounterCtrl* GammaCounter() const { return m_counterGamma; }
    CGraphicCounterCtrl* MaxSpeedCounter() const { return m_counterMaxSpeed; }
    CColorStaticST* SerialNumber() const { return m_serial; }
    QProgressBar* GammaBar() const { return m_bar; }
    QComboBox* ScaleCombo() const { return m_scale; }
    QComboBox* PaletteCombo() const { return m_palette; }
    QComboBox* GammaMaxCombo() const { return m_gammaMaxCombo; }
    const zns::GammaMeter& GammaMeter() const { return m_gamma; }
    int DepthIconId() const { return m_depthIcon; }
    bool RawDepth() const { return m_rawDepth->load(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void RefreshGammaConfig();
    void ShowDepthIcon(int iconId);
    void SetBar(int position);
    void SetBarRange(int maximum);
    void ShowGammaCounter(bool show);
    std::string ConfigFilePath() const;
    double MaxLoggingSpeed() const;

    SharedData& m_shared;
    SettingsData& m_settings;
    CPreferences* m_prefs = nullptr;
    const HeaderRecord* m_header = nullptr;
    std::atomic<bool> m_ownRawDepth{true};
    std::atomic<bool> m_ownDisplayModeDlg{false};
    std::atomic<bool>* m_rawDepth = &m_ownRawDepth;
    std::atomic<bool>* m_displayModeDlg = &m_ownDisplayModeDlg;
    DephtDlgHooks m_hooks;

    CGraphicCounterCtrl* m_counterDepth = nullptr;
    CGraphicCounterCtrl* m_counterSpeed = nullptr;
    CGraphicCounterCtrl* m_counterGamma = nullptr;
    CGraphicCounterCtrl* m_counterMaxSpeed = nullptr;
    CColorStaticST* m_serial = nullptr;
    QProgressBar* m_bar = nullptr;
    QComboBox* m_scale = nullptr;
    QComboBox* m_palette = nullptr;
    QComboBox* m_gammaMaxCombo = nullptr;
    QLabel* m_depthMode = nullptr;
    QIcon m_iconRaw;
    QIcon m_iconCorrected;
    int m_depthIcon = 0;

    zns::GammaMeter m_gamma;
    int m_barMaximum = 25000;
    bool m_speedBlinking = false;
    int m_snReplayTicks = 0;  // serial-number refreshes done while a replay is loaded
    int m_snAfterTicks = 0;   // and after it ended
};
