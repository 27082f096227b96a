// Sonde power: the power button, download and read-back of the settings,
// power-down handshake, status line and the panel's display decisions.
#include "link/PowerControl.h"

#include "link/CommandFrames.h"
#include "link/LinkReport.h"
#include "link/Recorder.h"
#include "platform/NumText.h"

StatusColours StatusClassColours(int cls) {
    switch (cls) {
        case STATUS_RUNNING: return {0xFF0000, 0, true};
        case STATUS_NOTICE: return {0x0000FF, 0, true};
        case STATUS_FAILURE: return {0xFFFFFF, 0x0000FF, false};
        default: return {0x000000, 0, true};
    }
}

StatusText FrameStatusText(uint8_t code, bool stepFlag) {
    StatusText t;
    if (code == 0) return {" ", STATUS_PLAIN, true};
    if ((code & 0x01) && !stepFlag) return {"Status OK", STATUS_RUNNING, true};
    // Every bit set is written in this order; the last one stands.
    static const struct {
        uint8_t bit;
        const char* text;
        int cls;
    } kBits[] = {
        {0x20, "Setting adjustment in progress ... wait", STATUS_RUNNING},
        {0x10, "Parameter adjustment in progress ... wait", STATUS_RUNNING},
        {0x08, "CheckSum Error", STATUS_FAILURE},
        {0x40, "Frame error", STATUS_FAILURE},
        {0x80, "Frame error", STATUS_FAILURE},
        {0x04, "Int resp", STATUS_FAILURE},
        {0x02, "No response", STATUS_FAILURE},
    };
    for (const auto& b : kBits)
        if (code & b.bit) t = {b.text, b.cls, true};
    return t;
}

CPowerControl::CPowerControl(SharedData& shared, SettingsData& settings, HeaderRecord& header, IPowerPanel& panel,
                             std::atomic<bool>* powerDownConfirmed)
    : m_shared(shared), m_settings(settings), m_header(header), m_panel(panel),
      m_pConfirmed(powerDownConfirmed ? powerDownConfirmed : &m_ownConfirmed) {}

void CPowerControl::Reset() {
    m_bPowered = false;
    m_bAdjusting = false;
    m_nTryA = 0;
    m_nTryB = 0;
    m_silentMs = 0;
    m_nBlink = 0;
    m_nLastCode = -1;
}

void CPowerControl::OnBnClickedPower() {
    if (m_shared.g_bGammaCoefEditing.load()) {
        m_panel.MessageBox(kMsgCloseEditing, MB_OK | MB_ICONSTOP);
        return;
    }
    if (m_shared.m_nLinkState.load() >= LINK_RX_ERROR) {
        if (m_panel.IsTimerSet(ID_TIMER_POWER_GUARD)) {
            m_panel.Beep(255, 100);
            return;
        }
        m_panel.SetTimer(ID_TIMER_POWER_GUARD, kGuardMs);
    } else {
        // No logger link: whatever the panel shows, the press switches off.
        m_bPowered = true;
    }
    m_panel.SetStatusLineBlack();

    if (m_bPowered) {
        ShowSondeOffStatusBar();
        m_panel.CloseRecordFile();
        m_panel.EndAutoPrint();
        m_panel.SetStatusLine(kMsgNotPowered, -1);
        HoldStatusLine();
        m_panel.SetPowerIcon(IDI_POWER_OFF);
        m_bPowered = false;
        m_bAdjusting = true;
        m_panel.KillTimer(ID_TIMER_DOWNLOAD);
        if (!m_panel.IsTimerSet(ID_TIMER_POWER_DOWN)) {
            m_shared.m_bNewData[0].store(false);
            m_panel.SetTimer(ID_TIMER_POWER_DOWN, kPowerDownFirstMs);
            m_nTryB = 0;
        }
    } else {
        if (m_panel.IsTimerSet(ID_TIMER_POWER_DOWN)) return;  // still powering down
        if (m_settings.sondeDb.SerialNumber < 1) {
            m_panel.MessageBox(kMsgNoSonde, MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        m_panel.PressStopForPower();
        {
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            m_shared.session.ReplayLoaded = 0;
            m_shared.settings.RecordingMode = RECMODE_TIME;
        }
        m_panel.SetRecorderButtons();
        m_panel.ResetAcquisition(true);
        m_panel.StatusBarText(0, "Acquisition Mode.");
        m_panel.SetStatusLine(kMsgPowered, -1);
        HoldStatusLine();
        m_panel.SetPowerIcon(IDI_POWER_ON);
        m_bPowered = true;
        m_bAdjusting = true;
        // The try counter A is only reset where a download or power-down ends.
        if (!m_panel.IsTimerSet(ID_TIMER_DOWNLOAD)) {
            m_shared.m_bNewData[0].store(false);
            m_panel.SetTimer(ID_TIMER_DOWNLOAD, kDownloadFirstMs);
            m_nTryB = 0;
            m_silentMs = kDownloadFirstMs;
        }
        if (!m_panel.IsTimerSet(ID_TIMER_DISPLAY)) m_panel.SetTimer(ID_TIMER_DISPLAY, kDisplayMs);
    }
    m_shared.m_bSondePowered.store(m_bPowered);
    m_panel.AcquisitionStateChanged();
}

void CPowerControl::ShowSondeOffStatusBar() {
    // "Acquisition Mode." stands for a powered sonde; a log just closed keeps its name.
    if (!m_shared.SnapshotSession().Recording) m_panel.StatusBarText(0, "");
}

void CPowerControl::HoldStatusLine() {
    // The frame status shown next must not replace the text at once; the hold
    // ends early only when the frame status changes.
    m_nLastCode = m_shared.SnapshotLogger().FrameStatus;
    m_panel.SetTimer(ID_TIMER_STATUS_HOLD, kPowerTextHoldMs);
}

bool CPowerControl::OnTimer(unsigned id) {
    switch (id) {
        case ID_TIMER_DOWNLOAD: DownloadTick(); return true;
        case ID_TIMER_POWER_DOWN: PowerDownTick(); return true;
        case ID_TIMER_POWER_GUARD:
        case ID_TIMER_STATUS_HOLD: m_panel.KillTimer(id); return true;
        default: return false;
    }
}

void CPowerControl::ArmDownload(unsigned ms) {
    if (!m_panel.IsTimerSet(ID_TIMER_POWER_DOWN)) m_panel.SetTimer(ID_TIMER_DOWNLOAD, ms);
}

void CPowerControl::DownloadTick() {
    m_panel.KillTimer(ID_TIMER_DOWNLOAD);
    if (m_shared.TxLength() > 0 || !m_shared.m_bNewData[0].load()) {
        // Only status and waveform frames raise the flag: a logger that sends
        // nothing else would keep this waiting for ever.
        if (m_silentMs >= kNoAnswerMs) {
            GiveUpSilentLogger();
            return;
        }
        m_silentMs += kWaitMs;
        ArmDownload(kWaitMs);
        m_shared.m_bNewData[0].store(false);
        return;
    }
    m_silentMs = 0;
    m_pConfirmed->store(false);

    SondeStatus sonde;
    std::array<uint8_t, 15> cmd8{};
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        sonde = m_shared.sonde;
        cmd8 = m_shared.m_pCmd8Frame;
    }

    auto resend = [&] {
        ArmDownload(kDownloadSentMs);
        m_shared.m_bNewData[0].store(false);
        m_panel.SendCommand(CMD_8);
        ++m_nTryA;
    };
    auto refuse = [&](const std::string& text) {
        m_panel.MessageBox(text, MB_OK | MB_ICONEXCLAMATION);
        m_nTryA = 0;
        OnBnClickedPower();  // switches off
        m_bAdjusting = false;
    };

    if ((sonde.Mode & 0x0F) == 0) {  // the sonde has not taken the settings
        if (m_nTryA >= kDownloadTries) {
            refuse(kMsgOrderRefused);
        } else {
            resend();
            m_shared.m_nStatusOneFrames.store(0);
            m_shared.m_nOtherFrames.store(0);
        }
        return;
    }

    const int sentVolts = cmd8[4], sentGain = cmd8[5], sentDrive = cmd8[6];
    const int sentInterval = cmd8[2] | (cmd8[3] << 8);
    const bool voltOk = sonde.VoltageEcho == sentVolts;
    const bool driveOk = sonde.DownDriveEcho == sentDrive;
    const bool gainOk = sonde.UpGainEcho == sentGain;
    const bool intervalOk = sonde.Step == sentInterval;
    if (voltOk && driveOk && gainOk && intervalOk) {
        m_nTryA = 0;
        m_bAdjusting = false;  // the download is over
        return;
    }
    if (m_nTryA < kDownloadTries) {
        resend();
        return;
    }
    std::string text = std::string(kMsgOrderRefused) + "\n";
    if (!voltOk) text += zns::Format("Voltage setting -> send %dV ReadBack %dV \n", sentVolts, sonde.VoltageEcho);
    if (!driveOk)
        text += zns::Format("Downhole Communication Data Drive -> send %d ReadBack %d \n", sentDrive,
                            sonde.DownDriveEcho);
    if (!gainOk) text += zns::Format("Uphole Receiver Gain -> send %d ReadBack %d \n", sentGain, sonde.UpGainEcho);
    if (!intervalOk)
        text += zns::Format("Time Depth Interval -> send %d ReadBack %d \n", sentInterval, static_cast<int>(sonde.Step));
    refuse(text);
}

void CPowerControl::GiveUpSilentLogger() {
    m_nTryA = 0;
    m_silentMs = 0;
    m_bPowered = false;
    m_bAdjusting = false;
    m_panel.SetPowerIcon(IDI_POWER_OFF);
    ShowSondeOffStatusBar();
    m_shared.m_bSondePowered.store(false);
    // Should the logger hear us after all, the sonde goes off; no handshake waits
    // for an answer that is not coming.
    m_panel.SendCommand(CMD_0);
    m_panel.SetStatusLine(kMsgNoAnswer, STATUS_FAILURE);
    m_panel.SetTimer(ID_TIMER_STATUS_HOLD, kGiveUpHoldMs);
    m_panel.AcquisitionStateChanged();
    m_panel.MessageBox(kMsgNoAnswer, MB_OK | MB_ICONEXCLAMATION);
}

void CPowerControl::PowerDownTick() {
    m_panel.KillTimer(ID_TIMER_POWER_DOWN);
    if (m_shared.TxLength() > 0 || !m_shared.m_bNewData[0].load()) {
        // A pending command or no fresh frame only delays; it does not count.
        m_panel.SetTimer(ID_TIMER_POWER_DOWN, kWaitMs);
        m_shared.m_bNewData[0].store(false);
        return;
    }
    const uint8_t mode = m_shared.SnapshotSonde().Mode;
    if ((mode & 0x0F) == 0) {  // the sonde is off
        m_pConfirmed->store(true);
        m_nTryA = 0;
        m_bAdjusting = false;
        m_panel.ResetAcquisition(true);
        return;
    }
    if (m_nTryA < kPowerDownTriesA) {
        m_panel.SetTimer(ID_TIMER_POWER_DOWN, kPowerDownSentMs);
        m_shared.m_bNewData[0].store(false);
        ++m_nTryA;
    } else if (m_nTryB >= kPowerDownTriesB) {
        m_nTryA = 0;
        m_nTryB = 0;
        m_bAdjusting = false;
        // The handshake gives up: the sonde may still be powered; say so and
        // hold the text longer than a frame status would.
        m_panel.SetStatusLine(kMsgPowerDownNotConfirmed, STATUS_FAILURE);
        m_panel.SetTimer(ID_TIMER_STATUS_HOLD, kGiveUpHoldMs);
    } else {
        m_panel.SetTimer(ID_TIMER_POWER_DOWN, kPowerDownSentMs);
        m_shared.m_bNewData[0].store(false);
        ++m_nTryB;
    }
    m_panel.SendCommand(CMD_0);
}

void CPowerControl::ShowStatus() {
    if (m_shared.m_bExiting.load()) return;
    if (m_bPowered)
        m_panel.SetFrameCounters(zns::Format("%d", m_shared.m_nStatusOneFrames.load()),
                                 zns::Format("%d", m_shared.m_nOtherFrames.load()));
    else
        m_panel.SetFrameCounters("", "");

    const LoggerStatus logger = m_shared.SnapshotLogger();
    const int code = logger.FrameStatus;
    if (code != m_nLastCode) m_panel.KillTimer(ID_TIMER_STATUS_HOLD);
    m_nLastCode = code;
    if (m_panel.IsTimerSet(ID_TIMER_STATUS_HOLD)) return;

    StatusText t = FrameStatusText(logger.FrameStatus, logger.StepFlag != 0);
    m_panel.SetTimer(ID_TIMER_STATUS_HOLD, kHoldMs);
    if (logger.StepFlag) t = {"OVERRUN", STATUS_FAILURE, true};
    if (!m_shared.m_bLinkUp.load()) {
        // A logger that is there but may not be opened is named as the status bar names it.
        const bool refused = m_shared.m_bLoggerNoAccess.load();
        t = {refused ? std::string(kLinkNoAccessText) + " : Replay Mode." : "No USB Hardware Detected : Replay Mode.",
             STATUS_NOTICE, true};
    }
    if (m_shared.g_bBadDirection.exchange(false)) t = {"Bad Winch Direction !!!", STATUS_FAILURE, true};
    if (m_shared.g_bWaitLastDepth.exchange(false)) {
        const SessionState s = m_shared.SnapshotSession();
        const double depth = (s.Recording && !s.StartingRecord) ? m_shared.g_dLastDepth2.load()
                                                                : m_shared.g_dLastDepth.load();
        t = {std::string("Wait last valid depth...") + zns::Format("%.1f m", depth), STATUS_FAILURE, true};
    }
    if (t.set) m_panel.SetStatusLine(t.text, t.cls);
}

void CPowerControl::UpdateCounterAlarms() {
    const LiveValues live = m_shared.SnapshotLive();
    const bool volt = live.Value1 >= kVoltageAlarm;
    const bool curr = live.Value2 >= kCurrentAlarm;
    if (volt != m_voltBlink) m_panel.SetCounterBlink(IDC_VOLTAGE_COUNTER, volt);
    if (curr != m_currBlink) m_panel.SetCounterBlink(IDC_CURRENT_COUNTER, curr);
    m_voltBlink = volt;
    m_currBlink = curr;
}

void CPowerControl::UpdateCounters() {
    if (m_shared.m_nLinkState.load() < 3) {
        m_panel.SetSupplyCounters("", "");
    } else {
        UpdateCounterAlarms();
        const LiveValues live = m_shared.SnapshotLive();
        m_panel.SetSupplyCounters(live.Value1Text, live.Value2Text);
    }
    m_panel.SetTimeCounterText(m_shared.SnapshotLive().TimeText);
}

PanelView CPowerControl::DisplayTick(bool paused, CRecorder* recorder) {
    PanelView v;
    const int link = m_shared.m_nLinkState.load();
    if (link < LINK_ANSWER) {
        ShowStatus();
        UpdateCounters();
    }

    SessionState session;
    SondeStatus sonde;
    LoggerStatus logger;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        session = m_shared.session;
        sonde = m_shared.sonde;
        logger = m_shared.logger;
    }

    const int n = session.ReplayLoaded ? m_header.RXNumber : m_settings.sondeDb.RX_Number;
    v.receivers = (n >= 0 && n <= 3) ? n : -1;
    v.newLogEnabled = link >= 17;
    v.seg2Enabled = !session.Recording;
    v.openEnabled = !m_bPowered;
    m_panel.SetTimeCounterText(m_shared.SnapshotLive().TimeText);
    UpdateCounterAlarms();

    bool reset = false;
    auto restart = [&] {
        m_nBlink = 0;
        reset = true;
    };
    if (link < 3) {
        v.powerEnabled = false;
        m_bPowered = false;
    } else {
        v.powerEnabled = true;
        const bool download = m_panel.IsTimerSet(ID_TIMER_DOWNLOAD);
        const bool powerDown = m_panel.IsTimerSet(ID_TIMER_POWER_DOWN);
        if (!m_bAdjusting && !download && !powerDown) {
            // Idle: the panel follows what the sonde reports.
            const bool on = (sonde.Mode & 0x0F) != 0;
            v.powerIcon = on ? IDI_POWER_ON : IDI_POWER_OFF;
            m_bPowered = on;
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            m_shared.session.SondeReported = on ? 1 : 0;
        } else if (powerDown) {
            if (m_nBlink == 2) v.powerIcon = IDI_POWER_OFF_BLINK;
            if (m_nBlink == 3) {
                v.powerIcon = IDI_POWER_OFF;
                restart();
            }
        } else {
            if (m_nBlink == 2) v.powerIcon = IDI_POWER_ON_BLINK;
            if (m_nBlink == 3) {
                v.powerIcon = IDI_POWER_ON;
                restart();
            }
        }
    }
    v.recordEnabled = link >= 17;

    if (session.Running) {
        if (m_nBlink == 5) v.playIcon = IDI_PLAY_BLINK;
        if (m_nBlink == 10) {
            v.playIcon = IDI_PLAY;
            restart();
        }
    }
    if (paused) {
        if (m_nBlink == 5) v.pauseIcon = IDI_PAUSE_BLINK;
        if (m_nBlink == 10) {
            v.pauseIcon = IDI_PAUSE;
            restart();
        }
    } else {
        v.pauseIcon = IDI_PAUSE;
    }

    if (session.Recording && session.NewLogSet && !session.StartingRecord) {
        if (recorder) recorder->UpdateEndDepth(logger.LiveDepth);
        if (m_nBlink == 6) v.recordIcon = IDI_RECORD;
        if (m_nBlink == 0) v.recordIcon = IDI_RECORD_BLINK;
        if (m_nBlink > 10) {
            v.recordIcon = IDI_RECORD_BLINK;
            restart();
        }
        v.timeCounterShown = true;
    } else if (session.ReplayLoaded) {
        v.timeCounterShown = session.Running || paused;
        v.replayColour = true;
    }
    if (!reset) ++m_nBlink;
    return v;
}
