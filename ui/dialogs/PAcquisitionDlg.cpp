#include "ui/dialogs/PAcquisitionDlg.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "link/CommandFrames.h"
#include "records/SharedRecords.h"
#include "platform/NumText.h"
#include "platform/ui/SpinArrows.h"
#include "platform/ui/UiText.h"
#include "settings/Header.h"
#include "settings/Preferences.h"
#include "ui/controls/ColorStaticST.h"
#include "ui/dialogs/DialogUnits.h"
#include "ui/dialogs/PWinchDlg.h"
#include "ui/dialogs/ReadIntFromEdit.h"

using zns::ui::DluRect;
namespace setup = zns::setup;

namespace {

constexpr const char* kTraceItems[4] = {"OFF", "1 mSec", "2 mSec", "4 mSec"};
constexpr int kDepthSteps[4] = {2, 5, 10, 20};
constexpr const char* kDepthItems[4] = {"   2", "   5", "  10", "  20"};

std::string ItemText(const QComboBox* c, int i) {
    if (i < 0 || i >= c->count()) return {};
    return zns::ui::FromQ(c->itemText(i));
}

}  // namespace

CPAcquisitionDlg::CPAcquisitionDlg(CPreferences& prefs, HeaderRecord& header, SetupPageHooks hooks, QWidget* parent)
    : CDialogExt(IDD, parent, true),
      m_prefs(prefs),
      m_shared(prefs.Shared()),
      m_data(prefs.Data()),
      m_header(header),
      m_hooks(std::move(hooks)) {
    setFont(zns::ui::TemplateFont());
    setFixedSize(zns::ui::DluX(210), zns::ui::DluY(150));

    auto* traceGroup = new QGroupBox(QStringLiteral("Trace length"), this);
    traceGroup->setGeometry(DluRect(4, 2, 202, 62));
    for (int rx = 0; rx < 3; ++rx) {
        const int y = 14 + rx * 16;
        m_name[rx] = new QLabel(QString::fromLatin1("Rx%1").arg(rx + 1), this);
        m_name[rx]->setGeometry(DluRect(10, y + 2, 60, 8));
        SetDlgItem(IDC_NAME_RX1 + rx, m_name[rx]);
        m_trace[rx] = new QComboBox(this);
        for (const char* item : kTraceItems) m_trace[rx]->addItem(QString::fromLatin1(item));
        m_trace[rx]->setGeometry(DluRect(74, y, 60, 13));
        SetDlgItem(kTraceIds[rx], m_trace[rx]);
        ConnectControl(m_trace[rx], &QComboBox::activated, [this, rx](int) { OnCbnSelchangeTrace(rx); });
        m_replay[rx] = new CColorStaticST(QStringLiteral("-"), this);
        m_replay[rx]->setGeometry(DluRect(74, y, 60, 13));
        m_replay[rx]->setAlignment(Qt::AlignCenter);
        m_replay[rx]->hide();
        SetDlgItem(kReplayIds[rx], m_replay[rx]);
        m_period[rx] = new QLabel(QStringLiteral("---"), this);
        m_period[rx]->setGeometry(DluRect(142, y + 2, 40, 8));
        SetDlgItem(kPeriodIds[rx], m_period[rx]);
    }

    auto* viewGroup = new QGroupBox(QStringLiteral("Display"), this);
    viewGroup->setGeometry(DluRect(4, 66, 202, 28));
    auto* leftLabel = new QLabel(QStringLiteral("Left"), this);
    leftLabel->setGeometry(DluRect(10, 78, 20, 8));
    m_left = new QComboBox(this);
    m_left->addItem(QStringLiteral("     Rx1"));
    m_left->addItem(QStringLiteral("     Rx2"));
    m_left->setGeometry(DluRect(32, 76, 64, 13));
    SetDlgItem(IDC_LEFT_VIEW, m_left);
    ConnectControl(m_left, &QComboBox::activated, [this](int) { OnCbnSelchangeLeftView(); });
    auto* rightLabel = new QLabel(QStringLiteral("Right"), this);
    rightLabel->setGeometry(DluRect(106, 78, 24, 8));
    m_right = new QComboBox(this);
    m_right->addItem(QStringLiteral("     Rx2"));
    m_right->addItem(QStringLiteral("     Rx3"));
    m_right->setGeometry(DluRect(132, 76, 64, 13));
    SetDlgItem(IDC_RIGHT_VIEW, m_right);
    ConnectControl(m_right, &QComboBox::activated, [this](int) { OnCbnSelchangeRightView(); });

    auto* timeLabel = new QLabel(QStringLiteral("&Time Sampling"), this);
    timeLabel->setGeometry(DluRect(10, 102, 60, 8));
    m_time = new QLineEdit(this);
    m_time->setGeometry(DluRect(74, 100, 40, 13));
    m_time->installEventFilter(this);
    timeLabel->setBuddy(m_time);
    SetDlgItem(IDC_TIME, m_time);
    m_timeSpin = new CSpinArrows(IDC_TIME_SPIN, this, this);
    m_timeSpin->setGeometry(DluRect(114, 100, 8, 13));
    auto* ms = new QLabel(QStringLiteral("ms"), this);
    ms->setGeometry(DluRect(125, 102, 14, 8));
    m_timeEcho = new CColorStaticST(QStringLiteral("-"), this);
    m_timeEcho->setGeometry(DluRect(150, 100, 40, 13));
    m_timeEcho->setAlignment(Qt::AlignCenter);
    SetDlgItem(IDC_TIME_ECHO, m_timeEcho);

    auto* depthLabel = new QLabel(QStringLiteral("&Depth Sampling"), this);
    depthLabel->setGeometry(DluRect(10, 122, 60, 8));
    m_depth = new QComboBox(this);
    for (int i = 0; i < 4; ++i) m_depth->addItem(QString::fromLatin1(kDepthItems[i]), kDepthSteps[i]);
    m_depth->setGeometry(DluRect(74, 120, 40, 13));
    depthLabel->setBuddy(m_depth);
    SetDlgItem(IDC_DEPTH, m_depth);
    ConnectControl(m_depth, &QComboBox::activated, [this](int) { OnCbnSelchangeDepth(); });
    auto* cm = new QLabel(QStringLiteral("cm"), this);
    cm->setGeometry(DluRect(125, 122, 14, 8));
    m_depthEcho = new CColorStaticST(QStringLiteral("-"), this);
    m_depthEcho->setGeometry(DluRect(150, 120, 40, 13));
    m_depthEcho->setAlignment(Qt::AlignCenter);
    SetDlgItem(IDC_DEPTH_ECHO, m_depthEcho);

    m_set = new QPushButton(QStringLiteral("Set"), this);
    m_set->setGeometry(DluRect(150, 134, 50, 14));
    m_set->hide();
    SetDlgItem(IDC_SET, m_set);

    MapCommand(ID_ACQUISITION_STATE_CHANGED, [this] { RefreshReceiverInfo(); });
    MapCommand(ID_REARM_ACQ_READBACK, [this] { RestartReadback(); });
}

BOOL CPAcquisitionDlg::OnInitDialog() {
    CDialogExt::OnInitDialog();
    m_timeSpin->SetScrollRange(IDC_TIME_SPIN, IDC_TIME_SPIN);
    ShowTimeInterval();
    const int depth = m_shared.SnapshotSettings().DepthInterval;
    m_depth->setCurrentIndex(m_depth->findData(depth));
    for (QComboBox* c : m_trace) c->setCurrentIndex(0);
    for (CColorStaticST* s : m_replay) {
        s->SetBkColor(m_crReplay);
        s->SetTextColor(0x000000);
    }
    RefreshReceiverInfo();
    if (m_left->count() > 0) m_left->setCurrentIndex(0);
    if (m_right->count() > 0) m_right->setCurrentIndex(0);
    m_readBack.Reset();
    for (CColorStaticST* s : {m_timeEcho, m_depthEcho}) {
        s->SetBkColor(m_crLive);
        s->SetTextColor(0x000000);
    }
    SetTimer(ID_TIMER_DISPLAY, kDisplayMs);
    return TRUE;
}

// ---------------------------------------------------------------------------

bool CPAcquisitionDlg::LinkedAndPowered() const {
    return m_shared.m_nLinkState.load() >= LINK_ANSWER && m_shared.m_bSondePowered.load();
}

void CPAcquisitionDlg::SaveConfig() { m_prefs.SaveConfig(); }

bool CPAcquisitionDlg::Send8() { return SendSetupCommand(m_shared, m_data, m_hooks, CMD_8); }

void CPAcquisitionDlg::ResetDisplay() {
    if (m_hooks.resetAcquisition) m_hooks.resetAcquisition(false);
}

void CPAcquisitionDlg::ShowTimeInterval() {
    SetDlgItemInt(IDC_TIME, m_shared.SnapshotSettings().TimeInterval, FALSE);
}

void CPAcquisitionDlg::UpdateControls() {
    const AcquisitionSettings s = m_shared.SnapshotSettings();
    for (int rx = 0; rx < 3; ++rx) {
        const int code = s.ZNSModus(rx);
        m_trace[rx]->setCurrentIndex(code >= 1 && code <= 3 ? code : 0);
        // The sample periods follow the lists (not left at their first text).
        SetDlgItemText(kPeriodIds[rx], setup::SamplePeriodText(code));
    }
    RefreshReceiverInfo();
    ShowTimeInterval();
    const int i = m_depth->findData(static_cast<int>(s.DepthInterval));
    if (i >= 0) m_depth->setCurrentIndex(i);
}

void CPAcquisitionDlg::RestartReadback() {
    if (m_shared.m_bExiting.load()) {
        KillTimer(ID_TIMER_READBACK);
        return;
    }
    KillTimer(ID_TIMER_READBACK);
    SetTimer(ID_TIMER_READBACK, kReadBackMs);
    m_readBack.Reset();  // each change has its own resends
    m_shared.m_bNewData[0].store(false);
}

void CPAcquisitionDlg::RefreshReceiverInfo() {
    int count = 0;
    std::string names[3];
    const bool replay = m_shared.SnapshotSession().ReplayLoaded != 0;
    uint8_t replayCodes = 0;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        if (replay) {
            std::string* n[3] = {&m_header.Rx1_Name, &m_header.Rx2_Name, &m_header.Rx3_Name};
            for (int rx = 0; rx < 3; ++rx) {
                *n[rx] = setup::Trim(*n[rx]);
                names[rx] = *n[rx];
            }
            count = m_header.RXNumber;
            replayCodes = m_shared.logger.TraceByte;
        } else {
            SondeDatabase& db = m_data.sondeDb;
            for (int rx = 0; rx < 3; ++rx) {
                db.RxName[rx] = setup::Trim(db.RxName[rx]);
                names[rx] = db.RxName[rx];
            }
            count = db.RX_Number;
        }
    }
    if (replay) {
        for (int rx = 0; rx < 3; ++rx)
            SetDlgItemText(kReplayIds[rx],
                           count >= rx + 1 ? setup::ReplayTraceText(TraceCodeOf(replayCodes, rx)) : std::string("-"));
    }

    const bool same = setup::Trim(ItemText(m_left, 0)) == names[0] && setup::Trim(ItemText(m_right, 0)) == names[1] &&
                      setup::Trim(ItemText(m_right, 1)) == names[2];
    if (!same) {
        m_left->clear();
        m_right->clear();
        for (int rx = 0; rx < 3; ++rx) SetDlgItemText(IDC_NAME_RX1 + rx, "-");
        for (int rx = 0; rx < 3; ++rx)
            if (count >= rx + 1) SetDlgItemText(IDC_NAME_RX1 + rx, names[rx]);
        auto add = [](QComboBox* c, const std::string& name, int data) {
            c->addItem(zns::ui::ToQ(setup::PaddedName(name)), data);
        };
        if (count >= 1) add(m_left, names[0], 0);
        if (count >= 2) add(m_left, names[1], 1);
        if (count >= 2) add(m_right, names[1], 0);
        if (count == 3) add(m_right, names[2], 1);
        m_left->setEnabled(count >= 1);
        m_right->setEnabled(count >= 2);
    }

    const AcquisitionSettings s = m_shared.SnapshotSettings();
    if (s.RxLeftView == 1 || s.RxLeftView == 2) {
        const int i = s.RxLeftView - 1;
        if (i < m_left->count()) m_left->setCurrentIndex(i);
    }
    if (s.RxRightView == 2 || s.RxRightView == 3) {
        const int i = s.RxRightView - 2;
        if (i < m_right->count()) m_right->setCurrentIndex(i);
    }
}

// ---------------------------------------------------------------------------
// Lists

void CPAcquisitionDlg::OnCbnSelchangeTrace(int rx) {
    const int code = m_trace[rx]->currentIndex();
    if (code < 0 || code > 3) return;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.ZNSModus(rx) = code;
    }
    SetDlgItemText(kPeriodIds[rx], setup::SamplePeriodText(code));
    ApplyTraceChange();
}

void CPAcquisitionDlg::ApplyTraceChange() {
    bool raised = false;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        AcquisitionSettings& s = m_shared.settings;
        const int p = setup::MinTimeSampling(s);
        if (s.TimeInterval < p) {
            s.TimeInterval = static_cast<uint16_t>(p);
            raised = true;
        }
    }
    if (raised) ShowTimeInterval();
    if (LinkedAndPowered()) {
        Send8();
        RestartReadback();
    }
    SaveConfig();
    ResetDisplay();
}

void CPAcquisitionDlg::OnCbnSelchangeLeftView() {
    const int sel = m_left->currentIndex();
    if (sel < 0) return;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.RxLeftView = sel == 0 ? 1 : 2;
    }
    SaveConfig();
    ResetDisplay();
}

void CPAcquisitionDlg::OnCbnSelchangeRightView() {
    const int sel = m_right->currentIndex();
    if (sel < 0) return;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.RxRightView = sel == 0 ? 2 : 3;
    }
    SaveConfig();
    ResetDisplay();
}

void CPAcquisitionDlg::OnCbnSelchangeDepth() {
    const int sel = m_depth->currentIndex();
    if (sel < 0) return;
    int mode;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.DepthInterval = static_cast<uint16_t>(m_depth->itemData(sel).toInt());
        mode = m_shared.settings.RecordingMode;
    }
    if (LinkedAndPowered()) {
        if (mode != RECMODE_TIME) Send8();
        RestartReadback();
    }
    SaveConfig();
    ResetDisplay();
}

// ---------------------------------------------------------------------------
// Time sampling

void CPAcquisitionDlg::OnEnKillfocusTime() {
    std::string baud;
    const int p = setup::MinTimeSampling(m_shared.SnapshotSettings(), &baud);
    const std::string text = GetDlgItemText(IDC_TIME);
    const int v = ReadIntFromEdit(this, IDC_TIME);
    if (zns::ParseIntEditText(text).foreign) {
        // Not a number (the reader has said so): nothing changes.
        ShowTimeInterval();
        return;
    }
    if (v > setup::kMaxTimeSampling || v < p) {
        ShowTimeInterval();
        MessageBox(setup::TimeSamplingMessage(v, p, baud), {}, MB_OK);
        return;
    }
    int mode;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.TimeInterval = static_cast<uint16_t>(v);
        mode = m_shared.settings.RecordingMode;
    }
    if (LinkedAndPowered()) {
        if (mode == RECMODE_TIME) Send8();
        RestartReadback();
    }
    SaveConfig();
    ResetDisplay();
}

void CPAcquisitionDlg::OnOK() {
    if (!HasKeyboardFocus(m_time)) return;
    m_bChecking = true;
    OnEnKillfocusTime();
    m_bChecking = false;
}

bool CPAcquisitionDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_time && !m_bChecking && IsLeavingEdit(watched, event)) {
        m_bChecking = true;
        OnEnKillfocusTime();
        m_bChecking = false;
    }
    return CDialogExt::eventFilter(watched, event);
}

void CPAcquisitionDlg::OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows*) {
    if (pos != IDC_TIME_SPIN) return;
    const bool step = sbCode == SB_LINEUP || sbCode == SB_LINEDOWN;
    if (!step && sbCode != SB_ENDSCROLL) return;
    // Text that is no number, or none, is refused as Enter refuses it: the stored
    // interval comes back and the press stores and sends nothing.
    const std::string text = GetDlgItemText(IDC_TIME);
    int v = 0;
    bool read = !text.empty();
    if (read) {
        // The box of a refused text takes the focus from the edit: no second check.
        const bool was = m_bChecking;
        m_bChecking = true;
        v = ReadIntFromEdit(this, IDC_TIME);
        m_bChecking = was;
        read = !zns::ParseIntEditText(text).foreign;
    }
    if (step) m_spinRefused = !read;
    if (m_spinRefused || !read) {
        if (!step) m_spinRefused = false;
        ShowTimeInterval();
        return;
    }
    const int p = setup::MinTimeSampling(m_shared.SnapshotSettings());
    if (v < p) {
        v = p;
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.TimeInterval = static_cast<uint16_t>(p);
    }
    if (sbCode == SB_LINEUP) {
        v = std::min(v + 10, setup::kMaxTimeSampling);
        SetDlgItemInteger(IDC_TIME, v, static_cast<short>(p), static_cast<short>(setup::kMaxTimeSampling));
    } else if (sbCode == SB_LINEDOWN) {
        v = std::max(v - 10, p);
        SetDlgItemInteger(IDC_TIME, v, static_cast<short>(p), -1);
    } else if (sbCode == SB_ENDSCROLL) {
        v = std::min(v, setup::kMaxTimeSampling);
        {
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            m_shared.settings.TimeInterval = static_cast<uint16_t>(v);
        }
        SaveConfig();
        if (LinkedAndPowered()) {
            Send8();
            RestartReadback();
        }
    }
}

// ---------------------------------------------------------------------------
// Timers

void CPAcquisitionDlg::OnTimer(unsigned id) {
    if (id == ID_TIMER_DISPLAY) {
        KillTimer(ID_TIMER_DISPLAY);
        DisplayTick();
        SetTimer(ID_TIMER_DISPLAY, kDisplayMs);
        return;
    }
    if (id != ID_TIMER_READBACK) return;
    KillTimer(ID_TIMER_READBACK);
    if (!LinkedAndPowered()) return;
    if (m_shared.TxLength() != 0) {
        SetTimer(ID_TIMER_READBACK, kPendingMs);
        m_shared.m_bNewData[0].store(false);
        return;
    }
    const uint8_t status = m_shared.SnapshotSonde().FrameStatus;
    const bool fresh = m_shared.TakeNewData(2);
    if (!(setup::EchoStatusClean(status) && fresh)) {
        SetTimer(ID_TIMER_READBACK, kReadBackMs);
        return;
    }
    AcquisitionSettings s;
    SondeStatus echo;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        s = m_shared.settings;
        echo = m_shared.sonde;
    }
    if (!setup::AcquisitionEchoMismatch(s, echo)) {
        m_readBack.OnMatch();
        return;
    }
    if (m_readBack.OnMismatch() == setup::ReadBackCounter::Action::Warn) {
        MessageBox(kMsgReadBack, {}, MB_OK);
    } else {
        Send8();
        SetTimer(ID_TIMER_READBACK, kReadBackMs);
    }
}

void CPAcquisitionDlg::DisplayTick() {
    if (!isVisible()) return;
    const bool playerRuns = m_shared.SnapshotSession().Running != 0;
    setup::SamplingTexts t;
    uint32_t colour;
    if (!playerRuns) {
        AcquisitionSettings s;
        SondeStatus echo;
        {
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            s = m_shared.settings;
            echo = m_shared.sonde;
        }
        t = setup::LiveSamplingTexts(echo.Mode, echo.Step, IsEncoderScaleHalved(s));
        colour = m_crLive;
    } else {
        const int step = m_hooks.replayTimeStepMs ? m_hooks.replayTimeStepMs() : 0;
        t = setup::ReplaySamplingTexts(m_header.LogMode, step, m_header.step);
        colour = m_crReplay;
    }
    SetDlgItemText(IDC_TIME_ECHO, t.time);
    SetDlgItemText(IDC_DEPTH_ECHO, t.depth);
    for (CColorStaticST* s : {m_timeEcho, m_depthEcho})
        if (s->GetBkColor() != colour) s->SetBkColor(colour);
}
