// The power, record and replay panel.
#include "ui/dialogs/PowerDlg.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>

#include "ui/WindowHandles.h"
#include "link/CommandFrames.h"
#include "records/SharedRecords.h"
#include "link/ToolsStream.h"
#include "platform/ui/GuiThread.h"
#include "platform/ui/UiService.h"
#include "platform/ui/UiText.h"
#include "settings/Header.h"
#include "settings/Preferences.h"
#include "ui/controls/ColorStaticST.h"
#include "ui/controls/GraphicCounterCtrl.h"

namespace {

constexpr const char* kIconProperty = "znsIconId";
constexpr int kStopIcon = 207;    // the Stop button's own picture
constexpr int kRewindIcon = 208;  // the Rewind button's own picture

QPixmap Blank(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

// The power lamp: green when on, grey when off; the blink pictures are paler.
QPixmap PowerPicture(bool on, bool pale) {
    QPixmap pm = Blank(32);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QColor c = on ? QColor(30, 170, 40) : QColor(120, 120, 120);
    if (pale) c = c.lighter(170);
    p.setBrush(c);
    p.setPen(QPen(c.darker(170), 1.5));
    p.drawEllipse(QRectF(2, 2, 28, 28));
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(9, 9, 14, 14), 120 * 16, 300 * 16);
    p.drawLine(QPointF(16, 6), QPointF(16, 15));
    return pm;
}

QPixmap MediaPicture(int icon) {
    QPixmap pm = Blank(24);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    switch (icon) {
        case IDI_PLAY:
        case IDI_PLAY_BLINK: {
            p.setBrush(icon == IDI_PLAY ? QColor(20, 110, 40) : QColor(120, 230, 120));
            QPainterPath path;
            path.moveTo(7, 4);
            path.lineTo(20, 12);
            path.lineTo(7, 20);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case IDI_PAUSE:
        case IDI_PAUSE_BLINK:
            p.setBrush(icon == IDI_PAUSE ? QColor(30, 60, 140) : QColor(130, 170, 250));
            p.drawRect(QRectF(6, 4, 4, 16));
            p.drawRect(QRectF(14, 4, 4, 16));
            break;
        case IDI_RECORD:
        case IDI_RECORD_BLINK:
            p.setBrush(icon == IDI_RECORD ? QColor(210, 30, 30) : QColor(110, 20, 20));
            p.drawEllipse(QRectF(4, 4, 16, 16));
            break;
        case kStopIcon:
            p.setBrush(QColor(40, 40, 40));
            p.drawRect(QRectF(6, 6, 12, 12));
            break;
        case kRewindIcon: {
            p.setBrush(QColor(40, 40, 40));
            p.drawRect(QRectF(4, 5, 3, 14));
            QPainterPath path;
            path.moveTo(20, 5);
            path.lineTo(8, 12);
            path.lineTo(20, 19);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case IDI_TOOLS:
            p.setBrush(QColor(90, 90, 90));
            p.drawRect(QRectF(3, 5, 18, 14));
            p.setBrush(QColor(235, 200, 60));
            p.drawRect(QRectF(6, 8, 5, 3));
            p.drawRect(QRectF(13, 13, 5, 3));
            break;
        default: {  // the three scopes
            const int rx = icon == IDI_SCOPE1 ? 1 : icon == IDI_SCOPE2 ? 2 : 3;
            p.setBrush(QColor(10, 40, 30));
            p.drawRect(QRectF(1, 3, 22, 18));
            p.setPen(QPen(QColor(80, 255, 120), 1.5));
            QPainterPath wave;
            wave.moveTo(2, 12);
            for (int x = 2; x <= 22; ++x) wave.lineTo(x, 12 - ((x * rx) % 5 - 2) * (x > 8 ? 2 : 0.5));
            p.drawPath(wave);
            break;
        }
    }
    return pm;
}

// Drawn once per panel (no process-wide cache: pixmaps must not outlive the
// application object).
QIcon PanelIcon(int id) {
    QPixmap pm;
    switch (id) {
        case IDI_POWER_ON: pm = PowerPicture(true, false); break;
        case IDI_POWER_OFF: pm = PowerPicture(false, false); break;
        case IDI_POWER_ON_BLINK: pm = PowerPicture(true, true); break;
        case IDI_POWER_OFF_BLINK: pm = PowerPicture(false, true); break;
        default: pm = MediaPicture(id); break;
    }
    return QIcon(pm);
}

}  // namespace

// The panel as the power control sees it.
class CPowerDlg::Panel final : public IPowerPanel {
public:
    explicit Panel(CPowerDlg& d) : m_d(d) {}

    void SetTimer(unsigned id, unsigned ms) override { m_d.CWndBase::SetTimer(id, ms); }
    void KillTimer(unsigned id) override { m_d.CWndBase::KillTimer(id); }
    bool IsTimerSet(unsigned id) const override { return m_d.CWndBase::IsTimerSet(id); }
    bool SendCommand(int code) override { return m_d.SendCommandToLogger(code); }
    int MessageBox(const std::string& text, unsigned type) override { return m_d.CWndBase::MessageBox(text, {}, type); }
    void Beep(unsigned frequency, unsigned durationMs) override { zns::ui::Service().Beep(frequency, durationMs); }
    void SetStatusLine(const std::string& text, int cls) override {
        if (!m_d.m_status) return;
        m_d.m_status->setText(zns::ui::ToQ(text));
        if (cls < 0) return;
        const StatusColours c = StatusClassColours(cls);
        m_d.m_status->SetTextColor(c.text);
        m_d.m_status->SetBkColor(c.ownBack ? CColorStaticST::kDefaultColor : c.back);
    }
    void SetStatusLineBlack() override {
        if (m_d.m_status) m_d.m_status->SetTextColor(0x000000);
    }
    void SetFrameCounters(const std::string& statusOne, const std::string& other) override {
        m_d.SetDlgItemText(IDC_STATUS_ONE_FRAMES, statusOne);
        m_d.SetDlgItemText(IDC_OTHER_FRAMES, other);
    }
    void SetSupplyCounters(const std::string& volts, const std::string& milliamps) override {
        if (m_d.m_voltage) m_d.m_voltage->WriteCounterDataCString(volts.c_str());
        if (m_d.m_current) m_d.m_current->WriteCounterDataCString(milliamps.c_str());
    }
    void SetCounterBlink(int counterId, bool on) override {
        CGraphicCounterCtrl* c = m_d.Counter(counterId);
        if (!c) return;
        if (on)
            c->StartBlink(2);
        else
            c->StopBlink();
    }
    void SetTimeCounterText(const std::string& text) override {
        if (m_d.m_time && m_d.m_bTimeCounterShown) m_d.m_time->WriteCounterDataCString(text.c_str());
    }
    void SetPowerIcon(int icon) override { m_d.SetButtonIcon(IDC_POWER, icon); }
    void CloseRecordFile() override { m_d.CloseRecordFile(); }
    void PressStopForPower() override {
        m_d.m_bStopFromPower = true;
        m_d.OnBnClickedStop();
        m_d.m_bStopFromPower = false;
    }
    void SetRecorderButtons() override { m_d.SetRecorderButtons(); }
    void EndAutoPrint() override {
        if (m_d.m_hooks.endAutoPrint) m_d.m_hooks.endAutoPrint();
    }
    void ResetAcquisition(bool reload) override {
        if (m_d.m_hooks.resetAcquisition) m_d.m_hooks.resetAcquisition(reload);
    }
    void StatusBarText(int part, const std::string& text) override { m_d.StatusBar(part, text); }
    void AcquisitionStateChanged() override {
        if (m_d.m_hooks.postMainCommand)
            m_d.m_hooks.postMainCommand(ID_ACQUISITION_STATE_CHANGED);
        else if (CWndBase* main = g_hWndMain.load())
            main->PostCommand(ID_ACQUISITION_STATE_CHANGED);
    }

private:
    CPowerDlg& m_d;
};

CPowerDlg::CPowerDlg(SharedData& shared, SettingsData& settings, HeaderRecord& header, CToolsStream& stream,
                     zns::DataFileWriter& writer, QWidget* parent, PowerDlgHooks hooks,
                     std::atomic<bool>* powerDownConfirmed, zns::IClock& clock)
    : CDialogExt(IDD, parent, true),
      m_shared(shared),
      m_settings(settings),
      m_header(header),
      m_stream(stream),
      m_writer(writer),
      m_hooks(std::move(hooks)),
      m_panel(std::make_unique<Panel>(*this)),
      m_power(shared, settings, header, *m_panel, powerDownConfirmed),
      m_recorder(shared, settings, header, writer, clock,
                 RecorderHooks{[this](int part, const std::string& t) { StatusBar(part, t); },
                               [this](bool reload) {
                                   if (m_hooks.resetAcquisition) m_hooks.resetAcquisition(reload);
                               }}),
      m_player(shared, stream.m_posReplay, clock,
               PlayerHooks{[this](int64_t pos) { return ReadReplayRecord(pos); },
                           [this] {
                               if (m_hooks.onReplayFrame) m_hooks.onReplayFrame();
                           },
                           [this](const std::string& text) {
                               zns::ui::PostToGui(this, [this, text] {
                                   CWndBase::MessageBox(text, {}, MB_OK | MB_ICONSTOP);
                               });
                           },
                           [this] { zns::ui::PostToGui(this, [this] { OnPlayerEnded(); }); }}) {
    BuildControls();
}

CPowerDlg::~CPowerDlg() {
    // The player thread calls into this panel: it ends before anything goes.
    m_player.Stop();
}

// ---------------------------------------------------------------------------
// Controls

void CPowerDlg::BuildControls() {
    setFixedSize(332, 170);
    QFont arial("Arial");
    arial.setPixelSize(11);
    setFont(arial);

    m_title = new CColorStaticST(QStringLiteral("Infos Probe"), this);
    m_title->setGeometry(4, 4, 324, 18);
    m_title->setAlignment(Qt::AlignCenter);
    SetDlgItem(IDC_TITLE, m_title);

    auto button = [this](int id, const char* text, QRect r) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setGeometry(r);
        b->setFocusPolicy(Qt::TabFocus);
        SetDlgItem(id, b);
        return b;
    };
    QPushButton* power = button(IDC_POWER, "..", QRect(4, 26, 48, 48));
    power->setText(QString());  // its picture only
    power->setIconSize(QSize(32, 32));
    const struct {
        int id;
        const char* text;
    } media[] = {{IDC_RECORD, "Record"}, {IDC_STOP, "Stop"}, {IDC_PLAY, "Pause"}, {IDC_PAUSE, "Play"},
                 {IDC_REWIND, "Rewin"}};
    for (int i = 0; i < 5; ++i) {
        QPushButton* b = button(media[i].id, media[i].text, QRect(4 + i * 40, 80, 36, 30));
        b->setText(QString());  // the buttons show pictures
        b->setIconSize(QSize(20, 20));
    }
    const struct {
        int id;
        const char* text;
        int icon;
    } scopes[] = {{IDC_SCOPE1, "Display Scope1", IDI_SCOPE1},
                  {IDC_SCOPE2, "Display Scope2", IDI_SCOPE2},
                  {IDC_SCOPE3, "Display Scope 3", IDI_SCOPE3},
                  {IDC_TOOLS, "Display Logger tools", IDI_TOOLS}};
    for (int i = 0; i < 4; ++i) {
        QPushButton* b = button(scopes[i].id, scopes[i].text, QRect(188 + i * 35, 26, 32, 32));
        b->setText(QString());
        b->setIconSize(QSize(22, 22));
        SetButtonIcon(scopes[i].id, scopes[i].icon);
    }
    SetButtonIcon(IDC_RECORD, IDI_RECORD);
    SetButtonIcon(IDC_STOP, kStopIcon);
    SetButtonIcon(IDC_PLAY, IDI_PLAY);
    SetButtonIcon(IDC_PAUSE, IDI_PAUSE);
    SetButtonIcon(IDC_REWIND, kRewindIcon);
    SetButtonIcon(IDC_POWER, IDI_POWER_OFF);

    auto counter = [this](int id, QRect r) {
        auto* c = new CGraphicCounterCtrl(this);
        c->Create(0, r, this, static_cast<unsigned>(id));
        c->WriteCounterDataCString("000");
        return c;
    };
    m_voltage = counter(IDC_VOLTAGE, QRect(58, 26, 60, 24));
    m_current = counter(IDC_CURRENT, QRect(122, 26, 60, 24));
    m_time = counter(IDC_TIME_COUNTER, QRect(206, 80, 122, 30));
    m_time->WriteCounterDataCString("00.00.00");

    auto label = [this](int id, QRect r) {
        auto* l = new QLabel(QStringLiteral("000"), this);
        l->setGeometry(r);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        SetDlgItem(id, l);
    };
    label(IDC_STATUS_ONE_FRAMES, QRect(58, 54, 60, 18));
    label(IDC_OTHER_FRAMES, QRect(122, 54, 60, 18));

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setGeometry(4, 116, 196, 20);
    m_slider->setRange(CPlayer::kSliderMin, CPlayer::kSliderMax);
    m_slider->setValue(CPlayer::kSliderInitial);
    SetDlgItem(IDC_SPEED, m_slider);
    ConnectControl(m_slider, &QSlider::valueChanged, [this](int v) { m_player.SetSliderPos(v); });
    m_player.SetSliderPos(m_slider->value());

    m_status = new CColorStaticST(QString(), this);
    m_status->setGeometry(4, 144, 324, 20);
    m_status->setAlignment(Qt::AlignCenter);
    SetDlgItem(IDC_STATUS, m_status);

    MapCommand(IDC_POWER, [this] { OnBnClickedPower(); });
    MapCommand(IDC_STOP, [this] { OnBnClickedStop(); });
    MapCommand(IDC_PLAY, [this] { OnBnClickedPlay(); });
    MapCommand(IDC_PAUSE, [this] { OnBnClickedPause(); });
    MapCommand(IDC_RECORD, [this] { OnBnClickedRecord(); });
    MapCommand(IDC_REWIND, [this] { OnBnClickedRewind(); });
    MapCommand(IDC_SCOPE1, [this] { MainCommand(ID_WIDE_RX1); });
    MapCommand(IDC_SCOPE2, [this] { MainCommand(ID_WIDE_RX2); });
    MapCommand(IDC_SCOPE3, [this] { MainCommand(ID_WIDE_RX3); });
    MapCommand(IDC_TOOLS, [this] { MainCommand(ID_SHOW_LOGGER_TOOLS); });
}

BOOL CPowerDlg::OnInitDialog() {
    CDialogExt::OnInitDialog();
    QFont bold("Arial");
    bold.setPixelSize(12);
    bold.setBold(true);
    m_title->setFont(bold);
    m_title->SetTextColor(0xFFFFFF);
    m_title->SetBkColor(0x000000);
    m_status->setFont(bold);

    for (CGraphicCounterCtrl* c : {m_voltage, m_current, m_time}) {
        c->SetBackColor(0x000000);
        c->SetTextColor(0x00FF00);
        c->SetTextColor2(0x000000);
        c->SetTextColor3(0x0000FF);  // alarm: red background
        c->SetSizeMode(6);
    }
    m_time->SetTextColor(0x00FFFF);
    m_time->hide();
    m_bTimeCounterShown = false;
    SetRecorderButtons();  // no file loaded yet

    CreateToolTips();
    m_power.Reset();
    m_bPaused = false;
    m_bStopFromPower = false;
    SetTimer(ID_TIMER_DISPLAY, CPowerControl::kDisplayFirstMs);
    UpdateCounters();
    return TRUE;
}

void CPowerDlg::CreateToolTips() {
    SetDlgItemText(IDC_TITLE, "Probe Control");
    const struct {
        int id;
        const char* tip;
    } tips[] = {
        {IDC_POWER, "Sonde power On/Off."},
        {IDC_STOP, "Player or recorder stop."},
        {IDC_PLAY, "Play file."},
        {IDC_RECORD, "Recording."},
        {IDC_REWIND, "Reset file player."},
        {IDC_PAUSE, "Player or recorder pause."},
        {IDC_SCOPE1, "Display 'Near' scope"},
        {IDC_SCOPE2, "Display 'Midle' scope"},
        {IDC_SCOPE3, "Display 'Far' scope"},
        {IDC_TOOLS, "Show tool parameters."},
        {IDC_SPEED, "Player speed variator (depending of your sytem performance)."},
    };
    for (const auto& t : tips) m_ToolTip.AddTool(t.tip, t.id);
}

int CPowerDlg::ButtonIcon(int id) const {
    QWidget* w = GetDlgItem(id);
    return w ? w->property(kIconProperty).toInt() : 0;
}

CGraphicCounterCtrl* CPowerDlg::Counter(int id) const {
    switch (id) {
        case IDC_VOLTAGE: return m_voltage;
        case IDC_CURRENT: return m_current;
        case IDC_TIME_COUNTER: return m_time;
        default: return nullptr;
    }
}

void CPowerDlg::SetButtonIcon(int id, int icon) {
    auto* b = GetDlgItem<QPushButton>(id);
    if (!b || icon == 0) return;
    if (b->property(kIconProperty).toInt() == icon) return;
    b->setProperty(kIconProperty, icon);
    // The same icon each time: Qt caches a button's scaled picture under the
    // icon's key, and a new icon at every blink would add a copy for ever.
    auto [it, fresh] = m_icons.try_emplace(icon);
    if (fresh) it->second = PanelIcon(icon);
    b->setIcon(it->second);
}

void CPowerDlg::resizeEvent(QResizeEvent* e) {
    CDialogExt::resizeEvent(e);
    StartRefreshTimer();
}

void CPowerDlg::StartRefreshTimer() { SetTimer(ID_TIMER_REPAINT, CPowerControl::kRepaintMs); }

void CPowerDlg::OnClose() {
    for (unsigned id : {ID_TIMER_DISPLAY, ID_TIMER_DOWNLOAD, ID_TIMER_REPAINT, ID_TIMER_POWER_GUARD,
                        ID_TIMER_STATUS_HOLD, ID_TIMER_POWER_DOWN})
        KillTimer(id);
}

// ---------------------------------------------------------------------------
// Windows around the panel

void CPowerDlg::StatusBar(int part, const std::string& text) {
    if (m_hooks.statusBarText) m_hooks.statusBarText(part, text);
}

void CPowerDlg::MainCommand(unsigned id) {
    if (m_hooks.mainCommand)
        m_hooks.mainCommand(id);
    else if (CWndBase* main = g_hWndMain.load())
        main->OnCommand(id);
}

void CPowerDlg::EnableMenu(unsigned id, bool enabled) {
    if (m_hooks.enableMenuItem) m_hooks.enableMenuItem(id, enabled);
}

bool CPowerDlg::SendCommandToLogger(int code) {
    if (m_hooks.sendCommand) return m_hooks.sendCommand(code);
    return QueueCommand(m_shared, code, static_cast<uint8_t>(zns::HoldSondeVoltage(m_settings.sondeDb.Voltage)));
}

void CPowerDlg::SetSessionByte(uint8_t SessionState::*field, uint8_t v) {
    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    m_shared.session.*field = v;
}

uint8_t CPowerDlg::SessionByte(uint8_t SessionState::*field) const {
    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    return m_shared.session.*field;
}

// ---------------------------------------------------------------------------
// Power

void CPowerDlg::OnBnClickedPower() { m_power.OnBnClickedPower(); }

void CPowerDlg::PostPowerOff() {
    zns::ui::PostToGui(this, [this] {
        // Without a link every press switches off; with one, only a press on
        // a powered panel does.
        if (m_shared.m_nLinkState.load() < LINK_RX_ERROR || m_power.Powered()) OnBnClickedPower();
    });
}

void CPowerDlg::ShowStatus() {
    if (zns::ui::IsGuiThread()) {
        m_power.ShowStatus();
        return;
    }
    if (m_statusPending.exchange(true)) return;
    zns::ui::PostToGui(this, [this] {
        m_statusPending.store(false);
        m_power.ShowStatus();
    });
}

void CPowerDlg::UpdateCounters() {
    if (zns::ui::IsGuiThread()) {
        m_power.UpdateCounters();
        return;
    }
    if (m_countersPending.exchange(true)) return;
    zns::ui::PostToGui(this, [this] {
        m_countersPending.store(false);
        m_power.UpdateCounters();
    });
}

void CPowerDlg::UpdateCounterAlarms() { m_power.UpdateCounterAlarms(); }

void CPowerDlg::OnTimer(unsigned id) {
    if (id == ID_TIMER_DISPLAY) {
        DisplayTimer();
    } else if (id == ID_TIMER_REPAINT) {
        KillTimer(ID_TIMER_REPAINT);
        update();
    } else {
        m_power.OnTimer(id);
    }
}

void CPowerDlg::DisplayTimer() {
    KillTimer(ID_TIMER_DISPLAY);
    ApplyView(m_power.DisplayTick(m_bPaused, &m_recorder));
    SetTimer(ID_TIMER_DISPLAY, CPowerControl::kDisplayMs);
}

void CPowerDlg::ApplyView(const PanelView& v) {
    if (v.receivers >= 0) {
        const int ids[3] = {IDC_SCOPE1, IDC_SCOPE2, IDC_SCOPE3};
        const unsigned menus[3] = {ID_WIDE_RX1, ID_WIDE_RX2, ID_WIDE_RX3};
        for (int rx = 0; rx < 3; ++rx) {
            EnableDlgItem(ids[rx], rx < v.receivers);
            EnableMenu(menus[rx], rx < v.receivers);
        }
    }
    EnableMenu(ID_FILE_NEW, v.newLogEnabled);
    EnableMenu(ID_EXPORT_SEG2, v.seg2Enabled);
    EnableMenu(ID_FILE_OPEN, v.openEnabled);
    EnableDlgItem(IDC_TOOLS, TRUE);
    EnableDlgItem(IDC_POWER, v.powerEnabled);
    SetButtonIcon(IDC_POWER, v.powerIcon);
    EnableDlgItem(IDC_RECORD, v.recordEnabled);
    SetButtonIcon(IDC_PLAY, v.playIcon);
    SetButtonIcon(IDC_PAUSE, v.pauseIcon);
    SetButtonIcon(IDC_RECORD, v.recordIcon);
    if (v.replayColour && v.timeCounterShown) m_time->SetTextColor(kReplayCounterColour);
    if (v.timeCounterShown != m_bTimeCounterShown) {
        m_bTimeCounterShown = v.timeCounterShown;
        m_time->setVisible(v.timeCounterShown);
        if (v.timeCounterShown) m_time->WriteCounterDataCString(m_shared.SnapshotLive().TimeText.c_str());
    }
}

// ---------------------------------------------------------------------------
// Recorder

void CPowerDlg::StartRecordFile(const std::function<void()>& onOpenFailed) {
    switch (m_recorder.StartRecordFile(m_power.Powered())) {
        case CRecorder::StartResult::NotPowered:
            CWndBase::MessageBox(CRecorder::kMsgNotPowered, {}, MB_OK | MB_ICONSTOP);
            break;
        case CRecorder::StartResult::OpenFailed:
            if (onOpenFailed) onOpenFailed();
            CWndBase::MessageBox(CRecorder::kMsgTroubleOpeningFile, {}, MB_OK | MB_ICONSTOP);
            break;
        case CRecorder::StartResult::Started:
            m_bPaused = false;
            break;
        case CRecorder::StartResult::AlreadyRecording: break;
    }
    EnableDlgItem(IDC_STOP, TRUE);
}

void CPowerDlg::CloseRecordFile() { m_recorder.CloseRecordFile(); }

void CPowerDlg::OnRecordWriteFailed(const std::string& message) {
    zns::ui::RunOnGui(this, [this, message] {
        if (SessionByte(&SessionState::Recording)) {
            // Nothing left to stop: the buttons as after Stop; the display is not reset.
            SetButtonIcon(IDC_RECORD, IDI_RECORD);
            CloseRecordFile();
            SetSessionByte(&SessionState::StartingRecord, 0);
            EnableDlgItem(IDC_REWIND, FALSE);
            EnableDlgItem(IDC_STOP, FALSE);
        }
        std::string why = message.empty() ? m_writer.LastError() : message;
        if (!m_recorder.HeaderTrouble().empty()) why += "\n" + m_recorder.HeaderTrouble();
        CWndBase::MessageBox(why.empty() ? std::string(CRecorder::kMsgTroubleOpeningFile) : why, {},
                             MB_OK | MB_ICONSTOP);
    });
}

void CPowerDlg::OnBnClickedRecord() {
    if (SessionByte(&SessionState::Recording)) return;
    MainCommand(ID_FILE_NEW);
}

void CPowerDlg::StopPlayerThread() { m_player.Stop(); }

void CPowerDlg::OnBnClickedStop() {
    m_bPaused = false;
    if (!m_bStopFromPower && m_hooks.endAutoPrint) m_hooks.endAutoPrint();
    // The player owns the replay position while it runs: it ends first.
    m_player.Stop();
    if (!SessionByte(&SessionState::Recording)) {
        if (m_hooks.resetAcquisition) m_hooks.resetAcquisition(true);
        m_player.SetPosition(0);
        SetRecorderButtons();
        StatusBar(0, "Mode acquisition.");
        EnableDlgItem(IDC_RECORD, TRUE);
    }
    CloseRecordFile();
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.session.StartingRecord = 0;
        m_shared.session.ReplayLoaded = 0;
        m_shared.session.Running = 0;
    }
    EnableDlgItem(IDC_REWIND, FALSE);
    SetButtonIcon(IDC_RECORD, IDI_RECORD);
    SetButtonIcon(IDC_PLAY, IDI_PLAY);
    EnableDlgItem(IDC_STOP, FALSE);
    if (m_hooks.resetAcquisition) m_hooks.resetAcquisition(true);

    if (m_hooks.sendDepthPanelCommand)
        m_hooks.sendDepthPanelCommand(ID_SONDE_CHANGED);
    else if (CWndBase* depth = g_hWndDepth.load())
        depth->SendCommand(ID_SONDE_CHANGED);
    if (m_hooks.postAcquisitionPage) m_hooks.postAcquisitionPage(ID_ACQUISITION_STATE_CHANGED);
    if (m_hooks.postMainCommand)
        m_hooks.postMainCommand(ID_ACQUISITION_STATE_CHANGED);
    else if (CWndBase* main = g_hWndMain.load())
        main->PostCommand(ID_ACQUISITION_STATE_CHANGED);
}

void CPowerDlg::OnBnClickedPlay() {
    if (!SessionByte(&SessionState::ReplayLoaded)) return;
    if (m_player.Position() == 0 && m_hooks.resetAcquisition) m_hooks.resetAcquisition(true);
    EnableDlgItem(IDC_RECORD, FALSE);
    EnableDlgItem(IDC_REWIND, FALSE);
    EnableDlgItem(IDC_PAUSE, TRUE);
    EnableDlgItem(IDC_STOP, TRUE);
    m_bPaused = false;
    StartPlayer();
    StatusBar(0, "Fichier de donn\xE9" "e : " + zns::FixedFieldText(m_settings.files.szFileName));
}

void CPowerDlg::StartPlayer() { m_player.StartPlayer(zns::PlayerFactor(m_header.step, m_header.LogMode)); }

void CPowerDlg::OnBnClickedPause() {
    m_bPaused = true;
    if (SessionByte(&SessionState::Recording)) {
        SetButtonIcon(IDC_RECORD, IDI_RECORD);
        CloseRecordFile();
        SetSessionByte(&SessionState::StartingRecord, 0);
        EnableDlgItem(IDC_REWIND, FALSE);
    }
    if (SessionByte(&SessionState::Running)) {
        EnableDlgItem(IDC_REWIND, TRUE);
        m_player.RequestStop();  // the thread ends within one wait slice
        SetButtonIcon(IDC_PLAY, IDI_PLAY);
        SetSessionByte(&SessionState::Paused, 1);
    }
}

void CPowerDlg::OnBnClickedRewind() {
    if (!SessionByte(&SessionState::ReplayLoaded)) return;  // nothing to rewind
    m_player.SetPosition(0);
    if (m_hooks.resetAcquisition) m_hooks.resetAcquisition(true);
    OnBnClickedPlay();
    m_bPaused = false;
    OnBnClickedPause();
    // Paused at the first record, whatever the thread read before it stopped;
    // the time counter starts again from zero.
    m_player.SetPosition(0);
    m_stream.FormatDepthTime(0);
    EnableDlgItem(IDC_REWIND, FALSE);
}

bool CPowerDlg::ReadReplayRecord(int64_t pos) {
    if (m_stream.ReadDataLineInFileZne(pos)) return true;
    // A damaged record ends the run as the end of the file does, but is told
    // (a file that cannot be opened has told it already). Player thread: posted.
    const std::string text = m_stream.ReplayDamage(pos);
    if (!text.empty()) {
        zns::ui::PostToGui(this, [this, text] {
            StatusBar(0, text);
            CWndBase::MessageBox(text, {}, MB_OK | MB_ICONWARNING);
        });
    }
    return false;
}

void CPowerDlg::OnPlayerEnded() {
    // The end of the file (or a pace that cannot be set) ended the run: the
    // file stays loaded, ready to play from the start.
    if (SessionByte(&SessionState::Running) || !SessionByte(&SessionState::ReplayLoaded)) return;
    // The run is over: its last partial page is printed now.
    if (m_hooks.endAutoPrint) m_hooks.endAutoPrint();
    m_bPaused = false;
    SetPlayerButtons();
    SetButtonIcon(IDC_PLAY, IDI_PLAY);
    // Stop stays enabled as while playing: the way back to acquisition.
    EnableDlgItem(IDC_STOP, TRUE);
}

void CPowerDlg::SetPlayerButtons() {
    EnableDlgItem(IDC_PLAY, TRUE);
    EnableDlgItem(IDC_PAUSE, FALSE);
    EnableDlgItem(IDC_REWIND, FALSE);
    EnableDlgItem(IDC_STOP, FALSE);
    m_slider->show();
    ShowDlgItem(IDC_POWER, SW_HIDE);
}

void CPowerDlg::SetRecorderButtons() {
    EnableDlgItem(IDC_PLAY, FALSE);
    EnableDlgItem(IDC_PAUSE, FALSE);
    EnableDlgItem(IDC_REWIND, FALSE);
    EnableDlgItem(IDC_STOP, FALSE);
    m_slider->hide();
    ShowDlgItem(IDC_POWER, SW_SHOW);
}
