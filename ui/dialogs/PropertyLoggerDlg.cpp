#include "ui/dialogs/PropertyLoggerDlg.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QTabBar>
#include <algorithm>

#include "ui/AppTexts.h"
#include "records/SharedRecords.h"
#include "platform/ui/GuiThread.h"
#include "platform/ui/UiText.h"
#include "settings/Header.h"
#include "settings/Preferences.h"
#include "ui/dialogs/DialogUnits.h"
#include "ui/dialogs/PAcquisitionDlg.h"
#include "ui/dialogs/PWinchDlg.h"

namespace setup = zns::setup;

namespace {

constexpr int kMargin = 7;
constexpr int kTabHeight = 24;



}  // namespace

CPropertyLoggerDlg::CPropertyLoggerDlg(CPreferences& prefs, HeaderRecord& header, LoggerSetupHooks hooks,
                                       QWidget* parent)
    : CDialogExt(IDD, parent),
      m_prefs(prefs),
      m_shared(prefs.Shared()),
      m_data(prefs.Data()),
      m_header(header),
      m_hooks(std::move(hooks)) {
    // A window of its own, owned by the main window: caption and close box.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(zns::ui::TemplateFont());
    setModal(false);

    m_tab = new QTabBar(this);
    m_tab->setDrawBase(false);
    m_tab->setExpanding(false);
    SetDlgItem(IDC_TAB, m_tab);
    m_frame = new QGroupBox(this);

    // The pages, in the order of the members.
    m_winch = new CPWinchDlg(prefs, m_hooks.pages, this);
    m_comm = new CPCommDlg(m_shared, m_data, this);
    m_probe = new CPProbeDlg(m_shared, m_data, this);
    m_acq = new CPAcquisitionDlg(prefs, header, m_hooks.pages, this);

    PCommDlgHooks comm = m_hooks.comm;
    if (!comm.refreshPages) comm.refreshPages = [this] { RefreshPages(); };
    if (!comm.postAcquisitionPage) comm.postAcquisitionPage = [this](unsigned id) { m_acq->PostCommand(id); };
    m_comm->SetPreferences(&prefs);
    m_comm->SetHooks(std::move(comm));
    PProbeDlgHooks probe = m_hooks.probe;
    if (!probe.sondeChangedToCommPage)
        probe.sondeChangedToCommPage = [this] { m_comm->SendCommand(CPCommDlg::ID_SONDE_CHANGED); };
    m_probe->SetPreferences(&prefs);
    m_probe->SetHooks(std::move(probe));

    // The frame holds the largest page.
    QSize page(0, 0);
    for (CDialog* p : {static_cast<CDialog*>(m_winch), static_cast<CDialog*>(m_probe),
                       static_cast<CDialog*>(m_comm), static_cast<CDialog*>(m_acq)}) {
        const QSize s = p->size().isValid() && !p->size().isEmpty() ? p->size() : p->sizeHint();
        page = page.expandedTo(s);
        p->hide();
        p->installEventFilter(this);
    }
    m_tab->setGeometry(kMargin, kMargin, page.width() + 8, kTabHeight);
    m_frame->setGeometry(kMargin, kMargin + kTabHeight - 2, page.width() + 8, page.height() + 10);
    const QPoint origin(kMargin + 4, kMargin + kTabHeight + 4);
    for (CDialog* p : {static_cast<CDialog*>(m_winch), static_cast<CDialog*>(m_probe),
                       static_cast<CDialog*>(m_comm), static_cast<CDialog*>(m_acq)})
        p->move(origin);
    setFixedSize(page.width() + 8 + 2 * kMargin, kMargin + kTabHeight + page.height() + 10 + kMargin);

    ConnectControl(m_tab, &QTabBar::currentChanged, [this](int) {
        if (!m_bSelecting) OnTcnSelchange();
    });
}

CPropertyLoggerDlg::~CPropertyLoggerDlg() {
    KillTimer(ID_TIMER_STATE);
    auto clear = [](std::atomic<CWndBase*>& g, CWndBase* page) {
        CWndBase* expected = page;
        g.compare_exchange_strong(expected, nullptr);
    };
    clear(g_hWndWinchPage, m_winch);
    clear(g_hWndProbePage, m_probe);
    clear(g_hWndCommPage, m_comm);
    clear(g_hWndAcqPage, m_acq);
}

BOOL CPropertyLoggerDlg::OnInitDialog() {
    CDialogExt::OnInitDialog();
    zns::WindowPlacement wp;
    GetWindowPlacement(wp);
    m_nWidth = wp.Width() > 0 ? wp.Width() : width();
    m_nHeight = wp.Height() > 0 ? wp.Height() : height();

    SetWindowText("Logger Setup");

    m_winch->Create();
    g_hWndWinchPage.store(m_winch);
    m_probe->Create();
    g_hWndProbePage.store(m_probe);
    m_comm->Create();
    g_hWndCommPage.store(m_comm);
    m_acq->Create();
    g_hWndAcqPage.store(m_acq);

    m_nTimer = 0;
    ShowPage(m_winch);
    return TRUE;
}

// ---------------------------------------------------------------------------
// Pages

CDialog* CPropertyLoggerDlg::PageAt(int index) const {
    switch (index) {
        case TAB_WINCH: return m_winch;
        case TAB_PROBE: return m_probe;
        case TAB_COMM: return m_comm;
        case TAB_ACQUISITION: return m_acq;
        default: return nullptr;
    }
}

void CPropertyLoggerDlg::ShowPage(CDialog* page) {
    for (int i = 0; i < 4; ++i) PageAt(i)->hide();
    if (page) page->show();
    m_pCurrent = page;
}

void CPropertyLoggerDlg::SelectTab(int index) {
    m_bSelecting = true;
    m_tab->setCurrentIndex(index);
    m_bSelecting = false;
}

void CPropertyLoggerDlg::FillTabs() {
    if (!IsCreated()) return;
    for (int i = 0; i < 4; ++i) PageAt(i)->hide();
    m_bSelecting = true;
    while (m_tab->count() > 0) m_tab->removeTab(0);
    for (const char* text : kTabTexts) m_tab->addTab(zns::ui::ToQ(text));
    m_bSelecting = false;
    m_winch->SetLabels();
    m_comm->SetCaptions();
    m_probe->SetCaptions();
    SelectTab(TAB_COMM);
    ShowPage(m_comm);
}

void CPropertyLoggerDlg::RefreshPage(int index) {
    switch (index) {
        case TAB_WINCH: m_winch->LoadFromSettings(); break;
        case TAB_PROBE: m_probe->UpdateVoltage(); break;
        case TAB_COMM: m_comm->UpdateControls(); break;
        case TAB_ACQUISITION: m_acq->UpdateControls(); break;
        default: break;
    }
}

void CPropertyLoggerDlg::RefreshPages() {
    for (int i = 0; i < 4; ++i) RefreshPage(i);
}

void CPropertyLoggerDlg::RefreshCommLamps() {
    // The link reports from its own threads: the lamps are set on the GUI thread,
    // once for any number of reports that arrive before it gets there.
    if (!zns::ui::IsGuiThread()) {
        if (!m_lampsPending.exchange(true))
            zns::ui::PostToGui(this, [this] {
                m_lampsPending.store(false);
                RefreshCommLamps();
            });
        return;
    }
    if (m_comm && m_comm->IsCreated()) m_comm->RefreshStatusLamps();
}

bool CPropertyLoggerDlg::CloseGammaEditing() {
    if (!m_shared.g_bGammaCoefEditing.load()) return true;
    const int answer = MessageBox(g_strMsgAskSaveGammaCoef, {}, MB_YESNO | MB_ICONHAND);
    if (answer != IDYES) {
        SelectTab(TAB_PROBE);
        if (m_pCurrent != m_probe) ShowPage(m_probe);
        return false;
    }
    if (m_shared.g_bGammaCoefEditing.load()) m_probe->OnBnClickedEdit();
    return true;
}

void CPropertyLoggerDlg::OnTcnSelchange() {
    if (!CloseGammaEditing()) return;
    const int index = m_tab->currentIndex();
    if (!PageAt(index)) return;
    RefreshPage(index);
    ShowPage(PageAt(index));
}

// ---------------------------------------------------------------------------
// Showing, closing, placement

void CPropertyLoggerDlg::showEvent(QShowEvent* e) {
    CDialogExt::showEvent(e);
    if (!IsTimerSet(ID_TIMER_STATE)) m_nTimer = SetTimer(ID_TIMER_STATE, kStateMs);
    RefreshPages();
}

void CPropertyLoggerDlg::OnOK() {
    // Enter: the page of the selected tab checks its focused edit; the dialog stays.
    if (CDialog* page = PageAt(m_tab->currentIndex())) page->SendCommand(IDOK);
}

void CPropertyLoggerDlg::OnCancel() {
    if (!CloseGammaEditing()) return;
    StorePlacement();
    CDialogExt::OnCancel();
}

void CPropertyLoggerDlg::OnClose() {
    StorePlacement();
    CDialogExt::OnClose();
}

bool CPropertyLoggerDlg::eventFilter(QObject* watched, QEvent* event) {
    // Escape inside a page is the dialog's, not the page's (a page never closes).
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Escape && k->modifiers() == Qt::NoModifier) {
            for (int i = 0; i < 4; ++i) {
                if (watched == PageAt(i)) {
                    SendCommand(IDCANCEL);
                    return true;
                }
            }
        }
    }
    return CDialogExt::eventFilter(watched, event);
}

void CPropertyLoggerDlg::StorePlacement() {
    zns::WindowPlacement wp;
    if (GetWindowPlacement(wp)) m_data.layout.placement[LAYOUT_SETUP] = wp;
}

void CPropertyLoggerDlg::RestorePlacement() {
    const zns::WindowPlacement stored = m_data.layout.placement[LAYOUT_SETUP];
    const int w = m_nWidth > 0 ? m_nWidth : width();
    const int h = m_nHeight > 0 ? m_nHeight : height();
    if (stored.IsPresent()) {
        zns::WindowPlacement wp = stored;
        wp.right = wp.left + w;
        wp.bottom = wp.top + h;
        // Placing is not showing: the caller shows the dialog when it wants it.
        wp.showCmd = isVisible() ? SW_SHOWNORMAL : SW_HIDE;
        SetWindowPlacement(wp);
        return;
    }
    if (m_hooks.pages.restoreMainWindowPos) m_hooks.pages.restoreMainWindowPos();
    if (!m_hooks.pages.mainWindowRect) return;
    const QRect main = m_hooks.pages.mainWindowRect();
    move(main.x() + main.width() - w - 20, main.y() + main.height() - h - 30);
}

// ---------------------------------------------------------------------------
// State timer

setup::SetupState CPropertyLoggerDlg::ReadState() const {
    setup::SetupState st;
    st.powered = m_shared.m_bSondePowered.load();
    st.linkState = m_shared.m_nLinkState.load();
    st.commCheck = m_shared.m_bCommCheck.load();
    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    st.replayLoaded = m_shared.session.ReplayLoaded != 0;
    st.playerRuns = m_shared.session.Running != 0;
    st.recording = m_shared.session.Recording == 1;
    st.rxNumber = m_data.sondeDb.RX_Number;
    st.sondeGamma = m_data.sondeDb.NaturalGamma != 0;
    st.headerGamma = m_header.Natural_Gamma != 0;
    return st;
}

void CPropertyLoggerDlg::OnTimer(unsigned id) {
    if (id != ID_TIMER_STATE) return;
    KillTimer(ID_TIMER_STATE);
    m_nTimer = 0;
    m_comm->ShowLinkEchoes();

    const setup::SetupState st = ReadState();
    const setup::SetupEnables e = setup::ComputeEnables(st);
    EnableWinch(e.winch);
    EnableProbeSet(e.probeSet);
    ShowTraceLengthStatics(e.traceStatics);
    for (int rx = 0; rx < 3; ++rx) m_acq->EnableDlgItem(CPAcquisitionDlg::kTraceIds[rx], e.traceList[rx]);
    EnableSampling(e.sampling);
    EnableComm(e.comm);
    EnableProbeControls(e.probeControls);
    ShowGammaGroup(e.gammaShown);

    if (isVisible()) m_nTimer = SetTimer(ID_TIMER_STATE, kStateMs);
}

void CPropertyLoggerDlg::EnableWinch(bool enable) {
    for (int id : {CPWinchDlg::IDC_RESOLUTION_SPIN, CPWinchDlg::IDC_CIRCUMFERENCE_SPIN, CPWinchDlg::IDC_DIRECTION,
                   CPWinchDlg::IDC_RESOLUTION, CPWinchDlg::IDC_CIRCUMFERENCE, CPWinchDlg::IDC_CABLE,
                   CPWinchDlg::IDC_SET})
        m_winch->EnableDlgItem(id, enable);
}

void CPropertyLoggerDlg::EnableProbeSet(bool enable) { m_probe->EnableDlgItem(CPProbeDlg::IDC_SET, enable); }

void CPropertyLoggerDlg::EnableProbeControls(bool enable) {
    for (int id : {CPProbeDlg::IDC_VOLTAGE, CPProbeDlg::IDC_VOLTAGE_SPIN, CPProbeDlg::IDC_SONDE_LIST,
                   CPProbeDlg::IDC_REMOVE})
        m_probe->EnableDlgItem(id, enable);
    int stored = 0;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        for (const SondeRecord& r : m_data.sondeDb.Slots)
            if (r.InUse()) ++stored;
    }
    // A full database keeps "Add" as the page left it.
    if (!(enable && stored >= kMaxSondes)) m_probe->EnableDlgItem(CPProbeDlg::IDC_ADD, enable);
}

void CPropertyLoggerDlg::ShowGammaGroup(bool show) {
    for (int id : {CPProbeDlg::IDC_GAMMA_GROUP, CPProbeDlg::IDC_GAMMA_VIEW, CPProbeDlg::IDC_GAMMA_MAX_LABEL,
                   CPProbeDlg::IDC_GAMMA_MAX, CPProbeDlg::IDC_AVERAGE, CPProbeDlg::IDC_FILTER,
                   CPProbeDlg::IDC_FILTER_SPIN, CPProbeDlg::IDC_COEF, CPProbeDlg::IDC_COEF_LABEL,
                   CPProbeDlg::IDC_EDIT})
        m_probe->ShowDlgItem(id, show ? SW_SHOW : SW_HIDE);
}

void CPropertyLoggerDlg::EnableSampling(bool enable) {
    for (int id : {CPAcquisitionDlg::IDC_TIME, CPAcquisitionDlg::IDC_TIME_SPIN, CPAcquisitionDlg::IDC_DEPTH})
        m_acq->EnableDlgItem(id, enable);
}

void CPropertyLoggerDlg::ShowTraceLengthStatics(bool show) {
    for (int rx = 0; rx < 3; ++rx) {
        m_acq->ShowDlgItem(CPAcquisitionDlg::kReplayIds[rx], show ? SW_SHOW : SW_HIDE);
        m_acq->ShowDlgItem(CPAcquisitionDlg::kTraceIds[rx], show ? SW_HIDE : SW_SHOW);
    }
}

void CPropertyLoggerDlg::EnableComm(bool enable) {
    for (int id : {CPCommDlg::IDC_DOWN_DRIVE, CPCommDlg::IDC_DOWN_DRIVE_SPIN, CPCommDlg::IDC_GAIN,
                   CPCommDlg::IDC_GAIN_SPIN, CPCommDlg::IDC_UP_DRIVE, CPCommDlg::IDC_UP_DRIVE_SPIN,
                   CPCommDlg::IDC_BAUD, CPCommDlg::IDC_SET, CPCommDlg::IDC_CHECK})
        m_comm->EnableDlgItem(id, enable);
}
