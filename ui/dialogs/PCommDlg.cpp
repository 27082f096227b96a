#include "ui/dialogs/PCommDlg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include "link/FramePeriod.h"
#include "link/CommandFrames.h"
#include "records/SharedRecords.h"
#include "platform/Clock.h"
#include "platform/NumText.h"
#include "platform/ui/SpinArrows.h"
#include "settings/Preferences.h"
#include "ui/controls/ColorStaticST.h"
#include "ui/dialogs/CheckComm.h"
#include "ui/dialogs/DialogUnits.h"

using zns::ui::DluRect;

namespace {

enum Field : int { F_GAIN = 0, F_BAUD = 1, F_DOWN = 2, F_UP = 3 };

constexpr int kLampIds[8] = {CPCommDlg::IDC_LAMP_DOWNHOLE, CPCommDlg::IDC_LAMP_UPHOLE, CPCommDlg::IDC_LAMP_NO_RESP,
                             CPCommDlg::IDC_LAMP_INT_RESP, CPCommDlg::IDC_LAMP_CHECKSUM,
                             CPCommDlg::IDC_LAMP_PARAMETER, CPCommDlg::IDC_LAMP_SETTING, CPCommDlg::IDC_LAMP_LENGTH};
const char* const kLampLabels[8] = {"Downhole Data Valid", "Uphole Data Valid", "No Resp", "Int Resp",
                                    "Checksum error", "Parameter Update", "Setting Update", "Frame length error"};
constexpr int kDivisorList[] = {4, 5, 6, 7, 8, 9, 10, 12, 15, 20};

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

QPixmap LampPixmap(CPCommDlg::Lamp l) {
    QColor c;
    switch (l) {
        case CPCommDlg::Lamp::Grey: c = QColor(160, 160, 160); break;
        case CPCommDlg::Lamp::Red: c = QColor(230, 0, 0); break;
        case CPCommDlg::Lamp::Green: c = QColor(0, 200, 0); break;
        case CPCommDlg::Lamp::Yellow: c = QColor(240, 220, 0); break;
    }
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QColor(64, 64, 64));
    g.setBrush(c);
    g.drawEllipse(2, 2, 12, 12);
    return p;
}

}  // namespace

CPCommDlg::CPCommDlg(SharedData& shared, SettingsData& settings, QWidget* parent, zns::IClock* clock)
    : CDialogExt(IDD, parent, true),
      m_shared(shared),
      m_settings(settings),
      m_clock(clock ? clock : &zns::DefaultClock()) {
    m_nHold.fill(-1);
    m_lampState.fill(Lamp::Grey);
    BuildControls();
}

CPCommDlg::~CPCommDlg() = default;

void CPCommDlg::BuildControls() {
    setFont(zns::ui::TemplateFont());
    setFixedSize(zns::ui::DluX(260), zns::ui::DluY(170));

    auto label = [this](int id, const char* text, int x, int y, int w) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setGeometry(DluRect(x, y, w, 9));
        if (id) SetDlgItem(id, l);
        return l;
    };
    auto edit = [this](int id, int x, int y) {
        auto* e = new QLineEdit(this);
        e->setAlignment(Qt::AlignRight);
        e->setGeometry(DluRect(x, y, 28, 12));
        e->installEventFilter(this);
        SetDlgItem(id, e);
        return e;
    };
    auto spin = [this](int id, int x, int y) {
        auto* s = new CSpinArrows(id, this, this);
        s->setGeometry(DluRect(x, y, 9, 12));
        s->SetScrollRange(id, id);
        return s;
    };

    QLabel* baudLabel = label(IDC_BAUD_LABEL, "&Communication Speed", 8, 8, 90);
    m_baud = new QComboBox(this);
    baudLabel->setBuddy(m_baud);
    m_baud->setGeometry(DluRect(100, 6, 50, 13));
    SetDlgItem(IDC_BAUD, m_baud);
    ConnectControl(m_baud, qOverload<int>(&QComboBox::activated), [this](int) { OnCbnSelchangeBaud(); });
    m_baudEcho = new CColorStaticST(this);
    m_baudEcho->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_baudEcho->setGeometry(DluRect(156, 6, 40, 12));
    SetDlgItem(IDC_BAUD_ECHO, m_baudEcho);
    label(0, "Bauds", 200, 8, 30);

    QLabel* downLabel = label(IDC_DOWN_DRIVE_LABEL, "&Downhole Signal Drive", 8, 26, 90);
    m_downDrive = edit(IDC_DOWN_DRIVE, 100, 24);
    downLabel->setBuddy(m_downDrive);
    m_downDriveSpin = spin(IDC_DOWN_DRIVE_SPIN, 129, 24);

    QLabel* upLabel = label(IDC_UP_DRIVE_LABEL, "&Uphole Signal Drive", 8, 44, 90);
    m_upDrive = edit(IDC_UP_DRIVE, 100, 42);
    upLabel->setBuddy(m_upDrive);
    m_upDriveSpin = spin(IDC_UP_DRIVE_SPIN, 129, 42);
    m_upDriveEcho = new CColorStaticST(this);
    m_upDriveEcho->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_upDriveEcho->setGeometry(DluRect(156, 42, 40, 12));
    SetDlgItem(IDC_UP_DRIVE_ECHO, m_upDriveEcho);
    m_max = new CColorStaticST(this);
    m_max->setGeometry(DluRect(200, 44, 55, 9));
    SetDlgItem(IDC_UP_DRIVE_MAX, m_max);

    QLabel* gainLabel = label(IDC_GAIN_LABEL, "Uphole Receiver &Gain", 8, 62, 90);
    m_gain = edit(IDC_GAIN, 100, 60);
    gainLabel->setBuddy(m_gain);
    m_gainSpin = spin(IDC_GAIN_SPIN, 129, 60);
    label(0, "db", 142, 62, 14);

    for (int i = 0; i < 8; ++i) {
        const int col = i / 4, row = i % 4;
        auto* lamp = new QLabel(this);
        lamp->setGeometry(DluRect(8 + col * 125, 84 + row * 14, 11, 11));
        SetDlgItem(kLampIds[i], lamp);
        m_lamps[size_t(i)] = lamp;
        label(0, kLampLabels[i], 22 + col * 125, 85 + row * 14, 100);
    }

    m_check = new QPushButton(QStringLiteral("&Check"), this);
    m_check->setGeometry(DluRect(8, 148, 50, 14));
    SetDlgItem(IDC_CHECK, m_check);
    MapCommand(IDC_CHECK, [this] { OnBnClickedCheck(); });
    m_set = new QPushButton(QStringLiteral("&Set"), this);
    m_set->setGeometry(DluRect(200, 148, 50, 14));
    SetDlgItem(IDC_SET, m_set);
    MapCommand(IDC_SET, [this] { OnBnClickedSet(); });
    MapCommand(ID_SONDE_CHANGED, [this] { OnSondeChanged(); });
}

bool CPCommDlg::eventFilter(QObject* watched, QEvent* event) {
    if (IsLeavingEdit(watched, event)) {
        if (watched == m_gain) OnEnKillfocusGain();
        else if (watched == m_downDrive) OnEnKillfocusDownDrive();
        else if (watched == m_upDrive) OnEnKillfocusUpDrive();
    }
    return CDialogExt::eventFilter(watched, event);
}

BOOL CPCommDlg::OnInitDialog() {
    CDialogExt::OnInitDialog();
    m_pAcq = &m_shared.settings;
    m_pSession = &m_shared.session;
    m_pLogger = &m_shared.logger;
    m_pSonde = &m_shared.sonde;
    m_pSondeDb = &m_settings.sondeDb;

    m_baud->clear();
    for (int d : kDivisorList) m_baud->addItem(QString::fromLatin1(zns::BaudLabelForDivisor(d)), d);

    for (size_t i = 0; i < 8; ++i) SetLamp(int(i), Lamp::Grey);
    m_nHold.fill(-1);
    m_baudEcho->SetBkColor(kEchoLive);
    m_baudEcho->SetTextColor(0x000000);
    m_upDriveEcho->SetBkColor(kEchoLive);
    m_upDriveEcho->SetTextColor(0x000000);
    m_echoCyan = false;
    m_max->SetTextColor(kMaxTextColor);
    m_nUpDriveMax = 60;
    m_nPostCheckTimer = m_nReadBackTimer = m_nLampTimer = 0;
    SetCaptions();
    UpdateControls();
    m_inKillFocus = false;
    m_nHoldLength = kHoldLength;
    m_nLampTimer = SetTimer(kLampTimerId, kLampMs);
    return TRUE;
}

void CPCommDlg::SetCaptions() {
    if (!IsCreated()) return;
    SetDlgItemText(IDC_BAUD_LABEL, "&Communication Speed");
    SetDlgItemText(IDC_DOWN_DRIVE_LABEL, "&Downhole Signal Drive");
    SetDlgItemText(IDC_UP_DRIVE_LABEL, "&Uphole Signal Drive");
    SetDlgItemText(IDC_GAIN_LABEL, "Uphole Receiver &Gain");
}

void CPCommDlg::ComputeMax(int divisor) {
    m_nUpDriveMax = zns::MaxUpDriveForDivisor(divisor);
    SetDlgItemText(IDC_UP_DRIVE_MAX, zns::Format("Max : %d", m_nUpDriveMax));
}

void CPCommDlg::UpdateControls() {
    const AcquisitionSettings s = m_shared.SnapshotSettings();
    const bool playing = m_shared.SnapshotSession().Running != 0;
    const int idx = m_baud->findData(s.BaudDivisor);
    m_baud->setCurrentIndex(idx);
    ComputeMax(s.BaudDivisor);
    SetDlgItemInteger(IDC_UP_DRIVE, Clamp(s.UpDrive, 5, m_nUpDriveMax), 5, short(m_nUpDriveMax));
    SetDlgItemInteger(IDC_DOWN_DRIVE, Clamp(s.DownDrive, 5, 60), 5, 60);
    SetDlgItemInteger(IDC_GAIN, Clamp(s.UpGain, 0, 40), 0, 40);
    for (int id : {int(IDC_BAUD), int(IDC_GAIN), int(IDC_DOWN_DRIVE), int(IDC_UP_DRIVE), int(IDC_GAIN_SPIN),
                   int(IDC_DOWN_DRIVE_SPIN), int(IDC_UP_DRIVE_SPIN)})
        EnableDlgItem(id, playing ? FALSE : TRUE);
}

void CPCommDlg::OnSondeChanged() {
    m_baud->setCurrentIndex(m_baud->findData(m_shared.SnapshotSettings().BaudDivisor));
}

CPCommDlg::Lamp CPCommDlg::LampState(int id) const {
    for (int i = 0; i < 8; ++i)
        if (kLampIds[i] == id) return m_lampState[size_t(i)];
    return Lamp::Grey;
}

void CPCommDlg::SetLamp(int index, Lamp state) {
    m_lampState[size_t(index)] = state;
    if (QLabel* l = m_lamps[size_t(index)]) l->setPixmap(LampPixmap(state));
}

void CPCommDlg::RefreshStatusLamps() {
    const uint8_t s = m_shared.SnapshotLogger().FrameStatus;
    for (int bit = 1; bit <= 6; ++bit)
        if (s & (1u << bit)) m_nHold[size_t(bit)] = 0;
    if (isVisible()) {
        const int f = m_shared.g_nWaveHeadFlag.load();
        SetLamp(0, f == 0 ? Lamp::Green : f == 1 ? Lamp::Red : Lamp::Grey);
    }
}

void CPCommDlg::ShowLinkEchoes() {
    const bool playing = m_shared.SnapshotSession().Running != 0;
    if (playing && !m_echoCyan) {
        m_baudEcho->SetBkColor(kEchoReplay);
        m_upDriveEcho->SetBkColor(kEchoReplay);
        m_echoCyan = true;
    } else if (!playing && m_echoCyan) {
        m_baudEcho->SetBkColor(kEchoLive);
        m_upDriveEcho->SetBkColor(kEchoLive);
        m_echoCyan = false;
    }
    if (m_shared.m_bSondePowered) {
        if (m_shared.TakeNewData(2)) {
            const SondeStatus e = m_shared.SnapshotSonde();
            if (const char* t = zns::BaudLabelForDivisor(e.BaudEcho)) SetDlgItemText(IDC_BAUD_ECHO, t);
            SetDlgItemText(IDC_UP_DRIVE_ECHO, zns::Format("%d", e.UpDriveEcho));
        }
    } else {
        SetDlgItemText(IDC_BAUD_ECHO, "-");
        SetDlgItemText(IDC_UP_DRIVE_ECHO, "-");
    }
}

void CPCommDlg::SaveConfig() {
    if (m_hooks.saveConfig)
        m_hooks.saveConfig();
    else if (m_prefs)
        m_prefs->SaveConfig();
}

bool CPCommDlg::Send(int code) {
    if (m_hooks.sendCommand) return m_hooks.sendCommand(code);
    uint8_t volts;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        volts = static_cast<uint8_t>(zns::HoldSondeVoltage(m_settings.sondeDb.Voltage));
    }
    return QueueCommand(m_shared, code, volts);
}

void CPCommDlg::Pump() {
    if (m_hooks.pumpMessages)
        m_hooks.pumpMessages();
    else
        QCoreApplication::processEvents();
}

void CPCommDlg::WaitWhilePending() {
    for (int i = 0; i < 11 && m_shared.TxLength() != 0; ++i) {
        Pump();
        m_clock->SleepMs(100);
    }
}

void CPCommDlg::ClearFrameCounters() {
    m_shared.m_nStatusOneFrames = 0;
    m_shared.m_nOtherFrames = 0;
}

void CPCommDlg::StoreField(int field, int value) {
    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    AcquisitionSettings& s = m_shared.settings;
    SondeDatabase& db = m_settings.sondeDb;
    SondeRecord* rec = db.nSelected >= 0 && db.nSelected < kMaxSondes ? &db.Slots[size_t(db.nSelected)] : nullptr;
    switch (field) {
        case F_GAIN: s.UpGain = value; if (rec) rec->UpGain = value; break;
        case F_BAUD: s.BaudDivisor = value; if (rec) rec->UpBaudDivisor = value; break;
        case F_DOWN: s.DownDrive = value; if (rec) rec->DownDrive = value; break;
        case F_UP: s.UpDrive = value; if (rec) rec->UpDrive = value; break;
    }
}

void CPCommDlg::StoreAndSend(int field, int value, int code, bool restartReadBack) {
    StoreField(field, value);
    SaveConfig();
    Send(code);
    if (restartReadBack) RestartReadBack();
    ClearFrameCounters();
}

int CPCommDlg::StoredValue(int editId) const {
    const AcquisitionSettings s = m_shared.SnapshotSettings();
    switch (editId) {
        case IDC_GAIN: return s.UpGain;
        case IDC_DOWN_DRIVE: return s.DownDrive;
        default: return s.UpDrive;
    }
}

void CPCommDlg::ShowStored(int editId) { SetDlgItemInteger(editId, StoredValue(editId), -1, -1); }

bool CPCommDlg::ReadEdit(int editId, int* value) {
    // The box of a refused text takes the focus from the edit: no second check.
    const bool was = m_inKillFocus;
    m_inKillFocus = true;
    const bool read = GetDlgItemInteger(editId, value);
    m_inKillFocus = was;
    return read;
}

void CPCommDlg::OnEnKillfocusGain() {
    if (m_inKillFocus) return;
    int v = 0;
    m_inKillFocus = true;
    const bool empty = RefuseEmptyDlgItem(this, IDC_GAIN);  // 0 is a gain; an empty edit is none
    m_inKillFocus = false;
    if (empty) {
        ShowStored(IDC_GAIN);
        return;
    }
    if (!ReadEdit(IDC_GAIN, &v)) {
        ShowStored(IDC_GAIN);  // not a whole number: the reader has said so
        return;
    }
    m_inKillFocus = true;
    if (v >= 0 && v <= 40)
        StoreAndSend(F_GAIN, v, CMD_3, true);
    else
        MessageBox(kMsgBadValue);
    m_inKillFocus = false;
}

void CPCommDlg::OnEnKillfocusDownDrive() {
    if (m_inKillFocus) return;
    int v = 0;
    if (!ReadEdit(IDC_DOWN_DRIVE, &v)) {
        ShowStored(IDC_DOWN_DRIVE);
        return;
    }
    m_inKillFocus = true;
    if (v >= 5 && v <= 60) {
        StoreAndSend(F_DOWN, v, CMD_3, true);
    } else {
        MessageBox(kMsgBadDown);
        ShowStored(IDC_DOWN_DRIVE);
    }
    m_inKillFocus = false;
}

void CPCommDlg::OnEnKillfocusUpDrive() {
    if (m_inKillFocus) return;
    int v = 0;
    if (!ReadEdit(IDC_UP_DRIVE, &v)) {
        ShowStored(IDC_UP_DRIVE);
        return;
    }
    m_inKillFocus = true;
    if (v >= 5 && v <= m_nUpDriveMax) {
        StoreAndSend(F_UP, v, CMD_10, true);
    } else {
        MessageBox(zns::Format(kFmtBadUp, m_nUpDriveMax));
        ShowStored(IDC_UP_DRIVE);
    }
    m_inKillFocus = false;
}

void CPCommDlg::OnOK() {
    if (HasKeyboardFocus(m_gain)) OnEnKillfocusGain();
    else if (HasKeyboardFocus(m_downDrive)) OnEnKillfocusDownDrive();
    else if (HasKeyboardFocus(m_upDrive)) OnEnKillfocusUpDrive();
}

void CPCommDlg::OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows*) {
    int editId, lo, hi, field, code;
    bool restart;
    switch (pos) {
        case IDC_DOWN_DRIVE_SPIN: editId = IDC_DOWN_DRIVE; lo = 5; hi = 60; field = F_DOWN; code = CMD_3; restart = true; break;
        case IDC_GAIN_SPIN: editId = IDC_GAIN; lo = 0; hi = 40; field = F_GAIN; code = CMD_3; restart = true; break;
        case IDC_UP_DRIVE_SPIN: editId = IDC_UP_DRIVE; lo = 5; hi = m_nUpDriveMax; field = F_UP; code = CMD_10; restart = false; break;
        default: return;
    }
    int v = 0;
    // Text that is no whole number, or none, is refused: the stored value comes
    // back and the press sends nothing.
    const bool read = !GetDlgItemText(editId).empty() && ReadEdit(editId, &v);
    if (sbCode == SB_LINEUP || sbCode == SB_LINEDOWN) {
        m_spinRefused = !read;
        if (!read)
            ShowStored(editId);
        else
            SetDlgItemInteger(editId, Clamp(sbCode == SB_LINEUP ? v + 1 : v - 1, lo, hi), short(lo), short(hi));
    } else if (sbCode == SB_ENDSCROLL) {
        const bool refused = m_spinRefused || !read;
        m_spinRefused = false;
        if (refused) {
            ShowStored(editId);
            return;
        }
        // What the edit shows is what is stored and sent.
        v = Clamp(v, lo, hi);
        SetDlgItemInteger(editId, v, -1, -1);
        StoreField(field, v);
        SaveConfig();
        WaitWhilePending();
        Send(code);
        if (restart) RestartReadBack();
        ClearFrameCounters();
    }
}

void CPCommDlg::OnCbnSelchangeBaud() {
    const int idx = m_baud->currentIndex();
    if (idx < 0) return;
    const int divisor = m_baud->itemData(idx).toInt();
    StoreField(F_BAUD, divisor);
    ComputeMax(divisor);
    const AcquisitionSettings s = m_shared.SnapshotSettings();
    if (s.UpDrive > m_nUpDriveMax) {
        StoreField(F_UP, m_nUpDriveMax);
        SetDlgItemInteger(IDC_UP_DRIVE, m_nUpDriveMax, -1, -1);
    }
    int p = 0;
    zns::ComputeFramePeriod(s, &p, nullptr, nullptr, true);
    bool rearm = false;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        if (m_shared.settings.TimeInterval < p) {
            m_shared.settings.TimeInterval = static_cast<uint16_t>(p);
            rearm = true;
        }
    }
    if (rearm && m_hooks.postAcquisitionPage) m_hooks.postAcquisitionPage(ID_REARM_ACQ_READBACK);
    SaveConfig();
    Send(CMD_10);
    ClearFrameCounters();
}

void CPCommDlg::FocusQuietly(QWidget* w) {
    // Moving the focus must not run the check of the edit it leaves a second time.
    const bool was = m_inKillFocus;
    m_inKillFocus = true;
    w->setFocus();
    m_inKillFocus = was;
}

void CPCommDlg::RunSetSequence() {
    Pump();
    WaitWhilePending();
    FocusQuietly(m_gain);
    OnEnKillfocusGain();
    WaitWhilePending();
    FocusQuietly(m_upDrive);
    OnEnKillfocusUpDrive();
    WaitWhilePending();
    FocusQuietly(m_downDrive);
    OnEnKillfocusDownDrive();
}

void CPCommDlg::OnBnClickedSet() { RunSetSequence(); }

void CPCommDlg::OnBnClickedCheck() {
    if (m_shared.SnapshotSession().Recording) {
        MessageBox(kMsgStopRecord);
        return;
    }
    if (m_hooks.runCheck) {
        m_hooks.runCheck();
    } else {
        CCheckComm dlg(m_shared, m_settings, this, m_clock);
        dlg.SetPreferences(m_prefs);
        CheckCommHooks h;
        h.sendCommand = m_hooks.sendCommand;
        h.refreshPages = m_hooks.refreshPages;
        h.saveConfig = m_hooks.saveConfig;
        dlg.SetHooks(std::move(h));
        dlg.DoModal();
    }
    m_nPostCheckTimer = SetTimer(kPostCheckTimerId, kPostCheckMs);
}

void CPCommDlg::RestartReadBack() {
    if (m_shared.m_bExiting) {
        KillTimer(kReadBackTimerId);
        m_nReadBackTimer = 0;
        return;
    }
    m_shared.m_bNewData[0] = false;
    m_nReadBackTimer = SetTimer(kReadBackTimerId, kReadBackMs);
}

void CPCommDlg::OnTimer(unsigned id) {
    if (id == kReadBackTimerId) {
        OnReadBackTimer();
    } else if (id == kLampTimerId) {
        OnLampTimer();
    } else if (id == kPostCheckTimerId) {
        KillTimer(kPostCheckTimerId);
        m_nPostCheckTimer = 0;
        RunSetSequence();
    }
}

void CPCommDlg::OnReadBackTimer() {
    KillTimer(kReadBackTimerId);
    m_nReadBackTimer = 0;
    const SondeStatus e = m_shared.SnapshotSonde();
    const bool fresh = m_shared.TakeNewData(0);
    if (!(e.FrameStatus & ~0x01) && fresh) {
        const AcquisitionSettings s = m_shared.SnapshotSettings();
        const bool gainOk = s.UpGain == e.UpGainEcho;
        const bool driveOk = s.DownDrive == e.DownDriveEcho;
        if (gainOk && driveOk) {
            m_nReadBackRetry = 0;
            return;
        }
        if (m_nReadBackRetry < kReadBackRetries) {
            Send(CMD_3);
            m_nReadBackTimer = SetTimer(kReadBackTimerId, kReadBackMs);
            ++m_nReadBackRetry;
            return;
        }
        m_nReadBackRetry = 0;
        if (!gainOk) MessageBox(zns::Format(kFmtGainWarn, s.UpGain, e.UpGainEcho));
        if (!driveOk) MessageBox(zns::Format(kFmtDriveWarn, s.DownDrive, e.DownDriveEcho));
        return;
    }
    m_nReadBackTimer = SetTimer(kReadBackTimerId, kReadBackPollMs);
}

void CPCommDlg::OnLampTimer() {
    KillTimer(kLampTimerId);
    if (isVisible()) {
        const uint8_t s = m_shared.SnapshotLogger().FrameStatus;
        bool idle = true;
        for (size_t i = 1; i <= 6; ++i)
            if (m_nHold[i] != -1) idle = false;
        static constexpr Lamp kLit[7] = {Lamp::Green, Lamp::Red, Lamp::Red, Lamp::Red, Lamp::Yellow, Lamp::Yellow,
                                         Lamp::Red};
        for (int bit = 1; bit <= 6; ++bit) {
            if (s & (1u << bit)) {
                SetLamp(bit + 1, kLit[bit]);
                m_nHold[size_t(bit)] = 0;
                idle = false;
            }
        }
        if ((s & 0x01) && idle) {
            SetLamp(1, Lamp::Green);
            m_nHold[0] = 0;
        } else if (!(!(s & 0x01) && idle)) {
            SetLamp(1, Lamp::Grey);
            m_nHold[0] = -1;
        }
        for (size_t i = 0; i <= 6; ++i) {
            if (m_nHold[i] < 0) continue;
            if (m_nHold[i] > m_nHoldLength) {
                if (i == 0 && (s & ~0x01)) {
                    ++m_nHold[i];
                    continue;
                }
                m_nHold[i] = -1;
                SetLamp(int(i) + 1, Lamp::Grey);
            } else {
                ++m_nHold[i];
            }
        }
    }
    m_nLampTimer = SetTimer(kLampTimerId, kLampMs);
}
