#pragma once
// The application object: owns every shared record for the life of the
// program, refuses a second copy, runs the main window and shuts down in
// order (exit flag, workers joined, then windows, then records).
// One unit with the main window (BrannicZenova_Dlg.h): this object makes, runs
// and stops it, and the window works on the records and values kept here.
#include <QFont>
#include <QRect>
#include <QSize>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/EndProcessDlg.h"
#include "app/InstanceChecker.h"
#include "records/SharedRecords.h"
#include "link/ToolsStream.h"
#include "platform/WinTypes.h"
#include "settings/Header.h"
#include "settings/Preferences.h"

class CBrannicZenova_Dlg;

class CBrannicLogger_ZNApp {
public:
    // Before anything else: the records, the texts and fonts, the system's name.
    CBrannicLogger_ZNApp();
    // Windows first (joining whatever still runs), then the records.
    ~CBrannicLogger_ZNApp();
    CBrannicLogger_ZNApp(const CBrannicLogger_ZNApp&) = delete;
    CBrannicLogger_ZNApp& operator=(const CBrannicLogger_ZNApp&) = delete;

    // The program's life: single-instance check, start-up defaults, the
    // shutdown notice, the main window run modally, the ordered shutdown.
    // Always FALSE.
    BOOL InitInstance();

    // The steps of InitInstance, for tests that drive the main window themselves.
    // False when another copy runs (it has been brought forward).
    bool StartInstance();
    // Makes the main window (not yet created or shown).
    CBrannicZenova_Dlg& MakeMainWindow();
    // Notice shown, exit flag, workers joined, notice texts, main window destroyed.
    void Shutdown();

    // ---- records (allocated with the object, freed with it) ----------------
    SharedData& Shared() { return m_shared; }
    SettingsData& Settings() { return m_settings; }
    HeaderRecord& Header() { return m_header; }
    CToolsStream& Stream() { return m_stream; }
    zns::DataFileWriter& Writer() { return m_writer; }

    SharedData* const m_pShared;
    SettingsData* const m_pSettingsData;
    SessionState* const m_pSessionState;
    FilePaths* const m_pFilePaths;
    WindowLayout* const m_pWindowLayout;
    HeaderRecord* const m_pHeader;
    LiveValues* const m_pLiveValues;
    SondeStatus* const m_pSondeStatus;
    LoggerStatus* const m_pLoggerStatus;
    AcquisitionSettings* const m_pSettings;
    SondeDatabase* const m_pSondeDb;

    // ---- windows -----------------------------------------------------------
    CBrannicZenova_Dlg* m_pMainDlg = nullptr;
    CInstanceChecker m_instanceChecker;
    CEndProcessDlg* EndProcessDlg() { return m_endProcessDlg.get(); }

    // ---- program-wide values -----------------------------------------------
    std::string m_strOSName;
    QFont m_fontBold;   // Arial, -12, 700
    QFont m_fontHeavy;  // Arial, -10, 900
    QRect m_rcMainWnd;  // the main window's normal rectangle
    QSize m_ptMaxTrack; // the main window's maximised size
    std::atomic<bool> m_bRawDepth{false};
    std::atomic<bool> m_bDisplayModeDlg{false};  // the recording-mode dialog is open
    std::atomic<bool> m_bPowerDownConfirmed{true};
    std::atomic<int> m_nCurrentWideId{RX1_ID};
    std::atomic<int> g_nLostFrames{0};
    std::atomic<int> g_nGoodFrames{0};
    double m_dExportFirst = 0.0;
    double m_dExportLast = 0.0;
    double m_dExportStep = 0.0;

    // The logger's identity as the link last read it (About box).
    void SetLoggerIdentity(const std::string& id, const std::string& serial);
    std::string LoggerId() const;
    std::string LoggerSerial() const;

    // Bounds of the shutdown: per worker, and the pause with the last notice.
    int m_nWorkerWaitMs = 2000;
    int m_nShutdownPauseMs = 2000;
    // What the print spooler gets at exit for the pages it holds.
    int m_nPrintWaitMs = 3000;
    // How long a new start waits for a copy that is ending.
    int m_nPreviousWaitMs = 15000;
    static constexpr const char* kMsgPagesNotPrinted =
        "%u page(s) were not printed: the print system did not take them in time.";
    static constexpr const char* kMsgPagesMayBePrinted =
        "%u page(s) may have been printed: the print system could not be asked in time.";
    static constexpr const char* kMsgPagesTold = " (%u pages)";
    static constexpr const char* kMsgStillEnding =
        "ZNS Acquisition software is still ending. Start it again in a moment.";

private:
    // Records first: everything below refers to them.
    SharedData m_shared;
    SettingsData m_settings;
    HeaderRecord m_header;
    zns::DataFileWriter m_writer;
    CToolsStream m_stream;

    mutable std::mutex m_identityMutex;
    std::string m_strLoggerId;
    std::string m_strLoggerSerial;

    std::unique_ptr<CEndProcessDlg> m_endProcessDlg;
    // Last, so that it goes first.
    std::unique_ptr<CBrannicZenova_Dlg> m_mainDlg;
};

// Runs the event loop for `ms` milliseconds (0: once), so that windows paint
// and posted work runs during the program's waits. GUI thread.
void PumpMessages(int ms = 0);
// Keeps the windows drawn, taking no user input, until `done` or `ms` milliseconds;
// returns `done`. GUI thread.
bool PumpUntil(const std::function<bool()>& done, int ms);
