#include "ui/dialogs/DephtDlg.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <exception>
#include <iterator>

#include "link/Picker.h"
#include "records/SharedRecords.h"
#include "platform/NumText.h"
#include "platform/Paths.h"
#include "platform/ui/Draw.h"
#include "platform/ui/GuiThread.h"
#include "platform/ui/UiText.h"
#include "settings/Header.h"
#include "settings/Ini.h"
#include "settings/Preferences.h"
#include "ui/controls/ColorStaticST.h"
#include "ui/controls/GraphicCounterCtrl.h"
#include "ui/dialogs/DephtDlgCore.h"

namespace {

constexpr const char* kDepthFormat = "%###.2f";

// The small depth-mode icons: a letter on a tinted square.
QIcon LetterIcon(const QString& letter, const QColor& back) {
    QPixmap pm(16, 16);
    pm.fill(back);
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.drawRect(0, 0, 15, 15);
    QFont f = zns::ui::MakeFont("Arial", 11, 700);
    p.setFont(f);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, letter);
    p.end();
    return QIcon(pm);
}

QLabel* MakeLabel(QWidget* parent, const char* text, const QRect& r, Qt::Alignment align = Qt::AlignLeft) {
    auto* l = new QLabel(zns::ui::ToQ(text), parent);
    l->setGeometry(r);
    l->setAlignment(align | Qt::AlignVCenter);
    return l;
}

}  // namespace

CDephtDlg::CDephtDlg(SharedData& shared, SettingsData& settings, QWidget* parent)
    : CDialogExt(IDD, parent, true), m_shared(shared), m_settings(settings) {
    BuildControls();
}

CDephtDlg::~CDephtDlg() { KillTimer(kPanelTimerId); }

void CDephtDlg::SetAppFlags(std::atomic<bool>* rawDepth, std::atomic<bool>* displayModeDlg) {
    m_rawDepth = rawDepth ? rawDepth : &m_ownRawDepth;
    m_displayModeDlg = displayModeDlg ? displayModeDlg : &m_ownDisplayModeDlg;
}

void CDephtDlg::BuildControls() {
    resize(212, 252);
    auto* caption = MakeLabel(this, "Depth", QRect(4, 4, 60, 16));
    SetDlgItem(IDC_DEPTH_CAPTION, caption);
    m_depthMode = new QLabel(this);
    m_depthMode->setGeometry(188, 4, 16, 16);
    m_depthMode->installEventFilter(this);
    SetDlgItem(IDC_DEPTH_MODE, m_depthMode);

    SetDlgItem(IDC_DEPTH_PLACE, MakeLabel(this, "0000,00", QRect(4, 22, 170, 40), Qt::AlignRight));
    MakeLabel(this, "M", QRect(178, 40, 30, 20));
    SetDlgItem(IDC_SPEED_PLACE, MakeLabel(this, "0000,00", QRect(4, 66, 130, 28), Qt::AlignRight));
    MakeLabel(this, "m/min", QRect(138, 74, 40, 18));

    SetDlgItem(IDC_MAXSPEED_CAPTION, MakeLabel(this, "Max. Speed", QRect(4, 98, 70, 18)));
    SetDlgItem(IDC_MAXSPEED_PLACE, MakeLabel(this, "", QRect(78, 98, 60, 18)));
    SetDlgItem(IDC_MAXSPEED_UNIT, MakeLabel(this, "m/min", QRect(142, 98, 40, 18)));

    SetDlgItem(IDC_GAMMA_CAPTION, MakeLabel(this, "Gam. 0", QRect(4, 122, 50, 20)));
    SetDlgItem(IDC_GAMMA_PLACE, MakeLabel(this, "---", QRect(58, 120, 80, 24)));
    SetDlgItem(IDC_GAMMA_UNIT, MakeLabel(this, "CPS", QRect(142, 122, 30, 20)));
    m_gammaMaxCombo = new QComboBox(this);
    m_gammaMaxCombo->setGeometry(58, 120, 80, 24);
    m_gammaMaxCombo->hide();
    SetDlgItem(IDC_GAMMA_MAX_COMBO, m_gammaMaxCombo);

    m_bar = new QProgressBar(this);
    m_bar->setGeometry(4, 148, 150, 14);
    m_bar->setTextVisible(false);
    SetDlgItem(IDC_GAMMA_BAR, m_bar);
    SetDlgItem(IDC_GAMMA_AUTOMAX, MakeLabel(this, "20000", QRect(158, 146, 50, 18), Qt::AlignRight));
    auto* gammaMax = new QPushButton("20000", this);
    gammaMax->setGeometry(158, 145, 50, 20);
    SetDlgItem(IDC_GAMMA_MAX_BUTTON, gammaMax);

    m_scale = new QComboBox(this);
    m_scale->setGeometry(4, 172, 98, 24);
    SetDlgItem(IDC_SCALE, m_scale);
    m_palette = new QComboBox(this);
    m_palette->setGeometry(106, 172, 102, 24);
    SetDlgItem(IDC_PALETTE, m_palette);

    auto* setDepth = new QPushButton("Set depth", this);
    setDepth->setGeometry(4, 200, 66, 24);
    SetDlgItem(IDC_SET_DEPTH, setDepth);
    auto* recMode = new QPushButton("Mode", this);
    recMode->setGeometry(73, 200, 66, 24);
    SetDlgItem(IDC_RECORDING_MODE, recMode);
    auto* magnifier = new QPushButton("Magnifier", this);
    magnifier->setGeometry(142, 200, 66, 24);
    SetDlgItem(IDC_MAGNIFIER, magnifier);

    m_serial = new CColorStaticST("-", this);
    m_serial->setGeometry(4, 228, 204, 20);
    m_serial->setAlignment(Qt::AlignCenter);
    SetDlgItem(IDC_SERIAL, m_serial);

    MapCommand(IDC_SET_DEPTH, [this] { OnBnClickedSetDepth(); });
    MapCommand(IDC_RECORDING_MODE, [this] { OnBnClickedRecordingMode(); });
    MapCommand(IDC_MAGNIFIER, [this] { OnBnClickedMagnifier(); });
    MapCommand(IDC_GAMMA_MAX_BUTTON, [this] { OnBnClickedGammaMax(); });
    MapCommand(ID_SONDE_CHANGED, [this] { OnUpdateSerialNumber(); });
    // User selections only, as the selection-change notification comes.
    ConnectControl(m_scale, &QComboBox::activated, [this] { OnCbnSelchangeScale(); });
    ConnectControl(m_palette, &QComboBox::activated, [this] { OnCbnSelchangeColorMode(); });
    ConnectControl(m_gammaMaxCombo, &QComboBox::activated, [this] { OnCbnSelchangeGammaMax(); });
}

BOOL CDephtDlg::OnInitDialog() {
    CDialogExt::OnInitDialog();
    SetToolTips();
    if (m_hooks.createMagnifier) m_hooks.createMagnifier();

    const QColor barBack = zns::ui::FromColorRef(kGammaBarBack);
    m_bar->setStyleSheet(QStringLiteral("QProgressBar { background-color: %1; border: 1px solid gray; }"
                                        "QProgressBar::chunk { background-color: palette(highlight); }")
                             .arg(barBack.name()));
    SetBarRange(25000);
    RefreshGammaConfig();

    struct Place {
        CGraphicCounterCtrl** counter;
        int placeId;
    };
    const Place places[] = {{&m_counterDepth, IDC_DEPTH_PLACE},
                            {&m_counterSpeed, IDC_SPEED_PLACE},
                            {&m_counterGamma, IDC_GAMMA_PLACE},
                            {&m_counterMaxSpeed, IDC_MAXSPEED_PLACE}};
    for (const Place& pl : places) {
        auto* c = new CGraphicCounterCtrl(this);
        c->Create(0, GetDlgItem(pl.placeId)->geometry(), this, 0);
        c->raise();
        c->SetBackColor(kCounterBack);
        c->SetTextColor(kLiveText);
        c->SetFontScale(3);
        c->StartRefresh();
        *pl.counter = c;
    }
    m_counterSpeed->SetTextColor2(0x00FFFF);
    m_counterSpeed->SetTextColor3(0x0000FF);

    for (const auto& item : zns::kScaleItems) m_scale->addItem(item.text, item.data);
    SelectScaleItem();
    for (const char* name : zns::kPaletteItems) m_palette->addItem(name);
    const SessionState session = m_shared.SnapshotSession();
    if (session.BlackAndWhite >= 0 && session.BlackAndWhite < m_palette->count())
        m_palette->setCurrentIndex(session.BlackAndWhite);
    else
        m_palette->setCurrentIndex(-1);

    m_ToolTip.AddTool("Set current depht.", IDC_SET_DEPTH);
    m_ToolTip.AddTool("Select black and white or colorized mode.", IDC_PALETTE);
    m_ToolTip.AddTool("To change display scale.", IDC_SCALE);

    for (const auto& item : zns::kGammaMaxItems) m_gammaMaxCombo->addItem(item.text, item.data);
    m_gammaMaxCombo->setCurrentIndex(0);
    const int gm = zns::GammaMaxItemIndex(m_shared.SnapshotSettings().GammaMax);
    if (gm >= 0) m_gammaMaxCombo->setCurrentIndex(gm);

    m_iconRaw = LetterIcon("R", QColor(255, 255, 160));
    m_iconCorrected = LetterIcon("C", QColor(160, 255, 160));
    ShowDepthIcon(IDI_RAW_DEPTH);

    // A serial number that blinks must be seen to blink.
    m_serial->SetBlinkTextColors(0x000000, 0xFFFFFF);
    m_serial->SetBlinkBkColors(kSerialBackLive, 0x0000FF);
    OnUpdateSerialNumber();

    SetTimer(kPanelTimerId, kPanelTimerMs);
    return TRUE;
}

void CDephtDlg::SetToolTips() {
    SetDlgItemText(IDC_DEPTH_CAPTION, "Depth");
    m_ToolTip.Create(this);
    m_ToolTip.AddTool("Set logging depht.", IDC_SET_DEPTH);
    m_ToolTip.AddTool("Set display mode logging.", IDC_RECORDING_MODE);
    m_ToolTip.AddTool("Depht Magifier", IDC_MAGNIFIER);
    m_ToolTip.AddTool("Set maximun gamma CPS.", IDC_GAMMA_AUTOMAX);
}

void CDephtDlg::RefreshGammaConfig() {
    const AcquisitionSettings s = m_shared.SnapshotSettings();
    zns::GammaConfig cfg;
    cfg.viewMode = s.GammaViewMode;
    cfg.average = s.GammaIsAverage != 0;
    cfg.filter = s.GammaFilter;
    m_gamma.SetConfig(cfg);
}

void CDephtDlg::SetBarRange(int maximum) {
    m_barMaximum = std::max(maximum, 1);
    m_bar->setRange(0, m_barMaximum);
}

void CDephtDlg::SetBar(int position) {
    // The bar stops at its ends (an out-of-range value is not ignored).
    m_bar->setValue(std::clamp(position, 0, m_barMaximum));
}

void CDephtDlg::ShowGammaCounter(bool show) {
    if (m_counterGamma) m_counterGamma->setVisible(show);
}

void CDephtDlg::ShowDepthIcon(int iconId) {
    m_depthIcon = iconId;
    const QIcon& icon = iconId == IDI_CORRECTED_DEPTH ? m_iconCorrected : m_iconRaw;
    m_depthMode->setPixmap(icon.pixmap(16, 16));
}

std::string CDephtDlg::ConfigFilePath() const {
    if (m_prefs) return m_prefs->ConfigPath();
    return zns::JoinPath(zns::ProgramDir(), CPreferences::kConfigFile);
}

double CDephtDlg::MaxLoggingSpeed() const {
    // Without the main window's computation there is no limit to colour against.
    return m_hooks.maxLoggingSpeed ? m_hooks.maxLoggingSpeed() : std::nan("");
}

// ---------------------------------------------------------------------------
// Gamma

void CDephtDlg::PutGammaCount(uint16_t count, double coef) { m_gamma.PutGammaCount(count, coef); }

void CDephtDlg::PutGammaOnScreen() {
    if (!m_counterGamma) return;  // not initialised yet
    const SessionState session = m_shared.SnapshotSession();
    m_counterGamma->SetTextColor(session.ReplayLoaded ? kReplayText : kLiveText);
    const bool textAllowed = session.ReplayLoaded || m_shared.m_nLinkState.load() >= LINK_STATUS;
    const zns::GammaMeter::Screen screen = m_gamma.PutGammaOnScreen(textAllowed);
    SetBar(screen.bar);
    m_counterGamma->WriteCounterDataCString(screen.text.c_str());
}

void CDephtDlg::ResetGamma() {
    m_gamma.Reset();
    zns::ui::RunOnGui(this, [this] {
        PutGammaOnScreen();
        m_counterGamma->WriteCounterDataCString("");
    });
}

// ---------------------------------------------------------------------------
// Depth and speed

void CDephtDlg::PutDataOnScreen() {
    if (!m_counterDepth) return;  // not initialised yet
    try {
        const LiveValues live = m_shared.SnapshotLive();
        const SessionState session = m_shared.SnapshotSession();
        const int link = m_shared.m_nLinkState.load();
        if (link < LINK_ANSWER) {
            if (session.ReplayLoaded && (session.Running || session.Paused)) {
                m_counterDepth->SetTextColor(kReplayText);
                m_counterSpeed->SetTextColor(kReplayText);
                m_counterDepth->WriteCounterDataDouble(live.Depth, kDepthFormat);
                if (live.Speed == 0.0)
                    m_counterSpeed->WriteCounterDataCString("");
                else
                    m_counterSpeed->WriteCounterDataDouble(live.Speed, kDepthFormat);
            } else {
                m_counterDepth->WriteCounterDataCString("");
                m_counterSpeed->WriteCounterDataCString("");
            }
        } else {
            m_counterDepth->SetTextColor(kLiveText);
            const int mode = m_shared.SnapshotSonde().Mode & 0x0F;
            const zns::SpeedLook look = zns::SpeedLookFor(live.Speed, MaxLoggingSpeed(), mode);
            m_counterSpeed->SetTextColor(look.color);
            if (look.blink) {
                if (!m_speedBlinking) {
                    m_counterSpeed->StartBlink(2);
                    m_speedBlinking = true;
                }
            } else {
                m_counterSpeed->StopBlink();
                m_speedBlinking = false;
            }
            double depth = live.Depth;
            if (!m_rawDepth->load()) {
                std::lock_guard<std::mutex> g(m_shared.acqMutex);
                depth -= m_settings.sondeDb.SondeLength / 100.0;
            }
            m_counterDepth->WriteCounterDataDouble(depth, kDepthFormat);
            m_counterSpeed->WriteCounterDataDouble(live.Speed, kDepthFormat);
        }
        if (m_hooks.magnifierVisible && m_hooks.magnifierVisible() && m_hooks.updateMagnifier)
            m_hooks.updateMagnifier();
    } catch (const std::exception&) {
        TraceException("CDephtDlg::PutDataOnScreen", "DephtDlg", 401);
    }
}

// ---------------------------------------------------------------------------
// Serial number

void CDephtDlg::OnUpdateSerialNumber() {
    const SessionState session = m_shared.SnapshotSession();
    if (session.ReplayLoaded) {
        m_serial->SetBkColor(kSerialBackReplay);
        const int serial = m_header ? m_header->SerialNumber : 0;
        m_serial->setText(zns::ui::ToQ(zns::SerialNumberText(serial)));
        m_serial->StartTextBlink(0, 1);
        m_serial->StartBkBlink(0, 1);
        return;
    }
    int serial;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        serial = m_settings.sondeDb.SerialNumber;
    }
    m_serial->setText(zns::ui::ToQ(zns::SerialNumberText(serial)));
    if (serial >= 1) {
        m_serial->StartTextBlink(0, 1);
        m_serial->StartBkBlink(0, 1);
    } else if (!m_serial->IsTextBlinking()) {
        m_serial->StartTextBlink(1, 1);
        m_serial->StartBkBlink(1, 1);
    }
    m_serial->SetBkColor(kSerialBackLive);
}

// ---------------------------------------------------------------------------
// Panel timer

void CDephtDlg::OnTimer(unsigned id) {
    if (id != kPanelTimerId) return;
    KillTimer(kPanelTimerId);
    RefreshGammaConfig();

    const AcquisitionSettings s = m_shared.SnapshotSettings();
    const SessionState session = m_shared.SnapshotSession();
    const int link = m_shared.m_nLinkState.load();
    const bool powered = m_shared.m_bSondePowered.load();

    // 1. Set-depth button and the highest logging speed. An idle logger streams status
    // frames, so "connected and idle" is any answering link with the sonde off and
    // nothing recording or playing, not only the moment after a configuration answer.
    const bool busy = powered || session.SondeReported || session.Recording || session.StartingRecord ||
                      session.Running || session.Paused;
    if (link >= LINK_ANSWER && !busy) {
        EnableDlgItem(IDC_SET_DEPTH, TRUE);
    } else {
        EnableDlgItem(IDC_SET_DEPTH, FALSE);
        const double limit = MaxLoggingSpeed();
        if ((s.ZNSModus_Rx1 || s.ZNSModus_Rx2 || s.ZNSModus_Rx3) && std::isfinite(limit))
            m_counterMaxSpeed->WriteCounterDataDouble(limit, "%5.2f");
        else
            m_counterMaxSpeed->WriteCounterDataCString("-");
    }
    // 2. The highest speed only matters while logging by depth with the sonde on.
    const bool showMax = powered && s.RecordingMode != RECMODE_TIME;
    m_counterMaxSpeed->setVisible(showMax);
    ShowDlgItem(IDC_MAXSPEED_CAPTION, showMax ? SW_SHOW : SW_HIDE);
    ShowDlgItem(IDC_MAXSPEED_UNIT, showMax ? SW_SHOW : SW_HIDE);
    // 3. Recording mode.
    EnableDlgItem(IDC_RECORDING_MODE, link >= LINK_ANSWER && powered && !session.Recording);
    // 4. Depth-mode icon.
    ShowDepthIcon(session.ReplayLoaded || m_rawDepth->load() ? IDI_RAW_DEPTH : IDI_CORRECTED_DEPTH);
    // 5.
    PutDataOnScreen();
    // 6. Serial number of a replayed log, and again once the replay is over.
    if (session.ReplayLoaded) {
        m_snAfterTicks = 0;
        if (m_snReplayTicks < 2) {
            ++m_snReplayTicks;
            OnUpdateSerialNumber();
        }
    } else if (m_snReplayTicks > 0) {
        ++m_snAfterTicks;
        OnUpdateSerialNumber();
        if (m_snAfterTicks >= 2) {
            m_snReplayTicks = 0;
            m_snAfterTicks = 0;
        }
    }
    // 7.
    m_gamma.Tick();
    // 8. Gamma controls.
    bool hasGamma;
    if (session.ReplayLoaded) {
        hasGamma = m_header && m_header->Natural_Gamma;
    } else {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        hasGamma = m_settings.sondeDb.NaturalGamma != 0;
    }
    auto show = [this](int id, bool on) { ShowDlgItem(id, on ? SW_SHOW : SW_HIDE); };
    const bool comboShown = m_gammaMaxCombo->isVisibleTo(this);
    if (!hasGamma) {
        for (int id : {IDC_GAMMA_BAR, IDC_GAMMA_CAPTION, IDC_GAMMA_MAX_BUTTON, IDC_MAXSPEED_PLACE, IDC_GAMMA_UNIT,
                       IDC_GAMMA_AUTOMAX})
            show(id, false);
        ShowGammaCounter(false);
    } else if (s.GammaViewMode == 0) {
        for (int id : {IDC_GAMMA_BAR, IDC_GAMMA_CAPTION, IDC_GAMMA_MAX_BUTTON, IDC_MAXSPEED_PLACE, IDC_GAMMA_AUTOMAX})
            show(id, false);
        ShowGammaCounter(false);
    } else if (s.GammaViewMode == 1) {
        show(IDC_GAMMA_AUTOMAX, false);
        show(IDC_GAMMA_BAR, true);
        show(IDC_GAMMA_CAPTION, true);
        show(IDC_GAMMA_MAX_BUTTON, true);
        show(IDC_MAXSPEED_PLACE, !comboShown);
        ShowGammaCounter(!comboShown);
        show(IDC_GAMMA_UNIT, !comboShown);
        SetBarRange(s.GammaMax);
        SetDlgItemText(IDC_GAMMA_MAX_BUTTON, zns::Format("%d", s.GammaMax));
        PutGammaOnScreen();
    } else if (s.GammaViewMode == 2) {
        show(IDC_GAMMA_MAX_BUTTON, false);
        for (int id : {IDC_GAMMA_AUTOMAX, IDC_GAMMA_BAR, IDC_GAMMA_CAPTION, IDC_MAXSPEED_PLACE, IDC_GAMMA_UNIT})
            show(id, true);
        ShowGammaCounter(true);
        SetBarRange(m_gamma.Maximum());
        m_gamma.ResetIfIdle();
        SetDlgItemInteger(IDC_GAMMA_AUTOMAX, m_gamma.Maximum(), -1, -1);
        PutGammaOnScreen();
    }

    SetTimer(kPanelTimerId, kPanelTimerMs);
}

void CDephtDlg::OnClose() { KillTimer(kPanelTimerId); }

// ---------------------------------------------------------------------------
// Choices

void CDephtDlg::SelectScaleItem() {
    const int vscale = m_shared.SnapshotSettings().VScale;
    m_scale->setCurrentIndex(zns::ScaleItemIndex(vscale));
}

void CDephtDlg::OnCbnSelchangeScale() {
    const int index = m_scale->currentIndex();
    if (index < 0) return;
    const int vscale = m_scale->itemData(index).toInt();
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.VScale = vscale;
    }
    if (!m_shared.SnapshotSession().ReplayLoaded) {
        CIni ini(ConfigFilePath());
        ini.WriteInt("VScale", vscale, CPreferences::kSection);
    } else {
        const std::string header = zns::FixedFieldText(m_settings.files.szLastFile);
        if (!header.empty()) {
            CIni ini(header);
            ini.WriteInt("Scale", vscale, "General");
        }
    }
    if (m_hooks.resetAcquisition) m_hooks.resetAcquisition(false);
}

void CDephtDlg::OnCbnSelchangeColorMode() {
    const int index = m_palette->currentIndex();
    if (index < 0) return;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.session.BlackAndWhite = index;
    }
    std::string path = zns::FixedFieldText(m_settings.files.szConfigPath);
    if (path.empty()) path = ConfigFilePath();
    CIni ini(path);
    ini.WriteInt("BlackAndWhite", index, CPreferences::kSection);
}

void CDephtDlg::OnBnClickedGammaMax() {
    const int gm = zns::GammaMaxItemIndex(m_shared.SnapshotSettings().GammaMax);
    m_gammaMaxCombo->setCurrentIndex(gm);
    ShowDlgItem(IDC_MAXSPEED_PLACE, SW_HIDE);
    ShowDlgItem(IDC_GAMMA_MAX_BUTTON, SW_HIDE);
    ShowGammaCounter(false);
    ShowDlgItem(IDC_GAMMA_UNIT, SW_HIDE);
    m_gammaMaxCombo->show();
}

void CDephtDlg::OnCbnSelchangeGammaMax() {
    const int index = m_gammaMaxCombo->currentIndex();
    if (index >= 0) {
        const auto value = static_cast<uint16_t>(m_gammaMaxCombo->itemData(index).toInt());
        {
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            m_shared.settings.GammaMax = value;
        }
        if (m_prefs) m_prefs->SaveConfig();
    }
    ShowDlgItem(IDC_MAXSPEED_PLACE, SW_SHOW);
    ShowGammaCounter(true);
    ShowDlgItem(IDC_GAMMA_UNIT, SW_SHOW);
    m_gammaMaxCombo->hide();
    if (m_hooks.sendToMainWindow) m_hooks.sendToMainWindow(ID_REFRESH_PROBE_PAGE);
}

void CDephtDlg::OnStnDblclkDepthMode() {
    if (m_shared.SnapshotSession().ReplayLoaded) return;
    const bool raw = !m_rawDepth->load();
    m_rawDepth->store(raw);
    ShowDepthIcon(raw ? IDI_RAW_DEPTH : IDI_CORRECTED_DEPTH);
}

void CDephtDlg::OnBnClickedSetDepth() {
    if (m_hooks.runDepthReset) m_hooks.runDepthReset();
}

void CDephtDlg::OnBnClickedRecordingMode() {
    m_displayModeDlg->store(true);
    if (m_hooks.runRecordingMode) m_hooks.runRecordingMode();
    m_displayModeDlg->store(false);
    m_shared.g_dLastDepth.store(m_shared.SnapshotLogger().LiveDepth);
}

void CDephtDlg::OnBnClickedMagnifier() {
    if (m_hooks.showMagnifier) m_hooks.showMagnifier();
}

bool CDephtDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_depthMode && event->type() == QEvent::MouseButtonDblClick) {
        OnStnDblclkDepthMode();
        return true;
    }
    return CDialogExt::eventFilter(watched, event);
}
