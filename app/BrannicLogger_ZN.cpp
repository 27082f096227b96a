#include "app/BrannicLogger_ZN.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>

#include "ui/AppTexts.h"
#include "app/BrannicZenova_Dlg.h"
#include "app/OsName.h"
#include "platform/Paths.h"
#include "platform/ui/Draw.h"
#include "platform/ui/GuiThread.h"
#include "platform/ui/UiService.h"
#include "settings/SaveReport.h"

void PumpMessages(int ms) {
    if (!QCoreApplication::instance()) {
        if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
        return;
    }
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, std::max(1, std::min(ms, 10)));
        if (ms > 0 && t.elapsed() < ms) QThread::msleep(1);
    } while (t.elapsed() < ms);
}

bool PumpUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() >= ms) return false;
        // Drawn, but no click or key meanwhile: the wait's caller must not run again under it.
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

namespace {

ToolsStreamSources MakeStreamSources(SettingsData& settings) {
    ToolsStreamSources src;
    src.dataFilePath = [&settings] { return zns::FixedFieldText(settings.files.szDataFile); };
    src.showError = [](const std::string& text) {
        zns::ui::PostMessageBox(text, zns::ui::AppTitle(), MB_OK | MB_ICONSTOP);
    };
    return src;
}

}  // namespace

CBrannicLogger_ZNApp::CBrannicLogger_ZNApp()
    : m_pShared(&m_shared),
      m_pSettingsData(&m_settings),
      m_pSessionState(&m_shared.session),
      m_pFilePaths(&m_settings.files),
      m_pWindowLayout(&m_settings.layout),
      m_pHeader(&m_header),
      m_pLiveValues(&m_shared.live),
      m_pSondeStatus(&m_shared.sonde),
      m_pLoggerStatus(&m_shared.logger),
      m_pSettings(&m_shared.settings),
      m_pSondeDb(&m_settings.sondeDb),
      m_stream(m_shared, m_header, m_writer, MakeStreamSources(m_settings)) {
    zns::AnchorProgramDir();
    // Start-up values of the records (the rest is zero or the records' own defaults).
    {
        std::lock_guard<std::mutex> lock(m_shared.acqMutex);
        m_shared.settings.RecordingMode = RECMODE_TIME;
    }
    m_settings.g_nRefreshTime = 50;
    for (auto& gain : m_shared.g_nDisplayGainRx) gain = 1;
    m_bPowerDownConfirmed = true;
    g_nLostFrames = 0;
    g_nGoodFrames = 0;
    m_shared.g_bFirstRecordPending = false;
    m_shared.m_bLinkWatchRunning = false;
    m_shared.m_bReceiveRun = false;
    m_shared.m_bReceiveRunning = false;
    m_shared.m_bSendRunning = false;
    m_shared.m_bPlayerRunning = false;

    if (QCoreApplication::instance()) {
        m_fontBold = zns::ui::MakeFont("Arial", -12, 700);
        m_fontHeavy = zns::ui::MakeFont("Arial", -10, 900);
    }
    m_strOSName = GetOSName().name;
    // Records that may not have reached the disk: the log has a gap, told as it is found.
    m_writer.HeaderKeys().OnDataSyncFailure([](const std::string& text) {
        zns::ui::PostMessageBox(text, zns::ui::AppTitle(), MB_OK | MB_ICONSTOP);
    });
    // A save that failed on any thread is told on the GUI thread, once per file,
    // unless a save of that file has worked by then (a log's header closed on
    // the room kept for it after a running key update met the full disk). The
    // news of a file whose failure was told is told too: it takes the place of
    // the failure's box while that is still up, also under the boxes shown
    // above it since (the recording's own), and follows it once answered.
    auto told = std::make_shared<std::set<std::string>>();  // GUI thread only
    zns::SetSaveFailureHandler([told](const std::string& path, const std::string& text, bool failed) {
        zns::ui::PostToGui(nullptr, [told, path, text, failed] {
            if (failed) {
                if (!zns::SaveFailureStands(path)) return;
                told->insert(path);
            } else {
                zns::ui::WithdrawMessageBoxes(path);
                if (!told->erase(path)) return;
            }
            zns::ui::MessageBoxAbout(failed ? path : std::string(), text, zns::ui::AppTitle(),
                                     MB_OK | (failed ? MB_ICONSTOP : MB_ICONINFORMATION));
        });
    });
}

CBrannicLogger_ZNApp::~CBrannicLogger_ZNApp() {
    // Whatever Shutdown did not get to: the main window joins its workers as it goes.
    m_mainDlg.reset();
    m_endProcessDlg.reset();
    zns::SetSaveFailureHandler(nullptr);
}

void CBrannicLogger_ZNApp::SetLoggerIdentity(const std::string& id, const std::string& serial) {
    std::lock_guard<std::mutex> lock(m_identityMutex);
    m_strLoggerId = id;
    m_strLoggerSerial = serial;
}

std::string CBrannicLogger_ZNApp::LoggerId() const {
    std::lock_guard<std::mutex> lock(m_identityMutex);
    return m_strLoggerId;
}

std::string CBrannicLogger_ZNApp::LoggerSerial() const {
    std::lock_guard<std::mutex> lock(m_identityMutex);
    return m_strLoggerSerial;
}

bool CBrannicLogger_ZNApp::StartInstance() {
    zns::ui::SetAppTitle(g_strProductTitle);
    if (m_instanceChecker.PreviousInstanceRunning()) {
        if (m_instanceChecker.ActivatePreviousInstance()) return false;  // its window is in front
        // No window came forward: the other copy is ending, and its lock goes soon.
        if (!m_instanceChecker.WaitForPreviousInstance(m_nPreviousWaitMs)) {
            zns::ui::AfxMessageBox(kMsgStillEnding, MB_OK | MB_ICONEXCLAMATION);
            return false;
        }
    }

    {
        std::lock_guard<std::mutex> lock(m_shared.acqMutex);
        SessionState& s = m_shared.session;
        s.ReplayLoaded = s.Running = s.SondeReported = s.Paused = s.Recording = s.StartingRecord = s.NewLogSet = 0;
        m_shared.logger.FrameStatus = 0;
        m_shared.logger.StepFlag = 0;
    }
    for (auto& f : m_shared.m_bNewData) f = false;
    m_shared.g_bBadDirection = false;
    m_shared.m_bLinkUp = false;
    m_bRawDepth = true;

    m_settings.m_szLanguage[0] = 'F';
    m_settings.m_szLanguage[1] = 'R';
    m_settings.m_szLanguage[2] = '\0';

    m_shared.m_nStatusOneFrames = 0;
    m_shared.g_dLastDepth = 0.0;
    m_shared.g_dLastDepth2 = 0.0;
    m_shared.g_nWaveHeadFlag = -1;
    m_nCurrentWideId = RX1_ID;

    m_endProcessDlg = std::make_unique<CEndProcessDlg>();
    m_endProcessDlg->Create();
    return true;
}

CBrannicZenova_Dlg& CBrannicLogger_ZNApp::MakeMainWindow() {
    m_mainDlg.reset();
    m_mainDlg = std::make_unique<CBrannicZenova_Dlg>(*this);
    m_pMainDlg = m_mainDlg.get();
    return *m_mainDlg;
}

BOOL CBrannicLogger_ZNApp::InitInstance() {
    if (!StartInstance()) return FALSE;
    MakeMainWindow().DoModal();
    Shutdown();
    return FALSE;
}

void CBrannicLogger_ZNApp::Shutdown() {
    // A new start no longer finds a window to bring forward: it waits for this one.
    m_instanceChecker.Ending();
    if (m_endProcessDlg) m_endProcessDlg->ShowWindow(SW_SHOW);
    PumpMessages();
    m_shared.m_bExiting = true;

    // The receive thread is told to stop first; then every worker is joined
    // (each ends within its own read time-out or link-watch step), so that
    // nothing runs once the windows and the records go.
    m_shared.m_bReceiveRun = false;
    if (m_mainDlg) m_mainDlg->StopWorkers();

    // The pages still held get a short while; the print system is not waited for.
    const zns::PrintExitCount left = m_mainDlg ? m_mainDlg->FinishPrinting(m_nPrintWaitMs) : zns::PrintExitCount{};
    std::string text;
    for (const auto& [format, pages] : {std::pair{kMsgPagesNotPrinted, left.notPrinted},
                                        std::pair{kMsgPagesMayBePrinted, left.unknown}}) {
        char line[160];
        std::snprintf(line, sizeof line, format, static_cast<unsigned>(pages));
        if (pages > 0) text += (text.empty() ? "" : "\n") + std::string(line);
    }
    // What failed pages would have told (a refusal with its reason), each once.
    for (const auto& [said, pages] : left.told) {
        char line[40] = "";
        if (pages > 1) std::snprintf(line, sizeof line, kMsgPagesTold, static_cast<unsigned>(pages));
        text += (text.empty() ? "" : "\n") + said + line;
    }
    // Told while this copy holds the lock: a new start brings this box
    // forward instead of hiding it behind a window of its own.
    if (!text.empty()) zns::ui::AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
    // The logger and the files are let go: a new copy may start now.
    m_instanceChecker.Release();

    if (m_endProcessDlg) m_endProcessDlg->SetMessage(CEndProcessDlg::kTextShutdown);
    PumpMessages(m_nShutdownPauseMs);
    if (m_endProcessDlg) m_endProcessDlg->ShowWindow(SW_HIDE);
    m_mainDlg.reset();
    m_pMainDlg = nullptr;
}
