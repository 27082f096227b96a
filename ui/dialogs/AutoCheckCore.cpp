#include "ui/dialogs/AutoCheckCore.h"

#include <algorithm>
#include <mutex>

#include "link/FramePeriod.h"
#include "platform/WinUser.h"

namespace zns {

namespace {

constexpr int kDivisors[] = {20, 15, 12, 10, 9, 8, 7, 6, 5, 4};
constexpr uint8_t kNoResp = 0x02;
constexpr uint8_t kUpholeValid = 0x01;
constexpr uint8_t kErrorBits = 0xDE;
constexpr int kSweepMs = 200;

}  // namespace

int CheckUpDrive(int divisor, int downDrive) {
    int u = divisor * downDrive / 10;
    u = std::min(u, downDrive);
    u = std::max(u, 5);
    return std::min(u, 30);
}

int NextFasterDivisor(int divisor) {
    for (size_t i = 0; i + 1 < std::size(kDivisors); ++i)
        if (kDivisors[i] == divisor) return kDivisors[i + 1];
    return 0;
}

AutoCheckCore::AutoCheckCore(SharedData& shared, IAutoCheckHost& host) : m_shared(shared), m_host(host) {}

int AutoCheckCore::Trial(CheckField f) const {
    switch (f) {
        case CheckField::DownDrive: return m_down;
        case CheckField::Gain: return m_gain;
        case CheckField::UpDrive: return m_up;
        case CheckField::Baud: return m_baud;
    }
    return 0;
}

int AutoCheckCore::Start() {
    m_run = true;
    m_abort = m_cancelling = m_verifying = false;
    m_period = 350;
    m_pass.fill(0);
    m_rows.fill(CheckRow{});
    m_rowCount = 0;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        const AcquisitionSettings& s = m_shared.settings;
        m_savedDown = s.DownDrive;
        m_savedGain = s.UpGain;
        m_savedUp = s.UpDrive;
        m_savedBaud = s.BaudDivisor;
        for (int rx = 0; rx < 3; ++rx) m_savedCode[rx] = s.ZNSModus(rx);
        m_savedInterval = s.TimeInterval;
        m_savedMode = s.RecordingMode;
    }
    m_state = ST_INIT;
    m_shared.m_bCommCheck = true;
    return kStartDelayMs;
}

void AutoCheckCore::PutTrial() {
    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    AcquisitionSettings& s = m_shared.settings;
    s.UpGain = m_gain;
    s.DownDrive = m_down;
    s.UpDrive = m_up;
    s.BaudDivisor = m_baud;
}

int AutoCheckCore::FramePeriodFor(int divisor) {
    AcquisitionSettings s = m_shared.SnapshotSettings();
    s.BaudDivisor = divisor;
    int p = 0;
    ComputeFramePeriod(s, &p, nullptr, nullptr, true);
    return p;
}

std::string AutoCheckCore::BaudText(int divisor) const {
    const char* t = BaudLabelForDivisor(divisor);
    return t ? t : "";
}

int AutoCheckCore::Tick() {
    if (!m_run || m_abort) return -1;
    if ((m_state == ST_FIRST || m_state == ST_SWEEP || m_state == ST_GAIN || m_state == ST_BAUD) && Pending())
        return kPendingRetryMs;
    switch (m_state) {
        case ST_INIT: return State0();
        case ST_FIRST: return State2();
        case ST_SWEEP: return State8();
        case ST_GAIN: return State13();
        case ST_BAUD: return State17();
        case ST_END: return State20();
        default: return -1;
    }
}

int AutoCheckCore::State0() {
    m_down = 15;
    m_up = 25;
    m_gain = 0;
    m_baud = 20;
    m_bestGain = -1;
    m_rangeStart = -1;
    m_rangeStep = 0;
    m_pass.fill(0);
    m_rows.fill(CheckRow{});
    m_rowCount = 0;
    m_lastBaud = 20;
    m_period = 64;
    m_firstStep = false;
    m_retry = m_wait = m_good = 0;
    Show(CheckField::DownDrive, false, m_down);
    Show(CheckField::Gain, false, m_gain);
    Show(CheckField::UpDrive, false, m_up);
    Show(CheckField::Baud, false, m_baud);
    Status("Initialization ...");
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        AcquisitionSettings& s = m_shared.settings;
        s.UpGain = m_gain;
        s.DownDrive = m_down;
        s.UpDrive = m_up;
        s.BaudDivisor = m_baud;
        s.RecordingMode = RECMODE_TIME;
        s.TimeInterval = 250;
        s.ZNSModus_Rx1 = s.ZNSModus_Rx2 = s.ZNSModus_Rx3 = 0;
    }
    m_host.SendCommand(8);
    m_state = ST_FIRST;
    return 2000;
}

// First communication: raise the gain at each drive until frames come through.
int AutoCheckCore::State2() {
    Show(CheckField::UpDrive, false, m_up);
    Show(CheckField::DownDrive, false, m_down);
    Show(CheckField::Gain, false, m_gain);
    const SondeStatus e = m_shared.SnapshotSonde();
    if (e.DownDriveEcho != m_down || e.UpGainEcho != m_gain) {
        if (m_retry <= 10) {
            ++m_retry;
            m_host.SendCommand(8);
            return m_period;
        }
        m_retry = 0;
        return NextDrive();
    }
    m_retry = 0;
    if (!(e.FrameStatus & kNoResp)) {
        if (m_good > 5) {
            m_gain -= 2;
            Show(CheckField::Gain, true, m_gain);
            Color(CheckField::Gain, true, kCheckPassed);
            m_down = 5;
            Color(CheckField::DownDrive, false, kCheckRunning);
            Status("Start DownHoleDrive check ...");
            PutTrial();
            m_host.SendCommand(8);
            m_state = ST_SWEEP;
            return m_period;
        }
        ++m_good;
        Color(CheckField::Gain, false, kCheckPassed);
        m_wait = 10;
    } else {
        m_good = 0;
        Color(CheckField::Gain, false, kCheckRunning);
    }
    if (m_wait <= 3) {
        ++m_wait;
        return m_period;
    }
    m_wait = 0;
    if (m_gain < 35) {
        Status("Wait communication ...");
        ++m_gain;
        PutTrial();
        m_host.SendCommand(8);
        return m_period;
    }
    return NextDrive();
}

int AutoCheckCore::NextDrive() {
    if (m_down >= 60) {
        Abort(true);
        return -1;
    }
    if (!m_firstStep) {
        m_firstStep = true;
        m_down = 6;
    } else {
        // The drive never goes past the logger's 60.
        m_down = std::min(m_down + 5, 60);
    }
    m_gain = 0;
    Status("Check to first communication ...");
    PutTrial();
    m_host.SendCommand(8);
    return m_period;
}

int AutoCheckCore::MiddleOfFirstRun(const uint8_t* pass) {
    int first = -1, last = -1;
    for (int d = 5; d <= 59; ++d) {
        if (pass[d]) {
            if (first < 0) first = d;
            last = d;
        } else if (first >= 0) {
            break;
        }
    }
    if (first < 0) return -1;
    return first + (last - first) / 2;
}

// Downhole-drive sweep 5..60, one pass flag per drive.
int AutoCheckCore::State8() {
    Show(CheckField::DownDrive, false, m_down);
    Show(CheckField::Gain, false, m_gain);
    Show(CheckField::UpDrive, false, m_up);
    Status("Create Downhole drive statistic, wait...");
    const SondeStatus e = m_shared.SnapshotSonde();
    const bool equal = e.DownDriveEcho == m_down && e.UpGainEcho == m_gain;
    if (equal && !(e.FrameStatus & kNoResp)) {
        if (m_down >= 0 && m_down < 100) m_pass[size_t(m_down)] = 1;
        Color(CheckField::DownDrive, false, kCheckPassed);
    } else if (equal) {
        Color(CheckField::DownDrive, false, kCheckBlack);
        if (m_retry <= 2) {
            ++m_retry;
            return kSweepMs;
        }
    } else {
        if (m_retry <= 5) {
            ++m_retry;
            m_host.SendCommand(3);
            return kSweepMs;
        }
    }
    // Step to the next drive.
    ++m_down;
    m_retry = 0;
    if (m_down <= 60) {
        Show(CheckField::DownDrive, false, m_down);
        PutTrial();
        m_host.SendCommand(3);
        return kSweepMs;
    }
    const int mid = MiddleOfFirstRun(m_pass.data());
    if (mid < 0) {
        m_host.MessageBox(kMsgNoDrive, MB_OK);
        Abort(false);
        return -1;
    }
    m_down = mid;
    Status("Downhole drive setting, wait...");
    PutTrial();
    Show(CheckField::DownDrive, true, m_down);
    Show(CheckField::DownDrive, false, m_down);
    m_gain = 0;
    Show(CheckField::Gain, false, m_gain);
    Status("DownHoleDrive : pass, check gain range ... ", kCheckRunning);
    m_up = CheckUpDrive(m_baud, m_down);
    PutTrial();
    Show(CheckField::UpDrive, false, m_up);
    Show(CheckField::UpDrive, true, m_up);
    m_host.SendCommand(8);
    m_state = ST_GAIN;
    m_rangeStep = 0;
    return m_period;
}

// Gain range at the current baud.
int AutoCheckCore::State13() {
    const SondeStatus e = m_shared.SnapshotSonde();
    if (e.UpGainEcho != m_gain) {
        ++m_retry;
        if (m_retry >= 20) {
            m_host.MessageBox(kMsgNoResult, MB_OK);
            Abort(false);
            return -1;
        }
        m_host.SendCommand(3);
        return m_period;
    }
    if (m_rangeStep == 0) {
        m_rangeStart = -1;
        if (m_bestGain < 0) {
            m_bestGain = m_gain;
            m_lastUp = m_down;
        }
        m_gain = std::max(0, m_gain - 6);
        PutTrial();
        Show(CheckField::Gain, false, m_gain);
        Status("Setting gain range, wait !!!", kCheckRunning);
        m_host.SendCommand(3);
        m_rangeStep = 1;
        return m_period;
    }
    if (m_rangeStep == 1 && m_shared.SnapshotSettings().ZNSModus_Rx1 != TLC_512_8US) {
        Color(CheckField::DownDrive, true, kCheckPassed);
        Color(CheckField::UpDrive, true, kCheckPassed);
        {
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            AcquisitionSettings& s = m_shared.settings;
            s.ZNSModus_Rx1 = s.ZNSModus_Rx2 = s.ZNSModus_Rx3 = TLC_512_8US;
            s.BaudDivisor = m_baud;
        }
        m_framePeriod = FramePeriodFor(m_baud);
        {
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            m_shared.settings.TimeInterval = static_cast<uint16_t>(m_framePeriod + 50);
        }
        m_period = 350;
        m_host.SendCommand(8);
        return m_framePeriod + 50;
    }
    if (e.DownDriveEcho == m_down) {
        if (e.FrameStatus & kErrorBits) {
            Color(CheckField::Gain, false, kCheckFailed);
            if (m_retry < 5) {
                ++m_retry;
                return m_period;
            }
            m_retry = 0;
            if (m_gain > 35) return EndOfRange();
            ++m_gain;
            m_rangeStart = -1;
            PutTrial();
            Show(CheckField::Gain, false, m_gain);
            m_host.SendCommand(3);
            return m_period;
        }
        m_retry = 0;
        if (m_rangeStart >= 0 && m_gain - m_rangeStart >= 6) {
            if (m_rowCount < kCheckRowCount) {
                m_rows[size_t(m_rowCount)] = CheckRow{m_down, m_up, m_rangeStart, m_gain, m_baud, 1};
                ++m_rowCount;
            }
            m_rangeStep = 0;
            const int selected = std::min(m_rangeStart + 4, 40);
            Show(CheckField::Gain, true, selected);
            m_bestGain = selected;
            m_lastGain = selected;
            m_lastBaud = m_baud;
            m_gain = selected;
            m_up = CheckUpDrive(m_baud, m_down);
            Show(CheckField::UpDrive, false, m_up);
            Show(CheckField::UpDrive, true, m_up);
            Color(CheckField::Gain, true, kCheckPassed);
            Color(CheckField::Baud, true, kCheckPassed);
            Show(CheckField::Baud, true, m_baud);
            Status("Gain : pass ... ", kCheckPassed);
            m_framePeriod = FramePeriodFor(m_baud);
            PutTrial();
            {
                std::lock_guard<std::mutex> g(m_shared.acqMutex);
                m_shared.settings.TimeInterval = static_cast<uint16_t>(m_framePeriod + 50);
            }
            m_period = 350;
            m_host.SendCommand(8);
            m_state = ST_BAUD;
            return m_period;
        }
        Color(CheckField::Gain, false, kCheckPassed);
        if (m_rangeStart < 0) m_rangeStart = m_gain;
        if (m_gain < 35 && m_gain - m_rangeStart < 8) {
            ++m_gain;
            PutTrial();
            Show(CheckField::Gain, false, m_gain);
            m_host.SendCommand(3);
            return m_period;
        }
        return EndOfRange();
    }
    // The drive echo differs.
    if (m_gain < 35) {
        if (m_retry < 10) {
            ++m_retry;
            return m_period;
        }
        ++m_gain;
        Color(CheckField::Gain, false, kCheckBlack);
        PutTrial();
        Show(CheckField::Gain, false, m_gain);
        m_host.SendCommand(3);
        m_retry = 0;
        return m_period;
    }
    return EndOfRange();
}

int AutoCheckCore::EndOfRange() {
    if (m_baud == 20) {
        Abort(true);
        return -1;
    }
    m_baud = m_lastBaud;
    m_gain = m_bestGain;
    m_up = m_lastUp;
    m_state = ST_END;
    return 20;
}

int AutoCheckCore::FallbackToEnd() {
    m_baud = m_lastBaud;
    m_gain = m_lastGain;
    m_up = m_lastUp;
    m_state = ST_END;
    return 20;
}

// Next faster baud.
int AutoCheckCore::State17() {
    const SondeStatus e = m_shared.SnapshotSonde();
    if (e.UpDriveEcho == m_up) {
        if (e.FrameStatus & kUpholeValid) {
            Color(CheckField::Baud, true, kCheckPassed);
            Color(CheckField::UpDrive, true, kCheckPassed);
            Show(CheckField::Baud, true, m_baud);
            Show(CheckField::UpDrive, true, m_up);
            m_lastBaud = m_baud;
            m_lastGain = m_gain;
            m_lastUp = m_up;
            const int next = NextFasterDivisor(m_baud);
            if (next == 0) {
                m_state = ST_END;
                return 20;
            }
            m_baud = next;
            m_up = CheckUpDrive(m_baud, m_down);
            Show(CheckField::UpDrive, false, m_up);
            Color(CheckField::UpDrive, false, kCheckRunning);
            Show(CheckField::Baud, false, m_baud);
            Color(CheckField::Baud, false, kCheckRunning);
            m_framePeriod = FramePeriodFor(m_baud);
            PutTrial();
            {
                std::lock_guard<std::mutex> g(m_shared.acqMutex);
                m_shared.settings.TimeInterval = static_cast<uint16_t>(m_framePeriod + 50);
            }
            m_retry = 0;
            m_host.SendCommand(8);
            m_period = 350;
            m_state = ST_GAIN;
            return m_period;
        }
        if (m_retry < 10) {
            ++m_retry;
            return m_period;
        }
        return FallbackToEnd();
    }
    if (m_retry < 20) {
        if (!(m_retry & 2)) m_host.SendCommand(8);
        ++m_retry;
        return m_period;
    }
    return FallbackToEnd();
}

void AutoCheckCore::WaitWhilePending(int rounds) {
    for (int i = 0; i < rounds && Pending() && m_run; ++i) m_host.Wait(20);
}

bool AutoCheckCore::VerifyParameters() {
    m_verifying = true;
    Status("Parameters verification, wait !!!");
    m_shared.m_bNewData[0] = false;
    bool ok = false;
    for (int poll = 0; poll < 100 && !ok; ++poll) {
        m_host.Wait(50);
        if (m_shared.TakeNewData(0) && (m_shared.SnapshotSonde().FrameStatus & kUpholeValid)) ok = true;
    }
    for (int frame = 0; ok && frame < 25; ++frame) {
        bool got = false;
        for (int poll = 0; poll < 100 && !got; ++poll) {
            m_host.Wait(50);
            got = m_shared.TakeNewData(0);
        }
        if (!got || !(m_shared.SnapshotSonde().FrameStatus & kUpholeValid)) ok = false;
    }
    m_verifying = false;
    return ok;
}

void AutoCheckCore::RestoreParameters(bool restoring) {
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        AcquisitionSettings& s = m_shared.settings;
        if (restoring) {
            s.DownDrive = m_savedDown;
            s.UpGain = m_savedGain;
            s.UpDrive = m_savedUp;
            s.BaudDivisor = m_savedBaud;
        }
        for (int rx = 0; rx < 3; ++rx) s.ZNSModus(rx) = m_savedCode[rx];
        s.TimeInterval = static_cast<uint16_t>(m_savedInterval);
        s.RecordingMode = m_savedMode;
    }
    m_host.SendCommand(8);
}

void AutoCheckCore::Abort(bool telling) {
    Status("Aborted...", kCheckFailed);
    RestoreParameters(true);
    if (telling) {
        m_host.MessageBox(kMsgAborted, MB_OK | MB_ICONSTOP);
        m_host.Close();
    }
}

int AutoCheckCore::State20() {
    if (m_gain > 40) {
        Status("No result...", kCheckFailed);
        if (m_host.MessageBox(kMsgAskRestore, MB_YESNO | MB_ICONINFORMATION) == IDYES) {
            RestoreParameters(true);
        } else {
            PutTrial();
            m_host.SendCommand(8);
        }
        m_host.RefreshPages();
        m_host.SaveConfig();
        m_host.Close();
        return -1;
    }
    std::string question;
    if (VerifyParameters()) {
        const std::string text = "Success at " + BaudText(m_baud) + " bauds !!!";
        Status(text, kCheckBlack);
        question = text + "\nAccept ?";
    } else {
        while (m_rowCount > 0 && m_run) {
            m_rows[size_t(m_rowCount)].valid = 0;
            --m_rowCount;
            if (m_rows[size_t(m_rowCount)].baudDivisor != 0 && m_rowCount != 0) {
                m_rows[size_t(m_rowCount)].valid = 0;
                --m_rowCount;
            }
            const CheckRow& r = m_rows[size_t(m_rowCount)];
            m_down = r.downDrive;
            m_up = r.upDrive;
            m_gain = r.gainMin + 4;
            m_baud = r.baudDivisor;
            Status("Restore last range parameters, wait !!!");
            Show(CheckField::DownDrive, false, m_down);
            Show(CheckField::DownDrive, true, m_down);
            Show(CheckField::Gain, false, m_gain);
            Show(CheckField::Gain, true, m_gain);
            Show(CheckField::UpDrive, false, m_up);
            Show(CheckField::UpDrive, true, m_up);
            Show(CheckField::Baud, false, m_baud);
            Show(CheckField::Baud, true, m_baud);
            PutTrial();
            WaitWhilePending(150);
            m_host.SendCommand(8);
            WaitWhilePending(150);
            for (int i = 0; i < 151 && m_run; ++i) {
                if (m_shared.SnapshotSonde().BaudEcho == m_baud && m_shared.m_bNewData[0].load()) break;
                m_host.Wait(20);
            }
            if (!m_run) return -1;
            if (VerifyParameters()) {
                const std::string text = "Success at " + BaudText(m_baud) + " bauds !!!";
                Status(text, kCheckBlack);
                question = text + "\nAccept ?";
                break;
            }
        }
        if (!m_run) return -1;
        if (question.empty()) {
            const std::string text = "Communication at " + BaudText(m_baud) + " bauds.\n Last Check invalid !!!";
            Status(text, kCheckBlack);
            question = text + "\nAccept ?";
        }
    }
    if (!m_run) return -1;
    Finish(m_host.MessageBox(question, MB_YESNO | MB_ICONINFORMATION) == IDYES);
    return -1;
}

void AutoCheckCore::Finish(bool accepted) {
    if (accepted) {
        PutTrial();
        RestoreParameters(false);
    } else {
        RestoreParameters(true);
    }
    m_host.RefreshPages();
    m_host.SaveConfig();
    m_shared.m_bCommCheck = false;
    m_run = false;
    m_host.WriteReport();
    m_host.Close();
}

bool AutoCheckCore::Cancel() {
    if (m_verifying) {
        Status(kMsgWaitVerify);
        return false;
    }
    if (m_cancelling) return false;
    if (!m_shared.m_bCommCheck) return true;
    m_abort = true;
    m_cancelling = true;
    Status("Cancel , wait !!!", kCheckFailed);
    m_abort = false;
    m_run = false;  // no tick may follow the cancel
    Abort(false);
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        AcquisitionSettings& s = m_shared.settings;
        s.DownDrive = m_savedDown;
        s.UpGain = m_savedGain;
        s.UpDrive = m_savedUp;
        s.BaudDivisor = m_savedBaud;
    }
    for (int i = 0; i < 150 && Pending(); ++i) m_host.Wait(20);
    m_host.SendCommand(8);
    Status("Parametres restored , wait !!!");
    m_shared.m_bCommCheck = false;
    return true;
}

}  // namespace zns
