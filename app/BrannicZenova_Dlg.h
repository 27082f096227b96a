#pragma once
// The main window: the acquisition screen with its panels, the trace image,
// the menu and the status bar. It owns the link and every long-lived object
// of the screen; its modal loop is the program's life.
// One unit with the application object (BrannicLogger_ZN.h), whose records and
// program-wide values it uses; its code is split for length over
// BrannicZenova_Dlg.cpp, MainDlgFrames.cpp and MainDlgLog.cpp.
#include <QFrame>
#include <QMenuBar>  // complete for the window layer's QPointer members
#include <QPointer>
#include <QProgressBar>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/LinkReport.h"
#include "platform/ui/Menu.h"
#include "platform/ui/StatusBar.h"
#include "settings/Header.h"
#include "settings/Preferences.h"
#include "ui/controls/Picture.h"
#include "ui/controls/TracePrint.h"
#include "ui/layout/ResizableDialog.h"

class CAlertDlg;
class CBigDepth;
class CBrannicLogger_ZNApp;
class CDephtDlg;
class CDrawerZNSCtrl;
class CPWideDlg;
class CPowerDlg;
class CPropertyLoggerDlg;
class CUSB;
struct AcquisitionSettings;

class CBrannicZenova_Dlg : public CResizableDialog, public ILinkReport {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 522;
    static constexpr unsigned IDR_MAINMENU = 129;
    static constexpr unsigned ID_TIMER_STATUS = 410;
    static constexpr int kStatusParts = 8;
    static constexpr int kStatusTickEvery = 5;  // ticks between two "Packet size :" texts, less one

    // Controls of the window.
    enum : int { IDC_DRAWER_PLACE = 1017, IDC_STATUSBAR = 1036, IDC_PROGRESS = 1597 };
    // Commands of the menu and of the panels' buttons.
    enum : unsigned {
        IDM_ABOUTBOX = 16,
        ID_SET_PRINTER = 91,
        ID_AUTO_PRINT = 92,
        ID_FILE_OPEN = 100,
        ID_FILE_NEW = 101,
        ID_APP_EXIT = 102,
        ID_LANGUAGE_FR = 104,
        ID_LANGUAGE_UK = 105,
        ID_FILE_PRINT = 115,
        ID_SHOW_LOGGER_TOOLS = 133,
        ID_TOOLS_COMMUNICATION = 32771,
        ID_WIDE_RX1 = 32772,
        ID_WIDE_RX3 = 32773,
        ID_WIDE_RX2 = 32774,
        ID_EXPORT_SEG2 = 32777,
        ID_EXPORT_LAS = 32778,
    };
    static constexpr const char* kCaption = "BrannicLogger ZN";
    static constexpr const char* kAboutMenuText = "&About ZNS Acquisition software...";
    static constexpr const char* kMsgNoDefaultPrinter = "No default printer!!!";
    static constexpr const char* kMsgPrinterNameNotKept =
        "The name of this printer has letters that the configuration file cannot keep: the printer was not "
        "changed. Choose another printer, or give this one a name in Western European letters.";
    static constexpr const char* kMsgPdfFileNeeded =
        "Print to File (PDF) needs a file name: the printer was not changed.";
    static constexpr const char* kMsgPrinterUnusable =
        "This choice is not a printer and cannot be used for printing: choose an installed printer.";
    static constexpr const char* kMsgPacketSize = "Packet size :";
    static constexpr const char* kMsgPoweredReplay = "Sonde must be switched Off before entering in Replay Mode.";
    static constexpr const char* kMsgPoweredExport = "Sonde must be switched Off before export file.";
    static constexpr const char* kMsgPoweredExit = "Sonde must be switched off before leaving program.";
    static constexpr const char* kMsgAskExit =
        "The sonde is probably powered on. Do you want to close the application ?";
    static constexpr const char* kMsgReplaceLog = "Same file name exist, do you want replace this ?";
    static constexpr const char* kMsgFileProtected = "File protected, not possible to replace this ?";
    static constexpr const char* kMsgNoHeaderFile = "I not find header file : ";  // + title + ".hed !!!"
    static constexpr const char* kMsgNoDataFile = "Data file not present.";
    static constexpr const char* kMsgPathTooLong = "The file name is too long.";
    static constexpr const char* kFilterNewLog = "ZNS Sonde File (*.zne)|*.zne||";
    static constexpr const char* kFilterOpen = "Zenova Sonic (*.zne)|*.zne||";
    // Status-bar part 0 after a log was opened.
    static constexpr const char* kTextDataFile = "Data file : ";

    explicit CBrannicZenova_Dlg(CBrannicLogger_ZNApp& app, QWidget* parent = nullptr);
    ~CBrannicZenova_Dlg() override;

    BOOL OnInitDialog() override;
    BOOL OnCommand(unsigned id) override;
    void OnTimer(unsigned id) override;
    void OnSize(unsigned type, int cx, int cy) override;
    // Enter and Escape never end the main window; only the exit confirmation does.
    void OnOK() override {}
    void OnCancel() override {}
    // The close box.
    void OnClose() override;
    void OnSysCommand(unsigned id);

    // True when the program may end (the caller then ends the modal loop).
    virtual bool ConfirmExit();
    // "&New log.": true when a new data/header pair was chosen.
    bool OnFileNew();
    // "&Open": a recorded log made ready for replay.
    void OnFileOpen();
    // Command 101: the pair chosen, command 8, the header written, recording started.
    void OnNewLog();
    void UpdateMenuAndPanels();
    void RestoreWindowPos(bool atLeft);
    void HideScope(int receiverId);
    void EndAutoPrint();
    void OnSetPrinter();
    void OnPrint();
    void OnAutoPrint();
    void OnExportSeg2();
    void OnExportLas();
    void OnUpdateReceiverCaptions();
    void OnAbout();

    // Stops every worker of the window (link threads), each joined. Idempotent.
    void StopWorkers();
    // The exit: the pages still held get `ms` to print, events running; the
    // print system is not waited for beyond. Returns the pages not printed.
    zns::PrintExitCount FinishPrinting(int ms);

    // ---- per-frame and replay display update (any thread) -------------------
    // One record read back into LoggerStatus and the traces given.
    void OnReplayFrame(const int16_t* rx1, const int16_t* rx2, const int16_t* rx3);
    // The same with the shared trace buffers (the player's record).
    void OnReplayFrame();
    // Clears the trace image, gamma ring and scopes and the frame counters;
    // `reload` also restarts the replay depth from the header and reads the
    // sonde database again (that part on the GUI thread).
    void ResetAcquisition(bool reload);
    // Frame period (at least 250 ms), baud text and highest logging speed of
    // `settings`; see zns::ComputeFramePeriod. Any output may be null.
    static void ComputeFramePeriod(const AcquisitionSettings& settings, int* periodMs, std::string* baudLabel,
                                   double* maxSpeed, bool fromPeriod);

    // What one display update hands to the trace image and the scopes, for
    // tests that follow records through the displays. The tap runs on the
    // updating thread (receive, player or GUI).
    struct DisplayRow {
        bool replay = false;
        double depth = 0.0;  // m
        int mode = 0;
        int code[3] = {0, 0, 0};
        uint16_t gamma = 0;
        std::array<std::vector<int16_t>, 3> traces;  // the valid samples only
    };
    void SetDisplayTap(std::function<void(const DisplayRow&)> tap);

    // ---- ILinkReport (any thread; returns at once) -------------------------
    void StatusBarText(int part, const std::string& text) override;
    void OnLinkStatus(int code) override;
    void ShowAlert(int code) override;
    void OnNewFrame(const int16_t* rx1, const int16_t* rx2, const int16_t* rx3, double depthOrTime) override;
    void MessageBox(const std::string& text, LinkBoxIcon icon) override;
    void Beep(int hz, int ms) override;
    void PowerOffLostLink() override;
    void ResetStatusTick() override;
    void LoggerIdentity(const std::string& description, const std::string& serial) override;
    void RecordingFailed(const std::string& message) override;
    using CWndBase::MessageBox;

    // ---- for the other windows and tests ------------------------------------
    CBrannicLogger_ZNApp& App() { return m_app; }
    CPreferences& Preferences() { return m_preferences; }
    CHeader& Header() { return m_header; }
    CUSB* Link() { return m_usb.get(); }
    CStatusBarCtrl* StatusBar() const { return m_statusBar; }
    CMenu& Menu() { return *m_menu; }
    CDrawerZNSCtrl* Drawer() const { return m_drawer.get(); }
    CDephtDlg* DepthPanel() const { return m_depth.get(); }
    CPowerDlg* PowerPanel() const { return m_power.get(); }
    CAlertDlg* AlertBox() const { return m_alert.get(); }
    // The "Logger Setup" dialog (hidden until asked for).
    CPropertyLoggerDlg* LoggerSetup() const { return m_setup.get(); }
    // The depth panel's magnifier; null until the panel made it.
    CBigDepth* Magnifier() const;
    zns::CAppPrinter& AppPrinter() { return m_appPrinter; }
    // Queues logger command `code` (0, 1, 2, 3, 8, 9 or 10); false for another code.
    bool SendLoggerCommand(int code);
    // The wide view of receiver 2001, 2002 or 2003; null for another id.
    CPWideDlg* WideView(int receiverId) const;
    QProgressBar* Progress() const { return m_progress; }
    const CPicture& Logo() const { return m_logo; }
    bool PrinterReady() const { return m_printerReady; }
    // True while the print system has not yet answered the start-up question.
    bool PrinterLookupPending() const { return m_printerLookupPending; }
    int StatusTick() const { return m_nStatusTick.load(); }
    unsigned StatusTimerSlot() const { return m_nTimerStatus; }
    // Names of the start-up steps in the order they ran.
    const std::vector<std::string>& StartupSteps() const { return m_steps; }
    // Commands whose windows are not part of the program yet: shown greyed.
    static bool IsCommandPending(unsigned id);
    // Where the logo is painted (client coordinates; empty when none).
    QRect LogoRect() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void Step(const char* name) { m_steps.emplace_back(name); }
    void LoadMenu129();
    // Greys what the program cannot do yet and sets the print entries' state.
    void ApplyMenuStates();
    // Asks the print system (on the spooler's thread) for the configured and the
    // default printer; the print entries follow its answer.
    void SetupPrinter();
    void OnPrintersLookedUp(unsigned check, const zns::PrinterLookup& answer);
    // The print dialog and what was chosen in it; without `listed` the print
    // system gave no list of printers.
    void RunPrintSetup(bool listed);
    void SetStatusParts();
    void RememberNormalRect();
    void ToggleWide(int receiverId);
    // The receiver's name: from the replayed log's header, else from the selected sonde.
    std::string ReceiverName(int rx) const;
    void CreateChildren();
    void CreatePowerPanel();
    void CreateDepthPanel();
    void CreateLoggerSetup();
    // The depth panel's buttons: depth reset, recording mode, magnifier.
    void RunDepthReset();
    void RunRecordingModeFromPanel();
    void CreateMagnifier();
    // The "Logger Setup" pages that other windows post their private commands to.
    void PostAcquisitionPage(unsigned id);
    // The modal steps of "&New log.": the recording mode before the file is
    // chosen, the header editor after (their results are not consulted).
    void RunRecordingModeDialog();
    void RunHeaderEditor();
    // GUI-thread part of ResetAcquisition(true).
    void ReloadAfterReset();
    void ShowAlertNow();
    void Tap(bool replay, double depth, int mode, const int* code, const uint16_t* count, uint16_t gamma,
             const int16_t* const* traces);
    // Sets the file fields of a chosen log (folder, title as the dialog gave them).
    // Puts the configuration back on the last log while a new log's files are
    // not made yet; does nothing otherwise.
    void RestoreLogPaths();
    bool SetLogPaths(const std::string& folder, const std::string& title, const std::string& dataPath,
                     const std::string& headerPath);
    void CloseWideViews();
    void ShowLoggerSetup();
    QRect TemplateRect(int id) const;

    CBrannicLogger_ZNApp& m_app;
    SharedData& m_shared;
    SettingsData& m_data;

    // The application's printer; outlives the trace image that prints with it.
    zns::CAppPrinter m_appPrinter;
    std::unique_ptr<CDrawerZNSCtrl> m_drawer;
    std::unique_ptr<CPWideDlg> m_wide[3];
    CPreferences m_preferences;
    QPointer<CStatusBarCtrl> m_statusBar;
    std::unique_ptr<CPowerDlg> m_power;
    std::unique_ptr<CDephtDlg> m_depth;
    std::unique_ptr<CUSB> m_usb;
    CHeader m_header;
    std::function<void()> m_restoreLogPaths;  // set while a new log's files are being made
    std::unique_ptr<CPropertyLoggerDlg> m_setup;
    std::unique_ptr<CMenu> m_menu;
    QPointer<QProgressBar> m_progress;
    QPointer<QFrame> m_drawerPlace;
    CPicture m_logo;
    std::unique_ptr<CAlertDlg> m_alert;
    // Owned by the depth panel (its Qt parent), which may outlive this pointer's use.
    QPointer<CBigDepth> m_bigDepth;
    // The trace image for the workers: set once it exists, cleared before it goes.
    std::atomic<CDrawerZNSCtrl*> m_drawerLive{nullptr};
    std::atomic<int> m_pendingAlert{-1};
    std::mutex m_tapMutex;
    std::function<void(const DisplayRow&)> m_displayTap;
    // GammaCoef of the log loaded for replay, for the player thread.
    std::atomic<double> m_replayGammaCoef{1.0};

    unsigned m_nTimerStatus = 0;
    std::atomic<int> m_nStatusTick{kStatusTickEvery};
    int m_nBlink = 0;
    bool m_printerReady = false;
    bool m_printerLookupPending = false;
    bool m_printerSilent = false;       // the start-up question got no answer
    bool m_askingPrintServer = false;   // Set Printer waits for the print server's answer
    unsigned m_printerCheck = 0;  // a later printer choice outdates an answer
    bool m_autoPrint = false;
    bool m_inConfirmExit = false;
    bool m_workersStopped = false;
    std::vector<std::string> m_steps;
};
