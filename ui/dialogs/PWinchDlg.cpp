#include "ui/dialogs/PWinchDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

#include "link/CommandFrames.h"
#include "records/SharedRecords.h"
#include "platform/ui/SpinArrows.h"
#include "platform/ui/UiText.h"
#include "settings/Preferences.h"
#include "ui/dialogs/DialogUnits.h"
#include "ui/dialogs/ReadIntFromEdit.h"

using zns::ui::DluRect;
namespace setup = zns::setup;

bool SendSetupCommand(SharedData& shared, SettingsData& data, const SetupPageHooks& hooks, int code) {
    if (hooks.sendCommand) return hooks.sendCommand(code);
    uint32_t volts;
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        volts = zns::HoldSondeVoltage(data.sondeDb.Voltage);
    }
    return QueueCommand(shared, code, static_cast<uint8_t>(volts));
}

namespace {

// Tenths of mm of a circumference, truncated toward zero, saturating.
int32_t TenthsOf(double w) {
    const double v = std::trunc(w * 10.0);
    if (!(v > -2.0e9 && v < 2.0e9)) return 0;
    return static_cast<int32_t>(v);
}

}  // namespace

CPWinchDlg::CPWinchDlg(CPreferences& prefs, SetupPageHooks hooks, QWidget* parent)
    : CDialogExt(IDD, parent, true),
      m_prefs(prefs),
      m_shared(prefs.Shared()),
      m_data(prefs.Data()),
      m_hooks(std::move(hooks)) {
    setFont(zns::ui::TemplateFont());
    setFixedSize(zns::ui::DluX(210), zns::ui::DluY(110));

    auto label = [this](int id, int y) {
        auto* l = new QLabel(this);
        l->setGeometry(DluRect(8, y + 2, 90, 8));
        SetDlgItem(id, l);
    };
    label(IDC_LABEL_DIRECTION, 10);
    label(IDC_LABEL_RESOLUTION, 30);
    label(IDC_LABEL_CIRCUMFERENCE, 50);
    label(IDC_LABEL_CABLE, 70);

    m_direction = new QCheckBox(this);
    m_direction->setGeometry(DluRect(100, 11, 10, 10));
    SetDlgItem(IDC_DIRECTION, m_direction);
    auto* normal = new QLabel(QStringLiteral("Normal"), this);
    normal->setGeometry(DluRect(112, 12, 50, 8));
    SetDlgItem(IDC_NORMAL, normal);

    auto edit = [this](int id, int y) {
        auto* e = new QLineEdit(this);
        e->setGeometry(DluRect(100, y, 50, 13));
        e->installEventFilter(this);
        SetDlgItem(id, e);
        return e;
    };
    m_resolution = edit(IDC_RESOLUTION, 30);
    m_circumference = edit(IDC_CIRCUMFERENCE, 50);
    m_resolutionSpin = new CSpinArrows(IDC_RESOLUTION_SPIN, this, this);
    m_resolutionSpin->setGeometry(DluRect(150, 30, 8, 13));
    m_circumferenceSpin = new CSpinArrows(IDC_CIRCUMFERENCE_SPIN, this, this);
    m_circumferenceSpin->setGeometry(DluRect(150, 50, 8, 13));
    auto* unitN = new QLabel(QStringLiteral("Pulse/T"), this);
    unitN->setGeometry(DluRect(162, 32, 40, 8));
    auto* unitW = new QLabel(QStringLiteral("mm"), this);
    unitW->setGeometry(DluRect(162, 52, 40, 8));

    m_cable = new QComboBox(this);
    m_cable->setGeometry(DluRect(100, 70, 80, 13));
    SetDlgItem(IDC_CABLE, m_cable);
    ConnectControl(m_cable, &QComboBox::activated, [this](int) { OnCbnSelchangeCable(); });

    m_set = new QPushButton(QStringLiteral("&Set"), this);
    m_set->setGeometry(DluRect(150, 90, 50, 14));
    SetDlgItem(IDC_SET, m_set);

    MapCommand(IDC_DIRECTION, [this] { OnBnClickedDirection(); });
    MapCommand(IDC_SET, [this] { OnBnClickedSet(); });
}

BOOL CPWinchDlg::OnInitDialog() {
    CDialogExt::OnInitDialog();
    // Each arrow's range is its own id: the arrows are step buttons only.
    m_resolutionSpin->SetScrollRange(IDC_RESOLUTION_SPIN, IDC_RESOLUTION_SPIN);
    m_circumferenceSpin->SetScrollRange(IDC_CIRCUMFERENCE_SPIN, IDC_CIRCUMFERENCE_SPIN);
    SetLabels();
    return TRUE;
}

void CPWinchDlg::SetLabels() {
    SetDlgItemText(IDC_LABEL_DIRECTION, "Encoder Direction");
    SetDlgItemText(IDC_LABEL_RESOLUTION, "Encoder Resolution");
    SetDlgItemText(IDC_LABEL_CIRCUMFERENCE, "Wheel Circumference");
    SetDlgItemText(IDC_LABEL_CABLE, "Cable Type");
    m_cable->clear();
    m_cable->addItem(QStringLiteral("4 conductors"));
    m_cable->addItem(QStringLiteral("mono cable"));
    const int cable = m_shared.SnapshotSettings().CableType;
    m_cable->setCurrentIndex(cable >= 0 && cable < m_cable->count() ? cable : -1);
}

void CPWinchDlg::LoadFromSettings() {
    const AcquisitionSettings s = m_shared.SnapshotSettings();
    const bool playerRuns = m_shared.SnapshotSession().Running != 0;
    CheckDlgButton(IDC_DIRECTION, s.PulleyDir ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemInteger(IDC_RESOLUTION, s.PulsResolution, setup::kMinResolution, setup::kMaxResolution);
    SetDlgItemDouble(IDC_CIRCUMFERENCE, s.PulleysCircumference / 10.0, 1, false);
    m_cable->setCurrentIndex(s.CableType >= 0 && s.CableType < m_cable->count() ? s.CableType : -1);
    m_cable->setEnabled(!playerRuns);
    m_bLoading = false;
}

// ---------------------------------------------------------------------------
// Timers

void CPWinchDlg::StartAckTimer() {
    if (m_shared.m_bExiting.load()) {
        KillTimer(ID_TIMER_ACK);
        return;
    }
    KillTimer(ID_TIMER_ACK);
    SetTimer(ID_TIMER_ACK, kAckMs);
    // A new change: its own count of resends.
    m_ack.Reset();
    m_shared.m_bNewData[1].store(false);
}

void CPWinchDlg::ScheduleSaveConfig() {
    if (!IsTimerSet(ID_TIMER_SAVE)) SetTimer(ID_TIMER_SAVE, kSaveMs);
    StartAckTimer();
}

void CPWinchDlg::ScheduleSendWinchSettings() {
    if (!IsTimerSet(ID_TIMER_SEND)) SetTimer(ID_TIMER_SEND, kSendMs);
    StartAckTimer();
}

void CPWinchDlg::OnTimer(unsigned id) {
    switch (id) {
        case ID_TIMER_SAVE:
            KillTimer(ID_TIMER_SAVE);
            SaveConfig();
            break;
        case ID_TIMER_SEND:
            KillTimer(ID_TIMER_SEND);
            SendWinch();
            break;
        case ID_TIMER_ACK: {
            KillTimer(ID_TIMER_ACK);
            if (!m_shared.TakeNewData(1)) {
                SetTimer(ID_TIMER_ACK, kAckWaitMs);
                return;
            }
            AcquisitionSettings s;
            SondeStatus echo;
            {
                std::lock_guard<std::mutex> g(m_shared.acqMutex);
                s = m_shared.settings;
                echo = m_shared.sonde;
            }
            if (setup::WinchEchoMatches(s, echo)) {
                m_ack.OnMatch();
                return;
            }
            if (m_ack.OnMismatch() == setup::ReadBackCounter::Action::Warn) {
                Report(kMsgAckError);
            } else {
                SendWinch();
                SetTimer(ID_TIMER_ACK, kAckMs);
            }
            break;
        }
        default: break;
    }
}

// ---------------------------------------------------------------------------
// Checks

void CPWinchDlg::Report(const std::string& text) {
    // The box takes the focus from the edit: that is no reason to check it again.
    const bool was = m_bChecking;
    m_bChecking = true;
    MessageBox(text, {}, MB_OK);
    m_bChecking = was;
}

void CPWinchDlg::SaveConfig() { m_prefs.SaveConfig(); }

bool CPWinchDlg::SendWinch() { return SendSetupCommand(m_shared, m_data, m_hooks, CMD_1); }

void CPWinchDlg::ShowStoredResolution() {
    SetDlgItemInteger(IDC_RESOLUTION, m_shared.SnapshotSettings().PulsResolution, setup::kMinResolution,
                      setup::kMaxResolution);
}

void CPWinchDlg::ShowStoredCircumference() {
    SetDlgItemDouble(IDC_CIRCUMFERENCE, m_shared.SnapshotSettings().PulleysCircumference / 10.0, 1, false);
}

void CPWinchDlg::StoreFactor(int n, int32_t w10, int32_t f256) {
    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    AcquisitionSettings& s = m_shared.settings;
    s.PulsResolution = n;
    s.PulleysCircumference = w10;
    s.DepthFactor256 = f256;
    s.DepthFactor = f256 / 256.0;
}

void CPWinchDlg::OnEnKillfocusCircumference() {
    if (m_bLoading) return;
    double w = 0.0;
    if (!GetDlgItemDouble(IDC_CIRCUMFERENCE, &w)) {
        // Not a number (the reader has said so): the stored value stays.
        ShowStoredCircumference();
        return;
    }
    if (w > setup::kMaxCircumference || w < setup::kMinCircumference) {
        ShowStoredCircumference();
        Report(setup::WinchMessage(setup::WinchCheck::OutOfRange, true));
        return;
    }
    // Whole tenths of mm are stored and sent: the check, the factor and the
    // edit take the circumference as cut to them (512.75 is 512.7 throughout).
    const int32_t w10 = TenthsOf(w);
    w = w10 / 10.0;
    SetDlgItemDouble(IDC_CIRCUMFERENCE, w, 1, false);
    const std::string nText = GetDlgItemText(IDC_RESOLUTION);
    const int n = ReadIntFromEdit(this, IDC_RESOLUTION);
    if (zns::ParseIntEditText(nText).foreign) {
        // The resolution edit holds no number: nothing is taken from it.
        ShowStoredResolution();
        ShowStoredCircumference();
        return;
    }
    const setup::WinchResult r = setup::CheckCircumference(w, n);
    if (r.check != setup::WinchCheck::Ok) {
        ShowStoredCircumference();
        Report(setup::WinchMessage(r.check, true));
        return;
    }
    StoreFactor(n, w10, r.f256);
    ScheduleSaveConfig();
    ScheduleSendWinchSettings();
}

void CPWinchDlg::OnEnKillfocusResolution() {
    if (m_bLoading) return;
    const std::string nText = GetDlgItemText(IDC_RESOLUTION);
    const int n = ReadIntFromEdit(this, IDC_RESOLUTION);
    if (zns::ParseIntEditText(nText).foreign) {
        ShowStoredResolution();
        return;
    }
    if (n > setup::kMaxResolution || n < setup::kMinResolution) {
        ShowStoredResolution();
        Report(setup::WinchMessage(setup::WinchCheck::OutOfRange, false));
        return;
    }
    double w = 0.0;
    if (!GetDlgItemDouble(IDC_CIRCUMFERENCE, &w)) {
        ShowStoredCircumference();
        return;
    }
    const int32_t w10 = TenthsOf(w);
    const setup::WinchResult r = setup::CheckResolution(n, w10);
    if (r.check != setup::WinchCheck::Ok) {
        ShowStoredResolution();
        Report(setup::WinchMessage(r.check, false));
        return;
    }
    StoreFactor(n, w10, r.f256);
    ScheduleSaveConfig();
    ScheduleSendWinchSettings();
}

void CPWinchDlg::OnOK() {
    m_bChecking = true;
    if (HasKeyboardFocus(m_resolution))
        OnEnKillfocusResolution();
    else if (HasKeyboardFocus(m_circumference))
        OnEnKillfocusCircumference();
    m_bChecking = false;
}

bool CPWinchDlg::eventFilter(QObject* watched, QEvent* event) {
    // Leaving an edit whose text nobody touched since it was last shown (read
    // after Enter, or loaded) applies and sends nothing again.
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!m_bChecking && edit && edit->isModified() && IsLeavingEdit(watched, event)) {
        m_bChecking = true;
        if (watched == m_resolution)
            OnEnKillfocusResolution();
        else if (watched == m_circumference)
            OnEnKillfocusCircumference();
        m_bChecking = false;
    }
    return CDialogExt::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Buttons and list

void CPWinchDlg::OnBnClickedDirection() {
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.PulleyDir = IsDlgButtonChecked(IDC_DIRECTION) == BST_CHECKED ? 1 : 0;
    }
    SaveConfig();
    SendWinch();
    StartAckTimer();
}

void CPWinchDlg::OnCbnSelchangeCable() {
    const int sel = m_cable->currentIndex();
    if (sel < 0) return;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.CableType = sel;
    }
    SaveConfig();
    SendWinch();
    StartAckTimer();
}

void CPWinchDlg::OnBnClickedSet() {
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.PulleyDir = IsDlgButtonChecked(IDC_DIRECTION) == BST_CHECKED ? 1 : 0;
        if (m_cable->currentIndex() >= 0) m_shared.settings.CableType = m_cable->currentIndex();
    }
    // The focus moves as the checks run, without running them a second time.
    m_bChecking = true;
    m_resolution->setFocus();
    OnEnKillfocusResolution();
    m_circumference->setFocus();
    OnEnKillfocusCircumference();
    m_bChecking = false;
}

// ---------------------------------------------------------------------------
// Arrows

bool CPWinchDlg::ReadResolutionForArrow(int* n) {
    const std::string text = GetDlgItemText(IDC_RESOLUTION);
    if (text.empty()) return false;
    // The box of a refused text takes the focus from the edit: no second check.
    const bool was = m_bChecking;
    m_bChecking = true;
    *n = ReadIntFromEdit(this, IDC_RESOLUTION);
    m_bChecking = was;
    return !zns::ParseIntEditText(text).foreign;
}

bool CPWinchDlg::ReadCircumferenceForArrow(double* w) {
    if (GetDlgItemText(IDC_CIRCUMFERENCE).empty()) return false;
    const bool was = m_bChecking;
    m_bChecking = true;
    const bool read = GetDlgItemDouble(IDC_CIRCUMFERENCE, w);
    m_bChecking = was;
    return read;
}

// Text that is no number, or none, is refused as Enter refuses it: the stored
// value comes back and the press stores and sends nothing.
void CPWinchDlg::OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows*) {
    const AcquisitionSettings s = m_shared.SnapshotSettings();
    const bool step = sbCode == SB_LINEUP || sbCode == SB_LINEDOWN;
    if (!step && sbCode != SB_ENDSCROLL) return;
    if (pos == IDC_RESOLUTION_SPIN) {
        const double w = s.PulleysCircumference / 10.0;
        int n = 0;
        const bool read = ReadResolutionForArrow(&n);
        if (step) m_spinRefused = !read;
        if (m_spinRefused || !read) {
            if (!step) m_spinRefused = false;
            ShowStoredResolution();
            return;
        }
        if (step) {
            const int candidate = sbCode == SB_LINEUP ? n + 1 : n - 1;
            // The arrows check the combination (and keep the factor within what
            // command 1 can carry).
            if (!setup::ArrowStepAllowed(w, candidate)) {
                // A refused step refuses the press: the stored value, and nothing sent at its end.
                m_spinRefused = true;
                ShowStoredResolution();
                Report(setup::WinchMessage(setup::WinchCheck::BadCombination, false));
                return;
            }
            n = candidate;
            if (sbCode == SB_LINEUP)
                SetDlgItemInteger(IDC_RESOLUTION, n, setup::kMinResolution, setup::kMaxResolution);
            else
                SetDlgItemInteger(IDC_RESOLUTION, n, setup::kMinResolution, -1);
        } else {
            StoreFactor(n, s.PulleysCircumference, setup::DepthFactor256For(n, w));
            SaveConfig();
            if (m_shared.TxLength() == 0) SendWinch();
            StartAckTimer();
        }
    } else if (pos == IDC_CIRCUMFERENCE_SPIN) {
        const int n = s.PulsResolution;
        double w = 0.0;
        const bool read = ReadCircumferenceForArrow(&w);
        if (step) m_spinRefused = !read;
        if (m_spinRefused || !read) {
            if (!step) m_spinRefused = false;
            ShowStoredCircumference();
            return;
        }
        if (step) {
            const double candidate = sbCode == SB_LINEUP ? w + 0.1 : w - 0.1;
            if (!setup::ArrowStepAllowed(candidate, n)) {
                m_spinRefused = true;
                ShowStoredCircumference();
                Report(setup::WinchMessage(setup::WinchCheck::BadCombination, true));
                return;
            }
            SetDlgItemDouble(IDC_CIRCUMFERENCE, candidate, 1, false);
        } else {
            const int32_t w10 = TenthsOf(w);
            StoreFactor(n, w10, setup::DepthFactor256For(n, w));
            SaveConfig();
            if (m_shared.TxLength() == 0) SendWinch();
            StartAckTimer();
        }
    }
}
