// The main window's file operations: the data/header pair of a new log and
// the start of its recording, a recorded log opened for replay, and the exit
// confirmation with the orderly stop of the window. GUI thread only.
// Split from BrannicZenova_Dlg.cpp for length.
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <cctype>
#include <utility>

#include "app/BrannicLogger_ZN.h"
#include "app/BrannicZenova_Dlg.h"
#include "app/EndProcessDlg.h"
#include "ui/WindowHandles.h"
#include "link/CommandFrames.h"
#include "link/Recorder.h"
#include "link/ToolsStream.h"
#include "link/USB.h"
#include "platform/NumText.h"
#include "platform/Paths.h"
#include "platform/ui/UiService.h"
#include "ui/controls/DrawerZNSCtrl.h"
#include "ui/dialogs/DephtDlg.h"
#include "ui/dialogs/HeaderDlg.h"
#include "ui/dialogs/PRecordingMode.h"
#include "ui/dialogs/PWideDlg.h"
#include "ui/dialogs/PowerDlg.h"

namespace {

// Folder of a chosen path, without its trailing '/'.
std::string FolderOf(const std::string& path) {
    std::string dir = zns::DirPart(path);
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

bool HasExtensionNoCase(const std::string& path, const char* ext) {
    const std::string name = zns::FilePart(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string have = name.substr(dot + 1);
    const std::string want = ext;
    return have.size() == want.size() &&
           std::equal(have.begin(), have.end(), want.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// A name cut to its field, as bounded formatting leaves it.
template <size_t N>
void SetBoundedField(char (&field)[N], const std::string& text) {
    zns::SetFixedField(field, text.substr(0, std::min(text.size(), N - 1)));
}

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

bool CBrannicZenova_Dlg::SetLogPaths(const std::string& folder, const std::string& title,
                                     const std::string& dataPath, const std::string& headerPath) {
    FilePaths& fp = m_data.files;
    // A cut path would name another file: refused whole.
    if (dataPath.size() >= kPathFieldSize || headerPath.size() >= kPathFieldSize ||
        folder.size() >= kPathFieldSize) {
        MessageBox(kMsgPathTooLong, {}, MB_OK | MB_ICONSTOP);
        return false;
    }
    zns::SetFixedField(fp.szFilePath, folder);
    SetBoundedField(fp.szHeaderName, title + ".hed");
    SetBoundedField(fp.szFileName, title + ".zne");
    zns::SetFixedField(fp.szLastFile, headerPath);
    zns::SetFixedField(fp.szDataFile, dataPath);
    SetBoundedField(fp.szTempDir, m_preferences.ProgramDirectory() + "temp");
    m_preferences.SaveAll();
    return true;
}

// ---------------------------------------------------------------------------
// New log

void CBrannicZenova_Dlg::RunRecordingModeDialog() {
    RecordingModeHooks hooks;
    hooks.resetAcquisition = [this](bool reload) { ResetAcquisition(reload); };
    hooks.sendCommand = [this](int code) { return code == 8 && SendLoggerCommand(8); };
    CPRecordingMode dlg(m_shared, m_data, m_app.m_bDisplayModeDlg, std::move(hooks), this);
    dlg.DoModal();
}

void CBrannicZenova_Dlg::RunHeaderEditor() {
    HeaderDlgContext context;
    context.logo = &m_logo;
    context.lastLogFolder = zns::FixedFieldText(m_data.files.szFilePath);
    CHeaderDlg dlg(m_app.Header(), this, context);
    dlg.DoModal();
}

bool CBrannicZenova_Dlg::OnFileNew() {
    RunRecordingModeDialog();
    m_preferences.LoadToolFile();

    FilePaths& fp = m_data.files;
    // A new name must be possible: the file need not exist; the question
    // below asks before an existing log is replaced.
    zns::ui::FileDialogRequest req;
    req.open = false;
    req.defaultExt = ".zne";
    req.fileName = "*.zne";
    req.flags = OFN_HIDEREADONLY;
    req.filter = kFilterNewLog;

    std::string workFolder = zns::FixedFieldText(fp.szFilePath);
    if (workFolder.size() < 4) {
        workFolder = m_preferences.ProgramDirectory() + "Data";
        zns::MakeDirs(workFolder);
        zns::SetFixedField(fp.szFilePath, workFolder);
    }
    if (zns::PathExists(workFolder)) {
        req.initialDir = workFolder;
        const std::string last = zns::FixedFieldText(fp.szDataFile);
        if (zns::FileExists(last)) req.fileName = last;
    }

    const std::optional<std::string> chosen = zns::ui::Service().FileDialog(this, req);
    if (!chosen || chosen->empty()) return false;

    const std::string folder = FolderOf(*chosen);
    const std::string title = zns::FileTitle(*chosen);
    // A name in a folder that is not there: the folder is made now, or the log
    // is refused before anything is edited, sent or saved.
    if (!zns::PathExists(folder)) zns::MakeDirs(folder);
    if (!zns::PathExists(folder) || ::access(folder.c_str(), W_OK) != 0) {
        MessageBox(CRecorder::kMsgTroubleOpeningFile, {}, MB_OK | MB_ICONSTOP);
        return false;
    }
    zns::SetFixedField(fp.szFilePath, folder);
    const std::string dataPath = zns::JoinPath(folder, title + ".zne");
    const std::string headerPath = zns::JoinPath(folder, title + ".hed");
    if (zns::FileExists(dataPath)) {
        if (MessageBox(kMsgReplaceLog, {}, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return false;
        if (!zns::RemoveFile(dataPath)) {
            MessageBox(kMsgFileProtected, {}, MB_OK | MB_ICONSTOP);
            return false;
        }
        if (zns::FileExists(headerPath)) zns::RemoveFile(headerPath);
    }
    return SetLogPaths(folder, title, dataPath, headerPath);
}

void CBrannicZenova_Dlg::OnNewLog() {
    if (!m_power) return;
    // While a log runs its file pair must not change under it (Record does nothing then too).
    if (m_shared.SnapshotSession().Recording) return;
    // Tell the operator now, before a file is chosen, replaced or written.
    if (!m_power->Power().Powered() || m_shared.m_nLinkState.load() < LINK_IDLE) {
        MessageBox(CRecorder::kMsgNotPowered, {}, MB_OK | MB_ICONSTOP);
        return;
    }
    const FilePaths before = m_data.files;
    if (!OnFileNew()) return;
    const std::string folder = zns::FixedFieldText(m_data.files.szFilePath);
    if (!CRecorder::PrepareLogFolder(folder))
        MessageBox(zns::Format(CRecorder::kMsgDiskNearlyFull, folder.c_str()), {}, MB_OK | MB_ICONWARNING);
    // Until the log's files exist, a failure puts the configuration back on the
    // last log before its box shows: a crash meanwhile leaves it there.
    m_restoreLogPaths = [this, before] {
        m_data.files = before;
        m_preferences.SaveAll();
    };
    m_power->Recorder().ResetLogKeys();
    RunHeaderEditor();
    // The log starts only on a logger that got command 8: the command's own fate
    // decides, whatever the panel shows (it notices a lost link at its next tick).
    // The send thread gives a frame up within a few write time-outs.
    // Boxes the link posts meanwhile (a lost cable) wait until the paths are back.
    const zns::ui::HoldPostedBoxes hold;
    const CommandQueue::Ticket cmd8 = CommandQueue::NewTicket();
    if (m_usb->sendF8(cmd8)) PumpUntil([&] { return cmd8->load() != CommandQueue::Fate::Pending; }, 2000);
    if (cmd8->load() != CommandQueue::Fate::Written) {
        // Given up, refused by a full queue or still not out: the configuration is
        // back on the last log before the one box, New log's (the send thread
        // tells nothing of a command waited for, even if it gives it up later).
        RestoreLogPaths();
        MessageBox(CUSB::NotSentText(CMD_8), {}, MB_OK | MB_ICONSTOP);
        return;
    }
    // Without its header a data file could never be opened again: no recording.
    if (!m_header.WriteHeaderFile(zns::FixedFieldText(m_data.files.szLastFile))) {
        RestoreLogPaths();
        return;
    }
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.session.NewLogSet = 1;
    }
    m_power->StartRecordFile([this] { RestoreLogPaths(); });
    if (!m_shared.SnapshotSession().Recording) RestoreLogPaths();
    m_restoreLogPaths = nullptr;
}

void CBrannicZenova_Dlg::RestoreLogPaths() {
    if (auto restore = std::exchange(m_restoreLogPaths, nullptr)) restore();
}

// ---------------------------------------------------------------------------
// Open

void CBrannicZenova_Dlg::OnFileOpen() {
    FilePaths& fp = m_data.files;
    zns::ui::FileDialogRequest req;
    req.open = true;
    req.defaultExt = ".zne";
    req.fileName = "*.zne";
    req.flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;
    req.filter = kFilterOpen;

    const std::string lastData = zns::FixedFieldText(fp.szDataFile);
    if (lastData.size() < 4) zns::MakeDirs(m_preferences.ProgramDirectory() + "Demo");
    const std::string workFolder = zns::FixedFieldText(fp.szFilePath);
    if (zns::PathExists(workFolder)) {
        req.initialDir = workFolder;
        if (zns::FileExists(lastData)) req.fileName = lastData;
    }

    const std::optional<std::string> chosen = zns::ui::Service().FileDialog(this, req);
    if (!chosen || chosen->empty()) return;

    const std::string path = *chosen;
    const std::string title = zns::FileTitle(path);
    const std::string headerPath = zns::HeaderPathForDataFile(path);
    if (!zns::FileExists(path)) {
        MessageBox(kMsgNoDataFile, {}, MB_OK | MB_ICONSTOP);
        m_power->SetRecorderButtons();
        return;
    }
    if (!HasExtensionNoCase(path, "zne") || !zns::FileExists(headerPath)) {
        MessageBox(std::string(kMsgNoHeaderFile) + title + ".hed !!!", {}, MB_OK | MB_ICONSTOP);
        m_power->SetRecorderButtons();
        return;
    }

    WaitCursor wait;
    if (!SetLogPaths(FolderOf(path), title, path, headerPath)) return;
    if (m_header.ReadHeaderFile(headerPath)) {  // TRUE: not read
        m_power->SetRecorderButtons();
        return;
    }
    const HeaderRecord& header = m_app.Header();
    m_replayGammaCoef = header.GammaCoef;

    StatusBarText(SB_PART_FILE, std::string(kTextDataFile) + title + ".zne");
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.session.ReplayLoaded = 1;
        m_shared.logger.ReplayDepth = header.Startdepth / 1000.0;
    }
    CPlayer& player = m_power->Player();
    player.SetPosition(0);
    ResetAcquisition(true);

    // The first record on the scopes and panels; the image starts empty.
    if (m_app.Stream().ReadDataLineInFileZne(0)) {
        OnReplayFrame();
        if (m_drawer) m_drawer->ClearImage();
    }
    player.SetPosition(0);
    m_power->SetPlayerButtons();
    if (m_depth) m_depth->PutDataOnScreen();

    PostAcquisitionPage(ID_ACQUISITION_STATE_CHANGED);
    OnUpdateReceiverCaptions();
    if (header.RXNumber == 1) {
        HideScope(RX2_ID);
        HideScope(RX3_ID);
    } else if (header.RXNumber == 2) {
        HideScope(RX3_ID);
    }
}

// ---------------------------------------------------------------------------
// Exit

bool CBrannicZenova_Dlg::ConfirmExit() {
    if (m_inConfirmExit) return false;  // a second close while the first is asking
    m_inConfirmExit = true;
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{m_inConfirmExit};

    if (!m_app.m_bPowerDownConfirmed) PumpMessages(10);
    const bool asked = m_shared.m_nLinkState > LINK_ANSWER;
    if (asked) {
        if (m_shared.m_bSondePowered) {
            MessageBox(kMsgPoweredExit, {}, MB_OK | MB_ICONSTOP);
            return false;
        }
        if (MessageBox(kMsgAskExit, {}, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return false;
    }
    // From here the exit goes on by itself: no print box may hold it (the
    // count at the end tells what printing would have said).
    if (m_drawer) m_drawer->PrintSpooler().BeginExit();
    if (asked) {
        // From here a new start waits for this copy to end instead of raising its window.
        m_app.m_instanceChecker.Ending();
        PumpMessages(1000);
    }

    // A running player, or a log still open (the link may have gone while it
    // recorded): Stop ends it and writes the header's end keys.
    const SessionState session = m_shared.SnapshotSession();
    if ((session.Running || session.Recording) && m_power) {
        m_power->SendCommand(ID_POWER_STOP);
        PumpMessages();
    }

    m_shared.m_bExiting = true;
    m_app.m_instanceChecker.Ending();  // also without the question
    CEndProcessDlg* notice = m_app.EndProcessDlg();
    if (notice) notice->ShowWindow(SW_SHOW);
    CloseWideViews();
    PumpMessages(50);

    zns::WindowPlacement wp;
    GetWindowPlacement(wp);
    m_data.layout.placement[LAYOUT_MAIN] = wp;
    m_preferences.SaveAll();

    PumpMessages(500);
    if (notice) notice->SetMessage(CEndProcessDlg::kTextEndingUsb);
    PumpMessages();

    if (m_shared.m_bUsbLoaded && m_shared.m_bReceiveRun.exchange(false)) {
        // The receive thread ends within its read time-out.
        for (int waited = 0; m_shared.m_bReceiveRunning && waited < m_app.m_nWorkerWaitMs; waited += 10)
            PumpMessages(10);
    }
    CloseWideViews();
    KillTimer(ID_TIMER_STATUS);
    m_nTimerStatus = 0;
    PumpMessages();
    return true;
}
