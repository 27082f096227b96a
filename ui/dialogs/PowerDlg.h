#pragma once
// CPowerDlg: the power, record and replay panel of the main window. The sonde
// power logic lives in CPowerControl, the data file in CRecorder and the replay
// thread in CPlayer (all in link/, free of any toolkit); this panel owns them,
// lends them its timers and controls, and carries the Record, Stop, Play, Pause
// and Rewind buttons.
//
// Threads: everything runs on the GUI thread except the entry points marked
// "any thread", which post their work to it. The player thread calls the
// replay display hook directly (it must not block on the GUI thread).
#include <QIcon>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "link/Player.h"
#include "link/PowerControl.h"
#include "link/Recorder.h"
#include "platform/Clock.h"
#include "ui/dialogs/DialogExt.h"

struct SharedData;
struct SettingsData;
struct HeaderRecord;
class CToolsStream;
class CColorStaticST;
class CGraphicCounterCtrl;
class QPushButton;
class QSlider;
class QLabel;

// What the panel calls in windows built elsewhere. A missing hook falls back
// to the window globals (ui/WindowHandles.h) where there is one, else does
// nothing.
struct PowerDlgHooks {
    // The main window's acquisition reset, auto-print end and status bar.
    std::function<void(bool reload)> resetAcquisition;
    std::function<void()> endAutoPrint;
    std::function<void(int part, const std::string& text)> statusBarText;
    // Direct OnCommand of the main window (101, 133, 32772, 32774, 32773).
    std::function<void(unsigned id)> mainCommand;
    // Posted to the main window (1749).
    std::function<void(unsigned id)> postMainCommand;
    // Sent to the depth panel (1745).
    std::function<void(unsigned id)> sendDepthPanelCommand;
    // Posted to the acquisition page of the "Logger Setup" dialog (1749).
    std::function<void(unsigned id)> postAcquisitionPage;
    // Grey or enable an entry of the main window's menu.
    std::function<void(unsigned id, bool enabled)> enableMenuItem;
    // The replay display update of the record just read (OnReplayFrame); runs
    // on the player thread.
    std::function<void()> onReplayFrame;
    // Command 0 or 8 to the logger (CUSB::sendF0, CUSB::sendF8); by default
    // the command is queued with the selected sonde's voltage.
    std::function<bool(int code)> sendCommand;
};

class CPowerDlg : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 157;

    // Controls of the panel.
    enum : int {
        IDC_TITLE = 301,
        IDC_POWER = 904,
        IDC_STOP = 905,
        IDC_PLAY = 906,  // the template calls it "Pause"
        IDC_RECORD = 907,
        IDC_REWIND = 908,
        IDC_SPEED = 909,
        IDC_TIME_COUNTER = 1000,
        IDC_PAUSE = 1001,  // the template calls it "Play"
        IDC_SCOPE1 = 1003,
        IDC_SCOPE2 = 1004,
        IDC_SCOPE3 = 1005,
        IDC_TOOLS = 1006,
        IDC_VOLTAGE = IDC_VOLTAGE_COUNTER,
        IDC_CURRENT = IDC_CURRENT_COUNTER,
        IDC_STATUS = 1009,
        IDC_STATUS_ONE_FRAMES = 1186,
        IDC_OTHER_FRAMES = 1187,
    };
    // Commands and menu entries of the main window that the panel names.
    enum : unsigned {
        ID_FILE_OPEN = 100,
        ID_FILE_NEW = 101,
        ID_SHOW_LOGGER_TOOLS = 133,
        ID_WIDE_RX1 = 32772,
        ID_WIDE_RX3 = 32773,
        ID_WIDE_RX2 = 32774,
        ID_EXPORT_SEG2 = 32777,
    };
    static constexpr uint32_t kReplayCounterColour = 0xFFFFA0;

    // `powerDownConfirmed` is the application's flag that ConfirmExit reads.
    CPowerDlg(SharedData& shared, SettingsData& settings, HeaderRecord& header, CToolsStream& stream,
              zns::DataFileWriter& writer, QWidget* parent = nullptr, PowerDlgHooks hooks = {},
              std::atomic<bool>* powerDownConfirmed = nullptr, zns::IClock& clock = zns::DefaultClock());
    ~CPowerDlg() override;

    BOOL OnInitDialog() override;
    void OnTimer(unsigned id) override;
    // A panel inside the main window: Enter and Escape do not close it.
    void OnOK() override {}
    void OnCancel() override {}
    void OnClose() override;

    // ---- power (see CPowerControl) ----------------------------------------
    void OnBnClickedPower();
    // Any thread (the link watch, when the link is gone): presses the power
    // button on the GUI thread if that press switches the sonde off.
    void PostPowerOff();
    // Any thread: the status line and the counters (the main window's
    // link-status update). Coalesced when called faster than they run.
    void ShowStatus();
    void UpdateCounters();
    void UpdateCounterAlarms();
    void StartRefreshTimer();  // repaint in 150 ms
    void CreateToolTips();

    // ---- recorder and player ------------------------------------------------
    // onOpenFailed runs before the "Trouble opening file." box.
    void StartRecordFile(const std::function<void()>& onOpenFailed = {});
    void CloseRecordFile();
    // Any thread (ILinkReport::RecordingFailed: a record could not be
    // written): the recording stops, what was written is kept, and `message`
    // (empty: the writer's last error) is shown.
    void OnRecordWriteFailed(const std::string& message = {});
    void StartPlayer();
    void OnBnClickedRecord();
    void OnBnClickedStop();
    void OnBnClickedPlay();
    void OnBnClickedPause();
    void OnBnClickedRewind();
    void SetPlayerButtons();
    void SetRecorderButtons();
    // Stops the player thread and waits for it ("&Open" calls it before it
    // moves the replay position or reads the first record).
    void StopPlayerThread();
    // The player's run ended by itself (posted from the player thread).
    void OnPlayerEnded();

    // ---- observation ----------------------------------------------------------
    CPowerControl& Power() { return m_power; }
    CRecorder& Recorder() { return m_recorder; }
    CPlayer& Player() { return m_player; }
    bool IsPaused() const { return m_bPaused; }
    // Icon id a button shows (0 when none).
    int ButtonIcon(int id) const;
    CColorStaticST* StatusLine() const { return m_status; }
    CGraphicCounterCtrl* Counter(int id) const;

    static constexpr const char* kMsgNotPowered = CRecorder::kMsgNotPowered;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    class Panel;
    friend class Panel;

    void BuildControls();
    void DisplayTimer();
    void ApplyView(const PanelView& v);
    void SetButtonIcon(int id, int icon);
    void SetSessionByte(uint8_t SessionState::*field, uint8_t v);
    uint8_t SessionByte(uint8_t SessionState::*field) const;
    void StatusBar(int part, const std::string& text);
    void MainCommand(unsigned id);
    void EnableMenu(unsigned id, bool enabled);
    bool SendCommandToLogger(int code);
    // The player's read of the record at `pos`; a damaged one is reported. Player thread.
    bool ReadReplayRecord(int64_t pos);

    SharedData& m_shared;
    SettingsData& m_settings;
    HeaderRecord& m_header;
    CToolsStream& m_stream;
    zns::DataFileWriter& m_writer;
    PowerDlgHooks m_hooks;
    std::unique_ptr<Panel> m_panel;
    CPowerControl m_power;
    CRecorder m_recorder;
    CPlayer m_player;

    bool m_bPaused = false;
    bool m_bStopFromPower = false;  // Stop pressed by the power button
    bool m_bTimeCounterShown = false;
    std::atomic<bool> m_statusPending{false};
    std::atomic<bool> m_countersPending{false};

    CColorStaticST* m_title = nullptr;
    CColorStaticST* m_status = nullptr;
    CGraphicCounterCtrl* m_voltage = nullptr;
    CGraphicCounterCtrl* m_current = nullptr;
    CGraphicCounterCtrl* m_time = nullptr;
    QSlider* m_slider = nullptr;
    std::map<int, QIcon> m_icons;  // the buttons' pictures by icon id, each drawn once
};
