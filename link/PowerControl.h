#pragma once
// The sonde power side of the power panel, free of any toolkit: the power
// button, the power-on download of the complete settings with its read-back
// (command 8), the power-down handshake (command 0), the status line, the
// supply-counter alarms and what the panel's display tick shows. The panel
// (ui/dialogs/PowerDlg) lends it timers and shows what it decides; tests drive
// it on virtual time against the simulated logger.
//
// GUI thread only, like the timers that drive it. The receive thread writes
// SondeStatus and LoggerStatus and sets the first new-data flag; that flag is
// the only hand-shake: a tick clears it and waits for a fresh frame.
#include <atomic>
#include <cstdint>
#include <string>

#include "records/SharedRecords.h"
#include "platform/WinUser.h"
#include "settings/Header.h"
#include "settings/Preferences.h"

class CRecorder;

// Timers of the power panel.
enum : unsigned {
    ID_TIMER_DISPLAY = 402,      // display refresh: 50 ms first, then 100 ms
    ID_TIMER_DOWNLOAD = 403,     // power-on download and read-back
    ID_TIMER_REPAINT = 404,      // one-shot repaint, 150 ms
    ID_TIMER_POWER_GUARD = 405,  // power-button guard, 350 ms
    ID_TIMER_STATUS_HOLD = 406,  // hold time of the status line, 250 ms
    ID_TIMER_POWER_DOWN = 414,   // power-down handshake
};

// Icons of the panel's buttons (resource ids).
enum : int {
    IDI_POWER_ON = 200,
    IDI_POWER_OFF = 202,
    IDI_PLAY = 204,
    IDI_RECORD = 205,
    IDI_RECORD_BLINK = 206,
    IDI_PAUSE = 211,
    IDI_TOOLS = 213,
    IDI_POWER_OFF_BLINK = 524,
    IDI_POWER_ON_BLINK = 526,
    IDI_PAUSE_BLINK = 527,
    IDI_PLAY_BLINK = 528,
    IDI_SCOPE1 = 532,
    IDI_SCOPE3 = 533,
    IDI_SCOPE2 = 536,
};

// Control ids of the panel that the power side names.
enum : int { IDC_VOLTAGE_COUNTER = 1007, IDC_CURRENT_COUNTER = 1008 };

// Colour classes of the status line: 0 black text, 1 blue text (running),
// 2 red text, 3 white text on red (failure).
enum : int { STATUS_PLAIN = 0, STATUS_RUNNING = 1, STATUS_NOTICE = 2, STATUS_FAILURE = 3 };

struct StatusColours {
    uint32_t text = 0;          // COLORREF
    uint32_t back = 0;          // COLORREF; only when ownBack is false
    bool ownBack = true;        // the static's own background
};
StatusColours StatusClassColours(int cls);

// The text and class a frame status code gives on the status line (steps of
// ShowStatus that depend on the code and the step flag only); `set` is false
// when the code names nothing to show.
struct StatusText {
    std::string text;
    int cls = STATUS_PLAIN;
    bool set = false;
};
StatusText FrameStatusText(uint8_t code, bool stepFlag);

// What the power control asks of its panel. Timers are the panel's own.
class IPowerPanel {
public:
    virtual ~IPowerPanel() = default;
    virtual void SetTimer(unsigned id, unsigned ms) = 0;
    virtual void KillTimer(unsigned id) = 0;
    virtual bool IsTimerSet(unsigned id) const = 0;
    // Command 0 or 8 to the logger; false when it could not be queued.
    virtual bool SendCommand(int code) = 0;

    virtual int MessageBox(const std::string& text, unsigned type) { return IDOK; }
    virtual void Beep(unsigned frequency, unsigned durationMs) {}
    // Status line 1009; cls < 0 keeps its colours.
    virtual void SetStatusLine(const std::string& text, int cls) {}
    // Status line text colour back to black (a power press).
    virtual void SetStatusLineBlack() {}
    // Frame counters 1186 and 1187.
    virtual void SetFrameCounters(const std::string& statusOne, const std::string& other) {}
    // Supply voltage and current counters 1007 and 1008.
    virtual void SetSupplyCounters(const std::string& volts, const std::string& milliamps) {}
    virtual void SetCounterBlink(int counterId, bool on) {}
    // The time counter 1000, written only while it is shown.
    virtual void SetTimeCounterText(const std::string& text) {}
    virtual void SetPowerIcon(int icon) {}
    // The recorder and replay side of the panel.
    virtual void CloseRecordFile() {}
    virtual void PressStopForPower() {}  // Stop pressed by the power button
    virtual void SetRecorderButtons() {}
    // The main window.
    virtual void EndAutoPrint() {}
    virtual void ResetAcquisition(bool reload) {}
    virtual void StatusBarText(int part, const std::string& text) {}
    virtual void AcquisitionStateChanged() {}  // WM_COMMAND 1749 posted to the main window
};

// What one display tick shows (the panel applies it).
struct PanelView {
    int receivers = -1;         // scope buttons and menu entries for this many receivers; -1 unchanged
    bool newLogEnabled = false;  // "&New log." (101)
    bool seg2Enabled = true;     // "SEG-2" (32777)
    bool openEnabled = true;     // "&Open" (100)
    bool powerEnabled = false;
    int powerIcon = 0;           // 0: unchanged
    bool recordEnabled = false;  // 907
    int playIcon = 0;            // 0: unchanged
    int pauseIcon = 0;
    int recordIcon = 0;
    bool timeCounterShown = false;
    bool replayColour = false;   // time counter text 0xFFFFA0
};

class CPowerControl {
public:
    static constexpr unsigned kDisplayFirstMs = 50;
    static constexpr unsigned kDisplayMs = 100;
    static constexpr unsigned kDownloadFirstMs = 50;
    static constexpr unsigned kDownloadSentMs = 200;
    static constexpr unsigned kWaitMs = 64;
    static constexpr unsigned kRepaintMs = 150;
    static constexpr unsigned kGuardMs = 350;
    static constexpr unsigned kHoldMs = 250;
    static constexpr unsigned kPowerTextHoldMs = 350;  // the power press's texts, as long as its guard
    static constexpr unsigned kGiveUpHoldMs = 5000;
    // No status or waveform frame for this long while powering on: the logger does
    // not answer, and the panel must not go on showing a powered sonde.
    static constexpr unsigned kNoAnswerMs = 4000;
    static constexpr unsigned kPowerDownFirstMs = 100;
    static constexpr unsigned kPowerDownSentMs = 500;
    static constexpr int kDownloadTries = 10;
    static constexpr int kPowerDownTriesA = 20;
    static constexpr int kPowerDownTriesB = 4;
    static constexpr int kVoltageAlarm = 106;  // V
    static constexpr int kCurrentAlarm = 251;  // mA

    static constexpr const char* kMsgOrderRefused = "Order refused !!!";
    static constexpr const char* kMsgNotPowered = "Sonde not powered";
    static constexpr const char* kMsgPowered = "Probe powered";
    static constexpr const char* kMsgPowerDownNotConfirmed = "Power down not confirmed by the sonde !!!";
    static constexpr const char* kMsgCloseEditing = "You must close the editing before use this button !!!";
    static constexpr const char* kMsgNoSonde = "No sondes selected ...";
    static constexpr const char* kMsgNoAnswer = "The logger does not answer.";

    // `powerDownConfirmed` is the application's flag that the exit
    // confirmation reads (nullptr: one of this object's own).
    CPowerControl(SharedData& shared, SettingsData& settings, HeaderRecord& header, IPowerPanel& panel,
                  std::atomic<bool>* powerDownConfirmed = nullptr);
    CPowerControl(const CPowerControl&) = delete;
    CPowerControl& operator=(const CPowerControl&) = delete;

    // Panel state cleared (initialisation).
    void Reset();

    // The power button.
    void OnBnClickedPower();
    // Timers 403, 405, 406 and 414; false for any other id.
    bool OnTimer(unsigned id);

    void ShowStatus();
    void UpdateCounters();
    void UpdateCounterAlarms();
    // One display tick (timer 402) without its re-arming. `paused` is the
    // panel's paused flag; `recorder` gets "EndDepth" while a log runs.
    PanelView DisplayTick(bool paused, CRecorder* recorder);

    bool Powered() const { return m_bPowered; }
    bool Adjusting() const { return m_bAdjusting; }
    int TryA() const { return m_nTryA; }
    int TryB() const { return m_nTryB; }
    bool PowerDownConfirmed() const { return m_pConfirmed->load(); }
    int BlinkCount() const { return m_nBlink; }

private:
    void HoldStatusLine();
    void DownloadTick();
    void PowerDownTick();
    void ArmDownload(unsigned ms);
    void GiveUpSilentLogger();
    // Every switch-off: status-bar part 0 as with the sonde off at start.
    void ShowSondeOffStatusBar();

    SharedData& m_shared;
    SettingsData& m_settings;
    HeaderRecord& m_header;
    IPowerPanel& m_panel;
    std::atomic<bool> m_ownConfirmed{false};
    std::atomic<bool>* m_pConfirmed;

    bool m_bPowered = false;
    bool m_bAdjusting = false;
    int m_nTryA = 0;
    int m_nTryB = 0;
    unsigned m_silentMs = 0;  // download ticks without a fresh frame, in a row
    int m_nBlink = 0;
    int m_nLastCode = -1;
    bool m_voltBlink = false;
    bool m_currBlink = false;
};
