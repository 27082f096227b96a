#pragma once
// How the link's threads (link watch, receive, send) and the frame handlers
// report to the main window. The main window implements it; tests record.
//
// Every call may come from a worker thread and must return at once: an
// implementation posts to the GUI thread (status bar, boxes, the power button)
// and never waits for it. OnNewFrame is the exception that does work on the
// calling thread: it feeds the display sinks under their own locks.
#include <cstdint>
#include <string>

// Codes of ILinkReport::OnLinkStatus.
enum : int {
    LINK_STATUS_VALUES = 1024,  // new values and gains (waveform frames, converted status frames, receive error)
    LINK_STATUS_SENT = 1025,    // a command was written; the link watch found nothing
    LINK_STATUS_STATE = 1026,   // new status (configuration answer, status frame)
};

// Alarm codes of ILinkReport::ShowAlert: bit 6 and bit 7 of a frame's mode byte.
enum : int { LINK_ALERT_0 = 0, LINK_ALERT_1 = 1 };

// Status-bar parts the link writes.
enum : int {
    SB_PART_FILE = 0,     // file and mode texts (not written by the link)
    SB_PART_LINK = 1,     // "Checking USB Link .", "USB link connected", "Data wait ..."
    SB_PART_HARDWARE = 2, // "Not hardware detected.", "Packet size %d Bytes"
    SB_PART_COUNTER = 3,  // frames dispatched since the logger was found
};

// What the status bar and the power panel say of a logger that is there but may not be opened.
inline constexpr const char* kLinkNoAccessText = "No access to the logger";

enum class LinkBoxIcon { Information, Warning, Error };

class ILinkReport {
public:
    virtual ~ILinkReport() = default;

    // Status-bar text of one part.
    virtual void StatusBarText(int part, const std::string& text) = 0;
    // LINK_STATUS_VALUES, LINK_STATUS_SENT or LINK_STATUS_STATE.
    virtual void OnLinkStatus(int code) = 0;
    // LINK_ALERT_0 or LINK_ALERT_1 into the alarm box.
    virtual void ShowAlert(int code) = 0;
    // One trace-image row and scope update at `depthOrTime`. The traces hold at
    // least 512 samples each; how many are valid follows the trace byte counts of
    // SondeStatus (which only the receive thread writes, so a snapshot taken
    // inside this call matches the traces).
    virtual void OnNewFrame(const int16_t* rx1, const int16_t* rx2, const int16_t* rx3, double depthOrTime) = 0;
    // A message box; posted, never waited for.
    virtual void MessageBox(const std::string& text, LinkBoxIcon icon) = 0;
    // A tone; the link waits out its length on its own clock.
    virtual void Beep(int hz, int ms) = 0;
    // The link was lost while the sonde is marked powered: press the power
    // panel's power button to switch the sonde off. Called once per loss.
    virtual void PowerOffLostLink() = 0;
    // The link watch found nothing: restart the count after which the main
    // window writes "Packet size :" into status-bar part 2.
    virtual void ResetStatusTick() = 0;
    // The logger's description and serial number, for the About box.
    virtual void LoggerIdentity(const std::string& description, const std::string& serial) = 0;
    // A record could not be written: the data file was cut back to its last
    // whole record and closed. The recorder stops recording and shows `message`.
    virtual void RecordingFailed(const std::string& message) = 0;
};

// Reports nothing (tools, benchmarks).
class NullLinkReport : public ILinkReport {
public:
    void StatusBarText(int, const std::string&) override {}
    void OnLinkStatus(int) override {}
    void ShowAlert(int) override {}
    void OnNewFrame(const int16_t*, const int16_t*, const int16_t*, double) override {}
    void MessageBox(const std::string&, LinkBoxIcon) override {}
    void Beep(int, int) override {}
    void PowerOffLostLink() override {}
    void ResetStatusTick() override {}
    void LoggerIdentity(const std::string&, const std::string&) override {}
    void RecordingFailed(const std::string&) override {}
};
