#pragma once
// CPropertyLoggerDlg: the modeless "Logger Setup" window. It hosts the winch,
// probe, communication and acquisition pages under a tab bar and, while it is
// visible, a 250 ms state timer enables or disables the pages' controls by the
// link state, the sonde power and the recording state. Created once (hidden)
// by the main window, then only shown and hidden. GUI thread only, except
// RefreshCommLamps.
#include <QPointer>
#include <atomic>

#include "ui/dialogs/DialogExt.h"
#include "ui/dialogs/PCommDlg.h"
#include "ui/dialogs/PProbeDlg.h"
#include "ui/dialogs/SetupCore.h"
#include "ui/dialogs/SetupHooks.h"

class CPAcquisitionDlg;
class CPWinchDlg;
class CPreferences;
class QGroupBox;
class QTabBar;
struct HeaderRecord;
struct SharedData;
struct SettingsData;

// The pages, for the private commands other windows post to them (1740 to the
// probe page, 1745 to the communication page, 1749 and 1756 to the acquisition
// page). Set when the dialog is created, cleared when it goes.
inline std::atomic<CWndBase*> g_hWndWinchPage{nullptr};
inline std::atomic<CWndBase*> g_hWndProbePage{nullptr};
inline std::atomic<CWndBase*> g_hWndCommPage{nullptr};
inline std::atomic<CWndBase*> g_hWndAcqPage{nullptr};

// Everything the dialog and its pages call outside themselves.
struct LoggerSetupHooks {
    SetupPageHooks pages;  // winch and acquisition pages, placement
    PProbeDlgHooks probe;  // empty saveConfig / sendCommand fall back as the page says
    PCommDlgHooks comm;    // empty refreshPages / postAcquisitionPage are wired to this dialog
};

class CPropertyLoggerDlg : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 501;
    enum : int { IDC_TAB = 1202 };
    enum : unsigned { ID_TIMER_STATE = 404 };
    static constexpr unsigned kStateMs = 250;
    enum : int { TAB_WINCH = 0, TAB_PROBE = 1, TAB_COMM = 2, TAB_ACQUISITION = 3 };
    static constexpr const char* kTabTexts[4] = {"Winch", "Probe", "Communication", "Acquisition"};

    // `prefs` gives the shared records, the settings (sonde database, window
    // layout) and saves the configuration; `header` is the log header. Both
    // outlive the dialog. `parent` is the owner (the main window): the dialog
    // stays a window of its own.
    CPropertyLoggerDlg(CPreferences& prefs, HeaderRecord& header, LoggerSetupHooks hooks = {},
                       QWidget* parent = nullptr);
    ~CPropertyLoggerDlg() override;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnClose() override;
    void OnTimer(unsigned id) override;

    void FillTabs();
    void ShowPage(CDialog* page);
    void RefreshPages();
    // Any thread (the main window's link-status report).
    void RefreshCommLamps();
    void RestorePlacement();

    // The state timer's enabling helpers.
    void EnableWinch(bool enable);
    void EnableProbeSet(bool enable);
    void EnableProbeControls(bool enable);
    void ShowGammaGroup(bool show);
    void EnableSampling(bool enable);
    void ShowTraceLengthStatics(bool show);
    void EnableComm(bool enable);

    // ---- the pages and state, for the main window and tests ----
    CPWinchDlg* WinchPage() const { return m_winch; }
    CPProbeDlg* ProbePage() const { return m_probe; }
    CPCommDlg* CommPage() const { return m_comm; }
    CPAcquisitionDlg* AcquisitionPage() const { return m_acq; }
    CDialog* CurrentPage() const { return m_pCurrent; }
    QTabBar* TabBar() const { return m_tab; }
    // The notification of a tab chosen by the operator (TCN_SELCHANGE).
    void OnTcnSelchange();

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CDialog* PageAt(int index) const;
    void RefreshPage(int index);
    void SelectTab(int index);
    // The GammaCoef question; false when the operator keeps the editing open.
    bool CloseGammaEditing();
    void StorePlacement();
    zns::setup::SetupState ReadState() const;

    CPreferences& m_prefs;
    SharedData& m_shared;
    SettingsData& m_data;
    HeaderRecord& m_header;
    LoggerSetupHooks m_hooks;

    CPWinchDlg* m_winch = nullptr;
    CPCommDlg* m_comm = nullptr;
    CPProbeDlg* m_probe = nullptr;
    CPAcquisitionDlg* m_acq = nullptr;
    QTabBar* m_tab = nullptr;
    QGroupBox* m_frame = nullptr;
    CDialog* m_pCurrent = nullptr;
    unsigned m_nTimer = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bSelecting = false;  // the tab is being selected by the program
    std::atomic<bool> m_lampsPending{false};
};
