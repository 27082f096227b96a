#include "app/BrannicZenova_Dlg.h"

#include <QAbstractPrintDialog>
#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QWindowStateChangeEvent>
#include <QComboBox>
#include <algorithm>
#include <array>
#include <clocale>
#include <exception>

#include "app/AboutDlg.h"
#include "app/AppIcons.h"
#include "ui/AppTexts.h"
#include "app/BrannicLogger_ZN.h"
#include "app/OsName.h"
#include "ui/WindowHandles.h"
#include "link/USB.h"
#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "platform/ui/GuiThread.h"
#include "platform/ui/UiService.h"
#include "ui/controls/DrawerZNSCtrl.h"
#include "ui/controls/WaveCtrl.h"
#include "ui/dialogs/AlarmDlg.h"
#include "ui/dialogs/BigDepth.h"
#include "ui/dialogs/DephtDlg.h"
#include "ui/dialogs/FirstArrivalCursorDlg.h"
#include "ui/dialogs/LasExport.h"
#include "ui/dialogs/PAcquisitionDlg.h"
#include "ui/dialogs/PRecordingMode.h"
#include "ui/dialogs/PSetDepthDlg.h"
#include "ui/dialogs/PWideDlg.h"
#include "ui/dialogs/PowerDlg.h"
#include "ui/dialogs/PropertyLoggerDlg.h"
#include "ui/dialogs/Seg2ExportUi.h"

namespace {

// Size of the window's client area below the menu bar, as the template gives it.
constexpr int kTemplateWidth = 1000;
constexpr int kTemplateHeight = 700;
// The panels' column starts half-way across; above the trace image the band
// holds the logo on the left and the panels on the right.
constexpr int kPanelBandHeight = 300;
constexpr int kProgressHeight = 14;

constexpr unsigned kWsChild = 0x40000000;
constexpr unsigned kWsVisible = 0x10000000;

// Commands whose windows the program does not have: shown greyed. Every
// entry of the menu has its window.
constexpr std::array<unsigned, 0> kPendingCommands{};

constexpr const char* kRxCaption[3] = {"Rx1", "Rx2", "Rx3"};
constexpr const char* kRxShortName[3] = {"Near", "Midle", "Far"};
constexpr std::atomic<CWndBase*>* kWideHandles[3] = {&g_hWndWideRx1, &g_hWndWideRx2, &g_hWndWideRx3};

bool IsNoPrinter(const std::string& name) {
    if (name.empty()) return true;
    if (name.size() != 4) return false;
    static const char none[] = "none";
    for (size_t i = 0; i < 4; ++i)
        if ((name[i] | 0x20) != none[i]) return false;
    return true;
}

unsigned BoxIcon(LinkBoxIcon icon) {
    switch (icon) {
        case LinkBoxIcon::Information: return MB_ICONINFORMATION;
        case LinkBoxIcon::Warning: return MB_ICONEXCLAMATION;
        case LinkBoxIcon::Error: return MB_ICONSTOP;
    }
    return MB_ICONINFORMATION;
}

// Windows running their own modal loop, whose wheel is theirs.
bool IsSystemDialog(const QWidget* w) {
    for (; w; w = w->parentWidget()) {
        if (qobject_cast<const QMessageBox*>(w) || qobject_cast<const QFileDialog*>(w) ||
            qobject_cast<const QAbstractPrintDialog*>(w))
            return true;
    }
    return false;
}

PreferencesHooks MakePreferencesHooks() {
    PreferencesHooks hooks;
    hooks.messageBox = [](const std::string& text) { zns::ui::AfxMessageBox(text, MB_OK); };
    return hooks;
}

HeaderHooks MakeHeaderHooks(std::function<void()> beforeBox) {
    HeaderHooks hooks;
    hooks.showError = [beforeBox](const std::string& text) {
        beforeBox();
        zns::ui::AfxMessageBox(text, MB_OK | MB_ICONSTOP);
    };
    return hooks;
}

}  // namespace

CBrannicZenova_Dlg::CBrannicZenova_Dlg(CBrannicLogger_ZNApp& app, QWidget* parent)
    : CResizableDialog(IDD, parent),
      m_app(app),
      m_shared(app.Shared()),
      m_data(app.Settings()),
      m_preferences(app.Shared(), app.Settings(), MakePreferencesHooks()),
      m_usb(std::make_unique<CUSB>(app.Shared(), app.Stream(), *this, &app.Settings())),
      m_header(app.Header(), app.Shared(), app.Settings(), MakeHeaderHooks([this] { RestoreLogPaths(); }), MakePreferencesHooks()),
      m_menu(std::make_unique<CMenu>()) {
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);  // the layout's grip and the status bar's stand in

    // The template's menu.
    LoadMenu129();
    SetMenu(m_menu.get());
    const int menuHeight = m_menu->GetMenuBar()->sizeHint().height();
    resize(kTemplateWidth, kTemplateHeight + menuHeight);

    // The template's controls.
    m_drawerPlace = new QFrame(this);
    m_drawerPlace->setFrameShape(QFrame::NoFrame);
    m_drawerPlace->setGeometry(TemplateRect(IDC_DRAWER_PLACE));
    SetDlgItem(IDC_DRAWER_PLACE, m_drawerPlace);

    m_progress = new QProgressBar(this);
    m_progress->setTextVisible(false);
    m_progress->setGeometry(TemplateRect(IDC_PROGRESS));
    SetDlgItem(IDC_PROGRESS, m_progress);
}

CBrannicZenova_Dlg::~CBrannicZenova_Dlg() {
    // Workers report here: none may run once the members start to go.
    StopWorkers();
    qApp->removeEventFilter(this);
    KillTimer(ID_TIMER_STATUS);
    // The scopes' cursor dialog saves through the preferences, which go with this window.
    CWaveCtrl::SetCursorDialog({});
    CWaveCtrl::SetMainWindowMinimizedQuery({});
    m_drawerLive = nullptr;
    if (g_hWndSetup.load() == m_setup.get()) g_hWndSetup = nullptr;
    if (g_hWndMain.load() == this) g_hWndMain = nullptr;
    if (g_hWndPower.load() == m_power.get()) g_hWndPower = nullptr;
    if (g_hWndDepth.load() == m_depth.get()) g_hWndDepth = nullptr;
    for (int rx = 0; rx < 3; ++rx)
        if (kWideHandles[rx]->load() == m_wide[rx].get()) *kWideHandles[rx] = nullptr;
    if (m_app.m_pMainDlg == this) m_app.m_pMainDlg = nullptr;
    SetMenu(nullptr);
}

bool CBrannicZenova_Dlg::IsCommandPending(unsigned id) {
    for (unsigned pending : kPendingCommands)
        if (pending == id) return true;
    return false;
}

bool CBrannicZenova_Dlg::SendLoggerCommand(int code) {
    if (!m_usb) return false;
    switch (code) {
        case 0: return m_usb->sendF0();
        case 1: return m_usb->sendF1();
        case 2: return m_usb->sendF2();
        case 3: return m_usb->sendF3();
        case 8: return m_usb->sendF8();
        case 9: return m_usb->sendF9();
        case 10: return m_usb->sendF10();
        default: return false;
    }
}

QRect CBrannicZenova_Dlg::TemplateRect(int id) const {
    const int top = GetClientRect().top();
    const int statusHeight = CStatusBarCtrl().sizeHint().height();
    const int bottom = top + kTemplateHeight;
    switch (id) {
        case IDC_DRAWER_PLACE:
            return QRect(0, top + kPanelBandHeight, kTemplateWidth, kTemplateHeight - kPanelBandHeight - statusHeight);
        case IDC_STATUSBAR: return QRect(0, bottom - statusHeight, kTemplateWidth, statusHeight);
        case IDC_PROGRESS:
            return QRect(0, bottom - statusHeight - kProgressHeight, kTemplateWidth, kProgressHeight);
        default: return {};
    }
}

void CBrannicZenova_Dlg::LoadMenu129() {
    CMenu& m = *m_menu;
    m.DestroyMenu();
    QMenu* file = m.AddPopup("&File");
    // Print entries greyed by a print system that did not answer at start: asked again.
    ConnectControl(file, &QMenu::aboutToShow, [this] {
        if (m_printerSilent && !m_printerLookupPending) SetupPrinter();
    });
    m.AppendMenu(file, ID_FILE_OPEN, "&Open");
    m.AppendMenu(file, ID_FILE_NEW, "&New log.");
    m.AppendSeparator(file);
    m.AppendMenu(file, ID_FILE_PRINT, "&Print");
    m.AppendMenu(file, ID_AUTO_PRINT, "&Auto Print");
    m.AppendMenu(file, ID_SET_PRINTER, "&Set Printer");
    m.AppendSeparator(file);
    m.AppendMenu(file, ID_APP_EXIT, "&Exit");
    QMenu* exportTo = m.AddPopup("E&xport to");
    m.AppendMenu(exportTo, ID_EXPORT_SEG2, "SEG-2");
    m.AppendMenu(exportTo, ID_EXPORT_LAS, "LAS 20 (Gamma)");
    QMenu* tools = m.AddPopup("&Tools");
    m.AppendMenu(tools, ID_TOOLS_COMMUNICATION, "&Communication");
    m.AppendMenu(tools, ID_WIDE_RX1, "Extended scope Rx&1");
    m.AppendMenu(tools, ID_WIDE_RX2, "Extended scope RX&2");
    m.AppendMenu(tools, ID_WIDE_RX3, "Extended scope Rx3");
    // The About entry of the window's own menu.
    QMenu* help = m.AddPopup("&Help");
    m.AppendMenu(help, IDM_ABOUTBOX, kAboutMenuText);
}

void CBrannicZenova_Dlg::ApplyMenuStates() {
    for (unsigned id : kPendingCommands) m_menu->EnableMenuItem(id, MF_GRAYED);
    const bool canPrint = m_printerReady && !IsCommandPending(ID_FILE_PRINT);
    m_menu->EnableMenuItem(ID_AUTO_PRINT, canPrint && !IsCommandPending(ID_AUTO_PRINT) ? MF_ENABLED : MF_GRAYED);
    m_menu->EnableMenuItem(ID_FILE_PRINT, canPrint && !m_autoPrint ? MF_ENABLED : MF_GRAYED);
    m_menu->CheckMenuItem(ID_AUTO_PRINT, m_autoPrint ? MF_CHECKED : MF_UNCHECKED);
}

BOOL CBrannicZenova_Dlg::OnInitDialog() {
    Step("wait cursor");
    QApplication::setOverrideCursor(Qt::WaitCursor);
    CResizableDialog::OnInitDialog();

    Step("main window");
    g_hWndMain = this;
    SetWindowText(g_strProductTitle);

    Step("live values");
    {
        std::lock_guard<std::mutex> lock(m_shared.acqMutex);
        LiveValues& live = m_shared.live;
        live.Depth = 0.0;
        live.Speed = 0.0;
        live.Value1 = 0;
        live.Value2 = 0;
        for (uint8_t& f : live.Flags) f = 0;
    }

    Step("settings");
    m_preferences.StartupLoad();
    // Every scope opens the first-arrival cursor dialog for its receiver.
    CFirstArrivalCursorDlg::Install(m_shared, [this] { m_preferences.SaveConfig(); });
    CWaveCtrl::SetMainWindowMinimizedQuery([this] { return isMinimized(); });

    Step("single instance");
    if (!m_app.m_instanceChecker.PreviousInstanceRunning()) m_app.m_instanceChecker.TrackFirstInstanceRunning(this);

    m_nTimerStatus = 0;
    m_nStatusTick = kStatusTickEvery;
    m_nBlink = 0;

    Step("header reset");
    m_header.ResetWellInfo();
    m_header.ResetHeader();

    m_progress->hide();
    setWindowIcon(AppIcon(IDI_MAIN));

    Step("status bar");
    auto* statusBar = new CStatusBarCtrl(this, IDC_STATUSBAR, true);
    if (!statusBar) {
        QApplication::restoreOverrideCursor();
        return -1;
    }
    statusBar->setGeometry(TemplateRect(IDC_STATUSBAR));
    SetDlgItem(IDC_STATUSBAR, statusBar);
    m_statusBar = statusBar;
    SetStatusParts();
    statusBar->SetIcon(4, AppIcon(IDI_TX_IDLE));
    statusBar->SetIcon(5, AppIcon(IDI_RX_IDLE));
    statusBar->SetIcon(6, AppIcon(IDI_LINK_IDLE));
    statusBar->SetTipText(4, "Transmit");
    statusBar->SetTipText(5, "Receive");
    statusBar->SetTipText(6, "Link");
    statusBar->show();

    Step("logo");
    const std::string logo = zns::JoinPath(zns::FixedFieldText(m_data.files.szProgramDir), "logo.jpg");
    if (zns::FileExists(logo)) m_logo.Load(logo);

    RememberNormalRect();

    Step("child windows");
    CreateChildren();

    Step("anchors");
    if (m_power) AddAnchor(m_power.get(), TOP_CENTER, TOP_RIGHT);
    if (m_depth) AddAnchor(m_depth.get(), TOP_CENTER, TOP_RIGHT);
    AddAnchor(m_drawerPlace, TOP_LEFT, BOTTOM_RIGHT);
    AddAnchor(statusBar, BOTTOM_LEFT, BOTTOM_RIGHT);
    AddAnchor(m_progress, BOTTOM_LEFT, BOTTOM_RIGHT);

    Step("numeric locale");
    setlocale(LC_NUMERIC, "C");

    Step("menu and panels");
    UpdateMenuAndPanels();

    if (m_setup) {
        m_setup->RestorePlacement();
        m_setup->ShowWindow(SW_HIDE);
    }
    for (auto& wide : m_wide) {
        wide->ShowWide();
        wide->ShowWindow(SW_HIDE);
    }
    m_power->ShowWindow(SW_SHOW);
    m_depth->ShowWindow(SW_SHOW);

    Step("link start");
    m_shared.m_bUsbLoaded = m_usb->Init();

    Step("trace image");
    m_drawer = std::make_unique<CDrawerZNSCtrl>(m_shared, this);
    m_drawer->SetRefreshTime(m_data.g_nRefreshTime);
    m_drawer->Create(kWsChild | kWsVisible, m_drawerPlace->geometry(), this, 0);
    m_drawer->ClearImage();
    m_drawer->setCursor(Qt::ArrowCursor);
    AddAnchor(m_drawer.get(), TOP_LEFT, BOTTOM_RIGHT);
    CDrawerZNSCtrl::PrintContext print;
    print.appPrinter = &m_appPrinter;
    print.printerUsed = [this] {
        // "none" names no printer: the application's printer is used.
        return IsNoPrinter(m_data.m_strPrinterUsed) ? std::string() : m_data.m_strPrinterUsed;
    };
    print.logName = [this] { return m_app.Header().LogName; };
    print.fileName = [this] { return zns::FixedFieldText(m_data.files.szFileName); };
    m_drawer->SetPrintContext(std::move(print));
    m_drawerLive = m_drawer.get();

    m_menu->EnableMenuItem(ID_FILE_PRINT, MF_GRAYED);
    m_menu->EnableMenuItem(ID_AUTO_PRINT, MF_GRAYED);

    Step("printer");
    SetupPrinter();

    Step("status timer");
    if (m_nTimerStatus == 0) m_nTimerStatus = SetTimer(ID_TIMER_STATUS, 250);

    m_shared.m_bSondePowered = false;
    m_shared.m_bRxActivity = false;
    m_shared.m_bTxActivity = false;

    Step("placement");
    const ::WindowPlacement& stored = m_data.layout.placement[LAYOUT_MAIN];
    if (stored.IsPresent()) {
        SetWindowPlacement(stored);
    }

    qApp->installEventFilter(this);
    QApplication::restoreOverrideCursor();
    SetWindowText(std::string(g_strProductTitle) + " version" + '\xA0' + g_strVersion);
    Step("ready");
    return TRUE;
}

void CBrannicZenova_Dlg::CreatePowerPanel() {
    PowerDlgHooks hooks;
    hooks.resetAcquisition = [this](bool reload) { ResetAcquisition(reload); };
    hooks.endAutoPrint = [this] { EndAutoPrint(); };
    hooks.statusBarText = [this](int part, const std::string& text) { StatusBarText(part, text); };
    hooks.mainCommand = [this](unsigned id) { OnCommand(id); };
    hooks.postMainCommand = [this](unsigned id) { PostCommand(id); };
    hooks.sendDepthPanelCommand = [this](unsigned id) {
        if (m_depth) m_depth->SendCommand(id);
    };
    hooks.postAcquisitionPage = [this](unsigned id) { PostAcquisitionPage(id); };
    hooks.enableMenuItem = [this](unsigned id, bool enabled) {
        if (!IsCommandPending(id)) m_menu->EnableMenuItem(id, enabled ? MF_ENABLED : MF_GRAYED);
    };
    hooks.onReplayFrame = [this] { OnReplayFrame(); };
    hooks.sendCommand = [this](int code) { return (code == 0 || code == 8) && SendLoggerCommand(code); };
    m_power = std::make_unique<CPowerDlg>(m_shared, m_data, m_app.Header(), m_app.Stream(), m_app.Writer(), this,
                                          std::move(hooks), &m_app.m_bPowerDownConfirmed);
    m_power->Create();
    g_hWndPower = m_power.get();
}

void CBrannicZenova_Dlg::CreateDepthPanel() {
    m_depth = std::make_unique<CDephtDlg>(m_shared, m_data, this);
    m_depth->SetPreferences(&m_preferences);
    m_depth->SetHeader(&m_app.Header());
    m_depth->SetAppFlags(&m_app.m_bRawDepth, &m_app.m_bDisplayModeDlg);
    DephtDlgHooks depthHooks;
    depthHooks.sendToMainWindow = [this](unsigned id) {
        // A new gamma maximum is for the probe page; the rest is the window's own.
        if (id == ID_REFRESH_PROBE_PAGE) {
            if (m_setup && m_setup->ProbePage()) m_setup->ProbePage()->SendCommand(id);
            return;
        }
        SendCommand(id);
    };
    depthHooks.maxLoggingSpeed = [this] {
        double speed = 0.0;
        ComputeFramePeriod(m_shared.SnapshotSettings(), nullptr, nullptr, &speed, true);
        return speed;
    };
    depthHooks.resetAcquisition = [this](bool reload) { ResetAcquisition(reload); };
    depthHooks.runDepthReset = [this] { RunDepthReset(); };
    depthHooks.runRecordingMode = [this] { RunRecordingModeFromPanel(); };
    depthHooks.createMagnifier = [this] { CreateMagnifier(); };
    depthHooks.showMagnifier = [this] {
        if (!m_bigDepth) CreateMagnifier();
        if (m_bigDepth) m_bigDepth->ShowMagnifier();
    };
    depthHooks.magnifierVisible = [this] { return m_bigDepth && m_bigDepth->isVisible(); };
    depthHooks.updateMagnifier = [this] {
        if (m_bigDepth) m_bigDepth->RequestUpdate();
    };
    m_depth->SetHooks(std::move(depthHooks));
    m_depth->Create();
    g_hWndDepth = m_depth.get();
}

CBigDepth* CBrannicZenova_Dlg::Magnifier() const { return m_bigDepth.data(); }

void CBrannicZenova_Dlg::CreateMagnifier() {
    if (m_bigDepth || !m_depth) return;
    // The depth panel owns it (Qt parent): it goes with the panel.
    auto* big = new CBigDepth(m_shared, m_data, m_depth.get());
    BigDepthHooks hooks;
    hooks.maxLoggingSpeed = [this] {
        double speed = 0.0;
        ComputeFramePeriod(m_shared.SnapshotSettings(), nullptr, nullptr, &speed, true);
        return speed;
    };
    hooks.mainWindowRect = [this] { return m_app.m_rcMainWnd; };
    big->SetHooks(std::move(hooks));
    big->SetRawDepthFlag(&m_app.m_bRawDepth);
    big->Create();
    m_bigDepth = big;
}

void CBrannicZenova_Dlg::RunDepthReset() {
    CPSetDepthDlg dlg(m_shared, m_data, [this](int code) { return code == 2 && SendLoggerCommand(2); }, this);
    dlg.DoModal();
}

void CBrannicZenova_Dlg::RunRecordingModeFromPanel() {
    RecordingModeHooks hooks;
    hooks.resetAcquisition = [this](bool reload) { ResetAcquisition(reload); };
    hooks.sendCommand = [this](int code) { return code == 8 && SendLoggerCommand(8); };
    CPRecordingMode dlg(m_shared, m_data, m_app.m_bDisplayModeDlg, std::move(hooks), this);
    dlg.DoModal();
}

void CBrannicZenova_Dlg::CreateLoggerSetup() {
    LoggerSetupHooks hooks;
    hooks.pages.sendCommand = [this](int code) { return (code == 1 || code == 8) && SendLoggerCommand(code); };
    hooks.pages.resetAcquisition = [this](bool reload) { ResetAcquisition(reload); };
    hooks.pages.replayTimeStepMs = [this] { return m_app.Stream().ReplayTimeStepMs(); };
    hooks.pages.restoreMainWindowPos = [this] { RestoreWindowPos(false); };
    hooks.pages.mainWindowRect = [this] { return m_app.m_rcMainWnd; };

    hooks.probe.sendCommand = [this](int code) { return (code == 1 || code == 8) && SendLoggerCommand(code); };
    hooks.probe.saveConfig = [this] { m_preferences.SaveConfig(); };
    hooks.probe.sondeChangedToDepthPanel = [this] {
        if (m_depth) m_depth->SendCommand(ID_SONDE_CHANGED);
    };
    hooks.probe.updateWideViews = [this] { OnUpdateReceiverCaptions(); };
    hooks.probe.hideScope = [this](int scopeId) { HideScope(scopeId); };
    hooks.probe.buildPalettes = [this] {
        if (m_drawer) m_drawer->BuildPalettes();
    };

    hooks.comm.sendCommand = [this](int code) {
        return (code == 3 || code == 8 || code == 10) && SendLoggerCommand(code);
    };
    hooks.comm.saveConfig = [this] { m_preferences.SaveConfig(); };
    hooks.comm.pumpMessages = [] { PumpMessages(); };

    m_setup = std::make_unique<CPropertyLoggerDlg>(m_preferences, m_app.Header(), std::move(hooks), this);
    m_setup->Create();
    g_hWndSetup = m_setup.get();
}

void CBrannicZenova_Dlg::PostAcquisitionPage(unsigned id) {
    if (m_setup && m_setup->AcquisitionPage()) m_setup->AcquisitionPage()->PostCommand(id);
}

void CBrannicZenova_Dlg::CreateChildren() {
    const QRect client = GetClientRect();
    const int top = client.top();

    // The power panel first, then the depth panel, side by side at the right
    // of the band above the trace image; then the "Logger Setup" dialog.
    CreatePowerPanel();
    CreateDepthPanel();
    CreateLoggerSetup();

    const int depthWidth = m_depth->width();
    const int powerLeft = client.left() + std::max(kTemplateWidth / 3, kTemplateWidth - m_power->width() - depthWidth - 8);
    m_power->move(powerLeft, top + 4);
    m_depth->setGeometry(powerLeft + m_power->width() + 4, top, depthWidth, m_depth->height());
    const int bandBottom = top + std::max(m_power->height() + 4, m_depth->height());

    m_alert = std::make_unique<CAlertDlg>(this);
    m_alert->Create();
    m_alert->ShowWindow(SW_HIDE);

    for (int rx = 0; rx < 3; ++rx) {
        auto wide = std::make_unique<CPWideDlg>(m_shared, m_data, this);
        wide->SetPreferences(&m_preferences);
        wide->SetHeader(&m_app.Header());
        PWideDlgHooks hooks;
        hooks.sendF9 = [this] { m_usb->sendF9(); };
        hooks.saveConfig = [this] { m_preferences.SaveConfig(); };
        hooks.restoreMainWindowPos = [this] { RestoreWindowPos(false); };
        hooks.mainWindowRect = [this] { return m_app.m_rcMainWnd; };
        wide->SetHooks(std::move(hooks));
        wide->Create();
        wide->SetReceiver(RX1_ID + rx);
        *kWideHandles[rx] = wide.get();
        wide->UpdateView(std::string(kRxCaption[rx]) + " " + kRxShortName[rx]);
        m_wide[rx] = std::move(wide);
    }

    // The trace image takes everything below the band of the panels.
    const QRect place = TemplateRect(IDC_DRAWER_PLACE);
    const int drawerTop = std::max(place.top(), bandBottom);
    m_drawerPlace->setGeometry(place.left(), drawerTop, place.width(), place.bottom() + 1 - drawerTop);
}

CPWideDlg* CBrannicZenova_Dlg::WideView(int receiverId) const {
    if (receiverId < RX1_ID || receiverId > RX3_ID) return nullptr;
    return m_wide[receiverId - RX1_ID].get();
}

std::string CBrannicZenova_Dlg::ReceiverName(int rx) const {
    if (m_shared.SnapshotSession().ReplayLoaded) {
        const HeaderRecord& h = m_app.Header();
        return rx == 0 ? h.Rx1_Name : rx == 1 ? h.Rx2_Name : h.Rx3_Name;
    }
    return m_data.sondeDb.RxName[rx];
}

void CBrannicZenova_Dlg::SetStatusParts() {
    CStatusBarCtrl* sb = m_statusBar.data();
    if (!sb) return;
    const int w = sb->width();
    const int edges[kStatusParts] = {w - 470, w - 310, w - 150, w - 75, w - 55, w - 35, w - 15, 0};
    sb->SetParts(kStatusParts, edges);
}

void CBrannicZenova_Dlg::RememberNormalRect() {
    QRect r = normalGeometry();
    if (!r.isValid()) r = geometry();
    m_app.m_rcMainWnd = r;
    if (QScreen* s = screen()) m_app.m_ptMaxTrack = s->availableGeometry().size();
}

void CBrannicZenova_Dlg::OnSize(unsigned type, int cx, int cy) {
    CResizableDialog::OnSize(type, cx, cy);
    RememberNormalRect();
    SetStatusParts();
}

void CBrannicZenova_Dlg::moveEvent(QMoveEvent* e) {
    CResizableDialog::moveEvent(e);
    RememberNormalRect();
}

void CBrannicZenova_Dlg::changeEvent(QEvent* e) {
    CResizableDialog::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange) RememberNormalRect();
}

QRect CBrannicZenova_Dlg::LogoRect() const {
    if (!m_logo.HasPicture() || !m_drawerPlace) return {};
    const QRect client = GetClientRect();
    const int panels = m_power ? m_power->geometry().left() : client.width() / 2;
    const QRect area(client.left() + 8, client.top() + 8, panels - client.left() - 16,
                     m_drawerPlace->geometry().top() - client.top() - 16);
    if (area.width() < 16 || area.height() < 16) return {};
    const QSize fit = m_logo.Image().size().scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.left() + (area.width() - fit.width()) / 2, area.top() + (area.height() - fit.height()) / 2,
                 fit.width(), fit.height());
}

void CBrannicZenova_Dlg::paintEvent(QPaintEvent* e) {
    if (isMinimized()) return;
    if (m_power) m_power->StartRefreshTimer();
    CResizableDialog::paintEvent(e);
    const QRect logo = LogoRect();
    if (!logo.isEmpty()) {
        QPainter p(this);
        m_logo.Show(&p, logo);
    }
}

void CBrannicZenova_Dlg::OnTimer(unsigned id) {
    if (id != ID_TIMER_STATUS) return;
    KillTimer(ID_TIMER_STATUS);
    CStatusBarCtrl* sb = m_statusBar.data();
    if (sb) {
        int linkIcon = IDI_LINK_IDLE;
        if (m_shared.m_bSondePowered) {
            if (m_shared.m_nLinkState < 64) {
                linkIcon = m_nBlink == 0 ? IDI_LINK_IDLE : IDI_LINK_ACTIVE;
                m_nBlink = m_nBlink == 0 ? 1 : 0;
            } else {
                linkIcon = IDI_LINK_ACTIVE;
            }
        }
        sb->SetIcon(6, AppIcon(linkIcon));
        sb->SetIcon(4, AppIcon(m_shared.m_bTxActivity.exchange(false) ? IDI_TX_ACTIVE : IDI_TX_IDLE));
        sb->SetIcon(5, AppIcon(m_shared.m_bRxActivity.exchange(false) ? IDI_RX_ACTIVE : IDI_RX_IDLE));
    }
    // The link watch may reset the count at any time: one atomic step.
    int tick = m_nStatusTick.load();
    for (;;) {
        const int next = tick < kStatusTickEvery ? tick + 1 : 0;
        if (m_nStatusTick.compare_exchange_weak(tick, next)) break;
    }
    if (tick >= kStatusTickEvery && sb) sb->SetText(kMsgPacketSize, 2);
    m_nTimerStatus = SetTimer(ID_TIMER_STATUS, 250);
}

// ---------------------------------------------------------------------------
// Menu and commands

BOOL CBrannicZenova_Dlg::OnCommand(unsigned id) {
    const bool powered = m_shared.m_bSondePowered;
    switch (id) {
        case ID_FILE_OPEN:
            // The player stops (and is waited for) before anything of the log changes.
            if (m_power)
                m_power->StopPlayerThread();
            else {
                std::lock_guard<std::mutex> lock(m_shared.acqMutex);
                m_shared.session.Running = 0;
            }
            if (powered)
                MessageBox(kMsgPoweredReplay, {}, MB_OK | MB_ICONSTOP);
            else
                OnFileOpen();
            break;
        case ID_FILE_NEW: OnNewLog(); break;
        case ID_EXPORT_LAS:
            if (powered)
                MessageBox(kMsgPoweredExport, {}, MB_OK | MB_ICONSTOP);
            else
                OnExportLas();
            break;
        case ID_EXPORT_SEG2: OnExportSeg2(); break;
        case ID_FILE_PRINT: OnPrint(); break;
        case ID_AUTO_PRINT: OnAutoPrint(); break;
        case ID_SET_PRINTER: OnSetPrinter(); break;
        case ID_APP_EXIT:
            if (ConfirmExit()) CResizableDialog::OnCancel();
            break;
        case ID_TOOLS_COMMUNICATION: ShowLoggerSetup(); break;
        case ID_SHOW_LOGGER_TOOLS:
            if (m_setup) m_setup->RestorePlacement();
            ShowLoggerSetup();
            break;
        case ID_WIDE_RX1: ToggleWide(RX1_ID); break;
        case ID_WIDE_RX2: ToggleWide(RX2_ID); break;
        case ID_WIDE_RX3: ToggleWide(RX3_ID); break;
        case ID_LANGUAGE_FR:
            m_preferences.SetLanguage(1036);
            UpdateMenuAndPanels();
            break;
        case ID_LANGUAGE_UK:
            m_preferences.SetLanguage(2057);
            UpdateMenuAndPanels();
            break;
        case ID_ACQUISITION_STATE_CHANGED: OnUpdateReceiverCaptions(); break;
        case ID_REARM_ACQ_READBACK: PostAcquisitionPage(id); break;
        case IDM_ABOUTBOX: OnSysCommand(IDM_ABOUTBOX); break;
        default: break;
    }
    return CResizableDialog::OnCommand(id);
}

void CBrannicZenova_Dlg::OnSysCommand(unsigned id) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        OnAbout();
        return;
    }
}

void CBrannicZenova_Dlg::OnAbout() {
    CAboutDlg about(m_app, this);
    about.DoModal();
}

void CBrannicZenova_Dlg::OnClose() {
    // The close box: the window's own close handling does nothing (OnCancel),
    // then the exit confirmation decides.
    OnCancel();
    if (ConfirmExit()) CResizableDialog::OnCancel();
}

void CBrannicZenova_Dlg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape: e->accept(); return;
        default: CResizableDialog::keyPressEvent(e);
    }
}

bool CBrannicZenova_Dlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        // A turned wheel never scrolls or changes any window of the screen.
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && !IsSystemDialog(w)) {
            for (QWidget* p = w; p; p = p->parentWidget())
                if (p == this) return true;
        }
    }
    return CResizableDialog::eventFilter(watched, event);
}

void CBrannicZenova_Dlg::UpdateMenuAndPanels() {
    if (!IsCreated()) return;
    const OsNameInfo os = GetOSName();
    m_app.m_strOSName = os.name;
    if (!os.keepMenu) {
        LoadMenu129();
        SetMenu(nullptr);
        SetMenu(m_menu.get());
        ArrangeLayout();
    }
    if (m_power) m_power->CreateToolTips();
    if (m_depth) m_depth->SetToolTips();
    if (m_setup) m_setup->FillTabs();
    // A fresh menu has every entry enabled: restore what the program knows.
    ApplyMenuStates();
    if (m_shared.m_nLinkState < 32) m_menu->EnableMenuItem(ID_FILE_NEW, MF_GRAYED);
}

void CBrannicZenova_Dlg::OnUpdateReceiverCaptions() {
    for (int rx = 0; rx < 3; ++rx)
        if (m_wide[rx]) m_wide[rx]->UpdateView(std::string(kRxCaption[rx]) + " " + ReceiverName(rx));
}

void CBrannicZenova_Dlg::ToggleWide(int receiverId) {
    CPWideDlg* wide = WideView(receiverId);
    if (!wide) return;
    if (wide->IsWindowVisible()) {
        wide->OnClose();  // keeps its placement
        wide->ShowWindow(SW_HIDE);
        return;
    }
    const int rx = receiverId - RX1_ID;
    wide->ShowWide();
    wide->ShowWindow(SW_SHOW);
    wide->Scope()->ClearTrace();
    wide->UpdateView(std::string(kRxCaption[rx]) + " " + ReceiverName(rx));
}

void CBrannicZenova_Dlg::HideScope(int receiverId) {
    CPWideDlg* wide = WideView(receiverId);
    if (!wide || !wide->IsWindowVisible()) return;
    wide->OnClose();
    wide->ShowWindow(SW_HIDE);
}

void CBrannicZenova_Dlg::ShowLoggerSetup() {
    if (m_setup) m_setup->ShowWindow(SW_SHOW);
}

void CBrannicZenova_Dlg::RestoreWindowPos(bool atLeft) {
    if (isMaximized() || m_app.m_ptMaxTrack.height() < 601) return;
    move(atLeft ? 0 : m_app.m_rcMainWnd.left(), 0);
}

// ---------------------------------------------------------------------------
// Printing

void CBrannicZenova_Dlg::SetupPrinter() {
    const std::string& name = m_data.m_strPrinterUsed;
    // A PDF file needs no print system: ready at once.
    m_printerReady = zns::IsPdfPrinterName(name);
    m_printerSilent = false;
    ApplyMenuStates();
    if (!m_drawer) return;
    const unsigned check = ++m_printerCheck;
    m_printerLookupPending = true;
    m_drawer->LookUpPrinters(IsNoPrinter(name) || zns::IsPdfPrinterName(name) ? std::string() : name,
                             [this, check](const zns::PrinterLookup& answer) { OnPrintersLookedUp(check, answer); });
}

void CBrannicZenova_Dlg::OnPrintersLookedUp(unsigned check, const zns::PrinterLookup& answer) {
    if (!answer.silent) m_appPrinter.SelectPrinter(answer.systemDefault);
    if (check != m_printerCheck) return;  // a printer was chosen since
    m_printerLookupPending = false;
    if (answer.silent) {
        // Asked again when the operator opens the File menu.
        m_printerSilent = true;
        return;
    }
    if (answer.failed) {
        MessageBox(kMsgNoDefaultPrinter, {}, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    std::string& name = m_data.m_strPrinterUsed;
    if (IsNoPrinter(name) && answer.systemDefault) name = answer.systemDefault->deviceName;
    // Ready when a page can go: to the chosen printer, a PDF file, or the
    // default printer that takes the pages of a chosen one that cannot be opened.
    m_printerReady = !IsNoPrinter(name) && (zns::IsPdfPrinterName(name) || answer.chosen || answer.systemDefault);
    ApplyMenuStates();
}

void CBrannicZenova_Dlg::OnSetPrinter() {
    if (!m_drawer || m_askingPrintServer) return;
    // The print dialog asks the print server and waits for it: it lists the
    // printers only once the server has answered (or there is none), asked on
    // the spooler's side; a silent server leaves the PDF choice.
    m_askingPrintServer = true;
    m_drawer->AskPrintServer([this](zns::ui::PrintServerAnswer answer) {
        m_askingPrintServer = false;
        RunPrintSetup(answer != zns::ui::PrintServerAnswer::Silent);
    });
}

void CBrannicZenova_Dlg::RunPrintSetup(bool listed) {
    // The configuration file keeps a printer's name in its code page; the
    // print system spells it in UTF-8. A PDF file is a path, kept as it is.
    const std::string& used = m_data.m_strPrinterUsed;
    const std::string current = IsNoPrinter(used) ? std::string()
                                : zns::IsPdfPrinterName(used) ? used
                                                              : zns::FromCp1252(used);
    auto chosen = zns::ui::Service().PrintSetup(this, current, listed);
    if (!chosen) return;
    // A choice without a name prints nowhere: say so rather than close as if
    // a printer had been chosen.
    if (chosen->empty() || *chosen == zns::ui::kPdfWithoutFile) {
        MessageBox(chosen->empty() ? kMsgPrinterUnusable : kMsgPdfFileNeeded, {}, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    std::string name = *chosen;
    if (!zns::IsPdfPrinterName(name)) {
        // Stored as "???" it would name no printer, and pages would go elsewhere.
        name = zns::ToCp1252(*chosen);
        if (zns::FromCp1252(name) != *chosen) {
            MessageBox(kMsgPrinterNameNotKept, {}, MB_OK | MB_ICONEXCLAMATION);
            return;
        }
    }
    // A printer from the print system's own list, or a PDF file: nothing to look up.
    m_data.m_strPrinterUsed = name;
    ++m_printerCheck;
    m_printerLookupPending = false;
    m_printerSilent = false;
    m_printerReady = true;
    ApplyMenuStates();
    m_preferences.SaveConfig();
}

void CBrannicZenova_Dlg::OnPrint() {
    if (m_drawer) m_drawer->PrintPage(false);
}

void CBrannicZenova_Dlg::OnAutoPrint() {
    if (!m_drawer) return;
    m_autoPrint = m_drawer->TogglePrinting(false);
    ApplyMenuStates();
    // The page height follows the scale: it stays while pages are printed.
    if (m_depth && m_depth->ScaleCombo()) m_depth->ScaleCombo()->setEnabled(!m_autoPrint);
}

void CBrannicZenova_Dlg::EndAutoPrint() {
    if (m_drawer) m_drawer->TogglePrinting(true);
    m_autoPrint = false;
    ApplyMenuStates();
    if (m_depth && m_depth->ScaleCombo()) m_depth->ScaleCombo()->setEnabled(true);
}

// ---------------------------------------------------------------------------
// Exports

void CBrannicZenova_Dlg::OnExportSeg2() {
    zns::ui::Seg2ExportWindow window;
    window.stopPlayer = [this] {
        if (!m_power) return;
        m_power->OnBnClickedStop();
        {
            std::lock_guard<std::mutex> lock(m_shared.acqMutex);
            m_shared.session.ReplayLoaded = 0;
        }
        m_power->SetRecorderButtons();
    };
    window.refreshRecorderButtons = [this] {
        if (m_power) m_power->SetRecorderButtons();
    };
    window.statusText = [this](const std::string& text) { StatusBarText(SB_PART_FILE, text); };
    window.showProgress = [this](bool show) {
        if (m_progress) {
            m_progress->setRange(0, 100);
            m_progress->setValue(0);
            m_progress->setVisible(show);
        }
        if (m_statusBar) m_statusBar->setVisible(!show);
    };
    window.progress = [this](int percent) {
        if (m_progress) m_progress->setValue(percent);
    };
    zns::ui::RunSeg2Export(this, m_data, m_app.Header(), m_app.m_dExportFirst, m_app.m_dExportLast,
                           m_app.m_dExportStep, &m_app.Stream().m_posReplay, std::move(window));
}

void CBrannicZenova_Dlg::OnExportLas() {
    // The export reads the data file from its own position: the player stops first.
    const SessionState session = m_shared.SnapshotSession();
    if ((session.Running || session.Recording) && m_power) {
        m_power->SendCommand(ID_POWER_STOP);
        PumpMessages();
    }
    CLasExport dlg(m_header, m_preferences, m_app.m_dExportFirst, this);
    dlg.SetStatusText([this](const std::string& text) { StatusBarText(SB_PART_FILE, text); });
    dlg.SetReplayPosition(&m_app.Stream().m_posReplay);
    dlg.DoModal();
}

// ---------------------------------------------------------------------------
// Exit

void CBrannicZenova_Dlg::CloseWideViews() {
    for (auto& wide : m_wide)
        if (wide) wide->OnClose();
}

zns::PrintExitCount CBrannicZenova_Dlg::FinishPrinting(int ms) {
    if (!m_drawer) return {};
    return m_drawer->PrintSpooler().Finish(ms, [] { PumpMessages(); });
}

void CBrannicZenova_Dlg::StopWorkers() {
    if (m_workersStopped) return;
    m_workersStopped = true;
    if (m_usb) m_usb->Shutdown();
    // The player thread feeds the displays: it ends before they go.
    if (m_power) m_power->StopPlayerThread();
}

// ---------------------------------------------------------------------------
// Reports of the link (any thread)

void CBrannicZenova_Dlg::MessageBox(const std::string& text, LinkBoxIcon icon) {
    zns::ui::PostMessageBox(text, zns::ui::AppTitle(), MB_OK | BoxIcon(icon));
}

void CBrannicZenova_Dlg::Beep(int hz, int ms) {
    zns::ui::PostToGui(this, [hz, ms] {
        zns::ui::Service().Beep(static_cast<unsigned>(hz), static_cast<unsigned>(ms));
    });
}

void CBrannicZenova_Dlg::PowerOffLostLink() {
    if (m_power) m_power->PostPowerOff();
}

void CBrannicZenova_Dlg::ResetStatusTick() { m_nStatusTick = 0; }

void CBrannicZenova_Dlg::LoggerIdentity(const std::string& description, const std::string& serial) {
    m_app.SetLoggerIdentity(description, serial);
}

void CBrannicZenova_Dlg::RecordingFailed(const std::string& message) {
    // The panel stops the recording and shows the writer's reason.
    if (m_power)
        m_power->OnRecordWriteFailed();
    else
        zns::ui::PostMessageBox(message, zns::ui::AppTitle(), MB_OK | MB_ICONSTOP);
}
