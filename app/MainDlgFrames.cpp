// What the link and the replay reader show: one display update per live frame
// and per record read back, the link-status update, the alarm box, the
// acquisition reset, the frame period and the status-bar texts.
//
// Every entry here may run on a worker (receive, send, link-watch or player
// thread). The controls copy what they are given under their own locks and
// paint later on the GUI thread; windows are only touched through posts.
#include <algorithm>
#include <array>
#include <cstdint>

#include "app/BrannicLogger_ZN.h"
#include "app/BrannicZenova_Dlg.h"
#include "link/FramePeriod.h"
#include "link/ToolsStream.h"
#include "platform/ui/GuiThread.h"
#include "ui/controls/DrawerZNSCtrl.h"
#include "ui/controls/WaveCtrl.h"
#include "ui/dialogs/AlarmDlg.h"
#include "ui/dialogs/DephtDlg.h"
#include "ui/dialogs/PWideDlg.h"
#include "ui/dialogs/PropertyLoggerDlg.h"
#include "ui/dialogs/PowerDlg.h"

void CBrannicZenova_Dlg::ComputeFramePeriod(const AcquisitionSettings& settings, int* periodMs,
                                            std::string* baudLabel, double* maxSpeed, bool fromPeriod) {
    zns::ComputeFramePeriod(settings, periodMs, baudLabel, maxSpeed, fromPeriod);
}

void CBrannicZenova_Dlg::StatusBarText(int part, const std::string& text) {
    // Parts 0 to 3 carry texts; 4 to 6 show the activity icons only.
    if (part < SB_PART_FILE || part > SB_PART_COUNTER) return;
    // The status bar lives as long as the window, and the window outlives the
    // workers; off the GUI thread the bar posts the text to itself.
    if (CStatusBarCtrl* sb = m_statusBar.data()) sb->SetText(text, part);
}

void CBrannicZenova_Dlg::SetDisplayTap(std::function<void(const DisplayRow&)> tap) {
    std::lock_guard<std::mutex> g(m_tapMutex);
    m_displayTap = std::move(tap);
}

void CBrannicZenova_Dlg::Tap(bool replay, double depth, int mode, const int* code, const uint16_t* count,
                             uint16_t gamma, const int16_t* const* traces) {
    std::lock_guard<std::mutex> g(m_tapMutex);
    if (!m_displayTap) return;
    DisplayRow row;
    row.replay = replay;
    row.depth = depth;
    row.mode = mode;
    row.gamma = gamma;
    for (int rx = 0; rx < 3; ++rx) {
        row.code[rx] = code[rx];
        row.traces[rx].assign(traces[rx], traces[rx] + count[rx]);
    }
    m_displayTap(row);
}

void CBrannicZenova_Dlg::OnNewFrame(const int16_t* rx1, const int16_t* rx2, const int16_t* rx3,
                                    double depthOrTime) {
    if (m_shared.m_bCommCheck.load()) {
        // The communication check owns the link: nothing is drawn meanwhile.
        ResetAcquisition(false);
        return;
    }
    AcquisitionSettings s;
    SondeStatus sonde;
    double gammaCoef = 1.0;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        s = m_shared.settings;
        sonde = m_shared.sonde;
        gammaCoef = m_data.sondeDb.GammaCoef;
    }
    const int16_t* traces[3] = {rx1, rx2, rx3};
    uint16_t count[3];
    for (int rx = 0; rx < 3; ++rx)
        count[rx] = static_cast<uint16_t>(std::min<int>(sonde.TraceBytes[rx] / 2, zns::kRecordMaxSamples));

    const int code[3] = {sonde.Code[0], sonde.Code[1], sonde.Code[2]};
    Tap(false, depthOrTime, s.RecordingMode, code, count, sonde.Gamma, traces);

    if (m_depth) m_depth->PutGammaCount(sonde.Gamma, gammaCoef);
    if (CDrawerZNSCtrl* drawer = m_drawerLive.load())
        drawer->AddRecord(rx1, rx2, rx3, count[0], count[1], count[2], depthOrTime, s.VScale, s.RecordingMode,
                          code[0], code[1], code[2], s.DepthInterval, s.RxLeftView, s.RxRightView);
    for (int rx = 0; rx < 3; ++rx) {
        CPWideDlg* wide = m_wide[rx].get();
        if (!wide || !wide->IsShown()) continue;
        const FirstArrivalSettings& fa = s.FA[rx];
        wide->Scope()->SetWaveData(traces[rx], count[rx], sonde.Code[rx], fa.Threshold, fa.StartWindow,
                                   fa.EndWindow, fa.Use, m_shared.g_nDisplayGainRx[rx].load(), true);
    }
}

void CBrannicZenova_Dlg::OnReplayFrame() {
    // The player's record is in the shared buffers: a copy taken under the lock,
    // since the receive thread may write them meanwhile.
    std::array<std::array<int16_t, zns::kRecordMaxSamples>, 3> traces;
    for (int rx = 0; rx < 3; ++rx) m_shared.SnapshotTrace(rx, traces[rx].data(), traces[rx].size());
    OnReplayFrame(traces[0].data(), traces[1].data(), traces[2].data());
}

void CBrannicZenova_Dlg::OnReplayFrame(const int16_t* rx1, const int16_t* rx2, const int16_t* rx3) {
    AcquisitionSettings s;
    LoggerStatus logger;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        s = m_shared.settings;
        logger = m_shared.logger;
    }
    const double gammaCoef = m_replayGammaCoef.load();
    const int16_t* traces[3] = {rx1, rx2, rx3};
    int code[3];
    uint16_t count[3];
    for (int rx = 0; rx < 3; ++rx) {
        code[rx] = TraceCodeOf(logger.TraceByte, rx);
        count[rx] = static_cast<uint16_t>(TraceSamplesForCode(code[rx]));
    }

    Tap(true, logger.ReplayDepth, logger.Mode, code, count, logger.Gamma, traces);

    if (m_depth) m_depth->PutGammaCount(logger.Gamma, gammaCoef);
    if (CDrawerZNSCtrl* drawer = m_drawerLive.load())
        drawer->AddRecord(rx1, rx2, rx3, count[0], count[1], count[2], logger.ReplayDepth, s.VScale, logger.Mode,
                          code[0], code[1], code[2], s.DepthInterval, s.RxLeftView, s.RxRightView);
    for (int rx = 0; rx < 3; ++rx) {
        CPWideDlg* wide = m_wide[rx].get();
        if (!wide || !wide->IsShown()) continue;
        const FirstArrivalSettings& fa = s.FA[rx];
        wide->Scope()->SetWaveData(traces[rx], count[rx], code[rx], fa.Threshold, fa.StartWindow,
                                   fa.EndWindow, fa.Use, m_shared.g_nDisplayGainRx[rx].load(), true);
        wide->ShowGainText(logger.Gain[rx]);
    }
}

void CBrannicZenova_Dlg::OnLinkStatus(int code) {
    if (!m_power) return;
    if (code == LINK_STATUS_VALUES) {
        m_power->UpdateCounters();
        const SondeStatus sonde = m_shared.SnapshotSonde();
        for (int rx = 0; rx < 3; ++rx)
            if (m_wide[rx] && m_wide[rx]->IsShown()) m_wide[rx]->ShowGainText(sonde.Gain[rx]);
    } else if (code == LINK_STATUS_STATE) {
        m_power->UpdateCounters();
    }
    if (m_setup) m_setup->RefreshCommLamps();
    m_power->ShowStatus();
}

void CBrannicZenova_Dlg::ShowAlert(int code) {
    // Frames raise an alarm for as long as it lasts: one post stands for all
    // that arrive before it runs, the last code winning.
    if (m_pendingAlert.exchange(code) >= 0) return;
    zns::ui::PostToGui(this, [this] { ShowAlertNow(); });
}

void CBrannicZenova_Dlg::ShowAlertNow() {
    const int code = m_pendingAlert.exchange(-1);
    if (code < 0 || !m_alert || m_shared.m_bExiting.load()) return;
    m_alert->SetAlarm(code);
    m_alert->ShowWindow(SW_SHOW);
}

void CBrannicZenova_Dlg::ResetAcquisition(bool reload) {
    if (CDrawerZNSCtrl* drawer = m_drawerLive.load()) drawer->ClearImage();
    if (m_depth) m_depth->ResetGamma();
    const AcquisitionSettings s = m_shared.SnapshotSettings();
    for (int rx = 0; rx < 3; ++rx) {
        if (!m_wide[rx]) continue;
        CWaveCtrl* scope = m_wide[rx]->Scope();
        scope->SetTraceLengthCode(s.ZNSModus(rx));
        scope->StartRefreshTimer();
    }
    for (auto& wide : m_wide)
        if (wide) wide->Scope()->ClearTrace();
    m_shared.m_nStatusOneFrames.store(0);
    m_shared.m_nOtherFrames.store(0);
    if (!reload) return;
    if (zns::ui::IsGuiThread())
        ReloadAfterReset();
    else
        zns::ui::PostToGui(this, [this] { ReloadAfterReset(); });
}

void CBrannicZenova_Dlg::ReloadAfterReset() {
    const double start = m_app.Header().Startdepth / 1000.0;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.logger.ReplayDepth = start;
    }
    m_preferences.LoadToolFile();
}
