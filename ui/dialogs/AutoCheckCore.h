#pragma once
// The communication auto-check as a timer state machine, free of any toolkit:
// it searches the downhole drive, the uphole gain, the uphole drive and the
// baud divisor by trial on the live link (commands 8 and 3), records one row
// per baud rate that passes, verifies the final choice over 25 frames and asks
// the operator to accept it. The dialog (CCheckComm) gives it its fields,
// boxes and waits through IAutoCheckHost and calls Tick on its state timer.
//
// GUI thread (or the test's thread); the link's threads only meet it through
// the records and flags of SharedData.
#include <array>
#include <cstdint>
#include <string>

#include "records/SharedRecords.h"
#include "ui/dialogs/CommReport.h"

namespace zns {

enum class CheckField : int { DownDrive = 0, Gain = 1, UpDrive = 2, Baud = 3 };

inline constexpr uint32_t kCheckRunning = 0xC80000;
inline constexpr uint32_t kCheckFailed = 0x0000C8;
inline constexpr uint32_t kCheckPassed = 0x00C800;
inline constexpr uint32_t kCheckBlack = 0x000000;
inline constexpr uint32_t kCheckKeepColor = 0xFFFFFFFF;  // status text only

// Uphole drive for a baud divisor and a downhole drive: d x D / 10, not above
// D, at least 5, at most 30.
int CheckUpDrive(int divisor, int downDrive);
// Divisor after `divisor` in 20, 15, 12, 10, 9, 8, 7, 6, 5, 4; 0 after 4 (or for another).
int NextFasterDivisor(int divisor);

class IAutoCheckHost {
public:
    virtual ~IAutoCheckHost() = default;
    // Command 3 or 8 built from the settings as they are now.
    virtual bool SendCommand(int code) = 0;
    // A "Current" or "Selected" field: a number (baud: the divisor, shown as its baud text).
    virtual void ShowValue(CheckField f, bool selected, int value) = 0;
    virtual void SetFieldColor(CheckField f, bool selected, uint32_t color) = 0;
    // Status line; kCheckKeepColor leaves its colour.
    virtual void ShowStatus(const std::string& text, uint32_t color) = 0;
    virtual int MessageBox(const std::string& text, unsigned type) = 0;
    // Pumps messages and lets `ms` pass.
    virtual void Wait(int ms) = 0;
    virtual void RefreshPages() = 0;
    virtual void SaveConfig() = 0;
    virtual void WriteReport() = 0;
    // The dialog closes through its cancel handling.
    virtual void Close() = 0;
};

class AutoCheckCore {
public:
    enum : int { ST_INIT = 0, ST_FIRST = 2, ST_SWEEP = 8, ST_GAIN = 13, ST_BAUD = 17, ST_END = 20 };
    static constexpr int kStartDelayMs = 200;
    static constexpr int kPendingRetryMs = 64;

    static constexpr const char* kMsgNoDrive = "Bad communication !!!\n no downholedrv valid ..  fail !!!";
    static constexpr const char* kMsgNoResult = "Bad communication !!!\n no result ..  fail !!!";
    static constexpr const char* kMsgAborted = "Aborted...\nNo result...";
    static constexpr const char* kMsgAskRestore = "No result...\nDo you want to restore your old parameters ?";
    static constexpr const char* kMsgWaitVerify = "Wait end of last check !!!";

    AutoCheckCore(SharedData& shared, IAutoCheckHost& host);

    // OnInitDialog: flags, rows cleared, saved values taken, m_bCommCheck set.
    // Returns the first timer delay (200 ms).
    int Start();
    // One tick of the state timer; the next delay in ms, or -1 for no re-arm.
    int Tick();
    // The cancel handling; true when the dialog is to end now.
    bool Cancel();

    // --- state, for the dialog and tests ---
    int State() const { return m_state; }
    bool Running() const { return m_run && !m_abort; }
    bool Verifying() const { return m_verifying; }
    bool Cancelling() const { return m_cancelling; }
    int Trial(CheckField f) const;
    int RowCount() const { return m_rowCount; }
    const std::array<CheckRow, kCheckRowCount + 1>& Rows() const { return m_rows; }
    bool DrivePassed(int drive) const { return drive >= 0 && drive < 100 && m_pass[size_t(drive)] != 0; }

    // Middle of the first run of passing drives among 5..59; -1 when none.
    static int MiddleOfFirstRun(const uint8_t* pass /* [100] */);
    // VerifyParameters: true when 25 consecutive frames carry "uphole data valid".
    bool VerifyParameters();
    // With restoring, the saved telemetry; always the saved trace codes,
    // TimeInterval and RecordingMode; then command 8.
    void RestoreParameters(bool restoring);
    void Abort(bool telling);

private:
    int State0();
    int State2();
    int State8();
    int State13();
    int State17();
    int State20();
    int NextDrive();
    int EndOfRange();
    int FallbackToEnd();
    int FramePeriodFor(int divisor);
    void PutTrial();  // gain, drives and divisor into the settings
    void Status(const std::string& text, uint32_t color = kCheckKeepColor) { m_host.ShowStatus(text, color); }
    void Show(CheckField f, bool selected, int v) { m_host.ShowValue(f, selected, v); }
    void Color(CheckField f, bool selected, uint32_t c) { m_host.SetFieldColor(f, selected, c); }
    bool Pending() const { return m_shared.TxLength() != 0; }
    void WaitWhilePending(int rounds);
    void Finish(bool accepted);
    std::string BaudText(int divisor) const;

    SharedData& m_shared;
    IAutoCheckHost& m_host;

    int m_down = 0, m_gain = 0, m_up = 0, m_baud = 20;
    int m_lastBaud = 20, m_lastGain = 0, m_lastUp = 0;
    int m_bestGain = -1;
    int m_savedDown = 0, m_savedGain = 0, m_savedUp = 0, m_savedBaud = 0;
    int m_savedCode[3] = {0, 0, 0};
    int m_savedInterval = 0, m_savedMode = 0;

    int m_state = ST_INIT;
    int m_period = 350;
    int m_retry = 0, m_wait = 0, m_good = 0;
    int m_rangeStep = 0, m_rangeStart = -1;
    int m_framePeriod = 0;
    bool m_firstStep = false, m_run = false, m_abort = false, m_cancelling = false, m_verifying = false;
    std::array<uint8_t, 100> m_pass{};
    std::array<CheckRow, kCheckRowCount + 1> m_rows{};  // one spare slot for the walk-back's marking
    int m_rowCount = 0;
};

}  // namespace zns
